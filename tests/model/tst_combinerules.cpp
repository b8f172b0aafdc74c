#include "model/AbsContactCombineRule.h"
#include "CombineRuleContract.h"
#include "model/Entity.h"
#include "model/EntityType.h"
#include "model/LocalDbCombineRule.h"

#include "EntityFixtures.h"
#include "TestMain.h"

#include <QDateTime>
#include <QSharedPointer>

using pim::Entity;
using tarnwick::test::entity;

namespace {

const QStringList kAddrParts{"data10", "data11", "data8", "data7", "data4", "data9", "data2", "data3"};

} // namespace

class TestCombineRules : public QObject
{
    Q_OBJECT

private slots:
    void localRuleLists_data();
    void localRuleLists();
    void contract_data();
    void contract();
    void destroyedThroughInterface();
    void variantEquals_data();
    void variantEquals();
    void isEntityEqual_data();
    void isEntityEqual();
    void isEntityEmpty_data();
    void isEntityEmpty();
    void ruleDecisions();
};

void TestCombineRules::localRuleLists_data()
{
    tarnwick::test::addRuleListColumns();

    const QStringList d1{"data1"};
    const QStringList d123{"data1", "data2", "data3"};
    const QStringList org{"data1", "data5", "data4"};

    QTest::newRow("name") << int(pim::ENTITY_NAME) << QStringList() << QStringList() << QStringList()
                          << QStringList() << false;
    QTest::newRow("photo") << int(pim::ENTITY_PHOTO) << QStringList{"data4"} << QStringList{"data4"}
                           << QStringList{"data4"} << QStringList{"data4", "data15"} << true;
    QTest::newRow("phone") << int(pim::ENTITY_PHONE) << d1 << d1 << d123 << d123 << false;
    QTest::newRow("email") << int(pim::ENTITY_EMAIL) << d1 << d1 << d123 << d123 << false;
    // A contact keeps several nicknames and organisations, each merged whole with its type.
    QTest::newRow("nickname") << int(pim::ENTITY_NICKNAME) << d1 << d1 << d1 << d123 << false;
    QTest::newRow("event") << int(pim::ENTITY_EVENT) << d1 << d1 << d123 << d123 << false;
    QTest::newRow("group") << int(pim::ENTITY_GROUP) << d1 << d1 << d1 << QStringList{"data1", "data2"}
                           << true;
    QTest::newRow("im") << int(pim::ENTITY_IM) << d1 << QStringList{"data1", "data5", "data6"}
                        << QStringList{"data1", "data5", "data6", "data2", "data3"}
                        << QStringList{"data1", "data5", "data6", "data2", "data3"} << false;
    QTest::newRow("note") << int(pim::ENTITY_NOTE) << d1 << d1 << d1 << d1 << false;
    QTest::newRow("org") << int(pim::ENTITY_ORG) << org << org << org << (org + QStringList{"data2", "data3"})
                         << false;
    QTest::newRow("rel") << int(pim::ENTITY_REL) << d1 << d1 << d123 << d123 << false;
    QTest::newRow("addr") << int(pim::ENTITY_ADDR) << d1 << d1 << kAddrParts
                          << (QStringList{"data1"} + kAddrParts) << false;
    QTest::newRow("url") << int(pim::ENTITY_URL) << d1 << d1 << d123 << d123 << false;
    for (int type : {0, -1, 14, 1000})
        QTest::addRow("code %d", type)
            << type << QStringList() << QStringList() << QStringList() << QStringList() << false;
}

void TestCombineRules::localRuleLists()
{
    LocalDbCombineRule rule;
    tarnwick::test::verifyRuleLists(rule);
}

void TestCombineRules::contract_data()
{
    QTest::addColumn<int>("type");
    for (int type = -1; type <= 15; ++type)
        QTest::addRow("type %d", type) << type;
}

void TestCombineRules::contract()
{
    QFETCH(int, type);
    LocalDbCombineRule rule;
    tarnwick::test::verifyRuleContract(rule, type);
}

void TestCombineRules::destroyedThroughInterface()
{
    QSharedPointer<AbsContactCombineRule> rule(new LocalDbCombineRule);
    QSharedPointer<AbsContactCombineRule> other = rule;
    rule.reset();
    bool single = false;
    QCOMPARE(other->validFields(pim::ENTITY_PHOTO, single), (QStringList{"data4", "data15"}));
    QVERIFY(single);
}

