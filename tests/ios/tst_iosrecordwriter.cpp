#include "ios/IOSSyncToDeviceThread.h"
#include "model/EntityType.h"

#include "CachedPhoneFixture.h"
#include "EntityFixtures.h"
#include "PeerPlist.h"
#include "TestMain.h"

#include <QDateTime>

using tarnwick::peers::PeerPlist;
using tarnwick::test::fullRangeDates;
using tarnwick::test::parseEntry;

namespace {

// Where date nodes cannot hold a date, the writer leaves it out rather than send another date.
QVariantMap withoutDatesBefore1932(QVariantMap map)
{
    for (auto it = map.begin(); it != map.end();) {
        if (it->typeId() == QMetaType::QVariantMap) {
            *it = withoutDatesBefore1932(it->toMap());
            ++it;
        } else if (it->typeId() == QMetaType::QDateTime && it->toDateTime().date().year() < 1932) {
            it = map.erase(it);
        } else {
            ++it;
        }
    }
    return map;
}

QDateTime utc(int y, int m, int d)
{
    return QDateTime(QDate(y, m, d), QTime(0, 0), Qt::UTC);
}

QVariantMap asMap(const PlistCFType &changes)
{
    return PeerPlist::toVariant(static_cast<plist_t>(changes.ref())).toMap();
}

QStringList keyOrder(const PlistCFType &record)
{
    QStringList out;
    for (const PlistCFType &key : record.dict_keys())
        out << key.CFStringQString();
    return out;
}

const QString kKind = QStringLiteral("com.apple.syncservices.RecordEntityName");

} // namespace

class TestIOSRecordWriter : public QObject
{
    Q_OBJECT

private slots:
    void subRecord_data();
    void subRecord();
    void contactRecord_data();
    void contactRecord();
    void contactKeyOrder();
};

