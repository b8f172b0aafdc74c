// Reading a 10,000-card vCard file into contacts (parse plus card-to-contact), best of five, against
// KDE's KContacts reading the same file in a Qt 5 program of its own (Qt 5 and 6 cannot share a
// process). Target: ours faster.

#include "BenchTargets.h"
#include "VCardBenchFile.h"
#include "fileio/VCardImport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int kCards = 10000;
constexpr int kRuns = 5;

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    BenchTargets targets(QStringLiteral("bench_vcard"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cards.vcf"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bench::vcardFile(kCards)) < 0) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }

    qint64 best = -1;
    int contacts = 0;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        VCardImport reader;
        reader.initialize(path);
        contacts = 0;
        while (reader.hasNext()) {
            if (!reader.nextContact().fullName.isEmpty())
                ++contacts;
        }
        const qint64 ms = timer.elapsed();
        best = best < 0 ? ms : qMin(best, ms);
    }
    std::printf("vCard read, %d cards: ours %lld ms (best of %d, %d contacts)\n", kCards, best, kRuns,
                contacts);

#ifdef KCONTACTS_BENCH
    QProcess other;
    other.start(QStringLiteral(KCONTACTS_BENCH), {path, QString::number(kRuns)});
    if (!other.waitForFinished(600000) || other.exitCode() != 0) {
        const QByteArray error = other.readAllStandardError();
        std::printf("vCard read: KContacts comparison failed: %s\n", error.constData());
        targets.failed(QStringLiteral("vCard read against KContacts"), QString::fromLocal8Bit(error));
        return targets.finish();
    }
    const qint64 theirs = other.readAllStandardOutput().trimmed().toLongLong();
    std::printf("vCard read, %d cards: KContacts %lld ms (best of %d); ours/theirs %.2f\n", kCards, theirs,
                kRuns, theirs > 0 ? double(best) / double(theirs) : 0.0);
    if (theirs > 0)
        targets.atMost(QStringLiteral("vCard read / KContacts reading the same file"),
                       double(best) / double(theirs), 1.0);
    else
        targets.failed(QStringLiteral("vCard read against KContacts"),
                       QStringLiteral("no time from KContacts"));
#else
    std::printf("vCard read: KContacts comparison not built (libkf5contacts-dev missing)\n");
    targets.failed(QStringLiteral("vCard read against KContacts"),
                   QStringLiteral("not built: libkf5contacts-dev missing"));
#endif
    return targets.finish();
}
