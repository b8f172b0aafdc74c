#include "BinaryPlistBytes.h"
#include "PeerPlist.h"
#include "PeerService.h"
#include "SimulatedPhoneFixture.h"
#include "TestMain.h"
#include "ios/IOSContactCombineRule.h"
#include "ios/IOSSyncToPCThread.h"
#include "model/EntityType.h"
#include "model/LocalDb.h"
#include "shell/kit/MessageBoxResponder.h"
#include "shell/kit/ProgressForm.h"

#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <initializer_list>
#include <limits>

#include <sqlite3.h>

using tarnwick::peers::PeerConnection;
using tarnwick::peers::PeerPlist;
using tarnwick::peers::PeerService;
using tarnwick::peers::SimulatedContactSync;
using tarnwick::peers::SimulatedIPhone;
using tarnwick::peers::SimulatedUsbmuxd;
using tarnwick::peers::SyncRecord;
using tarnwick::test::BinaryPlistBytes;

namespace {

const QString kUdid = QStringLiteral("00008101-000A1B2C3D4E5F60");

// Three contacts; Bob's phone comes before Bob, and one e-mail belongs to Ann and Cy at once.
QList<SyncRecord> sampleRecords()
{
    return {
        // Birthdays outside the 32-bit seconds around 2001: 1604 is the year a phone gives a
        // birthday without a year.
        SyncRecord::contact("1", {{"first name", "Ann"},
                                  {"last name", "Lee"},
                                  {"birthday", QDateTime(QDate(1925, 3, 4), QTime(0, 0), Qt::UTC)}}),
        SyncRecord::subRecord("3/2/0", "Phone Number", {"2"}, {{"value", "222"}, {"type", "mobile"}}),
        SyncRecord::subRecord("3/1/0", "Phone Number", {"1"}, {{"value", "111"}, {"type", "home"}}),
        SyncRecord::contact(
            "2", {{"first name", "Bob"}, {"birthday", QDateTime(QDate(1985, 7, 15), QTime(0, 0), Qt::UTC)}}),
        SyncRecord::subRecord("4/1/0", "Email Address", {"1", "3"},
                              {{"value", "team@x.org"}, {"type", "work"}}),
        SyncRecord::contact("3", {{"first name", "Cy"},
                                  {"company name", "ACME"},
                                  {"birthday", QDateTime(QDate(1604, 11, 2), QTime(0, 0), Qt::UTC)}}),
        SyncRecord::ofKind("g/1", "com.apple.contacts.Group", {{"name", "Friends"}}),
    };
}

// "name/srcId:kind=value@srcId,..." per contact, sorted, for comparing whole databases.
QStringList summary(LocalDb &db)
{
    QStringList out;
    for (const pim::_Contact &c : db.contacts(0, QString())) {
        QStringList parts;
        for (auto it = c.entities.begin(); it != c.entities.end(); ++it) {
            if (it.key() == pim::ENTITY_NAME)
                continue;
            for (const pim::Entity &e : it.value())
                parts << QStringLiteral("%1=%2@%3")
                             .arg(it.key())
                             .arg(e.values.value("data1").toString(), e.srcId);
        }
        parts.sort();
        out << c.fullName + QLatin1Char('/') + c.srcId + QLatin1Char(':') + parts.join(QLatin1Char(','));
    }
    out.sort();
    return out;
}

const QStringList kSampleSummary{
    "Ann Lee/1:3=111@3/1/0,4=team@x.org@4/1/0,6=1925-03-04T00:00:00@1",
    "Bob/2:3=222@3/2/0,6=1985-07-15T00:00:00@2",
    "Cy/3:10=ACME@3,4=team@x.org@4/1/0,6=1604-11-02T00:00:00@3",
};

using B = BinaryPlistBytes;

// An SDMessageProcessChanges frame with one contact record; its identifier, one field's name and that
// field's value are the given objects.
QByteArray changesFrame(const QByteArray &id, const QByteArray &field, const QByteArray &value, bool more)
{
    BinaryPlistBytes list;
    list.add(B::array({1, 2, 3, 9, 10}));
    list.add(B::ascii("SDMessageProcessChanges"));
    list.add(B::ascii("com.apple.Contacts"));
    list.add(B::dict({4}, {5}));
    list.add(id);
    list.add(B::dict({6, 7}, {11, 8}));
    list.add(B::ascii("com.apple.syncservices.RecordEntityName"));
    list.add(field);
    list.add(value);
    list.add(B::boolean(more));
    list.add(B::ascii("___EmptyParameterString___"));
    list.add(B::ascii("com.apple.contacts.Contact"));
    return list.frame();
}

QString withNul(const QString &before, const QString &after)
{
    return before + QChar(0) + after;
}

// A phone's sync service that sends one crafted frame: in place of its version offer, or after the
// session started and one good batch ("Bob") was acknowledged.
class HostileContactSync : public PeerService
{
public:
    HostileContactSync(QByteArray frame, bool inPlaceOfOffer)
        : m_frame(std::move(frame))
        , m_inPlaceOfOffer(inPlaceOfOffer)
    {}

