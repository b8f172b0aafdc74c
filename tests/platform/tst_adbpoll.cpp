#include "DrivenUsbPoll.h"
#include "SimulatedAdbd.h"
#include "SimulatedUsbBus.h"
#include "TestMain.h"
#include "platform/adb/AdbEmuPoll.h"
#include "platform/adb/AdbForwardServer.h"
#include "platform/adb/AdbPoll.h"
#include "platform/adb/AdbShell.h"
#include "platform/adb/AdbThreadPool.h"
#include "platform/adb/AdbTransport.h"
#include "platform/adb/AdbUsbContext.h"
#include "platform/adb/AdbUsbHotplug.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThreadPool>

#include <libusb.h>

#include <mutex>
#include <vector>

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

// Counts its passes; its interval is far beyond any test, so a second pass comes only when asked.
class CountingPoll : public AbsAdbPoll
{
public:
    explicit CountingPoll(bool askDuringFirstPass = false)
        : AbsAdbPoll(10 * 60 * 1000, nullptr)
        , m_askDuringFirstPass(askDuringFirstPass)
    {}
    ~CountingPoll() override { stop(); }
    std::atomic_int passes{0};
    std::atomic_bool ended{false};

protected:
    void poll() override
    {
        // As when a phone is plugged in while a pass is looking at the bus.
        if (passes++ == 0 && m_askDuringFirstPass)
            requestPass();
    }
    void pollEnded() override { ended = true; }

private:
    const bool m_askDuringFirstPass;
};

