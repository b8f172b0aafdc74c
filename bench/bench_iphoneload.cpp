// Loading an iPhone's contacts into a fresh cache database, end to end: the simulated phone behind a
// simulated usbmuxd, the real device library, our sync client, the record mapping and the database.
// Compared with the merge floor: the same rows written straight into a fresh file of the template
// schema with one prepared statement per table in one transaction.
#include "BenchTargets.h"
#include "FloorWriter.h"
#include "SimulatedUsbmuxd.h"
#include "ios/IOSContactBatchWriter.h"
#include "ios/IOSContactCombineRule.h"
#include "ios/IOSSyncToPCThread.h"
#include "model/LocalDb.h"
#include "shell/kit/ProgressForm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <stdexcept>

using tarnwick::peers::SimulatedUsbmuxd;
using tarnwick::peers::SyncRecord;

namespace {

constexpr int kContacts = 5000;
constexpr int kRuns = 3;
const QString kUdid = QStringLiteral("00008101-0000BE0C4BE0C400");

struct Person
{
    QString id, first, last, phone, email, street, city, postcode;
};

QList<Person> people()
{
    QList<Person> list;
    list.reserve(kContacts);
    for (int i = 1; i <= kContacts; ++i) {
        const QString n = QString::number(i);
        list.append({n, QStringLiteral("First%1").arg(i), QStringLiteral("Last%1").arg(i),
                     QStringLiteral("+44 20 7946 %1").arg(i, 4, 10, QLatin1Char('0')),
                     QStringLiteral("person%1@example.org").arg(i), QStringLiteral("%1 High Street").arg(i),
                     QStringLiteral("Town%1").arg(i % 97), QStringLiteral("AB%1 2CD").arg(i % 50)});
    }
    return list;
}

QList<SyncRecord> records(const QList<Person> &list)
{
    QList<SyncRecord> out;
    out.reserve(list.size() * 4);
    for (const Person &p : list) {
        out << SyncRecord::contact(p.id, {{"first name", p.first}, {"last name", p.last}})
            << SyncRecord::subRecord("3/" + p.id + "/0", "Phone Number", {p.id},
                                     {{"value", p.phone}, {"type", "mobile"}})
            << SyncRecord::subRecord("4/" + p.id + "/0", "Email Address", {p.id},
                                     {{"value", p.email}, {"type", "home"}})
            << SyncRecord::subRecord(
                   "5/" + p.id + "/0", "Street Address", {p.id},
                   {{"street", p.street}, {"city", p.city}, {"postal code", p.postcode}, {"type", "home"}});
    }
    return out;
}

// The floor: the rows the load writes, with nothing but SQLite between them and the file.
qint64 floorMs(const QString &path, const QList<Person> &list)
{
    FloorWriter::copyTemplate(path);

    QElapsedTimer timer;
    timer.start();
    FloorWriter floor(path);
    for (const Person &p : list) {
        const QString full = p.first + QLatin1Char(' ') + p.last;
        const sqlite3_int64 id = floor.contact(p.id, full);
        floor.data(id, 1, p.id, {full, p.first, p.last, "", "", "", "", ""});
        floor.data(id, 3, "3/" + p.id + "/0", {p.phone, "2", ""});
        floor.data(id, 4, "4/" + p.id + "/0", {p.email, "1", ""});
        floor.data(id, 12, "5/" + p.id + "/0",
                   {p.street + "\n" + p.city + " " + p.postcode, "1", "", p.street, "", "", p.city, "",
                    p.postcode, "", ""});
    }
    floor.commit();
    return timer.elapsed();
}

PlistCFType str(const QString &text)
{
    return PlistCFType::createCFString(text);
}

PlistCFType subRecord(const QString &kind, const QString &parent,
                      const QList<QPair<QString, QString>> &fields)
{
    PlistCFType r = PlistCFType::createCFDictionary();
    r.put(QStringLiteral("com.apple.syncservices.RecordEntityName"), str("com.apple.contacts." + kind));
    for (const auto &f : fields)
        r.put(f.first, str(f.second));
    r.put(QStringLiteral("contact"), PlistCFType::createCFArray({str(parent)}));
    return r;
}

// The same records as the phone sends them, in batches of 25, already parsed.
QList<PlistCFType> parsedBatches(const QList<Person> &list)
{
    QList<PlistCFType> batches;
    PlistCFType batch;
    int n = 0;
    auto add = [&](const QString &id, const PlistCFType &record) {
        if (n % 25 == 0) {
            batch = PlistCFType::createCFDictionary();
            batches.append(batch);
        }
        ++n;
        batch.put(id, record);
    };
    for (const Person &p : list) {
        PlistCFType c = PlistCFType::createCFDictionary();
        c.put(QStringLiteral("com.apple.syncservices.RecordEntityName"), str("com.apple.contacts.Contact"));
        c.put(QStringLiteral("first name"), str(p.first));
        c.put(QStringLiteral("last name"), str(p.last));
        add(p.id, c);
        add("3/" + p.id + "/0", subRecord("Phone Number", p.id, {{"value", p.phone}, {"type", "mobile"}}));
        add("4/" + p.id + "/0", subRecord("Email Address", p.id, {{"value", p.email}, {"type", "home"}}));
        add("5/" + p.id + "/0",
            subRecord(
                "Street Address", p.id,
                {{"street", p.street}, {"city", p.city}, {"postal code", p.postcode}, {"type", "home"}}));
    }
    return batches;
}

// The writing share of a load: the parsed batches mapped and stored, with no phone.
qint64 writeMs(const QString &path, const QList<PlistCFType> &batches)
{
    LocalDb db(path, QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule));
    db.create();
    QElapsedTimer timer;
    timer.start();
    IOSContactBatchWriter writer(&db);
    db.beginEdit();
    for (const PlistCFType &b : batches)
        writer.storeBatch(b);
    db.endEdit(true);
    return timer.elapsed();
}

