#include "contactui/ContactDisplayer.h"
#include "contactui/ContactEditor.h"
#include "contactui/EditContactForm.h"
#include "contactui/Ui_EditContactForm.h"
#include "model/EntityType.h"
#include "model/UnloadedPhoto.h"
#include "shell/app/EditAction.h"
#include "shell/app/ItemModelContacts.h"
#include "shell/app/ItemModelMainTree.h"
#include "shell/kit/MessageBoxResponder.h"

#include "EntityFixtures.h"
#include "ImageBytes.h"
#include "ScopedTimeZone.h"
#include "SelectionFixture.h"
#include "StoredEntryShapes.h"
#include "TestMain.h"

#include "platform/sqlite/Sqlite3Sql.h"

#include <QApplication>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>
#include <QTreeView>

#include <algorithm>
#include <functional>

namespace {

// Works the next modal dialog once it runs; the dialog is skipped when `work` is empty.
void onNextDialog(std::function<void(QDialog *)> work)
{
    QTimer::singleShot(0, [work] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        work(dialog);
    });
}

// Fills the edit dialog's first and last name and applies.
std::function<void(QDialog *)> typeName(const QString &first, const QString &last)
{
    return [first, last](QDialog *dialog) {
        auto *form = qobject_cast<EditContactForm *>(dialog);
        QVERIFY(form);
        ContactEditor &editor = *form->form()->wdEditContact;
        editor.nameEdit.txtFirstName->setText(first);
        editor.nameEdit.txtLastName->setText(last);
        QTest::mousePress(form->form()->btnSave, Qt::LeftButton);
    };
}

} // namespace

class TestEditAction : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void addsUnderAGroup();
    void renames();
    void savingUnchangedWritesNothing();
    void storedShapesSurviveASave_data();
    void storedShapesSurviveASave();
    void cancelledEditWritesNothing();
    void androidSendAccepted();
    void androidSendFailedReloads();
    void nodeRemovedDuringEdit();
    void iPhoneOffersNothing();
    void storedPhotoThroughAnEdit_data();
    void storedPhotoThroughAnEdit();
    void rowsNodeGoneBeforeTheEditorOpens();
    void fileChangedUnderneathTakesNothing_data();
    void fileChangedUnderneathTakesNothing();

private:
    ItemModelMainTree::_DBItemNode *addDb(int devType);
    void showNode(ItemModelMainTree::_ItemNode *node);
    std::unique_ptr<EditAction> action();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<fixture::Views> m_views;
    ItemModelMainTree *m_tree = nullptr;
    ItemModelContacts *m_list = nullptr;
    QTreeView *m_listView = nullptr;
    std::unique_ptr<ContactDisplayer> m_pane;
    QSharedPointer<LocalDb> m_db;
    QStringList m_boxes;
    std::unique_ptr<MessageBoxResponder::Scope> m_answer;
};

void TestEditAction::init()
{
    qunsetenv("TARNWICK_UPDATE_HOST");
    m_dir = std::make_unique<QTemporaryDir>();
    const QString path = m_dir->filePath(QStringLiteral("people.db"));
    fixture::makeDb(path, {{"Ann Lee", "111", "", "Friends"}, {"Bob Roe", "222", "", ""}});
    m_db.reset(new LocalDb(path, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule)));
    m_views = std::make_unique<fixture::Views>();
    m_tree = &m_views->treeModel;
    m_list = &m_views->listModel;
    m_listView = &m_views->list;
    m_pane = std::make_unique<ContactDisplayer>();
    m_boxes.clear();
    m_answer = std::make_unique<MessageBoxResponder::Scope>([this](const MessageBoxRequest &r) {
        m_boxes << r.text;
        return int(QMessageBox::Ok);
    });
}

void TestEditAction::cleanup()
{
    m_answer.reset();
    m_pane.reset();
    m_views.reset();
    m_db.reset();
    m_dir.reset();
}

ItemModelMainTree::_DBItemNode *TestEditAction::addDb(int devType)
{
    ItemModelMainTree::_DBItemNode *node =
        devType == 0 ? m_tree->addLocalDb(m_db, QStringLiteral("people"))
                     : m_tree->addDevice(m_db, QStringLiteral("Phone"), QStringLiteral("dev-1"), devType);
    m_tree->refreshDbNodeGroups(node);
    return node;
}

void TestEditAction::showNode(ItemModelMainTree::_ItemNode *node)
{
    m_views->makeCurrent(node);
    // As the window lists a node: the photos without their bytes.
    m_views->selection.showContacts(m_views->selection.currentNode(),
                                    m_views->selection.listContacts(m_views->selection.currentNode()));
}

