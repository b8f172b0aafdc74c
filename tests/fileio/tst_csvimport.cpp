#include "fileio/CSVExport.h"
#include "fileio/CSVImport.h"

#include "EntityFixtures.h"
#include "ExceptionText.h"
#include "TestMain.h"

#include <QTemporaryDir>

#include <algorithm>

using tarnwick::test::render;

namespace {

// The contacts of a CSV file written with `bytes`; the error text when reading fails.
struct CsvRead
{
    QList<pim::_Contact> contacts;
    int total = -1;
    QString error;
};

CsvRead readCsv(const QString &path)
{
    CsvRead out;
    CSVImport reader;
    out.error = tarnwick::test::whatOf([&] { reader.initialize(path); });
    if (!out.error.isEmpty())
        return out;
    out.total = reader.total();
    while (reader.hasNext())
        out.contacts << reader.nextContact();
    return out;
}

QString writeFile(QTemporaryDir &dir, const QByteArray &bytes)
{
    const QString path = dir.filePath(QStringLiteral("in.csv"));
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(bytes);
    return path;
}

QString describe(const CSVImport::_ColInfo &i)
{
    return QStringLiteral("%1 %2 %3 %4").arg(i.entityType).arg(i.subType).arg(i.typeKey, i.valueKey);
}

} // namespace

class TestCsvImport : public QObject
{
    Q_OBJECT

private slots:
    void columns_data();
    void columns();
    void rows_data();
    void rows();
    void fixture_data();
    void fixture();
    void fileShapes_data();
    void fileShapes();
    void lineEndStylesReadAlike_data();
    void lineEndStylesReadAlike();
    void writtenTableReadsBack_data();
    void writtenTableReadsBack();
};

void TestCsvImport::writtenTableReadsBack_data()
{
    QTest::addColumn<QString>("fullName");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("expected"); // empty: the entries themselves

    QTest::newRow("address kept as one free text")
        << QStringLiteral("A")
        << QStringList{"1|data1=A|data2=A", "12|data1=1 Elm St, Rear\nTown|data2=1",
                       "12|data1=x\ny|data2=1|data4=x|data7=y"}
        << QStringList{};
    QTest::newRow("two addresses of one type, parts missing in each")
        << QStringLiteral("A")
        << QStringList{"1|data1=A|data2=A", "12|data1=1 Elm\nLeeds|data2=2|data4=1 Elm|data7=Leeds",
                       "12|data1=Hull\nUK|data2=2|data7=Hull|data10=UK|data11=GB"}
        << QStringList{};
    QTest::newRow("two organisations")
        << QStringLiteral("A")
        << QStringList{"1|data1=A|data2=A", "10|data1=Company A|data2=1|data5=Dept A",
                       "10|data1=Company B|data2=0|data4=Boss"}
        << QStringList{};
    QTest::newRow("IM types and a protocol of one's own")
        << QStringLiteral("A")
        << QStringList{"1|data1=A|data2=A", "8|data1=a|data2=2|data5=4",
                       "8|data1=b|data2=0|data5=0|data6=Matrix", "8|data1=c|data2=1|data5=8"}
        << QStringList{};
    QTest::newRow("phonetic names")
        << QStringLiteral("Taro Yamada")
        << QStringList{"1|data1=Taro Yamada|data2=Taro|data3=Yamada|data7=たろう|data8=やまだ"}
        << QStringList{};
    QTest::newRow("display name other than the parts make")
        << QStringLiteral("山田 太郎") << QStringList{"1|data1=山田 太郎|data2=太郎|data3=山田"}
        << QStringList{};
    QTest::newRow("separator inside values")
        << QStringLiteral("A")
        << QStringList{"1|data1=A|data2=A",       "5|data1=a ::: b|data2=1",  "5|data1=\"q\"|data2=4",
                       "11|data1=x:::y|data2=14", "11|data1=z ::: |data2=14", "9|data1=n1 ::: n2",
                       "9|data1=second"}
        << QStringList{};
    QTest::newRow("nickname types, sub-type 0 kept")
        << QStringLiteral("A")
        << QStringList{"1|data1=A|data2=A", "3|data1=1|data2=0", "5|data1=a|data2=2", "5|data1=b|data2=3",
                       "5|data1=c|data2=0"}
        << QStringList{};
}