void TestIOSRecordWriter::subRecord_data()
{
    QTest::addColumn<QString>("entry"); // "type|key=value…"
    QTest::addColumn<QString>("srcId");
    QTest::addColumn<QString>("key"); // empty: nothing added
    QTest::addColumn<QVariantMap>("record");
    QTest::addColumn<QStringList>("order");

    const QVariantList parent{QStringLiteral("1234")};
    QTest::newRow("phone of a code without word") << "3|data1=555 0100|data2=8"
                                                  << ""
                                                  << "3/1234/-56"
                                                  << QVariantMap{{kKind, "com.apple.contacts.Phone Number"},
                                                                 {"value", "555 0100"},
                                                                 {"type", "other"},
                                                                 {"contact", parent}}
                                                  << QStringList{kKind, "value", "type", "contact"};
    QTest::newRow("phone with a label") << "3|data1=1|data2=2|data3=Boat"
                                        << ""
                                        << "3/1234/-56"
                                        << QVariantMap{{kKind, "com.apple.contacts.Phone Number"},
                                                       {"value", "1"},
                                                       {"label", "Boat"},
                                                       {"type", "other"},
                                                       {"contact", parent}}
                                        << QStringList{kKind, "value", "label", "type", "contact"};
    QTest::newRow("mobile phone") << "3|data1=1|data2=2"
                                  << ""
                                  << "3/1234/-56"
                                  << QVariantMap{{kKind, "com.apple.contacts.Phone Number"},
                                                 {"value", "1"},
                                                 {"type", "mobile"},
                                                 {"contact", parent}}
                                  << QStringList{kKind, "value", "type", "contact"};
    QTest::newRow("phone without number") << "3|data2=2|data3=Boat"
                                          << ""
                                          << "" << QVariantMap() << QStringList();
    QTest::newRow("known entry keeps its identifier")
        << "4|data1=a@x.org|data2=4"
        << "ABC"
        << "ABC"
        << QVariantMap{{kKind, "com.apple.contacts.Email Address"},
                       {"value", "a@x.org"},
                       {"type", "other"},
                       {"contact", parent}}
        << QStringList{kKind, "value", "type", "contact"};
    QTest::newRow("birthday without label") << "6|data1=1980-05-17|data2=3"
                                            << ""
                                            << "" << QVariantMap() << QStringList();
    QTest::newRow("birthday with a label") << "6|data1=1980-05-17|data2=3|data3=Party"
                                           << ""
                                           << "12/1234/-56"
                                           << QVariantMap{{kKind, "com.apple.contacts.Date"},
                                                          {"value", utc(1980, 5, 17)},
                                                          {"label", "Party"},
                                                          {"type", "other"},
                                                          {"contact", parent}}
                                           << QStringList{kKind, "value", "label", "type", "contact"};
    QTest::newRow("anniversary") << "6|data1=2010-03-04|data2=1"
                                 << ""
                                 << "12/1234/-56"
                                 << QVariantMap{{kKind, "com.apple.contacts.Date"},
                                                {"value", utc(2010, 3, 4)},
                                                {"type", "anniversary"},
                                                {"contact", parent}}
                                 << QStringList{kKind, "value", "type", "contact"};
    QTest::newRow("date before 1932 sent exactly") << "6|data1=1925-05-17T00:00:00|data2=1"
                                                   << ""
                                                   << "12/1234/-56"
                                                   << QVariantMap{{kKind, "com.apple.contacts.Date"},
                                                                  {"value", utc(1925, 5, 17)},
                                                                  {"type", "anniversary"},
                                                                  {"contact", parent}}
                                                   << QStringList{kKind, "value", "type", "contact"};
    QTest::newRow("date that does not parse") << "6|data1=17.05.1980|data2=1"
                                              << ""
                                              << "" << QVariantMap() << QStringList();
    QTest::newRow("IM with a service") << "8|data1=ann|data2=2|data5=4"
                                       << ""
                                       << "13/1234/-56"
                                       << QVariantMap{{kKind, "com.apple.contacts.IM"},
                                                      {"user", "ann"},
                                                      {"type", "work"},
                                                      {"service", "skype"},
                                                      {"contact", parent}}
                                       << QStringList{kKind, "user", "type", "service", "contact"};
    QTest::newRow("IM of code 9 has no service") << "8|data1=ann|data5=9|data6=Meet"
                                                 << ""
                                                 << "13/1234/-56"
                                                 << QVariantMap{{kKind, "com.apple.contacts.IM"},
                                                                {"user", "ann"},
                                                                {"type", "other"},
                                                                {"contact", parent}}
                                                 << QStringList{kKind, "user", "type", "contact"};
    QTest::newRow("address of postcode and country code only") << "12|data9=LS1|data11=GB"
                                                               << ""
                                                               << "" << QVariantMap() << QStringList();
    QTest::newRow("address of a street only") << "12|data4=1 High St"
                                              << ""
                                              << "5/1234/-56"
                                              << QVariantMap{{kKind, "com.apple.contacts.Street Address"},
                                                             {"street", "1 High St"},
                                                             {"type", "other"},
                                                             {"contact", parent}}
                                              << QStringList{kKind, "street", "type", "contact"};
    QTest::newRow("full address")
        << "12|data1=x|data2=1|data4=1 High St|data7=Leeds|data8=WY|data9=LS1|data10=UK|data11=GB"
        << ""
        << "5/1234/-56"
        << QVariantMap{{kKind, "com.apple.contacts.Street Address"},
                       {"country", "UK"},
                       {"country code", "GB"},
                       {"state", "WY"},
                       {"city", "Leeds"},
                       {"street", "1 High St"},
                       {"postal code", "LS1"},
                       {"type", "home"},
                       {"contact", parent}}
        << QStringList{kKind,    "country",     "country code", "state",  "city",
                       "street", "postal code", "type",         "contact"};
    QTest::newRow("URL of a code without word") << "13|data1=x.org|data2=2"
                                                << ""
                                                << "22/1234/-56"
                                                << QVariantMap{{kKind, "com.apple.contacts.URL"},
                                                               {"value", "x.org"},
                                                               {"type", "other"},
                                                               {"contact", parent}}
                                                << QStringList{kKind, "value", "type", "contact"};
    QTest::newRow("related name") << "11|data1=Bob|data2=14"
                                  << ""
                                  << "23/1234/-56"
                                  << QVariantMap{{kKind, "com.apple.contacts.Related Name"},
                                                 {"value", "Bob"},
                                                 {"type", "spouse"},
                                                 {"contact", parent}}
                                  << QStringList{kKind, "value", "type", "contact"};
    for (int type : {1, 2, 5, 7, 9, 10, 14})
        QTest::addRow("type %d adds nothing", type) << QStringLiteral("%1|data1=x").arg(type) << ""
                                                    << "" << QVariantMap() << QStringList();
}

void TestIOSRecordWriter::subRecord()
{
    QFETCH(QString, entry);
    QFETCH(QString, srcId);
    QFETCH(QString, key);
    QFETCH(QVariantMap, record);
    QFETCH(QStringList, order);
    auto [type, e] = parseEntry(entry, srcId);
    PlistCFType changes = PlistCFType::createCFDictionary();
    IOSSyncToDeviceThread::addPlistDataFromEntity(changes, QStringLiteral("1234"), type, -56, e);
    const QVariant date = record.value("value");
    if (!fullRangeDates() && date.typeId() == QMetaType::QDateTime && date.toDateTime().date().year() < 1932)
        key.clear();
    if (key.isEmpty()) {
        QCOMPARE(changes.dict_size(), 0);
        return;
    }
    QCOMPARE(asMap(changes), (QVariantMap{{key, record}}));
    QCOMPARE(keyOrder(changes.get(key)), order);
}

