#include "ios/IOSSendChangesThread.h"
#include "model/EntityType.h"
#include "model/LocalDb.h"

#include "CachedPhoneFixture.h"
#include "EntityFixtures.h"
#include "RecordingProgressSink.h"
#include "TestMain.h"

#include <QTemporaryDir>

using tarnwick::peers::SimulatedContactSync;
using tarnwick::peers::SyncRecord;
using tarnwick::test::parseEntry;

namespace {

const QString kUdid = QStringLiteral("00008101-000A1B2C3D4E5F62");

using Changes = QList<ContactChanges::_ChangeData>;

} // namespace

class TestIOSSendChanges : public QObject, private tarnwick::test::CachedPhoneFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void newContactInTwoPasses();
    void deletesContacts();
    void deletedNoteResendsContact();
    void deletedPhoneOnly();
    void nothingToSend();
    void failures_data();
    void failures();
    void unnamedNewContactIsAFailure();

private:
    // Stores a contact in the cache as the main window would before the thread runs; returns it as
    // read back, with the change list of a new contact holding every entry as added.
    pim::_Contact store(const QString &srcId, const QStringList &entries, Changes *added = nullptr);
    QString run(pim::_Contact *contact, const Changes &changes, const QList<pim::_Contact> &deleted = {});
};

void TestIOSSendChanges::init()
{
    plugInWithCache(kUdid);
}

void TestIOSSendChanges::cleanup()
{
    unplugAndCheck();
}

pim::_Contact TestIOSSendChanges::store(const QString &srcId, const QStringList &entries, Changes *added)
{
    pim::_Contact c(0, srcId, QStringLiteral("Ann Lee"));
    m_db->beginEdit();
    m_db->insertContactBase(c);
    for (const QString &text : entries) {
        auto [type, e] = parseEntry(text);
        m_db->insertEntity(c.id, type, e);
        if (added)
            added->append(ContactChanges::_ChangeData(type, ContactChanges::ACTION_ADDED, e));
    }
    m_db->endEdit(true);
    return m_db->contact(c.id);
}

QString TestIOSSendChanges::run(pim::_Contact *contact, const Changes &changes,
                                const QList<pim::_Contact> &deleted)
{
    RecordingProgressSink sink;
    IOSSendChangesThread thread(&sink, kUdid, m_db.get(), contact, changes, deleted, nullptr);
    thread.start();
    thread.wait();
    const QStringList reports = sink.reports();
    if (reports.value(0) != QLatin1String("progress|IDS_SENGING_CHANGES_TO_DEVICE|99|") ||
        reports.size() != 2)
        return QStringLiteral("unexpected reports: ") + reports.join(QLatin1Char(';'));
    return sink.outcome();
}

void TestIOSSendChanges::newContactInTwoPasses()
{
    Changes changes;
    pim::_Contact c =
        store(QString(), {"1|data2=Ann|data3=Lee|data1=Ann Lee", "3|data1=555|data2=2"}, &changes);
    const quint64 phoneId = changes.at(1).entity.id;
    QCOMPARE(run(&c, changes), QStringLiteral("succeed|"));

    SimulatedContactSync &sync = m_phone->contactSync();
    const QList<QList<SyncRecord>> sent = sync.receivedBatches();
    QCOMPARE(sent.size(), 2);
    QCOMPARE(sent.at(0).size(), 1);
    QCOMPARE(sent.at(0).first().id, QStringLiteral("-%1").arg(c.id));
    const QString assigned = sync.remappings().first().value(QStringLiteral("-%1").arg(c.id)).toString();
    QVERIFY(!assigned.isEmpty());
    QCOMPARE(c.srcId, assigned);
    QCOMPARE(m_db->contact(c.id).srcId, assigned);
    QCOMPARE(sent.at(1).size(), 1);
    QCOMPARE(sent.at(1).first().id, QStringLiteral("3/%1/-%2").arg(assigned).arg(phoneId));
    QCOMPARE(sent.at(1).first().fields.value("contact").toList(), QVariantList{assigned});
    QCOMPARE(m_db->contact(c.id).entities.value(pim::ENTITY_PHONE).first().srcId,
             QStringLiteral("3/%1/0").arg(assigned));
    QCOMPARE(sync.finishedSessions(), 1);
    QCOMPARE(sync.records().size(), 2);
}

void TestIOSSendChanges::deletesContacts()
{
    SimulatedContactSync &sync = m_phone->contactSync();
    sync.setRecords({SyncRecord::contact("541", {{"first name", "Ann"}}),
                     SyncRecord::subRecord("3/541/0", "Phone Number", {"541"}, {{"value", "1"}}),
                     SyncRecord::contact("542", {{"first name", "Bob"}}),
                     SyncRecord::contact("543", {{"first name", "Cy"}})});
    const QList<pim::_Contact> gone{pim::_Contact(1, "541", "Ann"), pim::_Contact(2, "542", "Bob"),
                                    pim::_Contact(3, "542", "Bob again")};
    QCOMPARE(run(nullptr, {}, gone), QStringLiteral("succeed|"));
    const QList<QList<SyncRecord>> sent = sync.receivedBatches();
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent.first(), (QList<SyncRecord>{SyncRecord::deletion("541"), SyncRecord::deletion("542")}));
    QCOMPARE(sync.finishedSessions(), 1);
    // The phone dropped Ann's phone number with her.
    QCOMPARE(sync.records().size(), 1);
    QCOMPARE(sync.records().first().id, QStringLiteral("543"));
}

