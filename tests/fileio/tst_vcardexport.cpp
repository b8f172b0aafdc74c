#include "fileio/VCardExport.h"
#include "fileio/VCardImport.h"

#include "EntityFixtures.h"
#include "ImageBytes.h"
#include "TestMain.h"

#include "model/EntityType.h"
#include "model/EntryKeys.h"

using tarnwick::test::parseEntry;
using tarnwick::test::render;

namespace {

pim::_Contact contactOf(const QString &fullName, const QStringList &entries)
{
    pim::_Contact c(0, QString(), fullName);
    for (const QString &line : entries) {
        const auto [type, e] = parseEntry(line);
        c.entities[type] << e;
    }
    return c;
}

// The card's content lines, folded lines joined.
QStringList cardLines(QByteArray card)
{
    card.replace("\r\n ", "");
    QStringList lines = QString::fromUtf8(card).split(QStringLiteral("\r\n"));
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

pim::_Contact roundTrip(const pim::_Contact &c)
{
    VCardExport writer;
    const QByteArray bytes = writer.initialize({c}) + writer.ct2Bytes(c) + writer.uninitialize();
    const auto cards = QVCardParser::parse(bytes);
    return cards.size() == 1 ? VCardImport::toContact(cards.first()) : pim::_Contact();
}

} // namespace

class TestVCardExport : public QObject
{
    Q_OBJECT

private slots:
    void workedExample();
    void lines_data();
    void lines();
    void formattedName_data();
    void formattedName();
    void longLinesFolded_data();
    void longLinesFolded();
    void roundTrip_data();
    void roundTrip();
    void photoKeepsItsBytesAndNamesItsFormat_data();
    void photoKeepsItsBytesAndNamesItsFormat();
};

void TestVCardExport::workedExample()
{
    const pim::_Contact c =
        contactOf(QStringLiteral("First Last"),
                  {"1|data2=First|data3=Last", "3|data1=555 0100|data2=2",
                   "3|data1=555 0101|data2=0|data3=Boat", "6|data1=1990-01-02|data2=3", "9|data1=Hi there",
                   "10|data1=North;South|data5=Sales", "12|data2=1|data4=1 Main St|data7=Town"});
    VCardExport writer;
    QCOMPARE(writer.initialize({c}), QByteArray());
    QCOMPARE(writer.uninitialize(), QByteArray());
    QCOMPARE(cardLines(writer.ct2Bytes(c)),
             (QStringList{"BEGIN:VCARD", "VERSION:3.0", "FN;CHARSET=UTF-8:First Last", "N:Last;First;;;",
                          "TEL;TYPE=cell:555 0100", "item1.TEL:555 0101", "item1.X-ABLabel:Boat",
                          "BDAY:1990-01-02", "NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Hi=20there",
                          "TITLE;CHARSET=UTF-8:", "ORG;CHARSET=UTF-8:North\\;South;Sales;;",
                          "ADR;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE;TYPE=home:;;1=20Main=20St;Town;;;",
                          "END:VCARD"}));
}

void TestVCardExport::lines_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("lines"); // between FN and END

