#include "fileio/VCardImport.h"

#include "EntityFixtures.h"
#include "ExceptionText.h"
#include "TestMain.h"

#include "model/EntityType.h"
#include "model/EntryKeys.h"

#include <QRegularExpression>
#include <QTemporaryDir>

using tarnwick::test::render;

namespace {

pim::_Contact readCard(const QByteArray &body, const QByteArray &version = "3.0")
{
    const auto cards =
        QVCardParser::parse("BEGIN:VCARD\r\nVERSION:" + version + "\r\n" + body + "\r\nEND:VCARD\r\n");
    return cards.isEmpty() ? pim::_Contact() : VCardImport::toContact(cards.first());
}

QList<pim::_Contact> readFile(const QString &path)
{
    VCardImport reader;
    reader.initialize(path);
    QList<pim::_Contact> out;
    while (reader.hasNext())
        out << reader.nextContact();
    return out;
}

} // namespace

class TestVCardImport : public QObject
{
    Q_OBJECT

private slots:
    void properties_data();
    void properties();
    void typeWords_data();
    void typeWords();
    void photo_data();
    void photo();
    void fixture_data();
    void fixture();
    void readerContract();
};

void TestVCardImport::properties_data()
{
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("fullName");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("N in the standard order")
        << QByteArray("3.0") << QByteArray("N:Doe;John;Q;Dr;Jr") << QStringLiteral("Dr John Q Doe Jr")
        << QStringList{"1|data1=Dr John Q Doe Jr|data2=John|data3=Doe|data4=Q|data5=Dr|data6=Jr"};
    QTest::newRow("N in a 2.1 card with a charset")
        << QByteArray("2.1") << QByteArray("N;CHARSET=UTF-8:Doe;John\r\nFN:John Doe")
        << QStringLiteral("John Doe") << QStringList{"1|data1=John Doe|data2=John|data3=Doe"};
    QTest::newRow("N with an escaped semicolon")
        << QByteArray("3.0") << QByteArray("N:Doe\\;Roe;Ann;;;") << QStringLiteral("Ann Doe;Roe")
        << QStringList{"1|data1=Ann Doe;Roe|data2=Ann|data3=Doe;Roe"};
    QTest::newRow("a second N changes the parts it has")
        << QByteArray("3.0") << QByteArray("N:Doe;John;Q;;\r\nN:Roe;Jane") << QStringLiteral("Jane Q Roe")
        << QStringList{"1|data1=Jane Q Roe|data2=Jane|data3=Roe|data4=Q"};
    QTest::newRow("program's older given-first card")
        << QByteArray("3.0") << QByteArray("N;CHARSET=UTF-8:John;Smith;;;\r\nFN;CHARSET=UTF-8:John  Smith ")
        << QStringLiteral("John  Smith") << QStringList{"1|data1=John  Smith|data2=John|data3=Smith"};
    QTest::newRow("charset on N but FN in the standard order")
        << QByteArray("3.0") << QByteArray("N;CHARSET=UTF-8:Smith;John;;;\r\nFN:John Smith")
        << QStringLiteral("John Smith") << QStringList{"1|data1=John Smith|data2=John|data3=Smith"};
    QTest::newRow("empty N: the formatted name")
        << QByteArray("3.0") << QByteArray("N:;;;;\r\nFN:ACME Inc.") << QStringLiteral("ACME Inc.")
        << QStringList{"1|data1=ACME Inc."};
    QTest::newRow("FN without N") << QByteArray("4.0") << QByteArray("FN:  Solo   Name ")
                                  << QStringLiteral("Solo   Name") << QStringList{"1|data1=Solo   Name"};
    // The formatted name is the contact's name as its writer shows it, whatever N holds.
    QTest::newRow("FN with punctuation N cannot rebuild")
        << QByteArray("3.0") << QByteArray("N:Lee;Ann;B.;Dr.;III\r\nFN:Dr. Ann B. Lee\\, III")
        << QStringLiteral("Dr. Ann B. Lee, III")
        << QStringList{"1|data1=Dr. Ann B. Lee, III|data2=Ann|data3=Lee|data4=B.|data5=Dr.|data6=III"};
    QTest::newRow("family-first FN") << QByteArray("3.0")
                                     << QByteArray("FN:Wang Xiaoming\r\nN:Wang;Xiaoming;;;")
                                     << QStringLiteral("Wang Xiaoming")
                                     << QStringList{"1|data1=Wang Xiaoming|data2=Xiaoming|data3=Wang"};
    QTest::newRow("company card: empty N, FN kept")
        << QByteArray("3.0") << QByteArray("FN:ACME\\, Inc.\\; Ltd\r\nN:;;;;\r\nORG:ACME\\, Inc.;;;")
        << QStringLiteral("ACME, Inc.; Ltd") << QStringList{"1|data1=ACME, Inc.; Ltd", "10|data1=ACME, Inc."};
    QTest::newRow("escaped separators in text values")
        << QByteArray("3.0")
        << QByteArray("NICKNAME:Taro\\, \"T\"\r\nTITLE:Boss\\; CEO\r\nCATEGORIES:Golf\\, Tennis\r\n"
                      "X-IM:a\\;b\\\\c\r\nitem1.X-REL:Kim\\, Lee\r\nitem1.X-ABLabel:Coach\\, old")
        << QString()
        << QStringList{"5|data1=Taro, \"T\"", "7|data2=Golf, Tennis", "8|data1=a;b\\c|data2=1|data5=0",
                       "10|data4=Boss; CEO", "11|data1=Kim, Lee|data2=0|data3=Coach, old"};
    // Numbers and links are no text: only the escapes some writers put before ":", "," and ";"
    // are undone, every other backslash belongs to them.
    QTest::newRow("links and numbers keep their backslashes")
        << QByteArray("3.0")
        << QByteArray("TEL;TYPE=cell:555\\,1\\n2\r\nURL;TYPE=work:file:///C:\\new\\table\\,x") << QString()
        << QStringList{"3|data1=555,1\\n2|data2=2", "13|data1=file:///C:\\new\\table,x|data2=5"};
    // The program's current cards escape quoted-printable text too (N without a CHARSET says so);
    // its older ones and 2.1 writers wrote backslashes bare.
    QTest::newRow("quoted-printable text of a card with a plain N is escaped")
        << QByteArray("3.0")
        << QByteArray("FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:A\\,=0AB\r\nN:;;;;\r\n"
                      "NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:C:\\\\new\\\\table\\,=201\\;2")
        << QStringLiteral("A,\nB") << QStringList{"1|data1=A,\nB", "9|data1=C:\\new\\table, 1;2"};
    QTest::newRow("quoted-printable text of an older own card is bare")
        << QByteArray("3.0")
        << QByteArray("FN;CHARSET=UTF-8:X\r\nN;CHARSET=UTF-8:X;;;;\r\n"
                      "NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:C:\\new\\table,=201;2")
        << QStringLiteral("X") << QStringList{"1|data1=X|data2=X", "9|data1=C:\\new\\table, 1;2"};
    QTest::newRow("quoted-printable text of a card without N is bare")
        << QByteArray("3.0") << QByteArray("FN:X\r\nNOTE;ENCODING=QUOTED-PRINTABLE:C:\\new")
        << QStringLiteral("X") << QStringList{"1|data1=X", "9|data1=C:\\new"};
    QTest::newRow("no name at all") << QByteArray("3.0") << QByteArray("TEL:1") << QString()
                                    << QStringList{"3|data1=1|data2=2"};

    QTest::newRow("two phones in file order")
        << QByteArray("3.0") << QByteArray("TEL;TYPE=home:1\r\nTEL;TYPE=work:2") << QString()
        << QStringList{"3|data1=1|data2=1", "3|data1=2|data2=3"};
    QTest::newRow("4.0 tel link") << QByteArray("4.0") << QByteArray("TEL;VALUE=uri;TYPE=cell:tel:+1-555")
                                  << QString() << QStringList{"3|data1=+1-555|data2=2"};
    QTest::newRow("names are case-free, groups ignored for the kind")
        << QByteArray("3.0") << QByteArray("tel;type=work:1\r\nitem7.Email:a@b") << QString()
        << QStringList{"3|data1=1|data2=3", "4|data1=a@b|data2=1"};
    QTest::newRow("group label of the table")
        << QByteArray("3.0") << QByteArray("item1.TEL:1\r\nitem1.X-ABLabel:_$!<Main>!$_") << QString()
        << QStringList{"3|data1=1|data2=12"};
    QTest::newRow("group label of its own")
        << QByteArray("3.0") << QByteArray("ITEM2.TEL;type=cell:1\r\nitem2.X-ABLabel:Boat") << QString()
        << QStringList{"3|data1=1|data2=0|data3=Boat"};
    QTest::newRow("every nickname, note and group line")
        << QByteArray("3.0")
        << QByteArray("NICKNAME:Bo\r\nNICKNAME:Bobby\r\nNOTE:one\r\nNOTE:two\\nlines\r\n"
                      "CATEGORIES:Friends,Work\r\nCATEGORIES:Golf")
        << QString() << QStringList{"5|data1=Bo",   "5|data1=Bobby", "7|data2=Friends",   "7|data2=Work",
                                    "7|data2=Golf", "9|data1=one",   "9|data1=two\nlines"};
    QTest::newRow("groups: a list, escaped commas inside names")
        << QByteArray("3.0") << QByteArray("CATEGORIES:Golf\\, Tennis,Work\\\\Play") << QString()
        << QStringList{"7|data2=Golf, Tennis", "7|data2=Work\\Play"};
    QTest::newRow("groups of the program's older cards: one per line, commas inside")
        << QByteArray("3.0")
        << QByteArray("FN:A\r\nN;CHARSET=UTF-8:A;;;;\r\nCATEGORIES;CHARSET=UTF-8:Golf, Tennis")
        << QStringLiteral("A") << QStringList{"1|data1=A|data2=A", "7|data2=Golf, Tennis"};
    QTest::newRow("phonetic names")
        << QByteArray("3.0")
        << QByteArray("N:Yamada;Taro;;;\r\nX-PHONETIC-FIRST-NAME:たろう\r\nX-PHONETIC-LAST-NAME:やまだ")
        << QStringLiteral("Taro Yamada")
        << QStringList{"1|data1=Taro Yamada|data2=Taro|data3=Yamada|data7=たろう|data8=やまだ"};
    QTest::newRow("address as one text: street and its label line")
        << QByteArray("3.0")
        << QByteArray("ADR;TYPE=home:;;1 Elm St\\nTown;;;;\r\nLABEL;TYPE=home:1 Elm St\\nTown") << QString()
        << QStringList{"12|data1=1 Elm St\nTown|data2=1"};
    QTest::newRow("address with a street only and no label line")
        << QByteArray("3.0") << QByteArray("ADR;TYPE=home:;;1 Elm St;;;;") << QString()
        << QStringList{"12|data1=1 Elm St|data2=1|data4=1 Elm St"};
    QTest::newRow("2.1 note keeps its backslash")
        << QByteArray("2.1") << QByteArray("NOTE:C:\\new") << QString() << QStringList{"9|data1=C:\\new"};
    QTest::newRow("ORG then TITLE, then another ORG")
        << QByteArray("3.0") << QByteArray("ORG:ACME;Sales\r\nTITLE:Boss\r\nORG:Other Co") << QString()
        << QStringList{"10|data1=ACME|data4=Boss|data5=Sales", "10|data1=Other Co"};
    QTest::newRow("TITLE then ORG") << QByteArray("3.0") << QByteArray("TITLE:Boss\r\nORG:ACME") << QString()
                                    << QStringList{"10|data1=ACME|data4=Boss"};
    QTest::newRow("address") << QByteArray("3.0")
                             << QByteArray("ADR;TYPE=work:PO 1;Ext;1 Main St;Town;ST;12345;Land") << QString()
                             << QStringList{
                                    "12|data1=1 Main St\nTown, ST 12345\nLand|data2=2|data4=1 Main St|data7="
                                    "Town|data8=ST|data9=12345|data10=Land"};
    QTest::newRow("short address") << QByteArray("3.0") << QByteArray("ADR:;x") << QString()
                                   << QStringList{"12|data2=0"};
    QTest::newRow("website") << QByteArray("3.0") << QByteArray("URL;TYPE=blog:http\\://b.example")
                             << QString() << QStringList{"13|data1=http://b.example|data2=2"};
    QTest::newRow("instant messaging")
        << QByteArray("3.0") << QByteArray("X-IM;TYPE=Skype:me\r\nX-IM;TYPE=odd:you") << QString()
        << QStringList{"8|data1=me|data2=1|data5=4", "8|data1=you|data2=1|data5=0"};
    QTest::newRow("relation") << QByteArray("3.0") << QByteArray("X-REL;TYPE=spouse:Kim") << QString()
                              << QStringList{"11|data1=Kim|data2=14"};
    QTest::newRow("dates: extended, basic, words kept")
        << QByteArray("3.0")
        << QByteArray("BDAY:1980-05-12\r\nBDAY:19800512\r\nX-EVENT;TYPE=anniversary:--0512\r\nBDAY:spring")
        << QString()
        << QStringList{"6|data1=1980-05-12T00:00:00.000|data2=3", "6|data1=1980-05-12T00:00:00.000|data2=3",
                       "6|data1=--0512|data2=1", "6|data1=spring|data2=3"};
}