void TestIOSSendChanges::deletedNoteResendsContact()
{
    m_phone->contactSync().setRecords(
        {SyncRecord::contact("541", {{"first name", "Ann"}, {"notes", "old"}})});
    pim::_Contact c = store(QStringLiteral("541"), {"1|data2=Ann|data1=Ann"});
    pim::Entity note = parseEntry("9|data1=old").second;
    note.id = 77;
    const Changes changes{
        ContactChanges::_ChangeData(pim::ENTITY_NOTE, ContactChanges::ACTION_DELETED, note)};
    QCOMPARE(run(&c, changes), QStringLiteral("succeed|"));
    const QList<QList<SyncRecord>> sent = m_phone->contactSync().receivedBatches();
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent.first().first().id, QStringLiteral("541"));
    QVERIFY(!sent.first().first().fields.contains("notes"));
    QVERIFY(!sent.first().first().deleted);
}

void TestIOSSendChanges::deletedPhoneOnly()
{
    m_phone->contactSync().setRecords(
        {SyncRecord::contact("541", {{"first name", "Ann"}}),
         SyncRecord::subRecord("3/541/0", "Phone Number", {"541"}, {{"value", "1"}})});
    pim::_Contact c = store(QStringLiteral("541"), {"1|data2=Ann|data1=Ann"});
    pim::Entity phone = parseEntry("3|data1=1|data2=2", QStringLiteral("3/541/0")).second;
    phone.id = 56;
    QCOMPARE(run(&c, {ContactChanges::_ChangeData(pim::ENTITY_PHONE, ContactChanges::ACTION_DELETED, phone)}),
             QStringLiteral("succeed|"));
    const QList<QList<SyncRecord>> sent = m_phone->contactSync().receivedBatches();
    QCOMPARE(sent, (QList<QList<SyncRecord>>{{SyncRecord::deletion("3/541/0")}}));
    QCOMPARE(m_phone->contactSync().finishedSessions(), 1);
}

void TestIOSSendChanges::nothingToSend()
{
    QCOMPARE(run(nullptr, {}), QStringLiteral("succeed|"));
    SimulatedContactSync &sync = m_phone->contactSync();
    QCOMPARE(sync.sessionCount(), 1);
    QVERIFY(sync.receivedBatches().isEmpty());
    QVERIFY(!sync.messages().contains(QStringLiteral("SDMessageFinishSessionOnDevice")));
}

void TestIOSSendChanges::failures_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("text");
    QTest::newRow("session refused") << 0 << "error|mobiledevice_sync_start_throw: start failed. return ";
    QTest::newRow("phone gone at the first send") << 1 << "error|mobilesync_";
    QTest::newRow("commit failed at the finish") << 2 << "error|mobilesync_finish failed. return ";
    QTest::newRow("phone unplugged") << 3
                                     << "error|mobiledevice_sync_start_throw: open device failed. return ";
}

void TestIOSSendChanges::failures()
{
    QFETCH(int, fault);
    SimulatedContactSync &sync = m_phone->contactSync();
    SimulatedContactSync::Script script = sync.script();
    switch (fault) {
    case 0:
        script.startAnswer = SimulatedContactSync::StartAnswer::Refuse;
        script.startReason = QStringLiteral("Sync is off");
        break;
    case 1:
        script.disconnectAtChangesBatch = 1;
        break;
    case 2:
        script.finishAnswer = SimulatedContactSync::FinishAnswer::CommitFailed;
        break;
    default:
        break;
    }
    sync.setScript(script);
    if (fault == 3)
        unplugAll();
    Changes changes;
    pim::_Contact c = store(QString(), {"1|data2=Ann|data1=Ann", "3|data1=555|data2=2"}, &changes);
    const QString outcome = run(&c, changes);
    QFETCH(QString, text);
    QVERIFY2(outcome.startsWith(text), qPrintable(outcome));
    if (fault != 2)
        QVERIFY(m_db->contact(c.id).srcId.isEmpty());
}

void TestIOSSendChanges::unnamedNewContactIsAFailure()
{
    Changes changes;
    pim::_Contact c = store(QString(), {"1|data2=Ann|data1=Ann", "3|data1=555|data2=2"}, &changes);
    SimulatedContactSync::Script script = m_phone->contactSync().script();
    script.omitFromRemapping = QStringList{QStringLiteral("-%1").arg(c.id)};
    m_phone->contactSync().setScript(script);
    QCOMPARE(run(&c, changes),
             QStringLiteral("error|The iPhone gave no identifier to the new record -%1.").arg(c.id));
    QCOMPARE(m_phone->contactSync().receivedBatches().size(), 1);
    QVERIFY(c.srcId.isEmpty());
}

TARNWICK_TEST_MAIN(TestIOSSendChanges)
#include "tst_iossendchanges.moc"
