#include "fileio/QVCardParser.h"

#include "TestMain.h"

using Property = QVCardParser::_Property;

class TestVCardEncoders : public QObject
{
    Q_OBJECT

private slots:
    void quoted_data();
    void quoted();
    void quotedReadsBack();
    void base64_data();
    void base64();
    void card();
    void parametersInNameOrder();
    void folding_data();
    void folding();
};

void TestVCardEncoders::quoted_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("width");
    QTest::addColumn<QByteArray>("output");

    QTest::newRow("UTF-8 and blanks")
        << QByteArray("Caf\xC3\xA9 au lait") << 0 << QByteArray("Caf=C3=A9=20au=20lait");
    QTest::newRow("line break") << QByteArray("line one\r\nline two") << 0
                                << QByteArray("line=20one=0D=0Aline=20two");
    QTest::newRow("control and high bytes") << QByteArray("\x00\x7F\xFF", 3) << 0 << QByteArray("=00=7F=FF");
    QTest::newRow("soft breaks") << QByteArray("abcdefghij") << 6
                                 << QByteArray("abc=\r\n def=\r\n ghi=\r\n j");
    QTest::newRow("break after the last unit") << QByteArray("abc") << 6 << QByteArray("abc=\r\n ");
    QTest::newRow("escape never split") << QByteArray("ab=cd") << 8 << QByteArray("ab=3D=\r\n cd");
    QTest::newRow("width 1 breaks after every unit")
        << QByteArray("a=") << 1 << QByteArray("a=\r\n =3D=\r\n ");
    QTest::newRow("structure characters stay") << QByteArray(";,:\\") << 0 << QByteArray(";,:\\");
    QTest::newRow("empty") << QByteArray() << 6 << QByteArray();
}

void TestVCardEncoders::quoted()
{
    QFETCH(QByteArray, input);
    QFETCH(int, width);
    QFETCH(QByteArray, output);
    QCOMPARE(QVCardParser::encodeQuoted(input, width), output);
}

void TestVCardEncoders::quotedReadsBack()
{
    // Soft breaks as the writer folds them, also inside a UTF-8 character, come back whole.
    const QByteArray text("Grüße aus Köln, 1 = 1\r\nzweite Zeile");
    for (int width : {0, 5, 8, 13, 76}) {
        Property p;
        p.name = QStringLiteral("NOTE");
        p.params.insert(QStringLiteral("CHARSET"), QStringLiteral("UTF-8"));
        p.params.insert(QStringLiteral("ENCODING"), QStringLiteral("QUOTED-PRINTABLE"));
        p.value = QVCardParser::encodeQuoted(text, width);
        const auto cards = QVCardParser::parse(QVCardParser::vcard2Bytes({p}));
        QCOMPARE(cards.value(0).value(0).toString(), QString::fromUtf8(text));
    }
}

void TestVCardEncoders::base64_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("width");
    QTest::addColumn<QByteArray>("output");

    QTest::newRow("folded") << QByteArray("abcdefgh") << 4 << QByteArray("YWJj\r\n ZGVm\r\n Z2g=");
    QTest::newRow("exact multiple, no trailing fold")
        << QByteArray("abcdef") << 4 << QByteArray("YWJj\r\n ZGVm");
    QTest::newRow("57 bytes at 75") << QByteArray(57, 'x') << 75
                                    << QByteArray(QByteArray(57, 'x').toBase64()).insert(75, "\r\n ");
    QTest::newRow("empty") << QByteArray() << 75 << QByteArray();
}

void TestVCardEncoders::base64()
{
    QFETCH(QByteArray, input);
    QFETCH(int, width);
    QFETCH(QByteArray, output);
    QCOMPARE(QVCardParser::encodeBase64(input, width), output);
}

void TestVCardEncoders::card()
{
    QList<Property> props(4);
    props[0].name = QStringLiteral("VERSION");
    props[0].value = "3.0";
    props[1].name = QStringLiteral("FN");
    props[1].params.insert(QStringLiteral("CHARSET"), QStringLiteral("UTF-8"));
    props[1].value = "Sample Contact";
    props[2].name = QStringLiteral("TEL");
    props[2].params.insert(QStringLiteral("TYPE"), QStringLiteral("cell"));
    props[2].value = "555 010 999";
    props[3].name = QStringLiteral("NOTE");
    props[3].params.insert(QStringLiteral("ENCODING"), QStringLiteral("QUOTED-PRINTABLE"));
    props[3].params.insert(QStringLiteral("CHARSET"), QStringLiteral("UTF-8"));
    props[3].value = QVCardParser::encodeQuoted("Caf\xC3\xA9 au lait", 0);
    const QByteArray card = QVCardParser::vcard2Bytes(props);
    QCOMPARE(
        card,
        QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN;CHARSET=UTF-8:Sample Contact\r\n"
                   "TEL;TYPE=cell:555 010 999\r\n"
                   "NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Caf=C3=A9=20au=20lait\r\nEND:VCARD\r\n"));
    QCOMPARE(card.size(), 165);
    QCOMPARE(QVCardParser::vcard2Bytes({}), QByteArray("BEGIN:VCARD\r\nEND:VCARD\r\n"));
}

