#include "platform/adb/AdbEmuPoll.h"
#include "platform/adb/AdbForwardServer.h"
#include "platform/adb/AdbPoll.h"
#include "platform/adb/AdbShell.h"
#include "platform/adb/AdbThreadPool.h"
#include "platform/adb/AdbTransport.h"
#include "SimulatedAdbd.h"
#include "TestMain.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThreadPool>

namespace {

// A phone double that answers every command.
class FakePhone : public AdbUSBHandle
{
public:
    FakePhone()
        : AdbUSBHandle(QStringLiteral("serial-1"))
    {}
    bool waitForAuth2(int) override { return true; }
    bool shell(const QString &command, QByteArray *output, QString *) override
    {
        *output = "ran:" + command.toUtf8();
        return true;
    }
    bool install(const QString &, const QString &options, QString *) override { return options == "-r"; }
    quint16 forward(quint16 local, quint16, QString *) override { return local; }
};

// A poll that reports one phone on its first pass, like a transport would.
class OnePhonePoll : public AdbPoll
{
public:
    OnePhonePoll()
        : AdbPoll(10, nullptr)
    {}
    std::atomic_int passes{0};

protected:
    void poll() override
    {
        if (passes++ == 0)
            emit newDevice(QStringLiteral("usb:1-1"), PAdbUSBHandle(new FakePhone));
    }
};

} // namespace

class TestAdbPoll : public QObject
{
    Q_OBJECT

private slots:
    void stopWithoutStartReturns()
    {
        AdbPoll poll(1000, nullptr);
        AdbEmuPoll emu(1000, nullptr);
        poll.stop();
        emu.stop();
        poll.stop(); // twice is harmless
        QVERIFY(poll.isFinished() || !poll.isRunning());
        QVERIFY(poll.isStopped());
    }

    // stop() must not sit out the interval: the shell stops both polls when the window closes.
    void stopEndsTheThreadPromptly()
    {
        // An interval far beyond any bound the check allows, so a stop that sat it out cannot pass
        // and a prompt one cannot fail, however loaded the machine is.
        AdbPoll poll(3600 * 1000, nullptr);
        poll.start(QThread::InheritPriority);
        QTRY_VERIFY(poll.isRunning());
        QElapsedTimer t;
        t.start();
        poll.stop();
        QVERIFY(t.elapsed() < 60 * 1000);
        QVERIFY(poll.isFinished());
    }

    void signalsReachTheGuiThreadQueued()
    {
        OnePhonePoll poll;
        PAdbUSBHandle received;
        QThread *deliveredOn = nullptr;
        connect(&poll, &AdbPoll::newDevice, this, [&](QString path, PAdbUSBHandle h) {
            QCOMPARE(path, QStringLiteral("usb:1-1"));
            received = h;
            deliveredOn = QThread::currentThread();
        });
        poll.start(QThread::InheritPriority);
        QTRY_VERIFY(received);
        QCOMPARE(deliveredOn, QThread::currentThread());
        QCOMPARE(received->deviceId(), QStringLiteral("serial-1"));
        QVERIFY(received->waitForAuth2(500));
        poll.stop();
        const int passes = poll.passes;
        QTest::qWait(50);
        QCOMPARE(int(poll.passes), passes);
    }

    void handleWithoutTransportNeverAuthorises()
    {
        AdbUSBHandle plain(QStringLiteral("abc"));
        QCOMPARE(plain.deviceId(), QStringLiteral("abc"));
        QElapsedTimer t;
        t.start();
        QVERIFY(!plain.waitForAuth2(50));
        QVERIFY(t.elapsed() >= 40);
        QString err;
        QVERIFY(!adbInstallLegacy(PAdbUSBHandle(new AdbUSBHandle), "x.apk", "-r", &err));
        QVERIFY(!err.isEmpty());
        // A command that cannot run is a failure, not an empty answer.
        bool ok = true;
        int exitCode = 0;
        err.clear();
        QVERIFY(adbShell(PAdbUSBHandle(new AdbUSBHandle), "ls", &ok, &err, &exitCode).isEmpty());
        QVERIFY(!ok);
        QVERIFY(!err.isEmpty());
        QCOMPARE(exitCode, -1);
    }

    void commandsGoThroughTheHandle()
    {
        PAdbUSBHandle phone(new FakePhone);
        bool ran = false;
        QCOMPARE(adbShell(phone, "pm list packages -3", &ran, nullptr, nullptr),
                 QByteArray("ran:pm list packages -3"));
        QVERIFY(ran);
        QVERIFY(adbInstallLegacy(phone, "/tmp/app.apk", "-r", nullptr));
        QCOMPARE(AdbForwardServer::forward(phone, 23456, 23456, nullptr), quint16(23456));
        bool ok = true;
        QVERIFY(adbShell(PAdbUSBHandle(), "ls", &ok, nullptr, nullptr).isEmpty());
        QVERIFY(!ok);
        QCOMPARE(AdbForwardServer::forward(PAdbUSBHandle(), 1, 1, nullptr), quint16(0));
    }

    // Emulators and network phones: a daemon that answers on a watched port arrives as a phone, one
    // that goes away is kicked, and a stopped poll reports nothing more.
    void emulatorPollFollowsTheDaemon()
    {
        tarnwick::peers::SimulatedAdbd phone;
        AdbEmuPoll poll(50, nullptr);
        poll.setPorts({phone.port()});
        QSignalSpy arrived(&poll, &AdbEmuPoll::newDevice);
        QSignalSpy kicked(&poll, &AdbEmuPoll::kickDevice);
        poll.start(QThread::InheritPriority);
        QTRY_COMPARE(arrived.size(), 1);
        const QString path = arrived.at(0).at(0).toString();
        const auto handle = arrived.at(0).at(1).value<PAdbUSBHandle>();
        QCOMPARE(path, QStringLiteral("tcp:127.0.0.1:%1").arg(phone.port()));
        QCOMPARE(handle->deviceId(), QStringLiteral("emulator-%1").arg(phone.port() - 1));
        QVERIFY(handle->waitForAuth2(20000));
        QCOMPARE(adbShell(handle, QStringLiteral("echo up"), nullptr, nullptr, nullptr), QByteArray("up\n"));

        phone.unplug();
        QTRY_COMPARE(kicked.size(), 1);
        QCOMPARE(kicked.at(0).at(0).toString(), path);
        QCOMPARE(kicked.at(0).at(1).value<PAdbUSBHandle>(), handle);

        poll.stop();
        QVERIFY(poll.isFinished());
        const int arrivals = int(arrived.size());
        const int kicks = int(kicked.size());
        phone.unplug();
        QTest::qWait(200);
        QCOMPARE(int(arrived.size()), arrivals);
        QCOMPARE(int(kicked.size()), kicks);
    }

    void poolDrains()
    {
        QThreadPool *pool = adbThreadPool();
        QVERIFY(pool);
        QCOMPARE(adbThreadPool(), pool);
        std::atomic_int done{0};
        pool->start([&done] {
            QThread::msleep(20);
            ++done;
        });
        QVERIFY(pool->waitForDone(5000));
        QCOMPARE(int(done), 1);
    }
};

TARNWICK_TEST_MAIN(TestAdbPoll)
#include "tst_adbpoll.moc"
