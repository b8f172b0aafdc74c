// Importing a backed-up address book of 5,000 persons with ImportContactsFromiTunesThread (copy out,
// read, map, merge) into a fresh template database, against the floor of writing the same rows
// straight into a file of the contact schema. Target: at most 3 times the floor's time.

#include "BackupBuilder.h"
#include "BenchTargets.h"
#include "FloorWriter.h"
#include "itunesbackup/BackupManifest.h"
#include "itunesbackup/ImportContactsFromiTunesThread.h"
#include "model/EntityType.h"
#include "model/LocalDb.h"
#include "model/LocalDbCombineRule.h"
#include "model/ProgressSink.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace itunesfixture;

namespace {

class QuietSink : public ProgressSink
{
public:
    // Marks the moment the merging phase begins (its first report).
    bool invokeUpdateProgress(QString, int value, QString) override
    {
        if (value > 50 && mergeStart == 0)
            mergeStart = clock.nsecsElapsed();
        return true;
    }
    QElapsedTimer clock;
    qint64 mergeStart = 0;
    bool invokeSucceed(QString text) override
    {
        outcome = text;
        return true;
    }
    bool invokeErrorOccurred(QString err) override
    {
        outcome = QStringLiteral("error: ") + err;
        return true;
    }
    bool invokeTipsWait(QString) override { return true; }
    bool invokeSetCancelBtnText(const QString &) override { return true; }
    QString outcome;
};

// Shaped like the merge benchmark's contacts: a name, two phones, two e-mail addresses, an address
// and a note; every fifth person repeats the name of an earlier one.
QList<Person> generate(int n)
{
    static const char *firstNames[] = {"Ann", "Bob", "Cyril", "Dana", "Emil",
                                       "Fay", "Gus", "Hana",  "Ivo",  "Jill"};
    QList<Person> out;
    out.reserve(n);
    for (int i = 0; i < n; ++i) {
        const int nameOf = i % 5 == 4 ? i - 3 : i;
        Person p;
        p.first = QString::fromLatin1(firstNames[nameOf % 10]);
        p.last = QStringLiteral("Lastname%1").arg(nameOf);
        p.note = QStringLiteral("Met at conference %1").arg(i % 50);
        const QString street = QStringLiteral("%1 High Street").arg(i % 300 + 1);
        const QString city = QStringLiteral("Town%1").arg(i % 97);
        p.values = {
            MultiValue{3, "_$!<Mobile>!$_", QStringLiteral("+1 555 %1").arg(i, 7, 10, QLatin1Char('0')), {}},
            MultiValue{3, "_$!<Home>!$_", QStringLiteral("+1 556 %1").arg(i, 7, 10, QLatin1Char('0')), {}},
            MultiValue{4, "_$!<Home>!$_", QStringLiteral("user%1@example.org").arg(i), {}},
            MultiValue{4, "_$!<Work>!$_", QStringLiteral("work%1@example.com").arg(i), {}},
            MultiValue{5, "_$!<Home>!$_", QVariant(), {{"Street", street}, {"City", city}, {"ZIP", "12345"}}},
        };
        out << p;
    }
    return out;
}

double floorWrite(const QString &path, const QList<Person> &persons)
{
    QElapsedTimer timer;
    timer.start();
    FloorWriter floor(path);
    for (const Person &p : persons) {
        const QString full = p.first + QLatin1Char(' ') + p.last;
        const sqlite3_int64 id = floor.contact(QString(), full);
        floor.data(id, pim::ENTITY_NAME, QString(), {full, p.first, p.last});
        for (const MultiValue &v : p.values) {
            if (v.property == 5) {
                const QString street = v.entries.at(0).second;
                const QString city = v.entries.at(1).second;
                floor.data(id, pim::ENTITY_ADDR, QString(),
                           {street + "\n" + city + " 12345", "1", "", street, "", "", city, "", "12345"});
            } else {
                floor.data(id, v.property == 3 ? pim::ENTITY_PHONE : pim::ENTITY_EMAIL, QString(),
                           {v.value.toString(), "1"});
            }
        }
        floor.data(id, pim::ENTITY_NOTE, QString(), {p.note});
    }
    floor.commit();
    return double(timer.nsecsElapsed()) / 1e9;
}

QString freshTemplate(const QTemporaryDir &dir, const QString &name)
{
    const QString path = dir.filePath(name);
    QFile::copy(QStringLiteral(":res/db.db"), path);
    QFile::setPermissions(path, QFile::ReadUser | QFile::WriteUser);
    return path;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    BenchTargets targets(QStringLiteral("bench_itunesimport"));
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    constexpr int n = 5000;
    const QList<Person> persons = generate(n);
    BackupSpec spec;
    spec.layout = Layout::ManifestDb;
    spec.files = {addressBookFile(persons), imagesFile({})};
    writeBackup(dir.filePath(QStringLiteral("backup")), spec);

    double importTime = 1e9;
    double readTime = 0;
    double floorTime = 1e9;
    QString outcome;
    for (int run = 0; run < 3; ++run) {
        floorTime = std::min(floorTime,
                             floorWrite(freshTemplate(dir, QStringLiteral("floor%1.db").arg(run)), persons));

        LocalDb db(freshTemplate(dir, QStringLiteral("import%1.db").arg(run)),
                   QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
        BackupManifest backup(dir.filePath(QStringLiteral("backup")));
        QElapsedTimer timer;
        timer.start();
        backup.readManifestInfo();
        backup.parseInfo();
        QuietSink sink;
        sink.clock = timer;
        ImportContactsFromiTunesThread worker(backup, &db, &sink);
        worker.start();
        worker.wait();
        const double total = double(timer.nsecsElapsed()) / 1e9;
        if (total < importTime) {
            importTime = total;
            readTime = double(sink.mergeStart) / 1e9;
        }
        outcome = sink.outcome;
    }
    const double ratio = importTime / floorTime;
    std::printf("bench_itunesimport: %d persons from a Manifest.db backup\n", n);
    std::printf("  floor   %10.0f contacts/s\n", n / floorTime);
    std::printf("  import  %10.0f contacts/s  (%s)\n", n / importTime, qPrintable(outcome));
    std::printf("  of which reading %.3f s, merging %.3f s\n", readTime, importTime - readTime);
    std::printf("  ratio   %10.2fx  (target at most 3x) %s\n", ratio, ratio <= 3.0 ? "OK" : "OVER");
    if (outcome.startsWith(QLatin1String("error")))
        targets.failed(QStringLiteral("iTunes import"), outcome);
    targets.atMost(QStringLiteral("iTunes import / floor writer"), ratio, 3.0);
    return targets.finish();
}
