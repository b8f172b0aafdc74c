#include "model/EntityType.h"
#include "ios/IOSContactRecord.h"
#include "ios/PlistCFType.h"
#include "TestMain.h"

namespace {

using Fields = QList<QPair<QString, PlistCFType>>;
using Columns = QMap<QString, QVariant>;

PlistCFType s(const QString &text)
{
    return PlistCFType::createCFString(text);
}

PlistCFType record(const QString &kind, const Fields &fields)
{
    PlistCFType r = PlistCFType::createCFDictionary();
    if (!kind.isNull())
        r.put(IOSContactRecord::KEY_RECORD_KIND, s(kind));
    for (const auto &f : fields)
        r.put(f.first, PlistCFType::clone(f.second));
    return r;
}

PlistCFType date(int y, int m, int d)
{
    return PlistCFType::createCFDate(QDateTime(QDate(y, m, d), QTime(0, 0), Qt::UTC));
}

} // namespace

class TestRecords : public QObject
{
    Q_OBJECT

private slots:
    void recordKinds_data();
    void recordKinds();
    void contactRecord_data();
    void contactRecord();
    void subRecord_data();
    void subRecord();
    void typeWords_data();
    void typeWords();
    void parentIds();
};

void TestRecords::recordKinds_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("type");
    QTest::newRow("contact") << "com.apple.contacts.Contact" << 0;
    QTest::newRow("phone") << "com.apple.contacts.Phone Number" << int(pim::ENTITY_PHONE);
    QTest::newRow("email") << "com.apple.contacts.Email Address" << int(pim::ENTITY_EMAIL);
    QTest::newRow("address") << "com.apple.contacts.Street Address" << int(pim::ENTITY_ADDR);
    QTest::newRow("url") << "com.apple.contacts.URL" << int(pim::ENTITY_URL);
    QTest::newRow("im") << "com.apple.contacts.IM" << int(pim::ENTITY_IM);
    QTest::newRow("date") << "com.apple.contacts.Date" << int(pim::ENTITY_EVENT);
    QTest::newRow("related") << "com.apple.contacts.Related Name" << int(pim::ENTITY_REL);
    QTest::newRow("case differs") << "com.apple.contacts.phone number" << 0;
    QTest::newRow("group") << "com.apple.contacts.Group" << 0;
    QTest::newRow("none") << QString() << 0;
}

void TestRecords::recordKinds()
{
    QFETCH(QString, kind);
    QFETCH(int, type);
    const PlistCFType r = record(kind, {});
    QCOMPARE(IOSContactRecord::recordKind(r), kind.isNull() ? QString() : kind);
    QCOMPARE(IOSContactRecord::subRecordType(IOSContactRecord::recordKind(r)), type);
}

void TestRecords::contactRecord_data()
{
    QTest::addColumn<Fields>("fields");
    QTest::addColumn<QString>("fullName");
    QTest::addColumn<QList<int>>("types"); // entry types in writing order
    QTest::addColumn<QList<Columns>>("columns");

    const Columns emptyName{{"data1", ""}, {"data2", ""}, {"data3", ""}, {"data4", ""},
                            {"data5", ""}, {"data6", ""}, {"data7", ""}, {"data8", ""}};

    QTest::newRow("kind only") << Fields{} << "" << QList<int>{1} << QList<Columns>{emptyName};

    Columns full = emptyName;
    full["data2"] = "Ann";
    full["data4"] = "B.";
    full["data3"] = "Lee";
    full["data5"] = "Dr";
    full["data6"] = "Jr";
    full["data7"] = "an";
    full["data8"] = "li";
    full["data1"] = "Dr Ann B. Lee Jr";
    QTest::newRow("every key") << Fields{{"first name", s("Ann")},
                                         {"middle name", s("B.")},
                                         {"last name", s("Lee")},
                                         {"title", s("Dr")},
                                         {"suffix", s("Jr")},
                                         {"first name yomi", s("an")},
                                         {"last name yomi", s("li")},
                                         {"nickname", s("Annie")},
                                         {"company name", s("ACME")},
                                         {"department", s("R&D")},
                                         {"job title", s("Boss")},
                                         {"birthday", date(1985, 7, 15)},
                                         {"image", PlistCFType::createCFData("\x89PNG")},
                                         {"notes", s("likes tea")},
                                         {"display as company", s("person")}}
                               << "Dr Ann B. Lee Jr" << QList<int>{1, 5, 10, 6, 2, 9}
                               << QList<Columns>{
                                      full,
                                      {{"data1", "Annie"}, {"data2", 1}},
                                      {{"data1", "ACME"}, {"data2", 1}, {"data4", "Boss"}, {"data5", "R&D"}},
                                      {{"data1", "1985-07-15T00:00:00"}, {"data2", 3}},
                                      {{"data15", QByteArray("\x89PNG")}},
                                      {{"data1", "likes tea"}}};

    QTest::newRow("company only") << Fields{{"company name", s("ACME")}} << "" << QList<int>{1, 10}
                                  << QList<Columns>{
                                         emptyName,
                                         {{"data1", "ACME"}, {"data2", 1}, {"data4", ""}, {"data5", ""}}};

    // A present key gives its entry whatever its value holds.
    QTest::newRow("keys of other types") << Fields{{"birthday", s("1985-07-15")},
                                                   {"nickname", PlistCFType::createCFNumberInt32(3)},
                                                   {"image", s("not bytes")},
                                                   {"notes", PlistCFType::createCFBoolean(true)}}
                                         << "" << QList<int>{1, 5, 6, 2, 9}
                                         << QList<Columns>{emptyName,
                                                           {{"data1", ""}, {"data2", 1}},
                                                           {{"data1", ""}, {"data2", 3}},
                                                           {{"data15", QByteArray()}},
                                                           {{"data1", ""}}};

    Columns spaces = emptyName;
    spaces["data2"] = "  ";
    QTest::newRow("blank first name")
        << Fields{{"first name", s("  ")}} << "" << QList<int>{1} << QList<Columns>{spaces};
}