// A poll over a simulated USB bus whose passes the test makes one by one, so that retries are
// counted in passes and no test waits on the clock.
std::shared_ptr<libusb_context> usbContextOrNull()
{
    try {
        return AdbUsbContext().context();
    } catch (const std::exception &) {
        return nullptr;
    }
}

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

    // A USB event brings a pass at once instead of at the end of the interval.
    void requestedPassComesAtOnce_data()
    {
        QTest::addColumn<bool>("askDuringFirstPass");
        QTest::newRow("asked between passes") << false;
        // A request that arrives while a pass runs is not lost.
        QTest::newRow("asked during a pass") << true;
    }

    void requestedPassComesAtOnce()
    {
        QFETCH(bool, askDuringFirstPass);
        CountingPoll poll(askDuringFirstPass);
        poll.start(QThread::InheritPriority);
        if (askDuringFirstPass) {
            QTRY_COMPARE_WITH_TIMEOUT(int(poll.passes), 2, 20000);
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(int(poll.passes), 1, 20000);
            poll.requestPass();
            QTRY_COMPARE_WITH_TIMEOUT(int(poll.passes), 2, 20000);
        }
        poll.stop();
        QVERIFY(poll.ended);
        // Stopped: a request does nothing any more.
        const int passes = poll.passes;
        poll.requestPass();
        QTest::qWait(100);
        QCOMPARE(int(poll.passes), passes);
    }

    // libusb's events reach the handler as arrivals and departures; the registration and its
    // event thread end with the object. No device is needed: libusb's own callback is called the
    // way libusb calls it.
    void hotplugEventsReachTheHandler()
    {
        const std::shared_ptr<libusb_context> context = usbContextOrNull();
        if (!context)
            QSKIP("libusb cannot start here");
        std::mutex mutex;
        std::vector<AdbUsbHotplug::Change> seen;
        std::unique_ptr<AdbUsbHotplug> hotplug =
            AdbUsbHotplug::create(context, [&](AdbUsbHotplug::Change change) {
                std::lock_guard lock(mutex);
                seen.push_back(change);
            });
        if (!hotplug) {
            QVERIFY(!libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG));
            QSKIP("libusb has no hot-plug support here");
        }
        QCOMPARE(AdbUsbHotplug::onEvent(context.get(), nullptr, LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED,
                                        hotplug.get()),
                 0);
        QCOMPARE(
            AdbUsbHotplug::onEvent(context.get(), nullptr, LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT, hotplug.get()),
            0);
        {
            std::lock_guard lock(mutex);
            const std::vector<AdbUsbHotplug::Change> expected{AdbUsbHotplug::Change::Arrived,
                                                              AdbUsbHotplug::Change::Left};
            QVERIFY(seen == expected);
        }
        hotplug.reset(); // joins its event thread; a hang here fails the test by its time-out
        // The context lives on for the poll's own use.
        libusb_device **list = nullptr;
        const ssize_t count = libusb_get_device_list(context.get(), &list);
        QVERIFY(count >= 0);
        libusb_free_device_list(list, 1);
    }

    // The USB poll listens for events while it runs and stops listening when stopped.
    void usbPollHearsHotplugWhileRunning()
    {
        if (!usbContextOrNull())
            QSKIP("libusb cannot start here");
        if (!libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG))
            QSKIP("libusb has no hot-plug support here");
        AdbPoll poll(60000, nullptr);
        QSignalSpy arrived(&poll, &AdbPoll::newDevice);
        QVERIFY(!poll.hearsHotplug());
        poll.start(QThread::InheritPriority);
        QTRY_VERIFY_WITH_TIMEOUT(poll.hearsHotplug(), 20000);
        poll.stop();
        QVERIFY(poll.isFinished());
        QVERIFY(!poll.hearsHotplug());
        QCOMPARE(arrived.size(), 0); // no phone here
    }

    // A phone on USB that cannot be had at first, or drops, comes online without being replugged;
    // the user hears of its failure once, with the cause where it is the lack of rights.
    void usbFaults_data()
    {
        QTest::addColumn<QList<int>>("openResults");
        QTest::addColumn<QList<int>>("claimResults");
        QTest::addColumn<bool>("heldUntilWatcher");
        QTest::addColumn<bool>("halted");
        QTest::addColumn<bool>("dropsOnce");
        QTest::addColumn<int>("onlineBy"); // the pass by which it is online; 0: never
        QTest::addColumn<int>("failedBoxes");
        QTest::addColumn<int>("deniedBoxes");

        const QList<int> none;
        QList<int> alwaysDenied;
        for (int i = 0; i < 50; ++i)
            alwaysDenied << LIBUSB_ERROR_ACCESS;
        QTest::newRow("open refused: access denied")
            << alwaysDenied << none << false << false << false << 0 << 0 << 1;
        QTest::newRow("open refused: busy") << QList<int>{LIBUSB_ERROR_BUSY, LIBUSB_ERROR_BUSY} << none
                                            << false << false << false << 12 << 1 << 0;
        QTest::newRow("claim fails") << none << QList<int>{LIBUSB_ERROR_IO} << false << false << false << 12
                                     << 1 << 0;
        QTest::newRow("transport breaks while plugged in")
            << none << none << false << false << true << 12 << 0 << 0;
        QTest::newRow("watcher frees a busy phone") << none << none << true << false << false << 2 << 1 << 0;
        QTest::newRow("endpoints halted by an earlier host")
            << none << none << false << true << false << 1 << 0 << 0;
    }

    void usbFaults()
    {
        QFETCH(QList<int>, openResults);
        QFETCH(QList<int>, claimResults);
        QFETCH(bool, heldUntilWatcher);
        QFETCH(bool, halted);
        QFETCH(bool, dropsOnce);
        QFETCH(int, onlineBy);
        QFETCH(int, failedBoxes);
        QFETCH(int, deniedBoxes);

        const QString path = QStringLiteral("usb:1-4");
        tarnwick::peers::SimulatedAdbd adbd;
        auto bus = std::make_shared<tarnwick::peers::SimulatedUsbBus>();
        bus->plug(path, adbd.port());
        bus->script(path, [&](tarnwick::peers::SimulatedUsbBus::Script &s) {
            s.openResults = openResults;
            s.claimResults = claimResults;
            s.heldElsewhere = heldUntilWatcher;
            s.inHalted = s.outHalted = halted;
        });
        tarnwick::peers::DrivenUsbPoll poll(bus);
        QSignalSpy arrived(&poll, &AdbPoll::newDevice);
        QSignalSpy kicked(&poll, &AdbPoll::kickDevice);
        QSignalSpy failed(&poll, &AdbPoll::failedDevice);
        QSignalSpy denied(&poll, &AdbPoll::deniedDevice);

        constexpr int kPasses = 30;
        int onlineAt = 0;
        bool dropped = false;
        for (int pass = 1; pass <= kPasses && !onlineAt; ++pass) {
            const qsizetype before = arrived.size();
            poll.pass();
            if (heldUntilWatcher && pass == 1) {
                // The watcher ended the adb server that held the phone.
                bus->script(path, [](auto &s) { s.heldElsewhere = false; });
                poll.retryFailedNow();
            }
            if (arrived.size() == before)
                continue;
            QCOMPARE(arrived.last().at(0).toString(), path);
            const auto handle = arrived.last().at(1).value<PAdbUSBHandle>();
            QVERIFY(handle->waitForAuth2(20000));
            if (dropsOnce && !dropped) {
                dropped = true;
                adbd.unplug();
                QTRY_COMPARE(handle->transport()->state(), AdbTransport::State::Offline);
                continue;
            }
            QCOMPARE(adbShell(handle, QStringLiteral("echo up"), nullptr, nullptr, nullptr),
                     QByteArray("up\n"));
            onlineAt = pass;
        }
        if (onlineBy == 0)
            QCOMPARE(onlineAt, 0);
        else
            QVERIFY2(onlineAt > 0 && onlineAt <= onlineBy, qPrintable(QString::number(onlineAt)));
        QCOMPARE(int(failed.size()), failedBoxes);
        QCOMPARE(int(denied.size()), deniedBoxes);
        QCOMPARE(int(kicked.size()), dropsOnce ? 1 : 0);
        const int opens = bus->scriptOf(path).opens;
        // Retried, but not at every pass.
        if (!onlineAt)
            QVERIFY2(opens > 1 && opens < kPasses / 2, qPrintable(QString::number(opens)));
    }

    // Unplugged and plugged in again, a phone that failed is reported again; while it stays, once.
    void failureIsReportedOncePerPlugIn()
    {
        const QString path = QStringLiteral("usb:2-1");
        tarnwick::peers::SimulatedAdbd adbd;
        auto bus = std::make_shared<tarnwick::peers::SimulatedUsbBus>();
        bus->plug(path, adbd.port());
        bus->script(path, [](auto &s) { s.heldElsewhere = true; });
        tarnwick::peers::DrivenUsbPoll poll(bus);
        QSignalSpy failed(&poll, &AdbPoll::failedDevice);
        for (int pass = 0; pass < 20; ++pass)
            poll.pass();
        QCOMPARE(int(failed.size()), 1);
        QVERIFY(bus->scriptOf(path).claims > 1);
        bus->unplug(path);
        poll.pass();
        bus->plug(path, adbd.port());
        bus->script(path, [](auto &s) { s.heldElsewhere = true; });
        poll.pass();
        QCOMPARE(int(failed.size()), 2);
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
