// Android phones in the main window through our own ADB client: the emulator poll finds a simulated
// phone's daemon on a loopback port, the window asks the user to allow debugging until the phone's
// owner does, loads the phone over a forwarded "tcp:" stream and drops its node when the phone goes.
// Also the whole road from a simulated iPhone into the simulated Android phone.
#include "AppFixtures.h"
#include "ChooserFixtures.h"
#include "CompanionRecord.h"
#include "DeviceWindowFixtures.h"
#include "ImageBytes.h"
#include "RecordingProgressSink.h"
#include "SimulatedAndroidPhone.h"
#include "SimulatedIPhone.h"
#include "SimulatedUsbmuxd.h"
#include "TestMain.h"
#include "android/AdbConnector.h"
#include "android/AndroidContactsDb.h"
#include "android/SyncRestoreThread.h"
#include "model/DataFolder.h"
#include "model/EntryKeys.h"
#include "platform/adb/AdbEmuPoll.h"
#include "platform/adb/AdbKey.h"
#include "shell/app/AndroidAttach.h"
#include "shell/app/MainWindow.h"
#include "shell/kit/MessageBoxResponder.h"
#include "shell/kit/ProgressForm.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QHostAddress>
#include <QTcpServer>
#include <QTemporaryDir>

#include <functional>

using Tree = ItemModelMainTree;
using tarnwick::peers::SimulatedAdbd;
using tarnwick::peers::SimulatedAndroidPhone;
using tarnwick::peers::SimulatedIPhone;
using tarnwick::peers::SimulatedUsbmuxd;
using tarnwick::peers::SyncRecord;
namespace R = tarnwick::peers::CompanionRecord;

namespace {

using fixture::deviceNodes;
using fixture::visibleProgressForm;

// A loopback port nobody listens on at the moment: the session ports the window forwards.
int freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// What a contact says, without the identifiers either side gives it: its name, then one line per
// entry of the kinds a transfer must carry, sorted.
QString digest(const pim::_Contact &c)
{
    using namespace pim;
    QStringList lines;
    for (const Entity &e : c.entities.value(ENTITY_NAME))
        lines << QStringLiteral("name %1|%2")
                     .arg(e.values.value(NameKey::GivenName).toString(),
                          e.values.value(NameKey::FamilyName).toString());
    for (const int type : {int(ENTITY_PHONE), int(ENTITY_EMAIL)})
        for (const Entity &e : c.entities.value(type))
            lines << QStringLiteral("%1 %2|%3|%4")
                         .arg(type)
                         .arg(e.values.value(ValueKey::Value).toString(),
                              e.values.value(ValueKey::SubType).toString(),
                              e.values.value(ValueKey::Label).toString());
    for (const Entity &e : c.entities.value(ENTITY_ADDR)) {
        QStringList parts;
        for (const QString &key : {AddrKey::SubType, AddrKey::Street, AddrKey::City, AddrKey::State,
                                   AddrKey::Postcode, AddrKey::Country})
            parts << e.values.value(key).toString();
        lines << QStringLiteral("address ") + parts.join(QLatin1Char('|'));
    }
    for (const Entity &e : c.entities.value(ENTITY_NOTE))
        lines << QStringLiteral("note ") + e.values.value(NoteKey::Text).toString();
    for (const Entity &e : c.entities.value(ENTITY_PHOTO))
        lines << QStringLiteral("photo ") +
                     QString::fromLatin1(
                         QCryptographicHash::hash(e.values.value(PhotoKey::Image).toByteArray(),
                                                  QCryptographicHash::Sha1)
                             .toHex());
    lines.sort();
    return c.fullName + QStringLiteral(":\n  ") + lines.join(QStringLiteral("\n  "));
}

QStringList digests(const QList<pim::_Contact> &contacts)
{
    QStringList out;
    for (const pim::_Contact &c : contacts)
        out << digest(c);
    out.sort();
    return out;
}

} // namespace

class TestAndroidOverAdb : public QObject
{
    Q_OBJECT

