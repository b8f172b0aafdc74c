#include "AppFixtures.h"
#include "ChooserFixtures.h"
#include "CompanionApp.h"
#include "CompanionRecord.h"
#include "DeviceWindowFixtures.h"
#include "SimulatedAndroidHandle.h"
#include "SimulatedWifiPhone.h"
#include "TestMain.h"
#include "android/AdbConnector.h"
#include "android/AndroidWifiConnector.h"
#include "android/simpleprotocol.h"
#include "model/DataFolder.h"
#include "shell/app/AndroidAttach.h"
#include "shell/app/AndroidWIFIForm.h"
#include "shell/app/MainWindow.h"
#include "shell/app/Ui_AndroidWIFIForm.h"
#include "shell/app/Ui_MainWindow.h"
#include "shell/kit/ProgressForm.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTimer>

#include <atomic>
#include <functional>

using Tree = ItemModelMainTree;
using tarnwick::peers::CompanionApp;
using tarnwick::peers::SimulatedAndroidHandle;
using tarnwick::peers::SimulatedWifiPhone;
namespace R = tarnwick::peers::CompanionRecord;

namespace {

const QString kSerial = QStringLiteral("R58M123ABC");
const QString kOtherSerial = QStringLiteral("emulator-5554");

// A phone that allows USB debugging only after it was asked a number of times, and that may be
// unplugged after some of them.
class ShyPhone : public SimulatedAndroidHandle
{
public:
    ShyPhone(CompanionApp *app, QString id, int refusals, int goneAfter = -1)
        : SimulatedAndroidHandle(app, std::move(id))
        , refusals(refusals)
        , goneAfter(goneAfter)
    {}
    bool waitForAuth2(int) override { return asked++ >= refusals; }
    bool isGone() const override { return goneAfter >= 0 && asked > goneAfter; }
    int refusals;
    int goneAfter;
    std::atomic_int asked{0};
};

// The names the simulated app holds: the text fields of each name record, joined.
QStringList phoneNames(const CompanionApp &app)
{
    QStringList out;
    for (const tarnwick::peers::CompanionContact &c : app.contacts()) {
        const QList<tarnwick::peers::CompanionRow> rows = c.rowsOf(pim::ENTITY_NAME);
        if (rows.isEmpty())
            continue;
        QStringList parts;
        for (const QString &field : rows.first().fields()) {
            const QString part = R::decodeText(field);
            if (!part.isEmpty())
                parts << part;
        }
        out << parts.join(' ');
    }
    out.sort();
    return out;
}

// Whether one of the phone's names holds `name`.
bool phoneHas(const CompanionApp &app, const QString &name)
{
    for (const QString &n : phoneNames(app)) {
        if (n.contains(name))
            return true;
    }
    return false;
}

QList<Tree::_DBItemNode *> androidNodes(MainWindow &w)
{
    return fixture::deviceNodes(w, Tree::ANDROID);
}

Tree::_DBItemNode *androidNode(MainWindow &w, const QString &devId)
{
    return fixture::deviceNode(w, Tree::ANDROID, devId);
}

using fixture::visibleProgressForm;

// One simulated USB phone: the app with its store, reached through the phone's handle.
struct UsbPhone
{
    explicit UsbPhone(const QString &serial, const QString &name,
                      QSharedPointer<SimulatedAndroidHandle> h = {})
        : handle(h ? h : QSharedPointer<SimulatedAndroidHandle>(new ShyPhone(&app, serial, 0)))
    {
        app.deviceName = name;
        handle->userPackages << AdbConnector::kPackage;
    }
    CompanionApp app;
    QSharedPointer<SimulatedAndroidHandle> handle;
};

} // namespace

// Android phones in the main window, end to end against simulated phones: arrival over USB and
// Wi-Fi, leaving, the transfers into a phone and deleting on it, with the reload whenever the phone
// did not take a change.
class TestAndroidAttach : public QObject
{
    Q_OBJECT

    // The boxes shown, with the answers to those that offer Retry and the hook run inside each.
    fixture::PhoneBoxes m_box;