    void serve(PeerConnection &c) override
    {
        if (!m_inPlaceOfOffer) {
            const auto send = [&c](std::initializer_list<plist_t> items) {
                return c.sendPlist(PeerPlist::array(items).get());
            };
            if (!send({PeerPlist::string("DLMessageVersionExchange"), plist_new_uint(400),
                       plist_new_uint(0)}) ||
                !c.receivePlist() || !send({PeerPlist::string("DLMessageDeviceReady")}) ||
                !c.receivePlist() ||
                !send({PeerPlist::string("SDMessageSyncDataClassWithComputer"),
                       PeerPlist::string("com.apple.Contacts"), PeerPlist::string("a"),
                       PeerPlist::string("b"), PeerPlist::string("SDSyncTypeSlow"), plist_new_uint(106)}) ||
                !c.receivePlist())
                return;
            if (!c.writeAll(changesFrame(B::ascii("2"), B::ascii("first name"), B::ascii("Bob"), true)) ||
                !c.receivePlist())
                return;
        }
        c.writeAll(m_frame);
        // Whatever the computer says now, until it hangs up.
        while (c.receivePlist()) {
        }
    }

private:
    const QByteArray m_frame;
    const bool m_inPlaceOfOffer;
};

} // namespace

class TestIOSSyncToPC : public QObject, private tarnwick::peers::SimulatedPhoneFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void loadsEveryRecord_data();
    void loadsEveryRecord();
    void emptyPhone();
    void refusedSession();
    void disconnectMidLoadRollsBack();
    void unknownDevice();
    void cancelLetsTheLoadFinish();
    void databaseFailureRollsBack();
    void subRecordOfUnsentContactIsReported();
    void hostileMessageFailsTheLoad_data();
    void hostileMessageFailsTheLoad();

private:
    // Runs one load the way the shell does; returns the dialog's result and collects the boxes.
    // With `cancel`, the user presses Cancel as soon as the dialog runs and confirms it.
    int load(bool cancel = false);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<LocalDb> m_db;
    QStringList m_boxes;
    bool m_canceled = false;
    // What the dialog showed when it ended.
    QString m_status;
    int m_progress = -1;
};

void TestIOSSyncToPC::init()
{
    plugInPhone(kUdid);
    if (QTest::currentTestFailed())
        return;
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_db = std::make_unique<LocalDb>(m_dir->filePath(kUdid + QStringLiteral(".db")),
                                     QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule));
    m_db->create();
    m_boxes.clear();
}

void TestIOSSyncToPC::cleanup()
{
    m_db.reset();
    m_dir.reset();
    unplugAll();
}

int TestIOSSyncToPC::load(bool cancel)
{
    MessageBoxResponder::Scope responder([this](const MessageBoxRequest &r) {
        m_boxes << r.text;
        return int(r.buttons & QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::Ok);
    });
    ProgressForm form(QStringLiteral("Loading"));
    IOSSyncToPCThread thread(kUdid, m_db.get(), &form);
    if (cancel)
        QMetaObject::invokeMethod(&form, "cancel", Qt::QueuedConnection);
    thread.start(QThread::InheritPriority);
    const int result = form.exec();
    thread.wait();
    m_canceled = form.canceled;
    const auto *status = form.findChild<QLabel *>(QStringLiteral("lbStatus"));
    const auto *bar = form.findChild<QProgressBar *>();
    m_status = status ? status->text() : QString();
    m_progress = bar ? bar->value() : -1;
    return result;
}

void TestIOSSyncToPC::loadsEveryRecord_data()
{
    QTest::addColumn<int>("deviceLinkVersion");
    QTest::addColumn<QList<int>>("batchSizes");

    for (int version : {300, 400}) {
        QTest::addRow("DeviceLink %d, one batch", version) << version << QList<int>{100};
        QTest::addRow("DeviceLink %d, batches of two", version) << version << QList<int>{2};
        // Every sub-record in the first batch, before any contact of later batches.
        QTest::addRow("DeviceLink %d, batches of one", version) << version << QList<int>{1};
        QTest::addRow("DeviceLink %d, uneven batches", version) << version << QList<int>{3, 1, 2};
    }
}