void TestVCardEncoders::parametersInNameOrder()
{
    Property p;
    p.name = QStringLiteral("X");
    p.params.insert(QStringLiteral("type"), QStringLiteral("a"));
    p.params.insert(QStringLiteral("TYPE"), QStringLiteral("b"));
    p.params.insert(QStringLiteral("CHARSET"), QStringLiteral("c"));
    p.params.insert(QStringLiteral("EMPTY"), QString());
    p.value = QByteArray("v\0w", 3);
    QCOMPARE(QVCardParser::vcard2Bytes({p}), QByteArray("BEGIN:VCARD\r\nX;CHARSET=c;EMPTY=;TYPE=b;type=a:") +
                                                 QByteArray("v\0w", 3) + QByteArray("\r\nEND:VCARD\r\n"));
}

// "X:" and the value make the 75-octet line of a 3.0 card; "|" marks where the line must fold.
void TestVCardEncoders::folding_data()
{
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("folded");

    const QByteArray a73(73, 'a');
    const QByteArray a74(74, 'a');
    QTest::newRow("75 octets stay whole") << QByteArray("3.0") << QByteArray() << a73 << a73;
    QTest::newRow("76 octets fold") << QByteArray("3.0") << QByteArray() << a73 + "b" << a73 + "|b";
    QTest::newRow("continuation lines hold 74 after their space")
        << QByteArray("4.0") << QByteArray() << a73 + a74 + a74 + "c" << a73 + "|" + a74 + "|" + a74 + "|c";
    QTest::newRow("never inside a two-octet character")
        << QByteArray("3.0") << QByteArray() << QByteArray(72, 'a') + "\xC3\xA9z"
        << QByteArray(72, 'a') + "|\xC3\xA9z";
    QTest::newRow("never inside a four-octet character")
        << QByteArray("3.0") << QByteArray() << QByteArray(71, 'a') + "\xF0\x9F\x98\x80z"
        << QByteArray(71, 'a') + "|\xF0\x9F\x98\x80z";
    QTest::newRow("never inside a quoted-printable escape")
        << QByteArray("3.0") << QByteArray("QUOTED-PRINTABLE") << QByteArray(45, 'a') + "=C3=A9"
        << QByteArray(45, 'a') + "|=C3=A9";
    QTest::newRow("never just after an equals sign")
        << QByteArray("3.0") << QByteArray() << QByteArray(72, 'a') + "=bc" << QByteArray(72, 'a') + "|=bc";
    QTest::newRow("2.1 is not folded") << QByteArray("2.1") << QByteArray() << a74 + a74 << a74 + a74;
    QTest::newRow("a break an encoder made starts a line")
        << QByteArray("3.0") << QByteArray() << QByteArray("ab\r\n ") + a74 + "c"
        << "ab\r\n " + a74 + "|c";
}

void TestVCardEncoders::folding()
{
    QFETCH(QByteArray, version);
    QFETCH(QByteArray, encoding);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, folded);
    QList<Property> props(2);
    props[0].name = QStringLiteral("VERSION");
    props[0].value = version;
    props[1].name = QStringLiteral("X");
    props[1].value = value;
    if (!encoding.isEmpty()) {
        props[1].name = QStringLiteral("Y");
        props[1].params.insert(QStringLiteral("ENCODING"), QString::fromLatin1(encoding));
    }
    const QByteArray head =
        props[1].name.toLatin1() + (encoding.isEmpty() ? QByteArray() : ";ENCODING=" + encoding) + ":";
    QCOMPARE(QVCardParser::vcard2Bytes(props), "BEGIN:VCARD\r\nVERSION:" + version + "\r\n" + head +
                                                   folded.replace("|", "\r\n ") + "\r\nEND:VCARD\r\n");
}

TARNWICK_TEST_MAIN(TestVCardEncoders)
#include "tst_vcardencoders.moc"