    std::unique_ptr<MainWindow> window()
    {
        MainWindow::Hooks hooks;
        hooks.terminator = [] {};
        hooks.iosSubscriptionStart = [](MobiledeviceSubscribe &) { return true; };
        auto w = std::make_unique<MainWindow>(nullptr, hooks);
        w->resize(1000, 600);
        // Connector waits are the phone's; the simulated phone needs none.
        w->androidAttach().setUsbConnectorFactory([](const PAdbUSBHandle &handle) {
            return PAndroidConnector(new AdbConnector(handle, [](unsigned long) {}));
        });
        return w;
    }

    static void arrive(MainWindow &w, const QSharedPointer<SimulatedAndroidHandle> &handle)
    {
        QVERIFY(QMetaObject::invokeMethod(&w, "androidDeviceConnected", Qt::QueuedConnection,
                                          Q_ARG(QString, QStringLiteral("usb:1-2")),
                                          Q_ARG(PAdbUSBHandle, handle.staticCast<AdbUSBHandle>())));
    }

    static void leave(MainWindow &w, const QSharedPointer<SimulatedAndroidHandle> &handle)
    {
        QVERIFY(QMetaObject::invokeMethod(&w, "androidDeviceDisconnected", Qt::QueuedConnection,
                                          Q_ARG(QString, QStringLiteral("usb:1-2")),
                                          Q_ARG(PAdbUSBHandle, handle.staticCast<AdbUSBHandle>())));
    }

    // Runs a slot of the window by name, as its menu entry would.
    static void act(MainWindow &w, const char *slot) { QVERIFY(QMetaObject::invokeMethod(&w, slot)); }

    QStringList boxTexts(QMessageBox::Icon icon) const { return m_box.texts(icon); }

    // The simulated app serves sessions on its own port only, so the sessions the window starts go
    // to that port.
    static void usePhone(MainWindow &w, const CompanionApp &app)
    {
        const int port = app.port();
        w.androidAttach().setPortSource([port] { return port; });
    }

    // A phone loaded into the window, its node made current.
    Tree::_DBItemNode *attach(MainWindow &w, UsbPhone &phone)
    {
        usePhone(w, phone.app);
        const int before = phone.app.sessionsServed();
        arrive(w, phone.handle);
        if (!QTest::qWaitFor([&] { return androidNode(w, phone.handle->deviceId()) != nullptr; }, 30000))
            return nullptr;
        if (!phone.app.waitServed(before + 1, 10000))
            return nullptr;
        return androidNode(w, phone.handle->deviceId());
    }

private slots:
    void initTestCase() { m_box.install(); }

    void init() { m_box.reset(); }

    // Arrival installs the app only when the phone's package list is there and lacks it; the phone
    // is loaded under the name its app gives and leaves when it is unplugged.
    void usbPhoneArrivesAndLeaves_data()
    {
        QTest::addColumn<QStringList>("packages");
        QTest::addColumn<int>("installs");
        QTest::newRow("app installed") << QStringList{"com.example.notes", AdbConnector::kPackage} << 0;
        QTest::newRow("app missing") << QStringList{"com.example.notes"} << 1;
    }
    void usbPhoneArrivesAndLeaves()
    {
        QFETCH(QStringList, packages);
        QFETCH(int, installs);
        auto w = window();
        UsbPhone phone(kSerial, QStringLiteral("Ann's Pixel"));
        phone.handle->userPackages = packages;
        phone.app.addContact({{pim::ENTITY_NAME, R::name("Ann", "Lee")}, {3, R::valued("mobile", "111")}});
        phone.app.addContact({{pim::ENTITY_NAME, R::name("Bob", "Ray")}});

        Tree::_DBItemNode *node = attach(*w, phone);
        QVERIFY(node);
        QCOMPARE(phone.handle->installs().size(), installs);
        QCOMPARE(node->name, QStringLiteral("Ann's Pixel"));
        QCOMPARE(node->db->path, g_dataSaveDir().filePath(QStringLiteral("android_cache/") + kSerial));
        QCOMPARE(w->currentNode().dbNode, node);
        QCOMPARE(fixture::sortedNames(w->contactList().contacts), QStringList({"Ann Lee", "Bob Ray"}));
        QVERIFY(boxTexts(QMessageBox::Critical).isEmpty());

        leave(*w, phone.handle);
        QTRY_VERIFY(androidNodes(*w).isEmpty());
        QVERIFY(QFile::exists(g_dataSaveDir().filePath(QStringLiteral("android_cache/") + kSerial)));
    }