void TestCsvImport::writtenTableReadsBack()
{
    QFETCH(QString, fullName);
    QFETCH(QStringList, entries);
    QFETCH(QStringList, expected);
    const pim::_Contact c = tarnwick::test::contactOf(fullName, entries);
    CSVExport writer;
    QByteArray bytes = writer.initialize({c});
    bytes += writer.ct2Bytes(c);
    bytes += writer.uninitialize();
    CSVImport reader;
    reader.load(bytes);
    QVERIFY2(reader.hasNext(), bytes.constData());
    const pim::_Contact back = reader.nextContact();
    QCOMPARE(back.fullName, fullName);
    QStringList got = render(back.entities);
    QStringList want = expected.isEmpty() ? entries : expected;
    std::sort(got.begin(), got.end());
    std::sort(want.begin(), want.end());
    QCOMPARE(got, want);
}

void TestCsvImport::columns_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("info");

    QTest::newRow("Tel:Mobile") << QStringLiteral("Tel:Mobile") << QStringLiteral("3 2 data2 data1");
    QTest::newRow("Tel:Other") << QStringLiteral("Tel:Other") << QStringLiteral("3 0 data2 data1");
    // An account's protocol and type are values of the column's entries.
    QTest::newRow("IM:Other") << QStringLiteral("IM:Other") << QStringLiteral("8 0  data1");
    QTest::newRow("IM:Google Talk") << QStringLiteral("IM:Google Talk") << QStringLiteral("8 0  data1");
    QTest::newRow("Addr:Home:Street")
        << QStringLiteral("Addr:Home:Street") << QStringLiteral("12 1 data2 data4");
    QTest::newRow("Addr:Work:Postcode")
        << QStringLiteral("Addr:Work:Postcode") << QStringLiteral("12 2 data2 data9");
    QTest::newRow("Addr:Other:Country")
        << QStringLiteral("Addr:Other:Country") << QStringLiteral("12 0 data2 data10");
    QTest::newRow("Email:Mobile") << QStringLiteral("Email:Mobile") << QStringLiteral("4 4 data2 data1");
    QTest::newRow("Date:Birthday") << QStringLiteral("Date:Birthday") << QStringLiteral("6 3 data2 data1");
    QTest::newRow("Url:Home page") << QStringLiteral("Url:Home page") << QStringLiteral("13 1 data2 data1");
    QTest::newRow("Url:Home") << QStringLiteral("Url:Home") << QStringLiteral("13 4 data2 data1");
    QTest::newRow("Rel:Referred by") << QStringLiteral("Rel:Referred by")
                                     << QStringLiteral("11 11 data2 data1");
    QTest::newRow("Rel:Referred By unknown") << QStringLiteral("Rel:Referred By") << QStringLiteral("0 0  ");
    QTest::newRow("Referred By") << QStringLiteral("Referred By") << QStringLiteral("11 11 data2 data1");
    QTest::newRow("Children") << QStringLiteral("Children") << QStringLiteral("11 3 data2 data1");
    QTest::newRow("Title is a prefix") << QStringLiteral("Title") << QStringLiteral("1 0  data5");
    QTest::newRow("Name Prefix") << QStringLiteral("Name Prefix") << QStringLiteral("1 0  data5");
    QTest::newRow("Job Title") << QStringLiteral("Job Title") << QStringLiteral("10 0  data4");
    QTest::newRow("Category") << QStringLiteral("Category") << QStringLiteral("7 0  data2");
    QTest::newRow("Nickname") << QStringLiteral("Nickname") << QStringLiteral("5 1 data2 data1");
    QTest::newRow("Birthday") << QStringLiteral("Birthday") << QStringLiteral("6 3 data2 data1");
    QTest::newRow("Home Street 3") << QStringLiteral("Home Street 3") << QStringLiteral("12 1 data2 data4");
    QTest::newRow("Home Phone 2") << QStringLiteral("Home Phone 2") << QStringLiteral("3 1 data2 data1");
    QTest::newRow("Business Phone 2")
        << QStringLiteral("Business Phone 2") << QStringLiteral("3 17 data2 data1");
    QTest::newRow("Primary Phone") << QStringLiteral("Primary Phone") << QStringLiteral("3 12 data2 data1");
    QTest::newRow("Assistant's Phone")
        << QStringLiteral("Assistant's Phone") << QStringLiteral("3 19 data2 data1");
    QTest::newRow("TTY/TDD Phone") << QStringLiteral("TTY/TDD Phone") << QStringLiteral("3 16 data2 data1");
    QTest::newRow("E-mail 3 Address")
        << QStringLiteral("E-mail 3 Address") << QStringLiteral("4 0 data2 data1");
    QTest::newRow("Business Postal Code")
        << QStringLiteral("Business Postal Code") << QStringLiteral("12 2 data2 data9");
    QTest::newRow("Other Country") << QStringLiteral("Other Country") << QStringLiteral("12 0 data2 data10");
    QTest::newRow("Web Page") << QStringLiteral("Web Page") << QStringLiteral("13 1 data2 data1");
    QTest::newRow("E-mail 1 - Value")
        << QStringLiteral("E-mail 1 - Value") << QStringLiteral("4 1 data2 data1");
    QTest::newRow("case differs") << QStringLiteral("first name") << QStringLiteral("0 0  ");
    QTest::newRow("trailing blank") << QStringLiteral("First Name ") << QStringLiteral("0 0  ");
    QTest::newRow("empty") << QString() << QStringLiteral("0 0  ");
}

