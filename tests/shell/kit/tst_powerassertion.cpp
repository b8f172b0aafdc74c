#include "platform/desktop/PowerAssertion.h"

#include "TestMain.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QMutex>
#include <QProcess>
#include <QThread>

// Stands in for the desktop's screensaver service on a private session bus.
class FakeScreenSaver : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

public:
    QMutex mutex;
    QStringList calls;
    bool refuse = false;

public slots:
    uint Inhibit(const QString &app, const QString &reason)
    {
        QMutexLocker lock(&mutex);
        calls << QStringLiteral("Inhibit %1 %2").arg(app, reason);
        if (refuse) {
            sendErrorReply(QDBusError::AccessDenied, QStringLiteral("no"));
            return 0;
        }
        return 0; // a valid cookie, even if zero
    }

    void UnInhibit(uint cookie)
    {
        QMutexLocker lock(&mutex);
        calls << QStringLiteral("UnInhibit %1").arg(cookie);
    }
};

class TestPowerAssertion : public QObject
{
    Q_OBJECT

    QProcess m_daemon;
    QThread m_serviceThread;
    FakeScreenSaver *m_service = nullptr;

    QStringList takeCalls()
    {
        QMutexLocker lock(&m_service->mutex);
        return std::exchange(m_service->calls, {});
    }

    // The service answers on its own thread; the assertion blocks the test thread meanwhile.
    void startService()
    {
        m_service = new FakeScreenSaver;
        m_service->moveToThread(&m_serviceThread);
        m_serviceThread.start();
        QDBusConnection service = QDBusConnection::connectToBus(
            qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), QString::fromLatin1(kConnection));
        QVERIFY(
            service.registerObject(QString::fromLatin1(kPath), m_service, QDBusConnection::ExportAllSlots));
        QVERIFY(service.registerService(QString::fromLatin1(kName)));
        QTRY_VERIFY(serviceVisible());
    }

    void stopService()
    {
        if (!m_service)
            return;
        QDBusConnection::disconnectFromBus(QString::fromLatin1(kConnection));
        QTRY_VERIFY(!serviceVisible());
        m_serviceThread.quit();
        m_serviceThread.wait();
        delete std::exchange(m_service, nullptr);
    }

    static bool serviceVisible()
    {
        return QDBusConnection::sessionBus()
            .interface()
            ->isServiceRegistered(QString::fromLatin1(kName))
            .value();
    }

    static constexpr const char *kConnection = "fake-screensaver";
    static constexpr const char *kName = "org.freedesktop.ScreenSaver";
    static constexpr const char *kPath = "/org/freedesktop/ScreenSaver";

private slots:
    void initTestCase()
    {
        m_daemon.start(
            QStringLiteral("dbus-daemon"),
            {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        if (!m_daemon.waitForStarted(20000))
            QSKIP("dbus-daemon is not available");
        QVERIFY(m_daemon.waitForReadyRead(20000));
        const QByteArray address = m_daemon.readLine().trimmed();
        QVERIFY(!address.isEmpty());
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        QVERIFY(QDBusConnection::sessionBus().isConnected());
    }

    void cleanupTestCase()
    {
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.terminate();
            if (!m_daemon.waitForFinished(3000))
                m_daemon.kill();
            m_daemon.waitForFinished(3000);
        }
    }

    // Each test starts from a bus without the service, so any one of them can run alone.
    void cleanup() { stopService(); }

    void noServiceHoldsNothing()
    {
        PowerAssertion assertion(QStringLiteral("NoDisplaySleepAssertion"),
                                 QStringLiteral("Describe Activity Type"));
        QVERIFY(!assertion.isHeld());
    }

    void inhibitsAndReleases()
    {
        startService();
        {
            PowerAssertion assertion(QStringLiteral("NoDisplaySleepAssertion"),
                                     QStringLiteral("Describe Activity Type"));
            QVERIFY(assertion.isHeld());
            QCOMPARE(takeCalls().size(), 1);
        }
        QCOMPARE(takeCalls(), QStringList{QStringLiteral("UnInhibit 0")});
    }

    void refusedCreationReleasesNothing()
    {
        startService();
        {
            QMutexLocker lock(&m_service->mutex);
            m_service->refuse = true;
        }
        {
            PowerAssertion assertion(QStringLiteral("NoDisplaySleepAssertion"),
                                     QStringLiteral("Describe Activity Type"));
            QVERIFY(!assertion.isHeld());
        }
        const QStringList calls = takeCalls();
        QCOMPARE(calls.size(), 1);
        QVERIFY(calls.first().startsWith(QStringLiteral("Inhibit ")));
        QVERIFY(calls.first().endsWith(QStringLiteral(" Describe Activity Type")));
    }
};

TARNWICK_TEST_MAIN(TestPowerAssertion)
#include "tst_powerassertion.moc"
