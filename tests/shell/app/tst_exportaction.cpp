#include "shell/app/ExportAction.h"

#include "ChooserFixtures.h"
#include "SelectionFixture.h"
#include "TestMain.h"

#include "ScriptedFileDialogs.h"

#include <QTemporaryDir>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
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

TARNWICK_TEST_MAIN(TestExportAction)
#include "tst_exportaction.moc"