void TestCsvImport::columns()
{
    QFETCH(QString, header);
    QFETCH(QString, info);
    QCOMPARE(describe(CSVImport::colInfo(header)), info);
}

void TestCsvImport::rows_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QStringList>("fullNames");
    QTest::addColumn<QList<QStringList>>("entries");

    QTest::newRow("names")
        << QByteArray("First Name,Last Name,Middle Name,Prefix,Suffix\nAnn,Lee,B,Dr,III\n")
        << QStringList{"Dr Ann B Lee III"}
        << QList<QStringList>{{"1|data1=Dr Ann B Lee III|data2=Ann|data3=Lee|data4=B|data5=Dr|data6=III"}};
    // Several numbers of one kind are several entries, never one joined number.
    QTest::newRow("two home phones") << QByteArray("First Name,Home Phone,Home Phone 2\nA,1,2\n")
                                     << QStringList{"A"}
                                     << QList<QStringList>{
                                            {"1|data1=A|data2=A", "3|data1=1|data2=1", "3|data1=2|data2=1"}};
    QTest::newRow("several values in one cell")
        << QByteArray("First Name,E-mail 1 - Value,Url:Blog\nA,a@x ::: b@y,u1 ::: u2\n") << QStringList{"A"}
        << QList<QStringList>{{"1|data1=A|data2=A", "4|data1=a@x|data2=1", "4|data1=b@y|data2=1",
                               "13|data1=u1|data2=2", "13|data1=u2|data2=2"}};
    QTest::newRow("streets still join")
        << QByteArray("First Name,Home Street,Home Street 2,Home City\nA,1 Elm Rd,Flat 2,Leeds\n")
        << QStringList{"A"}
        << QList<QStringList>{{"1|data1=A|data2=A",
                               "12|data1=1 Elm Rd Flat 2\nLeeds|data2=1|data4=1 Elm Rd Flat 2|data7=Leeds"}};
    QTest::newRow("sub-type 0 is kept") << QByteArray("First Name,Other Phone\nA,9\n") << QStringList{"A"}
                                        << QList<QStringList>{{"1|data1=A|data2=A", "3|data1=9|data2=0"}};
    QTest::newRow("instant messaging")
        << QByteArray("First Name,IM:Skype,IM:Other\nA,sk,ot\n") << QStringList{"A"}
        << QList<QStringList>{
               {"1|data1=A|data2=A", "8|data1=sk|data2=1|data5=4", "8|data1=ot|data2=1|data5=0"}};
    QTest::newRow("same note header twice, two notes, left first")
        << QByteArray("First Name,Notes,Notes\nA,left,right\n") << QStringList{"A"}
        << QList<QStringList>{{"1|data1=A|data2=A", "9|data1=left", "9|data1=right"}};
    QTest::newRow("short and long rows")
        << QByteArray("First Name,Last Name,Tel:Work\nA\nB,C,1,extra,more\n") << QStringList{"A", "B C"}
        << QList<QStringList>{{"1|data1=A|data2=A"}, {"1|data1=B C|data2=B|data3=C", "3|data1=1|data2=3"}};
    QTest::newRow("nameless and blank-name rows")
        << QByteArray("First Name,Tel:Work,Nowhere\n,1,x\n  ,2,y\n") << QStringList{"", ""}
        << QList<QStringList>{{"3|data1=1|data2=3"}, {"1|data2=  ", "3|data1=2|data2=3"}};
    QTest::newRow("phone order by key text")
        << QByteArray("First Name,Tel:Mobile,Tel:Company Main,Tel:Home\nA,m,c,h\n") << QStringList{"A"}
        << QList<QStringList>{
               {"1|data1=A|data2=A", "3|data1=h|data2=1", "3|data1=c|data2=10", "3|data1=m|data2=2"}};
    QTest::newRow("organisation and group")
        << QByteArray(
               "First Name,Company,Job Title,Department,Category\nA,ACME,Boss,Sales,\"Golf, Tennis\"\n")
        << QStringList{"A"}
        << QList<QStringList>{
               {"1|data1=A|data2=A", "7|data2=Golf, Tennis", "10|data1=ACME|data4=Boss|data5=Sales"}};
}

