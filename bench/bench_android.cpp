// Writing contacts to an Android phone and loading them back, end to end: the session threads, the
// USB connector on a simulated phone's shell and the simulated companion app on loopback. Compared
// with the merge floor: the same rows written straight into a fresh file of the template schema with
// one prepared statement per table in one transaction.
#include "CompanionApp.h"
#include "FloorWriter.h"
#include "SimulatedAndroidHandle.h"

#include "android/AdbConnector.h"
#include "android/AndroidContactsDb.h"
#include "android/SyncBackupThread.h"
#include "android/SyncRestoreThread.h"

#include "OutcomeSink.h"
#include "model/EntityType.h"
#include "model/EntryKeys.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <cstdio>
#include <stdexcept>

using tarnwick::peers::CompanionApp;
using tarnwick::peers::SimulatedAndroidHandle;

namespace {

constexpr int kContacts = 5000;
constexpr int kPhotoBytes = 20 * 1024;
constexpr int kRuns = 3;

pim::Entity valued(int subType, const QString &value)
{
    pim::Entity e;
    e.values[pim::ValueKey::SubType] = QString::number(subType);
    e.values[pim::ValueKey::Value] = value;
    return e;
}

QByteArray photoOf(int i)
{
    QByteArray image(kPhotoBytes, '\0');
    for (int k = 0; k < image.size(); ++k)
        image[k] = char((k * 31 + i * 17) & 0xff);
    return image;
}

QList<pim::_Contact> people()
{
    QList<pim::_Contact> list;
    list.reserve(kContacts);
    for (int i = 1; i <= kContacts; ++i) {
        pim::Entity name;
        name.values[pim::NameKey::GivenName] = QStringLiteral("First%1").arg(i);
        name.values[pim::NameKey::FamilyName] = QStringLiteral("Last%1").arg(i);
        name.values[pim::NameKey::FullName] = name.fullName();
        pim::_Contact c(0, QString(), name.fullName());
        c.entities[pim::ENTITY_NAME] << name;
        c.entities[pim::ENTITY_PHONE]
            << valued(pim::PHONE_MOBILE, QStringLiteral("+44 7700 9%1").arg(i, 5, 10, QLatin1Char('0')))
            << valued(pim::PHONE_WORK, QStringLiteral("+44 20 7946 %1").arg(i, 4, 10, QLatin1Char('0')));
        c.entities[pim::ENTITY_EMAIL]
            << valued(pim::EMAIL_HOME, QStringLiteral("person%1@example.org").arg(i))
            << valued(pim::EMAIL_WORK, QStringLiteral("p%1@work.example").arg(i));
        pim::Entity addr;
        addr.values[pim::AddrKey::SubType] = QStringLiteral("1");
        addr.values[pim::AddrKey::Street] = QStringLiteral("%1 High Street").arg(i);
        addr.values[pim::AddrKey::City] = QStringLiteral("Town%1").arg(i % 97);
        addr.values[pim::AddrKey::Postcode] = QStringLiteral("AB%1 2CD").arg(i % 50);
        addr.values[pim::AddrKey::Formatted] = addr.formattedAddr();
        c.entities[pim::ENTITY_ADDR] << addr;
        pim::Entity photo;
        photo.values[pim::PhotoKey::Image] = photoOf(i);
        c.entities[pim::ENTITY_PHOTO] << photo;
        list << c;
    }
    return list;
}

qint64 floorMs(const QString &path, const QList<pim::_Contact> &list)
{
    LocalDb(path, QSharedPointer<AbsContactCombineRule>()).create();

    QElapsedTimer timer;
    timer.start();
    FloorWriter floor(path);
    int n = 0;
    for (const pim::_Contact &c : list) {
        const QString id = QString::number(++n);
        const sqlite3_int64 row = floor.contact("1/" + id + "/" + id + "/1", c.fullName);
        const pim::Entity name = c.entities.value(pim::ENTITY_NAME).value(0);
        floor.data(row, 1, "1/" + id + "/" + id + "/1",
                   {c.fullName, name.values.value(pim::NameKey::GivenName).toString(),
                    name.values.value(pim::NameKey::FamilyName).toString()});
        for (int type : {pim::ENTITY_PHONE, pim::ENTITY_EMAIL})
            for (const pim::Entity &e : c.entities.value(type))
                floor.data(row, type, QStringLiteral("%1/%2/%2/9").arg(type).arg(id),
                           {e.values.value(pim::ValueKey::Value).toString(),
                            e.values.value(pim::ValueKey::SubType).toString(), ""});
        const pim::Entity a = c.entities.value(pim::ENTITY_ADDR).value(0);
        floor.data(row, pim::ENTITY_ADDR, "12/" + id + "/" + id + "/9",
                   {a.formattedAddr(), "1", "", a.values.value(pim::AddrKey::Street).toString(), "", "",
                    a.values.value(pim::AddrKey::City).toString(), "",
                    a.values.value(pim::AddrKey::Postcode).toString()});
        const QByteArray image =
            c.entities.value(pim::ENTITY_PHOTO).value(0).values.value(pim::PhotoKey::Image).toByteArray();
        floor.photo(row, "2/" + id + "/" + id + "/9", pim::Entity::photoHash(image), image);
    }
    floor.commit();
    return timer.elapsed();
}

template<typename Session> qint64 timed(Session &session, OutcomeSink &sink)
{
    QElapsedTimer timer;
    timer.start();
    session.start();
    session.wait();
    const qint64 ms = timer.elapsed();
    if (!sink.succeeded)
        throw std::runtime_error(("the session failed: " + sink.error).toStdString());
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The per-batch diagnostics would swamp the figures.
    QLoggingCategory::setFilterRules(QStringLiteral("tarnwick.*.debug=false"));
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QList<pim::_Contact> list = people();

    try {
        qint64 bestWrite = -1, bestLoad = -1, bestFloor = -1;
        for (int run = 0; run < kRuns; ++run) {
            CompanionApp phone;
            phone.keepReceived = false;
            QSharedPointer<SimulatedAndroidHandle> handle(new SimulatedAndroidHandle(&phone));
            handle->userPackages << AdbConnector::kPackage;
            PAndroidConnector connector(new AdbConnector(handle, [](unsigned long) {}));

            AndroidContactsDb mirror(dir.filePath(QStringLiteral("mirror%1").arg(run)), connector);
            mirror.create();
            OutcomeSink writeSink;
            SyncBackupThread write(list, &mirror, phone.port(), &writeSink);
            const qint64 writeMs = timed(write, writeSink);

            AndroidContactsDb reloaded(dir.filePath(QStringLiteral("reloaded%1").arg(run)), connector);
            reloaded.create();
            OutcomeSink loadSink;
            SyncRestoreThread load(&reloaded, phone.port(), &loadSink);
            const qint64 loadMs = timed(load, loadSink);
            const int stored = int(reloaded.contacts(0, QString()).size());
            if (stored != kContacts)
                throw std::runtime_error(QStringLiteral("loaded %1 contacts, expected %2")
                                             .arg(stored)
                                             .arg(kContacts)
                                             .toStdString());

            const qint64 floor = floorMs(dir.filePath(QStringLiteral("floor%1.db").arg(run)), list);
            std::printf("run %d: write %lld ms, load %lld ms, floor %lld ms\n", run + 1,
                        static_cast<long long>(writeMs), static_cast<long long>(loadMs),
                        static_cast<long long>(floor));
            bestWrite = bestWrite < 0 ? writeMs : qMin(bestWrite, writeMs);
            bestLoad = bestLoad < 0 ? loadMs : qMin(bestLoad, loadMs);
            bestFloor = bestFloor < 0 ? floor : qMin(bestFloor, floor);
        }
        const auto perSecond = [](qint64 ms) { return kContacts * 1000.0 / double(qMax<qint64>(ms, 1)); };
        const double floorRate = perSecond(bestFloor);
        const auto report = [&](const char *what, qint64 ms) {
            const double ratio = double(ms) / double(qMax<qint64>(bestFloor, 1));
            std::printf(
                "Android %s: %d contacts (name, 2 phones, 2 e-mails, an address, a 20 KB photo) in %lld ms = "
                "%.0f contacts/s, %.2fx the floor (target: at most 4x) %s\n",
                what, kContacts, static_cast<long long>(ms), perSecond(ms), ratio,
                ratio <= 4.0 ? "OK" : "OVER");
        };
        report("write", bestWrite);
        report("load", bestLoad);
        std::printf("merge floor: %lld ms = %.0f contacts/s\n", static_cast<long long>(bestFloor), floorRate);
    } catch (const std::exception &e) {
        std::printf("failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
