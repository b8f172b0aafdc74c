#include "ios/IOSSyncToDeviceThread.h"
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

const QString kUdid = QStringLiteral("00008101-000A1B2C3D4E5F61");

pim::_Contact person(int i, const QStringList &more = {})
{
    const QString first = QStringLiteral("First%1").arg(i);
    pim::_Contact c(0, QString(), first + QStringLiteral(" Last"));
    c.entities[pim::ENTITY_NAME] = {
        parseEntry("1|data2=" + first + "|data3=Last|data1=" + c.fullName).second};
    c.entities[pim::ENTITY_PHONE] = {parseEntry(QStringLiteral("3|data1=555 %1|data2=2").arg(i)).second};
    for (const QString &text : more) {
        auto [type, e] = parseEntry(text);
        c.entities[type].append(e);
    }
    return c;
}

QList<pim::_Contact> people(int count)
{
    QList<pim::_Contact> out;
    for (int i = 1; i <= count; ++i)
        out << person(i);
    return out;
}

// Sets the cancel flag as soon as the given progress detail is reported.
class CancelAt : public RecordingProgressSink
{
public:
    explicit CancelAt(QString detail)
        : m_detail(std::move(detail))
    {}
    bool invokeUpdateProgress(QString status, int curProgress, QString progressText) override
    {
        if (progressText == m_detail)
            canceled = true;
        return RecordingProgressSink::invokeUpdateProgress(status, curProgress, progressText);
    }

private:
    QString m_detail;
};

} // namespace

class TestIOSSyncToDevice : public QObject, private tarnwick::test::CachedPhoneFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void transfersInBatches_data();
    void transfersInBatches();
    void emptyListReportsZero();
    void mergedContactsCounted();
    void addsToKnownContact();
    void cancelKeepsEarlierBatches();
    void sendFailureRollsBackBatch();
    void unnamedNewContactIsAFailure();
    void newContactWithoutNameEntryArrivesWhole_data();
    void newContactWithoutNameEntryArrivesWhole();
    void oldBirthdaysSentExactly();
    void repeatedNamesSendEveryEntry_data();
    void repeatedNamesSendEveryEntry();

private:
    void run(const QList<pim::_Contact> &contacts, RecordingProgressSink &sink);
    QList<SyncRecord> phoneRecords(const QString &kind) const;
};

void TestIOSSyncToDevice::init()
{
    plugInWithCache(kUdid);
}

void TestIOSSyncToDevice::cleanup()
{
    unplugAndCheck();
}

void TestIOSSyncToDevice::run(const QList<pim::_Contact> &contacts, RecordingProgressSink &sink)
{
    IOSSyncToDeviceThread thread(kUdid, m_db.get(), contacts, &sink);
    thread.start();
    QVERIFY(thread.wait(60000));
}

QList<SyncRecord> TestIOSSyncToDevice::phoneRecords(const QString &kind) const
{
    QList<SyncRecord> out;
    for (const SyncRecord &r : m_phone->contactSync().records())
        if (r.kind() == kind)
            out << r;
    return out;
}

void TestIOSSyncToDevice::transfersInBatches_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("sessions");
    QTest::addColumn<QString>("firstStep");

    QTest::newRow("25 contacts") << 25 << 3 << "4|Contacts:1/25";
    QTest::newRow("3 contacts") << 3 << 1 << "33|Contacts:1/3";
    QTest::newRow("exactly ten") << 10 << 1 << "10|Contacts:1/10";
}

