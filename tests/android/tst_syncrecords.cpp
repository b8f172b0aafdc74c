// Sub-type words, Android sync ids, id mappings and the record of one entry, written and read.
#include "TestMain.h"

#include "android/SyncContactBuilder.h"
#include "android/SyncContactParser.h"

#include "model/EntityType.h"
#include "model/EntryKeys.h"

using namespace SyncContactBuilder;
using namespace pim;

Q_DECLARE_METATYPE(pim::Entity)

namespace {

QString b(const QString &text)
{
    return QString::fromLatin1(text.toUtf8().toBase64());
}

Entity entry(quint64 id, const QString &srcId, const QMap<QString, QVariant> &values)
{
    Entity e(id, srcId);
    e.values = values;
    return e;
}

QStringList split(const QString &record)
{
    return record.split(QLatin1Char(','), Qt::KeepEmptyParts);
}

} // namespace

class TestSyncRecords : public QObject
{
    Q_OBJECT

private slots:
    void wordTableIsComplete()
    {
        const QMap<int, QString> table = entSubTypeStrMap();
        QCOMPARE(table.size(), 69);
        QCOMPARE(entSubTypeMap().size(), 69);
        for (auto it = table.cbegin(); it != table.cend(); ++it)
            QCOMPARE(entSubType(it.key() / 100, it.value()), it.key() % 100);
    }