void TestIOSSyncToPC::loadsEveryRecord()
{
    QFETCH(int, deviceLinkVersion);
    QFETCH(QList<int>, batchSizes);

    SimulatedContactSync &sync = m_phone->contactSync();
    SimulatedContactSync::Script script;
    script.deviceLinkVersion = quint64(deviceLinkVersion);
    script.batchSizes = batchSizes;
    sync.setScript(script);
    sync.setRecords(sampleRecords());

    QCOMPARE(load(), 1);
    QVERIFY(!m_canceled);
    QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join('\n')));
    QCOMPARE(summary(*m_db), kSampleSummary);
    // One report at the start, and none after it.
    QCOMPARE(m_status, QCoreApplication::translate("IOSSyncToPCThread", "IDS_RECEIVING_CONTACTS_FROM_IOS"));
    QCOMPARE(m_progress, 99);

    // The session as the phone saw it. The load ends once the computer has sent the last
    // acknowledgement; the phone reads it on its own thread, maybe later.
    QVERIFY(sync.waitForSessionsToEnd());
    QCOMPARE(sync.confirmedDeviceLinkVersion(), quint64(deviceLinkVersion));
    QCOMPARE(sync.requestedDataClass(), QStringLiteral("com.apple.Contacts"));
    QCOMPARE(sync.deviceAnchor(), QStringLiteral("---"));
    QVERIFY(QDateTime::fromString(sync.computerAnchor(), Qt::ISODate).isValid());
    QCOMPARE(sync.computerDataClassVersion(), quint64(106));
    QCOMPARE(sync.acknowledgementCount(), sync.batches().size());
    QVERIFY(sync.messages().contains(QStringLiteral("SDMessageGetAllRecordsFromDevice")));
    // Tethered sync of contacts was switched on before the session.
    const QVariant tethered =
        m_phone->value(QStringLiteral("com.apple.mobile.tethered_sync"), QStringLiteral("Contacts"));
    QCOMPARE(tethered.toMap().value(QStringLiteral("DisableTethered")), QVariant(false));
}

void TestIOSSyncToPC::emptyPhone()
{
    m_phone->contactSync().setRecords({});
    QCOMPARE(load(), 1);
    QVERIFY(m_boxes.isEmpty());
    QVERIFY(m_db->contacts(0, QString()).isEmpty());
}

void TestIOSSyncToPC::refusedSession()
{
    m_phone->contactSync().setRecords(sampleRecords());
    SimulatedContactSync::Script script;
    script.startAnswer = SimulatedContactSync::StartAnswer::Refuse;
    script.startReason = QStringLiteral("Sync is off");
    m_phone->contactSync().setScript(script);
    QCOMPARE(load(), 0);
    QVERIFY(m_canceled);
    QCOMPARE(m_boxes.size(), 1);
    QVERIFY2(m_boxes.first().contains(QStringLiteral("mobiledevice_sync_start_throw: start failed. return ")),
             qPrintable(m_boxes.first()));
    QVERIFY2(m_boxes.first().contains(QStringLiteral("Sync is off")), qPrintable(m_boxes.first()));
    QVERIFY(m_db->contacts(0, QString()).isEmpty());
}

void TestIOSSyncToPC::disconnectMidLoadRollsBack()
{
    SimulatedContactSync &sync = m_phone->contactSync();
    sync.setRecords(sampleRecords());
    SimulatedContactSync::Script script;
    script.batchSize = 2;
    script.disconnectAfterBatches = 1;
    sync.setScript(script);
    QCOMPARE(load(), 0);
    QCOMPARE(m_boxes.size(), 1);
    QVERIFY2(m_boxes.first().contains(QStringLiteral("mobilesync_receive_changes failed. return ")),
             qPrintable(m_boxes.first()));
    // The first batch had been written inside the edit; nothing of it stays.
    QVERIFY(m_db->contacts(0, QString()).isEmpty());

    // The same database loads cleanly afterwards.
    script.disconnectAfterBatches = -1;
    sync.setScript(script);
    m_boxes.clear();
    QCOMPARE(load(), 1);
    QCOMPARE(summary(*m_db), kSampleSummary);
}

void TestIOSSyncToPC::unknownDevice()
{
    m_mux->detach(kUdid);
    QCOMPARE(load(), 0);
    QCOMPARE(m_boxes.size(), 1);
    QVERIFY2(m_boxes.first().contains(
                 QStringLiteral("mobiledevice_sync_start_throw: open device failed. return ")),
             qPrintable(m_boxes.first()));
}

void TestIOSSyncToPC::cancelLetsTheLoadFinish()
{
    SimulatedContactSync &sync = m_phone->contactSync();
    sync.setRecords(sampleRecords());
    SimulatedContactSync::Script script;
    script.batchSize = 1;
    sync.setScript(script);
    QCOMPARE(load(true), 0);
    QVERIFY(m_canceled);
    QCOMPARE(m_boxes.size(), 1); // the question, and no error
    // The load never looks at the flag: it ran to its end and committed; the shell ignores it.
    QCOMPARE(summary(*m_db), kSampleSummary);
}