    // Until the phone allows debugging the warning comes back after each wait; Retry waits again,
    // Abort gives up without touching the phone, and a phone that was unplugged is asked no more.
    void authorisationLoop_data()
    {
        QTest::addColumn<int>("refusals");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<int>("goneAfter");
        QTest::addColumn<int>("boxes");
        const QList<int> retries{QMessageBox::Retry, QMessageBox::Retry, QMessageBox::Retry,
                                 QMessageBox::Retry};
        QTest::newRow("allowed at once") << 0 << QList<int>{} << true << -1 << 0;
        QTest::newRow("allowed after two retries")
            << 2 << QList<int>{QMessageBox::Retry, QMessageBox::Retry} << true << -1 << 2;
        QTest::newRow("aborted") << 5 << QList<int>{QMessageBox::Retry} << false << -1 << 2;
        QTest::newRow("unplugged while asked") << 5 << retries << false << 2 << 2;
    }
    void authorisationLoop()
    {
        QFETCH(int, refusals);
        QFETCH(QList<int>, answers);
        QFETCH(bool, loaded);
        QFETCH(int, goneAfter);
        QFETCH(int, boxes);
        auto w = window();
        CompanionApp app;
        QSharedPointer<ShyPhone> shy(new ShyPhone(&app, kSerial, refusals, goneAfter));
        shy->userPackages << AdbConnector::kPackage;
        usePhone(*w, app);
        m_box.retryAnswers = answers;
        arrive(*w, shy);
        if (loaded) {
            QTRY_VERIFY_WITH_TIMEOUT(androidNode(*w, kSerial), 30000);
        } else if (goneAfter >= 0) {
            QTRY_VERIFY(shy->asked > goneAfter);
            QTest::qWait(200);
            QVERIFY(androidNodes(*w).isEmpty());
            QCOMPARE(app.sessionsServed(), 0);
            // The answers left were never asked for.
            QCOMPARE(m_box.retryAnswers.size(), answers.size() - boxes);
        } else {
            QTRY_VERIFY(m_box.retryAnswers.isEmpty() && !boxTexts(QMessageBox::Warning).isEmpty());
            QTest::qWait(200);
            QVERIFY(androidNodes(*w).isEmpty());
            QCOMPARE(app.sessionsServed(), 0);
        }
        const QStringList warnings = boxTexts(QMessageBox::Warning);
        QCOMPARE(warnings.size(), boxes);
        for (const QString &text : warnings) {
            QVERIFY(text.contains(QStringLiteral("Can't connect to your Android Phone: %1.").arg(kSerial)));
            QVERIFY(text.contains(QLatin1String("\"Always allow from this computer\"")));
        }
    }

    // The failure box names the path and what the user can do about the cause.
    void failedConnectionNamesThePath_data()
    {
        QTest::addColumn<QByteArray>("slot");
        QTest::addColumn<QStringList>("says");
        QTest::addColumn<QString>("doesNotSay");
        QTest::newRow("busy") << QByteArray("androidDeviceConnectedFailed2")
                              << QStringList{QStringLiteral("exit any other Android Manager")}
                              << QStringLiteral("udev");
        QTest::newRow("access denied") << QByteArray("androidDeviceDenied")
                                       << QStringList{QStringLiteral("access to it was denied"),
                                                      QStringLiteral("android-sdk-platform-tools-common"),
                                                      QStringLiteral("unplug the phone and plug it in again")}
                                       << QStringLiteral("exit any other Android Manager");
    }

    void failedConnectionNamesThePath()
    {
        QFETCH(QByteArray, slot);
        QFETCH(QStringList, says);
        QFETCH(QString, doesNotSay);
        auto w = window();
        QMetaObject::invokeMethod(w.get(), slot.constData(), Qt::QueuedConnection,
                                  Q_ARG(QString, QStringLiteral("3-1.4")));
        QTRY_COMPARE(boxTexts(QMessageBox::Critical).size(), 1);
        const QString text = boxTexts(QMessageBox::Critical).first();
        QVERIFY2(text.contains(QLatin1String("Failed to connect your Android Phone.<br/>usb: 3-1.4<br/>")),
                 qPrintable(text));
        for (const QString &part : says)
            QVERIFY2(text.contains(part), qPrintable(text));
        QVERIFY(!text.contains(doesNotSay));
        QVERIFY(androidNodes(*w).isEmpty());
    }

