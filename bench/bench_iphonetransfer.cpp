// Batch transfer of generated contacts to an empty simulated iPhone, end to end: the merge into the
// cache database, one sync session per ten contacts (in which the phone first sends every record it
// holds, so each session costs more than the one before), the record writer and the identifiers
// written back. Compared with two floors measured in the same run:
// - the protocol floor: per batch, one session against the phone as it then was (start, turn to
//   sending, end) with nothing sent;
// - the merge floor: the same rows written straight into a fresh file of the template schema.
#include "BenchTargets.h"
#include "FloorWriter.h"
#include "OutcomeSink.h"
#include "SimulatedUsbmuxd.h"
#include "ios/IOSContactCombineRule.h"
#include "ios/IOSSyncToDeviceThread.h"
#include "ios/_mobiledevice_sync_ctx.h"
#include "ios/mobiledevice_sync.h"
#include "model/EntityType.h"
#include "model/LocalDb.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <cstdio>
#include <stdexcept>

using tarnwick::peers::SimulatedUsbmuxd;
using tarnwick::peers::SyncRecord;

namespace {

const QString kUdid = QStringLiteral("00008101-0000BE0C4BE0C401");
constexpr int kBatch = 10;

QString first(int i)
{
    return QStringLiteral("First%1").arg(i);
}

QString phone(int i)
{
    return QStringLiteral("+44 20 7946 %1").arg(i, 4, 10, QLatin1Char('0'));
}

QList<pim::_Contact> contacts(int count)
{
    QList<pim::_Contact> out;
    out.reserve(count);
    for (int i = 1; i <= count; ++i) {
        pim::_Contact c(0, QString(), first(i) + QStringLiteral(" Last"));
        pim::Entity name;
        name.values = {{"data1", c.fullName}, {"data2", first(i)}, {"data3", "Last"}};
        pim::Entity number;
        number.values = {{"data1", phone(i)}, {"data2", "2"}};
        c.entities[pim::ENTITY_NAME] = {name};
        c.entities[pim::ENTITY_PHONE] = {number};
        out << c;
    }
    return out;
}

// The phone after `count` contacts were transferred.
QList<SyncRecord> phoneHolding(int count)
{
    QList<SyncRecord> out;
    for (int i = 1; i <= count; ++i) {
        const QString id = QString::number(i);
        out << SyncRecord::contact(id, {{"first name", first(i)}, {"last name", "Last"}})
            << SyncRecord::subRecord("3/" + id + "/0", "Phone Number", {id},
                                     {{"value", phone(i)}, {"type", "mobile"}});
    }
    return out;
}

qint64 transferMs(SimulatedUsbmuxd &, tarnwick::peers::SimulatedIPhone &phone, const QString &path, int count)
{
    phone.contactSync().setRecords({});
    phone.contactSync().clearLog();
    LocalDb db(path, QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule));
    db.create();
    OutcomeSink sink;
    IOSSyncToDeviceThread thread(kUdid, &db, contacts(count), &sink);
    QElapsedTimer timer;
    timer.start();
    thread.start();
    thread.wait();
    const qint64 ms = timer.elapsed();
    if (!sink.succeeded)
        throw std::runtime_error("the transfer failed: " + sink.error.toStdString());
    return ms;
}

qint64 protocolFloorMs(tarnwick::peers::SimulatedIPhone &phone, int count)
{
    qint64 total = 0;
    for (int held = 0; held < count; held += kBatch) {
        phone.contactSync().setRecords(phoneHolding(held));
        QElapsedTimer timer;
        timer.start();
        const _mobiledevice_sync_ctx ctx(QStringLiteral("com.apple.Contacts"), QStringLiteral("---"),
                                         QDateTime::currentDateTime().toString(Qt::ISODate));
        mobiledevice_sync_client client;
        mobiledevice_sync_start_throw(kUdid, ctx, client);
        mobiledevice_sync_start_send_to_device_throw(client);
        mobiledevice_sync_send_finish_throw(client);
        total += timer.elapsed();
    }
    return total;
}

qint64 mergeFloorMs(const QString &path, int count)
{
    FloorWriter::copyTemplate(path);
    QElapsedTimer timer;
    timer.start();
    FloorWriter floor(path);
    for (int i = 1; i <= count; ++i) {
        const QString id = QString::number(i);
        const QString full = first(i) + QStringLiteral(" Last");
        const sqlite3_int64 row = floor.contact(id, full);
        floor.data(row, pim::ENTITY_NAME, QString(), {full, first(i), "Last"});
        floor.data(row, pim::ENTITY_PHONE, "3/" + id + "/0", {phone(i), "2", ""});
    }
    floor.commit();
    return timer.elapsed();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    BenchTargets targets(QStringLiteral("bench_iphonetransfer"));
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    SimulatedUsbmuxd mux;
    mux.makeCurrent();
    auto phone = mux.addDevice(kUdid);

    try {
        for (int count : {1000, 2000}) {
            const qint64 transfer =
                transferMs(mux, *phone, dir.filePath(QStringLiteral("cache%1.db").arg(count)), count);
            const int sessions = phone->contactSync().sessionCount();
            const qint64 protocolFloor = protocolFloorMs(*phone, count);
            const qint64 mergeFloor =
                mergeFloorMs(dir.filePath(QStringLiteral("floor%1.db").arg(count)), count);
            // Each session pulls every record the phone holds: two per contact sent before it.
            qint64 pulled = 0;
            for (int held = 0; held < count; held += kBatch)
                pulled += 2 * held;
            const double protocolRatio = double(transfer) / qMax<qint64>(1, protocolFloor);
            const double mergeRatio = double(transfer) / qMax<qint64>(1, mergeFloor);
            std::printf(
                "%d contacts: %lld ms (%.0f contacts/s), %d sessions, %lld records pulled; protocol floor "
                "%lld ms (ratio %.2f, target 2.00), merge floor %lld ms (ratio %.1f)\n",
                count, static_cast<long long>(transfer), count * 1000.0 / qMax<qint64>(1, transfer), sessions,
                static_cast<long long>(pulled), static_cast<long long>(protocolFloor), protocolRatio,
                static_cast<long long>(mergeFloor), mergeRatio);
            targets.atMost(QStringLiteral("%1 contacts to the phone / protocol floor").arg(count),
                           protocolRatio, 2.0);
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "benchmark failed: %s\n", e.what());
        targets.failed(QStringLiteral("transfer to the phone"), QString::fromUtf8(e.what()));
    }
    return targets.finish();
}
