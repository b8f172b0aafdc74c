#include "model/Contact.h"
#include "model/Entity.h"
#include "model/EntityType.h"
#include "model/Group.h"

#include "EntityFixtures.h"
#include "TestMain.h"

#include <QCryptographicHash>

#include <algorithm>

using pim::Entity;
using tarnwick::test::entity;

namespace {

Entity phone(const QVariant &subType)
{
    Entity e;
    e.values.insert(QStringLiteral("data1"), QStringLiteral("+1 555 0100"));
    if (subType.isValid())
        e.values.insert(QStringLiteral("data2"), subType);
    return e;
}

} // namespace

class TestEntity : public QObject
{
    Q_OBJECT

private slots:
    void constructors();
    void fullName_data();
    void fullName();
    void fullNameIgnoresStoredAndPhoneticColumns();
    void formattedAddr_data();
    void formattedAddr();
    void shownAddr_data();
    void shownAddr();
    void photoHash_data();
    void photoHash();
    void photoHashOfEntry();
    void photoHashFollowsChangedBytes();
    void phonePriority_data();
    void phonePriority();
    void phoneSortPutsMobileFirst();
    void copiesAreIndependent();
};

void TestEntity::constructors()
{
    const Entity empty;
    QVERIFY(empty.values.isEmpty());
    QCOMPARE(empty.id, 0ULL);
    QVERIFY(empty.srcId.isEmpty());

    const Entity stored(18446744073709551615ULL, QStringLiteral("3/4/5/6"));
    QVERIFY(stored.values.isEmpty());
    QCOMPARE(stored.id, 18446744073709551615ULL);
    QCOMPARE(stored.srcId, QStringLiteral("3/4/5/6"));

    const pim::_Contact c;
    QCOMPARE(c.id, 0ULL);
    QVERIFY(c.srcId.isEmpty() && c.fullName.isEmpty() && c.entities.isEmpty());
    const pim::_Contact c2(7, QStringLiteral("abc"), QStringLiteral("Ann Lee"));
    QCOMPARE(c2.id, 7ULL);
    QCOMPARE(c2.srcId, QStringLiteral("abc"));
    QCOMPARE(c2.fullName, QStringLiteral("Ann Lee"));
    QVERIFY(c2.entities.isEmpty());

    const pim::_Group g;
    QCOMPARE(g.id, 0ULL);
    QVERIFY(g.name.isEmpty());
    const pim::_Group g2(3, QStringLiteral("Friends"));
    QCOMPARE(g2.id, 3ULL);
    QCOMPARE(g2.name, QStringLiteral("Friends"));
}

void TestEntity::fullName_data()
{
    QTest::addColumn<QVariantMap>("values");
    QTest::addColumn<QString>("expected");

    // Keys: data5 prefix, data2 first, data4 middle, data3 last, data6 suffix.
    QTest::newRow("none") << QVariantMap{} << QString();
    QTest::newRow("all empty") << QVariantMap{{"data2", ""}, {"data3", ""}, {"data5", ""}} << QString();
    QTest::newRow("all five") << QVariantMap{{"data5", "Dr."},
                                             {"data2", "John"},
                                             {"data4", "Q"},
                                             {"data3", "Public"},
                                             {"data6", "Jr."}}
                              << QStringLiteral("Dr. John Q Public Jr.");
    QTest::newRow("suffix only") << QVariantMap{{"data6", "III"}} << QStringLiteral("III");
    QTest::newRow("first and last") << QVariantMap{{"data2", "Ann"}, {"data3", "Lee"}}
                                    << QStringLiteral("Ann Lee");
    QTest::newRow("parts not trimmed one by one")
        << QVariantMap{{"data2", "Ann "}, {"data3", "Lee"}} << QStringLiteral("Ann  Lee");
    QTest::newRow("whole result trimmed")
        << QVariantMap{{"data5", "\t "}, {"data2", "Ann"}, {"data6", " \n"}} << QStringLiteral("Ann");
    QTest::newRow("blank part still gets its blank")
        << QVariantMap{{"data2", "Ann"}, {"data4", " "}, {"data3", "Lee"}} << QStringLiteral("Ann   Lee");
    QTest::newRow("order is western whatever the script")
        << QVariantMap{{"data2", QString::fromUtf8("太郎")}, {"data3", QString::fromUtf8("山田")}}
        << QString::fromUtf8("太郎 山田");
    QTest::newRow("number reads as decimal text")
        << QVariantMap{{"data2", 42}, {"data3", "Lee"}} << QStringLiteral("42 Lee");
    QTest::newRow("unicode space trimmed")
        << QVariantMap{{"data2", QString(QChar(0x3000)) + "Ann"}} << QStringLiteral("Ann");
}