    // The boxes shown, with the answers to those that offer Retry and the hook run inside each.
    fixture::PhoneBoxes m_box;

    std::unique_ptr<MainWindow> window(bool iphones = false)
    {
        MainWindow::Hooks hooks;
        hooks.terminator = [] {};
        if (!iphones)
            hooks.iosSubscriptionStart = [](MobiledeviceSubscribe &) { return true; };
        auto w = std::make_unique<MainWindow>(nullptr, hooks);
        w->resize(1000, 600);
        // The simulated phone needs none of the waits a real one is given to settle.
        w->androidAttach().setUsbConnectorFactory([](const PAdbUSBHandle &handle) {
            return PAndroidConnector(new AdbConnector(handle, [](unsigned long) {}));
        });
        w->androidAttach().setPortSource(&freePort);
        return w;
    }

    // The emulator poll watching the phone's daemon, wired to the window as the USB poll is.
    static std::unique_ptr<AdbEmuPoll> watch(MainWindow &w, const SimulatedAndroidPhone &phone)
    {
        auto poll = std::make_unique<AdbEmuPoll>(50, nullptr);
        poll->setPorts({phone.port()});
        QObject::connect(poll.get(), SIGNAL(newDevice(QString, PAdbUSBHandle)), &w,
                         SLOT(androidDeviceConnected(QString, PAdbUSBHandle)));
        QObject::connect(poll.get(), SIGNAL(kickDevice(QString, PAdbUSBHandle)), &w,
                         SLOT(androidDeviceDisconnected(QString, PAdbUSBHandle)));
        QObject::connect(poll.get(), SIGNAL(failedDevice(QString)), &w,
                         SLOT(androidDeviceConnectedFailed2(QString)));
        poll->start(QThread::InheritPriority);
        return poll;
    }

    // The emulator poll names a phone after its daemon's port.
    static QString devIdOf(const SimulatedAndroidPhone &phone)
    {
        return QStringLiteral("emulator-%1").arg(phone.port() - 1);
    }

    static Tree::_DBItemNode *androidNode(MainWindow &w, const QString &devId)
    {
        return fixture::deviceNode(w, Tree::ANDROID, devId);
    }

    QStringList boxTexts(QMessageBox::Icon icon) const { return m_box.texts(icon); }

    // The warning the window repeats until the phone allows debugging.
    QStringList authWarnings() const
    {
        QStringList out;
        for (const QString &text : boxTexts(QMessageBox::Warning)) {
            if (text.contains(QLatin1String("Can't connect to your Android Phone: ")))
                out << text;
        }
        return out;
    }

    static SimulatedAndroidPhone::Options phoneOptions(SimulatedAdbd::Prompt prompt, bool appInstalled = true)
    {
        SimulatedAndroidPhone::Options options;
        options.adbd.requireAuth = true;
        options.adbd.prompt = prompt;
        options.appInstalled = appInstalled;
        return options;
    }

private slots:
    void initTestCase() { m_box.install(); }

    void init() { m_box.reset(); }

    void cleanup() { m_box.onBox = nullptr; }

