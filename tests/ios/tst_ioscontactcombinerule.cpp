#include "../model/CombineRuleContract.h"
#include "model/EntityType.h"
#include "ios/IOSContactCombineRule.h"

#include "EntityFixtures.h"
#include "TestMain.h"

#include <QSharedPointer>

using pim::Entity;
using tarnwick::test::entity;

class TestIOSContactCombineRule : public QObject
{
    Q_OBJECT

private slots:
    void lists_data();
    void lists();
    void contract_data();
    void contract();
    void noListHoldsCustomProtocol();
    void destroyedThroughInterface();
    void decisions();
};

void TestIOSContactCombineRule::lists_data()
{
    tarnwick::test::addRuleListColumns();

    const QStringList none;
    const QStringList d1{"data1"};
    const QStringList d12{"data1", "data2"};
    const QStringList d123{"data1", "data2", "data3"};
    const QStringList org{"data1", "data5", "data4"};
    const QStringList addrParts{"data10", "data11", "data8", "data7", "data4", "data9", "data2", "data3"};

    QTest::newRow("name") << int(pim::ENTITY_NAME) << none << none << none << none << false;
    QTest::newRow("photo") << int(pim::ENTITY_PHOTO) << QStringList{"data4"} << QStringList{"data4"}
                           << QStringList{"data4"} << QStringList{"data4", "data15"} << true;
    QTest::newRow("phone") << int(pim::ENTITY_PHONE) << d1 << d1 << d123 << d123 << false;
    QTest::newRow("email") << int(pim::ENTITY_EMAIL) << d1 << d1 << d123 << d123 << false;
    QTest::newRow("nickname") << int(pim::ENTITY_NICKNAME) << d1 << d1 << d1 << d1 << true;
    QTest::newRow("event") << int(pim::ENTITY_EVENT) << d1 << d12 << d123 << d123 << false;
    QTest::newRow("group") << int(pim::ENTITY_GROUP) << none << none << none << none << false;
    QTest::newRow("im") << int(pim::ENTITY_IM) << d1 << QStringList{"data1", "data5"}
                        << QStringList{"data1", "data5", "data2", "data3"}
                        << QStringList{"data1", "data5", "data2", "data3"} << false;
    QTest::newRow("note") << int(pim::ENTITY_NOTE) << d1 << d1 << d1 << d1 << true;
    QTest::newRow("org") << int(pim::ENTITY_ORG) << org << org << org << org << true;
    QTest::newRow("rel") << int(pim::ENTITY_REL) << d1 << d12 << d123 << d123 << false;
    QTest::newRow("addr") << int(pim::ENTITY_ADDR) << d1 << d1 << addrParts
                          << (QStringList{"data1"} + addrParts) << false;
    QTest::newRow("url") << int(pim::ENTITY_URL) << d1 << d1 << d123 << d123 << false;
    for (int type : {0, -1, 14})
        QTest::addRow("code %d", type) << type << none << none << none << none << false;
}

void TestIOSContactCombineRule::lists()
{
    IOSContactCombineRule rule;
    tarnwick::test::verifyRuleLists(rule);
}

void TestIOSContactCombineRule::contract_data()
{
    QTest::addColumn<int>("type");
    for (int type = -1; type <= 15; ++type)
        QTest::addRow("type %d", type) << type;
}

void TestIOSContactCombineRule::contract()
{
    QFETCH(int, type);
    IOSContactCombineRule rule;
    tarnwick::test::verifyRuleContract(rule, type);
}

void TestIOSContactCombineRule::noListHoldsCustomProtocol()
{
    IOSContactCombineRule rule;
    for (int type = 1; type <= 13; ++type) {
        bool single = false;
        const QStringList all = rule.checkEmptyFields(type) + rule.checkEqualFieldsMin(type) +
                                rule.checkEqualFieldsFull(type) + rule.validFields(type, single);
        QVERIFY2(!all.contains(QStringLiteral("data6")), qPrintable(QString::number(type)));
    }
}

void TestIOSContactCombineRule::destroyedThroughInterface()
{
    QSharedPointer<AbsContactCombineRule> rule(new IOSContactCombineRule);
    bool single = false;
    QVERIFY(rule->validFields(pim::ENTITY_NOTE, single) == QStringList{"data1"});
    QVERIFY(single);
}

void TestIOSContactCombineRule::decisions()
{
    IOSContactCombineRule rule;

    // A birthday on the date of a stored anniversary is another entry.
    const Entity anniversary = entity({{"data1", "2001-05-04"}, {"data2", "1"}});
    const Entity birthday = entity({{"data1", "2001-05-04"}, {"data2", 3}});
    QVERIFY(!AbsContactCombineRule::isEntityEqual(anniversary, birthday,
                                                  rule.checkEqualFieldsMin(pim::ENTITY_EVENT)));
    // The sub-type written as an int matches its stored text.
    const Entity storedBirthday = entity({{"data1", "2001-05-04"}, {"data2", "3"}});
    QVERIFY(AbsContactCombineRule::isEntityEqual(storedBirthday, birthday,
                                                 rule.checkEqualFieldsMin(pim::ENTITY_EVENT)));

    // A phone whose number was emptied while its label stays is empty (reported deleted).
    QVERIFY(AbsContactCombineRule::isEntityEmpty(entity({{"data1", ""}, {"data3", "Office"}}),
                                                 rule.checkEmptyFields(pim::ENTITY_PHONE)));
    // An organisation holding only a job title is not empty.
    QVERIFY(!AbsContactCombineRule::isEntityEmpty(entity({{"data4", "CTO"}}),
                                                  rule.checkEmptyFields(pim::ENTITY_ORG)));
    // Every group membership counts as empty: the lists are empty.
    QVERIFY(AbsContactCombineRule::isEntityEmpty(entity({{"data1", "3"}, {"data2", "Friends"}}),
                                                 rule.checkEmptyFields(pim::ENTITY_GROUP)));
}

TARNWICK_TEST_MAIN(TestIOSContactCombineRule)
#include "tst_ioscontactcombinerule.moc"