void TestIOSSyncToDevice::transfersInBatches()
{
    QFETCH(int, count);
    RecordingProgressSink sink;
    run(people(count), sink);

    QCOMPARE(sink.outcome(), QStringLiteral("succeed|IDS_SUC_TRANSFER_%1_CONTACTS_TO_IOS").arg(count));
    const QStringList reports = sink.reports();
    QCOMPARE(reports.first(), QStringLiteral("progress|IDS_MERGING_CONTACTS|0|"));
    QTEST(reports.at(1).section('|', 2), "firstStep");
    QCOMPARE(reports.at(reports.size() - 2),
             QStringLiteral("progress|IDS_MERGING_CONTACTS|100|Contacts:%1/%1").arg(count));

    SimulatedContactSync &sync = m_phone->contactSync();
    QTEST(sync.sessionCount(), "sessions");
    QCOMPARE(sync.finishedSessions(), sync.sessionCount());
    // Per session one send of contact records, then one of sub-records.
    QCOMPARE(sync.receivedBatches().size(), 2 * sync.sessionCount());
    QCOMPARE(phoneRecords(SyncRecord::contactKind).size(), count);
    QCOMPARE(phoneRecords(QStringLiteral("com.apple.contacts.Phone Number")).size(), count);

    // The cache names every record by the identifier the phone gave it.
    QSet<QString> phoneIds;
    for (const SyncRecord &r : sync.records())
        phoneIds.insert(r.id);
    const QList<pim::_Contact> cached = m_db->contacts(0, QString());
    QCOMPARE(cached.size(), count);
    for (const pim::_Contact &c : cached) {
        QVERIFY2(phoneIds.contains(c.srcId), qPrintable(c.fullName));
        const pim::Entity phone = c.entities.value(pim::ENTITY_PHONE).first();
        QVERIFY2(phoneIds.contains(phone.srcId), qPrintable(phone.srcId));
        QVERIFY(phone.srcId.startsWith(QStringLiteral("3/%1/").arg(c.srcId)));
    }
}

void TestIOSSyncToDevice::emptyListReportsZero()
{
    RecordingProgressSink sink;
    run({}, sink);
    QCOMPARE(sink.reports(),
             QStringList({"progress|IDS_MERGING_CONTACTS|0|", "succeed|IDS_SUC_TRANSFER_0_CONTACTS_TO_IOS"}));
    QCOMPARE(m_phone->contactSync().sessionCount(), 0);
}

void TestIOSSyncToDevice::mergedContactsCounted()
{
    // Three of the people are in the cache (and on the phone) already, exactly as sent.
    QList<SyncRecord> onPhone;
    m_db->beginEdit();
    for (int i : {2, 12, 22}) {
        pim::_Contact c = person(i);
        pim::_Contact out;
        bool existed = false;
        m_db->combineContact(c, out, existed);
        m_db->updateContactBaseSrcId(out.id, QString::number(900 + i));
        onPhone << SyncRecord::contact(QString::number(900 + i), {{"first name", c.fullName}});
    }
    m_db->endEdit(true);
    m_phone->contactSync().setRecords(onPhone);

    RecordingProgressSink sink;
    run(people(25), sink);
    QCOMPARE(sink.outcome(), QStringLiteral("succeed|IDS_SUC_TRANSFER_22_CONTACTS_TO_IOS_MERGED_3"));
    QCOMPARE(m_db->contacts(0, QString()).size(), 25);
}

void TestIOSSyncToDevice::addsToKnownContact()
{
    m_phone->contactSync().setRecords(
        {SyncRecord::contact("541", {{"first name", "First1"}, {"last name", "Last"}})});
    pim::_Contact known = person(1);
    known.entities.remove(pim::ENTITY_PHONE);
    pim::_Contact out;
    bool existed = false;
    m_db->beginEdit();
    m_db->combineContact(known, out, existed);
    m_db->updateContactBaseSrcId(out.id, QStringLiteral("541"));
    m_db->endEdit(true);

    RecordingProgressSink sink;
    run({person(1)}, sink);
    QCOMPARE(sink.outcome(), QStringLiteral("succeed|IDS_SUC_TRANSFER_0_CONTACTS_TO_IOS_MERGED_1"));
    const QList<QList<SyncRecord>> sent = m_phone->contactSync().receivedBatches();
    QCOMPARE(sent.size(), 1); // no contact record: only the new phone number
    QCOMPARE(sent.first().size(), 1);
    const pim::Entity phone = m_db->contact(out.id).entities.value(pim::ENTITY_PHONE).first();
    QCOMPARE(sent.first().first().id, QStringLiteral("3/541/-%1").arg(phone.id));
    QCOMPARE(sent.first().first().fields.value("contact").toList(), QVariantList{"541"});
    QCOMPARE(phone.srcId, QStringLiteral("3/541/0"));
}

void TestIOSSyncToDevice::cancelKeepsEarlierBatches()
{
    CancelAt sink(QStringLiteral("Contacts:11/25"));
    run(people(25), sink);
    // A cancel reports nothing: the dialog has closed already.
    QVERIFY(sink.outcome().isEmpty());
    const QList<pim::_Contact> cached = m_db->contacts(0, QString());
    QCOMPARE(cached.size(), 10);
    for (const pim::_Contact &c : cached)
        QVERIFY(!c.srcId.isEmpty());
    QCOMPARE(m_phone->contactSync().sessionCount(), 1);
}

