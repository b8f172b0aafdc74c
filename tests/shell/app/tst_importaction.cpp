#include "shell/app/ImportAction.h"

#include "ChooserFixtures.h"
#include "SelectionFixture.h"
#include "TestMain.h"

#include "model/LocalDb.h"
#include "model/LocalDbCombineRule.h"
#include "ScriptedFileDialogs.h"

#include <QScopeGuard>
#include <QTemporaryDir>

namespace {

} // namespace

class TestImportAction : public QObject, fixture::EnglishWithRecordedBoxes
{
    Q_OBJECT

private slots:
    void initTestCase() { installEnglishAndBoxRecorder(); }
    void init() { boxes.clear(); }
    void filterPicksTheReader_data();
    void filterPicksTheReader();
    void cancelledChoicesEndQuietly_data();
    void cancelledChoicesEndQuietly();
    void writeIntoTheNodeOnShow_data();
    void writeIntoTheNodeOnShow();

private:
    struct Run
    {
        QStringList suggested;
        int contacts = -1;
        bool current = false;
        QStringList groups;
    };

    Run runImport(const QByteArray &content, const QString &fileName, const QString &filter,
                  bool chooseDb = true)
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(fileName);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(content);
        f.close();

        auto dialog = std::make_unique<ScriptedFileDialogs>();
        ScriptedFileDialogs *script = dialog.get();
        script->path = content.isNull() ? QString() : path;
        script->filter = filter;
        auto previous = FileDialogs::install(std::move(dialog));

        fixture::Views views;
        Run run;
        ItemModelMainTree::_DBItemNode *node = nullptr;
        ImportAction action(
            views.selection,
            [&](const QString &name) -> ItemModelMainTree::_DBItemNode * {
                run.suggested << name;
                if (!chooseDb)
                    return nullptr;
                QSharedPointer<LocalDb> db(
                    new LocalDb(dir.filePath(QStringLiteral("target.db")),
                                QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule)));
                db->create();
                node = views.treeModel.addLocalDb(db, name + QStringLiteral(".db"));
                return node;
            },
            nullptr, nullptr);
        action.importFromFile();
        FileDialogs::install(std::move(previous));

        if (script->askedDir != QDir::homePath() ||
            script->askedFilters != QStringLiteral("VCard Files(*.vcf);;CSV Files(*.csv)"))
            run.suggested << QStringLiteral("wrong dialog arguments");
        if (node) {
            run.contacts = int(node->db->contacts(0, QString()).size());
            run.current = views.tree.currentIndex() == views.treeModel.indexOfItemNode(node) &&
                          views.tree.isExpanded(views.tree.currentIndex());
            for (int row = 0; row < node->childs.size(); ++row)
                run.groups << node->child(row)->name;
        }
        return run;
    }
};

void TestImportAction::filterPicksTheReader_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("contacts");
    QTest::addColumn<bool>("current");
    QTest::addColumn<QString>("box");

    const QByteArray card("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nCATEGORIES:Golf\r\nEND:VCARD\r\n");
    QTest::newRow("vCard filter") << card << QStringLiteral("friends.vcf")
                                  << QStringLiteral("VCard Files(*.vcf)") << 1 << true
                                  << QStringLiteral("Successfully imported 1 contacts.");
    QTest::newRow("CSV filter on a vCard file")
        << card << QStringLiteral("friends.vcf") << QStringLiteral("CSV Files(*.csv)") << 0 << false
        << QStringLiteral("names no column");
    QTest::newRow("CSV filter, whatever the name")
        << QByteArray("First Name,Last Name,Category\nAnn,Lee,Golf\nBob,Ray,\n")
        << QStringLiteral("table.vcf") << QStringLiteral("CSV Files(*.csv)") << 2 << true
        << QStringLiteral("Successfully imported 2 contacts.");
}

