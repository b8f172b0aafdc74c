#include "shell/app/ExportAction.h"

#include "ChooserFixtures.h"
#include "ImageBytes.h"
#include "SelectionFixture.h"
#include "TestMain.h"

#include "ScriptedFileDialogs.h"

#include <QApplication>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString pdfText(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// What the print preview showed, read while it was open.
struct PreviewSeen
{
    bool shown = false;
    int pages = 0;
    QString printed; // the text of the pages printed from the preview to a PDF file
};

// Waits for the modal preview that `show` opens, notes its pages, prints them from the preview to
// a PDF file at pdfPath and closes it.
PreviewSeen watchPreview(const std::function<void()> &show, const QString &pdfPath)
{
    PreviewSeen seen;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QPrintPreviewDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        auto *view = dialog->findChild<QPrintPreviewWidget *>();
        if (!view || !dialog->isVisible() || view->pageCount() == 0)
            return;
        poll.stop();
        seen.shown = true;
        seen.pages = view->pageCount();
        dialog->printer()->setOutputFormat(QPrinter::PdfFormat);
        dialog->printer()->setOutputFileName(pdfPath);
        // The preview paints the printer through the same request as its pages.
        view->print();
        seen.printed = pdfText(pdfPath);
        dialog->reject();
    });
    poll.start();
    show();
    return seen;
}

} // namespace

class TestExportAction : public QObject, fixture::EnglishWithRecordedBoxes
{
    Q_OBJECT

private slots:
    void initTestCase() { installEnglishAndBoxRecorder(); }
    void init() { boxes.clear(); }
    void filterPicksTheFormat_data();
    void filterPicksTheFormat();
    void addedSuffixAsksBeforeReplacing_data();
    void addedSuffixAsksBeforeReplacing();
    void unwritablePdfIsAnError();
    void treeAndRowVariants();
    void rowsGoOutWithTheirStoredPhotos_data();
    void rowsGoOutWithTheirStoredPhotos();
    void previewPaintsEveryCard_data();
    void previewPaintsEveryCard();

private:
    // Runs the export of the selection (rows when some are selected, else the tree node).
    void runExport(fixture::Views &views, const QString &path, const QString &filter,
                   QString *askedDir = nullptr)
    {
        auto dialog = std::make_unique<ScriptedFileDialogs>();
        ScriptedFileDialogs *script = dialog.get();
        script->path = path;
        script->filter = filter;
        auto previous = FileDialogs::install(std::move(dialog));
        ExportAction action(views.selection, nullptr, nullptr);
        action.fileExport();
        if (askedDir)
            *askedDir = script->askedDir;
        QCOMPARE(script->askedFilters, ExportAction::filters().join(";;"));
        FileDialogs::install(std::move(previous));
    }
};

void TestExportAction::filterPicksTheFormat_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("written"); // relative to the folder
    QTest::addColumn<QByteArray>("starts");

    QTest::newRow("vCard") << "a"
                           << "VCard Files(*.vcf)"
                           << "a.vcf" << QByteArray("BEGIN:VCARD\r\n");
    QTest::newRow("CSV") << "a"
                         << "CSV Files(*.csv)"
                         << "a.csv" << QByteArray("First Name,Tel:Mobile\n");
    QTest::newRow("text") << "a"
                          << "Text Files(*.txt)"
                          << "a.txt" << QByteArray("First Name     ");
    QTest::newRow("HTML") << "a"
                          << "HTML files(*.html)"
                          << "a.html/a.html" << QByteArray("<!DOCTYPE html");
    QTest::newRow("Word") << "a"
                          << "Word files(*.doc)"
                          << "a.doc/a.doc" << QByteArray("<!DOCTYPE html");
    QTest::newRow("PDF") << "a"
                         << "PDF files(*.pdf)"
                         << "a.pdf" << QByteArray("%PDF");
    QTest::newRow("a suffix that does not fit stays") << "a.txt"
                                                      << "CSV Files(*.csv)"
                                                      << "a.txt" << QByteArray("First Name,Tel:Mobile\n");
}

