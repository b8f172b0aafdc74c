#include "fileio/QVCardParser.h"

#include "TestMain.h"

using Property = QVCardParser::_Property;

namespace {

// Cards as "NAME|param=value:value" lines, one list per card.
QList<QStringList> shape(const QList<QList<Property>> &cards)
{
    QList<QStringList> out;
    for (const auto &card : cards) {
        QStringList lines;
        for (const Property &p : card) {
            QString line = p.name;
            for (auto it = p.params.constBegin(); it != p.params.constEnd(); ++it)
                line += QLatin1Char('|') + it.key() + QLatin1Char('=') + it.value();
            lines << line + QLatin1Char(':') + QString::fromLatin1(p.value);
        }
        out << lines;
    }
    return out;
}

Property makeProperty(const QByteArray &value, QMap<QString, QString> params = {}, bool escapes = false)
{
    Property p;
    p.name = QStringLiteral("X");
    p.params = std::move(params);
    p.value = value;
    p.textEscapes = escapes;
    return p;
}

} // namespace

class TestQVCardParser : public QObject
{
    Q_OBJECT

private slots:
    void cards_data();
    void cards();
    void versionDecidesFoldingAndEscapes();
    void foldsJoinAnywhere_data();
    void foldsJoinAnywhere();
    void toString_data();
    void toString();
    void values_data();
    void values();
    void typeWordsCollectRepeatedAndBareParameters();
};

void TestQVCardParser::cards_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QList<QStringList>>("expected");

    QTest::newRow("empty") << QByteArray() << QList<QStringList>{};
    QTest::newRow("no BEGIN") << QByteArray("N:a;b\r\nEND:VCARD\r\n") << QList<QStringList>{};
    QTest::newRow("empty card") << QByteArray("BEGIN:VCARD\r\nEND:VCARD\r\n") << QList<QStringList>{{}};
    QTest::newRow("lines outside cards dropped")
        << QByteArray("X:0\r\nBEGIN:VCARD\r\nN:a\r\nEND:VCARD\r\nY:1\r\nBEGIN:x\r\nM:b\r\nEND:y")
        << QList<QStringList>{{"N:a"}, {"M:b"}};
    // Names are case-free in vCard; lower-case BEGIN and END still frame cards.
    QTest::newRow("lower-case BEGIN and END")
        << QByteArray("begin:vcard\r\nN:a\r\nend:vcard\r\n") << QList<QStringList>{{"N:a"}};
    QTest::newRow("missing END runs to the next BEGIN")
        << QByteArray("BEGIN:VCARD\r\nN:a\r\nTEL:1\r\nBEGIN:VCARD\r\nN:b\r\nEND:VCARD")
        << QList<QStringList>{{"N:a", "TEL:1"}, {"N:b"}};
    QTest::newRow("nested BEGIN drops the rest of the outer card")
        << QByteArray("BEGIN:VCARD\r\nN:a\r\nBEGIN:VCARD\r\nN:b\r\nEND:VCARD\r\nTEL:lost\r\nEND:VCARD")
        << QList<QStringList>{{"N:a"}, {"N:b"}};
    QTest::newRow("last line without line end")
        << QByteArray("BEGIN:VCARD\r\nN:a") << QList<QStringList>{{"N:a"}};
    QTest::newRow("repeated parameter keeps the last, TYPE collects")
        << QByteArray("BEGIN:VCARD\r\nTEL;X=1;type=home;X=2;TYPE=voice:5\r\nEND:VCARD")
        << QList<QStringList>{{"TEL|X=2|type=home,voice:5"}};
    QTest::newRow("bare parameter and the ones after it")
        << QByteArray("BEGIN:VCARD\r\nTEL;HOME;A=1:5\r\nEND:VCARD")
        << QList<QStringList>{{"TEL|A=1|HOME=:5"}};
    // A malformed line is dropped; the card and the cards after it are read.
    QTest::newRow("malformed lines dropped, later cards kept")
        << QByteArray("BEGIN:VCARD\r\nN:a\r\nTEL;:1\r\nPHOTO;B:QU*D\r\nEMAIL:e\r\nEND:VCARD\r\nBEGIN:"
                      "VCARD\r\nN:b\r\nEND:VCARD")
        << QList<QStringList>{{"N:a", "EMAIL:e"}, {"N:b"}};
    QTest::newRow("group prefix kept in the name")
        << QByteArray("BEGIN:VCARD\r\nitem1.TEL:1\r\nEND:VCARD") << QList<QStringList>{{"item1.TEL:1"}};
}

