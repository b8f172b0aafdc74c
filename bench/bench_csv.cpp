// Importing 10,000 CSV rows through the import worker into a fresh database, against the floor of
// writing the same contacts' rows straight into a file of the same schema. Target: at most 3x.

#include "BenchTargets.h"
#include "FloorWriter.h"
#include "fileio/ImportContactsToLocalThread.h"
#include "model/EntityType.h"
#include "model/LocalDb.h"
#include "model/LocalDbCombineRule.h"
#include "model/ProgressSink.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int kRows = 10000;
constexpr int kRuns = 3;

class SilentSink : public ProgressSink
{
public:
    QString outcome;
    bool invokeUpdateProgress(QString, int, QString) override { return true; }
    bool invokeSucceed(QString text) override { return (outcome = text), true; }
    bool invokeErrorOccurred(QString err) override
    {
        return (outcome = QStringLiteral("error: ") + err), true;
    }
    bool invokeTipsWait(QString) override { return true; }
    bool invokeSetCancelBtnText(const QString &) override { return true; }
};

struct Row
{
    QString first, last, mobile, home, email, street, city, note;
};

Row row(int i)
{
    return {QStringLiteral("First%1").arg(i),
            QStringLiteral("Last%1").arg(i),
            QStringLiteral("+1 555 %1").arg(i),
            QStringLiteral("+1 556 %1").arg(i),
            QStringLiteral("user%1@example.org").arg(i),
            QStringLiteral("%1 Main Street").arg(i),
            QStringLiteral("Springfield"),
            QStringLiteral("Met at the fair, likes tea")};
}

QByteArray csvFile()
{
    QByteArray out(
        "First Name,Last Name,Tel:Mobile,Tel:Home,Email:Home,Addr:Home:Street,Addr:Home:City,Notes\n");
    for (int i = 0; i < kRows; ++i) {
        const Row r = row(i);
        out += QStringLiteral("%1,%2,%3,%4,%5,%6,%7,\"%8\"\n")
                   .arg(r.first, r.last, r.mobile, r.home, r.email, r.street, r.city, r.note)
                   .toUtf8();
    }
    return out;
}

QString freshDb(const QTemporaryDir &dir, int n)
{
    const QString path = dir.filePath(QStringLiteral("db%1.db").arg(n));
    LocalDb(path, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule)).create();
    return path;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    BenchTargets targets(QStringLiteral("bench_csv"));
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("rows.csv"));
    {
        QFile f(csv);
        f.open(QIODevice::WriteOnly);
        f.write(csvFile());
    }

    int n = 0;
    qint64 ours = -1;
    for (int run = 0; run < kRuns; ++run) {
        LocalDb db(freshDb(dir, ++n), QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
        SilentSink sink;
        ImportContactsToLocalThread worker(csv, ImportContactsToLocalThread::TYPE_CSV, &db, &sink);
        QElapsedTimer timer;
        timer.start();
        worker.start();
        worker.wait();
        const qint64 ms = timer.elapsed();
        if (!sink.outcome.contains(QString::number(kRows))) {
            std::fprintf(stderr, "import failed: %s\n", qPrintable(sink.outcome));
            targets.failed(QStringLiteral("CSV import"), sink.outcome);
            return targets.finish();
        }
        ours = ours < 0 ? ms : qMin(ours, ms);
    }

    qint64 floor = -1;
    for (int run = 0; run < kRuns; ++run) {
        const QString path = freshDb(dir, ++n);
        QElapsedTimer timer;
        timer.start();
        FloorWriter w(path);
        for (int i = 0; i < kRows; ++i) {
            const Row r = row(i);
            const QString full = r.first + QLatin1Char(' ') + r.last;
            const sqlite3_int64 id = w.contact(QString(), full);
            w.data(id, pim::ENTITY_NAME, QString(), {full, r.first, r.last});
            w.data(id, pim::ENTITY_PHONE, QString(), {r.home, QStringLiteral("1")});
            w.data(id, pim::ENTITY_PHONE, QString(), {r.mobile, QStringLiteral("2")});
            w.data(id, pim::ENTITY_EMAIL, QString(), {r.email, QStringLiteral("1")});
            w.data(id, pim::ENTITY_NOTE, QString(), {r.note});
            w.data(id, pim::ENTITY_ADDR, QString(),
                   {r.street + QLatin1Char('\n') + r.city, QStringLiteral("1"), QString(), r.street,
                    QString(), QString(), r.city});
        }
        w.commit();
        const qint64 ms = timer.elapsed();
        floor = floor < 0 ? ms : qMin(floor, ms);
    }
    std::printf("CSV import, %d rows: worker %lld ms, floor %lld ms (best of %d); ratio %.2f (target <= 3)\n",
                kRows, ours, floor, kRuns, floor > 0 ? double(ours) / double(floor) : 0.0);
    targets.atMost(QStringLiteral("CSV import / floor writer"), double(ours) / double(qMax<qint64>(floor, 1)),
                   3.0);
    return targets.finish();
}
