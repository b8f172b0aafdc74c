#include "contactui/ContactDisplayer.h"
#include "fileio/HtmlExport.h"

#include "EntityFixtures.h"
#include "TestMain.h"
#include "model/EntityType.h"
#include "model/EventDate.h"
#include "model/TypeMaps.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <vector>

using tarnwick::test::entity;

namespace {

EntityDisplayFunc formatter(const QString &name)
{
    static const QMap<QString, EntityDisplayFunc> byName{
        {"phone", &ContactDisplayer::g_phoneDisplay}, {"email", &ContactDisplayer::g_emailDisplay},
        {"event", &ContactDisplayer::g_eventDisplay}, {"im", &ContactDisplayer::g_imDisplay},
        {"org", &ContactDisplayer::g_orgDisplay},     {"rel", &ContactDisplayer::g_relDisplay},
        {"addr", &ContactDisplayer::g_addrDisplay},   {"url", &ContactDisplayer::g_urlDisplay},
        {"notes", &ContactDisplayer::g_notesDisplay},
    };
    return byName.value(name);
}

QString shortDate(int y, int m, int d)
{
    return QLocale::system().toString(QDate(y, m, d), QLocale::ShortFormat);
}

} // namespace

class TestEntryFormatters : public QObject
{
    Q_OBJECT

private slots:
    void formats_data();
    void formats();
    void leavesEntityUnchanged();
    void runsOnSeveralThreads();
    void htmlPageShowsEventsAsThePaneDoes();
    void htmlPageShowsFreeTextAddress();
};