void TestImportAction::filterPicksTheReader()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, fileName);
    QFETCH(QString, filter);
    QFETCH(int, contacts);
    QFETCH(bool, current);
    QFETCH(QString, box);

    const Run run = runImport(content, fileName, filter);
    QCOMPARE(run.suggested, QStringList{fileName});
    QCOMPARE(run.contacts, contacts);
    QCOMPARE(run.current, current);
    QCOMPARE(run.groups, current ? QStringList{QStringLiteral("Golf")} : QStringList{});
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes.first().text.contains(box), qPrintable(boxes.first().text));
}

void TestImportAction::cancelledChoicesEndQuietly_data()
{
    QTest::addColumn<QByteArray>("content"); // null: the open dialog is cancelled
    QTest::addColumn<QString>("filter");
    QTest::addColumn<bool>("chooseDb");
    QTest::addColumn<int>("suggestions");

    const QByteArray card("BEGIN:VCARD\r\nN:Lee;Ann\r\nEND:VCARD\r\n");
    QTest::newRow("open dialog cancelled")
        << QByteArray() << QStringLiteral("VCard Files(*.vcf)") << true << 0;
    QTest::newRow("no known filter") << card << QStringLiteral("All Files(*)") << true << 0;
    QTest::newRow("database chooser cancelled") << card << QStringLiteral("VCard Files(*.vcf)") << false << 1;
}

void TestImportAction::cancelledChoicesEndQuietly()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, filter);
    QFETCH(bool, chooseDb);
    QFETCH(int, suggestions);
    const Run run = runImport(content, QStringLiteral("in.vcf"), filter, chooseDb);
    QCOMPARE(run.suggested.size(), suggestions);
    QCOMPARE(run.contacts, -1);
    QVERIFY(boxes.isEmpty());
}

void TestImportAction::writeIntoTheNodeOnShow_data()
{
    QTest::addColumn<bool>("removeFile"); // another program removes the database as the import starts
    QTest::newRow("the list shows the node's contacts anew") << false;
    QTest::newRow("a database removed meanwhile leaves the tree") << true;
}

void TestImportAction::writeIntoTheNodeOnShow()
{
    QFETCH(bool, removeFile);
    QTemporaryDir dir;
    const QString card = dir.filePath(QStringLiteral("one.vcf"));
    {
        QFile f(card);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Poe;Cy;;;\r\nEND:VCARD\r\n");
    }
    auto dialog = std::make_unique<ScriptedFileDialogs>();
    dialog->path = card;
    dialog->filter = QStringLiteral("VCard Files(*.vcf)");
    auto previous = FileDialogs::install(std::move(dialog));
    const auto restore = qScopeGuard([&previous] { FileDialogs::install(std::move(previous)); });

    fixture::Views views;
    ItemModelMainTree::_DBItemNode *node = views.addLocalDb(
        dir.filePath(QStringLiteral("people.db")), {{"Ann Lee", "111", "", ""}, {"Bob Roe", "222", "", ""}});
    views.makeCurrent(node);
    views.selection.showContacts(views.selection.currentNode(),
                                 views.selection.listContacts(views.selection.currentNode()));
    QCOMPARE(views.listModel.contacts.size(), 2);

    ImportAction action(
        views.selection,
        [&](const QString &) {
            if (removeFile) {
                node->db->open_check();
                QFile::remove(node->db->path);
            }
            return node;
        },
        nullptr, nullptr);
    action.importFromFile();

    QCOMPARE(boxes.size(), 1);
    if (!removeFile) {
        QVERIFY2(boxes.first().text.contains(QStringLiteral("Successfully imported 1 contacts.")),
                 qPrintable(boxes.first().text));
        QCOMPARE(views.listModel.contacts.size(), 3);
        QCOMPARE(views.selection.listedNode().node, node);
        return;
    }
    QVERIFY2(boxes.first().text.contains(QStringLiteral("was removed or replaced outside the program")),
             qPrintable(boxes.first().text));
    // Nothing lists the contacts of a file that is gone.
    QVERIFY(views.treeModel.rootLocalDb.childs.isEmpty());
    QVERIFY(!views.selection.listedNode().node);
}

TARNWICK_TEST_MAIN(TestImportAction)
#include "tst_importaction.moc"