void TestCombineRules::variantEquals_data()
{
    QTest::addColumn<QVariant>("left");
    QTest::addColumn<QVariant>("right");
    QTest::addColumn<bool>("equal");

    const QDateTime when(QDate(2024, 2, 29), QTime(13, 5, 7), Qt::UTC);
    const QDateTime local(QDate(2024, 2, 29), QTime(13, 5, 7));

    QTest::newRow("absent, absent") << QVariant() << QVariant() << true;
    QTest::newRow("absent, empty text") << QVariant() << QVariant(QString("")) << false;
    QTest::newRow("empty text, absent") << QVariant(QString("")) << QVariant() << false;
    QTest::newRow("null text, empty text") << QVariant(QString()) << QVariant(QString("")) << true;
    QTest::newRow("absent, zero") << QVariant() << QVariant(0) << false;
    QTest::newRow("same text") << QVariant("abc") << QVariant("abc") << true;
    QTest::newRow("case counts") << QVariant("abc") << QVariant("ABC") << false;
    QTest::newRow("nothing trimmed") << QVariant("a ") << QVariant("a") << false;
    QTest::newRow("int, its text") << QVariant(2) << QVariant("2") << true;
    QTest::newRow("text, its int") << QVariant("2") << QVariant(2) << true;
    QTest::newRow("text 02, int 2") << QVariant("02") << QVariant(2) << false;
    QTest::newRow("int 2, text 02") << QVariant(2) << QVariant("02") << true;
    QTest::newRow("int, no number") << QVariant(2) << QVariant("two") << false;
    QTest::newRow("int 0, empty text") << QVariant(0) << QVariant("") << false;
    QTest::newRow("empty text, int 0") << QVariant("") << QVariant(0) << false;
    QTest::newRow("negative int, text") << QVariant(-7) << QVariant("-7") << true;
    QTest::newRow("int, longlong") << QVariant(2) << QVariant(qlonglong(2)) << true;
    QTest::newRow("uint, longlong") << QVariant(2u) << QVariant(qlonglong(2)) << true;
    QTest::newRow("ulonglong max, -1") << QVariant(~qulonglong(0)) << QVariant(-1) << false;
    QTest::newRow("-1, ulonglong max") << QVariant(-1) << QVariant(~qulonglong(0)) << false;
    QTest::newRow("ulonglong, text") << QVariant(qulonglong(42)) << QVariant("42") << true;
    QTest::newRow("different ints") << QVariant(2) << QVariant(3) << false;
    QTest::newRow("same bytes") << QVariant(QByteArray("\x00\x01", 2)) << QVariant(QByteArray("\x00\x01", 2))
                                << true;
    QTest::newRow("different bytes") << QVariant(QByteArray("\x00\x01", 2)) << QVariant(QByteArray("\x00", 1))
                                     << false;
    QTest::newRow("text, date-time") << QVariant("2024-02-29T13:05:07Z") << QVariant(when) << true;
    QTest::newRow("date-time, text") << QVariant(when) << QVariant("2024-02-29T13:05:07Z") << true;
    QTest::newRow("local date-time, text") << QVariant(local) << QVariant("2024-02-29T13:05:07") << true;
    QTest::newRow("text, local date-time") << QVariant("2024-02-29T13:05:07") << QVariant(local) << true;
    QTest::newRow("date-time, no date") << QVariant(when) << QVariant("yesterday") << false;
    QTest::newRow("date text, midnight date-time")
        << QVariant("2024-02-29") << QVariant(local.date().startOfDay()) << true;
    QTest::newRow("midnight date-time, date text")
        << QVariant(local.date().startOfDay()) << QVariant("2024-02-29") << true;
    QTest::newRow("date text, a later time that day") << QVariant("2024-02-29") << QVariant(local) << false;
    QTest::newRow("date-time, its date")
        << QVariant(local.date().startOfDay()) << QVariant(local.date()) << true;
    QTest::newRow("date, its text") << QVariant(QDate(2024, 2, 29)) << QVariant("2024-02-29") << true;
    QTest::newRow("text, its date") << QVariant("2024-02-29") << QVariant(QDate(2024, 2, 29)) << true;
    QTest::newRow("same instant, other zone")
        << QVariant(when) << QVariant(when.toOffsetFromUtc(3600)) << true;
}

void TestCombineRules::variantEquals()
{
    QFETCH(QVariant, left);
    QFETCH(QVariant, right);
    QFETCH(bool, equal);
    QCOMPARE(AbsContactCombineRule::variantEquals(left, right), equal);
}

void TestCombineRules::isEntityEqual_data()
{
    QTest::addColumn<QVariantMap>("a");
    QTest::addColumn<QVariantMap>("b");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<bool>("equal");

    const QVariantMap phoneText{{"data1", "555"}, {"data2", "2"}, {"data3", ""}};
    const QVariantMap phoneInt{{"data1", "555"}, {"data2", 2}, {"data3", ""}};
    const QStringList full{"data1", "data2", "data3"};

    QTest::newRow("empty list") << QVariantMap{{"data1", "x"}} << QVariantMap{{"data1", "y"}} << QStringList()
                                << true;
    QTest::newRow("absent vs empty text")
        << QVariantMap{{"data1", "x"}} << QVariantMap{{"data1", "x"}, {"data3", ""}} << QStringList{"data3"}
        << false;
    QTest::newRow("both absent") << QVariantMap{{"data1", "x"}} << QVariantMap{{"data1", "y"}}
                                 << QStringList{"data3"} << true;
    QTest::newRow("text sub-type first") << phoneText << phoneInt << full << true;
    QTest::newRow("int sub-type first") << phoneInt << phoneText << full << true;
    QTest::newRow("02 first") << QVariantMap{{"data2", "02"}} << QVariantMap{{"data2", 2}}
                              << QStringList{"data2"} << false;
    QTest::newRow("2 first") << QVariantMap{{"data2", 2}} << QVariantMap{{"data2", "02"}}
                             << QStringList{"data2"} << true;
    QTest::newRow("differs on later key")
        << phoneText << QVariantMap{{"data1", "555"}, {"data2", "2"}, {"data3", "x"}} << full << false;
    QTest::newRow("unknown key reads absent") << phoneText << phoneInt << QStringList{"data99"} << true;
}

