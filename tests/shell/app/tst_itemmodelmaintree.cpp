#include "AppFixtures.h"
#include "shell/app/ItemModelMainTree.h"
#include "TestMain.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTranslator>
#include <QTreeView>

using Tree = ItemModelMainTree;

class TestItemModelMainTree : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QTranslator m_translator;

    QSharedPointer<LocalDb> db(const QString &file, const QList<fixture::Person> &people = {},
                               const QStringList &groups = {})
    {
        const QString path = m_dir.filePath(file);
        fixture::makeDb(path, people, groups);
        return QSharedPointer<LocalDb>(
            new LocalDb(path, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule)));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_translator.load(QStringLiteral(":/en.qm")));
        QCoreApplication::installTranslator(&m_translator);
    }

    void twoRootsWithoutHeader()
    {
        Tree model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("Devices"));
        QCOMPARE(model.index(1, 0).data().toString(), QStringLiteral("Local Databases"));
        QCOMPARE(model.index(1, 0).data(Qt::ToolTipRole).toString(), QStringLiteral("Local Databases"));
        QCOMPARE(model.rowCount(model.index(0, 0)), 0);
        QCOMPARE(model.columnCount(model.index(0, 0)), 1);
        QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::DisplayRole).isValid());
        QVERIFY(!model.indexOfItemNode(&model.rootDevice).isValid());
        QVERIFY(!model.indexOfItemNode(&model.rootLocalDb).isValid());
    }

    void devicesAndDatabasesAreAnnouncedAndIndexed()
    {
        Tree model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QTreeView view;
        view.setModel(&model);
        view.expandAll();
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);

        model.addDevice(db("a.db"), "a", "a.db", Tree::IOS);
        model.addDevice(db("b.db"), "b", "b.db", Tree::ANDROID);
        Tree::_DBItemNode *third = model.addDevice(db("c.db"), "c", "c.db", 7);
        Tree::_DBItemNode *local = model.addLocalDb(db("l.db"), "l.db");
        QCOMPARE(inserted.count(), 4);
        QCOMPARE(model.rowCount(model.index(0, 0)), 3);

        const QModelIndex idx = model.indexOfItemNode(third);
        QCOMPARE(idx.row(), 2);
        QCOMPARE(idx.column(), 0);
        QCOMPARE(idx.data().toString(), QStringLiteral("c"));
        QVERIFY(idx.data(Qt::DecorationRole).value<QPixmap>().isNull());
        QCOMPARE(model.indexOfItemNode(local).parent().row(), 1);
        QCOMPARE(local->devId, QString());
        QCOMPARE(local->devType, 0);

        QCOMPARE(model.deviceCount(Tree::ANDROID), 1);
        QCOMPARE(model.deviceCount(Tree::IOS), 1);
    }

    // A group's parent index must name the database's current row, also after an earlier sibling
    // went away; a row remembered from before would point at the wrong database.
    void parentRowFollowsRemovals()
    {
        Tree model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QTreeView view;
        view.setModel(&model);
        model.addDevice(db("a.db"), "a", "a.db", Tree::IOS);
        Tree::_DBItemNode *b =
            model.addDevice(db("b.db", {{"Ann", "", "", "Friends"}}), "b", "b.db", Tree::IOS);
        model.refreshDbNodeGroups(b);
        view.expandAll();
        const QModelIndex group = model.index(0, 0, model.indexOfItemNode(b));
        QCOMPARE(group.parent().row(), 1);

        model.removeDevice("a.db");
        const QModelIndex again = model.index(0, 0, model.indexOfItemNode(b));
        QCOMPARE(again.data().toString(), QStringLiteral("Friends"));
        QCOMPARE(again.parent().row(), 0);
        QCOMPARE(model.parent(again).data().toString(), QStringLiteral("b"));
    }

    void removeDeviceTakesFirstMatchOnly()
    {
        Tree model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        Tree::_DBItemNode *first = model.addDevice(db("x1.db"), "one", "same", Tree::ANDROID);
        Tree::_DBItemNode *second = model.addDevice(db("x2.db"), "two", "same", Tree::ANDROID);
        Q_UNUSED(first);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        model.removeDevice("SAME");
        QCOMPARE(removed.count(), 0);
        model.removeDevice("same");
        QCOMPARE(model.rootDevice.childs.size(), 1);
        QCOMPARE(model.rootDevice.childs.first(), second);
        model.removeDevice("same");
        QCOMPARE(model.rootDevice.childs.size(), 0);
        QCOMPARE(removed.count(), 2);
    }

    void removeChildOutOfRangeIsIgnored()
    {
        Tree model;
        model.addLocalDb(db("l.db"), "l.db");
        QSignalSpy aboutToRemove(&model, &QAbstractItemModel::rowsAboutToBeRemoved);
        model.removeChild(&model.rootLocalDb, -1);
        model.removeChild(&model.rootLocalDb, 1);
        model.clearChilds(&model.rootDevice);
        QCOMPARE(aboutToRemove.count(), 0);
        QCOMPARE(model.rootLocalDb.childs.size(), 1);
    }

    void refreshGroupsReplacesRows()
    {
        Tree model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QTreeView view;
        view.setModel(&model);
        Tree::_DBItemNode *node = model.addLocalDb(db("g.db", {}, {"Zoo", "apple"}), "g.db");
        model.refreshDbNodeGroups(node);
        QCOMPARE(node->childs.size(), 2);
        auto *g0 = static_cast<Tree::_GroupItemNode *>(node->childs.at(0));
        QCOMPARE(g0->type, int(Tree::GROUP));
        QCOMPARE(g0->name, QStringLiteral("Zoo")); // the database's order: by name, case-sensitive
        QCOMPARE(node->childs.at(1)->name, QStringLiteral("apple"));
        QVERIFY(g0->group.id != 0);

        QSignalSpy layout(&model, &QAbstractItemModel::layoutChanged);
        model.refreshDbNodeGroups(node);
        QCOMPARE(node->childs.size(), 2);
        QCOMPARE(layout.count(), 1);
        view.expandAll();
        QCOMPARE(model.rowCount(model.indexOfItemNode(node)), 2);
    }

    void refreshGroupsKeepsRowsWhenTheDatabaseFails()
    {
        Tree model;
        const QString path = m_dir.filePath("gone.db");
        QSharedPointer<LocalDb> gone = db("gone.db", {{"Ann", "", "", "Team"}});
        Tree::_DBItemNode *node = model.addLocalDb(gone, "gone.db");
        model.refreshDbNodeGroups(node);
        QCOMPARE(node->childs.size(), 1);
        gone->close();
        QVERIFY(QFile::remove(path));
        QVERIFY_THROWS_EXCEPTION(std::exception, model.refreshDbNodeGroups(node));
        QCOMPARE(node->childs.size(), 1);
        QCOMPARE(node->childs.first()->name, QStringLiteral("Team"));
    }

    void removingTheLastReferenceDestroysTheDatabase()
    {
        Tree model;
        QSharedPointer<LocalDb> kept = db("k.db");
        QWeakPointer<LocalDb> watch = kept;
        model.addLocalDb(kept, "k.db");
        model.removeChild(&model.rootLocalDb, 0);
        QVERIFY(!watch.isNull());
        model.addLocalDb(kept, "k.db");
        kept.reset();
        model.removeChild(&model.rootLocalDb, 0);
        QVERIFY(watch.isNull());
    }

    void icons()
    {
        Tree model;
        model.addDevice(db("i.db"), "i", "i.db", Tree::IOS);
        const QModelIndex root = model.index(0, 0);
        const QPixmap rootIcon = root.data(Qt::DecorationRole).value<QPixmap>();
        const QPixmap phone = model.index(0, 0, root).data(Qt::DecorationRole).value<QPixmap>();
        // The pictures come from the resources; where a picture exists it is shown 18 pixels wide.
        for (const QPixmap &p : {rootIcon, phone}) {
            if (!p.isNull())
                QCOMPARE(p.width(), 18);
        }
        QVERIFY(!root.data(Qt::FontRole).isValid());
    }
};

TARNWICK_TEST_MAIN(TestItemModelMainTree)
#include "tst_itemmodelmaintree.moc"