void TestIOSRecordWriter::contactRecord_data()
{
    QTest::addColumn<quint64>("id");
    QTest::addColumn<QString>("srcId");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariantMap>("record");
    QTest::addColumn<QString>("fullName");

    const QVariantMap bare{{kKind, "com.apple.contacts.Contact"}, {"display as company", "person"}};
    QTest::newRow("no entries") << quint64(17) << "" << QStringList() << "-17" << bare << "";
    QTest::newRow("known contact") << quint64(17) << "A1" << QStringList() << "A1" << bare << "";
    QVariantMap firsts = bare;
    firsts.insert({{"first name", "Ann"},
                   {"first name yomi", "an"},
                   {"last name", "Lee"},
                   {"title", "Dr"},
                   {"company name", "ACME"},
                   {"job title", "Chemist"},
                   {"nickname", "Annie"},
                   {"notes", "hi"},
                   {"birthday", utc(1980, 5, 17)}});
    QTest::newRow("first of each kind, last birthday")
        << quint64(3) << ""
        << QStringList{"1|data2=Ann|data3=Lee|data5=Dr|data7=an|data1=Dr Ann Lee",
                       "1|data2=Other",
                       "10|data1=ACME|data4=Chemist",
                       "10|data1=Other Co",
                       "5|data1=Annie",
                       "5|data1=Nan",
                       "6|data1=1975-02-01|data2=3",
                       "6|data1=1980-05-17|data2=3",
                       "6|data1=17.05.1981|data2=3",
                       "6|data1=2001-01-01|data2=1",
                       "2|data15=",
                       "9|data1=hi",
                       "9|data1=second"}
        << "-3" << firsts << "Dr Ann Lee";
    QVariantMap old = bare;
    old.insert("birthday", utc(1604, 5, 12));
    QTest::newRow("birthday a phone keeps without year")
        << quint64(4) << "" << QStringList{"6|data1=1604-05-12|data2=3"} << "-4" << old << "";
    QVariantMap blank = bare;
    blank.insert("first name", " ");
    QTest::newRow("white space is text")
        << quint64(5) << "" << QStringList{"1|data2= "} << "-5" << blank << "";

    // A contact known by its full name alone goes out under the name the list shows.
    QVariantMap solo = bare;
    solo.insert("first name", "Solo Person");
    QTest::newRow("full name without name entry")
        << quint64(6) << "" << QStringList() << "-6" << solo << "Solo Person";
    QTest::newRow("name entry holding only the full name")
        << quint64(6) << "" << QStringList{"1|data1=Solo Person"} << "-6" << solo << "";
    QVariantMap ann = bare;
    ann.insert("first name", "Ann");
    QTest::newRow("name parts win over the full name")
        << quint64(6) << "" << QStringList{"1|data2=Ann|data1=Ann"} << "-6" << ann << "Someone Else";
}

void TestIOSRecordWriter::contactRecord()
{
    QFETCH(quint64, id);
    QFETCH(QString, srcId);
    QFETCH(QStringList, entries);
    QFETCH(QString, fullName);
    pim::_Contact c(id, srcId, fullName);
    for (const QString &text : entries) {
        auto [type, e] = parseEntry(text);
        c.entities[type].append(e);
    }
    PlistCFType changes = PlistCFType::createCFDictionary();
    IOSSyncToDeviceThread::addPlistDataFromContact(changes, c);
    QFETCH(QString, key);
    QFETCH(QVariantMap, record);
    if (!fullRangeDates())
        record = withoutDatesBefore1932(record);
    QCOMPARE(asMap(changes), (QVariantMap{{key, record}}));
}

void TestIOSRecordWriter::contactKeyOrder()
{
    pim::_Contact c(8, QString(), QString());
    for (const char *text :
         {"9|data1=n", "2|data15=img", "6|data1=1980-05-17|data2=3", "5|data1=nick",
          "10|data1=co|data4=jt|data5=dep", "1|data2=f|data7=fy|data4=m|data3=l|data8=ly|data5=t|data6=s"}) {
        auto [type, e] = parseEntry(text);
        c.entities[type].append(e);
    }
    PlistCFType changes = PlistCFType::createCFDictionary();
    IOSSyncToDeviceThread::addPlistDataFromContact(changes, c);
    QCOMPARE(keyOrder(changes.get(QStringLiteral("-8"))),
             QStringList({kKind, "display as company", "first name", "first name yomi", "middle name",
                          "last name", "last name yomi", "title", "suffix", "company name", "department",
                          "job title", "nickname", "birthday", "image", "notes"}));
    QCOMPARE(asMap(changes).value("-8").toMap().value("image").typeId(), int(QMetaType::QByteArray));
}

TARNWICK_TEST_MAIN(TestIOSRecordWriter)
#include "tst_iosrecordwriter.moc"