void TestEntryFormatters::formats_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QVariantMap>("values");
    QTest::addColumn<QString>("expected");

    // Labels: custom label wins, code from text or number, unknown code gives an empty label.
    QTest::newRow("phone mobile") << "phone" << QVariantMap{{"data2", "2"}, {"data1", "555 0100"}}
                                  << "Mobile:555 0100";
    QTest::newRow("phone code as number") << "phone" << QVariantMap{{"data2", 3}, {"data1", "1"}} << "Work:1";
    QTest::newRow("phone custom label")
        << "phone" << QVariantMap{{"data2", "2"}, {"data3", "Car phone"}, {"data1", "555 0100"}}
        << "Car phone:555 0100";
    QTest::newRow("phone blank label kept")
        << "phone" << QVariantMap{{"data3", "  "}, {"data1", "1"}} << "  :1";
    QTest::newRow("phone no code") << "phone" << QVariantMap{{"data1", "1"}} << "Other:1";
    QTest::newRow("phone empty code") << "phone" << QVariantMap{{"data2", ""}, {"data1", "1"}} << "Other:1";
    QTest::newRow("phone non-numeric code")
        << "phone" << QVariantMap{{"data2", "x"}, {"data1", "1"}} << "Other:1";
    QTest::newRow("phone unknown code") << "phone" << QVariantMap{{"data2", "7"}, {"data1", "1"}} << ":1";
    QTest::newRow("phone no number") << "phone" << QVariantMap{{"data2", "1"}} << "Home:";
    QTest::newRow("phone value untrimmed")
        << "phone" << QVariantMap{{"data2", "1"}, {"data1", " 12 "}} << "Home: 12 ";
    QTest::newRow("phone percent label")
        << "phone" << QVariantMap{{"data3", "50%1"}, {"data1", "555 0100"}} << "50%1:555 0100";
    QTest::newRow("phone markup unescaped")
        << "phone" << QVariantMap{{"data3", "<b>"}, {"data1", "a&b"}} << "<b>:a&b";

    QTest::newRow("email work") << "email" << QVariantMap{{"data2", "2"}, {"data1", "a@b.c"}} << "Work:a@b.c";
    QTest::newRow("email no address") << "email" << QVariantMap{{"data2", "4"}} << "Mobile:";
    QTest::newRow("rel mother") << "rel" << QVariantMap{{"data2", "8"}, {"data1", "Mary"}} << "Mother:Mary";
    QTest::newRow("rel no name") << "rel" << QVariantMap{{"data2", "14"}} << "Spouse:";
    QTest::newRow("url blog") << "url" << QVariantMap{{"data2", "2"}, {"data1", "http://x"}}
                              << "Blog:http://x";
    QTest::newRow("url no address") << "url" << QVariantMap{{"data2", "6"}} << "FTP:";

    // Events: the date alone, in the system's short form, whatever the time and zone.
    QTest::newRow("birthday date") << "event" << QVariantMap{{"data2", "3"}, {"data1", "1980-06-15"}}
                                   << "Birthday:" + shortDate(1980, 6, 15);
    QTest::newRow("birthday date time zone")
        << "event" << QVariantMap{{"data2", "3"}, {"data1", "1980-06-15T23:30:00+05:00"}}
        << "Birthday:" + shortDate(1980, 6, 15);
    QTest::newRow("event date time no zone")
        << "event" << QVariantMap{{"data2", "1"}, {"data1", "2001-02-03T04:05:06"}}
        << "Anniversary:" + shortDate(2001, 2, 3);
    QTest::newRow("event as date-time value")
        << "event" << QVariantMap{{"data2", "3"}, {"data1", QDateTime(QDate(1999, 12, 31), QTime(8, 0))}}
        << "Birthday:" + shortDate(1999, 12, 31);
    QTest::newRow("event empty") << "event" << QVariantMap{{"data2", "3"}, {"data1", ""}} << "Birthday:";
    // A day without a year shows as the shared reading of event values writes it (month and day).
    const QString june15 = pim::EventDate::fromValue(QStringLiteral("--06-15")).displayText();
    QVERIFY(june15.contains(QLatin1String("15")));
    QTest::newRow("event no year") << "event" << QVariantMap{{"data2", "3"}, {"data1", "--06-15"}}
                                   << "Birthday:" + june15;
    QTest::newRow("event at UTC midnight")
        << "event" << QVariantMap{{"data2", "3"}, {"data1", "1980-06-15T00:00:00Z"}}
        << "Birthday:" + shortDate(1980, 6, 15);
    QTest::newRow("event no hyphens")
        << "event" << QVariantMap{{"data2", "3"}, {"data1", "19800615"}} << "Birthday:";

    // Instant messaging: custom protocol wins, parentheses always written.
    QTest::newRow("im skype") << "im" << QVariantMap{{"data2", "1"}, {"data1", "john.doe"}, {"data5", "4"}}
                              << "Home:john.doe(Skype)";
    QTest::newRow("im custom protocol")
        << "im" << QVariantMap{{"data2", "1"}, {"data1", "john.doe"}, {"data5", "4"}, {"data6", "Intranet"}}
        << "Home:john.doe(Intranet)";
    QTest::newRow("im no protocol") << "im" << QVariantMap{{"data2", "1"}, {"data1", "john.doe"}}
                                    << "Home:john.doe(Other)";
    QTest::newRow("im unknown protocol")
        << "im" << QVariantMap{{"data2", "1"}, {"data1", "john.doe"}, {"data5", -1}} << "Home:john.doe()";
    QTest::newRow("im percent account")
        << "im" << QVariantMap{{"data2", "2"}, {"data1", "john%2"}, {"data5", 5}} << "Work:john%2(QQ)";

    // Organisations: title, department, company joined by blanks, outer blanks trimmed.
    QTest::newRow("org all") << "org"
                             << QVariantMap{{"data2", "1"},
                                            {"data4", "Engineer"},
                                            {"data5", "Research"},
                                            {"data1", "Lee and Sons"}}
                             << "Work:Engineer Research Lee and Sons";
    QTest::newRow("org department") << "org" << QVariantMap{{"data2", "1"}, {"data5", "Sales"}}
                                    << "Work:Sales";
    QTest::newRow("org company") << "org" << QVariantMap{{"data2", "1"}, {"data1", "Lee and Sons"}}
                                 << "Work:Lee and Sons";
    QTest::newRow("org none") << "org" << QVariantMap{{"data2", "1"}} << "Work:";
    QTest::newRow("org title trailing blank")
        << "org" << QVariantMap{{"data2", "1"}, {"data4", "Boss "}, {"data5", "IT"}} << "Work:Boss  IT";

    // Addresses: rebuilt from the parts, lines joined by <br/>, fields escaped.
    QTest::newRow("addr full") << "addr" << QVariantMap{{"data2", "2"},           {"data4", "1 Main St"},
                                                        {"data7", "Springfield"}, {"data8", "IL"},
                                                        {"data9", "123"},         {"data10", "USA"}}
                               << "<b>Work</b><br/>1 Main St<br/>Springfield, IL 123<br/>USA";
    QTest::newRow("addr two-line street")
        << "addr" << QVariantMap{{"data2", "1"}, {"data4", "Flat 2\n1 Main St"}, {"data7", "Leeds"}}
        << "<b>Home</b><br/>Flat 2<br/>1 Main St<br/>Leeds";
    // An address kept as one typed text (a phone's way) shows that text; parts win where there are any.
    QTest::newRow("addr only formatted text")
        << "addr" << QVariantMap{{"data2", "1"}, {"data1", "1 Main St"}} << "<b>Home</b><br/>1 Main St";
    QTest::newRow("addr formatted text of lines, escaped")
        << "addr" << QVariantMap{{"data2", "1"}, {"data1", "Flat 2\r\n1 <Main> St\rLeeds\n"}}
        << "<b>Home</b><br/>Flat 2<br/>1 &lt;Main&gt; St<br/>Leeds";
    QTest::newRow("addr parts win over formatted text")
        << "addr" << QVariantMap{{"data2", "1"}, {"data1", "old text"}, {"data7", "Leeds"}}
        << "<b>Home</b><br/>Leeds";
    QTest::newRow("addr nothing") << "addr" << QVariantMap{{"data2", "1"}, {"data1", "  "}}
                                  << "<b>Home</b><br/>";
    QTest::newRow("addr markup escaped")
        << "addr" << QVariantMap{{"data3", "<i>"}, {"data4", "A & B <script>"}}
        << "<b>&lt;i&gt;</b><br/>A &amp; B &lt;script&gt;";

    QTest::newRow("notes three lines")
        << "notes" << QVariantMap{{"data1", "a\nb\nc"}, {"data2", "1"}} << "a\nb\nc";
    QTest::newRow("notes empty") << "notes" << QVariantMap{} << "";
}