    QTest::newRow("no entries") << QStringList{} << QStringList{};
    QTest::newRow("phone words and labels")
        << QStringList{"3|data1=1|data2=1", "3|data1=2|data2=13", "3|data1=3|data2=12", "3|data1=4|data2=7"}
        << QStringList{"TEL;TYPE=home,voice:1", "TEL;TYPE=fax:2", "item1.TEL:3",
                       "item1.X-ABLabel:Main",  "item2.TEL:4",    "item2.X-ABLabel:Other"};
    QTest::newRow("e-mail other than home")
        << QStringList{"4|data1=a|data2=1", "4|data1=b|data2=2"}
        << QStringList{"EMAIL;TYPE=internet,home:a", "item1.EMAIL;TYPE=internet:b", "item1.X-ABLabel:Work"};
    QTest::newRow("events") << QStringList{"6|data1=d1|data2=1", "6|data1=d2|data2=0"}
                            << QStringList{"X-EVENT;TYPE=anniversary:d1", "X-EVENT;TYPE=other:d2"};
    QTest::newRow("line breaks and backslashes")
        << QStringList{"5|data1=a\\b", "7|data2=x\ny, z"}
        << QStringList{"NICKNAME;CHARSET=UTF-8:a\\\\b",
                       "CATEGORIES;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:x=0Ay\\,=20z"};
    QTest::newRow("separators in text values")
        << QStringList{"5|data1=Taro, \"T\"",        "7|data2=Golf, Tennis; Chess",
                       "8|data1=a;b,c|data5=4",      "10|data1=A, B|data4=Boss; CEO",
                       "11|data1=Kim, Lee|data2=14", "4|data1=x,y@z|data2=1",
                       "6|data1=--05-12|data2=3"}
        << QStringList{"EMAIL;TYPE=internet,home:x\\,y@z",
                       "NICKNAME;CHARSET=UTF-8:Taro\\, \"T\"",
                       "BDAY:--05-12",
                       "X-IM;CHARSET=UTF-8;TYPE=skype:a\\;b\\,c",
                       "TITLE;CHARSET=UTF-8:Boss\\; CEO",
                       "ORG;CHARSET=UTF-8:A\\, B;;;",
                       "X-REL;CHARSET=UTF-8;TYPE=spouse:Kim\\, Lee",
                       "CATEGORIES;CHARSET=UTF-8:Golf\\, Tennis\\; Chess"};
    QTest::newRow("labels are text") << QStringList{"3|data1=1|data2=0|data3=Boat, red; \\2"}
                                     << QStringList{"item1.TEL:1", "item1.X-ABLabel:Boat\\, red\\; \\\\2"};
    QTest::newRow("numbers and links are not text")
        << QStringList{"3|data1=555,,12;3\\4|data2=2", "13|data1=http://x.example/a,b;c?d=\\e|data2=5"}
        << QStringList{"TEL;TYPE=cell:555,,12;3\\4", "URL;TYPE=work:http://x.example/a,b;c?d=\\e"};
    QTest::newRow("quoted-printable note escaped inside")
        << QStringList{"9|data1=C:\\new\\table, 1;2"}
        << QStringList{"NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:C:\\\\new\\\\table\\,=201\\;2"};
    QTest::newRow("empty organisation and address")
        << QStringList{"10|data2=0", "12|data2=0"}
        << QStringList{"TITLE;CHARSET=UTF-8:", "ORG;CHARSET=UTF-8;TYPE=other:;;;",
                       "ADR;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE;TYPE=intl:;;;;;;"};
    QTest::newRow("instant messaging")
        << QStringList{"8|data1=me|data5=4", "8|data1=you|data5=0|data6=Pigeon"}
        << QStringList{"X-IM;CHARSET=UTF-8;TYPE=skype:me", "item1.X-IM;CHARSET=UTF-8:you",
                       "item1.X-IM-PROTOCOL;CHARSET=UTF-8:Pigeon"};
    QTest::newRow("groups on one line, as a list")
        << QStringList{"7|data2=Golf", "7|data2=Tennis, Chess"}
        << QStringList{"CATEGORIES;CHARSET=UTF-8:Golf,Tennis\\, Chess"};
    QTest::newRow("one birthday, further ones as dates")
        << QStringList{"6|data1=1990-01-02|data2=3", "6|data1=2000-03-04|data2=3"}
        << QStringList{"BDAY:1990-01-02", "X-EVENT;TYPE=birthday:2000-03-04"};
    QTest::newRow("address kept as one free text")
        << QStringList{"12|data1=1 Elm St\nTown|data2=1"}
        << QStringList{"ADR;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE;TYPE=home:;;1=20Elm=20St=0ATown;;;;",
                       "LABEL;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE;TYPE=home:1=20Elm=20St=0ATown"};
    QTest::newRow("unknown type code") << QStringList{"42|data1=x"} << QStringList{};
}

