#include "SimulatedPhoneFixture.h"
#include "TestMain.h"
#include "ios/iDevice.h"
#include "ios/mobiledevice.h"

#include <QRegularExpression>

using namespace tarnwick::peers;

namespace {

const QString phoneUdid = QStringLiteral("00008101-000A1B2C3D4E5F60");
const QString tetheredDomain = QStringLiteral("com.apple.mobile.tethered_sync");

PlistCFType tetheredSetting(bool disable)
{
    PlistCFType setting = PlistCFType::createCFDictionary();
    setting.put(QStringLiteral("DisableTethered"), PlistCFType::createCFBoolean(disable));
    return setting;
}

} // namespace

// The device handle and the lockdown values against a simulated iPhone reached through the real
// device library and a simulated multiplexing service.
class TestDevice : public QObject, private SimulatedPhoneFixture
{
    Q_OBJECT

private slots:
    void init() { plugInPhone(phoneUdid); }
    void cleanup() { unplugAll(); }

    void readsDeviceNameFromWholeDictionaryAndByKey()
    {
        const QString name = QStringLiteral("Anna’s iPhone");
        m_phone->setDeviceName(name);

        const PlistCFType all = mobiledevice_info(phoneUdid, QString(), QString());
        QVERIFY(all.isCFDictionary());
        QCOMPARE(all.get(QStringLiteral("DeviceName")).CFStringQString(), name);
        QCOMPARE(all.get(QStringLiteral("UniqueDeviceID")).CFStringQString(), phoneUdid);

        const PlistCFType one = mobiledevice_info(phoneUdid, QString(), QStringLiteral("DeviceName"));
        QVERIFY(one.isCFString());
        QCOMPARE(one.CFStringQString(), name);

        // Opened with a paired session under the program's label; the domain and key went as none.
        const QStringList requests = m_phone->lockdownRequests();
        QVERIFY(requests.contains(QStringLiteral("StartSession")));
        QCOMPARE(m_phone->lockdownLabels().last(), QStringLiteral("FERROVANTIS"));
        QCOMPARE(m_phone->openSessions(), 0);
    }

