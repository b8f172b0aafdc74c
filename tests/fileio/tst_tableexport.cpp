#include "fileio/CSVExport.h"
#include "fileio/CSVImport.h"
#include "fileio/TxtExport.h"

#include "EntityFixtures.h"
#include "TestMain.h"

#include "model/EntityType.h"

#include <QRegularExpression>

using tarnwick::test::parseEntry;
using tarnwick::test::render;

namespace {

pim::_Contact contactOf(const QStringList &entries)
{
    return tarnwick::test::contactOf(QString(), entries);
}

QList<pim::_Contact> contactsOf(const QList<QStringList> &lists)
{
    QList<pim::_Contact> out;
    for (const QStringList &l : lists)
        out << contactOf(l);
    return out;
}

QByteArray writeAll(AbsExport &writer, const QList<pim::_Contact> &contacts)
{
    QByteArray out = writer.initialize(contacts);
    for (const pim::_Contact &c : contacts)
        out += writer.ct2Bytes(c);
    return out + writer.uninitialize();
}

QString pad(const QString &text, int width)
{
    return text.leftJustified(width, QLatin1Char(' '));
}

} // namespace

class TestTableExport : public QObject
{
    Q_OBJECT

private slots:
    void columnNames_data();
    void columnNames();
    void priorities_data();
    void priorities();
    void csvTables_data();
    void csvTables();
    void textTables_data();
    void textTables();
    void columnOrderFollowsPriority();
    void csvRoundTrip_data();
    void csvRoundTrip();
};

void TestTableExport::columnNames_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("mobile") << "3|data2=2" << QStringList{"Tel:Mobile"};
    QTest::newRow("phone without code") << "3|data1=1" << QStringList{"Tel:Other"};
    QTest::newRow("custom label stays out") << "3|data2=0|data3=Boat" << QStringList{"Tel:Other"};
    QTest::newRow("code the table lacks") << "3|data2=7" << QStringList{"Tel:Other"};
    QTest::newRow("code that is not a number") << "3|data2=x" << QStringList{"Tel:Other"};
    QTest::newRow("work e-mail") << "4|data2=2" << QStringList{"Email:Work"};
    QTest::newRow("birthday") << "6|data2=3" << QStringList{"Date:Birthday"};
    QTest::newRow("protocol names instant messaging") << "8|data2=1|data5=4" << QStringList{"IM:Skype"};
    QTest::newRow("no protocol") << "8|data2=1" << QStringList{"IM:Other"};
    QTest::newRow("relation") << "11|data2=14" << QStringList{"Rel:Spouse"};
    QTest::newRow("website") << "13|data2=2" << QStringList{"Url:Blog"};
    QTest::newRow("home address") << "12|data2=1"
                                  << QStringList{"Addr:Home:Country", "Addr:Home:State", "Addr:Home:City",
                                                 "Addr:Home:Street", "Addr:Home:Postcode"};
    QTest::newRow("address code the table lacks")
        << "12|data2=9"
        << QStringList{"Addr:Other:Country", "Addr:Other:State", "Addr:Other:City", "Addr:Other:Street",
                       "Addr:Other:Postcode"};
}

void TestTableExport::columnNames()
{
    QFETCH(QString, entry);
    QFETCH(QStringList, names);
    const auto [type, e] = parseEntry(entry);
    QStringList got;
    switch (type) {
    case pim::ENTITY_PHONE:
        got << AbsTextExport::telCol(e);
        break;
    case pim::ENTITY_EMAIL:
        got << AbsTextExport::emailCol(e);
        break;
    case pim::ENTITY_EVENT:
        got << AbsTextExport::eventCol(e);
        break;
    case pim::ENTITY_IM:
        got << AbsTextExport::imCol(e);
        break;
    case pim::ENTITY_REL:
        got << AbsTextExport::relCol(e);
        break;
    case pim::ENTITY_URL:
        got << AbsTextExport::urlCol(e);
        break;
    case pim::ENTITY_ADDR:
        got << AbsTextExport::addrCountryCol(e) << AbsTextExport::addrStateCol(e)
            << AbsTextExport::addrCityCol(e) << AbsTextExport::addrStreetCol(e)
            << AbsTextExport::addrPostcodeCol(e);
        break;
    }
    QCOMPARE(got, names);
    // Every name written is one the CSV reader knows.
    for (const QString &name : got)
        QCOMPARE(CSVImport::colInfo(name).entityType, type);
}