void TestVCardImport::properties()
{
    QFETCH(QByteArray, version);
    QFETCH(QByteArray, body);
    QFETCH(QString, fullName);
    QFETCH(QStringList, entries);
    const pim::_Contact c = readCard(body, version);
    QCOMPARE(c.fullName, fullName);
    QCOMPARE(render(c.entities), entries);
}

void TestVCardImport::typeWords_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("code"); // -1: the key stays unwritten

    const QString sub = pim::ValueKey::SubType;
    QTest::newRow("no TYPE: mobile") << QByteArray("TEL:1") << sub << 2;
    QTest::newRow("home") << QByteArray("TEL;TYPE=HOME:1") << sub << 1;
    QTest::newRow("home, voice") << QByteArray("TEL;TYPE=home,voice:1") << sub << 1;
    QTest::newRow("2.1 bare words") << QByteArray("TEL;HOME;VOICE:1") << sub << 1;
    QTest::newRow("cell, repeated type") << QByteArray("TEL;type=CELL;type=VOICE;type=pref:1") << sub << 2;
    QTest::newRow("work") << QByteArray("TEL;TYPE=work:1") << sub << 3;
    QTest::newRow("work fax") << QByteArray("TEL;TYPE=fax;TYPE=work:1") << sub << 4;
    QTest::newRow("home fax") << QByteArray("TEL;TYPE=\"home,fax\":1") << sub << 5;
    QTest::newRow("fax") << QByteArray("TEL;FAX:1") << sub << 13;
    QTest::newRow("pager") << QByteArray("TEL;TYPE=pager:1") << sub << 6;
    QTest::newRow("work cell") << QByteArray("TEL;TYPE=work,cell:1") << sub << 17;
    QTest::newRow("main") << QByteArray("TEL;TYPE=MAIN:1") << sub << 12;
    QTest::newRow("car") << QByteArray("TEL;TYPE=car:1") << sub << 9;
    QTest::newRow("isdn") << QByteArray("TEL;TYPE=isdn:1") << sub << 11;
    QTest::newRow("cell and an unknown word") << QByteArray("TEL;TYPE=IPHONE,CELL:1") << sub << 2;
    QTest::newRow("unknown word only") << QByteArray("TEL;TYPE=x-odd:1") << sub << 2;
    QTest::newRow("e-mail without type") << QByteArray("EMAIL:a") << sub << 1;
    QTest::newRow("e-mail internet, work") << QByteArray("EMAIL;TYPE=INTERNET,WORK:a") << sub << 2;
    QTest::newRow("e-mail home") << QByteArray("EMAIL;type=home:a") << sub << 1;
    QTest::newRow("address home") << QByteArray("ADR;TYPE=HOME:;;s") << sub << 1;
    QTest::newRow("address without type") << QByteArray("ADR:;;s") << sub << 0;
    QTest::newRow("website home page") << QByteArray("URL;TYPE=homepage:u") << sub << 1;
    QTest::newRow("website home") << QByteArray("URL;TYPE=home:u") << sub << 4;
    QTest::newRow("website ftp") << QByteArray("URL;TYPE=FTP:u") << sub << 6;
    QTest::newRow("relation domestic partner") << QByteArray("X-REL;TYPE=dompartner:r") << sub << 4;
    QTest::newRow("relation referred by") << QByteArray("X-REL;TYPE=ref:r") << sub << 11;
    QTest::newRow("relation unknown") << QByteArray("X-REL;TYPE=cousin:r") << sub << 0;
    QTest::newRow("event birthday word") << QByteArray("X-EVENT;TYPE=birthday:2000-01-01") << sub << 3;
    QTest::newRow("event other") << QByteArray("X-EVENT:2000-01-01") << sub << 0;
    QTest::newRow("IM google talk") << QByteArray("X-IM;TYPE=googletalk:a") << pim::ImKey::Protocol << 6;
    QTest::newRow("IM net meeting as written")
        << QByteArray("X-IM;TYPE=netmetting:a") << pim::ImKey::Protocol << 9;
    QTest::newRow("IM capitalised") << QByteArray("X-IM;TYPE=ICQ:a") << pim::ImKey::Protocol << 7;
    QTest::newRow("IM unknown") << QByteArray("X-IM;TYPE=pigeon:a") << pim::ImKey::Protocol << 0;
    QTest::newRow("IM work") << QByteArray("X-IM;TYPE=skype,work:a") << pim::ImKey::SubType << 2;
    QTest::newRow("IM labelled") << QByteArray("item1.X-IM:a\r\nitem1.X-ABLabel:Other") << pim::ImKey::SubType
                                 << 0;
    QTest::newRow("e-mail home beside internet") << QByteArray("EMAIL;TYPE=internet,home:a") << sub << 1;
    QTest::newRow("nickname maiden") << QByteArray("NICKNAME;TYPE=maiden:a") << sub << 3;
    QTest::newRow("organisation work") << QByteArray("ORG;TYPE=work:a;;;") << pim::OrgKey::SubType << 1;
    QTest::newRow("label beats TYPE")
        << QByteArray("item1.TEL;TYPE=cell:1\r\nitem1.X-ABLabel:_$!<WorkFAX>!$_") << sub << 4;
}

