#include "fileio/VCardTokenizer.h"

#include "TestMain.h"

#include <QByteArray>
#include <QStringList>

#include <memory>

namespace {

// Every callback as one line: "P:<name>|<param>=<value>|<bare param>", "D:<value>" (bytes outside
// printable ASCII as \xHH), "E" for the end mark, "X" for a property the tokenizer took back.
struct Recorder
{
    QStringList calls;

    static void onProp(void *user, const char *name, const char **params)
    {
        QString line = QStringLiteral("P:") + QString::fromLatin1(name);
        for (const char **p = params; p[0]; p += 2) {
            line += QLatin1Char('|') + QString::fromLatin1(p[0]);
            if (p[1])
                line += QLatin1Char('=') + QString::fromLatin1(p[1]);
        }
        static_cast<Recorder *>(user)->calls << line;
    }

    static void onData(void *user, const char *bytes, int length)
    {
        auto *self = static_cast<Recorder *>(user);
        if (length < 0) {
            self->calls << QStringLiteral("X");
            return;
        }
        if (!bytes) {
            self->calls << QStringLiteral("E");
            return;
        }
        QString line = QStringLiteral("D:");
        for (int i = 0; i < length; ++i) {
            const unsigned char c = static_cast<unsigned char>(bytes[i]);
            if (c >= 0x20 && c < 0x7F && c != '\\')
                line += QLatin1Char(char(c));
            else
                line += QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0'));
        }
        self->calls << line;
    }
};

struct Free
{
    void operator()(CARD_Parser *p) const { CARD_ParserFree(p); }
};

// The calls for `input` fed in the given pieces (cut at `cuts`), the last one with the final flag.
QStringList tokenize(const QByteArray &input, bool modern, const QList<int> &cuts = {}, bool final = true)
{
    Recorder recorder;
    std::unique_ptr<CARD_Parser, Free> parser(CARD_ParserCreate());
    CARD_SetUserData(parser.get(), &recorder);
    CARD_SetPropHandler(parser.get(), Recorder::onProp);
    CARD_SetDataHandler(parser.get(), Recorder::onData);
    CARD_SetModernSyntax(parser.get(), modern ? 1 : 0);
    int from = 0;
    for (int cut : cuts) {
        if (!CARD_Parse(parser.get(), input.constData() + from, cut - from, 0))
            recorder.calls << QStringLiteral("FAILED");
        from = cut;
    }
    if (!CARD_Parse(parser.get(), input.constData() + from, int(input.size()) - from, final ? 1 : 0))
        recorder.calls << QStringLiteral("FAILED");
    return recorder.calls;
}

} // namespace

class TestVCardTokenizer : public QObject
{
    Q_OBJECT

private slots:
    void calls_data();
    void calls();
    void sameCallsForEveryChunking_data() { calls_data(); }
    void sameCallsForEveryChunking();
    void lastLineWaitsForFinalFlag();
    void longValueComesInOnePieceAndLaterLinesStillRead();
    void withoutHandlersNothingIsReported();
};