void TestCsvImport::rows()
{
    QFETCH(QByteArray, csv);
    QFETCH(QStringList, fullNames);
    QFETCH(QList<QStringList>, entries);
    QTemporaryDir dir;
    const CsvRead read = readCsv(writeFile(dir, csv));
    QCOMPARE(read.error, QString());
    QStringList names;
    QList<QStringList> got;
    for (const pim::_Contact &c : read.contacts) {
        names << c.fullName;
        got << render(c.entities);
    }
    QCOMPARE(names, fullNames);
    QCOMPARE(got, entries);
}

void TestCsvImport::fixture_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("fullNames");
    QTest::addColumn<QList<QStringList>>("entries");

    QTest::newRow("own columns, mark, CR LF, multi-line note")
        << QStringLiteral("own_columns.csv") << QStringList{"Ann Lee", "Bob", ""}
        << QList<QStringList>{{"1|data1=Ann Lee|data2=Ann|data3=Lee", "3|data1=555 2|data2=1",
                               "3|data1=555 1|data2=2", "4|data1=ann@work.example|data2=2",
                               "6|data1=1980-05-12|data2=3", "7|data2=Friends",
                               "8|data1=ann.lee|data2=1|data5=4", "9|data1=Line one\r\nsaid \"hi\"",
                               "10|data1=ACME|data4=Boss",
                               "12|data1=1 High St\nSpringfield|data2=1|data4=1 High St|data7=Springfield"},
                              {"1|data1=Bob|data2=Bob"},
                              {"3|data1=555 9|data2=1"}};
    QTest::newRow("UTF-16 with tabs")
        << QStringLiteral("utf16_tabs.csv") << QStringList{"Zoë Åström"}
        << QList<QStringList>{{"1|data1=Zoë Åström|data2=Zoë|data3=Åström", "3|data1=+46 70 1|data2=2",
                               "9|data1=tab, comma; semicolon"}};
    QTest::newRow("semicolons, last line without line feed")
        << QStringLiteral("semicolons.csv") << QStringList{"Emil Nolde", "Ida Kerkovius"}
        << QList<QStringList>{
               {"1|data1=Emil Nolde|data2=Emil|data3=Nolde", "3|data1=040 1|data2=3", "9|data1=a;b"},
               {"1|data1=Ida Kerkovius|data2=Ida|data3=Kerkovius", "3|data1=040 2|data2=3", "9|data1=plain"}};
    QTest::newRow("foreign headers, ragged rows")
        << QStringLiteral("foreign_headers.csv") << QStringList{"Kim Park", "Lou Reed", "Max Ernst"}
        << QList<QStringList>{{"1|data1=Kim Park|data2=Kim|data3=Park", "3|data1=0113 1|data2=1",
                               "3|data1=0113 2|data2=1", "3|data1=07700 1|data2=2", "3|data1=07700 2|data2=2",
                               "4|data1=kim@example.org|data2=1", "4|data1=kim@work.example|data2=1",
                               "12|data1=12 Elm Rd Flat 3\nLeeds|data2=1|data4=12 Elm Rd Flat 3|data7=Leeds"},
                              {"1|data1=Lou Reed|data2=Lou|data3=Reed"},
                              {"1|data1=Max Ernst|data2=Max|data3=Ernst"}};
}