void TestVCardImport::typeWords()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, key);
    QFETCH(int, code);
    const pim::_Contact c = readCard(line);
    QCOMPARE(c.entities.size(), 1);
    const pim::Entity e = c.entities.first().value(0);
    if (code < 0)
        QVERIFY(!e.values.contains(key));
    else
        QCOMPARE(e.values.value(key).toInt(), code);
}

void TestVCardImport::photo_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("bytes"); // empty: no photo entry

    QTest::newRow("3.0 Base64 folded") << QByteArray("PHOTO;ENCODING=b;TYPE=JPEG:/9j/\r\n 4AAQ")
                                       << QByteArray("\xFF\xD8\xFF\xE0\x00\x10", 6);
    QTest::newRow("4.0 data URI") << QByteArray("PHOTO:data:image/png;base64,iVBORw0KGgo=")
                                  << QByteArray("\x89PNG\r\n\x1A\n");
    QTest::newRow("link") << QByteArray("PHOTO;VALUE=uri:http://example.com/me.jpg") << QByteArray();
    QTest::newRow("link without VALUE") << QByteArray("PHOTO:https://example.com/me.jpg") << QByteArray();
    QTest::newRow("second photo replaces") << QByteArray("PHOTO;B:QUJD\r\nPHOTO;B:REVG") << QByteArray("DEF");
}

