#include "AppFixtures.h"
#include "DeviceWindowFixtures.h"
#include "SimulatedUsbmuxd.h"
#include "TestMain.h"
#include "model/DataFolder.h"
#include "shell/app/MainWindow.h"
#include "shell/app/Ui_MainWindow.h"
#include "shell/kit/MessageBoxResponder.h"
#include "shell/kit/ProgressForm.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTimer>
#include <QTranslator>

#include <functional>

using Tree = ItemModelMainTree;
using tarnwick::peers::SimulatedContactSync;
using tarnwick::peers::SimulatedIPhone;
using tarnwick::peers::SimulatedUsbmuxd;
using tarnwick::peers::SyncRecord;

namespace {

const QString kUdid = QStringLiteral("00008101-000A1B2C3D4E5F60");
const QString kOtherUdid = QStringLiteral("00008030-001122334455667E");

const QString kNotes = QStringLiteral(
    "<p><b>Notes:</b></p>\n"
    "<p><nobr><b>1.</b>  If your iPhone is protected with a passcode, please enter your passcode on iPhone "
    "first.</nobr></p>\n"
    "<p><nobr><b>2.</b>  Turn off contacts Sync on your iPhone by 1)Settings->Mail, Contacts, "
    "Calendars->Account; 2) Settings->iCloud</nobr></p>\n"
    "<p><img src=\":res/iphone_setting1.jpg\"/></p>");

const QString kSubscriptionWarning = QStringLiteral(
    "Failed to detect iPhone. Please launch iTunes (Finder if MacOS 10.15 or above) first and then "
    "re-connect "
    "your iPhone. Once your iPhone is visible in iTunes (Finder if MacOS 10.15 or above), please restart "
    "Ferrovantis software.");

QList<SyncRecord> threeContacts()
{
    return {
        SyncRecord::contact("1", {{"first name", "Ann"}, {"last name", "Lee"}}),
        SyncRecord::subRecord("3/1/0", "Phone Number", {"1"}, {{"value", "111"}, {"type", "home"}}),
        SyncRecord::contact("2", {{"first name", "Bob"}}),
        SyncRecord::subRecord("4/1/0", "Email Address", {"2"}, {{"value", "bob@x.org"}, {"type", "work"}}),
        SyncRecord::contact("3", {{"first name", "Cy"}, {"company name", "ACME"}}),
    };
}

QString cachePath(const QString &udid)
{
    return g_dataSaveDir().filePath(QStringLiteral("ios_cache/") + udid);
}

QList<Tree::_DBItemNode *> iosNodes(MainWindow &w)
{
    return fixture::deviceNodes(w, Tree::IOS);
}

using fixture::visibleProgressForm;

} // namespace

// iPhones coming and going in the main window, against a simulated phone behind a simulated
// multiplexing service reached by the real device library.
class TestIosAttach : public QObject
{
    Q_OBJECT

    QTranslator m_translator;
    std::unique_ptr<SimulatedUsbmuxd> m_mux;
    QList<MessageBoxRequest> m_boxes;
    // Runs inside every box, before it is answered.
    std::function<void(const MessageBoxRequest &)> m_onBox;
    int m_progressShows = 0;

    std::unique_ptr<MainWindow> window(MainWindow::IosSubscriptionStart start = nullptr)
    {
        MainWindow::Hooks hooks;
        hooks.terminator = [] {};
        hooks.iosSubscriptionStart = std::move(start);
        auto w = std::make_unique<MainWindow>(nullptr, hooks);
        w->resize(1000, 600);
        return w;
    }

    std::shared_ptr<SimulatedIPhone> phone(const QString &udid, const QString &name,
                                           const QList<SyncRecord> &records)
    {
        auto p = std::make_shared<SimulatedIPhone>(udid);
        p->setDeviceName(name);
        p->contactSync().setRecords(records);
        return p;
    }

    QStringList boxTexts() const
    {
        QStringList out;
        for (const MessageBoxRequest &r : m_boxes)
            out << r.text;
        return out;
    }

    int notesShown() const { return int(boxTexts().count(kNotes)); }

    QList<MessageBoxRequest> errorBoxes() const
    {
        QList<MessageBoxRequest> out;
        for (const MessageBoxRequest &r : m_boxes) {
            if (r.icon == QMessageBox::Critical)
                out << r;
        }
        return out;
    }