void TestVCardExport::lines()
{
    QFETCH(QStringList, entries);
    QFETCH(QStringList, lines);
    VCardExport writer;
    const QStringList got = cardLines(writer.ct2Bytes(contactOf(QStringLiteral("X"), entries)));
    // Without name parts the card still has its N, with empty components.
    QCOMPARE(got.mid(0, 4), (QStringList{"BEGIN:VCARD", "VERSION:3.0", "FN;CHARSET=UTF-8:X", "N:;;;;"}));
    QCOMPARE(got.mid(4, got.size() - 5), lines);
    QCOMPARE(got.last(), QStringLiteral("END:VCARD"));
}

void TestVCardExport::formattedName_data()
{
    QTest::addColumn<QString>("fullName");
    QTest::addColumn<QString>("line");
    QTest::newRow("comma and semicolon")
        << QStringLiteral("ACME, Inc.; Ltd") << QStringLiteral("FN;CHARSET=UTF-8:ACME\\, Inc.\\; Ltd");
    QTest::newRow("backslash") << QStringLiteral("C:\\dir") << QStringLiteral("FN;CHARSET=UTF-8:C:\\\\dir");
    QTest::newRow("line break, quoted-printable and escaped")
        << QStringLiteral("two\nlines, x")
        << QStringLiteral("FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:two=0Alines\\,=20x");
}

void TestVCardExport::formattedName()
{
    QFETCH(QString, fullName);
    QFETCH(QString, line);
    const pim::_Contact c(0, QString(), fullName);
    QCOMPARE(cardLines(VCardExport().ct2Bytes(c)).value(2), line);
    QCOMPARE(::roundTrip(c).fullName, fullName);
}

// Every physical line of a card holds at most 75 octets, a continuation line starts with one
// space, and no fold cuts a UTF-8 character or a quoted-printable escape.
void TestVCardExport::longLinesFolded_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("note in quoted-printable") << QStringList{"9|data1=" + QString(300, QLatin1Char('\xe9'))};
    QTest::newRow("ASCII text") << QStringList{"5|data1=" + QString(200, QLatin1Char('a'))};
    QTest::newRow("three-octet characters")
        << QStringList{"10|data1=" + QString(100, QChar(0x4E2D)) + "|data4=" + QString(99, QChar(0x6587))};
    QTest::newRow("four-octet characters")
        << QStringList{"11|data1=" + QStringLiteral("\U0001F600").repeated(60) + "|data2=1"};
    QTest::newRow("mixed widths, every offset")
        << QStringList{"5|data1=" + QStringLiteral("a\u00e9\u4e2d\U0001F600").repeated(40)};
    QTest::newRow("note of equals signs") << QStringList{"9|data1=" + QString(160, QLatin1Char('='))};
}

void TestVCardExport::longLinesFolded()
{
    QFETCH(QStringList, entries);
    const pim::_Contact c = contactOf(QStringLiteral("X"), entries);
    const QByteArray card = VCardExport().ct2Bytes(c);
    const QList<QByteArray> physical = card.split('\n');
    QVERIFY(physical.size() > 5);
    for (const QByteArray &line : physical) {
        if (line.isEmpty())
            continue;
        QVERIFY2(line.endsWith('\r'), line.constData());
        QVERIFY2(line.size() - 1 <= 75, line.constData());
        // A piece that starts inside a character would not decode on its own.
        QVERIFY2((static_cast<unsigned char>(line.at(line.startsWith(' ') ? 1 : 0)) & 0xC0) != 0x80,
                 line.constData());
        QVERIFY2(!line.chopped(1).endsWith('='), line.constData());
    }
    QCOMPARE(render(::roundTrip(c).entities).mid(1), entries);
}