void TestVCardImport::photo()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, bytes);
    const pim::_Contact c = readCard(body);
    if (bytes.isEmpty()) {
        QVERIFY(!c.entities.contains(pim::ENTITY_PHOTO));
        return;
    }
    QCOMPARE(c.entities.value(pim::ENTITY_PHOTO).size(), 1);
    QCOMPARE(c.entities.value(pim::ENTITY_PHOTO).first().values.value(pim::PhotoKey::Image).toByteArray(),
             bytes);
}

void TestVCardImport::fixture_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("fullNames");
    QTest::addColumn<QList<QStringList>>("entries");

    QTest::newRow("2.1 quoted-printable and Shift_JIS")
        << QStringLiteral("v21_quoted_printable.vcf") << QStringList{"Jörg Müller", "太郎 山田"}
        << QList<QStringList>{{"1|data1=Jörg Müller|data2=Jörg|data3=Müller", "3|data1=+49 30 1234|data2=1",
                               "3|data1=+49 170 5678|data2=2", "3|data1=+49 30 9999|data2=4",
                               "4|data1=joerg@example.de|data2=1",
                               "9|data1=Zeile eins\r\nZeile zwei mit ä und mehr"},
                              {"1|data1=太郎 山田|data2=太郎|data3=山田", "3|data1=03-1234-5678|data2=3",
                               "4|data1=taro@example.jp|data2=2"}};
    QTest::newRow("3.0 folded, groups and labels")
        << QStringLiteral("v30_folded.vcf") << QStringList{"Dr. Johnny Q. Appleseed Jr."}
        << QList<QStringList>{{
               "1|data1=Dr. Johnny Q. Appleseed "
               "Jr.|data2=Johnny|data3=Appleseed|data4=Q.|data5=Dr.|data6=Jr.",
               "2|photo=ffd8ffe000104a4649460001",
               "3|data1=+1 (555) 010-0001|data2=2",
               "3|data1=+1 555 010 0002|data2=4",
               "3|data1=+1 555 010 0003|data2=0|data3=Boat",
               "4|data1=johnny.appleseed@example.com|data2=1",
               "4|data1=j@example.org|data2=0",
               "5|data1=Appy",
               "6|data1=1980-05-12T00:00:00.000|data2=3",
               "7|data2=Friends",
               "7|data2=Family",
               "8|data1=johnny.s|data2=1|data5=4",
               "9|data1=Café au lait\nsecond line, with comma; semicolon and \\ backslash",
               "10|data1=Example, Inc.|data4=Chief\nTaster|data5=R&D",
               "11|data1=Jane Appleseed|data2=14",
               "12|data1=1 Infinite Loop\nCupertino, CA 95014\nUnited States|data2=1|data4=1 Infinite "
               "Loop|data7=Cupertino|data8=CA|data9=95014|data10=United States|data11=us",
               "13|data1=http://example.com/~johnny|data2=1",
           }};
    QTest::newRow("4.0 formatted name, data URI, link")
        << QStringLiteral("v40_formatted_name.vcf") << QStringList{"ACME Corporation", "Linked Photo"}
        << QList<QStringList>{
               {"1|data1=ACME Corporation", "2|photo=89504e470d0a1a0a", "3|data1=+1-555-555-5555|data2=3",
                "4|data1=info@acme.example|data2=2", "6|data1=--0512|data2=3"},
               {"1|data1=Linked Photo|data2=Linked|data3=Photo", "6|data1=1980-05-12T00:00:00.000|data2=3"}};
    QTest::newRow("malformed lines between cards")
        << QStringLiteral("malformed_between_cards.vcf") << QStringList{"Card One", "Card Two"}
        << QList<QStringList>{{"1|data1=Card One|data2=Card|data3=One", "4|data1=one@example.com|data2=1"},
                              {"1|data1=Card Two|data2=Card|data3=Two", "3|data1=777|data2=2"}};
    QTest::newRow("the program's older given-first cards")
        << QStringLiteral("given_first_own.vcf") << QStringList{"John Smith", "小明 王", "小明 王"}
        << QList<QStringList>{{"1|data1=John Smith|data2=John|data3=Smith", "3|data1=555 0100|data2=2",
                               "10|data1=North;South|data5=Sales"},
                              {"1|data1=小明 王|data2=小明|data3=王"},
                              {"1|data1=小明 王|data2=小明|data3=王"}};
}

