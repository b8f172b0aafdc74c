#include "SimulatedPhoneFixture.h"
#include "TestMain.h"
#include "ios/IOSContactCombineRule.h"
#include "ios/IOSSyncToPCThread.h"
#include "model/EntityType.h"
#include "model/LocalDb.h"
#include "shell/kit/MessageBoxResponder.h"
#include "shell/kit/ProgressForm.h"

#include <QLabel>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sqlite3.h>

using tarnwick::peers::SimulatedContactSync;
using tarnwick::peers::SimulatedIPhone;
using tarnwick::peers::SimulatedUsbmuxd;
using tarnwick::peers::SyncRecord;

namespace {

const QString kUdid = QStringLiteral("00008101-000A1B2C3D4E5F60");

// Three contacts; Bob's phone comes before Bob, and one e-mail belongs to Ann and Cy at once.
QList<SyncRecord> sampleRecords()
{
    return {
        SyncRecord::contact("1", {{"first name", "Ann"}, {"last name", "Lee"}}),
        SyncRecord::subRecord("3/2/0", "Phone Number", {"2"}, {{"value", "222"}, {"type", "mobile"}}),
        SyncRecord::subRecord("3/1/0", "Phone Number", {"1"}, {{"value", "111"}, {"type", "home"}}),
        SyncRecord::contact(
            "2", {{"first name", "Bob"}, {"birthday", QDateTime(QDate(1985, 7, 15), QTime(0, 0), Qt::UTC)}}),
        SyncRecord::subRecord("4/1/0", "Email Address", {"1", "3"},
                              {{"value", "team@x.org"}, {"type", "work"}}),
        SyncRecord::contact("3", {{"first name", "Cy"}, {"company name", "ACME"}}),
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
    "Ann Lee/1:3=111@3/1/0,4=team@x.org@4/1/0",
    "Bob/2:3=222@3/2/0,6=1985-07-15T00:00:00@2",
    "Cy/3:10=ACME@3,4=team@x.org@4/1/0",
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

    // The session as the phone saw it.
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
    QVERIFY2(m_boxes.first().contains(QStringLiteral("locked"), Qt::CaseInsensitive),
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

TARNWICK_TEST_MAIN(TestIOSSyncToPC)
#include "tst_iossynctopc.moc"