    void words_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("word");
        QTest::newRow("phone work fax") << 3 << 4 << "work fax";
        QTest::newRow("phone 7 has none") << 3 << 7 << "";
        QTest::newRow("phone tty") << 3 << 16 << "ttytdd";
        QTest::newRow("email other") << 4 << 0 << "other";
        QTest::newRow("nickname 0 has none") << 5 << 0 << "";
        QTest::newRow("nickname 3 has none") << 5 << 3 << "";
        QTest::newRow("nickname initials") << 5 << 5 << "init";
        QTest::newRow("event birthday") << 6 << 3 << "birthday";
        QTest::newRow("relation 0 has none") << 11 << 0 << "";
        QTest::newRow("relation parent as the app spells it") << 11 << 9 << "parnet";
        QTest::newRow("relation domestic partner") << 11 << 4 << "dom partner";
        QTest::newRow("url home page") << 13 << 1 << "homepage";
        QTest::newRow("protocol google talk") << 99 << 6 << "googletalk";
        QTest::newRow("protocol 10 has none") << 99 << 10 << "";
        QTest::newRow("name has no words") << 1 << 0 << "";
    }
    void words()
    {
        QFETCH(int, type);
        QFETCH(int, code);
        QFETCH(QString, word);
        QCOMPARE(entSubTypeStr(type, code), word);
    }

    void wordLookup_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("word");
        QTest::addColumn<int>("code");
        QTest::newRow("exact") << 3 << "work fax" << 4;
        QTest::newRow("case matters") << 3 << "Work" << 0;
        QTest::newRow("blank matters") << 3 << " work" << 0;
        QTest::newRow("parnet") << 11 << "parnet" << 9;
        QTest::newRow("parent is unknown") << 11 << "parent" << 0;
        QTest::newRow("nickname other") << 5 << "other" << 2;
        QTest::newRow("email other") << 4 << "other" << 0;
        QTest::newRow("word of another type") << 4 << "mms" << 0;
        QTest::newRow("same word other type") << 13 << "home" << 4;
        QTest::newRow("protocol") << 99 << "googletalk" << 6;
        QTest::newRow("empty") << 3 << "" << 0;
    }
    void wordLookup()
    {
        QFETCH(int, type);
        QFETCH(QString, word);
        QFETCH(int, code);
        QCOMPARE(entSubType(type, word), code);
    }

    void provisionalAndKnownIds()
    {
        QCOMPARE(makeAndroidSyncId(3, 12, 12, Entity(57, QString())), QStringLiteral("3/12/12/-57"));
        QCOMPARE(makeAndroidSyncId(3, 12, 12, Entity(0, QString())), QStringLiteral("3/12/12/0"));
        QCOMPARE(makeAndroidSyncId(3, 1, 2, Entity(57, QStringLiteral("3/1520/1521/8890"))),
                 QStringLiteral("3/1520/1521/8890"));
    }

    void syncIdParsing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<qint64>("contact");
        QTest::addColumn<qint64>("data");
        QTest::newRow("provisional") << "3/12/12/-57" << true << qint64(12) << qint64(-57);
        QTest::newRow("phone id") << "1/1520/1521/8890" << true << qint64(1520) << qint64(8890);
        QTest::newRow("too wide gives 0") << "1/99999999999999999999/1/2" << true << qint64(0) << qint64(2);
        QTest::newRow("three fields") << "3/12/12" << false << qint64(0) << qint64(0);
        QTest::newRow("five fields") << "3/12/12/57/1" << false << qint64(0) << qint64(0);
        QTest::newRow("plus sign") << "+3/12/12/57" << false << qint64(0) << qint64(0);
        QTest::newRow("letter") << "3/a/12/57" << false << qint64(0) << qint64(0);
        QTest::newRow("blank before") << " 3/12/12/57" << false << qint64(0) << qint64(0);
        QTest::newRow("blank inside") << "3/12 /12/57" << false << qint64(0) << qint64(0);
        QTest::newRow("line feed after") << "3/12/12/57\n" << false << qint64(0) << qint64(0);
        QTest::newRow("empty") << "" << false << qint64(0) << qint64(0);
        QTest::newRow("non-ascii digit") << QStringLiteral("3/١/12/57") << false << qint64(0) << qint64(0);
    }
    void syncIdParsing()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(qint64, contact);
        QFETCH(qint64, data);
        int type = -5;
        qint64 c = -5, r = -5, d = -5;
        QCOMPARE(fetchIdInfo(text, &type, &c, &r, &d), valid);
        if (valid) {
            QCOMPARE(c, contact);
            QCOMPARE(d, data);
        } else {
            QCOMPARE(type, -5);
            QCOMPARE(c, qint64(-5));
        }
        QCOMPARE(fetchIdInfo(text, nullptr, nullptr, nullptr, nullptr), valid);
    }

    void idMappingsOfAnAnswer()
    {
        const QList<IdMapping> m =
            idMappings(QStringLiteral("$batch:1/12/12/-57=>1/1520/1521/8890,3/12/12/-58=>3/1520/1521/8891,"));
        QCOMPARE(m.size(), 2);
        QCOMPARE(m[0].oldId, QStringLiteral("1/12/12/-57"));
        QCOMPARE(m[0].contactId, 12ull);
        QCOMPARE(m[0].dataId, 57ull);
        QCOMPARE(m[0].newId, QStringLiteral("1/1520/1521/8890"));
        QCOMPARE(m[1].dataId, 58ull);
        QCOMPARE(m[1].newId, QStringLiteral("3/1520/1521/8891"));
        QVERIFY(idMappings(QStringLiteral("$batch:")).isEmpty());
        QCOMPARE(idMappings(QStringLiteral("$batch:junk 7/1/1/-3=>7/5/6/7 more")).size(), 1);
    }

    void goldenRecords_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<pim::Entity>("e");
        QTest::addColumn<QString>("record");
        const QString none;
        QTest::newRow("1 name") << 1
                                << entry(4, none,
                                         {{NameKey::Prefix, "Dr"},
                                          {NameKey::GivenName, "Zoë"},
                                          {NameKey::MiddleName, ""},
                                          {NameKey::FamilyName, "Ång"},
                                          {NameKey::Suffix, "Jr"},
                                          {NameKey::FullName, "x"},
                                          {NameKey::PhoneticGivenName, "p"}})
                                << "1/9/9/-4," + b("Dr") + "," + b("Zoë") + ",," + b("Ång") + "," + b("Jr");
        QTest::newRow("2 photo")
            << 2 << entry(5, none, {{PhotoKey::Image, QByteArray("\x89PNG\0", 5)}, {PhotoKey::Hash, "h"}})
            << "2/9/9/-5,iVBORwA=";
        QTest::newRow("3 phone") << 3
                                 << entry(57, none, {{ValueKey::SubType, "2"}, {ValueKey::Value, "+44 1"}})
                                 << "3/9/9/-57,mobile,," + b("+44 1");
        QTest::newRow("3 phone without a word")
            << 3 << entry(6, none, {{ValueKey::SubType, 7}, {ValueKey::Value, "1"}})
            << "3/9/9/-6,,," + b("1");
        QTest::newRow("3 phone without sub-type")
            << 3 << entry(6, none, {{ValueKey::Value, "1"}}) << "3/9/9/-6,other,," + b("1");
        QTest::newRow("4 email with label")
            << 4
            << entry(7, none,
                     {{ValueKey::SubType, "0"}, {ValueKey::Label, "Club"}, {ValueKey::Value, "a@b.c"}})
            << "4/9/9/-7,other," + b("Club") + "," + b("a@b.c");
        QTest::newRow("5 nickname") << 5
                                    << entry(8, none, {{ValueKey::SubType, "4"}, {ValueKey::Value, "Bo"}})
                                    << "5/9/9/-8,short,," + b("Bo");
        QTest::newRow("5 nickname 0")
            << 5 << entry(8, none, {{ValueKey::Value, "Bo"}}) << "5/9/9/-8,,," + b("Bo");
        QTest::newRow("6 event date")
            << 6 << entry(9, none, {{ValueKey::SubType, "3"}, {ValueKey::Value, "1980-05-17"}})
            << "6/9/9/-9,birthday,,1980-05-17";
        QTest::newRow("6 event date-time")
            << 6 << entry(9, none, {{ValueKey::SubType, "1"}, {ValueKey::Value, "1980-05-17T10:30:00"}})
            << "6/9/9/-9,anniversary,,1980-05-17";
        QTest::newRow("6 event with zone keeps its day")
            << 6 << entry(9, none, {{ValueKey::SubType, "3"}, {ValueKey::Value, "1980-05-17T23:30:00-05:00"}})
            << "6/9/9/-9,birthday,,1980-05-17";
        QTest::newRow("6 event without year")
            << 6 << entry(9, none, {{ValueKey::SubType, "3"}, {ValueKey::Value, "--05-17"}})
            << "6/9/9/-9,birthday,,";
        QTest::newRow("6 event empty")
            << 6 << entry(9, none, {{ValueKey::SubType, "3"}}) << "6/9/9/-9,birthday,,";
        QTest::newRow("7 group") << 7
                                 << entry(10, none,
                                          {{GroupKey::GroupId, "3"}, {GroupKey::GroupName, "Family"}})
                                 << "7/9/9/-10," + b("Family");
        QTest::newRow("8 im") << 8
                              << entry(11, none,
                                       {{ImKey::SubType, "2"},
                                        {ImKey::Protocol, "4"},
                                        {ImKey::CustomProtocol, ""},
                                        {ImKey::Account, "bo.k"}})
                              << "8/9/9/-11,work,,skype,," + b("bo.k");
        QTest::newRow("8 im protocol without a word")
            << 8
            << entry(11, none,
                     {{ImKey::Protocol, "11"}, {ImKey::CustomProtocol, "Fb"}, {ImKey::Account, "x"}})
            << "8/9/9/-11,other,,," + b("Fb") + "," + b("x");
        QTest::newRow("9 note") << 9 << entry(12, none, {{NoteKey::Text, "line 1\nline, 2"}})
                                << "9/9/9/-12," + b("line 1\nline, 2");
        QTest::newRow("10 org") << 10
                                << entry(13, none,
                                         {{OrgKey::SubType, "1"},
                                          {OrgKey::Company, "Acme"},
                                          {OrgKey::JobTitle, "Boss"},
                                          {OrgKey::Department, "R&D"}})
                                << "10/9/9/-13,work,," + b("Acme") + "," + b("R&D") + "," + b("Boss");
        QTest::newRow("11 relation") << 11
                                     << entry(14, none, {{ValueKey::SubType, "9"}, {ValueKey::Value, "Ma"}})
                                     << "11/9/9/-14,parnet,," + b("Ma");
        QTest::newRow("12 address") << 12
                                    << entry(15, none,
                                             {{AddrKey::SubType, "1"},
                                              {AddrKey::Street, "1 Rue"},
                                              {AddrKey::City, "Lyon"},
                                              {AddrKey::State, "ARA"},
                                              {AddrKey::Postcode, "69001"},
                                              {AddrKey::Country, "France"},
                                              {AddrKey::CountryCode, "FR"},
                                              {AddrKey::Formatted, "ignored"}})
                                    << "12/9/9/-15,home,," + b("France") + "," + b("ARA") + "," + b("Lyon") +
                                           "," + b("1 Rue") + "," + b("69001");
        QTest::newRow("13 website") << 13
                                    << entry(16, none,
                                             {{ValueKey::SubType, "6"}, {ValueKey::Value, "ftp://x"}})
                                    << "13/9/9/-16,ftp,," + b("ftp://x");
        QTest::newRow("known entry keeps its id")
            << 3 << entry(16, "3/1520/1521/8890", {{ValueKey::SubType, "1"}}) << "3/1520/1521/8890,home,,";
        QTest::newRow("14 has no fields") << 14 << entry(17, none, {{ValueKey::Value, "x"}}) << "14/9/9/-17";
    }
    void goldenRecords()
    {
        QFETCH(int, type);
        QFETCH(pim::Entity, e);
        QFETCH(QString, record);
        QCOMPARE(entitySyncCmd(type, 9, 9, e), record);
    }

    void readerQuirks_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("record");
        QTest::addColumn<QVariantMap>("values");
        QTest::newRow("phone word") << 3 << "3/1/1/5,work,," + b("+1 5")
                                    << QVariantMap{{"data2", 3}, {"data3", ""}, {"data1", "+1 5"}};
        QTest::newRow("label overrides the word")
            << 3 << "3/1/1/5,work," + b("Boat") + "," + b("9")
            << QVariantMap{{"data2", 0}, {"data3", "Boat"}, {"data1", "9"}};
        QTest::newRow("unknown word")
            << 3 << "3/1/1/5,Work,," << QVariantMap{{"data2", 0}, {"data3", ""}, {"data1", ""}};
        QTest::newRow("trailing comma keeps an empty field")
            << 3 << "3/1/1/5,home,," << QVariantMap{{"data2", 1}, {"data3", ""}, {"data1", ""}};
        QTest::newRow("too few fields") << 3 << "3/1/1/5,home" << QVariantMap{{"data2", 1}};
        QTest::newRow("extra fields ignored")
            << 9 << "9/1/1/5," + b("n") + ",zzz,yyy" << QVariantMap{{"data1", "n"}};
        QTest::newRow("nickname ignores word and label")
            << 5 << "5/1/1/5,short," + b("L") + "," + b("Bo") << QVariantMap{{"data2", 1}, {"data1", "Bo"}};
        QTest::newRow("short nickname") << 5 << "5/1/1/5,short" << QVariantMap{{"data2", 1}};
        QTest::newRow("event midnight")
            << 6 << "6/1/1/5,birthday,,1980-05-17"
            << QVariantMap{{"data2", 3}, {"data3", ""}, {"data1", "1980-05-17T00:00:00"}};
        QTest::newRow("event not a date")
            << 6 << "6/1/1/5,birthday,,17.05.1980" << QVariantMap{{"data2", 3}, {"data3", ""}, {"data1", ""}};
        QTest::newRow("name alone") << 1 << "1/1/1/5" << QVariantMap{{"data1", ""}};
        QTest::newRow("name two fields")
            << 1 << "1/1/1/5," + b("Dr") + "," + b("Ann")
            << QVariantMap{{"data5", "Dr"}, {"data2", "Ann"}, {"data1", "Dr Ann"}};
        QTest::newRow("name full") << 1 << "1/1/1/5,," + b("José") + ",," + b("Núñez") + ","
                                   << QVariantMap{{"data5", ""}, {"data2", "José"},
                                                  {"data4", ""}, {"data3", "Núñez"},
                                                  {"data6", ""}, {"data1", "José Núñez"}};
        QTest::newRow("address") << 12
                                 << "12/1/1/5,work,," + b("UK") + ",," + b("Leeds") + "," + b("1 Lane") +
                                        "," + b("LS1")
                                 << QVariantMap{{"data2", 2},       {"data3", ""},
                                                {"data10", "UK"},   {"data8", ""},
                                                {"data7", "Leeds"}, {"data4", "1 Lane"},
                                                {"data9", "LS1"},   {"data1", "1 Lane\nLeeds, LS1\nUK"}};
        QTest::newRow("im custom protocol overrides the word")
            << 8 << "8/1/1/5,home,,skype," + b("Matrix") + "," + b("@a:b")
            << QVariantMap{{"data2", 1}, {"data3", ""}, {"data5", 0}, {"data6", "Matrix"}, {"data1", "@a:b"}};
        QTest::newRow("im protocol word")
            << 8 << "8/1/1/5,home,,skype,," + b("a")
            << QVariantMap{{"data2", 1}, {"data3", ""}, {"data5", 4}, {"data6", ""}, {"data1", "a"}};
        QTest::newRow("group name only") << 7 << "7/1/1/5," + b("Work") << QVariantMap{{"data2", "Work"}};
        QTest::newRow("text cut at nul")
            << 9 << "9/1/1/5," + QString::fromLatin1(QByteArray("ab\0c", 4).toBase64())
            << QVariantMap{{"data1", "ab"}};
        QTest::newRow("type 14 sets nothing") << 14 << "14/1/1/5,a,b" << QVariantMap{};
    }
    void readerQuirks()
    {
        QFETCH(int, type);
        QFETCH(QString, record);
        QFETCH(QVariantMap, values);
        Entity e(0, QStringLiteral("keep"));
        SyncContactParser::fillEntityInfo(split(record), type, e);
        QCOMPARE(e.srcId, QStringLiteral("keep"));
        QCOMPARE(e.id, 0ull);
        QCOMPARE(QStringList(e.values.keys()), QStringList(values.keys()));
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            QCOMPARE(e.values.value(it.key()).toString(), it.value().toString());
    }

    void photoBytesSurviveTheRoundTrip()
    {
        QByteArray image(70000, '\0');
        for (int i = 0; i < image.size(); ++i)
            image[i] = char(i * 13 + 1);
        const Entity photo = entry(3, QString(), {{PhotoKey::Image, image}});
        Entity back;
        SyncContactParser::fillEntityInfo(split(entitySyncCmd(ENTITY_PHOTO, 1, 1, photo)), ENTITY_PHOTO,
                                          back);
        QCOMPARE(back.values.value(PhotoKey::Image).toByteArray(), image);
    }

    // What a round trip through the phone's record keeps of every type's typical entry.
    void writtenRecordsReadBack()
    {
        const QList<QPair<int, Entity>> entries = {
            {ENTITY_NAME, entry(1, {}, {{NameKey::GivenName, "Ann"}, {NameKey::FamilyName, "Lee"}})},
            {ENTITY_PHONE,
             entry(2, {}, {{ValueKey::SubType, 17}, {ValueKey::Value, "+1"}, {ValueKey::Label, ""}})},
            {ENTITY_EMAIL,
             entry(3, {}, {{ValueKey::SubType, 0}, {ValueKey::Value, "a@b"}, {ValueKey::Label, "Club"}})},
            {ENTITY_URL,
             entry(4, {}, {{ValueKey::SubType, 2}, {ValueKey::Value, "http://x"}, {ValueKey::Label, ""}})},
            {ENTITY_REL,
             entry(5, {}, {{ValueKey::SubType, 14}, {ValueKey::Value, "Kim"}, {ValueKey::Label, ""}})},
            {ENTITY_NOTE, entry(6, {}, {{NoteKey::Text, "ünïcode, commas\nand lines"}})},
        };
        for (const auto &[type, e] : entries) {
            Entity back;
            SyncContactParser::fillEntityInfo(split(entitySyncCmd(type, 1, 1, e)), type, back);
            for (auto it = e.values.cbegin(); it != e.values.cend(); ++it)
                QCOMPARE(back.values.value(it.key()).toString(), it.value().toString());
        }
    }
};

TARNWICK_TEST_MAIN(TestSyncRecords)
#include "tst_syncrecords.moc"