void TestCombineRules::isEntityEqual()
{
    QFETCH(QVariantMap, a);
    QFETCH(QVariantMap, b);
    QFETCH(QStringList, keys);
    QFETCH(bool, equal);
    const Entity ea = entity(a);
    const Entity eb = entity(b);
    QCOMPARE(AbsContactCombineRule::isEntityEqual(ea, eb, keys), equal);
    // The comparison leaves both entries as they were.
    QCOMPARE(ea.values, a);
    QCOMPARE(eb.values, b);
}

void TestCombineRules::isEntityEmpty_data()
{
    QTest::addColumn<QVariantMap>("values");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<bool>("empty");

    QTest::newRow("no values") << QVariantMap{} << QStringList{"data1", "data5", "data4"} << true;
    QTest::newRow("empty list") << QVariantMap{{"data1", "x"}} << QStringList() << true;
    QTest::newRow("empty text") << QVariantMap{{"data1", ""}} << QStringList{"data1"} << true;
    QTest::newRow("blank") << QVariantMap{{"data1", " "}} << QStringList{"data1"} << false;
    QTest::newRow("int zero") << QVariantMap{{"data1", 0}} << QStringList{"data1"} << false;
    QTest::newRow("later key filled")
        << QVariantMap{{"data1", ""}, {"data4", "CTO"}} << QStringList{"data1", "data5", "data4"} << false;
    QTest::newRow("filled key not listed") << QVariantMap{{"data3", "label"}} << QStringList{"data1"} << true;
}

void TestCombineRules::isEntityEmpty()
{
    QFETCH(QVariantMap, values);
    QFETCH(QStringList, keys);
    QFETCH(bool, empty);
    QCOMPARE(AbsContactCombineRule::isEntityEmpty(entity(values), keys), empty);
}

void TestCombineRules::ruleDecisions()
{
    LocalDbCombineRule rule;
    bool single = false;

    // Addresses are identified by their formatted text but compared by their parts.
    const Entity addrA =
        entity({{"data1", "1 Main St\nSpringfield"}, {"data4", "1 Main St"}, {"data7", "Springfield"}});
    Entity addrB = addrA;
    addrB.values["data1"] = "1 Main St, Springfield";
    QVERIFY(AbsContactCombineRule::isEntityEqual(addrA, addrB, rule.checkEqualFieldsFull(pim::ENTITY_ADDR)));
    QVERIFY(!AbsContactCombineRule::isEntityEqual(addrA, addrB, rule.validFields(pim::ENTITY_ADDR, single)));

    // An organisation's sub-type and label neither make it another organisation nor a changed one
    // in the editor; a merge carries them over.
    const Entity orgA = entity({{"data1", "Acme"}, {"data2", "1"}, {"data3", "a"}, {"data4", "CTO"}});
    Entity orgB = orgA;
    orgB.values["data2"] = "0";
    orgB.values["data3"] = "b";
    for (const QStringList &keys :
         {rule.checkEmptyFields(pim::ENTITY_ORG), rule.checkEqualFieldsMin(pim::ENTITY_ORG),
          rule.checkEqualFieldsFull(pim::ENTITY_ORG)})
        QVERIFY(AbsContactCombineRule::isEntityEqual(orgA, orgB, keys));
    QVERIFY(!AbsContactCombineRule::isEntityEqual(orgA, orgB, rule.validFields(pim::ENTITY_ORG, single)));

    // The same account under two protocols is two entries.
    const Entity imA = entity({{"data1", "ann"}, {"data5", "1"}});
    const Entity imB = entity({{"data1", "ann"}, {"data5", "4"}});
    QVERIFY(!AbsContactCombineRule::isEntityEqual(imA, imB, rule.checkEqualFieldsMin(pim::ENTITY_IM)));

    // A phone whose number was emptied is empty, whatever its label holds.
    const Entity emptied = entity({{"data1", ""}, {"data3", "Office"}});
    QVERIFY(AbsContactCombineRule::isEntityEmpty(emptied, rule.checkEmptyFields(pim::ENTITY_PHONE)));
    // An organisation with only a job title is not.
    QVERIFY(!AbsContactCombineRule::isEntityEmpty(entity({{"data4", "CTO"}}),
                                                  rule.checkEmptyFields(pim::ENTITY_ORG)));
}

TARNWICK_TEST_MAIN(TestCombineRules)
#include "tst_combinerules.moc"