void TestQVCardParser::cards()
{
    QFETCH(QByteArray, input);
    QFETCH(QList<QStringList>, expected);
    QCOMPARE(shape(QVCardParser::parse(input)), expected);
}

void TestQVCardParser::versionDecidesFoldingAndEscapes()
{
    const QByteArray input("BEGIN:VCARD\r\nVERSION:2.1\r\nNOTE:a\r\n b\\nc\r\nEND:VCARD\r\n"
                           "BEGIN:VCARD\r\nVERSION:3.0\r\nNOTE:a\r\n b\\nc\r\n"
                           "NOTE;ENCODING=QUOTED-PRINTABLE:C:\\new=0D=0Aline\r\nEND:VCARD\r\n"
                           "BEGIN:VCARD\r\nVERSION:4.0\r\nNOTE:a\r\n b\\nc\r\nEND:VCARD\r\n");
    const auto cards = QVCardParser::parse(input);
    QCOMPARE(cards.size(), 3);
    QCOMPARE(cards[0][1].toString(), QStringLiteral("a b\\nc"));
    QCOMPARE(cards[1][1].toString(), QStringLiteral("ab\nc"));
    QCOMPARE(cards[1][2].toString(), QStringLiteral("C:\\new\r\nline"));
    QCOMPARE(cards[2][1].toString(), QStringLiteral("ab\nc"));
}

// A 3.0 or 4.0 fold is nothing at all, wherever it falls.
void TestQVCardParser::foldsJoinAnywhere_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes"); // when not empty: the raw value

    QTest::newRow("inside a two-octet character")
        << QByteArray("NOTE:caf\xC3\r\n \xA9") << QString::fromUtf8("caf\xC3\xA9") << QByteArray();
    QTest::newRow("inside a four-octet character") << QByteArray("NOTE:\xF0\x9F\r\n \x98\x80!")
                                                   << QString::fromUtf8("\xF0\x9F\x98\x80!") << QByteArray();
    QTest::newRow("inside a quoted-printable escape")
        << QByteArray("NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:caf=C\r\n 3=A\r\n 9x")
        << QString::fromUtf8("caf\xC3\xA9x") << QByteArray();
    QTest::newRow("between quoted-printable escapes")
        << QByteArray("NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=C3\r\n =A9")
        << QString::fromUtf8("\xC3\xA9") << QByteArray();
    QTest::newRow("inside a Base64 group")
        << QByteArray("PHOTO;ENCODING=B:YW\r\n Jj\r\n ZGVmZ2\r\n g=") << QString() << QByteArray("abcdefgh");
    QTest::newRow("inside the name and an escape")
        << QByteArray("NO\r\n TE:a\\\r\n ,b") << QStringLiteral("a,b") << QByteArray();
}

void TestQVCardParser::foldsJoinAnywhere()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    const auto cards = QVCardParser::parse("BEGIN:VCARD\r\nVERSION:3.0\r\n" + line + "\r\nEND:VCARD\r\n");
    QCOMPARE(cards.size(), 1);
    QCOMPARE(cards[0].size(), 2);
    if (bytes.isEmpty())
        QCOMPARE(cards[0][1].toString(), text);
    else
        QCOMPARE(cards[0][1].value, bytes);
}

