#include "ExceptionText.h"
#include "ImageBytes.h"
#include "SelectionFixture.h"
#include "TestMain.h"

#include "model/UnloadedPhoto.h"

#include <QPixmap>
#include <QTemporaryDir>

using Tree = ItemModelMainTree;
using fixture::Person;

using fixture::names;
using fixture::photoOf;
using tarnwick::test::whatOf;

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

    // The list of a node holds the photos without their bytes; the rows an action takes are read
    // whole from the node, photo bytes as stored.
    void listHoldsNoPhotoBytesActionsGetThem_data()
    {
        QTest::addColumn<bool>("group");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<QStringList>("taken");
        QTest::newRow("database") << false << QString() << QList<int>{2, 0} << QStringList({"Cy", "Ann"});
        QTest::newRow("group") << true << QString() << QList<int>{1} << QStringList({"Cy"});
        QTest::newRow("search") << false << "55" << QList<int>{0, 1} << QStringList({"Ann", "Cy"});
    }

    void listHoldsNoPhotoBytesActionsGetThem()
    {
        QFETCH(bool, group);
        QFETCH(QString, keyword);
        QFETCH(QList<int>, rows);
        QFETCH(QStringList, taken);
        fixture::Views v;
        const QString path = m_dir.filePath(QStringLiteral("p%1.db").arg(QTest::currentDataTag()));
        Tree::_DBItemNode *db =
            v.addLocalDb(path, {{"Ann", "551", "", "G"}, {"Bob", "", "b@x", ""}, {"Cy", "552", "", "G"}});
        const QMap<QString, QByteArray> bytes{{"Ann", QByteArray(20000, 'a')},
                                              {"Cy", tarnwick::test::imageBytes("PNG")}};
        for (auto it = bytes.begin(); it != bytes.end(); ++it)
            fixture::addPhoto(path, it.key(), it.value());
        v.makeCurrent(group ? db->child(0) : static_cast<Tree::_ItemNode *>(db));

        const QList<pim::_Contact> listed = v.selection.listContacts(v.selection.currentNode(), keyword);
        v.selectRows(listed, rows);
        for (const pim::_Contact &c : std::as_const(v.listModel.contacts)) {
            QCOMPARE(pim::UnloadedPhoto::isIn(c), bytes.contains(c.fullName));
            QVERIFY(photoOf(c).isEmpty());
        }

        const QList<pim::_Contact> selected = v.selection.selectedContacts();
        QCOMPARE(names(selected), taken);
        for (const pim::_Contact &c : selected) {
            QVERIFY(!pim::UnloadedPhoto::isIn(c));
            QCOMPARE(photoOf(c), bytes.value(c.fullName));
            QCOMPARE(c.entities.keys(), db->db->contact(c.id).entities.keys());
        }
    }

    // Rows whose node has gone, or that it no longer stores, are never handed out as they are:
    // an action would send a contact without its photo.
    void rowsThatCannotBeReadAgain_data()
    {
        QTest::addColumn<QString>("then");
        QTest::addColumn<QString>("error"); // empty: the rows are taken
        QTest::newRow("node removed") << "removeNode"
                                      << "IDS_LISTED_DATABASE_CLOSED";
        QTest::newRow("node holds another database") << "swapDb"
                                                     << "IDS_LISTED_DATABASE_CLOSED";
        QTest::newRow("contact deleted meanwhile") << "deleteBob"
                                                   << "IDS_LISTED_CONTACT_GONE_s.db";
        QTest::newRow("rows loaded whole without a node") << "plainWhole"
                                                          << "";
        QTest::newRow("rows without bytes loaded without a node") << "plainLight"
                                                                  << "IDS_LISTED_DATABASE_CLOSED";
    }

    void rowsThatCannotBeReadAgain()
    {
        QFETCH(QString, then);
        QFETCH(QString, error);
        fixture::Views v;
        QTemporaryDir dir;
        const QString path = dir.filePath("s.db");
        Tree::_DBItemNode *db = v.addLocalDb(path, {{"Ann", "", "", ""}, {"Bob", "", "", ""}});
        fixture::addPhoto(path, "Bob", QByteArray(500, 'b'));
        v.makeCurrent(db);
        const QList<pim::_Contact> light = v.selection.listContacts(v.selection.currentNode());
        v.selectRows(light, {0, 1});

        if (then == "removeNode") {
            v.treeModel.removeChild(&v.treeModel.rootLocalDb, 0);
        } else if (then == "swapDb") {
            db->db.reset(new LocalDb(path, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule)));
        } else if (then == "deleteBob") {
            db->db->removeContact(light[1].id);
        } else {
            v.listModel.loadContacts(then == "plainWhole" ? db->db->contacts(0, QString()) : light);
            v.list.selectAll();
        }

        QList<pim::_Contact> taken;
        const QString thrown = whatOf([&] { taken = v.selection.selectedContacts(); });
        if (error.isEmpty()) {
            QVERIFY2(thrown.isEmpty(), qPrintable(thrown));
            QCOMPARE(names(taken), QStringList({"Ann", "Bob"}));
            QCOMPARE(photoOf(taken[1]), QByteArray(500, 'b'));
        } else {
            QVERIFY2(thrown.contains(error), qPrintable(thrown));
            QVERIFY(taken.isEmpty());
        }
    }

    // The list's small photo of a row without bytes is read from the rows' node, and only while the
    // node is there.
    void smallPhotoComesFromTheListedNode()
    {
        fixture::Views v;
        QTemporaryDir dir;
        const QString path = dir.filePath("t.db");
        Tree::_DBItemNode *db = v.addLocalDb(path, {{"Ann", "", "", ""}, {"Bob", "", "", ""}});
        fixture::addPhoto(path, "Ann", tarnwick::test::imageBytes("PNG", QSize(40, 40), Qt::red));
        v.makeCurrent(db);
        v.selectRows(v.selection.listContacts(v.selection.currentNode()), {});
        const auto red = [&](int row) {
            const QImage image =
                v.listModel.data(v.listModel.index(row, 0), Qt::DecorationRole).value<QPixmap>().toImage();
            return image.width() == 18 && image.pixelColor(5, 5) == QColor(Qt::red);
        };
        QVERIFY(red(0));
        QVERIFY(!red(1));

        // Listed again, then the node goes before the row is painted.
        v.selectRows(v.selection.listContacts(v.selection.currentNode()), {});
        v.treeModel.removeChild(&v.treeModel.rootLocalDb, 0);
        QVERIFY(!red(0));
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