void TestVCardTokenizer::calls_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("modern");
    QTest::addColumn<QStringList>("expected");

    const QStringList card = {"P:BEGIN", "D:VCARD", "E",       "P:N", "D:Doe;John;;;",
                              "E",       "P:END",   "D:VCARD", "E"};
    QTest::newRow("card with CR LF") << QByteArray("BEGIN:VCARD\r\nN:Doe;John;;;\r\nEND:VCARD\r\n") << false
                                     << card;
    QTest::newRow("card with LF, no last line end")
        << QByteArray("BEGIN:VCARD\nN:Doe;John;;;\nEND:VCARD") << false << card;

    // Folding: 2.1 keeps the fold blank as one space, 3.0/4.0 drop it.
    QTest::newRow("2.1 fold") << QByteArray("NOTE:abc\r\n def\r\n\tghi\r\n") << false
                              << QStringList{"P:NOTE", "D:abc def ghi", "E"};
    QTest::newRow("3.0 fold") << QByteArray("NOTE:abc\r\n def\r\n\tghi\r\n") << true
                              << QStringList{"P:NOTE", "D:abcdefghi", "E"};
    QTest::newRow("3.0 fold splits a UTF-8 character") << QByteArray("N:Gr\xC3\r\n \xBC\xC3\x9F\r\n") << true
                                                       << QStringList{"P:N", "D:Gr\\xc3\\xbc\\xc3\\x9f", "E"};
    QTest::newRow("3.0 fold splits an e-mail address")
        << QByteArray("EMAIL:jo.smi\r\n th@example.org\r\n") << true
        << QStringList{"P:EMAIL", "D:jo.smith@example.org", "E"};
    QTest::newRow("2.1 fold with three blanks")
        << QByteArray("NOTE:abc\n   def") << false << QStringList{"P:NOTE", "D:abc   def", "E"};
    QTest::newRow("3.0 fold with three blanks")
        << QByteArray("NOTE:abc\n   def") << true << QStringList{"P:NOTE", "D:abc  def", "E"};
    QTest::newRow("empty lines vanish")
        << QByteArray("A:1\n\nB:2\r\n\r\nC:3") << false
        << QStringList{"P:A", "D:1", "E", "P:B", "D:2", "E", "P:C", "D:3", "E"};
    QTest::newRow("2.1 blank continuation line")
        << QByteArray("A:1\r\n \r\nB:2") << false << QStringList{"P:A", "D:1 ", "E", "P:B", "D:2", "E"};
    QTest::newRow("3.0 blank continuation line")
        << QByteArray("A:1\n \nB:2") << true << QStringList{"P:A", "D:1", "E", "P:B", "D:2", "E"};

    // Names and parameters.
    QTest::newRow("blanks dropped around name and parameters")
        << QByteArray("item1.TEL ; type = work :  +1 234 ") << false
        << QStringList{"P:item1.TEL|type=work", "D:+1 234 ", "E"};
    QTest::newRow("comma list is one value, bare parameter has none")
        << QByteArray("TEL;TYPE=HOME,VOICE;PREF:123") << false
        << QStringList{"P:TEL|TYPE=HOME,VOICE|PREF", "D:123", "E"};
    QTest::newRow("2.1 bare words") << QByteArray("TEL;HOME;VOICE:123") << false
                                    << QStringList{"P:TEL|HOME|VOICE", "D:123", "E"};
    QTest::newRow("2.1 escapes in a parameter value")
        << QByteArray("X;P=a\\;b\\\\c:v") << false << QStringList{"P:X|P=a;b\\c", "D:v", "E"};
    QTest::newRow("2.1 leading backslash stays")
        << QByteArray("X;P=\\x:v") << false << QStringList{"P:X|P=\\x", "D:v", "E"};
    QTest::newRow("3.0 quoted parameter value")
        << QByteArray("TEL;TYPE=\"work,voice\";X=\"a;b:c d\":1") << true
        << QStringList{"P:TEL|TYPE=work,voice|X=a;b:c d", "D:1", "E"};
    QTest::newRow("3.0 backslash is text in a parameter")
        << QByteArray("X;P=a\\b:v") << true << QStringList{"P:X|P=a\\b", "D:v", "E"};
    QTest::newRow("line feed inside the parameter part")
        << QByteArray("X;P\n=1:v") << false << QStringList{"P:X|P=1", "D:v", "E"};
    QTest::newRow("empty value") << QByteArray("NOTE:") << false << QStringList{"P:NOTE", "E"};
    QTest::newRow("empty name") << QByteArray(":x") << false << QStringList{"P:", "D:x", "E"};

    // Transfer encodings.
    QTest::newRow("ENCODING=b") << QByteArray("P;ENCODING=b:QUJD") << false
                                << QStringList{"P:P|ENCODING=b", "D:ABC", "E"};
    QTest::newRow("bare BASE64") << QByteArray("P;BASE64:QUJD") << false
                                 << QStringList{"P:P|BASE64", "D:ABC", "E"};
    QTest::newRow("bare B") << QByteArray("P;B:QUJD") << false << QStringList{"P:P|B", "D:ABC", "E"};
    QTest::newRow("encoding=Quoted-Printable") << QByteArray("N;encoding=Quoted-Printable:a=3Db") << false
                                               << QStringList{"P:N|encoding=Quoted-Printable", "D:a=b", "E"};
    QTest::newRow("bare QUOTED-PRINTABLE lower-case hex")
        << QByteArray("N;QUOTED-PRINTABLE:ab=3dc") << false
        << QStringList{"P:N|QUOTED-PRINTABLE", "D:ab=c", "E"};
    QTest::newRow("ENCODING=7BIT not decoded")
        << QByteArray("N;ENCODING=7BIT:a=3Db") << false << QStringList{"P:N|ENCODING=7BIT", "D:a=3Db", "E"};
    QTest::newRow("bare ENCODING not decoded")
        << QByteArray("N;ENCODING:a=3Db") << false << QStringList{"P:N|ENCODING", "D:a=3Db", "E"};
    QTest::newRow("QP non-hex escape") << QByteArray("N;QUOTED-PRINTABLE:=zz") << false
                                       << QStringList{"P:N|QUOTED-PRINTABLE", "D:\\x00", "E"};
    QTest::newRow("QP unfinished escape at the end")
        << QByteArray("N;QUOTED-PRINTABLE:ab=4\r\nX:1") << false
        << QStringList{"P:N|QUOTED-PRINTABLE", "D:ab", "E", "P:X", "D:1", "E"};
    QTest::newRow("QP trailing equals at the end of input")
        << QByteArray("N;QUOTED-PRINTABLE:ab=") << false << QStringList{"P:N|QUOTED-PRINTABLE", "D:ab", "E"};
    // A soft line break joins the next line with nothing inserted, also past the writer's blank.
    QTest::newRow("QP soft break") << QByteArray("N;QUOTED-PRINTABLE:ab=\r\ncd\r\nX:1") << false
                                   << QStringList{"P:N|QUOTED-PRINTABLE", "D:abcd", "E", "P:X", "D:1", "E"};
    QTest::newRow("QP soft break and a blank") << QByteArray("N;QUOTED-PRINTABLE:ab=\r\n cd") << false
                                               << QStringList{"P:N|QUOTED-PRINTABLE", "D:abcd", "E"};
    QTest::newRow("QP soft break inside a UTF-8 character")
        << QByteArray("N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=\r\n=BCller;=\r\nJ=C3=B6rg") << false
        << QStringList{"P:N|CHARSET=UTF-8|ENCODING=QUOTED-PRINTABLE", "D:M\\xc3\\xbcller;J\\xc3\\xb6rg", "E"};
    QTest::newRow("Base64 folded, then an empty line")
        << QByteArray("P;ENCODING=b:QUJD\r\n REVG\r\n RA\r\n\r\nN:x") << true
        << QStringList{"P:P|ENCODING=b", "D:ABCDEFD", "E", "P:N", "D:x", "E"};
    QTest::newRow("Base64 folded, 2.1") << QByteArray("P;BASE64:QUJD\r\n REVG\r\n RA") << false
                                        << QStringList{"P:P|BASE64", "D:ABCDEFD", "E"};
    QTest::newRow("Base64 short last group")
        << QByteArray("P;B:QUJDR") << false << QStringList{"P:P|B", "D:ABC", "E"};
    QTest::newRow("Base64 padding inside")
        << QByteArray("P;B:QQ==QUJD") << false << QStringList{"P:P|B", "D:AABC", "E"};

    QTest::newRow("Base64 long folded line")
        << QByteArray("P;B:MDEyMzQ1Njc4OWFiY2RlZjAxMjM0NTY3ODlhYmNk\r\n ZWYwMTIzNDU2Nzg5YWJjZGVm\r\nN:x")
        << true
        << QStringList{"P:P|B", "D:0123456789abcdef0123456789abcdef0123456789abcdef", "E", "P:N", "D:x", "E"};
    QTest::newRow("long plain value with a stray CR")
        << QByteArray("NOTE:abcdefghij\rklmnopqrstuvwxyz\r\nN:x") << false
        << QStringList{"P:NOTE", "D:abcdefghijklmnopqrstuvwxyz", "E", "P:N", "D:x", "E"};

    // Malformed lines are dropped and reading goes on.
    QTest::newRow("invalid Base64 in a long line")
        << QByteArray("P;B:QUJDQUJDQUJDQUJDQU*DQUJDQUJD\r\n QUJD\r\nN:x") << false
        << QStringList{"P:P|B", "X", "P:N", "D:x", "E"};
    QTest::newRow("invalid Base64") << QByteArray("P;B:QU*D\r\nN:x") << false
                                    << QStringList{"P:P|B", "X", "P:N", "D:x", "E"};
    QTest::newRow("line without colon")
        << QByteArray("garbage\nN:x") << false << QStringList{"P:N", "D:x", "E"};
    QTest::newRow("empty parameter name")
        << QByteArray("TEL;:123\r\nN:x") << false << QStringList{"P:N", "D:x", "E"};
    QTest::newRow("empty parameter value")
        << QByteArray("TEL;TYPE=:123\r\nN:x") << false << QStringList{"P:N", "D:x", "E"};
    QTest::newRow("folded malformed line is dropped whole")
        << QByteArray("TEL;:1\r\n 23\r\nN:x") << false << QStringList{"P:N", "D:x", "E"};
}