void TestEntity::fullName()
{
    QFETCH(QVariantMap, values);
    QFETCH(QString, expected);
    QCOMPARE(entity(values).fullName(), expected);
}

void TestEntity::fullNameIgnoresStoredAndPhoneticColumns()
{
    Entity e = entity({{"data2", "Ann"}, {"data3", "Lee"}});
    const QString before = e.fullName();
    e.values.insert("data1", "Somebody Else");
    e.values.insert("data7", "an");
    e.values.insert("data8", "li");
    QCOMPARE(e.fullName(), before);
}

void TestEntity::formattedAddr_data()
{
    QTest::addColumn<QVariantMap>("values");
    QTest::addColumn<QString>("expected");

    const QVariantMap all{{"data4", "1 Main St"}, {"data7", "Springfield"}, {"data8", "IL"},
                          {"data9", "62701"},     {"data10", "USA"},        {"data11", "US"},
                          {"data1", "stale"},     {"data2", "1"},           {"data3", "x"},
                          {"data5", "po box"},    {"data6", "area"}};
    auto only = [&all](const QStringList &keys) {
        QVariantMap m;
        for (const QString &k : keys)
            m.insert(k, all.value(k));
        return m;
    };

    QTest::newRow("all five") << all << QStringLiteral("1 Main St\nSpringfield, IL 62701\nUSA");
    QTest::newRow("street city postcode")
        << only({"data4", "data7", "data9"}) << QStringLiteral("1 Main St\nSpringfield, 62701");
    QTest::newRow("street city") << only({"data4", "data7"}) << QStringLiteral("1 Main St\nSpringfield");
    QTest::newRow("street state postcode")
        << only({"data4", "data8", "data9"}) << QStringLiteral("1 Main St\n IL 62701");
    QTest::newRow("state postcode") << only({"data8", "data9"}) << QStringLiteral("IL 62701");
    QTest::newRow("city country") << only({"data7", "data10"}) << QStringLiteral("Springfield\nUSA");
    QTest::newRow("city only") << only({"data7"}) << QStringLiteral("Springfield");
    QTest::newRow("city state") << only({"data7", "data8"}) << QStringLiteral("Springfield, IL");
    QTest::newRow("street postcode") << only({"data4", "data9"}) << QStringLiteral("1 Main St");
    QTest::newRow("street postcode country")
        << only({"data4", "data9", "data10"}) << QStringLiteral("1 Main St\nUSA");
    QTest::newRow("postcode country") << only({"data9", "data10"}) << QStringLiteral("USA");
    QTest::newRow("country") << only({"data10"}) << QStringLiteral("USA");
    QTest::newRow("none") << QVariantMap{} << QString();
    QTest::newRow("unused columns only")
        << only({"data1", "data2", "data3", "data5", "data6", "data11"}) << QString();
    QTest::newRow("inner line breaks stay")
        << QVariantMap{{"data4", "Flat 2\r\nHouse"}, {"data7", "Leeds "}, {"data10", " UK"}}
        << QStringLiteral("Flat 2\r\nHouse\nLeeds \n UK");
    QTest::newRow("numeric postcode")
        << QVariantMap{{"data7", "Bonn"}, {"data9", 53111}} << QStringLiteral("Bonn, 53111");
}

void TestEntity::formattedAddr()
{
    QFETCH(QVariantMap, values);
    QFETCH(QString, expected);
    QCOMPARE(entity(values).formattedAddr(), expected);
}