std::unique_ptr<EditAction> TestEditAction::action()
{
    return std::make_unique<EditAction>(m_views->selection, *m_listView, *m_pane);
}

void TestEditAction::addsUnderAGroup()
{
    ItemModelMainTree::_DBItemNode *node = addDb(0);
    ItemModelMainTree::_ItemNode *group = node->child(0);
    showNode(group);
    QCOMPARE(m_list->contacts.size(), 1);

    onNextDialog(typeName(QStringLiteral("Cy"), QStringLiteral("Doe")));
    action()->editContact(-1);

    QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join('\n')));
    const quint64 id = m_db->isContactBaseExist(QStringLiteral("Cy Doe"));
    QVERIFY(id != 0);
    // Stored without membership of the group, yet shown last in the group's list, and current.
    QVERIFY(m_db->contact(id).entities.value(pim::ENTITY_GROUP).isEmpty());
    QCOMPARE(m_list->contacts.size(), 2);
    QCOMPARE(m_list->contacts.last().id, id);
    QCOMPARE(m_list->contacts.last().fullName, QStringLiteral("Cy Doe"));
    QCOMPARE(m_listView->currentIndex().row(), 1);
}

void TestEditAction::renames()
{
    ItemModelMainTree::_DBItemNode *node = addDb(0);
    showNode(node);
    const pim::_Contact before = m_list->contacts.at(0);
    onNextDialog(typeName(QStringLiteral("Anne"), QStringLiteral("Lee")));
    action()->editContact(0);

    const pim::_Contact stored = m_db->contact(before.id);
    QCOMPARE(stored.fullName, QStringLiteral("Anne Lee"));
    QCOMPARE(m_list->contacts.at(0).fullName, QStringLiteral("Anne Lee"));
    QCOMPARE(m_list->contacts.at(0).entities.value(pim::ENTITY_NAME).first().values.value("data2").toString(),
             QStringLiteral("Anne"));
    // The membership survived the save.
    QCOMPARE(stored.entities.value(pim::ENTITY_GROUP).size(), 1);
}

void TestEditAction::savingUnchangedWritesNothing()
{
    ItemModelMainTree::_DBItemNode *node = addDb(0);
    showNode(node);
    const pim::_Contact before = m_db->contact(m_list->contacts.at(1).id);
    const QDateTime stamp = QFileInfo(m_db->path).lastModified();
    onNextDialog([](QDialog *dialog) {
        QTest::mousePress(qobject_cast<EditContactForm *>(dialog)->form()->btnSave, Qt::LeftButton);
    });
    action()->editContact(1);
    const pim::_Contact after = m_db->contact(before.id);
    QCOMPARE(tarnwick::test::render(after.entities), tarnwick::test::render(before.entities));
    QCOMPARE(after.fullName, before.fullName);
    QCOMPARE(QFileInfo(m_db->path).lastModified(), stamp);
}

void TestEditAction::storedShapesSurviveASave_data()
{
    QTest::addColumn<int>("devType");
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<int>("changed"); // the shape the user edits; -1: none

    const QList<tarnwick::test::StoredEntryShape> shapes = tarnwick::test::storedEntryShapes();
    for (const int devType : {0, int(ItemModelMainTree::ANDROID)}) {
        const char *node = devType == 0 ? "database" : "Android phone";
        for (const QByteArray &zone : tarnwick::test::editorTimeZones()) {
            QTest::addRow("%s, nothing changed, %s", node, zone.constData()) << devType << zone << -1;
            for (int i = 0; i < shapes.size(); ++i)
                QTest::addRow("%s, %s edited, %s", node, qPrintable(shapes.at(i).name), zone.constData())
                    << devType << zone << i;
        }
    }
}