void TestIOSSyncToPC::databaseFailureRollsBack()
{
    m_phone->contactSync().setRecords(sampleRecords());
    SimulatedContactSync::Script script;
    script.batchSize = 2;
    m_phone->contactSync().setScript(script);
    // Another connection holds the write lock for the whole load: the first row cannot be written.
    sqlite3 *other = nullptr;
    QCOMPARE(sqlite3_open(m_db->path.toUtf8().constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "begin immediate", nullptr, nullptr, nullptr), SQLITE_OK);
    const int result = load();
    sqlite3_exec(other, "rollback", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    QCOMPARE(result, 0);
    QCOMPARE(m_boxes.size(), 1);
    // Said as such, once the load has waited for the other writer in vain.
    QVERIFY2(m_boxes.first().contains(
                 QStringLiteral("IDS_DATABASE_BUSY_%1").arg(QFileInfo(m_db->path).fileName())),
             qPrintable(m_boxes.first()));
    QVERIFY(m_db->contacts(0, QString()).isEmpty());
}

void TestIOSSyncToPC::subRecordOfUnsentContactIsReported()
{
    QList<SyncRecord> records = sampleRecords();
    records << SyncRecord::subRecord("3/9/0", "Phone Number", {"9"}, {{"value", "999"}});
    m_phone->contactSync().setRecords(records);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("did not send.*\\b9\\b")));
    QCOMPARE(load(), 1);
    QCOMPARE(summary(*m_db), kSampleSummary);
}

void TestIOSSyncToPC::hostileMessageFailsTheLoad_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("inPlaceOfOffer");
    // What the one error box says: the failed step, then why the message was refused.
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("reason");

    const QString receiving = QStringLiteral("mobilesync_receive_changes failed. return -2.");
    QTest::newRow("record identifier holding U+0000")
        << changesFrame(B::utf16(withNul("1", "x")), B::ascii("first name"), B::ascii("Ann"), false) << false
        << receiving << "NUL";
    QTest::newRow("field name holding U+0000")
        << changesFrame(B::ascii("1"), B::utf16(withNul("first", "name")), B::ascii("Ann"), false) << false
        << receiving << "NUL";
    // Copied, such a name would keep its length but not its text: bytes after the copy's end would
    // become the stored name.
    QTest::newRow("name holding U+0000") << changesFrame(B::ascii("1"), B::ascii("first name"),
                                                         B::utf16(withNul("Ann", QString(40, 'x'))), false)
                                         << false << receiving << "NUL";
    QTest::newRow("birthday NaN") << changesFrame(B::ascii("1"), B::ascii("birthday"),
                                                  B::date(std::numeric_limits<double>::quiet_NaN()), false)
                                  << false << receiving << "date";
    QTest::newRow("birthday 1e300") << changesFrame(B::ascii("1"), B::ascii("birthday"), B::date(1e300),
                                                    false)
                                    << false << receiving << "date";
    const int million = 1000 * 1000;
    QTest::newRow("a million nested arrays")
        << B::framed("<?xml version=\"1.0\"?><plist version=\"1.0\">" +
                     QByteArray("<array>").repeated(million) + QByteArray("</array>").repeated(million) +
                     "</plist>")
        << false << receiving << "nested";
    BinaryPlistBytes offer;
    offer.add(B::array({1, 2, 3}));
    offer.add(B::utf16(withNul("DLMessageVersionExchange", "x")));
    offer.add(B::integer(400));
    offer.add(B::integer(0));
    QTest::newRow("version offer holding U+0000")
        << offer.frame() << true << QStringLiteral("start service failed. return -2.") << QString();
}

// A message that would crash or garble the load is refused before it is parsed: the load fails with
// a clear error and what it stored so far is rolled back.
void TestIOSSyncToPC::hostileMessageFailsTheLoad()
{
    QFETCH(QByteArray, frame);
    QFETCH(bool, inPlaceOfOffer);
    QFETCH(QString, step);
    QFETCH(QString, reason);

    m_phone->registerService(QStringLiteral("com.apple.mobilesync"),
                             [=] { return std::make_unique<HostileContactSync>(frame, inPlaceOfOffer); });
    QCOMPARE(load(), 0);
    QCOMPARE(m_boxes.size(), 1);
    QVERIFY2(m_boxes.first().contains(step), qPrintable(m_boxes.first()));
    QVERIFY2(m_boxes.first().contains(reason), qPrintable(m_boxes.first()));
    QVERIFY(m_db->contacts(0, QString()).isEmpty());
}

TARNWICK_TEST_MAIN(TestIOSSyncToPC)
#include "tst_iossynctopc.moc"