void TestQVCardParser::toString_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("charset"); // null: no CHARSET parameter
    QTest::addColumn<bool>("escapes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no charset: UTF-8")
        << QByteArray("J\xC3\xB6rg") << QString() << false << QStringLiteral("Jörg");
    QTest::newRow("no charset, not UTF-8: Windows-1252")
        << QByteArray("J\xF6rg \x80") << QString() << false << QStringLiteral("Jörg €");
    QTest::newRow("Shift_JIS") << QByteArray("\x8E\x52\x93\x63") << QStringLiteral("Shift_JIS") << false
                               << QStringLiteral("山田");
    QTest::newRow("ISO-8859-1") << QByteArray("J\xF6rg") << QStringLiteral("ISO-8859-1") << false
                                << QStringLiteral("Jörg");
    QTest::newRow("unknown charset falls back")
        << QByteArray("J\xC3\xB6rg") << QStringLiteral("NO-SUCH-SET") << false << QStringLiteral("Jörg");
    QTest::newRow("2.1 keeps backslashes")
        << QByteArray("a\\nb\\,c") << QString() << false << QStringLiteral("a\\nb\\,c");
    QTest::newRow("3.0 escapes undone once") << QByteArray("a\\nb\\Nc\\,d\\;e\\\\n\\:f\\x") << QString()
                                             << true << QStringLiteral("a\nb\nc,d;e\\n:f\\x");
    QTest::newRow("empty") << QByteArray() << QStringLiteral("UTF-8") << true << QString();
}

void TestQVCardParser::toString()
{
    QFETCH(QByteArray, value);
    QFETCH(QString, charset);
    QFETCH(bool, escapes);
    QFETCH(QString, expected);
    QMap<QString, QString> params;
    if (!charset.isNull())
        params.insert(QStringLiteral("charset"), charset);
    QCOMPARE(makeProperty(value, params, escapes).toString(), expected);
}

void TestQVCardParser::values_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("escapes");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty") << QByteArray() << false << QStringList{};
    QTest::newRow("empty field between") << QByteArray("a;;b") << false << QStringList{"a", "", "b"};
    QTest::newRow("leading semicolon") << QByteArray(";a") << false << QStringList{"", "a"};
    QTest::newRow("one trailing semicolon") << QByteArray("a;") << false << QStringList{"a"};
    QTest::newRow("two trailing semicolons") << QByteArray("a;;") << false << QStringList{"a", ""};
    QTest::newRow("lone semicolon") << QByteArray(";") << false << QStringList{""};
    QTest::newRow("2.1 escaped semicolon") << QByteArray("a\\;b;c") << false << QStringList{"a;b", "c"};
    QTest::newRow("2.1 double backslash") << QByteArray("a\\\\b") << false << QStringList{"a\\b"};
    QTest::newRow("2.1 trailing backslash dropped") << QByteArray("ab\\") << false << QStringList{"ab"};
    QTest::newRow("2.1 comma is text") << QByteArray("a,b;c") << false << QStringList{"a,b", "c"};
    QTest::newRow("3.0 escapes inside components")
        << QByteArray("North\\;South;Sales;;") << true << QStringList{"North;South", "Sales", ""};
    QTest::newRow("3.0 line break and comma") << QByteArray("1 Main St\\nFlat 2;Town\\, North") << true
                                              << QStringList{"1 Main St\nFlat 2", "Town, North"};
    QTest::newRow("3.0 escaped backslash before a separator")
        << QByteArray("a\\\\;b") << true << QStringList{"a\\", "b"};
}

void TestQVCardParser::values()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, escapes);
    QFETCH(QStringList, expected);
    QCOMPARE(makeProperty(value, {}, escapes).values(), expected);
}

void TestQVCardParser::typeWordsCollectRepeatedAndBareParameters()
{
    const auto cards =
        QVCardParser::parse("BEGIN:VCARD\r\nVERSION:3.0\r\n"
                            "item1.TEL;type=CELL;TYPE=\"Voice,pref\";X-FOO=bar;HOME:1\r\nEND:VCARD");
    const Property &p = cards.value(0).value(1);
    QCOMPARE(p.baseName(), QStringLiteral("TEL"));
    QCOMPARE(p.group(), QStringLiteral("item1"));
    QCOMPARE(p.typeWords(), (QStringList{"home", "cell", "voice", "pref"}));
}

TARNWICK_TEST_MAIN(TestQVCardParser)
#include "tst_qvcardparser.moc"
