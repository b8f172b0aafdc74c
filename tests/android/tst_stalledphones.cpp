#include "ClosedLoopbackPort.h"
#include "DrivenUsbPoll.h"
#include "RecordingProgressSink.h"
#include "SimulatedAdbd.h"
#include "SimulatedUsbBus.h"
#include "TestMain.h"

#include "android/AdbConnector.h"
#include "android/AndroidContactsDb.h"
#include "android/SyncBackupThread.h"
#include "android/SyncRestoreThread.h"
#include "model/EntityType.h"
#include "model/EntryKeys.h"
#include "platform/adb/AdbError.h"
#include "platform/adb/AdbInterruption.h"
#include "platform/adb/AdbLibusbEndpoints.h"
#include "platform/adb/AdbPoll.h"
#include "platform/adb/AdbShellService.h"
#include "platform/adb/AdbSocket.h"
#include "platform/adb/AdbStream.h"
#include "platform/adb/AdbSyncService.h"
#include "platform/adb/AdbThreadPool.h"
#include "platform/adb/AdbTransport.h"
#include "platform/adb/AdbUSBHandle.h"
#include "platform/adb/AdbUsbChannel.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThreadPool>

#include <condition_variable>
#include <future>
#include <mutex>

using tarnwick::peers::DrivenUsbPoll;
using tarnwick::peers::SimulatedAdbd;
using tarnwick::peers::SimulatedUsbBus;

namespace {

const QString kPath = QStringLiteral("usb:3-1");

// What this process holds of the system: its threads and its sockets.
struct Held
{
    int threads = 0;
    int sockets = 0;
};

Held held()
{
    // Idle pool workers come and go with their expiry; drained, they are all gone.
    adbThreadPool()->waitForDone();
    QThreadPool::globalInstance()->waitForDone();
    Held out;
    out.threads =
        int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
        if (QFileInfo(QFile::symLinkTarget(fds.filePath(fd)))
                .fileName()
                .startsWith(QLatin1String("socket:[")))
            ++out.sockets;
    }
    return out;
}

// Threads of the simulated phone and of the client end a moment after their objects went.
bool heldReturnsTo(const Held &start)
{
    QDeadlineTimer deadline(10000);
    for (;;) {
        const Held now = held();
        if (now.threads <= start.threads && now.sockets <= start.sockets)
            return true;
        if (deadline.hasExpired()) {
            qWarning("held %d threads, %d sockets; at the start %d, %d", now.threads, now.sockets,
                     start.threads, start.sockets);
            return false;
        }
        QThread::msleep(50);
    }
}

// A shell whose commands open and then say nothing until released; the commands in `answered`
// get their normal answers. Shared with the phone's threads, which may still be inside it.
struct MuteShell
{
    std::mutex mutex;
    std::condition_variable changed;
    bool released = false;
    QStringList answered;

    static SimulatedAdbd::ShellHandler handler(const std::shared_ptr<MuteShell> &mute)
    {
        return [mute](const QString &command) -> std::optional<SimulatedAdbd::ShellResult> {
            for (const QString &prefix : std::as_const(mute->answered)) {
                if (command.startsWith(prefix))
                    return std::nullopt;
            }
            std::unique_lock lock(mute->mutex);
            mute->changed.wait(lock, [&mute] { return mute->released; });
            return SimulatedAdbd::ShellResult{};
        };
    }
    void release()
    {
        std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    }
};

// Ends the mute shell before the phone, whose threads it holds, goes.
struct Releaser
{
    std::shared_ptr<MuteShell> mute;
    ~Releaser() { mute->release(); }
};

// The phone at kPath on the bus, reached through the program's own USB channel.
std::shared_ptr<AdbTransport> usbTransport(SimulatedUsbBus &bus, int stallLimitMs)
{
    for (const AdbUsbLibrary::Interface &iface : bus.adbInterfaces()) {
        if (iface.path != kPath)
            continue;
        auto endpoints = std::make_unique<AdbLibusbEndpoints>(bus, iface);
        const QString serial = endpoints->serialNumber();
        auto transport =
            AdbTransport::start(std::make_unique<AdbUsbChannel>(std::move(endpoints), stallLimitMs), serial);
        return transport->waitForOnline(10000) ? transport : nullptr;
    }
    return nullptr;
}

