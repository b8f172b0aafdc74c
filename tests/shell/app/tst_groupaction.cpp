#include "contactui/GroupForm.h"
#include "contactui/Ui_GroupForm.h"
#include "model/EntityType.h"
#include "shell/app/GroupAction.h"
#include "shell/app/ItemModelMainTree.h"
#include "shell/kit/MessageBoxResponder.h"

#include "ScratchLocalDbs.h"
#include "SelectionFixture.h"
#include "TestMain.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>
#include <QTreeView>

#include <functional>

namespace {

// Types `name` into the next group dialog and presses OK; `before` runs first.
void chooseGroup(const QString &name, std::function<void()> before = {})
{
    QTimer::singleShot(0, [name, before] {
        auto *form = qobject_cast<GroupForm *>(QApplication::activeModalWidget());
        QVERIFY(form);
        if (before)
            before();
        form->form()->cbGroups->lineEdit()->setText(name);
        QTest::mousePress(form->form()->btnOK, Qt::LeftButton);
    });
}

QStringList groupNames(LocalDb &db)
{
    QStringList out;
    for (const pim::_Group &g : db.groups())
        out << g.name;
    return out;
}

QStringList childNames(ItemModelMainTree::_ItemNode *node)
{
    QStringList out;
    for (const AbsTreeItemModel::_ItemNode *child : node->childs)
        out << child->name;
    return out;
}

} // namespace

class TestGroupAction : public QObject, private tarnwick::test::ScratchLocalDbs
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void setGroup_data();
    void setGroup();
    void ungroupKeepsGroups();
    void androidSendAccepted();
    void androidSendFailedCommitsNothing();
    void nodeRemovedWhileChoosing();

private:
    ItemModelMainTree::_DBItemNode *addDb(int devType);
    QString membershipOf(const QString &fullName);
    // Makes `current` the current node and selects the named contacts in the list.
    void select(ItemModelMainTree::_ItemNode *current, const QStringList &names);

    QTranslator m_translator;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<fixture::Views> m_views;
    ItemModelMainTree *m_tree = nullptr;
    QSharedPointer<LocalDb> m_db;
    QStringList m_boxes;
    std::unique_ptr<MessageBoxResponder::Scope> m_answer;
};

void TestGroupAction::initTestCase()
{
    qunsetenv("TARNWICK_UPDATE_HOST");
    QVERIFY(m_translator.load(QStringLiteral(":/en.qm")));
    QCoreApplication::installTranslator(&m_translator);
}

void TestGroupAction::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    const QString path = m_dir->filePath(QStringLiteral("people.db"));
    fixture::makeDb(
        path, {{"Ann Lee", "111", "", "Friends"}, {"Bob Roe", "222", "", "Work"}, {"Cy Doe", "", "", ""}});
    m_db.reset(new LocalDb(path, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule)));
    m_views = std::make_unique<fixture::Views>();
    m_tree = &m_views->treeModel;
    m_boxes.clear();
    m_answer = std::make_unique<MessageBoxResponder::Scope>([this](const MessageBoxRequest &r) {
        m_boxes << r.text;
        return int(r.buttons & QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::Ok);
    });
}

void TestGroupAction::cleanup()
{
    m_answer.reset();
    m_views.reset();
    m_db.reset();
    m_dir.reset();
}

ItemModelMainTree::_DBItemNode *TestGroupAction::addDb(int devType)
{
    ItemModelMainTree::_DBItemNode *node =
        devType == 0 ? m_tree->addLocalDb(m_db, QStringLiteral("people"))
                     : m_tree->addDevice(m_db, QStringLiteral("Phone"), QStringLiteral("dev-1"), devType);
    m_tree->refreshDbNodeGroups(node);
    return node;
}

QString TestGroupAction::membershipOf(const QString &fullName)
{
    const QList<pim::Entity> groups =
        m_db->contact(m_db->isContactBaseExist(fullName)).entities.value(pim::ENTITY_GROUP);
    QStringList out;
    for (const pim::Entity &g : groups)
        out << g.values.value("data2").toString();
    return out.join(QLatin1Char(','));
}

void TestGroupAction::select(ItemModelMainTree::_ItemNode *current, const QStringList &names)
{
    m_views->makeCurrent(current);
    QList<pim::_Contact> contacts;
    QList<int> rows;
    for (const QString &name : names) {
        rows << int(contacts.size());
        contacts << m_db->contact(m_db->isContactBaseExist(name));
    }
    m_views->selectRows(contacts, rows);
}