    // A phone found by the poll is loaded into the tree once it lets this computer in: at once
    // when it knows our key, after the warning when its owner allows it while the warning is up.
    // A phone without the app gets it installed first. When the phone's daemon goes, so does the
    // node.
    void phoneArrivesLoadsAndLeaves_data()
    {
        QTest::addColumn<bool>("knownKey");
        QTest::addColumn<bool>("appInstalled");
        QTest::newRow("key known") << true << true;
        QTest::newRow("allowed while warned") << false << true;
        QTest::newRow("app installed on arrival") << true << false;
    }
    void phoneArrivesLoadsAndLeaves()
    {
        QFETCH(bool, knownKey);
        QFETCH(bool, appInstalled);
        auto w = window();
        auto phone =
            std::make_unique<SimulatedAndroidPhone>(phoneOptions(SimulatedAdbd::Prompt::Ask, appInstalled));
        phone->app().deviceName = QStringLiteral("Ann's Pixel");
        phone->app().addContact({{pim::ENTITY_NAME, R::name("Ann", "Lee")}, {3, R::valued("mobile", "111")}});
        phone->app().addContact({{pim::ENTITY_NAME, R::name("Bob", "Ray")}});
        if (knownKey)
            phone->adbd().trustKey(AdbKey::shared()->androidPublicKey());
        // The owner taps "Allow" while the window's warning is shown; a slow sign-in may show it
        // again, so every warning is answered with Retry.
        SimulatedAdbd &adbd = phone->adbd();
        m_box.onBox = [&adbd](const MessageBoxRequest &r) {
            if (r.buttons & QMessageBox::Retry)
                adbd.answerPrompt(true);
        };
        m_box.retryAnswers = QList<int>(50, QMessageBox::Retry);
        const QString devId = devIdOf(*phone);

        auto poll = watch(*w, *phone);
        QTRY_VERIFY_WITH_TIMEOUT(androidNode(*w, devId), 30000);
        Tree::_DBItemNode *node = androidNode(*w, devId);
        QCOMPARE(node->name, QStringLiteral("Ann's Pixel"));
        QCOMPARE(node->db->path, g_dataSaveDir().filePath(QStringLiteral("android_cache/") + devId));
        QCOMPARE(w->currentNode().dbNode, node);
        QCOMPARE(fixture::sortedNames(w->contactList().contacts), QStringList({"Ann Lee", "Bob Ray"}));
        QVERIFY(boxTexts(QMessageBox::Critical).isEmpty());
        // Our key went to the phone's prompt only when the phone did not know it (again with a
        // Retry that came before the phone's answer), and then the user was warned before anything
        // else happened.
        if (knownKey)
            QCOMPARE(phone->adbd().offeredKeys().size(), 0);
        else
            QVERIFY(!phone->adbd().offeredKeys().isEmpty());
        if (!knownKey)
            QVERIFY(!authWarnings().isEmpty());
        for (const QString &text : authWarnings())
            QVERIFY(text.contains(QStringLiteral("Can't connect to your Android Phone: %1.").arg(devId)));
        QVERIFY(phone->appInstalled());
        QCOMPARE(phone->installCount(), appInstalled ? 0 : 1);
        QCOMPARE(phone->app().sessionsServed(), 1);

        m_box.onBox = nullptr;
        phone.reset();
        QTRY_VERIFY_WITH_TIMEOUT(deviceNodes(*w, Tree::ANDROID).isEmpty(), 30000);
        QVERIFY(w->currentNode().dbNode == nullptr);
        // The mirror stays on disk.
        QVERIFY(QFile::exists(g_dataSaveDir().filePath(QStringLiteral("android_cache/") + devId)));
        poll->stop();
    }

    // The owner refuses: each Retry warns again, Abort gives up, and the phone is never asked for
    // a session.
    void refusedPhoneIsGivenUp()
    {
        auto w = window();
        SimulatedAndroidPhone phone(phoneOptions(SimulatedAdbd::Prompt::Ask));
        phone.app().addContact({{pim::ENTITY_NAME, R::name("Ann", "Lee")}});
        SimulatedAdbd &adbd = phone.adbd();
        m_box.onBox = [&adbd](const MessageBoxRequest &r) {
            if (r.buttons & QMessageBox::Retry)
                adbd.answerPrompt(false);
        };
        m_box.retryAnswers = {QMessageBox::Retry, QMessageBox::Retry};

        auto poll = watch(*w, phone);
        QTRY_VERIFY_WITH_TIMEOUT(authWarnings().size() >= 3, 30000);
        poll->stop();
        QTRY_VERIFY(!visibleProgressForm());
        QTest::qWait(200);
        QVERIFY(deviceNodes(*w, Tree::ANDROID).isEmpty());
        QCOMPARE(phone.app().sessionsServed(), 0);
        QVERIFY(phone.sessionPorts().isEmpty());
        QVERIFY(boxTexts(QMessageBox::Critical).isEmpty());
    }

