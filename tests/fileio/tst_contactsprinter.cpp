#include "fileio/ContactsPrinter.h"

#include "EntityFixtures.h"
#include "TestMain.h"

#include "model/EntityType.h"
#include "model/EventDate.h"

#include <QDir>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

using tarnwick::test::contactOf;

namespace {

QString run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class TestContactsPrinter : public QObject
{
    Q_OBJECT

private slots:
    void pageArithmetic();
    void cardArithmetic_data();
    void cardArithmetic();
    void pdfHoldsEightCardsAPage();
    void unwritablePdfIsAFailure_data();
    void unwritablePdfIsAFailure();
    void cardIsWhiteWithABorder();
    void wrappedValuesBreakBetweenWords();
    void birthdayWithoutYearShowsMonthAndDay();
    void freeTextAddressPrinted();
    void everyValuePrinted();
};

void TestContactsPrinter::pageArithmetic()
{
    const ContactsPrinter::PageLayout page(515);
    QCOMPARE(page.gap, 12);
    QCOMPARE(page.cardWidth, 251);
    QCOMPARE(page.cardHeight, 156);
    QCOMPARE(page.gap + page.cardWidth, 263);
    QCOMPARE(page.rowStep, 196);
}

void TestContactsPrinter::cardArithmetic_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<QList<int>>(
        "sizes"); // font, name font, line gap, inset, border, photo, text left, text width
    QTest::newRow("251") << 251 << QList<int>{8, 9, 2, 6, 1, 83, 91, 150};
    QTest::newRow("339") << 339 << QList<int>{12, 13, 3, 8, 1, 113, 124, 205};
}

void TestContactsPrinter::cardArithmetic()
{
    QFETCH(int, width);
    QFETCH(QList<int>, sizes);
    const ContactsPrinter::CardLayout c(width);
    QCOMPARE((QList<int>{c.fontSize, c.nameFontSize, c.lineSep, c.pattern, c.borderW, c.photoSide, c.textLeft,
                         c.textWidth}),
             sizes);
}

void TestContactsPrinter::pdfHoldsEightCardsAPage()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    QTemporaryDir dir;
    QList<pim::_Contact> contacts;
    contacts << contactOf(QStringLiteral("Ann Phones"),
                          {"3|data1=111|data2=1", "3|data1=333|data2=3", "3|data1=222|data2=2",
                           "3|data1=777|data2=7", "3|data1=121|data2=12", "3|data1=444|data2=4"});
    for (int i = 2; i <= 9; ++i)
        contacts << contactOf(QStringLiteral("Person%1").arg(i), {});
    const QString path = dir.filePath(QStringLiteral("cards.pdf"));
    ContactsPrinter printer;
    QCOMPARE(printer.printToPDF(contacts, path), 9);
    QVERIFY(run(QStringLiteral("pdfinfo"), {path})
                .contains(QRegularExpression(QStringLiteral("Pages:\\s+2\\n"))));
    const QString page1 = run(QStringLiteral("pdftotext"), {"-f", "1", "-l", "1", "-layout", path, "-"});
    const QString page2 = run(QStringLiteral("pdftotext"), {"-f", "2", "-l", "2", "-layout", path, "-"});
    QVERIFY2(page1.contains(QLatin1String("Person8")), qPrintable(page1));
    QVERIFY(!page1.contains(QLatin1String("Person9")));
    QVERIFY(page2.contains(QLatin1String("Person9")));
    // Mobile, main, home, work, then the others in their order: every number is on the card.
    const QRegularExpression order(
        QStringLiteral("Mobile:\\s*222[\\s\\S]*Main:\\s*121[\\s\\S]*Home:\\s*111[\\s\\S]*Work:\\s*333"
                       "[\\s\\S]*777[\\s\\S]*Work Fax:\\s*444"));
    QVERIFY2(page1.contains(order), qPrintable(page1));
}

void TestContactsPrinter::unwritablePdfIsAFailure_data()
{
    QTest::addColumn<QString>("relative");
    QTest::newRow("inside a missing folder") << "missing/cards.pdf";
    QTest::newRow("an existing folder") << "folder";
}

void TestContactsPrinter::unwritablePdfIsAFailure()
{
    QFETCH(QString, relative);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    ContactsPrinter printer;
    QCOMPARE(printer.printToPDF({contactOf(QStringLiteral("A"), {})}, dir.filePath(relative)), -1);
}

void TestContactsPrinter::cardIsWhiteWithABorder()
{
    QImage card(251, 156, QImage::Format_RGB32);
    card.fill(Qt::red);
    {
        QPainter painter(&card);
        const QList<QPicture> cards =
            ContactsPrinter::printContact(251, 156, contactOf(QStringLiteral("A"), {}));
        QCOMPARE(cards.size(), 1);
        painter.drawPicture(0, 0, cards.first());
    }
    QCOMPARE(card.size(), QSize(251, 156));
    QCOMPARE(card.pixelColor(0, 78), QColor(185, 185, 187));
    int right = 0;
    for (int x = 0; x < card.width(); ++x) {
        if (card.pixelColor(x, 78) == QColor(185, 185, 187))
            right = x;
    }
    QVERIFY2(right >= 248, qPrintable(QString::number(right)));
    QCOMPARE(card.pixelColor(200, 150), QColor(255, 255, 255));
}