void TestIOSSyncToDevice::sendFailureRollsBackBatch()
{
    // The phone goes away when the sub-records of the first batch arrive.
    SimulatedContactSync::Script script = m_phone->contactSync().script();
    script.disconnectAtChangesBatch = 2;
    m_phone->contactSync().setScript(script);
    RecordingProgressSink sink;
    run(people(5), sink);
    QVERIFY2(sink.outcome().startsWith(QLatin1String("error|mobilesync_")), qPrintable(sink.outcome()));
    // The contact identifiers written before the failure went with the batch.
    QVERIFY(m_db->contacts(0, QString()).isEmpty());
}

void TestIOSSyncToDevice::unnamedNewContactIsAFailure()
{
    RecordingProgressSink sink;
    pim::_Contact first = person(1);
    SimulatedContactSync::Script script = m_phone->contactSync().script();
    script.omitFromRemapping = QStringList{QStringLiteral("-1")};
    m_phone->contactSync().setScript(script);
    run({first, person(2)}, sink);
    QCOMPARE(sink.outcome(), QStringLiteral("error|The iPhone gave no identifier to the new record -1."));
    // No sub-record went out naming an empty parent, and nothing stays in the cache.
    QCOMPARE(m_phone->contactSync().receivedBatches().size(), 1);
    QVERIFY(m_db->contacts(0, QString()).isEmpty());
}

void TestIOSSyncToDevice::newContactWithoutNameEntryArrivesWhole_data()
{
    QTest::addColumn<QStringList>("nameEntries");
    QTest::addColumn<bool>("inCacheUnsent");

    // Known by its full name alone, as a card with only a formatted name or a list row is.
    QTest::newRow("no name entry") << QStringList() << false;
    QTest::newRow("name entry with only the full name") << QStringList{"1|data1=Solo Person"} << false;
    QTest::newRow("name entry with blank parts") << QStringList{"1|data1=Solo Person|data2= "} << false;
    // A contact the cache holds but the phone never received: its new phone still needs a parent.
    QTest::newRow("cached, never sent") << QStringList() << true;
}

void TestIOSSyncToDevice::newContactWithoutNameEntryArrivesWhole()
{
    QFETCH(QStringList, nameEntries);
    QFETCH(bool, inCacheUnsent);

    pim::_Contact solo(0, QString(), QStringLiteral("Solo Person"));
    for (const QString &text : nameEntries)
        solo.entities[pim::ENTITY_NAME].append(parseEntry(text).second);
    if (inCacheUnsent) {
        pim::_Contact out;
        bool existed = false;
        m_db->beginEdit();
        m_db->combineContact(solo, out, existed);
        m_db->endEdit(true);
    }
    solo.entities[pim::ENTITY_PHONE] = {parseEntry(QStringLiteral("3|data1=555 0100|data2=2")).second};

    RecordingProgressSink sink;
    run({solo}, sink);
    QCOMPARE(sink.outcome(), inCacheUnsent
                                 ? QStringLiteral("succeed|IDS_SUC_TRANSFER_0_CONTACTS_TO_IOS_MERGED_1")
                                 : QStringLiteral("succeed|IDS_SUC_TRANSFER_1_CONTACTS_TO_IOS"));

    // On the phone: the contact under the name the list shows, and its phone under it.
    const QList<SyncRecord> phoneContacts = phoneRecords(SyncRecord::contactKind);
    QCOMPARE(phoneContacts.size(), 1);
    const SyncRecord &contact = phoneContacts.first();
    const QStringList nameParts{
        contact.fields.value("title").toString(), contact.fields.value("first name").toString(),
        contact.fields.value("middle name").toString(), contact.fields.value("last name").toString(),
        contact.fields.value("suffix").toString()};
    QCOMPARE(nameParts.join(' ').simplified(), QStringLiteral("Solo Person"));
    const QList<SyncRecord> phones = phoneRecords(QStringLiteral("com.apple.contacts.Phone Number"));
    QCOMPARE(phones.size(), 1);
    QCOMPARE(phones.first().fields.value("contact").toList(), QVariantList{contact.id});
    QCOMPARE(phones.first().fields.value("value").toString(), QStringLiteral("555 0100"));

    // In the cache: the identifiers the phone gave.
    const QList<pim::_Contact> cached = m_db->contacts(0, QString());
    QCOMPARE(cached.size(), 1);
    QCOMPARE(cached.first().srcId, contact.id);
    QCOMPARE(cached.first().entities.value(pim::ENTITY_PHONE).size(), 1);
    QCOMPARE(cached.first().entities.value(pim::ENTITY_PHONE).first().srcId, phones.first().id);
}

