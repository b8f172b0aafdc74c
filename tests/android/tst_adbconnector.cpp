// The USB connector: when it installs the companion app, what it asks of the phone for a session,
// and what it reports when the phone lets it down. Waits are recorded, never slept.
#include "ExceptionText.h"
#include "TestMain.h"

#include "CompanionApp.h"
#include "SimulatedAndroidHandle.h"

#include "android/AdbConnector.h"

#include "model/DataFolder.h"

#include <QDir>
#include <QFile>

#include <thread>

using tarnwick::peers::CompanionApp;
using tarnwick::peers::SimulatedAndroidHandle;

namespace {

const QString kPackage = QStringLiteral("com.ferrovantis.contactssync");

struct Rig
{
    Rig()
        : handle(new SimulatedAndroidHandle(&app))
        , connector(handle, [this](unsigned long s) { pauses << int(s); })
    {}
    CompanionApp app;
    QSharedPointer<SimulatedAndroidHandle> handle;
    QList<int> pauses;
    AdbConnector connector;
};

} // namespace

class TestAdbConnector : public QObject
{
    Q_OBJECT

private slots:
    void installDecision_data()
    {
        QTest::addColumn<QStringList>("userPackages");
        QTest::addColumn<bool>("installs");
        QTest::newRow("app present") << QStringList{"com.example.notes", kPackage} << false;
        QTest::newRow("empty listing") << QStringList{} << false;
        QTest::newRow("app missing") << QStringList{"com.example.notes"} << true;
        QTest::newRow("only a look-alike")
            << QStringList{kPackage + ".old", "COM.FERROVANTIS.CONTACTSSYNC"} << true;
    }
    void installDecision()
    {
        QFETCH(QStringList, userPackages);
        QFETCH(bool, installs);
        Rig rig;
        rig.handle->userPackages = userPackages;
        rig.connector.initialCheck();
        QCOMPARE(rig.handle->commands(), QStringList{"pm list packages -3"});
        QCOMPARE(rig.handle->installs().size(), installs ? 1 : 0);
        QCOMPARE(rig.pauses, installs ? QList<int>{5} : QList<int>{});
    }

    void installedPackageIsTheResourceWithOwnerOnlyRights()
    {
        Rig rig;
        rig.handle->userPackages = {"com.example.notes"};
        // A stale copy from an earlier run does not get in the way.
        const QString stale = g_dataSaveDir().filePath(kPackage + ".apk");
        QFile f(stale);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("old");
        f.close();

        rig.connector.initialCheck();
        const auto install = rig.handle->installs().value(0);
        QFile resource(AdbConnector::kPackageResource);
        QVERIFY(resource.open(QIODevice::ReadOnly));
        QCOMPARE(install.bytes, resource.readAll());
        QCOMPARE(install.options, QStringLiteral("-r"));
        QVERIFY(QDir::isAbsolutePath(install.path));
        QCOMPARE(install.permissions &
                     (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup | QFile::WriteGroup),
                 QFile::Permissions());
        QVERIFY(install.permissions & QFile::ReadOwner);
    }

    void failedInstallNamesTheReason_data()
    {
        QTest::addColumn<QString>("reason");
        QTest::newRow("reason") << "INSTALL_FAILED_INSUFFICIENT_STORAGE";
        QTest::newRow("no reason") << "";
    }
    void failedInstallNamesTheReason()
    {
        QFETCH(QString, reason);
        Rig rig;
        rig.handle->userPackages = {"com.example.notes"};
        rig.handle->installFailure = reason.isNull() ? QStringLiteral("") : reason;
        const QString expected =
            QStringLiteral("Can not install com.ferrovantis.contactssync. ") + rig.handle->installFailure;
        QCOMPARE(tarnwick::test::whatOf([&] { rig.connector.initialCheck(); }), expected);
        QVERIFY(rig.pauses.isEmpty());
    }