void TestEditAction::storedShapesSurviveASave()
{
    QFETCH(int, devType);
    QFETCH(QByteArray, zone);
    QFETCH(int, changed);
    const tarnwick::test::ScopedTimeZone inZone(zone);
    const pim::_Contact before = tarnwick::test::storeShapesContact(*m_db);
    ItemModelMainTree::_DBItemNode *node = addDb(devType);
    showNode(node);
    const auto listed = std::find_if(m_list->contacts.cbegin(), m_list->contacts.cend(),
                                     [&before](const pim::_Contact &c) { return c.id == before.id; });
    QVERIFY(listed != m_list->contacts.cend());

    std::unique_ptr<EditAction> edit = action();
    QStringList sent;
    edit->setAndroidSend([&](LocalDb &, pim::_Contact &, const QList<ContactChanges::_ChangeData> &changes) {
        for (const ContactChanges::_ChangeData &c : changes)
            sent << QStringLiteral("%1 %2").arg(c.action).arg(tarnwick::test::render(c.type, c.entity));
        return true;
    });
    onNextDialog([changed](QDialog *dialog) {
        auto *form = qobject_cast<EditContactForm *>(dialog);
        if (changed >= 0)
            tarnwick::test::storedEntryShapes().at(changed).edit(*form->form()->wdEditContact);
        QTest::mousePress(form->form()->btnSave, Qt::LeftButton);
    });
    edit->editContact(int(listed - m_list->contacts.cbegin()));
    QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join('\n')));

    // Every entry as it was, but for the edited one and the date alone every save writes out.
    const QStringList after = tarnwick::test::shapesAfterSave(changed);
    QStringList expected{tarnwick::test::shapesContactName()};
    expected += after;
    QStringList stored = tarnwick::test::render(m_db->contact(before.id).entities);
    stored.sort();
    expected.sort();
    QCOMPARE(stored.join(QLatin1Char('\n')), expected.join(QLatin1Char('\n')));

    // The phone hears of those entries and of nothing else.
    QStringList expectedSent;
    if (devType != 0) {
        const QList<tarnwick::test::StoredEntryShape> shapes = tarnwick::test::storedEntryShapes();
        for (int i = 0; i < shapes.size(); ++i) {
            if (after.at(i) != shapes.at(i).stored)
                expectedSent
                    << QStringLiteral("%1 %2").arg(int(ContactChanges::ACTION_UPDATED)).arg(after.at(i));
        }
    }
    sent.sort();
    expectedSent.sort();
    QCOMPARE(sent.join(QLatin1Char('\n')), expectedSent.join(QLatin1Char('\n')));
}

void TestEditAction::cancelledEditWritesNothing()
{
    ItemModelMainTree::_DBItemNode *node = addDb(0);
    showNode(node);
    // One responder at a time: a scope restores the one it replaced when it ends.
    m_answer.reset();
    m_answer = std::make_unique<MessageBoxResponder::Scope>(
        [](const MessageBoxRequest &) { return int(QMessageBox::Yes); });
    onNextDialog([](QDialog *dialog) {
        auto *form = qobject_cast<EditContactForm *>(dialog);
        form->form()->wdEditContact->nameEdit.txtFirstName->setText(QStringLiteral("Changed"));
        QTest::mousePress(form->form()->btnCancel, Qt::LeftButton);
    });
    action()->editContact(0);
    QCOMPARE(m_db->contact(m_list->contacts.at(0).id).fullName, QStringLiteral("Ann Lee"));
}

void TestEditAction::androidSendAccepted()
{
    ItemModelMainTree::_DBItemNode *node = addDb(ItemModelMainTree::ANDROID);
    showNode(node);
    std::unique_ptr<EditAction> edit = action();
    pim::_Contact given;
    QList<ContactChanges::_ChangeData> sent;
    edit->setAndroidSend(
        [&](LocalDb &mirror, pim::_Contact &stored, const QList<ContactChanges::_ChangeData> &c) {
            // The change is in the mirror before the phone hears of it.
            given = stored;
            sent = c;
            return &mirror == m_db.data();
        });
    edit->setAndroidReload(
        [](const QString &, const QSharedPointer<LocalDb> &) { QFAIL("no reload expected"); });
    onNextDialog(typeName(QStringLiteral("Dee"), QStringLiteral("Poe")));
    edit->editContact(-1);

    QVERIFY(given.id != 0);
    QCOMPARE(given.fullName, QStringLiteral("Dee Poe"));
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent.first().entity.id, given.entities.value(pim::ENTITY_NAME).first().id);
    QCOMPARE(m_list->contacts.last().id, given.id);
}

void TestEditAction::androidSendFailedReloads()
{
    ItemModelMainTree::_DBItemNode *node = addDb(ItemModelMainTree::ANDROID);
    showNode(node);
    std::unique_ptr<EditAction> edit = action();
    QStringList reloaded;
    edit->setAndroidSend(
        [](LocalDb &, pim::_Contact &, const QList<ContactChanges::_ChangeData> &) { return false; });
    edit->setAndroidReload([&](const QString &devId, const QSharedPointer<LocalDb> &mirror) {
        reloaded << devId;
        QCOMPARE(mirror, m_db);
    });
    const int rows = m_list->contacts.size();
    onNextDialog(typeName(QStringLiteral("Anne"), QStringLiteral("Lee")));
    edit->editContact(0);
    QCOMPARE(reloaded, QStringList{"dev-1"});
    // The list is left to the reload.
    QCOMPARE(m_list->contacts.size(), rows);
    QCOMPARE(m_list->contacts.at(0).fullName, QStringLiteral("Ann Lee"));
}