    // A load the phone breaks off shows its error and leaves no node; the window runs on and the
    // next arrival of the phone loads it.
    void failedLoadLeavesNoNode()
    {
        auto w = window();
        UsbPhone phone(kSerial, QStringLiteral("P"));
        phone.app.addContact({{pim::ENTITY_NAME, R::name("Ann", "Lee")}});
        phone.app.setLoadScript({QStringLiteral("$error:") + simpleprotocol::encodeText("storage locked")});
        usePhone(*w, phone.app);
        arrive(*w, phone.handle);
        QTRY_VERIFY_WITH_TIMEOUT(!boxTexts(QMessageBox::Critical).isEmpty(), 30000);
        QVERIFY(boxTexts(QMessageBox::Critical).first().contains(QLatin1String("storage locked")));
        QTRY_VERIFY(!visibleProgressForm());
        QVERIFY(androidNodes(*w).isEmpty());

        phone.app.setLoadScript(phone.app.loadScript());
        QVERIFY(attach(*w, phone));
    }

    // The phone arriving again while its own load runs is loaded once more afterwards, never in
    // parallel into the same mirror file; one node results.
    void arrivalDuringLoadIsDeferred()
    {
        auto w = window();
        UsbPhone phone(kSerial, QStringLiteral("P"));
        phone.app.addContact({{pim::ENTITY_NAME, R::name("Ann", "Lee")}});
        usePhone(*w, phone.app);
        arrive(*w, phone.handle);
        arrive(*w, phone.handle);
        QTRY_VERIFY_WITH_TIMEOUT(phone.app.sessionsServed() >= 2, 30000);
        QTRY_VERIFY(androidNode(*w, kSerial));
        QTRY_VERIFY(!visibleProgressForm());
        QCOMPARE(androidNodes(*w).size(), 1);
        QCOMPARE(fixture::sortedNames(w->contactList().contacts), QStringList{"Ann Lee"});
        QVERIFY(boxTexts(QMessageBox::Critical).isEmpty());
    }

    // A phone reached by its Wi-Fi address: the node is keyed by the name the phone greets with,
    // shown under the name its load gives, and its mirror file has a safe name.
    void wifiPhoneIsLoaded_data()
    {
        QTest::addColumn<QString>("hello");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("plain name") << "Den-tablet"
                                    << "Den-tablet";
        QTest::newRow("separator in the name") << "Den/tablet"
                                               << "Den%2Ftablet";
        QTest::newRow("dots only") << ".."
                                   << "%2E%2E";
    }
    void wifiPhoneIsLoaded()
    {
        QFETCH(QString, hello);
        QFETCH(QString, fileName);
        auto w = window();
        CompanionApp app;
        app.deviceName = QStringLiteral("Den tablet");
        app.addContact({{pim::ENTITY_NAME, R::name("Cy", "Wu")}});
        SimulatedWifiPhone phone(&app);
        phone.helloReply = QStringLiteral("hello:") + hello;
        QVERIFY(phone.open());
        w->androidAttach().setWifiDialog([&phone](QWidget *parent) {
            AndroidWIFIForm form(parent, [&phone] {
                return std::make_unique<AndroidWifiConnector>(
                    [&phone](unsigned long) { phone.waitForSessions(1, 20000); });
            });
            return form.execGetConnector();
        });
        const QString address = phone.address();
        fixture::playOnNextModal([address](QWidget &dialog) {
            auto &form = static_cast<AndroidWIFIForm &>(dialog);
            form.form().txtWifiSocket->setText(address);
            fixture::press(form, "btnConnect");
        });
        act(*w, "miToolsConnectViaWiFi");

        Tree::_DBItemNode *node = androidNode(*w, hello);
        QVERIFY(node);
        QCOMPARE(node->name, QStringLiteral("Den tablet"));
        QCOMPARE(node->db->path, g_dataSaveDir().filePath(QStringLiteral("android_cache/") + fileName));
        QCOMPARE(fixture::sortedNames(w->contactList().contacts), QStringList{"Cy Wu"});
        QVERIFY(phone.received().value(1).startsWith(QLatin1String("backup://127.0.0.1:")));
        QVERIFY(boxTexts(QMessageBox::Critical).isEmpty());
    }