void TestVCardExport::roundTrip_data()
{
    QTest::addColumn<QString>("fullName");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("expected"); // empty: the entries themselves

    QTest::newRow("name parts")
        << QStringLiteral("Dr Ann B Lee III")
        << QStringList{"1|data1=Dr Ann B Lee III|data2=Ann|data3=Lee|data4=B|data5=Dr|data6=III"}
        << QStringList{};
    QTest::newRow("family name only")
        << QStringLiteral("Smith") << QStringList{"1|data1=Smith|data3=Smith"} << QStringList{};
    QTest::newRow("parts that repeat")
        << QStringLiteral("Lee Lee") << QStringList{"1|data1=Lee Lee|data2=Lee|data3=Lee"} << QStringList{};
    QTest::newRow("family-first script")
        << QStringLiteral("小明 王") << QStringList{"1|data1=小明 王|data2=小明|data3=王"} << QStringList{};
    QTest::newRow("markup and separators in names")
        << QStringLiteral("<b>x & \"q\"; \\z")
        << QStringList{"1|data1=<b>x & \"q\"; \\z|data2=<b>x & \"q\";|data3=\\z"} << QStringList{};
    QTest::newRow("phones with every sub-type kind")
        << QStringLiteral("P")
        << QStringList{"1|data1=P|data2=P",  "3|data1=1|data2=1",  "3|data1=2|data2=2",
                       "3|data1=3|data2=12", "3|data1=4|data2=17", "3|data1=5|data2=0|data3=Boat",
                       "3|data1=6|data2=0",  "3|data1=7|data2=13"}
        << QStringList{};
    QTest::newRow("e-mail, events, relations, websites")
        << QStringLiteral("P")
        << QStringList{"1|data1=P|data2=P",
                       "4|data1=a@x|data2=1",
                       "4|data1=b@x|data2=2",
                       "4|data1=c@x|data2=4",
                       "4|data1=d@x|data2=0|data3=Old",
                       "6|data1=2001-02-03|data2=1",
                       "6|data1=2002-03-04|data2=0|data3=Met",
                       "11|data1=Kim|data2=14",
                       "11|data1=Lou|data2=0|data3=Coach",
                       "13|data1=u1|data2=1",
                       "13|data1=u2|data2=4",
                       "13|data1=u3|data2=0|data3=Shop"}
        << QStringList{"1|data1=P|data2=P",
                       "4|data1=a@x|data2=1",
                       "4|data1=b@x|data2=2",
                       "4|data1=c@x|data2=4",
                       "4|data1=d@x|data2=0|data3=Old",
                       "6|data1=2001-02-03T00:00:00.000|data2=1",
                       "6|data1=2002-03-04T00:00:00.000|data2=0|data3=Met",
                       "11|data1=Kim|data2=14",
                       "11|data1=Lou|data2=0|data3=Coach",
                       "13|data1=u1|data2=1",
                       "13|data1=u2|data2=4",
                       "13|data1=u3|data2=0|data3=Shop"};
    QTest::newRow("groups, nicknames, notes, organisations, IM")
        << QStringLiteral("P")
        << QStringList{"1|data1=P|data2=P",
                       "5|data1=Bo",
                       "5|data1=Bobby",
                       "7|data2=Golf, Tennis",
                       "7|data2=Work",
                       "8|data1=me|data2=1|data5=6",
                       "9|data1=line one\r\nline \\n two; x",
                       "9|data1=second",
                       "10|data1=ACME; Ltd|data4=Boss|data5=R&D",
                       "10|data1=Other|data4=Clerk"}
        << QStringList{};
    QTest::newRow("addresses") << QStringLiteral("P")
                               << QStringList{"1|data1=P|data2=P",
                                              "12|data1=1 Elm; Rd\\2\nKöln, NRW 50667\nDE|data2=2|data4=1 "
                                              "Elm; Rd\\2|data7=Köln|data8=NRW|"
                                              "data9=50667|data10=DE",
                                              "12|data1=x|data2=0|data3=Cabin|data4=x"}
                               << QStringList{};
    QTest::newRow("address kept as one free text")
        << QStringLiteral("P")
        << QStringList{"1|data1=P|data2=P", "12|data1=1 Elm St; Rear\\2\nTown, 5|data2=1",
                       "12|data1=Hut|data2=0|data3=Cabin"}
        << QStringList{};
    QTest::newRow("phonetic names")
        << QStringLiteral("Taro Yamada")
        << QStringList{"1|data1=Taro Yamada|data2=Taro|data3=Yamada|data7=たろう|data8=やまだ"}
        << QStringList{};
    QTest::newRow("IM type, label and protocol of one's own")
        << QStringLiteral("P")
        << QStringList{"1|data1=P|data2=P", "8|data1=a|data2=2|data5=4",
                       "8|data1=b|data2=0|data3=Gaming; x|data5=0|data6=Matrix, \\y",
                       "8|data1=c|data2=0|data5=8", "8|data1=d|data2=1|data5=0|data6=Signal"}
        << QStringList{};
    QTest::newRow("nickname, organisation and address types")
        << QStringLiteral("P")
        << QStringList{"1|data1=P|data2=P",
                       "5|data1=Bo|data2=3",
                       "5|data1=Bobby|data2=0|data3=Gamer",
                       "5|data1=B|data2=2",
                       "5|data1=Bob|data2=1",
                       "10|data1=ACME|data2=1",
                       "10|data1=Club|data2=0|data3=Hobby",
                       "10|data1=Band|data2=0",
                       "12|data1=x|data2=1|data4=x|data11=DE",
                       "12|data1=y|data2=0|data3=Cabin|data4=y|data11=FR"}
        << QStringList{};
    QTest::newRow("several birthdays")
        << QStringLiteral("P")
        << QStringList{"1|data1=P|data2=P", "6|data1=2001-02-03|data2=3", "6|data1=2002-03-04|data2=3"}
        << QStringList{"1|data1=P|data2=P", "6|data1=2001-02-03T00:00:00.000|data2=3",
                       "6|data1=2002-03-04T00:00:00.000|data2=3"};
}