void TestEditAction::nodeRemovedDuringEdit()
{
    ItemModelMainTree::_DBItemNode *node = addDb(ItemModelMainTree::ANDROID);
    showNode(node);
    std::unique_ptr<EditAction> edit = action();
    bool sent = false;
    edit->setAndroidSend([&](LocalDb &, pim::_Contact &, const QList<ContactChanges::_ChangeData> &) {
        sent = true;
        return true;
    });
    onNextDialog([this](QDialog *dialog) {
        // The phone is unplugged while the editor is open.
        m_tree->removeDevice(QStringLiteral("dev-1"));
        typeName(QStringLiteral("Anne"), QStringLiteral("Lee"))(dialog);
    });
    const quint64 id = m_list->contacts.at(0).id;
    edit->editContact(0);
    QVERIFY(!sent);
    QCOMPARE(m_db->contact(id).fullName, QStringLiteral("Ann Lee"));
}

void TestEditAction::iPhoneOffersNothing()
{
    ItemModelMainTree::_DBItemNode *node = addDb(ItemModelMainTree::IOS);
    showNode(node);
    bool opened = false;
    QTimer::singleShot(0, [&] {
        if (QApplication::activeModalWidget()) {
            opened = true;
            QApplication::activeModalWidget()->close();
        }
    });
    action()->editContact(-1);
    QCoreApplication::processEvents();
    QVERIFY(!opened);
}

// The list holds the row's photo without its bytes; the editor works on the stored photo.
void TestEditAction::storedPhotoThroughAnEdit_data()
{
    QTest::addColumn<int>("devType");
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("photoAfter"); // "old", "new" or "none"
    for (const int devType : {0, int(ItemModelMainTree::ANDROID)}) {
        const char *node = devType == 0 ? "database" : "Android phone";
        QTest::addRow("%s, phone changed", node) << devType << "phone"
                                                 << "old";
        QTest::addRow("%s, photo replaced", node) << devType << "replace"
                                                  << "new";
        QTest::addRow("%s, photo removed", node) << devType << "remove"
                                                 << "none";
    }
}

void TestEditAction::storedPhotoThroughAnEdit()
{
    QFETCH(int, devType);
    QFETCH(QString, edit);
    QFETCH(QString, photoAfter);
    const QByteArray oldPhoto = tarnwick::test::imageBytes("PNG", QSize(30, 30), Qt::red);
    const QByteArray newPhoto = tarnwick::test::imageBytes("PNG", QSize(30, 30), Qt::blue);
    fixture::addPhoto(m_db->path, QStringLiteral("Ann Lee"), oldPhoto);
    ItemModelMainTree::_DBItemNode *node = addDb(devType);
    showNode(node);
    QVERIFY(pim::UnloadedPhoto::isIn(m_list->contacts.at(0)));
    const quint64 id = m_list->contacts.at(0).id;

    std::unique_ptr<EditAction> action = this->action();
    QByteArray sentPhoto;
    action->setAndroidSend(
        [&](LocalDb &, pim::_Contact &, const QList<ContactChanges::_ChangeData> &changes) {
            for (const ContactChanges::_ChangeData &c : changes) {
                if (c.type == pim::ENTITY_PHOTO)
                    sentPhoto = c.entity.values.value(QStringLiteral("data15")).toByteArray();
            }
            return true;
        });
    QByteArray shownInEditor;
    onNextDialog([&](QDialog *dialog) {
        auto *form = qobject_cast<EditContactForm *>(dialog);
        ContactEditor &editor = *form->form()->wdEditContact;
        shownInEditor = editor.photoEdit.photoData;
        if (edit == "phone")
            editor.phoneEditor->rows().at(0).txtValue->setText(QStringLiteral("119"));
        else if (edit == "replace")
            editor.photoEdit.setPhoto(newPhoto);
        else
            editor.photoEdit.reset();
        QTest::mousePress(form->form()->btnSave, Qt::LeftButton);
    });
    action->editContact(0);
    QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join('\n')));
    QCOMPARE(shownInEditor, oldPhoto);

    const pim::_Contact stored = m_db->contact(id);
    const QList<pim::Entity> photos = stored.entities.value(pim::ENTITY_PHOTO);
    const QByteArray expected = photoAfter == "old"   ? oldPhoto
                                : photoAfter == "new" ? newPhoto
                                                      : QByteArray();
    QCOMPARE(photos.size(), photoAfter == "none" ? 0 : 1);
    QCOMPARE(fixture::photoOf(stored), expected);
    if (!photos.isEmpty())
        QCOMPARE(photos.first().values.value(QStringLiteral("data4")).toString(),
                 pim::Entity::photoHash(expected));
    QCOMPARE(stored.entities.value(pim::ENTITY_PHONE).first().values.value("data1").toString(),
             edit == "phone" ? QStringLiteral("119") : QStringLiteral("111"));
    if (devType != 0 && edit == "replace")
        QCOMPARE(sentPhoto, newPhoto);
    // The row and the pane show the contact as stored.
    QCOMPARE(fixture::photoOf(m_list->contacts.at(0)), expected);
}