void TestTableExport::priorities_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("priority");

    QTest::newRow("Prefix") << "Prefix" << 10;
    QTest::newRow("Suffix") << "Suffix" << 50;
    QTest::newRow("Nickname") << "Nickname" << 51;
    QTest::newRow("Category") << "Category" << 60;
    QTest::newRow("Job Title") << "Job Title" << 90;
    QTest::newRow("Tel:") << "Tel:" << 100;
    QTest::newRow("Email:Home") << "Email:Home" << 200;
    QTest::newRow("Date:Birthday") << "Date:Birthday" << 300;
    QTest::newRow("Addr:Work:Country") << "Addr:Work:Country" << 401;
    QTest::newRow("Addr::Country") << "Addr::Country" << 401;
    QTest::newRow("Addr:Home:Postcode") << "Addr:Home:Postcode" << 405;
    QTest::newRow("Addr with other ending") << "Addr:Home:Zip" << 1000;
    QTest::newRow("Addr ending like IM") << "Addr:IM:" << 1000;
    QTest::newRow("IM:Skype") << "IM:Skype" << 500;
    QTest::newRow("Rel:Spouse") << "Rel:Spouse" << 600;
    QTest::newRow("Url:Blog") << "Url:Blog" << 700;
    QTest::newRow("Notes") << "Notes" << 800;
    QTest::newRow("begins with Notes") << "Notes 2" << 1000;
    QTest::newRow("letter case") << "first name" << 1000;
    QTest::newRow("lower-case prefix") << "tel:Home" << 1000;
    QTest::newRow("empty") << "" << 1000;
}

void TestTableExport::priorities()
{
    QFETCH(QString, name);
    QFETCH(int, priority);
    QCOMPARE(AbsTextExport::colPriority(name), priority);
}

void TestTableExport::csvTables_data()
{
    QTest::addColumn<QList<QStringList>>("contacts");
    QTest::addColumn<QByteArray>("csv");

    QTest::newRow("empty list") << QList<QStringList>{} << QByteArray("\n");
    QTest::newRow("photos only give no columns")
        << QList<QStringList>{{"2|data15=xyz"}, {}} << QByteArray("\n\n\n");
    QTest::newRow("full name alone gives no column")
        << QList<QStringList>{{"1|data1=Ann Lee"}} << QByteArray("\n\n");
    QTest::newRow("quoting") << QList<QStringList>{{"1|data2=Ann", "9|data1=x,y"},
                                                   {"1|data2=x\"y"},
                                                   {"1|data2=a\nb"},
                                                   {"1|data2=a\rb"}}
                             << QByteArray(
                                    "First Name,Notes\nAnn,\"x,y\"\n\"x\"\"y\",\n\"a\nb\",\n\"a\rb\",\n");
    QTest::newRow("empty number still gives its column")
        << QList<QStringList>{{"1|data2=A", "3|data1=|data2=2"}} << QByteArray("First Name,Tel:Mobile\nA,\n");
    QTest::newRow("empty prefix gives no column")
        << QList<QStringList>{{"1|data2=A|data5="}} << QByteArray("First Name\nA\n");
    QTest::newRow("two mobiles share the cell")
        << QList<QStringList>{{"3|data1=1|data2=2", "3|data1=2|data2=2"}}
        << QByteArray("Tel:Mobile\n1 ::: 2\n");
    QTest::newRow("labelled and unlabelled Other phones share the cell")
        << QList<QStringList>{{"3|data1=1|data2=0|data3=Boat", "3|data1=2|data2=77"}}
        << QByteArray("Tel:Other\n1 ::: 2\n");
    QTest::newRow("empty second mobile keeps the first")
        << QList<QStringList>{{"3|data1=1|data2=2", "3|data1=|data2=2"}} << QByteArray("Tel:Mobile\n1\n");
    // The parts of one address stand at the same place of every cell of its type.
    QTest::newRow("two addresses of a type keep their parts apart")
        << QList<QStringList>{{"12|data2=1|data4=Main", "12|data2=1|data7=Town"}}
        << QByteArray("Addr:Home:City,Addr:Home:Street\n ::: Town,Main\n");
    QTest::newRow("both groups") << QList<QStringList>{{"7|data1=4|data2=Friends", "7|data1=5|data2=Golf"}}
                                 << QByteArray("Category\nFriends ::: Golf\n");
    QTest::newRow("second address of a type in the second place of each cell")
        << QList<QStringList>{{"12|data2=1|data4=Main|data7=Town", "12|data2=1|data4=High"}}
        << QByteArray("Addr:Home:City,Addr:Home:Street\nTown,Main ::: High\n");
    QTest::newRow("address kept as one free text has its own column")
        << QList<QStringList>{{"12|data1=Elm St, Town|data2=2"}}
        << QByteArray("Addr:Work:Text\n\"Elm St, Town\"\n");
    QTest::newRow("separator inside a value")
        << QList<QStringList>{{"5|data1=a ::: b|data2=1", "5|data1=c|data2=1"}}
        << QByteArray("Nickname\n\"\"\"a ::: b\"\" ::: c\"\n");
    QTest::newRow("account of a protocol of one's own, at work")
        << QList<QStringList>{{"8|data1=me|data2=2|data5=0|data6=Matrix, \"M\""}}
        << QByteArray("\"IM:Matrix, \"\"M\"\":Work\"\nme\n");
    QTest::newRow("contact without entries in a table with columns")
        << QList<QStringList>{{"1|data2=A", "1|data3=B"}, {}} << QByteArray("First Name,Last Name\nA,B\n,\n");
    QTest::newRow("non-ASCII as UTF-8")
        << QList<QStringList>{{"1|data2=Zoë 東"}} << QString::fromUtf8("First Name\nZoë 東\n").toUtf8();
}