void TestVCardExport::roundTrip()
{
    QFETCH(QString, fullName);
    QFETCH(QStringList, entries);
    QFETCH(QStringList, expected);
    const pim::_Contact back = ::roundTrip(contactOf(fullName, entries));
    QCOMPARE(back.fullName, fullName);
    QCOMPARE(render(back.entities), expected.isEmpty() ? entries : expected);
}

void TestVCardExport::photoKeepsItsBytesAndNamesItsFormat_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("type");
    QTest::newRow("PNG") << tarnwick::test::imageBytes("PNG") << QStringLiteral("PNG");
    QTest::newRow("JPEG") << tarnwick::test::imageBytes("JPEG") << QStringLiteral("JPEG");
    QTest::newRow("GIF bytes") << QByteArray("GIF89a\x01\x00") << QStringLiteral("GIF");
}

void TestVCardExport::photoKeepsItsBytesAndNamesItsFormat()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, type);
    pim::_Contact c(0, QString(), QStringLiteral("P"));
    pim::Entity photo;
    photo.values.insert(pim::PhotoKey::Image, bytes);
    c.entities[pim::ENTITY_PHOTO] << photo;
    VCardExport writer;
    const QByteArray card = writer.ct2Bytes(c);
    QVERIFY(card.contains("PHOTO;ENCODING=B;TYPE=" + type.toLatin1() + ":"));
    // The Base64 is folded with the property name counted.
    for (const QByteArray &line : card.split('\n'))
        QVERIFY2(line.size() <= 76, line.constData());
    const pim::_Contact back = ::roundTrip(c);
    QCOMPARE(back.entities.value(pim::ENTITY_PHOTO).value(0).values.value(pim::PhotoKey::Image).toByteArray(),
             bytes);
}

TARNWICK_TEST_MAIN(TestVCardExport)
#include "tst_vcardexport.moc"
