#include "SelectionFixture.h"
#include "TestMain.h"

#include <QTemporaryDir>

using Tree = ItemModelMainTree;
using fixture::Person;

using fixture::names;

// What the actions of the main window take as "the contacts they work on", without a window.
class TestContactSelection : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void nodeOfEachKind()
    {
        fixture::Views v;
        Tree::_DBItemNode *db =
            v.addLocalDb(m_dir.filePath("n.db"), {{"Ann", "", "", "G"}, {"Bob", "", "", ""}});
        Tree::_ItemNode *group = db->child(0);

        QVERIFY(!v.selection.currentNode().node);
        QCOMPARE(v.selection.facts().node, ActionFacts::Node::None);

        v.makeCurrent(&v.treeModel.rootLocalDb);
        QCOMPARE(v.selection.currentNode().node, &v.treeModel.rootLocalDb);
        QVERIFY(!v.selection.currentNode().dbNode);
        QCOMPARE(v.selection.facts().node, ActionFacts::Node::LocalDbsRoot);
        QVERIFY(v.selection.nodeContacts(v.selection.currentNode()).isEmpty());

        v.makeCurrent(group);
        const ContactSelection::Node cur = v.selection.currentNode();
        QCOMPARE(cur.dbNode, db);
        QCOMPARE(cur.groupNode, group);
        QVERIFY(cur.groupId() != 0);
        QCOMPARE(names(v.selection.nodeContacts(cur)), QStringList{"Ann"});
        QCOMPARE(v.selection.facts().node, ActionFacts::Node::LocalDb);
        QVERIFY(v.selection.facts().group);

        v.makeCurrent(db);
        QCOMPARE(names(v.selection.nodeContacts(v.selection.currentNode())), QStringList({"Ann", "Bob"}));
        QVERIFY(!v.selection.facts().group);
    }

    // The menus and the tool bar act on the selected rows when there are any, else on the node.
    void rowsElseNode_data()
    {
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<QString>("taken");
        QTest::addColumn<QStringList>("contacts");
        QTest::newRow("no row") << QList<int>{} << "node" << QStringList{};
        QTest::newRow("one row") << QList<int>{1} << "rows" << QStringList{"Bob"};
        // The selection's order, not the rows' order.
        QTest::newRow("rows 2 then 0") << QList<int>{2, 0} << "rows" << QStringList({"Cy", "Ann"});
    }

    void rowsElseNode()
    {
        QFETCH(QList<int>, rows);
        QFETCH(QString, taken);
        QFETCH(QStringList, contacts);
        fixture::Views v;
        Tree::_DBItemNode *db = v.addLocalDb(m_dir.filePath("r.db"),
                                             {{"Ann", "", "", ""}, {"Bob", "", "", ""}, {"Cy", "", "", ""}});
        v.makeCurrent(db);
        v.selectRows(db->db->contacts(0, QString()), rows);

        QString ran;
        v.selection.either([&] { ran = "rows"; }, [&] { ran = "node"; });
        QCOMPARE(ran, taken);
        QCOMPARE(v.selection.selectedRowCount(), int(rows.size()));
        QCOMPARE(v.selection.facts().selectedRows, int(rows.size()));
        QCOMPARE(names(v.selection.selectedContacts()), contacts);
    }

    // A node that a device event removed, or that holds another database now, is not the one an
    // action took before it waited.
    void liveness()
    {
        fixture::Views v;
        Tree::_DBItemNode *db = v.addLocalDb(m_dir.filePath("l.db"), {{"Ann", "", "", ""}});
        const QSharedPointer<LocalDb> held = db->db;
        QVERIFY(v.selection.isLive(db, held));
        QVERIFY(!v.selection.isLive(db, QSharedPointer<LocalDb>()));
        v.treeModel.removeChild(&v.treeModel.rootLocalDb, 0);
        QVERIFY(!v.selection.isLive(db, held));
    }
};

TARNWICK_TEST_MAIN(TestContactSelection)
#include "tst_contactselection.moc"
