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

    // The rows keep the node they came from, whatever the tree does afterwards; rows loaded without
    // a node, or whose node left the tree, have none.
    void listedNodeGoesWithTheRows_data()
    {
        QTest::addColumn<QString>("then");
        QTest::addColumn<QString>("listed"); // "a", "group" or "" (none)
        QTest::newRow("tree moves to another database") << "moveToB"
                                                        << "a";
        QTest::newRow("group of the rows") << "groupRows"
                                           << "group";
        QTest::newRow("list loaded without a node") << "plainLoad"
                                                    << "";
        QTest::newRow("list emptied") << "clear"
                                      << "";
        QTest::newRow("node removed") << "removeA"
                                      << "";
    }

    void listedNodeGoesWithTheRows()
    {
        QFETCH(QString, then);
        QFETCH(QString, listed);
        fixture::Views v;
        Tree::_DBItemNode *a = v.addLocalDb(m_dir.filePath("a.db"), {{"Ann", "", "", "G"}});
        Tree::_DBItemNode *b = v.addLocalDb(m_dir.filePath("b.db"), {{"Bea", "", "", ""}});
        Tree::_ItemNode *group = a->child(0);
        v.makeCurrent(then == "groupRows" ? group : a);
        v.selectRows(v.selection.nodeContacts(v.selection.currentNode()), {0});

        if (then == "moveToB")
            v.makeCurrent(b);
        else if (then == "plainLoad")
            v.listModel.loadContacts(b->db->contacts(0, QString()));
        else if (then == "clear")
            v.listModel.clear();
        else if (then == "removeA")
            v.treeModel.removeChild(&v.treeModel.rootLocalDb, 0);

        const ContactSelection::Node rows = v.selection.listedNode();
        const Tree::_ItemNode *expected = listed == "a"       ? static_cast<Tree::_ItemNode *>(a)
                                          : listed == "group" ? group
                                                              : nullptr;
        QCOMPARE(rows.node, expected);
        QCOMPARE(rows.dbNode, listed.isEmpty() ? nullptr : a);
        if (!listed.isEmpty())
            QCOMPARE(v.selection.listFacts().node, ActionFacts::Node::LocalDb);
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
