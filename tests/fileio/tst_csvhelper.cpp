#include "fileio/csvhelper.h"

#include "ExceptionText.h"
#include "TestMain.h"

#include <QBuffer>

namespace {

// Delivers its bytes, then fails every read with a known error text.
class FailingDevice : public QIODevice
{
public:
    explicit FailingDevice(QByteArray bytes)
        : m_bytes(std::move(bytes))
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }

protected:
    qint64 readData(char *data, qint64 max) override
    {
        if (m_pos >= m_bytes.size()) {
            setErrorString(QStringLiteral("disk on fire"));
            return -1;
        }
        const qint64 n = qMin<qint64>(max, m_bytes.size() - m_pos);
        memcpy(data, m_bytes.constData() + m_pos, size_t(n));
        m_pos += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    qint64 m_pos = 0;
};

// Hands out one byte per read, as a pipe or socket may.
class OneByteDevice : public QIODevice
{
public:
    explicit OneByteDevice(QByteArray bytes)
        : m_bytes(std::move(bytes))
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 max) override
    {
        if (m_pos >= m_bytes.size() || max < 1)
            return 0;
        *data = m_bytes.at(m_pos++);
        return 1;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    qsizetype m_pos = 0;
};

} // namespace

class TestCsvHelper : public QObject
{
    Q_OBJECT

private slots:
    void row_data();
    void row();
    void rowReadsOneRecordAtATime();
    void everyLineEndStyleGivesTheSameRecords_data();
    void everyLineEndStyleGivesTheSameRecords();
    void markCheckOnADeviceThatTrickles();
    void readErrorThrowsWithTheDeviceText();
    void formatCell_data();
    void formatCell();
    void formattedCellsReadBack();
    void otherHelpers();
};

void TestCsvHelper::row_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("skipBom");
    QTest::addColumn<char>("separator");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<bool>("result");

    const char c = ',';
    QTest::newRow("plain") << QByteArray("a,b,c\n") << false << c << QStringList{"a", "b", "c"} << true;
    QTest::newRow("empty trailing") << QByteArray("a,,\n") << false << c << QStringList{"a", "", ""} << true;
    QTest::newRow("empty line") << QByteArray("\n") << false << c << QStringList{""} << true;
    QTest::newRow("CR LF") << QByteArray("a,b\r\n") << false << c << QStringList{"a", "b"} << true;
    QTest::newRow("lone CR ends the row")
        << QByteArray("a,b\rc\n") << false << c << QStringList{"a", "b"} << true;
    QTest::newRow("CR at the very end") << QByteArray("a\r") << false << c << QStringList{"a"} << true;
    QTest::newRow("quoted lone CR") << QByteArray("\"a\rb\"\r") << false << c << QStringList{"a\rb"} << true;
    QTest::newRow("quoted comma") << QByteArray("\"x,y\",z\n") << false << c << QStringList{"x,y", "z"}
                                  << true;
    QTest::newRow("doubled quote") << QByteArray("\"a\"\"b\"\n") << false << c << QStringList{"a\"b"} << true;
    QTest::newRow("empty quoted") << QByteArray("\"\"\n") << false << c << QStringList{""} << true;
    QTest::newRow("text after closing quote")
        << QByteArray("\"ab\"cd\n") << false << c << QStringList{"abcd"} << true;
    QTest::newRow("quote opens mid-field")
        << QByteArray("ab\"cd,ef\"\n") << false << c << QStringList{"abcd,ef"} << true;
    QTest::newRow("opened and closed at once")
        << QByteArray("x\"\"y\n") << false << c << QStringList{"xy"} << true;
    QTest::newRow("second quote is text")
        << QByteArray("\"a\"b\"c\n") << false << c << QStringList{"ab\"c"} << true;
    QTest::newRow("quoted line feed")
        << QByteArray("\"l1\nl2\"\n") << false << c << QStringList{"l1\nl2"} << true;
    QTest::newRow("quoted CR LF") << QByteArray("\"a\r\nb\"\n") << false << c << QStringList{"a\r\nb"}
                                  << true;
    QTest::newRow("end without line feed")
        << QByteArray("a,b") << false << c << QStringList{"a", "b"} << false;
    QTest::newRow("nothing") << QByteArray() << false << c << QStringList{""} << false;
    QTest::newRow("nothing, mark check") << QByteArray() << true << c << QStringList{} << false;
    QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF"
                                                   "a\n")
                                     << true << c << QStringList{"a"} << true;
    QTest::newRow("short input, mark check") << QByteArray("a\n") << true << c << QStringList{"a"} << true;
    QTest::newRow("unclosed quote") << QByteArray("\"abc\ndef") << false << c << QStringList{"abc\ndef"}
                                    << false;

    QTest::newRow("zero byte ends the text")
        << QByteArray("ab\0cd,e\n", 8) << false << c << QStringList{"ab", "e"} << true;
    QTest::newRow("UTF-8") << QByteArray("J\xC3\xB6rg,\xE7\x8E\x8B\n") << false << c
                           << QStringList{"Jörg", "王"} << true;
    QTest::newRow("tabs") << QByteArray("a\tb,c\t\"d\te\"\n") << false << '\t'
                          << QStringList{"a", "b,c", "d\te"} << true;
    QTest::newRow("semicolons") << QByteArray("a;b,c;\"d;e\"\n") << false << ';'
                                << QStringList{"a", "b,c", "d;e"} << true;
}