void TestRecords::contactRecord()
{
    QFETCH(Fields, fields);
    QFETCH(QString, fullName);
    QFETCH(QList<int>, types);
    QFETCH(QList<Columns>, columns);

    pim::_Contact contact;
    const PlistCFType r = record(IOSContactRecord::KIND_CONTACT, fields);
    const QList<IOSContactRecord::_TypedEntity> entries = IOSContactRecord::contactEntries("17", r, contact);

    QCOMPARE(contact.id, 0ULL);
    QCOMPARE(contact.srcId, QStringLiteral("17"));
    QCOMPARE(contact.fullName, fullName);
    QCOMPARE(entries.size(), types.size());
    for (int i = 0; i < entries.size(); ++i) {
        QCOMPARE(entries.at(i).type, types.at(i));
        QCOMPARE(entries.at(i).entity.id, 0ULL);
        QCOMPARE(entries.at(i).entity.srcId, QStringLiteral("17"));
        const Columns &expected = columns.at(i);
        QCOMPARE(entries.at(i).entity.values.keys(), expected.keys());
        for (auto it = expected.begin(); it != expected.end(); ++it)
            QCOMPARE(entries.at(i).entity.values.value(it.key()).toString(), it.value().toString());
        QCOMPARE(contact.entities.value(types.at(i)).size(), 1);
    }
}

void TestRecords::subRecord_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<Fields>("fields");
    QTest::addColumn<Columns>("columns");

    QTest::newRow("phone") << int(pim::ENTITY_PHONE)
                           << Fields{{"value", s("+44 20 7946 0000")}, {"type", s("mobile")}}
                           << Columns{{"data1", "+44 20 7946 0000"}, {"data2", 2}, {"data3", ""}};
    QTest::newRow("phone, word in other case")
        << int(pim::ENTITY_PHONE) << Fields{{"value", s("1")}, {"type", s("Mobile")}, {"label", s("Boat")}}
        << Columns{{"data1", "1"}, {"data3", "Boat"}};
    QTest::newRow("phone, unknown word")
        << int(pim::ENTITY_PHONE) << Fields{{"value", s("1")}, {"type", s("iPhone")}}
        << Columns{{"data1", "1"}, {"data3", ""}};
    QTest::newRow("email") << int(pim::ENTITY_EMAIL)
                           << Fields{{"value", s("a@b.c")}, {"type", s("other")}, {"label", s("Club")}}
                           << Columns{{"data1", "a@b.c"}, {"data2", 0}, {"data3", "Club"}};
    QTest::newRow("address") << int(pim::ENTITY_ADDR)
                             << Fields{{"street", s("1 Main St")}, {"city", s("Springfield")},
                                       {"state", s("IL")},         {"postal code", s("62701")},
                                       {"country", s("USA")},      {"country code", s("us")},
                                       {"type", s("work")}}
                             << Columns{{"data1", "1 Main St\nSpringfield, IL 62701\nUSA"},
                                        {"data2", 2},
                                        {"data3", ""},
                                        {"data4", "1 Main St"},
                                        {"data7", "Springfield"},
                                        {"data8", "IL"},
                                        {"data9", "62701"},
                                        {"data10", "USA"},
                                        {"data11", "us"}};
    QTest::newRow("address, postcode only")
        << int(pim::ENTITY_ADDR) << Fields{{"postal code", s("62701")}}
        << Columns{{"data1", ""}, {"data3", ""},      {"data4", ""},  {"data7", ""},
                   {"data8", ""}, {"data9", "62701"}, {"data10", ""}, {"data11", ""}};
    QTest::newRow("url") << int(pim::ENTITY_URL)
                         << Fields{{"value", s("http://x.y")}, {"type", s("home page")}}
                         << Columns{{"data1", "http://x.y"}, {"data2", 1}, {"data3", ""}};
    QTest::newRow("im gadugadu") << int(pim::ENTITY_IM)
                                 << Fields{{"user", s("joe")},
                                           {"type", s("home")},
                                           {"service", s("gadugadu")}}
                                 << Columns{{"data1", "joe"}, {"data2", 1}, {"data3", ""}, {"data5", 10}};
    QTest::newRow("im icq") << int(pim::ENTITY_IM) << Fields{{"user", s("joe")}, {"service", s("icq")}}
                            << Columns{{"data1", "joe"}, {"data3", ""}, {"data5", 7}};
    QTest::newRow("im without service")
        << int(pim::ENTITY_IM) << Fields{{"user", s("joe")}, {"value", s("x")}}
        << Columns{{"data1", "joe"}, {"data3", ""}};
    QTest::newRow("date") << int(pim::ENTITY_EVENT)
                          << Fields{{"value", date(2010, 6, 1)}, {"type", s("anniversary")}}
                          << Columns{{"data1", "2010-06-01T00:00:00"}, {"data2", 1}, {"data3", ""}};
    QTest::newRow("date, birthday word")
        << int(pim::ENTITY_EVENT) << Fields{{"value", s("2010")}, {"type", s("birthday")}}
        << Columns{{"data1", ""}, {"data3", ""}};
    QTest::newRow("related") << int(pim::ENTITY_REL) << Fields{{"value", s("Sam")}, {"type", s("spouse")}}
                             << Columns{{"data1", "Sam"}, {"data2", 14}, {"data3", ""}};
    QTest::newRow("related, not in table")
        << int(pim::ENTITY_REL) << Fields{{"value", s("Sam")}, {"type", s("domestic partner")}}
        << Columns{{"data1", "Sam"}, {"data3", ""}};
}