void TestEntity::shownAddr_data()
{
    QTest::addColumn<QVariantMap>("values");
    QTest::addColumn<QString>("expected");

    QTest::newRow("parts win over stored text")
        << QVariantMap{{"data1", "stale"}, {"data4", "1 Main St"}, {"data7", "Leeds"}}
        << QStringLiteral("1 Main St\nLeeds");
    QTest::newRow("free text alone")
        << QVariantMap{{"data1", "Flat 2, 5 High St\nLeeds LS1"}}
        << QStringLiteral("Flat 2, 5 High St\nLeeds LS1");
    QTest::newRow("free text beside unused columns")
        << QVariantMap{{"data1", " Hauptstr. 1 "}, {"data2", "1"}, {"data11", "DE"}}
        << QStringLiteral("Hauptstr. 1");
    QTest::newRow("nothing") << QVariantMap{} << QString();
}

void TestEntity::shownAddr()
{
    QFETCH(QVariantMap, values);
    QFETCH(QString, expected);
    QCOMPARE(entity(values).shownAddr(), expected);
}

void TestEntity::photoHash_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    // Known MD5 digests, in Base64.
    QTest::newRow("empty") << QByteArray() << QStringLiteral("1B2M2Y8AsgTpgAmY7PhCfg==");
    QTest::newRow("abc") << QByteArray("abc") << QStringLiteral("kAFQmDzST7DWlj99KOF/cg==");
    QTest::newRow("binary with NUL")
        << QByteArray("\x00\xff\x00", 3)
        << QString::fromLatin1(
               QCryptographicHash::hash(QByteArray("\x00\xff\x00", 3), QCryptographicHash::Md5).toBase64());
}

void TestEntity::photoHash()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    const QString hash = Entity::photoHash(bytes);
    QCOMPARE(hash, expected);
    QCOMPARE(hash.size(), 24);
    QVERIFY(hash.endsWith(QLatin1String("==")));
}

void TestEntity::photoHashOfEntry()
{
    Entity photo;
    QCOMPARE(photo.photoHash(), Entity::photoHash(QByteArray()));

    photo.values.insert("data15", QByteArray("\x89PNG\r\n", 6));
    photo.values.insert("data4", "stale hash");
    QCOMPARE(photo.photoHash(), Entity::photoHash(QByteArray("\x89PNG\r\n", 6)));

    Entity twin;
    twin.values.insert("data15", QByteArray("\x89PNG\r\n", 6));
    QCOMPARE(twin.photoHash(), photo.photoHash());
}

// The hash of the bytes last hashed is kept; a copy changed in place, a part of the same buffer
// or bytes over memory that is not Qt's must each be hashed afresh.
void TestEntity::photoHashFollowsChangedBytes()
{
    const auto md5 = [](const QByteArray &b) {
        return QString::fromLatin1(QCryptographicHash::hash(b, QCryptographicHash::Md5).toBase64());
    };
    QByteArray bytes(4096, 'a');
    const QString first = Entity::photoHash(bytes);
    QCOMPARE(first, md5(QByteArray(4096, 'a')));

    QByteArray shared = bytes;
    shared[0] = 'b';
    QCOMPARE(Entity::photoHash(shared), md5(shared));
    QCOMPARE(Entity::photoHash(bytes), first);

    bytes[10] = 'c';
    QCOMPARE(Entity::photoHash(bytes), md5(bytes));

    const QByteArray head = bytes.first(100);
    QCOMPARE(Entity::photoHash(head), md5(bytes.left(100)));

    char raw[8] = {'r', 'a', 'w', 'r', 'a', 'w', 'r', 'a'};
    const QByteArray outside = QByteArray::fromRawData(raw, sizeof raw);
    const QString before = Entity::photoHash(outside);
    raw[0] = 'X';
    QCOMPARE(Entity::photoHash(outside), md5(QByteArray(raw, sizeof raw)));
    QVERIFY(Entity::photoHash(outside) != before);
}

