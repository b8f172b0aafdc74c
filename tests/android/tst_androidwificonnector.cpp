// The Wi-Fi connector against a simulated phone's control port on a loopback address of its own:
// the greeting, what a session request sends, and every way the phone can let it down, then a
// whole load over Wi-Fi.
#include "TestMain.h"

#include "CompanionApp.h"
#include "CompanionRecord.h"
#include "ExceptionText.h"
#include "RecordingProgressSink.h"
#include "SimulatedWifiPhone.h"

#include "android/AndroidContactsDb.h"
#include "android/AndroidWifiConnector.h"
#include "android/SyncRestoreThread.h"
#include "android/WifiServiceTimeoutException.h"
#include "android/simpleprotocol.h"
#include "model/EntityType.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTemporaryDir>

using tarnwick::peers::CompanionApp;
using tarnwick::peers::SimulatedWifiPhone;
using tarnwick::test::whatOf;

namespace {

// A port of the phone's address that nothing uses yet.
quint16 freePort(const QString &address)
{
    QTcpServer probe;
    probe.listen(QHostAddress(address), 0);
    return probe.serverPort();
}

} // namespace

class TestAndroidWifiConnector : public QObject
{
    Q_OBJECT

private slots:
    void greetingGivesTheName_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("name");
        QTest::newRow("a name") << "hello:Pixel 7"
                                << "Pixel 7";
        QTest::newRow("a name with a separator") << "hello:Ann's/phone"
                                                 << "Ann's/phone";
        QTest::newRow("the word only") << "hello:"
                                       << "";
        QTest::newRow("shorter than the word") << "hey"
                                               << "";
        // The first word is not checked.
        QTest::newRow("another word") << "howdy:Moto"
                                      << "Moto";
    }
    void greetingGivesTheName()
    {
        QFETCH(QString, reply);
        QFETCH(QString, name);
        CompanionApp app;
        SimulatedWifiPhone phone(&app);
        phone.helloReply = reply;
        QVERIFY(phone.open());

        AndroidWifiConnector connector;
        connector.initialize(phone.address());
        QCOMPARE(connector.deviceName, name);
        QCOMPARE(connector.host, phone.address());
        QCOMPARE(phone.received(), QStringList{"hello://127.0.0.1"});
    }

    void greetingFailures_data()
    {
        QTest::addColumn<int>("greeting");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("error");
        QTest::newRow("remote error") << int(SimulatedWifiPhone::Greeting::Answer)
                                      << "$error:" + simpleprotocol::encodeText("busy") << "busy";
        QTest::newRow("empty line") << int(SimulatedWifiPhone::Greeting::Answer) << ""
                                    << "Null command.";
        QTest::newRow("closed") << int(SimulatedWifiPhone::Greeting::Close) << ""
                                << "*";
    }
    void greetingFailures()
    {
        QFETCH(int, greeting);
        QFETCH(QString, reply);
        QFETCH(QString, error);
        CompanionApp app;
        SimulatedWifiPhone phone(&app);
        phone.greeting = SimulatedWifiPhone::Greeting(greeting);
        phone.helloReply = reply;
        QVERIFY(phone.open());

        AndroidWifiConnector connector;
        const QString text = whatOf([&] { connector.initialize(phone.address()); });
        QVERIFY(!text.isEmpty());
        QVERIFY(text != QLatin1String("WifiServiceTimeoutException"));
        if (error != QLatin1String("*"))
            QCOMPARE(text, error);
        QVERIFY(connector.deviceName.isEmpty());
    }

    // Nothing on the control port, or a phone that takes the connection and never greets back: the
    // time-out the dialog explains, within the bound.
    void unreachableOrSilentIsTimeout_data()
    {
        QTest::addColumn<bool>("listening");
        QTest::newRow("refused") << false;
        QTest::newRow("silent") << true;
    }
    void unreachableOrSilentIsTimeout()
    {
        QFETCH(bool, listening);
        CompanionApp app;
        SimulatedWifiPhone phone(&app);
        phone.greeting = SimulatedWifiPhone::Greeting::Silent;
        QString address = SimulatedWifiPhone::unusedAddress();
        if (listening) {
            QVERIFY(phone.open());
            address = phone.address();
        }
        AndroidWifiConnector connector;
        connector.setHelloTimeout(300);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(whatOf<WifiServiceTimeoutException>([&] { connector.initialize(address); }),
                 QStringLiteral("WifiServiceTimeoutException"));
        QVERIFY(clock.elapsed() < 10000);
    }

    void sessionRequests_data()
    {
        QTest::addColumn<bool>("backup");
        QTest::newRow("backup") << true;
        QTest::newRow("restore") << false;
    }
    void sessionRequests()
    {
        QFETCH(bool, backup);
        CompanionApp app;
        SimulatedWifiPhone phone(&app);
        QVERIFY(phone.open());
        QList<unsigned long> pauses;
        AndroidWifiConnector connector([&pauses](unsigned long s) { pauses << s; });
        connector.initialize(phone.address());
        const QString host = backup ? connector.startBackup(23456) : connector.startRestore(23456);
        QCOMPARE(host, phone.address());
        QCOMPARE(pauses, QList<unsigned long>{3});
        QVERIFY(phone.waitForSessions(1, 20000));
        QCOMPARE(phone.received().value(1),
                 QString(backup ? "backup" : "restore") + QStringLiteral("://127.0.0.1:23456/"));
    }

    void sessionWithoutControlPortThrows()
    {
        AndroidWifiConnector connector([](unsigned long) {});
        connector.host = SimulatedWifiPhone::unusedAddress();
        for (const bool backup : {true, false}) {
            const QString text =
                whatOf([&] { backup ? connector.startBackup(23456) : connector.startRestore(23456); });
            QVERIFY2(!text.isEmpty(), "a session request without a control port must fail");
        }
    }

    void checkAndLogDoNothing()
    {
        AndroidWifiConnector connector;
        connector.initialCheck();
        QVERIFY(connector.logcat().isEmpty());
    }

    // The whole road of a load: greeting, request, session on the phone's address.
    void loadsAPhoneOverWifi()
    {
        CompanionApp app;
        app.deviceName = QStringLiteral("Lounge phone");
        app.addContact({{1, tarnwick::peers::CompanionRecord::name("Ann", "Lee")}});
        SimulatedWifiPhone phone(&app);
        QVERIFY(phone.open());

        auto *connector =
            new AndroidWifiConnector([&phone](unsigned long) { phone.waitForSessions(1, 20000); });
        PAndroidConnector shared(connector);
        connector->initialize(phone.address());

        QTemporaryDir dir;
        AndroidContactsDb mirror(dir.filePath(QStringLiteral("mirror")), shared);
        mirror.create();
        RecordingProgressSink sink;
        SyncRestoreThread load(&mirror, freePort(phone.address()), &sink);
        load.start();
        QVERIFY(load.wait(QDeadlineTimer(30000)));
        QVERIFY2(sink.outcome().startsWith(QLatin1String("succeed|")), qPrintable(sink.outcome()));
        QCOMPARE(load.deviceName, QStringLiteral("Lounge phone"));
        QCOMPARE(mirror.contacts(0, QString()).size(), 1);
    }
};

TARNWICK_TEST_MAIN(TestAndroidWifiConnector)
#include "tst_androidwificonnector.moc"