    void wifiCancelledAddsNothing()
    {
        auto w = window();
        fixture::playOnNextModal([](QWidget &dialog) { fixture::giveUp(dialog, false); });
        act(*w, "miToolsConnectViaWiFi");
        QVERIFY(androidNodes(*w).isEmpty());
        QVERIFY(m_box.boxes.isEmpty());
    }

    // Local database to a phone: the written contacts reach the phone and its refreshed node; after
    // a failure or a cancel the phone is loaded again and shows what it really holds.
    void localDatabaseToPhone_data()
    {
        QTest::addColumn<QString>("outcome");
        QTest::newRow("success") << "success";
        QTest::newRow("phone refuses") << "failure";
        QTest::newRow("user cancels") << "cancel";
    }
    void localDatabaseToPhone()
    {
        QFETCH(QString, outcome);
        fixture::makeDb(g_dataSaveDir().filePath("data/local.db"),
                        {{"Lou Park", "555", "", ""}, {"Mia Chen", "", "mia@x.org", ""}});
        auto w = window();
        UsbPhone phone(kSerial, QStringLiteral("Target"));
        phone.app.addContact({{pim::ENTITY_NAME, R::name("Old", "Friend")}});
        QVERIFY(attach(*w, phone));

        if (outcome == QLatin1String("failure")) {
            phone.app.answerHook = [](int, const QString &) {
                return QStringLiteral("$error:") + simpleprotocol::encodeText("quota reached");
            };
        } else if (outcome == QLatin1String("cancel")) {
            phone.app.answerHook = [](int, const QString &) { return CompanionApp::kSilent; };
            QTimer::singleShot(1500, [] {
                if (ProgressForm *form = visibleProgressForm())
                    QMetaObject::invokeMethod(form, "cancel");
            });
        }
        m_box.boxes.clear();
        w->selection().selectNode(static_cast<Tree::_ItemNode *>(w->mainTree().rootLocalDb.childs.first()));
        QStringList offered;
        fixture::chooseTarget(QStringLiteral("Target"), &offered);
        act(*w, "miTreeDB2A");
        QCOMPARE(offered, QStringList{"Target"});
        phone.app.answerHook = nullptr;

        if (outcome == QLatin1String("success")) {
            QCOMPARE(phone.app.sessionsServed(), 2);
            QCOMPARE(phone.app.contacts().size(), 3);
            QVERIFY(phoneHas(phone.app, "Lou Park") && phoneHas(phone.app, "Mia Chen"));
            QVERIFY(boxTexts(QMessageBox::Information)
                        .contains(QLatin1String("Successfully transferred 2 contacts to Android.")));
        } else {
            // Write, then the reload.
            QTRY_COMPARE_WITH_TIMEOUT(phone.app.sessionsServed(), 3, 30000);
            if (outcome == QLatin1String("failure"))
                QVERIFY(boxTexts(QMessageBox::Critical).join('\n').contains(QLatin1String("quota reached")));
        }
        Tree::_DBItemNode *node = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((node = androidNode(*w, kSerial)) != nullptr, 30000);
        // The tree shows what the phone holds.
        QCOMPARE(node->db->contacts(0, QString()).size(), phone.app.contacts().size());
        QCOMPARE(w->currentNode().dbNode, node);
    }

    // Android to Android: the source phone is never offered; the contacts reach the other phone.
    void phoneToPhoneLeavesOutTheSource()
    {
        auto w = window();
        UsbPhone source(kSerial, QStringLiteral("Source"));
        source.app.addContact({{pim::ENTITY_NAME, R::name("Sam", "Hill")}});
        UsbPhone target(kOtherSerial, QStringLiteral("Target"));
        QVERIFY(attach(*w, source));
        QVERIFY(attach(*w, target));
        w->selection().selectNode(androidNode(*w, kSerial));
        usePhone(*w, target.app);

        QStringList offered;
        fixture::chooseTarget(QStringLiteral("Target"), &offered);
        act(*w, "miTreeA2A");
        QCOMPARE(offered, QStringList{"Target"});
        QCOMPARE(target.app.contacts().size(), 1);
        QVERIFY(phoneHas(target.app, "Sam Hill"));
        QCOMPARE(fixture::sortedNames(androidNode(*w, kOtherSerial)->db->contacts(0, QString())),
                 QStringList{"Sam Hill"});
    }