qint64 loadMs(SimulatedUsbmuxd &, const QString &path, int &stored)
{
    LocalDb db(path, QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule));
    db.create();
    ProgressForm form(QStringLiteral("Loading"));
    IOSSyncToPCThread thread(kUdid, &db, &form);
    QElapsedTimer timer;
    timer.start();
    thread.start(QThread::InheritPriority);
    const int result = form.exec();
    thread.wait();
    const qint64 ms = timer.elapsed();
    if (result != 1)
        throw std::runtime_error("the load failed");
    stored = int(db.contacts(0, QString()).size());
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BenchTargets targets(QStringLiteral("bench_iphoneload"));
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;

    const QList<Person> list = people();
    SimulatedUsbmuxd mux;
    mux.makeCurrent();
    auto phone = mux.addDevice(kUdid);
    phone->contactSync().setRecords(records(list));

    try {
        qint64 bestLoad = -1;
        qint64 bestFloor = -1;
        qint64 bestWrite = -1;
        const QList<PlistCFType> batches = parsedBatches(list);
        int stored = 0;
        for (int run = 0; run < kRuns; ++run) {
            const qint64 load = loadMs(mux, dir.filePath(QStringLiteral("cache%1.db").arg(run)), stored);
            const qint64 floor = floorMs(dir.filePath(QStringLiteral("floor%1.db").arg(run)), list);
            const qint64 write = writeMs(dir.filePath(QStringLiteral("write%1.db").arg(run)), batches);
            std::printf("run %d: load %lld ms (storing parsed batches alone %lld ms), floor %lld ms\n",
                        run + 1, static_cast<long long>(load), static_cast<long long>(write),
                        static_cast<long long>(floor));
            bestWrite = bestWrite < 0 ? write : qMin(bestWrite, write);
            bestLoad = bestLoad < 0 ? load : qMin(bestLoad, load);
            bestFloor = bestFloor < 0 ? floor : qMin(bestFloor, floor);
        }
        if (stored != kContacts) {
            std::printf("stored %d contacts, expected %d\n", stored, kContacts);
            targets.failed(QStringLiteral("contacts stored"),
                           QStringLiteral("%1 instead of %2").arg(stored).arg(kContacts));
            return targets.finish();
        }
        const double ratio = double(bestLoad) / double(qMax<qint64>(bestFloor, 1));
        std::printf("iPhone load: %d contacts (3 sub-records each) in %lld ms = %.0f contacts/s\n", kContacts,
                    static_cast<long long>(bestLoad), kContacts * 1000.0 / qMax<qint64>(bestLoad, 1));
        std::printf("of which mapping and storing the records: %lld ms\n", static_cast<long long>(bestWrite));
        std::printf("merge floor: %lld ms = %.0f contacts/s\n", static_cast<long long>(bestFloor),
                    kContacts * 1000.0 / qMax<qint64>(bestFloor, 1));
        std::printf("ratio to the floor: %.2fx (target: at most 3x) %s\n", ratio,
                    ratio <= 3.0 ? "OK" : "OVER");
        targets.atMost(QStringLiteral("iPhone load / merge floor"), ratio, 3.0);
    } catch (const std::exception &e) {
        std::printf("failed: %s\n", e.what());
        targets.failed(QStringLiteral("iPhone load"), QString::fromUtf8(e.what()));
    }
    return targets.finish();
}