void TestCsvHelper::row()
{
    QFETCH(QByteArray, input);
    QFETCH(bool, skipBom);
    QFETCH(char, separator);
    QFETCH(QStringList, fields);
    QFETCH(bool, result);
    QBuffer buffer(&input);
    buffer.open(QIODevice::ReadOnly);
    QStringList got{QStringLiteral("kept")};
    QCOMPARE(csvhelper::utf8CSVRow(got, &buffer, skipBom, separator), result);
    QCOMPARE(got, QStringList{QStringLiteral("kept")} + fields);
}

void TestCsvHelper::rowReadsOneRecordAtATime()
{
    QByteArray input("a\nb\n");
    QBuffer buffer(&input);
    buffer.open(QIODevice::ReadOnly);
    QStringList row;
    QVERIFY(csvhelper::utf8CSVRow(row, &buffer, true));
    QCOMPARE(row, QStringList{"a"});
    row.clear();
    QVERIFY(csvhelper::utf8CSVRow(row, &buffer, false));
    QCOMPARE(row, QStringList{"b"});
}

void TestCsvHelper::everyLineEndStyleGivesTheSameRecords_data()
{
    QTest::addColumn<QByteArray>("eol");
    QTest::newRow("LF") << QByteArray("\n");
    QTest::newRow("CR LF") << QByteArray("\r\n");
    QTest::newRow("CR") << QByteArray("\r");
}

// Line breaks inside quotes stay text whatever the file's own line ends are.
void TestCsvHelper::everyLineEndStyleGivesTheSameRecords()
{
    QFETCH(QByteArray, eol);
    QByteArray input = QByteArray("x,y") + eol + "1,\"a\rb\nc\r\nd\"" + eol + eol + "2,3" + eol;
    const QList<QStringList> expected{{"x", "y"}, {"1", "a\rb\nc\r\nd"}, {""}, {"2", "3"}};

    QBuffer buffer(&input);
    buffer.open(QIODevice::ReadOnly);
    QList<QStringList> records;
    QStringList fields;
    while (csvhelper::utf8CSVRow(fields, &buffer, records.isEmpty())) {
        records << fields;
        fields.clear();
    }
    QCOMPARE(records, expected);
    QCOMPARE(fields, QStringList{""});

    buffer.seek(0);
    QCOMPARE(csvhelper::totalRecords(&buffer), 4);

    buffer.seek(0);
    fields.clear();
    QVERIFY(csvhelper::utf8CSVRowSkip(fields, &buffer, 2));
    QCOMPARE(fields, expected.at(0));
    fields.clear();
    QVERIFY(csvhelper::utf8CSVRowSkip(fields, &buffer, 2));
    QCOMPARE(fields, expected.at(1));
    fields.clear();
    QVERIFY(csvhelper::utf8CSVRowSkip(fields, &buffer, 2));
    QCOMPARE(fields, expected.at(3));
}