void TestTableExport::csvTables()
{
    QFETCH(QList<QStringList>, contacts);
    QFETCH(QByteArray, csv);
    CSVExport writer;
    QCOMPARE(writeAll(writer, contactsOf(contacts)), csv);
}

void TestTableExport::textTables_data()
{
    QTest::addColumn<QList<QStringList>>("contacts");
    QTest::addColumn<QString>("text");

    QTest::newRow("empty list") << QList<QStringList>{} << QStringLiteral("\n");
    QTest::newRow("no columns") << QList<QStringList>{{}} << QStringLiteral("\n\n");
    QTest::newRow("widths") << QList<QStringList>{{"1|data2=Ann", "6|data1=1990-01-02|data2=3",
                                                   "12|data2=1|data4=Main St", "13|data1=u|data2=1",
                                                   "9|data1=n"}}
                            << pad("First Name", 25) + pad("Date:Birthday", 20) +
                                   pad("Addr:Home:Street", 50) + pad("Url:Home page", 60) +
                                   pad("Notes", 100) + "\n" + pad("Ann", 25) + pad("1990-01-02", 20) +
                                   pad("Main St", 50) + pad("u", 60) + pad("n", 100) + "\n";
    const QString longMail = QStringLiteral("abcdefghijklmnopqrst@xy.org"); // 27 units in a 25 field
    QTest::newRow("long text written whole")
        << QList<QStringList>{{"4|data1=" + longMail + "|data2=1", "8|data1=me|data5=4"}}
        << pad("Email:Home", 25) + pad("IM:Skype", 25) + "\n" + longMail + pad("me", 25) + "\n";
    // The table shows every address and organisation, the ones typed as one text too.
    QTest::newRow("free-text address, second address and organisation")
        << QList<QStringList>{{"12|data1=Elm St\nTown|data2=1", "12|data2=1|data4=Main St",
                               "10|data1=A|data5=D", "10|data1=B"}}
        << pad("Company", 25) + pad("Department", 25) + pad("Addr:Home:Street", 50) +
               pad("Addr:Home:Text", 25) + "\n" + pad("A ::: B", 25) + pad("D", 25) +
               pad(" ::: Main St", 50) + pad("Elm St Town", 25) + "\n";
    QTest::newRow("line breaks become blanks, tabs stay")
        << QList<QStringList>{{"9|data1=a\r\nb\tc"}} << pad("Notes", 100) + "\n" + pad("a  b\tc", 100) + "\n";
}

void TestTableExport::textTables()
{
    QFETCH(QList<QStringList>, contacts);
    QFETCH(QString, text);
    TxtExport writer;
    QCOMPARE(QString::fromUtf8(writeAll(writer, contactsOf(contacts))), text);
}

