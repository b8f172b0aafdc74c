#include "ios/MobiledeviceSubscribe.h"
#include "SimulatedUsbmuxd.h"
#include "TestMain.h"

#include <QElapsedTimer>
#include <QThread>

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
        // The device library keeps waiting for the service in the background instead of refusing,
        // so the program starts normally and sees phones once the service comes up.
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
};

TARNWICK_TEST_MAIN(TestEvents)
#include "tst_events.moc"
