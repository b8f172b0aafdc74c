#include "devicebackup/mobiledevice_loader.h"
#include "devicebackup/mobiledevice_pair.h"
#include "platform/idevice/main_.h"

#include "SimulatedBackupService.h"
#include "SimulatedPhoneFixture.h"
#include "TestMain.h"

using namespace tarnwick::peers;

namespace {

const QString udid = QStringLiteral("00008101-000A1B2C3D4E5F63");

} // namespace

class TestPairAndSwitches : public QObject, public SimulatedPhoneFixture
{
    Q_OBJECT

private slots:
    void init() { plugInPhone(udid); }
    void cleanup() { unplugAll(); }

    void alreadyPairedSendsNoPairRequest();
    void refusedPairing();
    void acceptedPairing();
    void noDevice();
    void cloudBackupSwitch_data();
    void cloudBackupSwitch();
    void toolRefusesOtherArguments_data();
    void toolRefusesOtherArguments();
    void loader();
};

void TestPairAndSwitches::alreadyPairedSendsNoPairRequest()
{
    mobiledevice_pair pairing(udid);
    pairing.error = QStringLiteral("earlier");
    QVERIFY(pairing.pair());
    QVERIFY(!m_phone->lockdownRequests().contains(QStringLiteral("Pair")));
    QCOMPARE(pairing.error, QStringLiteral("earlier"));
}

void TestPairAndSwitches::refusedPairing()
{
    m_phone->setPaired(false);
    m_phone->setPairAnswer(SimulatedIPhone::PairAnswer::Refused);
    mobiledevice_pair pairing(udid);
    QVERIFY(!pairing.pair());
    // The handshake asks once by itself, then the explicit request.
    QCOMPARE(m_phone->lockdownRequests().count(QStringLiteral("Pair")), 2);
    QVERIFY(pairing.error.startsWith(QStringLiteral("Please launch iTunes")));
    QVERIFY2(
        pairing.error.contains(QStringLiteral("<br/><br/>Error detail: lockdownd_pair failed, error code ")),
        qPrintable(pairing.error));
    // A second failure carries its own detail, not the previous message.
    QVERIFY(!pairing.pair());
    QCOMPARE(pairing.error.count(QStringLiteral("Error detail")), 1);
}

void TestPairAndSwitches::acceptedPairing()
{
    m_phone->setPaired(false);
    m_phone->setPairAnswer(SimulatedIPhone::PairAnswer::Accepted);
    mobiledevice_pair pairing(udid);
    QVERIFY(pairing.pair());
    QVERIFY(m_phone->lockdownRequests().contains(QStringLiteral("Pair")));
    QVERIFY(pairing.error.isEmpty());
}

void TestPairAndSwitches::noDevice()
{
    mobiledevice_pair pairing(QStringLiteral("00008101-FFFFFFFFFFFFFFFF"));
    QVERIFY(!pairing.pair());
    QVERIFY(pairing.error.endsWith(QStringLiteral("Error detail: No device found.")));
}

void TestPairAndSwitches::cloudBackupSwitch_data()
{
    QTest::addColumn<bool>("enable");
    QTest::newRow("on") << true;
    QTest::newRow("off") << false;
}

void TestPairAndSwitches::cloudBackupSwitch()
{
    QFETCH(bool, enable);
    auto backup = std::make_shared<SimulatedBackupService>();
    SimulatedBackupService::install(*m_phone, backup);
    backup->setScript({BackupStep::report(0)});
    enableOrDisableICloudBackup(udid, enable);
    QCOMPARE(backup->requestName(), QStringLiteral("EnableCloudBackup"));
    QCOMPARE(backup->request().value(QStringLiteral("CloudBackupState")).toBool(), enable);
    QCOMPARE(backup->request().value(QStringLiteral("TargetIdentifier")).toString(), udid);

    backup->setScript({BackupStep::report(4, QStringLiteral("refused"))});
    QByteArray id = udid.toUtf8();
    char empty[] = "", u[] = "-u", cloud[] = "cloud", on[] = "on";
    char *argv[] = {empty, u, id.data(), cloud, on};
    QCOMPARE(main_(0, 5, argv), 4);
}

void TestPairAndSwitches::toolRefusesOtherArguments_data()
{
    QTest::addColumn<QList<QByteArray>>("arguments");
    QTest::newRow("too few") << QList<QByteArray>{"", "-u", udid.toUtf8(), "cloud"};
    QTest::newRow("other command") << QList<QByteArray>{"", "-u", udid.toUtf8(), "backup", "on"};
    QTest::newRow("other state") << QList<QByteArray>{"", "-u", udid.toUtf8(), "cloud", "maybe"};
    QTest::newRow("no udid option") << QList<QByteArray>{"", "-x", udid.toUtf8(), "cloud", "on"};
    QTest::newRow("empty udid") << QList<QByteArray>{"", "-u", "", "cloud", "on"};
}

void TestPairAndSwitches::toolRefusesOtherArguments()
{
    QFETCH(QList<QByteArray>, arguments);
    std::vector<char *> argv;
    for (QByteArray &argument : arguments)
        argv.push_back(argument.data());
    QCOMPARE(main_(0, int(argv.size()), argv.data()), 1);
    QVERIFY(m_phone->startedServices().isEmpty());
}

void TestPairAndSwitches::loader()
{
    bool warned = false;
    QCOMPARE(mobiledevice_init([&](const QString &) { warned = true; }), 1);
    QVERIFY(!warned);
    QCOMPARE(mobiledevice_loader_ini_uwpiTunesPath(), QString());
    QString error = QStringLiteral("untouched");
    QCOMPARE(mobiledevice_loader_ini(error, QStringLiteral("/opt/itunes"), {}), 1);
    QCOMPARE(error, QStringLiteral("untouched"));
    QCOMPARE(mobiledevice_loader_ini_uwpiTunesPath(), QStringLiteral("/opt/itunes"));
    QProcessEnvironment env;
    QCOMPARE(mobiledevice_exe32_path(QString(), env),
             QStringLiteral("/System/Library/PrivateFrameworks/MobileDevice.framework/Versions/A/"
                            "AppleMobileDeviceHelper.app/Contents/Resources/"));
}

TARNWICK_TEST_MAIN(TestPairAndSwitches)
#include "tst_pairandswitches.moc"