void TestEntryFormatters::formats()
{
    QFETCH(QString, kind);
    QFETCH(QVariantMap, values);
    QFETCH(QString, expected);

    const EntityDisplayFunc format = formatter(kind);
    QVERIFY(format);
    QCOMPARE(format(entity(values)), expected);
}

void TestEntryFormatters::leavesEntityUnchanged()
{
    const pim::Entity e = entity({{"data2", "99"}, {"data1", "x"}});
    const pim::Entity copy = e;
    ContactDisplayer::g_phoneDisplay(e);
    QCOMPARE(e.values, copy.values);
    // A lookup of a missing code must not grow the shared table.
    QVERIFY(!pim::phoneTypeMap().contains(99));
}

void TestEntryFormatters::runsOnSeveralThreads()
{
    // The export worker formats while the GUI thread may do the same.
    std::atomic_int wrong{0};
    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back(QThread::create([&wrong] {
            const pim::Entity im = entity({{"data2", "1"}, {"data1", "a"}, {"data5", "4"}});
            for (int i = 0; i < 2000; ++i) {
                if (ContactDisplayer::g_imDisplay(im) != QLatin1String("Home:a(Skype)"))
                    ++wrong;
            }
        }));
        threads.back()->start();
    }
    for (auto &t : threads)
        QVERIFY(t->wait(60000));
    QCOMPARE(wrong.load(), 0);
}

// The exported page lists a contact's dates with the pane's formatter: a birthday without a year
// shows its month and day there too, and a note keeps its lines.
void TestEntryFormatters::htmlPageShowsEventsAsThePaneDoes()
{
    QTemporaryDir dir;
    HtmlExport::Formatters pane;
    pane.event = &ContactDisplayer::g_eventDisplay;
    pane.notes = &ContactDisplayer::g_notesDisplay;
    HtmlExport writer(QDir(dir.path()), pane);
    pim::_Contact c(1, QString(), QStringLiteral("Ann"));
    c.entities[pim::ENTITY_EVENT] << entity({{"data2", "3"}, {"data1", "--05-12"}})
                                  << entity({{"data2", "1"}, {"data1", "2001-02-03T00:00:00Z"}});
    c.entities[pim::ENTITY_NOTE] << entity({{"data1", "a\nb"}});
    const QString block = QString::fromUtf8(writer.ct2Bytes(c));
    const QString noYear = pim::EventDate::fromValue(QStringLiteral("--05-12")).displayText();
    QVERIFY(!noYear.isEmpty());
    QVERIFY2(block.contains("<li>" + ("Birthday:" + noYear).toHtmlEscaped() + "</li>"), qPrintable(block));
    QVERIFY2(block.contains("<li>" + ("Anniversary:" + shortDate(2001, 2, 3)).toHtmlEscaped() + "</li>"),
             qPrintable(block));
    QVERIFY2(block.contains("<li>a<br/>b</li>"), qPrintable(block));
}

// The page lists addresses through the pane's formatter: one kept as typed text shows that text.
void TestEntryFormatters::htmlPageShowsFreeTextAddress()
{
    QTemporaryDir dir;
    HtmlExport::Formatters pane;
    pane.addr = &ContactDisplayer::g_addrDisplay;
    HtmlExport writer(QDir(dir.path()), pane);
    pim::_Contact c(1, QString(), QStringLiteral("Ann"));
    c.entities[pim::ENTITY_ADDR] << entity({{"data2", "1"}, {"data1", "12 Oak Rd\nLeeds & York"}});
    const QString block = QString::fromUtf8(writer.ct2Bytes(c));
    QVERIFY2(block.contains("<li><b>Home</b><br/>12 Oak Rd<br/>Leeds &amp; York</li>"), qPrintable(block));
}

TARNWICK_TEST_MAIN(TestEntryFormatters)
#include "tst_entryformatters.moc"