    void concurrentInstallsUseTheirOwnFiles()
    {
        CompanionApp app;
        QList<QSharedPointer<SimulatedAndroidHandle>> phones;
        for (int i = 0; i < 4; ++i) {
            phones << QSharedPointer<SimulatedAndroidHandle>::create(&app, QStringLiteral("P%1").arg(i));
            phones.last()->userPackages = {"com.example.notes"};
        }
        std::vector<std::thread> runs;
        for (const auto &p : phones)
            runs.emplace_back([p] { AdbConnector(p, [](unsigned long) {}).initialCheck(); });
        for (auto &r : runs)
            r.join();
        QFile resource(AdbConnector::kPackageResource);
        QVERIFY(resource.open(QIODevice::ReadOnly));
        const QByteArray bytes = resource.readAll();
        QSet<QString> paths;
        for (const auto &p : phones) {
            QCOMPARE(p->installs().size(), 1);
            QCOMPARE(p->installs().first().bytes, bytes);
            paths << p->installs().first().path;
        }
        QCOMPARE(paths.size(), 4);
    }

    void sessionCommands_data()
    {
        QTest::addColumn<bool>("load");
        QTest::addColumn<QString>("uri");
        QTest::newRow("load") << true << "sync://backup:%1/";
        QTest::newRow("write") << false << "sync://restore:%1/";
    }
    void sessionCommands()
    {
        QFETCH(bool, load);
        QFETCH(QString, uri);
        Rig rig;
        rig.handle->userPackages << kPackage;
        const int port = rig.app.port();
        const QString host = load ? rig.connector.startBackup(port) : rig.connector.startRestore(port);
        QCOMPARE(host, QStringLiteral("127.0.0.1"));
        QCOMPARE(rig.handle->commands(),
                 (QStringList{"am start -n com.ferrovantis.contactssync/.ContactsSync",
                              "am broadcast -n com.ferrovantis.contactssync/.AdbSyncBroadcastReceiver -d " +
                                  uri.arg(port)}));
        QCOMPARE(rig.handle->forwards(), QStringList{QStringLiteral("%1->%1").arg(port)});
        QCOMPARE(rig.pauses, QList<int>{3});
    }

    void failedForwardIsAnError()
    {
        Rig rig;
        rig.handle->userPackages << kPackage;
        rig.handle->forwardFailure = QStringLiteral("device offline");
        const int port = rig.app.port();
        QCOMPARE(tarnwick::test::whatOf([&] { rig.connector.startBackup(port); }),
                 QStringLiteral("Can not forward port %1 to the phone. device offline").arg(port));
        // Nothing was asked of the app that could not be reached.
        QCOMPARE(rig.handle->commands().size(), 1);
        QVERIFY(rig.pauses.isEmpty());
    }

    void portOutsideTheRangeIsRefused()
    {
        Rig rig;
        QVERIFY(!tarnwick::test::whatOf([&] { rig.connector.startRestore(70000); }).isEmpty());
        QVERIFY(rig.handle->commands().isEmpty());
    }

    void nullHandleDoesNothing()
    {
        QList<int> pauses;
        AdbConnector offline(PAdbUSBHandle(), [&pauses](unsigned long s) { pauses << int(s); });
        offline.initialCheck();
        QCOMPARE(offline.startBackup(23456), QStringLiteral("127.0.0.1"));
        QCOMPARE(offline.startRestore(23456), QStringLiteral("127.0.0.1"));
        QCOMPARE(offline.logcat(), QString());
        QVERIFY(pauses.isEmpty());
    }

    void logcatReadsThePhoneLog()
    {
        Rig rig;
        rig.handle->logText = "E/Sync: Zoë\n";
        QCOMPARE(rig.connector.logcat(), QStringLiteral("E/Sync: Zoë\n"));
    }
};

TARNWICK_TEST_MAIN(TestAdbConnector)
#include "tst_adbconnector.moc"
