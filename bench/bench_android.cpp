// Writing contacts to an Android phone and loading them back, end to end: the session threads, the
// USB connector on a simulated phone's shell and the simulated companion app on loopback. Compared
// with the merge floor: the same rows written straight into a fresh file of the template schema with
// one prepared statement per table in one transaction.
#include "AndroidBenchContacts.h"
#include "BenchTargets.h"
#include "CompanionApp.h"
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
constexpr int kRuns = 3;

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
    BenchTargets targets(QStringLiteral("bench_android"));
    // The per-batch diagnostics would swamp the figures.
    QLoggingCategory::setFilterRules(QStringLiteral("tarnwick.*.debug=false"));
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QList<pim::_Contact> list = androidbench::people(kContacts, true);

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

            const qint64 floor =
                androidbench::floorMs(dir.filePath(QStringLiteral("floor%1.db").arg(run)), list);
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
            targets.atMost(QStringLiteral("%1 / merge floor").arg(QLatin1String(what)), ratio, 4.0);
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
        targets.failed(QStringLiteral("write and load"), QString::fromUtf8(e.what()));
    }
    return targets.finish();
}