void TestVCardImport::fixture()
{
    QFETCH(QString, file);
    QFETCH(QStringList, fullNames);
    QFETCH(QList<QStringList>, entries);
    const QString path = QFINDTESTDATA(QStringLiteral("data/") + file);
    QVERIFY(!path.isEmpty());
    const QList<pim::_Contact> contacts = readFile(path);
    QStringList names;
    QList<QStringList> got;
    for (const pim::_Contact &c : contacts) {
        names << c.fullName;
        QMap<int, QList<pim::Entity>> entities = c.entities;
        const QList<pim::Entity> photos = entities.take(pim::ENTITY_PHOTO);
        QStringList lines = render(entities);
        for (const pim::Entity &p : photos) {
            const QByteArray hex = p.values.value(pim::PhotoKey::Image).toByteArray().toHex();
            lines.insert(lines.indexOf(QRegularExpression(QStringLiteral("^1\\|.*"))) + 1,
                         QStringLiteral("2|photo=") + QString::fromLatin1(hex));
        }
        got << lines;
    }
    QCOMPARE(names, fullNames);
    for (int i = 0; i < got.size(); ++i)
        QCOMPARE(got[i], entries.value(i));
}

void TestVCardImport::readerContract()
{
    VCardImport reader;
    QVERIFY(
        !tarnwick::test::whatOf([&] { reader.initialize(QStringLiteral("/no/such/file.vcf")); }).isEmpty());

    QTemporaryDir dir;
    const QString empty = dir.filePath(QStringLiteral("empty.vcf"));
    QFile(empty).open(QIODevice::WriteOnly);
    reader.initialize(empty);
    QCOMPARE(reader.total(), 0);
    QVERIFY(!reader.hasNext());

    reader.initialize(QFINDTESTDATA("data/malformed_between_cards.vcf"));
    QCOMPARE(reader.total(), 2);
    reader.nextContact();
    reader.nextContact();
    QVERIFY(!reader.hasNext());
    reader.uninitialize();
    QCOMPARE(reader.total(), 2);
}

TARNWICK_TEST_MAIN(TestVCardImport)
#include "tst_vcardimport.moc"
