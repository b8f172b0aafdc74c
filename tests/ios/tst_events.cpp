#include "ios/MobiledeviceSubscribe.h"
#include "SimulatedUsbmuxd.h"
#include "TestMain.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <memory>

using namespace tarnwick::peers;

namespace {

const QString udidA = QStringLiteral("00008101-000A1B2C3D4E5F60");
const QString udidB = QStringLiteral("00008030-001122334455667E");
const QString udidNet = QStringLiteral("3333333333333333333333333333333333333333");

} // namespace

// iPhone arrival and removal reports, through the real device library and a simulated
// multiplexing service.
class TestEvents : public QObject
{
    Q_OBJECT

private:
    // Records every signal as "+udid" or "-udid", and whether it ran on this (the GUI) thread.
    void record(MobiledeviceSubscribe &subscription)
    {
        connect(&subscription, &MobiledeviceSubscribe::newDevice, this, [this](QString devid) {
            m_events.append(QLatin1Char('+') + devid);
            m_onGuiThread = m_onGuiThread && QThread::currentThread() == thread();
        });
        connect(&subscription, &MobiledeviceSubscribe::kickDevice, this, [this](QString devid) {
            m_events.append(QLatin1Char('-') + devid);
            m_onGuiThread = m_onGuiThread && QThread::currentThread() == thread();
        });
    }

    QStringList m_events;
    bool m_onGuiThread = true;

private slots:
    void init()
    {
        m_events.clear();
        m_onGuiThread = true;
    }

    void arrivalsAndRemovalsReachGuiThreadInOrder()
    {
        SimulatedUsbmuxd mux;
        mux.makeCurrent();
        MobiledeviceSubscribe subscription;
        record(subscription);
        QVERIFY(subscription.start());
        QVERIFY(mux.waitForListeners(1));

        mux.addDevice(udidA);
        mux.addDevice(udidNet, SimulatedIPhone::Connection::Network);
        mux.addDevice(udidB);
        // Events other than arrival and removal are not reported.
        mux.announcePaired(udidB);
        mux.detach(udidA);
        mux.detach(udidNet);
        mux.addDevice(udidA);
        mux.detach(udidB);

        const QStringList expected{QLatin1Char('+') + udidA, QLatin1Char('+') + udidB,
                                   QLatin1Char('-') + udidA, QLatin1Char('+') + udidA,
                                   QLatin1Char('-') + udidB};
        QTRY_COMPARE(m_events, expected);
        QVERIFY(m_onGuiThread);
        // Nothing else trails behind.
        QTest::qWait(50);
        QCOMPARE(m_events, expected);
    }

    void phonesAttachedBeforeStartAreReported()
    {
        SimulatedUsbmuxd mux;
        mux.makeCurrent();
        mux.addDevice(udidNet, SimulatedIPhone::Connection::Network);
        mux.addDevice(udidB);
        MobiledeviceSubscribe subscription;
        record(subscription);
        QVERIFY(subscription.start());
        QTRY_COMPARE(m_events, QStringList{QLatin1Char('+') + udidB});
    }

    void nothingArrivesAfterDestruction()
    {
        SimulatedUsbmuxd mux;
        mux.makeCurrent();
        {
            MobiledeviceSubscribe subscription;
            record(subscription);
            QVERIFY(subscription.start());
            QVERIFY(mux.waitForListeners(1));
            mux.addDevice(udidA);
            QTRY_COMPARE(m_events.size(), 1);
        }
        // The library drops its listening connection when the subscription ends.
        QTRY_COMPARE(mux.listenerCount(), 0);
        mux.detach(udidA);
        mux.addDevice(udidB);
        QTest::qWait(50);
        QCOMPARE(m_events, QStringList{QLatin1Char('+') + udidA});
    }

    void destroyWithoutStart()
    {
        SimulatedUsbmuxd mux;
        mux.makeCurrent();
        {
            MobiledeviceSubscribe never;
        }
        QCOMPARE(mux.listenerCount(), 0);
    }

    void noMultiplexingServiceRunning()
    {
        // The subscription waits for the service in the background instead of refusing, so the
        // program starts normally and sees phones once the service comes up.
        QTemporaryDir dir;
        qputenv("USBMUXD_SOCKET_ADDRESS", "UNIX:" + dir.filePath(QStringLiteral("absent")).toLocal8Bit());
        QElapsedTimer timer;
        timer.start();
        {
            MobiledeviceSubscribe subscription;
            record(subscription);
            QVERIFY(subscription.start());
            QTest::qWait(50);
        }
        QVERIFY(m_events.isEmpty());
        QVERIFY2(timer.elapsed() < 60 * 1000, "ending the subscription must not hang");
    }