    // Delivers an arrival as the subscription would, queued to the window.
    static void deliverArrival(MainWindow &w, const QString &udid)
    {
        QMetaObject::invokeMethod(&w, "iosDeviceConnected", Qt::QueuedConnection, Q_ARG(QString, udid));
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<ProgressForm *>(watched))
            ++m_progressShows;
        return QObject::eventFilter(watched, event);
    }

private slots:
    void initTestCase()
    {
        // No web site: neither the update check nor the error report may leave the machine.
        qunsetenv("TARNWICK_UPDATE_HOST");
        QVERIFY(m_translator.load(QStringLiteral(":/en.qm")));
        QCoreApplication::installTranslator(&m_translator);
        qApp->installEventFilter(this);
        MessageBoxResponder::install([this](const MessageBoxRequest &r) {
            m_boxes << r;
            if (m_onBox)
                m_onBox(r);
            return int(r.buttons & QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::Ok);
        });
    }

    void init()
    {
        for (const char *sub : {"data", "ios_cache", "ios_virtual", "android_virtual"})
            QDir(g_dataSaveDir().filePath(QLatin1String(sub))).removeRecursively();
        m_boxes.clear();
        m_onBox = nullptr;
        m_progressShows = 0;
        m_mux = std::make_unique<SimulatedUsbmuxd>();
        QVERIFY(m_mux->isListening());
        m_mux->makeCurrent();
    }

    void cleanup()
    {
        m_onBox = nullptr;
        m_mux.reset();
    }

    void attachLoadsThePhoneAndDetachRemovesIt()
    {
        auto w = window();
        QVERIFY(m_mux->waitForListeners(1));
        QVERIFY(m_boxes.isEmpty());

        auto iphone = phone(kUdid, QStringLiteral("Anna's iPhone"), threeContacts());
        bool notesBeforeLoad = false;
        m_onBox = [&](const MessageBoxRequest &r) {
            if (r.text == kNotes)
                notesBeforeLoad = iphone->contactSync().sessionCount() == 0 &&
                                  !QFile::exists(cachePath(kUdid)) && m_progressShows == 0;
        };
        m_mux->attach(iphone);

        QTRY_COMPARE(iosNodes(*w).size(), 1);
        QCOMPARE(boxTexts(), QStringList{kNotes});
        QCOMPARE(m_boxes.first().icon, QMessageBox::Information);
        QVERIFY2(notesBeforeLoad, "the load must start only after the notes box was closed");
        QCOMPARE(m_progressShows, 1);

        Tree::_DBItemNode *node = iosNodes(*w).first();
        QCOMPARE(node->name, QStringLiteral("Anna's iPhone"));
        QCOMPARE(node->devId, kUdid);
        QCOMPARE(node->type, int(Tree::DEVICE));
        QVERIFY(QFile::exists(cachePath(kUdid)));
        QCOMPARE(node->db->path, cachePath(kUdid));
        // The new node is current and its contacts are listed.
        QCOMPARE(w->currentNode().dbNode, node);
        QCOMPARE(fixture::sortedNames(w->contactList().contacts), QStringList({"Ann Lee", "Bob", "Cy"}));
        QCOMPARE(w->form()->lbTotal->text(), QStringLiteral("Total:3"));
        QVERIFY(w->toolBarAction(MainActions::ActBackup)->isEnabled());
        QVERIFY(!w->toolBarAction(MainActions::ActNewContact)->isEnabled());

        m_mux->detach(kUdid);
        QTRY_VERIFY(iosNodes(*w).isEmpty());
        QVERIFY(w->currentNode().dbNode == nullptr);
        // The cache file stays on disk; nothing more was asked.
        QVERIFY(QFile::exists(cachePath(kUdid)));
        QCOMPARE(m_boxes.size(), 1);
    }

    void phoneAttachedBeforeStartIsLoaded()
    {
        fixture::makeDb(g_dataSaveDir().filePath("data/local.db"), {{"Lou", "", "", ""}});
        m_mux->attach(phone(kUdid, QStringLiteral("Early"), threeContacts()));
        auto w = window();
        QTRY_COMPARE(iosNodes(*w).size(), 1);
        QCOMPARE(iosNodes(*w).first()->name, QStringLiteral("Early"));
        QCOMPARE(w->mainTree().rootLocalDb.childs.size(), 1);
        QCOMPARE(notesShown(), 1);
    }

    void twoPhonesComeAndGoOneByOne()
    {
        auto w = window();
        QVERIFY(m_mux->waitForListeners(1));
        // A phone that gives no name still gets its node, with an empty name.
        auto nameless = phone(kOtherUdid, QString(), {SyncRecord::contact("9", {{"first name", "Zoe"}})});
        nameless->removeValue(QString(), QStringLiteral("DeviceName"));
        m_mux->attach(phone(kUdid, QStringLiteral("First"), threeContacts()));
        QTRY_COMPARE(iosNodes(*w).size(), 1);
        m_mux->attach(nameless);
        QTRY_COMPARE(iosNodes(*w).size(), 2);

        QCOMPARE(iosNodes(*w).at(1)->devId, kOtherUdid);
        QCOMPARE(iosNodes(*w).at(1)->name, QString());
        QCOMPARE(fixture::sortedNames(w->contactList().contacts), QStringList{"Zoe"});
        QCOMPARE(notesShown(), 2);
        QVERIFY(errorBoxes().isEmpty());

        m_mux->detach(kUdid);
        QTRY_COMPARE(iosNodes(*w).size(), 1);
        QCOMPARE(iosNodes(*w).first()->devId, kOtherUdid);
        // A removal of a phone without node changes nothing.
        QMetaObject::invokeMethod(w.get(), "iosDeviceDisconnected", Q_ARG(QString, kUdid));
        QCOMPARE(iosNodes(*w).size(), 1);
    }

    void failedLoadShowsTheErrorAndAddsNoNode_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("expected"); // part of the error box's text
        QTest::newRow("session refused") << "refuse"
                                         << "mobiledevice_sync_start_throw: start failed. return ";
        QTest::newRow("phone drops mid-load") << "drop"
                                              << "mobilesync_receive_changes failed. return ";
        QTest::newRow("phone gone") << "gone"
                                    << "open device failed. return ";
        // No name can be read either; the load's own error is what the user sees.
        QTest::newRow("passcode-locked phone") << "locked"
                                               << "";
    }

    void failedLoadShowsTheErrorAndAddsNoNode()
    {
        QFETCH(QString, failure);
        QFETCH(QString, expected);

        auto w = window();
        QVERIFY(m_mux->waitForListeners(1));
        auto iphone = phone(kUdid, QStringLiteral("Mine"), threeContacts());
        m_mux->attach(iphone);
        QTRY_COMPARE(iosNodes(*w).size(), 1);
        m_boxes.clear();

        // The phone arrives again, and this time its load fails: the earlier node is gone too.
        SimulatedContactSync::Script script;
        if (failure == "refuse") {
            script.startAnswer = SimulatedContactSync::StartAnswer::Refuse;
            script.startReason = QStringLiteral("Sync is off");
            iphone->contactSync().setScript(script);
        } else if (failure == "drop") {
            script.batchSize = 1;
            script.disconnectAfterBatches = 1;
            iphone->contactSync().setScript(script);
        } else if (failure == "locked") {
            iphone->setSessionRefusal(QStringLiteral("PasswordProtected"));
        } else {
            // Unplugged while the notes box is open.
            m_onBox = [&](const MessageBoxRequest &r) {
                if (r.text == kNotes)
                    m_mux->detach(kUdid);
            };
        }
        deliverArrival(*w, kUdid);
        QTRY_VERIFY(!errorBoxes().isEmpty());

        QCOMPARE(notesShown(), 1);
        QCOMPARE(errorBoxes().size(), 1);
        QVERIFY2(errorBoxes().first().text.contains(expected), qPrintable(errorBoxes().first().text));
        QCOMPARE(m_progressShows, 2);
        QVERIFY(iosNodes(*w).isEmpty());
        QVERIFY(w->currentNode().dbNode == nullptr);
    }

    void cacheFileThatCannotBeMadeKeepsThePreviousNode()
    {
        auto w = window();
        QVERIFY(m_mux->waitForListeners(1));
        auto iphone = phone(kUdid, QStringLiteral("Mine"), threeContacts());
        m_mux->attach(iphone);
        QTRY_COMPARE(iosNodes(*w).size(), 1);
        Tree::_DBItemNode *node = iosNodes(*w).first();
        m_boxes.clear();

        // A folder stands where the cache file belongs.
        QVERIFY(QFile::remove(cachePath(kUdid)));
        QVERIFY(QDir().mkpath(cachePath(kUdid) + QStringLiteral("/inside")));
        deliverArrival(*w, kUdid);
        QTRY_COMPARE(errorBoxes().size(), 1);

        QCOMPARE(notesShown(), 1);
        QCOMPARE(m_boxes.size(), 2);
        QCOMPARE(m_progressShows, 1);
        QCOMPARE(iphone->contactSync().sessionCount(), 1);
        QCOMPARE(iosNodes(*w), QList<Tree::_DBItemNode *>{node});
    }

    // An identifier that is not a plain file name never becomes a path: nothing outside the
    // cache folder is replaced, and the error box tells why.
    void identifierNamingAnotherPlaceIsRefused_data()
    {
        QTest::addColumn<QString>("devid");
        QTest::newRow("parent folder") << "../victim";
        QTest::newRow("absolute path") << g_dataSaveDir().filePath(QStringLiteral("victim"));
        QTest::newRow("dot-dot") << "..";
        QTest::newRow("empty") << "";
    }

    void identifierNamingAnotherPlaceIsRefused()
    {
        QFETCH(QString, devid);
        const QString victim = g_dataSaveDir().filePath(QStringLiteral("victim"));
        {
            QFile f(victim);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("the user's own file");
        }
        auto w = window();
        deliverArrival(*w, devid);
        QTRY_COMPARE(errorBoxes().size(), 1);
        QVERIFY(errorBoxes().first().text.contains(QStringLiteral("Invalid device identifier")));
        QCOMPARE(m_progressShows, 0);
        QVERIFY(iosNodes(*w).isEmpty());
        QFile f(victim);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("the user's own file"));
        f.close();
        QFile::remove(victim);
    }

    void reattachReplacesTheNode_data()
    {
        QTest::addColumn<bool>("unplugged"); // false: the second arrival comes without a removal
        QTest::newRow("unplugged and plugged in again") << true;
        QTest::newRow("arrival without removal") << false;
    }

    void reattachReplacesTheNode()
    {
        QFETCH(bool, unplugged);
        auto w = window();
        QVERIFY(m_mux->waitForListeners(1));
        auto iphone = phone(kUdid, QStringLiteral("Old name"), threeContacts());
        m_mux->attach(iphone);
        QTRY_COMPARE(iosNodes(*w).size(), 1);
        const QString oldDbPath = iosNodes(*w).first()->db->path;

        iphone->setDeviceName(QStringLiteral("New name"));
        iphone->contactSync().setRecords({SyncRecord::contact("7", {{"first name", "Dee"}})});
        if (unplugged) {
            m_mux->detach(kUdid);
            QTRY_VERIFY(iosNodes(*w).isEmpty());
            m_mux->attach(iphone);
        } else {
            deliverArrival(*w, kUdid);
        }
        QTRY_COMPARE(notesShown(), 2);
        QTRY_COMPARE(m_progressShows, 2);
        QTRY_COMPARE(iosNodes(*w).size(), 1);

        Tree::_DBItemNode *node = iosNodes(*w).first();
        QCOMPARE(node->name, QStringLiteral("New name"));
        QCOMPARE(node->db->path, oldDbPath);
        // The cache was built afresh: nothing of the first load is left in it.
        QCOMPARE(fixture::sortedNames(node->db->contacts(0, QString())), QStringList{"Dee"});
        QCOMPARE(fixture::sortedNames(w->contactList().contacts), QStringList{"Dee"});
        QVERIFY(errorBoxes().isEmpty());
    }

    void cancelledLoadAddsNoNode()
    {
        auto w = window();
        QVERIFY(m_mux->waitForListeners(1));
        auto iphone = phone(kUdid, QStringLiteral("Mine"), threeContacts());
        // Posted from the notes box, so it runs first in the progress dialog's loop, before any
        // report of the load.
        m_onBox = [&](const MessageBoxRequest &r) {
            if (r.text != kNotes)
                return;
            QTimer::singleShot(0, w.get(), [] {
                if (ProgressForm *form = visibleProgressForm())
                    QMetaObject::invokeMethod(form, "cancel");
            });
        };
        m_mux->attach(iphone);
        QTRY_COMPARE(m_progressShows, 1);
        QTRY_VERIFY(!visibleProgressForm());
        QCoreApplication::processEvents();

        QCOMPARE(boxTexts(), QStringList({kNotes, QStringLiteral("Are You Sure You Want To Cancel?")}));
        QVERIFY(iosNodes(*w).isEmpty());
        // The load itself is not interrupted: it ran to its end into the cache file.
        LocalDb cache(cachePath(kUdid), QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
        QCOMPARE(cache.contacts(0, QString()).size(), 3);
    }

    void removalDuringLoadRemovesNothing()
    {
        auto w = window();
        QVERIFY(m_mux->waitForListeners(1));
        auto iphone = phone(kUdid, QStringLiteral("Mine"), threeContacts());
        bool removedDuringLoad = false;
        m_onBox = [&](const MessageBoxRequest &r) {
            if (r.text != kNotes)
                return;
            QTimer::singleShot(0, w.get(), [&] {
                removedDuringLoad = visibleProgressForm() != nullptr;
                QMetaObject::invokeMethod(w.get(), "iosDeviceDisconnected", Q_ARG(QString, kUdid));
            });
        };
        m_mux->attach(iphone);
        QTRY_COMPARE(iosNodes(*w).size(), 1);
        QVERIFY(removedDuringLoad);
        QVERIFY(errorBoxes().isEmpty());
    }

    void arrivalDuringLoadIsLoadedAfterIt()
    {
        auto w = window();
        QVERIFY(m_mux->waitForListeners(1));
        auto iphone = phone(kUdid, QStringLiteral("Mine"), threeContacts());
        int sessionsAtSecondNotes = -1;
        m_onBox = [&](const MessageBoxRequest &r) {
            if (r.text != kNotes)
                return;
            if (notesShown() == 1) {
                // Reaches the window inside the first load's progress dialog.
                deliverArrival(*w, kUdid);
            } else {
                sessionsAtSecondNotes = iphone->contactSync().sessionCount();
            }
        };
        m_mux->attach(iphone);
        QTRY_COMPARE(notesShown(), 2);
        QTRY_COMPARE(m_progressShows, 2);
        QTRY_COMPARE(iosNodes(*w).size(), 1);
        QTest::qWait(50);

        // The second load began only after the first had ended; one node, no error.
        QCOMPARE(sessionsAtSecondNotes, 1);
        QCOMPARE(iphone->contactSync().sessionCount(), 2);
        QCOMPARE(iosNodes(*w).size(), 1);
        QCOMPARE(fixture::sortedNames(iosNodes(*w).first()->db->contacts(0, QString())),
                 QStringList({"Ann Lee", "Bob", "Cy"}));
        QVERIFY(errorBoxes().isEmpty());
    }

    void refusedSubscriptionWarnsAndTheWindowStillWorks()
    {
        fixture::makeDb(g_dataSaveDir().filePath("data/local.db"),
                        {{"Lou", "", "", ""}, {"Max", "", "", ""}});
        auto w = window([](MobiledeviceSubscribe &) { return false; });

        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes.first().icon, QMessageBox::Warning);
        QCOMPARE(m_boxes.first().text, kSubscriptionWarning);

        // Phones are not seen.
        m_mux->attach(phone(kUdid, QStringLiteral("Mine"), threeContacts()));
        QTest::qWait(200);
        QCOMPARE(m_mux->listenerCount(), 0);
        QVERIFY(iosNodes(*w).isEmpty());
        QCOMPARE(m_boxes.size(), 1);

        // Everything else works.
        AbsTreeItemModel::_ItemNode *local = w->mainTree().rootLocalDb.childs.value(0);
        QVERIFY(local);
        w->form()->treeMain->setCurrentIndex(w->mainTree().indexOfItemNode(local));
        QCOMPARE(fixture::sortedNames(w->contactList().contacts), QStringList({"Lou", "Max"}));
    }
};

TARNWICK_TEST_MAIN(TestIosAttach)
#include "tst_iosattach.moc"