    // A name holding U+0000 reaches the program as a text whose length runs past its end once the
    // device library has copied it: read, it would abort the program or show bytes of the heap.
    void damagedDeviceNameIsRefused()
    {
        m_phone->answerLockdownInBinary(true);
        m_phone->setDeviceName(QStringLiteral("Zoë") + QChar(0) + QStringLiteral("s iPhone, and more bytes"));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("lockdown value .* refused: .*NUL")));
        QVERIFY(!mobiledevice_info(phoneUdid, QString(), QStringLiteral("DeviceName")).ref());
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("lockdown value .* refused: .*NUL")));
        QVERIFY(!mobiledevice_info(phoneUdid, QString(), QString()).ref());

        // Answers in the binary form are read as such; only the damaged text was the fault.
        m_phone->setDeviceName(QStringLiteral("Zoë’s iPhone"));
        QCOMPARE(mobiledevice_info(phoneUdid, QString(), QStringLiteral("DeviceName")).CFStringQString(),
                 QStringLiteral("Zoë’s iPhone"));
    }

    void readFromDomainOnOpenedHandle()
    {
        m_phone->setValue(tetheredDomain, QStringLiteral("Contacts"),
                          QVariantMap{{QStringLiteral("DisableTethered"), true}});
        iDevice device(phoneUdid);
        QVERIFY(device.open());
        const PlistCFType value = mobiledevice_info(&device, tetheredDomain, QStringLiteral("Contacts"));
        QCOMPARE(value.get(QStringLiteral("DisableTethered")).CFNumberBool(false), true);
        QVERIFY(mobiledevice_info(&device, tetheredDomain, QStringLiteral("Calendars")).ref() == nullptr);
    }

    void failedOpenGivesEmptyValues_data()
    {
        QTest::addColumn<QString>("udid");
        QTest::addColumn<QString>("fault");
        QTest::newRow("not attached")
            << QStringLiteral("0000000000000000000000000000000000000000") << QString();
        QTest::newRow("network only")
            << QStringLiteral("1111111111111111111111111111111111111111") << QStringLiteral("network");
        QTest::newRow("not paired") << phoneUdid << QStringLiteral("unpaired");
        QTest::newRow("locked") << phoneUdid << QStringLiteral("PasswordProtected");
    }

    void failedOpenGivesEmptyValues()
    {
        QFETCH(QString, udid);
        QFETCH(QString, fault);
        if (fault == QLatin1String("network"))
            m_mux->addDevice(udid, SimulatedIPhone::Connection::Network);
        else if (fault == QLatin1String("unpaired"))
            m_phone->setPaired(false);
        else if (!fault.isEmpty())
            m_phone->setSessionRefusal(fault);

        iDevice device(udid);
        QVERIFY(!device.open());
        QVERIFY(!device.lockdownClientHandle());

        const PlistCFType name = mobiledevice_info(udid, QString(), QStringLiteral("DeviceName"));
        QVERIFY(!name.ref());
        QCOMPARE(name.get(QStringLiteral("DeviceName")).CFStringQString(), QString());
        QVERIFY(!mobiledevice_set(udid, tetheredDomain, QStringLiteral("Contacts"), tetheredSetting(false)));
        QVERIFY(!m_phone->value(tetheredDomain, QStringLiteral("Contacts")).isValid());
    }

    void networkDeviceIsNeverLookedUp()
    {
        const QString udid = QStringLiteral("2222222222222222222222222222222222222222");
        m_mux->addDevice(udid, SimulatedIPhone::Connection::Network);
        iDevice device(udid);
        QCOMPARE(device.newDevice(), int(IDEVICE_E_NO_DEVICE));
        QVERIFY(!device.deviceHandle());
    }

    void writesValueAndKeepsCallersNode()
    {
        const PlistCFType setting = tetheredSetting(false);
        QVERIFY(mobiledevice_set(phoneUdid, tetheredDomain, QStringLiteral("Contacts"), setting));

        QCOMPARE(m_phone->value(tetheredDomain, QStringLiteral("Contacts")),
                 QVariant(QVariantMap{{QStringLiteral("DisableTethered"), false}}));
        QVERIFY(setting.isCFDictionary());
        QCOMPARE(setting.get(QStringLiteral("DisableTethered")).CFNumberBool(true), false);
        QCOMPARE(m_phone->openSessions(), 0);
    }

    void writeOnOpenedHandle()
    {
        iDevice device(phoneUdid);
        QVERIFY(device.open());
        QVERIFY(mobiledevice_set(&device, tetheredDomain, QStringLiteral("Contacts"), tetheredSetting(true)));
        // The same handle reads back what it wrote.
        const PlistCFType back = mobiledevice_info(&device, tetheredDomain, QStringLiteral("Contacts"));
        QCOMPARE(back.get(QStringLiteral("DisableTethered")).CFNumberBool(false), true);
    }

    void refusedWriteKeepsOldValue()
    {
        m_phone->setValue(tetheredDomain, QStringLiteral("Contacts"),
                          QVariantMap{{QStringLiteral("DisableTethered"), true}});
        m_phone->setSetValueRefusal(QStringLiteral("SetProhibited"));
        QVERIFY(
            !mobiledevice_set(phoneUdid, tetheredDomain, QStringLiteral("Contacts"), tetheredSetting(false)));
        QCOMPARE(m_phone->value(tetheredDomain, QStringLiteral("Contacts")),
                 QVariant(QVariantMap{{QStringLiteral("DisableTethered"), true}}));
    }

    void writeWithoutClientCallsNothing()
    {
        QVERIFY(!mobiledevice_set(static_cast<iDevice *>(nullptr), tetheredDomain, QStringLiteral("Contacts"),
                                  tetheredSetting(false)));
        QVERIFY(!mobiledevice_info(static_cast<iDevice *>(nullptr), QString(), QString()).ref());

        m_phone->setPaired(false);
        iDevice device(phoneUdid);
        QVERIFY(!device.open());
        QVERIFY(device.deviceHandle());
        const int requestsBefore = m_phone->lockdownRequests().size();
        QVERIFY(
            !mobiledevice_set(&device, tetheredDomain, QStringLiteral("Contacts"), tetheredSetting(false)));
        QVERIFY(!mobiledevice_info(&device, QString(), QStringLiteral("DeviceName")).ref());
        QCOMPARE(m_phone->lockdownRequests().size(), requestsBefore);
    }

    void untrustedPhoneIsAskedToPair()
    {
        m_phone->setPaired(false);
        iDevice device(phoneUdid);
        QCOMPARE(device.newDevice(), 0);
        // Without a pair record the library asks the phone to pair, and the phone waits for the
        // user to trust this computer.
        QCOMPARE(device.lockdowndWithHandshake(), int(LOCKDOWN_E_PAIRING_DIALOG_RESPONSE_PENDING));
        QVERIFY(!device.lockdownClientHandle());
        QVERIFY(m_phone->lockdownRequests().contains(QStringLiteral("Pair")));
        QVERIFY(!m_phone->lockdownRequests().contains(QStringLiteral("StartSession")));
        QVERIFY(!mobiledevice_info(phoneUdid, QString(), QStringLiteral("DeviceName")).ref());
    }

    void writeNamesDomainAndKeyAsGiven()
    {
        // A read passes an empty domain as none (the default domain); a write passes it as it is.
        QVERIFY(mobiledevice_info(phoneUdid, QString(), QStringLiteral("DeviceName")).isCFString());
        mobiledevice_set(phoneUdid, QString(), QStringLiteral("Marker"), tetheredSetting(false));
        const QStringList requests = m_phone->lockdownRequests();
        const QStringList domains = m_phone->lockdownDomains();
        QCOMPARE(domains.size(), requests.size());
        QCOMPARE(requests.count(QStringLiteral("SetValue")), 1);
        for (qsizetype i = 0; i < requests.size(); ++i) {
            if (requests.at(i) == QLatin1String("GetValue"))
                QVERIFY(domains.at(i).isNull());
        }
        const QString written = domains.at(requests.indexOf(QStringLiteral("SetValue")));
        QVERIFY(!written.isNull());
        QVERIFY(written.isEmpty());
    }

    void lockdownWithoutHandshakeHasNoSession()
    {
        iDevice device(phoneUdid);
        QCOMPARE(device.newDevice(), 0);
        QCOMPARE(device.lockdown(), 0);
        // Plain values can be read without a session, writes are refused.
        QCOMPARE(mobiledevice_info(&device, QString(), QStringLiteral("ProductVersion")).CFStringQString(),
                 QStringLiteral("17.2.1"));
        QVERIFY(
            !mobiledevice_set(&device, tetheredDomain, QStringLiteral("Contacts"), tetheredSetting(false)));
        QVERIFY(!m_phone->lockdownRequests().contains(QStringLiteral("StartSession")));
    }

    void noMultiplexingService()
    {
        unplugAll();
        QVERIFY(mobiledevice_info(phoneUdid, QString(), QStringLiteral("DeviceName")).ref() == nullptr);
        QVERIFY(
            !mobiledevice_set(phoneUdid, tetheredDomain, QStringLiteral("Contacts"), tetheredSetting(false)));
        iDevice device(phoneUdid);
        QVERIFY(device.newDevice() != 0);
    }
};

TARNWICK_TEST_MAIN(TestDevice)
#include "tst_device.moc"