void TestIOSSyncToDevice::oldBirthdaysSentExactly()
{
    RecordingProgressSink sink;
    run({person(1, {"6|data1=1925-05-17|data2=3"}), person(2, {"6|data1=1604-05-12T00:00:00|data2=3"})},
        sink);
    QCOMPARE(sink.outcome(), QStringLiteral("succeed|IDS_SUC_TRANSFER_2_CONTACTS_TO_IOS"));
    QMap<QString, QVariant> birthdays;
    for (const SyncRecord &r : phoneRecords(SyncRecord::contactKind))
        birthdays.insert(r.fields.value("first name").toString(), r.fields.value("birthday"));
    const QList<QPair<QString, QDateTime>> expected{
        {"First1", QDateTime(QDate(1925, 5, 17), QTime(0, 0), Qt::UTC)},
        {"First2", QDateTime(QDate(1604, 5, 12), QTime(0, 0), Qt::UTC)}};
    for (const auto &[name, when] : expected) {
        // Never a wrapped date, and never one left out: the exact one.
        QCOMPARE(birthdays.value(name).toDateTime(), when);
    }
}

void TestIOSSyncToDevice::repeatedNamesSendEveryEntry_data()
{
    // Positions (from 1) in a list of 25 whose contact takes the name of the one before it.
    QTest::addColumn<QList<int>>("renamed");

    QTest::newRow("two of one name inside a batch") << QList<int>{4, 12};
    QTest::newRow("two of one name across batches") << QList<int>{11};
    QTest::newRow("three of one name inside a batch") << QList<int>{4, 5};
}

void TestIOSSyncToDevice::repeatedNamesSendEveryEntry()
{
    QFETCH(QList<int>, renamed);

    QList<pim::_Contact> list;
    QMap<QString, QStringList> numbersByName;
    for (int i = 1; i <= 25; ++i) {
        int named = i;
        while (renamed.contains(named))
            --named;
        pim::_Contact c = person(named);
        c.entities[pim::ENTITY_PHONE] = {
            parseEntry(QStringLiteral("3|data1=555 %1|data2=2").arg(100 + i, 4, 10, QLatin1Char('0')))
                .second};
        numbersByName[c.fullName] << c.entities[pim::ENTITY_PHONE].first().values.value("data1").toString();
        list << c;
    }

    RecordingProgressSink sink;
    run(list, sink);
    QVERIFY2(sink.outcome().startsWith(QLatin1String("succeed|")), qPrintable(sink.outcome()));

    // On the phone: one record per name, holding every number sent under that name.
    QMap<QString, QString> nameOfRecord;
    for (const SyncRecord &r : phoneRecords(SyncRecord::contactKind))
        nameOfRecord.insert(r.id, r.fields.value("first name").toString() + QStringLiteral(" Last"));
    QCOMPARE(nameOfRecord.size(), numbersByName.size());
    QMap<QString, QStringList> onPhone;
    for (const SyncRecord &r : phoneRecords(QStringLiteral("com.apple.contacts.Phone Number"))) {
        const QVariantList parents = r.fields.value("contact").toList();
        QCOMPARE(parents.size(), 1);
        onPhone[nameOfRecord.value(parents.first().toString())] << r.fields.value("value").toString();
    }
    for (QStringList &numbers : onPhone)
        numbers.sort();
    QCOMPARE(onPhone, numbersByName);

    // In the cache: every entry carries the identifier the phone gave it.
    const QList<pim::_Contact> cached = m_db->contacts(0, QString());
    QCOMPARE(cached.size(), numbersByName.size());
    for (const pim::_Contact &c : cached) {
        QVERIFY2(nameOfRecord.contains(c.srcId), qPrintable(c.fullName));
        QCOMPARE(c.entities.value(pim::ENTITY_PHONE).size(), numbersByName.value(c.fullName).size());
        for (const pim::Entity &phone : c.entities.value(pim::ENTITY_PHONE))
            QVERIFY2(phone.srcId.startsWith(QStringLiteral("3/%1/").arg(c.srcId)),
                     qPrintable(c.fullName + QLatin1Char(' ') + phone.srcId));
    }
}

TARNWICK_TEST_MAIN(TestIOSSyncToDevice)
#include "tst_iossynctodevice.moc"