// From now on the phone NAKs every packet the host sends.
void nakFromNow(SimulatedUsbBus &bus)
{
    bus.script(kPath, [](SimulatedUsbBus::Script &s) { s.outNaksAfter = s.outTransfers; });
}

// The poll of the program over the simulated bus, driven pass by pass or run as its thread.
pim::_Contact person(const QString &first, const QString &last)
{
    pim::Entity name;
    name.values[pim::NameKey::GivenName] = first;
    name.values[pim::NameKey::FamilyName] = last;
    name.values[pim::NameKey::FullName] = name.fullName();
    pim::_Contact c(0, QString(), name.fullName());
    c.entities[pim::ENTITY_NAME] << name;
    return c;
}

quint16 closedPort()
{
    return tarnwick::test::closedLoopbackPort();
}

bool listening(quint16 port)
{
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, port);
    return probe.waitForConnected(1000);
}

} // namespace

class TestStalledPhones : public QObject
{
    Q_OBJECT

    enum class Case {
        NakGreeting,       // the poll greets a phone whose bulk-out NAKs
        NakQuit,           // the program quits while the poll greets it
        MuteGreeting,      // the poll greets a phone that never answers
        NakWrite,          // a stream write to a phone that starts NAKing
        NakTransportClose, // the transport is closed while such a write is stuck
        NakStreamClose,    // the stream is closed from another thread while such a write is stuck
        NakForwardRelease, // a forward is released while its relay's write is stuck
        MuteShell,         // a command's shell opens and stays mute
        MuteShellCancel,   // the same, cancelled by the user
        MutePush,          // a push whose answer never comes
        GoneBeforeStart,   // a session is started on a phone that went away
    };

private slots:
    // Each stalled or silent phone ends the call in hand within its bound, with an error that says
    // what happened; what the call set up (threads, sockets) is gone afterwards.
    void stalledAndSilentPhones_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<int>("boundMs");
        QTest::addColumn<QString>("error");