void TestEntity::phonePriority_data()
{
    QTest::addColumn<QVariant>("a");
    QTest::addColumn<QVariant>("b");
    QTest::addColumn<bool>("aLess");
    QTest::addColumn<bool>("bLess");

    const QVariant none;
    QTest::newRow("mobile < main") << QVariant("2") << QVariant("12") << true << false;
    QTest::newRow("main < home") << QVariant("12") << QVariant("1") << true << false;
    QTest::newRow("home < work") << QVariant("1") << QVariant("3") << true << false;
    QTest::newRow("work < other") << QVariant("3") << QVariant("0") << true << false;
    QTest::newRow("work < missing") << QVariant("3") << none << true << false;
    QTest::newRow("mobile as int") << QVariant(2) << QVariant("1") << true << false;
    QTest::newRow("work mobile ranks with others") << QVariant("17") << QVariant("4") << false << false;
    QTest::newRow("non-numeric is other") << QVariant("mobile") << QVariant("20") << false << false;
    QTest::newRow("two mobiles are equivalent") << QVariant("2") << QVariant(2) << false << false;
    QTest::newRow("missing vs other") << none << QVariant("0") << false << false;
}

void TestEntity::phonePriority()
{
    QFETCH(QVariant, a);
    QFETCH(QVariant, b);
    QFETCH(bool, aLess);
    QFETCH(bool, bLess);
    QCOMPARE(pim::comparePhoneLess(phone(a), phone(b)), aLess);
    QCOMPARE(pim::comparePhoneLess(phone(b), phone(a)), bLess);
}

void TestEntity::phoneSortPutsMobileFirst()
{
    QList<Entity> phones{phone("17"), phone("3"), phone(QVariant()), phone("1"), phone("12"), phone("2")};
    std::sort(phones.begin(), phones.end(), pim::comparePhoneLess);
    QStringList order;
    for (const Entity &p : std::as_const(phones))
        order << p.values.value("data2").toString();
    QCOMPARE(order.mid(0, 4), (QStringList{"2", "12", "1", "3"}));
    QCOMPARE(QSet<QString>(order.begin() + 4, order.end()), (QSet<QString>{"17", QString()}));
}

void TestEntity::copiesAreIndependent()
{
    pim::_Contact original(1, QStringLiteral("src"), QStringLiteral("Ann Lee"));
    Entity e(5, QStringLiteral("e5"));
    e.values.insert("data1", "+1 555 0100");
    original.entities[pim::ENTITY_PHONE].append(e);

    pim::_Contact copy = original;
    copy.entities[pim::ENTITY_PHONE][0].values["data1"] = "changed";
    copy.entities[pim::ENTITY_PHONE][0].id = 99;
    copy.entities[pim::ENTITY_EMAIL].append(Entity());
    copy.fullName = "Other";
    copy.id = 2;

    QCOMPARE(original.id, 1ULL);
    QCOMPARE(original.fullName, QStringLiteral("Ann Lee"));
    QCOMPARE(original.entities.size(), 1);
    QCOMPARE(original.entities[pim::ENTITY_PHONE].size(), 1);
    QCOMPARE(original.entities[pim::ENTITY_PHONE][0].values.value("data1").toString(),
             QStringLiteral("+1 555 0100"));
    QCOMPARE(original.entities[pim::ENTITY_PHONE][0].id, 5ULL);

    Entity assigned;
    assigned = e;
    assigned.values.remove("data1");
    assigned.srcId = "other";
    QVERIFY(e.values.contains("data1"));
    QCOMPARE(e.srcId, QStringLiteral("e5"));

    pim::_Group g(1, "Friends");
    pim::_Group g2 = g;
    g2.name += "!";
    QCOMPARE(g.name, QStringLiteral("Friends"));

    // Entities of one type iterate by ascending type code.
    pim::_Contact c;
    c.entities[pim::ENTITY_URL];
    c.entities[pim::ENTITY_NAME];
    c.entities[pim::ENTITY_PHONE];
    QCOMPARE(c.entities.keys(), (QList<int>{pim::ENTITY_NAME, pim::ENTITY_PHONE, pim::ENTITY_URL}));
}

TARNWICK_TEST_MAIN(TestEntity)
#include "tst_entity.moc"