void TestRecords::subRecord()
{
    QFETCH(int, type);
    QFETCH(Fields, fields);
    QFETCH(Columns, columns);
    const pim::Entity e = IOSContactRecord::subRecordEntry(type, "3/1/0", record("k", fields));
    QCOMPARE(e.id, 0ULL);
    QCOMPARE(e.srcId, QStringLiteral("3/1/0"));
    QCOMPARE(e.values.keys(), columns.keys());
    for (auto it = columns.begin(); it != columns.end(); ++it) {
        QCOMPARE(e.values.value(it.key()).toString(), it.value().toString());
        if (it.value().typeId() == QMetaType::Int)
            QCOMPARE(e.values.value(it.key()).typeId(), int(QMetaType::Int));
    }
}

void TestRecords::typeWords_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("word");
    QTest::addColumn<int>("code");
    const QList<std::tuple<int, const char *, int>> rows{
        {pim::ENTITY_PHONE, "other", 0},    {pim::ENTITY_PHONE, "home", 1},
        {pim::ENTITY_PHONE, "work fax", 4}, {pim::ENTITY_PHONE, "home fax", 5},
        {pim::ENTITY_PHONE, "pager", 6},    {pim::ENTITY_PHONE, "main", 12},
        {pim::ENTITY_PHONE, "fax", -1},     {pim::ENTITY_EMAIL, "work", 2},
        {pim::ENTITY_EMAIL, "mobile", -1},  {pim::ENTITY_ADDR, "home", 1},
        {pim::ENTITY_URL, "home", 4},       {pim::ENTITY_URL, "work", 5},
        {pim::ENTITY_URL, "blog", -1},      {pim::ENTITY_IM, "work", 2},
        {pim::ENTITY_EVENT, "other", 0},    {pim::ENTITY_REL, "assistant", 1},
        {pim::ENTITY_REL, "brother", 2},    {pim::ENTITY_REL, "child", 3},
        {pim::ENTITY_REL, "father", 5},     {pim::ENTITY_REL, "friend", 6},
        {pim::ENTITY_REL, "manager", 7},    {pim::ENTITY_REL, "mother", 8},
        {pim::ENTITY_REL, "parent", 9},     {pim::ENTITY_REL, "partner", 10},
        {pim::ENTITY_REL, "sister", 13},    {pim::ENTITY_NOTE, "other", -1},
    };
    for (const auto &[type, word, code] : rows)
        QTest::addRow("%d %s", type, word) << type << QString::fromLatin1(word) << code;
}

void TestRecords::typeWords()
{
    QFETCH(int, type);
    QFETCH(QString, word);
    QFETCH(int, code);
    QCOMPARE(IOSContactRecord::typeCode(type, word), code);
}

void TestRecords::parentIds()
{
    PlistCFType r = record("com.apple.contacts.Phone Number", {});
    QVERIFY(IOSContactRecord::parentIds(r).isEmpty());
    r.put(QStringLiteral("contact"), s("1"));
    QVERIFY(IOSContactRecord::parentIds(r).isEmpty());
    r.put(QStringLiteral("contact"), PlistCFType::createCFArray({s("1"), s("22")}));
    QCOMPARE(IOSContactRecord::parentIds(r), QStringList({"1", "22"}));
    QCOMPARE(IOSContactRecord::protocolCode("facebook"), 11);
    QCOMPARE(IOSContactRecord::protocolCode("Skype"), -1);
}

TARNWICK_TEST_MAIN(TestRecords)
#include "tst_records.moc"