    // Subscriptions made and ended again and again while no service runs: each ends at once, however
    // often (the library cannot always be stopped once it waits for the service's socket itself).
    void repeatedSubscriptionsWithoutService()
    {
        QTemporaryDir dir;
        qputenv("USBMUXD_SOCKET_ADDRESS", "UNIX:" + dir.filePath(QStringLiteral("absent")).toLocal8Bit());
        for (int cycle = 0; cycle < 300; ++cycle) {
            QElapsedTimer timer;
            timer.start();
            {
                MobiledeviceSubscribe subscription;
                record(subscription);
                QVERIFY(subscription.start());
                if (cycle % 50 == 0)
                    QTest::qWait(20);
            }
            QVERIFY2(timer.elapsed() < 10 * 1000, qPrintable(QStringLiteral("cycle %1").arg(cycle)));
        }
        QVERIFY(m_events.isEmpty());
    }

    // A service that comes up after the subscription started is found, and its phones are reported.
    void serviceStartingLater()
    {
        QTemporaryDir dir;
        const QString socket = dir.filePath(QStringLiteral("usbmuxd"));
        qputenv("USBMUXD_SOCKET_ADDRESS", "UNIX:" + socket.toLocal8Bit());
        QCOMPARE(MobiledeviceSubscribe::serviceSocketPath(), socket);
        auto subscription = std::make_unique<MobiledeviceSubscribe>();
        record(*subscription);
        QVERIFY(subscription->start());
        QTest::qWait(50);

        SimulatedUsbmuxd mux;
        mux.addDevice(udidB);
        // The service's socket appears where the library was told to look.
        QVERIFY(QFile::link(mux.socketPath(), socket));
        // Looked for on this thread's event loop.
        QTRY_COMPARE(mux.listenerCount(), 1);
        QTRY_COMPARE(m_events, QStringList{QLatin1Char('+') + udidB});
        mux.addDevice(udidA);
        mux.detach(udidB);
        QTRY_COMPARE(m_events, (QStringList{QLatin1Char('+') + udidB, QLatin1Char('+') + udidA,
                                            QLatin1Char('-') + udidB}));
        // Ended while the service still runs, so that it reports nothing more.
        subscription.reset();
    }

    // The service quits while subscribed (its last phone was unplugged): the phones it listed are
    // reported gone, and the subscription still ends at once afterwards.
    void serviceQuittingWhileSubscribed()
    {
        QElapsedTimer timer;
        {
            auto mux = std::make_unique<SimulatedUsbmuxd>();
            mux->makeCurrent();
            MobiledeviceSubscribe subscription;
            record(subscription);
            QVERIFY(subscription.start());
            QVERIFY(mux->waitForListeners(1));
            mux->addDevice(udidA);
            QTRY_COMPARE(m_events, QStringList{QLatin1Char('+') + udidA});
            mux.reset();
            QTRY_COMPARE(m_events, (QStringList{QLatin1Char('+') + udidA, QLatin1Char('-') + udidA}));
            QTest::qWait(50);
            timer.start();
        }
        QVERIFY2(timer.elapsed() < 10 * 1000, "ending the subscription must not wait for the service");

        // A later subscription in the same process still works.
        SimulatedUsbmuxd mux;
        mux.makeCurrent();
        mux.addDevice(udidB);
        MobiledeviceSubscribe again;
        record(again);
        QVERIFY(again.start());
        QTRY_COMPARE(m_events.size(), 3);
        QCOMPARE(m_events.last(), QLatin1Char('+') + udidB);
    }

    // Where the library looks for the service.
    void serviceSocketPath_data()
    {
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<QString>("path");

        const QString system = QStringLiteral("/var/run/usbmuxd");
        QTest::newRow("unset") << QByteArray() << system;
        QTest::newRow("a socket file") << QByteArray("UNIX:/tmp/x/mux") << QStringLiteral("/tmp/x/mux");
        QTest::newRow("UNIX: alone") << QByteArray("UNIX:") << system;
        QTest::newRow("TCP") << QByteArray("127.0.0.1:27015") << QString();
        QTest::newRow("TCP over IPv6") << QByteArray("[::1]:27015") << QString();
        QTest::newRow("no port") << QByteArray("127.0.0.1") << system;
        QTest::newRow("port out of range") << QByteArray("127.0.0.1:70000") << system;
        QTest::newRow("no host") << QByteArray(":27015") << system;
        QTest::newRow("empty brackets") << QByteArray("[]:27015") << system;
    }
    void serviceSocketPath()
    {
        QFETCH(QByteArray, address);
        QFETCH(QString, path);
        const QByteArray before = qgetenv("USBMUXD_SOCKET_ADDRESS");
        if (address.isNull())
            qunsetenv("USBMUXD_SOCKET_ADDRESS");
        else
            qputenv("USBMUXD_SOCKET_ADDRESS", address);
        const QString got = MobiledeviceSubscribe::serviceSocketPath();
        qputenv("USBMUXD_SOCKET_ADDRESS", before);
        QCOMPARE(got, path);
    }
};

TARNWICK_TEST_MAIN(TestEvents)
#include "tst_events.moc"