void TestGroupAction::setGroup_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("groups");
    QTest::addColumn<QString>("membership");

    QTest::newRow("new group") << "Club" << QStringList{"Club", "Friends", "Work"} << "Club";
    QTest::newRow("listed group") << "Work" << QStringList{"Friends", "Work"} << "Work";
    // Matched without regard to letter case, stored as typed.
    QTest::newRow("other letter case reuses") << "friends" << QStringList{"Friends", "Work"} << "friends";
}

void TestGroupAction::setGroup()
{
    QFETCH(QString, typed);
    ItemModelMainTree::_DBItemNode *node = addDb(0);
    // Started from a group: the database node is current afterwards.
    select(node->child(0), {"Bob Roe", "Cy Doe"});
    chooseGroup(typed);
    GroupAction(m_views->selection, nullptr).setContactsGroup();

    QTEST(groupNames(*m_db), "groups");
    QTEST(childNames(node), "groups");
    QFETCH(QString, membership);
    QCOMPARE(membershipOf("Bob Roe"), membership);
    QCOMPARE(membershipOf("Cy Doe"), membership);
    QCOMPARE(membershipOf("Ann Lee"), QStringLiteral("Friends"));
    QCOMPARE(m_views->tree.currentIndex(), m_tree->indexOfItemNode(node));
    QCOMPARE(m_boxes.size(), 1);
    QVERIFY(m_boxes.first().contains(QLatin1String("Successfuly set Contact Group")));
}

void TestGroupAction::ungroupKeepsGroups()
{
    ItemModelMainTree::_DBItemNode *node = addDb(0);
    select(node, {"Ann Lee", "Bob Roe"});
    chooseGroup(QString());
    GroupAction(m_views->selection, nullptr).setContactsGroup();
    QCOMPARE(membershipOf("Ann Lee"), QString());
    QCOMPARE(membershipOf("Bob Roe"), QString());
    QCOMPARE(groupNames(*m_db), QStringList({"Friends", "Work"}));
    QCOMPARE(m_boxes.size(), 2); // the dialog's question, then the success box
}

void TestGroupAction::androidSendAccepted()
{
    ItemModelMainTree::_DBItemNode *node = addDb(ItemModelMainTree::ANDROID);
    GroupAction action(m_views->selection, nullptr);
    QList<pim::_Contact> given;
    action.setAndroidSend([&](LocalDb &, const QList<pim::_Contact> &contacts) {
        given = contacts;
        return true;
    });
    chooseGroup(QStringLiteral("Club"));
    select(node, {"Cy Doe"});
    action.setContactsGroup();
    QCOMPARE(given.size(), 1);
    const QList<pim::Entity> memberships = given.first().entities.value(pim::ENTITY_GROUP);
    QCOMPARE(memberships.size(), 1);
    QVERIFY(memberships.first().id != 0);
    QCOMPARE(memberships.first().values.value("data2").toString(), QStringLiteral("Club"));
    QCOMPARE(membershipOf("Cy Doe"), QStringLiteral("Club"));
}

void TestGroupAction::androidSendFailedCommitsNothing()
{
    ItemModelMainTree::_DBItemNode *node = addDb(ItemModelMainTree::ANDROID);
    GroupAction action(m_views->selection, nullptr);
    QStringList reloaded;
    action.setAndroidSend([](LocalDb &, const QList<pim::_Contact> &) { return false; });
    action.setAndroidReload(
        [&](const QString &devId, const QSharedPointer<LocalDb> &) { reloaded << devId; });
    chooseGroup(QStringLiteral("Club"));
    select(node, {"Ann Lee"});
    action.setContactsGroup();
    QCOMPARE(reloaded, QStringList{"dev-1"});
    // Not even the new group row stays.
    QCOMPARE(groupNames(*m_db), QStringList({"Friends", "Work"}));
    QCOMPARE(membershipOf("Ann Lee"), QStringLiteral("Friends"));
    QVERIFY(m_boxes.isEmpty());
}

void TestGroupAction::nodeRemovedWhileChoosing()
{
    ItemModelMainTree::_DBItemNode *node = addDb(ItemModelMainTree::ANDROID);
    GroupAction action(m_views->selection, nullptr);
    bool sent = false;
    action.setAndroidSend([&](LocalDb &, const QList<pim::_Contact> &) { return sent = true; });
    chooseGroup(QStringLiteral("Club"), [this] { m_tree->removeDevice(QStringLiteral("dev-1")); });
    select(node, {"Ann Lee"});
    action.setContactsGroup();
    QVERIFY(!sent);
    QCOMPARE(groupNames(*m_db), QStringList({"Friends", "Work"}));
}

TARNWICK_TEST_MAIN(TestGroupAction)
#include "tst_groupaction.moc"