        QTest::newRow("bulk-out NAKs: the greeting gives up") << int(Case::NakGreeting) << 8000 << "";
        QTest::newRow("bulk-out NAKs: quitting while greeting") << int(Case::NakQuit) << 1500 << "";
        QTest::newRow("no answer to the greeting: not handed over") << int(Case::MuteGreeting) << 4000 << "";
        QTest::newRow("bulk-out NAKs: a write fails") << int(Case::NakWrite) << 2500 << "takes no data";
        QTest::newRow("bulk-out NAKs: closing the transport fails the write")
            << int(Case::NakTransportClose) << 1000 << "closed";
        QTest::newRow("bulk-out NAKs: closing the stream does not wait")
            << int(Case::NakStreamClose) << 500 << "takes no data";
        QTest::newRow("bulk-out NAKs: releasing a forward") << int(Case::NakForwardRelease) << 2500 << "";
        QTest::newRow("mute shell") << int(Case::MuteShell) << 1500 << "in time";
        QTest::newRow("mute shell, cancelled") << int(Case::MuteShellCancel) << 1000 << "Cancelled";
        QTest::newRow("push answer never comes") << int(Case::MutePush) << 1500 << "in time";
        QTest::newRow("phone gone before the session starts")
            << int(Case::GoneBeforeStart) << 1000 << "IDS_ANDROID_PHONE_DISCONNECTED";
    }

    void stalledAndSilentPhones()
    {
        QFETCH(int, which);
        QFETCH(int, boundMs);
        QFETCH(QString, error);
        const Case what = Case(which);
        const Held start = held();
        {
            SimulatedAdbd adbd;
            auto mute = std::make_shared<MuteShell>();
            const Releaser releaser{mute};
            adbd.setShellHandler(MuteShell::handler(mute));
            auto bus = std::make_shared<SimulatedUsbBus>();
            bus->plug(kPath, adbd.port());

            QElapsedTimer took;
            QString failure;
            switch (what) {
            case Case::NakGreeting:
            case Case::MuteGreeting: {
                bus->script(kPath, [what](SimulatedUsbBus::Script &s) {
                    if (what == Case::NakGreeting)
                        s.outNaksAfter = 0;
                    else
                        s.inMute = true;
                });
                DrivenUsbPoll poll(bus);
                QSignalSpy arrived(&poll, &AdbPoll::newDevice);
                QSignalSpy failed(&poll, &AdbPoll::failedDevice);
                took.start();
                poll.pass();
                failure = QString::number(took.elapsed());
                QCOMPARE(arrived.size(), 0);
                QCOMPARE(failed.size(), 1);
                break;
            }
            case Case::NakQuit: {
                bus->script(kPath, [](SimulatedUsbBus::Script &s) { s.outNaksAfter = 0; });
                DrivenUsbPoll poll(bus);
                QSignalSpy arrived(&poll, &AdbPoll::newDevice);
                poll.start();
                QTRY_VERIFY(bus->scriptOf(kPath).outTransfers > 0);
                took.start();
                poll.stop();
                QCOMPARE(arrived.size(), 0);
                break;
            }
            case Case::NakWrite:
            case Case::NakTransportClose:
            case Case::NakStreamClose: {
                const int stallMs = what == Case::NakTransportClose ? 30000 : 1000;
                const std::shared_ptr<AdbTransport> transport = usbTransport(*bus, stallMs);
                QVERIFY(transport);
                const std::shared_ptr<AdbStream> stream = transport->open("sync:");
                nakFromNow(*bus);
                auto writing = std::async(std::launch::async, [stream] {
                    try {
                        stream->write(QByteArray(1024, 'x'));
                    } catch (const AdbError &e) {
                        return QString::fromUtf8(e.what());
                    }
                    return QStringLiteral("returned normally");
                });
                if (what == Case::NakWrite) {
                    took.start();
                } else {
                    QTRY_VERIFY(bus->scriptOf(kPath).outTransfers > bus->scriptOf(kPath).outNaksAfter);
                    took.start();
                    if (what == Case::NakTransportClose)
                        transport->close();
                    else
                        stream->close();
                }
                if (what == Case::NakStreamClose) {
                    // The close came back at once; the write ends on its own limit.
                    QVERIFY2(took.elapsed() <= boundMs, qPrintable(QString::number(took.elapsed())));
                    boundMs = stallMs + 1000;
                }
                QCOMPARE(writing.wait_for(std::chrono::milliseconds(boundMs + 1000)),
                         std::future_status::ready);
                failure = writing.get();
                QCOMPARE(transport->state(), AdbTransport::State::Offline);
                break;
            }
            case Case::NakForwardRelease: {
                const std::shared_ptr<AdbTransport> transport = usbTransport(*bus, 1000);
                QVERIFY(transport);
                // The app's end of the forward on the phone.
                QTcpServer app;
                QVERIFY(app.listen(QHostAddress::LocalHost, 0));
                AdbUSBHandle handle(transport);
                QString reason;
                const quint16 local = handle.forward(0, app.serverPort(), &reason);
                QVERIFY2(local != 0, qPrintable(reason));
                AdbSocket session = AdbSocket::connectTo(QStringLiteral("127.0.0.1"), local, 5000);
                QVERIFY(app.waitForNewConnection(5000));
                nakFromNow(*bus);
                session.sendAll(QByteArray(256 * 1024, 's'));
                QTRY_VERIFY(bus->scriptOf(kPath).outTransfers > bus->scriptOf(kPath).outNaksAfter);
                took.start();
                handle.removeForward(local);
                QCOMPARE(transport->state(), AdbTransport::State::Offline);
                break;
            }
            case Case::MuteShell:
            case Case::MuteShellCancel: {
                const std::shared_ptr<AdbTransport> transport = usbTransport(*bus, 5000);
                QVERIFY(transport);
                took.start();
                if (what == Case::MuteShell) {
                    try {
                        AdbShellService::run(*transport, QStringLiteral("am start -n x/.y"), 500);
                        failure = QStringLiteral("returned normally");
                    } catch (const AdbError &e) {
                        failure = QString::fromUtf8(e.what());
                    }
                } else {
                    const AdbInterruption::Scope scope([&took] { return took.elapsed() >= 300; });
                    AdbUSBHandle handle(transport);
                    int exitCode = 0;
                    QVERIFY(!handle.shellStatus(QStringLiteral("am start -n x/.y"), nullptr, &failure,
                                                &exitCode));
                    QCOMPARE(exitCode, -1);
                }
                // The phone is silent, not gone: it goes on serving.
                QCOMPARE(transport->state(), AdbTransport::State::Online);
                transport->close();
                break;
            }
            case Case::MutePush: {
                const std::shared_ptr<AdbTransport> transport = usbTransport(*bus, 5000);
                QVERIFY(transport);
                adbd.setFault(SimulatedAdbd::Fault::MuteAfterPush);
                QByteArray bytes(100000, 'p');
                QBuffer file(&bytes);
                QVERIFY(file.open(QIODevice::ReadOnly));
                took.start();
                try {
                    AdbSyncService::push(*transport, file, QStringLiteral("/data/local/tmp/a.apk"), 0644, 0,
                                         500);
                    failure = QStringLiteral("returned normally");
                } catch (const AdbError &e) {
                    failure = QString::fromUtf8(e.what());
                }
                transport->close();
                break;
            }
            case Case::GoneBeforeStart: {
                const std::shared_ptr<AdbTransport> transport = usbTransport(*bus, 5000);
                QVERIFY(transport);
                adbd.unplug();
                QTRY_COMPARE(transport->state(), AdbTransport::State::Offline);
                const quint16 port = closedPort();
                AdbConnector connector(PAdbUSBHandle(new AdbUSBHandle(transport)), [](unsigned long) {});
                took.start();
                try {
                    failure = QStringLiteral("returned ") + connector.startBackup(port);
                } catch (const std::exception &e) {
                    failure = QString::fromUtf8(e.what());
                }
                QVERIFY(adbd.shellCommands().isEmpty());
                QVERIFY(!listening(port));
                connector.endSession(port);
                break;
            }
            }
            QVERIFY2(took.elapsed() <= boundMs, qPrintable(QString::number(took.elapsed())));
            QVERIFY2(failure.contains(error), qPrintable(failure));
        }
        QVERIFY(heldReturnsTo(start));
    }

    // The phone goes silent right after the app check; the user's Cancel a second later ends the
    // session's start within two seconds, and nothing of the session stays.
    void cancelEndsAMuteSessionStart_data()
    {
        QTest::addColumn<bool>("write");
        QTest::newRow("load") << false;
        QTest::newRow("write") << true;
    }

    void cancelEndsAMuteSessionStart()
    {
        QFETCH(bool, write);
        const Held start = held();
        {
            SimulatedAdbd adbd;
            auto mute = std::make_shared<MuteShell>();
            mute->answered << QStringLiteral("pm list packages");
            const Releaser releaser{mute};
            adbd.setShellHandler(MuteShell::handler(mute));
            adbd.setUserPackages({AdbConnector::kPackage});
            auto bus = std::make_shared<SimulatedUsbBus>();
            bus->plug(kPath, adbd.port());
            const std::shared_ptr<AdbTransport> transport = usbTransport(*bus, 5000);
            QVERIFY(transport);

            QTemporaryDir dir;
            AndroidContactsDb mirror(
                dir.filePath(QStringLiteral("SIM0ANDROID")),
                PAndroidConnector(new AdbConnector(PAdbUSBHandle(new AdbUSBHandle(transport)))));
            mirror.create();
            RecordingProgressSink progress;
            const quint16 port = closedPort();
            std::unique_ptr<QThread> session;
            if (write)
                session = std::make_unique<SyncBackupThread>(QList<pim::_Contact>{person("Ann", "Lee")},
                                                             &mirror, port, &progress);
            else
                session = std::make_unique<SyncRestoreThread>(&mirror, port, &progress);
            session->start();
            QTRY_VERIFY(adbd.shellCommands().join('\n').contains(QLatin1String("am start")));
            QTest::qWait(1000);
            progress.canceled = true;
            QElapsedTimer took;
            took.start();
            QVERIFY(session->wait(QDeadlineTimer(10000)));
            QVERIFY2(took.elapsed() <= 2000, qPrintable(QString::number(took.elapsed())));
            // A cancel is no failure; nothing was kept on this computer.
            QCOMPARE(progress.outcome(), QString());
            QVERIFY(!listening(port));
            QVERIFY(mirror.contacts(0, QString()).isEmpty());
            if (auto *writer = dynamic_cast<SyncBackupThread *>(session.get()))
                QVERIFY(!writer->cancelledMidWrite());
            transport->close();
        }
        QVERIFY(heldReturnsTo(start));
    }
};

TARNWICK_TEST_MAIN(TestStalledPhones)
#include "tst_stalledphones.moc"