void TestCsvHelper::markCheckOnADeviceThatTrickles()
{
    for (const QByteArray &input : {QByteArray("\xEF\xBB\xBF"
                                               "a,b\nc\n"),
                                    QByteArray("a,b\nc\n"), QByteArray("a\nc\n")}) {
        OneByteDevice device(input);
        QStringList first;
        QVERIFY(csvhelper::utf8CSVRow(first, &device, true));
        QStringList second;
        QVERIFY(csvhelper::utf8CSVRow(second, &device, false));
        QCOMPARE(first.value(0), QStringLiteral("a"));
        QCOMPARE(second, QStringList{"c"});
    }
}

void TestCsvHelper::readErrorThrowsWithTheDeviceText()
{
    FailingDevice device("a,b");
    QStringList row;
    QCOMPARE(tarnwick::test::whatOf<std::runtime_error>([&] { csvhelper::utf8CSVRow(row, &device, false); }),
             QStringLiteral("disk on fire"));
    QCOMPARE(row, QStringList{"a"});
    FailingDevice counted("a\nb");
    QCOMPARE(tarnwick::test::whatOf<std::runtime_error>([&] { csvhelper::totalRecords(&counted); }),
             QStringLiteral("disk on fire"));
}

void TestCsvHelper::formatCell_data()
{
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QString>("written");

    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("plain") << QStringLiteral("abc") << QStringLiteral("abc");
    QTest::newRow("comma") << QStringLiteral("a,b") << QStringLiteral("\"a,b\"");
    QTest::newRow("line feed") << QStringLiteral("a\nb") << QStringLiteral("\"a\nb\"");
    QTest::newRow("quote") << QStringLiteral("x\"y") << QStringLiteral("\"x\"\"y\"");
    // A bare CR would be dropped on reading.
    QTest::newRow("carriage return") << QStringLiteral("a\rb") << QStringLiteral("\"a\rb\"");
    QTest::newRow("tab, semicolon, blanks") << QStringLiteral(" a\t;b ") << QStringLiteral(" a\t;b ");
}

void TestCsvHelper::formatCell()
{
    QFETCH(QString, cell);
    QFETCH(QString, written);
    QCOMPARE(csvhelper::formatCell(cell), written);
}

void TestCsvHelper::formattedCellsReadBack()
{
    const QStringList cells{"plain", "a,b", "q\"uote", "l1\r\nl2", "cr\ronly", "", "Jörg"};
    QStringList written;
    for (const QString &cell : cells)
        written << csvhelper::formatCell(cell);
    QByteArray bytes = written.join(QLatin1Char(',')).toUtf8() + '\n';
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QStringList row;
    QVERIFY(csvhelper::utf8CSVRow(row, &buffer, true));
    QCOMPARE(row, cells);
}

void TestCsvHelper::otherHelpers()
{
    QByteArray input("a,\"x\ny\"\nb\nc");
    QBuffer buffer(&input);
    buffer.open(QIODevice::ReadOnly);
    QCOMPARE(csvhelper::totalRecords(&buffer), 2);

    QByteArray records("x\n1,2\n1,2,3\n");
    QBuffer recordBuffer(&records);
    recordBuffer.open(QIODevice::ReadOnly);
    QStringList fields;
    QVERIFY(csvhelper::utf8CSVRowSkip(fields, &recordBuffer, 3));
    QCOMPARE(fields, (QStringList{"1", "2", "3"}));

    const QHash<QString, int> header = csvhelper::toHeader({"a", "b", "c", "d", "b"});
    QCOMPARE(header.value(QStringLiteral("b")), 4);
    QCOMPARE(csvhelper::getCell(header, {"0", "1", "2"}, QStringLiteral("c"), QStringLiteral("-")),
             QStringLiteral("2"));
    QCOMPARE(csvhelper::getCell(header, {"0", "1", "2"}, QStringLiteral("b"), QStringLiteral("-")),
             QStringLiteral("-"));
    QCOMPARE(csvhelper::getCell(header, {"0"}, QStringLiteral("z"), QStringLiteral("-")),
             QStringLiteral("-"));
}

TARNWICK_TEST_MAIN(TestCsvHelper)
#include "tst_csvhelper.moc"