void TestVCardTokenizer::calls()
{
    QFETCH(QByteArray, input);
    QFETCH(bool, modern);
    QFETCH(QStringList, expected);
    QCOMPARE(tokenize(input, modern), expected);
}

void TestVCardTokenizer::sameCallsForEveryChunking()
{
    QFETCH(QByteArray, input);
    QFETCH(bool, modern);
    const QStringList whole = tokenize(input, modern);
    for (int i = 0; i <= input.size(); ++i) {
        for (int j = i; j <= input.size(); ++j) {
            const QStringList split = tokenize(input, modern, {i, j});
            if (split != whole)
                QFAIL(qPrintable(
                    QStringLiteral("cut at %1 and %2: %3").arg(i).arg(j).arg(split.join(QLatin1Char(' ')))));
        }
    }
}

void TestVCardTokenizer::lastLineWaitsForFinalFlag()
{
    QCOMPARE(tokenize("N:x", false, {}, false), QStringList{"P:N"});
    QCOMPARE(tokenize("N:x", false, {}, true), (QStringList{"P:N", "D:x", "E"}));
}

void TestVCardTokenizer::longValueComesInOnePieceAndLaterLinesStillRead()
{
    const QByteArray big(300 * 1024, 'a');
    const QStringList calls = tokenize("NOTE:" + big + "\r\nN:x\r\n", false);
    QCOMPARE(calls.size(), 6);
    QCOMPARE(calls.at(1).size(), big.size() + 2);
    QCOMPARE(calls.mid(3), (QStringList{"P:N", "D:x", "E"}));
}

void TestVCardTokenizer::withoutHandlersNothingIsReported()
{
    std::unique_ptr<CARD_Parser, Free> parser(CARD_ParserCreate());
    const QByteArray input("BEGIN:VCARD\r\nP;B:QU*D\r\nEND:VCARD\r\n");
    QVERIFY(CARD_Parse(parser.get(), input.constData(), int(input.size()), 1));
    QCOMPARE(QByteArray(CARD_ParserVersion()), QByteArray("1.0"));
}

TARNWICK_TEST_MAIN(TestVCardTokenizer)
#include "tst_vcardtokenizer.moc"