void TestExportAction::filterPicksTheFormat()
{
    QFETCH(QString, name);
    QFETCH(QString, filter);
    QFETCH(QString, written);
    QFETCH(QByteArray, starts);
    QTemporaryDir dir;
    fixture::Views views;
    auto *node = views.addLocalDb(dir.filePath("src.db"), {{"Ann", "555", "", ""}, {"Bob", "556", "", ""}});
    views.makeCurrent(node);
    QString askedDir;
    runExport(views, dir.filePath(name), filter, &askedDir);
    QVERIFY2(readAll(dir.filePath(written)).startsWith(starts),
             qPrintable(readAll(dir.filePath(written)).left(40)));
    QVERIFY(askedDir.startsWith(QDir::home().absoluteFilePath("contacts(")));
    if (filter.startsWith("PDF")) {
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().text.contains("Successfully exported 2 contacts to File."), true);
    }
}

void TestExportAction::addedSuffixAsksBeforeReplacing_data()
{
    QTest::addColumn<bool>("replace");
    QTest::newRow("yes replaces") << true;
    QTest::newRow("no keeps the file") << false;
}

void TestExportAction::addedSuffixAsksBeforeReplacing()
{
    QFETCH(bool, replace);
    QTemporaryDir dir;
    {
        QFile old(dir.filePath("a.csv"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    fixture::Views views;
    views.makeCurrent(views.addLocalDb(dir.filePath("src.db"), {{"Ann", "555", "", ""}}));
    MessageBoxResponder::Scope answer([&](const MessageBoxRequest &r) {
        boxes << r;
        return int(replace ? QMessageBox::Yes : QMessageBox::No);
    });
    runExport(views, dir.filePath("a"), "CSV Files(*.csv)");
    QVERIFY(!boxes.isEmpty());
    QVERIFY(boxes.first().text.contains("a.csv already exists"));
    QCOMPARE(readAll(dir.filePath("a.csv")) == "old", !replace);
}

void TestExportAction::unwritablePdfIsAnError()
{
    QTemporaryDir dir;
    fixture::Views views;
    views.makeCurrent(views.addLocalDb(dir.filePath("src.db"), {{"Ann", "555", "", ""}}));
    runExport(views, dir.filePath("missing/a.pdf"), "PDF files(*.pdf)");
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first().icon, QMessageBox::Critical);
    QVERIFY(!boxes.first().text.contains("Successfully"));
}

void TestExportAction::treeAndRowVariants()
{
    QTemporaryDir dir;
    fixture::Views views;
    auto *node = views.addLocalDb(dir.filePath("src.db"), {{"Ann", "555", "", ""}, {"Bob", "556", "", ""}});
    views.makeCurrent(node);
    runExport(views, dir.filePath("all.csv"), "CSV Files(*.csv)");
    QCOMPARE(readAll(dir.filePath("all.csv")).count('\n'), 3);

    const QList<pim::_Contact> listed = views.selection.nodeContacts(views.selection.currentNode());
    QCOMPARE(listed.size(), 2);
    views.selectRows(listed, {1});
    runExport(views, dir.filePath("one.csv"), "CSV Files(*.csv)");
    const QByteArray one = readAll(dir.filePath("one.csv"));
    QCOMPARE(one.count('\n'), 2);
    QVERIFY(one.contains(listed.at(1).fullName.toUtf8()));
}

// The list holds no photo bytes; the file gets the photo of each exported row as stored.
void TestExportAction::rowsGoOutWithTheirStoredPhotos_data()
{
    QTest::addColumn<bool>("nodeRemoved");
    QTest::newRow("rows of a listed database") << false;
    QTest::newRow("the rows' database removed before the export") << true;
}

void TestExportAction::rowsGoOutWithTheirStoredPhotos()
{
    QFETCH(bool, nodeRemoved);
    QTemporaryDir dir;
    fixture::Views views;
    const QString db = dir.filePath("src.db");
    auto *node =
        views.addLocalDb(db, {{"Ann", "555", "", ""}, {"Bob", "556", "", ""}, {"Cy", "557", "", ""}});
    const QByteArray bobPhoto = tarnwick::test::imageBytes("JPEG", QSize(120, 90), Qt::green);
    const QByteArray cyPhoto = tarnwick::test::imageBytes("PNG", QSize(60, 60), Qt::yellow);
    fixture::addPhoto(db, "Bob", bobPhoto);
    fixture::addPhoto(db, "Cy", cyPhoto);
    views.makeCurrent(node);
    views.selectRows(views.selection.listContacts(views.selection.currentNode()), {2, 1});
    if (nodeRemoved)
        views.treeModel.removeChild(&views.treeModel.rootLocalDb, 0);

    const QString path = dir.filePath("rows.vcf");
    if (nodeRemoved) {
        // Refused before the file is asked for.
        auto dialog = std::make_unique<ScriptedFileDialogs>();
        ScriptedFileDialogs *script = dialog.get();
        script->path = path;
        auto previous = FileDialogs::install(std::move(dialog));
        ExportAction(views.selection, nullptr, nullptr).fileExport();
        QVERIFY(script->askedFilters.isEmpty());
        FileDialogs::install(std::move(previous));
        QVERIFY(!QFile::exists(path));
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes.first().text.contains("no longer open"), qPrintable(boxes.first().text));
        return;
    }
    runExport(views, path, "VCard Files(*.vcf)");
    QByteArray cards = readAll(path);
    cards.replace("\r\n ", "").replace("\n ", "");
    QCOMPARE(cards.count("BEGIN:VCARD"), 2);
    QVERIFY(cards.contains(bobPhoto.toBase64()));
    QVERIFY(cards.contains(cyPhoto.toBase64()));
    QVERIFY(!cards.contains("Ann"));
}

void TestExportAction::previewPaintsEveryCard_data()
{
    QTest::addColumn<int>("contacts");
    QTest::addColumn<int>("pages");
    QTest::newRow("no contacts: one blank page") << 0 << 1;
    QTest::newRow("one") << 1 << 1;
    QTest::newRow("eight fill a page") << 8 << 1;
    QTest::newRow("nine begin a second") << 9 << 2;
    QTest::newRow("seventeen") << 17 << 3;
}

void TestExportAction::previewPaintsEveryCard()
{
    QFETCH(int, contacts);
    QFETCH(int, pages);
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    QTemporaryDir dir;
    fixture::Views views;
    QList<fixture::Person> people;
    for (int i = 1; i <= contacts; ++i)
        people << fixture::Person{QStringLiteral("Person%1").arg(i, 2, 10, QLatin1Char('0')),
                                  QStringLiteral("555%1").arg(i), QString(), QString()};
    views.makeCurrent(views.addLocalDb(dir.filePath("src.db"), people));
    ExportAction action(views.selection, nullptr, nullptr);

    const PreviewSeen seen = watchPreview([&] { action.filePrint(); }, dir.filePath("printed.pdf"));
    QVERIFY(seen.shown);
    QCOMPARE(seen.pages, pages);
    for (int i = 1; i <= contacts; ++i) {
        const QString name = QStringLiteral("Person%1").arg(i, 2, 10, QLatin1Char('0'));
        QVERIFY2(seen.printed.contains(name), qPrintable(name + " missing from:\n" + seen.printed));
    }
    QCOMPARE(int(seen.printed.count(QRegularExpression(QStringLiteral("Person\\d\\d")))), contacts);
    QVERIFY(boxes.isEmpty());
}

TARNWICK_TEST_MAIN(TestExportAction)
#include "tst_exportaction.moc"