// A long address wraps at its blanks: every word that fits the column stays whole on the page.
void TestContactsPrinter::wrappedValuesBreakBetweenWords()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    const QString street =
        QStringLiteral("Extraordinarily Longstreetname Boulevard 1234 Apartment Seventeen");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cards.pdf"));
    ContactsPrinter printer;
    QCOMPARE(printer.printToPDF(
                 {contactOf(QStringLiteral("Ann"), {"12|data2=1|data4=" + street + "|data7=Oakland"})}, path),
             1);
    const QString text = run(QStringLiteral("pdftotext"), {path, "-"});
    // The street does not fit on one line of the column.
    QVERIFY2(!text.contains(street), qPrintable(text));
    for (const QString &word : street.split(QLatin1Char(' ')))
        QVERIFY2(text.contains(QRegularExpression("\\b" + word + "\\b")), qPrintable(word + " in:\n" + text));
    QVERIFY2(text.contains(QLatin1String("Oakland")), qPrintable(text));
}

void TestContactsPrinter::birthdayWithoutYearShowsMonthAndDay()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cards.pdf"));
    ContactsPrinter printer;
    QCOMPARE(printer.printToPDF({contactOf(QStringLiteral("Ann"), {"6|data1=--05-12|data2=3"}),
                                 contactOf(QStringLiteral("Bob"), {"6|data1=1980-05-12T00:00:00Z|data2=3"})},
                                path),
             2);
    const QString text = run(QStringLiteral("pdftotext"), {path, "-"}).simplified();
    const QString noYear = pim::EventDate::fromValue(QStringLiteral("--05-12")).displayText();
    const QString withYear = QLocale::system().toString(QDate(1980, 5, 12), QLocale::ShortFormat);
    QVERIFY(!noYear.isEmpty());
    QVERIFY2(text.contains("Birthday: " + noYear), qPrintable(text));
    QVERIFY2(text.contains("Birthday: " + withYear), qPrintable(text));
}

// An address kept as one typed text (a phone's way) is printed as that text.
void TestContactsPrinter::freeTextAddressPrinted()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cards.pdf"));
    ContactsPrinter printer;
    QCOMPARE(
        printer.printToPDF({contactOf(QStringLiteral("Ann"), {"12|data2=1|data1=12 Oak Rd\nLeeds"})}, path),
        1);
    const QString text = run(QStringLiteral("pdftotext"), {path, "-"}).simplified();
    QVERIFY2(text.contains(QLatin1String("Address: 12 Oak Rd Leeds")), qPrintable(text));
}

// Nothing is cut at a card's edge or dropped below it: a long name wraps, a number too wide for the
// rest of its line wraps between its words, and entries that do not fit one card go on to the next
// places; every word of every value is on the paper, and the next contact follows.
void TestContactsPrinter::everyValuePrinted()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    QStringList nameWords;
    for (int i = 0; nameWords.join(QLatin1Char(' ')).size() < 200; ++i)
        nameWords << QStringLiteral("Name%1").arg(i, 3, 10, QLatin1Char('0'));
    const QString name = nameWords.join(QLatin1Char(' '));
    QStringList entries{"3|data2=2|data1=+7 (495) 001972 p 9"};
    for (int i = 1; i < 60; ++i)
        entries << QStringLiteral("3|data2=1|data1=555-%1").arg(i, 4, 10, QLatin1Char('0'));
    entries << "4|data1=alpha@example.org"
            << "4|data1=beta@example.org"
            << "12|data2=1|data1=12 Oak Rd"
            << "12|data2=2|data4=Last Street 9";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cards.pdf"));
    ContactsPrinter printer;
    QCOMPARE(
        printer.printToPDF({contactOf(name, entries), contactOf(QStringLiteral("Next Person"), {})}, path),
        2);
    const QString text = run(QStringLiteral("pdftotext"), {path, "-"});
    const QString flat = text.simplified();
    for (const QString &word : nameWords)
        QVERIFY2(text.contains(QRegularExpression("\\b" + word + "\\b")), qPrintable(word + " in:\n" + text));
    QVERIFY2(flat.contains(QLatin1String("Mobile: +7 (495) 001972 p 9")), qPrintable(flat));
    for (int i = 1; i < 60; ++i) {
        const QString number = QStringLiteral("Home: 555-%1").arg(i, 4, 10, QLatin1Char('0'));
        QVERIFY2(flat.contains(number), qPrintable(number + " in:\n" + flat));
    }
    for (const char *value : {"E-Mail: alpha@example.org", "E-Mail: beta@example.org", "Address: 12 Oak Rd",
                              "Address: Last Street 9", "Next Person"})
        QVERIFY2(flat.contains(QLatin1String(value)),
                 qPrintable(QString::fromLatin1(value) + " in:\n" + flat));
    // The long contact took more than one card.
    QVERIFY2(printer.cards() > 2, qPrintable(QString::number(printer.cards())));
}

TARNWICK_TEST_MAIN(TestContactsPrinter)
#include "tst_contactsprinter.moc"