void TestTableExport::columnOrderFollowsPriority()
{
    const QList<pim::_Contact> contacts = contactsOf(
        {{"9|data1=n", "13|data1=u|data2=5", "11|data1=r|data2=2", "8|data1=i|data5=1",
          "12|data2=2|data10=C|data9=P", "12|data2=1|data7=T|data8=S|data4=St", "6|data1=d|data2=1",
          "4|data1=e|data2=1", "3|data1=p|data2=12", "3|data1=q|data2=1", "10|data1=Co|data5=De|data4=Jo",
          "7|data2=G", "5|data1=N", "1|data5=Pr|data2=F|data4=M|data3=L|data6=Su"}});
    CSVExport writer;
    const QStringList header =
        QString::fromUtf8(writer.initialize(contacts)).trimmed().split(QLatin1Char(','));
    QCOMPARE(header.size(), 23);
    for (int i = 1; i < header.size(); ++i)
        QVERIFY2(!AbsTextExport::compareColNameLess(header[i], header[i - 1]), qPrintable(header.join(',')));
    QCOMPARE(header.mid(0, 10), (QStringList{"Prefix", "First Name", "Middle Name", "Last Name", "Suffix",
                                             "Nickname", "Category", "Company", "Department", "Job Title"}));
    QCOMPARE(header.last(), QStringLiteral("Notes"));
    // The row follows the header's order, whatever order equal priorities took.
    const QStringList row =
        QString::fromUtf8(writer.ct2Bytes(contacts.first())).trimmed().split(QLatin1Char(','));
    QCOMPARE(row.size(), header.size());
    QCOMPARE(row.at(header.indexOf("Tel:Main")), QStringLiteral("p"));
    QCOMPARE(row.at(header.indexOf("Tel:Home")), QStringLiteral("q"));
    QCOMPARE(row.at(header.indexOf("Addr:Work:Postcode")), QStringLiteral("P"));
    QCOMPARE(row.at(header.indexOf("Addr:Home:Street")), QStringLiteral("St"));
}

void TestTableExport::csvRoundTrip_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("back"); // as the reader hands the contact out

    QTest::newRow("name parts") << QStringList{"1|data1=Dr Ann Lee|data2=Ann|data3=Lee|data5=Dr"}
                                << QStringList{"1|data2=Ann|data3=Lee|data5=Dr"};
    QTest::newRow("phone, mail, event, relation, website with sub-types")
        << QStringList{"1|data2=A",
                       "3|data1=+1 555|data2=2",
                       "4|data1=a@b.c|data2=2",
                       "6|data1=1990-01-02|data2=3",
                       "11|data1=Bo|data2=14",
                       "13|data1=http://x|data2=2"}
        << QStringList{"1|data2=A",
                       "3|data1=+1 555|data2=2",
                       "4|data1=a@b.c|data2=2",
                       "6|data1=1990-01-02|data2=3",
                       "11|data1=Bo|data2=14",
                       "13|data1=http://x|data2=2"};
    QTest::newRow("custom label reads as Other") << QStringList{"1|data2=A", "3|data1=1|data2=0|data3=Boat"}
                                                 << QStringList{"1|data2=A", "3|data1=1|data2=0"};
    QTest::newRow("code the label table lacks reads as Other")
        << QStringList{"1|data2=A", "3|data1=2|data2=7"} << QStringList{"1|data2=A", "3|data1=2|data2=0"};
    QTest::newRow("line breaks, quotes and separators")
        << QStringList{"1|data2=A\"B;C\\D", "9|data1=line1\r\nline2\rx,y"}
        << QStringList{"1|data2=A\"B;C\\D", "9|data1=line1\r\nline2\rx,y"};
    QTest::newRow("instant messaging") << QStringList{"1|data2=A", "8|data1=me|data5=4"}
                                       << QStringList{"1|data2=A", "8|data1=me|data2=1|data5=4"};
    QTest::newRow("several values of one column")
        << QStringList{"1|data2=A",  "3|data1=1|data2=2", "3|data1=2|data2=2", "5|data1=N1",
                       "5|data1=N2", "7|data2=G1",        "7|data2=G2"}
        << QStringList{"1|data2=A",          "3|data1=1|data2=2", "3|data1=2|data2=2", "5|data1=N1|data2=1",
                       "5|data1=N2|data2=1", "7|data2=G1",        "7|data2=G2"};
    QTest::newRow("address")
        << QStringList{"1|data2=A", "12|data2=2|data4=1 Main|data7=Town|data10=Land"}
        << QStringList{"1|data2=A",
                       "12|data1=1 Main\nTown\nLand|data2=2|data4=1 Main|data7=Town|data10=Land"};
}

void TestTableExport::csvRoundTrip()
{
    QFETCH(QStringList, entries);
    QFETCH(QStringList, back);
    const QList<pim::_Contact> contacts{contactOf(entries)};
    CSVExport writer;
    CSVImport reader;
    reader.load(writeAll(writer, contacts));
    QVERIFY(reader.hasNext());
    const pim::_Contact got = reader.nextContact();
    QVERIFY(!reader.hasNext());
    QStringList rendered = render(got.entities);
    // The reader rebuilds the full name from the parts; the parts are what the table carries.
    for (QString &line : rendered) {
        if (line.startsWith(QLatin1String("1|")))
            line.remove(QRegularExpression(QStringLiteral("\\|data1=[^|]*")));
    }
    QCOMPARE(rendered, back);
}

TARNWICK_TEST_MAIN(TestTableExport)
#include "tst_tableexport.moc"