    // Deleting on a phone: the phone loses the contacts; when it refuses, it is loaded again and
    // the tree shows the contacts it still holds.
    void deletingOnAPhone_data()
    {
        QTest::addColumn<bool>("group");
        QTest::addColumn<bool>("phoneRefuses");
        QTest::newRow("all contacts") << false << false;
        QTest::newRow("all contacts, phone refuses") << false << true;
        QTest::newRow("a group") << true << false;
        QTest::newRow("a group, phone refuses") << true << true;
    }
    void deletingOnAPhone()
    {
        QFETCH(bool, group);
        QFETCH(bool, phoneRefuses);
        auto w = window();
        UsbPhone phone(kSerial, QStringLiteral("P"));
        phone.app.addContact(
            {{pim::ENTITY_NAME, R::name("Ann", "Lee")}, {pim::ENTITY_GROUP, R::group("Team")}});
        phone.app.addContact({{pim::ENTITY_NAME, R::name("Bob", "Ray")}});
        Tree::_DBItemNode *node = attach(*w, phone);
        QVERIFY(node);
        if (group) {
            QCOMPARE(node->childs.size(), 1);
            w->selection().selectNode(static_cast<Tree::_ItemNode *>(node->childs.first()));
        }
        if (phoneRefuses) {
            // The send cannot reach the app; the reload afterwards can.
            const int port = phone.app.port();
            auto calls = std::make_shared<int>(0);
            w->androidAttach().setPortSource([port, calls] { return (*calls)++ == 0 ? port + 1 : port; });
        }
        m_box.boxes.clear();
        act(*w, "miTreeDel");

        const QStringList expected = phoneRefuses ? QStringList{"Ann Lee", "Bob Ray"}
                                     : group      ? QStringList{"Bob Ray"}
                                                  : QStringList{};
        if (phoneRefuses) {
            QVERIFY(boxTexts(QMessageBox::Critical)
                        .join('\n')
                        .contains(QLatin1String("cannot connect to phone port")));
            QTRY_COMPARE_WITH_TIMEOUT(phone.app.sessionsServed(), 2, 30000);
            QTRY_VERIFY(androidNode(*w, kSerial));
        } else {
            QVERIFY(
                boxTexts(QMessageBox::Information).contains(QLatin1String("Successfully deleted contact.")));
        }
        // The app applies a deletion after the session has closed its side: wait for it.
        QTRY_COMPARE(phoneNames(phone.app), expected);
        QCOMPARE(fixture::sortedNames(androidNode(*w, kSerial)->db->contacts(0, QString())), expected);
    }

    void portsStayInTheirRange()
    {
        QSet<int> seen;
        for (int i = 0; i < 150; ++i) {
            const int port = AndroidAttach::portAlloc();
            QVERIFY(port >= 10001 && port <= 45999);
            QVERIFY(port % 100 != 0);
            seen << port;
        }
        // The counter wraps after 99 calls but a second's worth of calls never repeats a port.
        QVERIFY(seen.size() >= 99);
    }

    void wifiCacheNamesAreSafeAndDistinct()
    {
        const QStringList names{"Pixel", "a/b", "a%2Fb", "..",
                                ".",     "",    "a\\b",  QStringLiteral("x%1y").arg(QChar(0))};
        QSet<QString> files;
        for (const QString &n : names) {
            const QString f = AndroidAttach::wifiCacheName(n);
            QVERIFY2(!f.isEmpty() && f != "." && f != ".." && !f.contains('/') && !f.contains('\\') &&
                         !f.contains(QChar(0)),
                     qPrintable(n));
            files << f;
        }
        QCOMPARE(files.size(), names.size());
    }
};

TARNWICK_TEST_MAIN(TestAndroidAttach)
#include "tst_androidattach.moc"