    // An offline phone database (a file of "android_virtual") is a phone's mirror with no phone
    // behind it: chosen as a target it says so, and its node and its file stay as they were.
    void offlinePhoneDatabaseIsNoTarget()
    {
        fixture::makeDb(g_dataSaveDir().filePath(QStringLiteral("data/local.db")),
                        {{"Lou Park", "555", "", ""}});
        const QString offline = g_dataSaveDir().filePath(QStringLiteral("android_virtual/p.db"));
        fixture::makeDb(offline, {{"Pat", "", "", ""}});
        auto w = window();
        Tree::_DBItemNode *node = androidNode(*w, QStringLiteral("p.db"));
        QVERIFY(node);
        auto *db = dynamic_cast<AndroidContactsDb *>(node->db.data());
        QVERIFY(db && db->isOffline());

        w->selection().selectNode(static_cast<Tree::_ItemNode *>(w->mainTree().rootLocalDb.childs.first()));
        QStringList offered;
        fixture::chooseTarget(QStringLiteral("p"), &offered);
        QVERIFY(QMetaObject::invokeMethod(w.get(), "miTreeDB2A"));
        QCOMPARE(offered, QStringList{"p"});
        const QStringList errors = boxTexts(QMessageBox::Critical);
        QCOMPARE(errors.size(), 1);
        QVERIFY(errors.first().contains(QLatin1String("This Android database has no phone connected to it. "
                                                      "Connect the phone and choose it from the devices.")));
        QCOMPARE(androidNode(*w, QStringLiteral("p.db")), node);
        QCOMPARE(fixture::sortedNames(node->db->contacts(0, QString())), QStringList{"Pat"});
        QVERIFY(!QDir(g_dataSaveDir().filePath(QStringLiteral("android_cache"))).exists() ||
                QDir(g_dataSaveDir().filePath(QStringLiteral("android_cache"))).isEmpty());
    }