void TestCsvImport::fixture()
{
    QFETCH(QString, file);
    QFETCH(QStringList, fullNames);
    QFETCH(QList<QStringList>, entries);
    const QString path = QFINDTESTDATA(QStringLiteral("data/") + file);
    QVERIFY(!path.isEmpty());
    const CsvRead read = readCsv(path);
    QCOMPARE(read.error, QString());
    QCOMPARE(read.total, int(fullNames.size()));
    QStringList names;
    for (const pim::_Contact &c : read.contacts)
        names << c.fullName;
    QCOMPARE(names, fullNames);
    for (int i = 0; i < read.contacts.size(); ++i)
        QCOMPARE(render(read.contacts[i].entities), entries.value(i));
}

void TestCsvImport::fileShapes_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<int>("total");
    QTest::addColumn<bool>("fails");

    QTest::newRow("empty file") << QByteArray() << 0 << false;
    QTest::newRow("header only") << QByteArray("First Name,Last Name\n") << 0 << false;
    QTest::newRow("header without line feed") << QByteArray("First Name") << 0 << false;
    QTest::newRow("empty line counts") << QByteArray("First Name\n\nAnn\n") << 2 << false;
    QTest::newRow("quoted line feed is one row")
        << QByteArray("First Name,Notes\nA,\"x\ny\"\n") << 1 << false;
    QTest::newRow("last line without line feed") << QByteArray("First Name\nA\nB") << 2 << false;
    QTest::newRow("empty last line without line feed") << QByteArray("First Name\nA\n,") << 1 << false;
    // Rows under columns nobody knows would import nothing while reporting success.
    QTest::newRow("no known column") << QByteArray("Vorname,Nachname\nA,B\n") << -1 << true;
    QTest::newRow("no known column, no rows") << QByteArray("Vorname,Nachname\n") << 0 << false;
}

void TestCsvImport::fileShapes()
{
    QFETCH(QByteArray, csv);
    QFETCH(int, total);
    QFETCH(bool, fails);
    QTemporaryDir dir;
    const CsvRead read = readCsv(writeFile(dir, csv));
    QCOMPARE(!read.error.isEmpty(), fails);
    QCOMPARE(read.total, total);
}

void TestCsvImport::lineEndStylesReadAlike_data()
{
    QTest::addColumn<QByteArray>("eol");
    QTest::addColumn<char>("separator");
    for (const char separator : {',', '\t'}) {
        const char *name = separator == ',' ? "commas" : "tabs";
        QTest::addRow("LF, %s", name) << QByteArray("\n") << separator;
        QTest::addRow("CR LF, %s", name) << QByteArray("\r\n") << separator;
        QTest::addRow("CR, %s", name) << QByteArray("\r") << separator;
    }
}

// Older programs end their lines with CR alone: such a file holds as many contacts as any other.
void TestCsvImport::lineEndStylesReadAlike()
{
    QFETCH(QByteArray, eol);
    QFETCH(char, separator);
    const QByteArray sep(1, separator);
    const QByteArray csv = "First Name" + sep + "Last Name" + sep + "Notes" + eol + "Ann" + sep + "Lee" +
                           sep + "\"one\rtwo\nthree\"" + eol + "Bob" + sep + sep + eol + "Cy" + sep + "Dee" +
                           sep + "x" + eol;
    QTemporaryDir dir;
    const CsvRead read = readCsv(writeFile(dir, csv));
    QCOMPARE(read.error, QString());
    QCOMPARE(read.total, 3);
    QList<QStringList> got;
    for (const pim::_Contact &c : read.contacts)
        got << (QStringList{c.fullName} + render(c.entities));
    QCOMPARE(got, (QList<QStringList>{
                      {"Ann Lee", "1|data1=Ann Lee|data2=Ann|data3=Lee", "9|data1=one\rtwo\nthree"},
                      {"Bob", "1|data1=Bob|data2=Bob"},
                      {"Cy Dee", "1|data1=Cy Dee|data2=Cy|data3=Dee", "9|data1=x"}}));
}

TARNWICK_TEST_MAIN(TestCsvImport)
#include "tst_csvimport.moc"