// The rows' node left before the edit began: the row's copy, without its photo, is never edited.
void TestEditAction::rowsNodeGoneBeforeTheEditorOpens()
{
    fixture::addPhoto(m_db->path, QStringLiteral("Ann Lee"), QByteArray(100, 'p'));
    ItemModelMainTree::_DBItemNode *node = addDb(0);
    showNode(node);
    m_tree->removeChild(&m_tree->rootLocalDb, 0);
    const QDateTime stamp = QFileInfo(m_db->path).lastModified();
    bool opened = false;
    QTimer::singleShot(0, [&] {
        if (QApplication::activeModalWidget()) {
            opened = true;
            QApplication::activeModalWidget()->close();
        }
    });
    action()->editContact(0);
    QCoreApplication::processEvents();
    QVERIFY(!opened);
    QCOMPARE(QFileInfo(m_db->path).lastModified(), stamp);
}

void TestEditAction::fileChangedUnderneathTakesNothing_data()
{
    QTest::addColumn<int>("devType");
    QTest::newRow("local database") << 0;
    QTest::newRow("Android phone's mirror") << int(ItemModelMainTree::ANDROID);
}

void TestEditAction::fileChangedUnderneathTakesNothing()
{
    QFETCH(int, devType);
    QTranslator english;
    QVERIFY(english.load(QStringLiteral(":/en.qm")));
    QCoreApplication::installTranslator(&english);
    const auto untranslate = qScopeGuard([&english] { QCoreApplication::removeTranslator(&english); });

    ItemModelMainTree::_DBItemNode *node = addDb(devType);
    showNode(node);
    std::unique_ptr<EditAction> edit = action();
    bool sent = false;
    edit->setAndroidSend([&](LocalDb &, pim::_Contact &, const QList<ContactChanges::_ChangeData> &) {
        sent = true;
        return true;
    });
    const pim::_Contact bob = m_list->contacts.at(1);
    QCOMPARE(bob.fullName, QStringLiteral("Bob Roe"));

    // Another program's copy of the file in which Bob's rows belong to Cy, and Bob is gone.
    const QString copyPath = m_dir->filePath(QStringLiteral("copy.db"));
    QVERIFY(QFile::copy(m_db->path, copyPath));
    QByteArray changed;
    {
        LocalDb copy(copyPath, m_db->rule);
        pim::_Contact cy(0, QString(), QStringLiteral("Cy Poe"));
        copy.insertContactBase(cy);
        copy.db.executeThrow(Sqlite3Sql("update data set contact_id=? where contact_id=?")
                                 .addInt64Param(qint64(cy.id))
                                 .addInt64Param(qint64(bob.id)));
        copy.db.executeThrow(Sqlite3Sql("delete from contact where _id=?").addInt64Param(qint64(bob.id)));
        copy.close();
        QFile file(copyPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        changed = file.readAll();
    }

    onNextDialog([&](QDialog *dialog) {
        // The file is written over in place while the editor is open: same file, new content.
        QFile file(m_db->path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(changed), changed.size());
        file.close();
        typeName(QStringLiteral("Robert"), QStringLiteral("Roe"))(dialog);
    });
    edit->editContact(1);

    QCOMPARE(m_boxes.size(), 1);
    QVERIFY2(m_boxes.first().contains(QStringLiteral(
                 "The contact was changed or removed outside the program; nothing was written.")),
             qPrintable(m_boxes.first()));
    QVERIFY(!sent);
    // Cy keeps his name entry as the other program wrote it, and nothing was written at all.
    QFile file(m_db->path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll() == changed);
    const QList<pim::_Contact> stored = m_db->contacts(0, QString());
    QCOMPARE(stored.size(), 2);
    QCOMPARE(stored.at(1).fullName, QStringLiteral("Cy Poe"));
    QCOMPARE(stored.at(1).entities.value(pim::ENTITY_NAME).first().fullName(), QStringLiteral("Bob Roe"));
}

TARNWICK_TEST_MAIN(TestEditAction)
#include "tst_editaction.moc"