    // The contacts of a simulated iPhone, sent to the simulated Android phone through the target
    // chooser and the write session, come back from the phone as they left: names in any script,
    // phones and e-mails with their kinds, addresses, notes over several lines and the photo.
    void iPhoneContactsReachTheAndroidPhone()
    {
        SimulatedUsbmuxd mux;
        QVERIFY(mux.isListening());
        mux.makeCurrent();
        auto w = window(true);
        QVERIFY(mux.waitForListeners(1));

        const QByteArray photo = tarnwick::test::imageBytes("PNG", QSize(48, 48), Qt::darkMagenta);
        auto iphone = std::make_shared<SimulatedIPhone>(QStringLiteral("00008101-000A1B2C3D4E5F60"));
        iphone->setDeviceName(QStringLiteral("Anna's iPhone"));
        iphone->contactSync().setRecords({
            SyncRecord::contact("1", {{"first name", "Zoë"},
                                      {"last name", "Øster-Łukasik"},
                                      {"notes", "Met at the fair\nlikes tea\r\n\nsee 日本"},
                                      {"image", photo}}),
            SyncRecord::subRecord("3/1/0", "Phone Number", {"1"},
                                  {{"value", "+47 22 33 44 55"}, {"type", "mobile"}}),
            SyncRecord::subRecord("3/1/1", "Phone Number", {"1"},
                                  {{"value", "+47 22 00 00 01"}, {"type", "work"}}),
            SyncRecord::subRecord("3/1/2", "Phone Number", {"1"},
                                  {{"value", "+47 22 00 00 02"}, {"type", "home fax"}}),
            SyncRecord::subRecord("3/1/3", "Phone Number", {"1"},
                                  {{"value", "555"}, {"type", "other"}, {"label", "Hütte"}}),
            SyncRecord::subRecord("4/1/0", "Email Address", {"1"},
                                  {{"value", "zoe@example.org"}, {"type", "home"}}),
            SyncRecord::subRecord("4/1/1", "Email Address", {"1"},
                                  {{"value", "z.oster@work.example"}, {"type", "work"}}),
            SyncRecord::subRecord("5/1/0", "Street Address", {"1"},
                                  {{"street", "Storgata 1\nOppgang B"},
                                   {"city", "Tromsø"},
                                   {"state", "Troms"},
                                   {"postal code", "9008"},
                                   {"country", "Norge"},
                                   {"type", "work"}}),
            SyncRecord::contact("2", {{"first name", "李"}, {"last name", "小龙"}}),
            SyncRecord::subRecord("3/2/0", "Phone Number", {"2"},
                                  {{"value", "+86 10 1234 5678"}, {"type", "home"}}),
            SyncRecord::contact("3", {{"first name", "Bob"}, {"notes", "one line"}}),
        });
        mux.attach(iphone);
        QTRY_VERIFY_WITH_TIMEOUT(deviceNodes(*w, Tree::IOS).size() == 1, 30000);
        Tree::_DBItemNode *iosNode = deviceNodes(*w, Tree::IOS).first();
        const QList<pim::_Contact> sent = iosNode->db->contacts(0, QString());
        QCOMPARE(sent.size(), 3);
        // The iPhone's side carries everything that must arrive, so comparing with it proves something.
        const QString sentText = digests(sent).join(QLatin1Char('\n'));
        for (const char *line : {"3 555|0|Hütte", "3 +47 22 00 00 02|5|", "4 z.oster@work.example|2|",
                                 "address 2|Storgata 1\nOppgang B|Tromsø|Troms|9008|Norge",
                                 "note Met at the fair\nlikes tea\r\n\nsee 日本", "name 李|小龙", "photo "})
            QVERIFY2(sentText.contains(QString::fromUtf8(line)), line);

        SimulatedAndroidPhone phone(phoneOptions(SimulatedAdbd::Prompt::Accept));
        phone.adbd().trustKey(AdbKey::shared()->androidPublicKey());
        phone.app().deviceName = QStringLiteral("Target");
        m_box.retryAnswers = QList<int>(50, QMessageBox::Retry);
        auto poll = watch(*w, phone);
        QTRY_VERIFY_WITH_TIMEOUT(androidNode(*w, devIdOf(phone)), 30000);
        QTRY_VERIFY(!visibleProgressForm());

        m_box.boxes.clear();
        w->selection().selectNode(iosNode);
        QStringList offered;
        fixture::chooseTarget(QStringLiteral("Target"), &offered);
        QVERIFY(QMetaObject::invokeMethod(w.get(), "miTreeI2A"));
        QCOMPARE(offered, QStringList{"Target"});
        QVERIFY2(boxTexts(QMessageBox::Critical).isEmpty(),
                 qPrintable(boxTexts(QMessageBox::Critical).join('\n')));
        QVERIFY(boxTexts(QMessageBox::Information)
                    .contains(QLatin1String("Successfully transferred 3 contacts to Android.")));
        QCOMPARE(phone.app().contacts().size(), 3);

        // The refreshed node shows what was written, and the phone, loaded afresh, gives it back.
        Tree::_DBItemNode *target = androidNode(*w, devIdOf(phone));
        QVERIFY(target);
        QCOMPARE(digests(target->db->contacts(0, QString())), digests(sent));
        auto *mirror = dynamic_cast<AndroidContactsDb *>(target->db.data());
        QVERIFY(mirror);
        QTemporaryDir dir;
        AndroidContactsDb again(dir.filePath(QStringLiteral("again")), mirror->connector());
        again.create();
        RecordingProgressSink progress;
        SyncRestoreThread load(&again, freePort(), &progress);
        load.start();
        QVERIFY(load.wait(QDeadlineTimer(30000)));
        QCOMPARE(progress.outcome(), QStringLiteral("succeed|"));
        QCOMPARE(digests(again.contacts(0, QString())), digests(sent));
        poll->stop();
    }
};

TARNWICK_TEST_MAIN(TestAndroidOverAdb)
#include "tst_androidoveradb.moc"
