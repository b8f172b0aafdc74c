#include "shell/kit/AbsTreeItemModel.h"

#include "TestMain.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

namespace {
using Node = AbsTreeItemModel::_ItemNode;

class Model : public AbsTreeItemModel
{
public:
    int columnCount(const QModelIndex & = QModelIndex()) const override { return 3; }
    QVariant data(const QModelIndex &index, int role) const override
    {
        const Node *node = nodeOf(index);
        if (!node || role != Qt::DisplayRole)
            return {};
        return index.column() == 0 ? node->name : QString::number(index.column());
    }

    Node *add(Node *parent, const QString &name, int row = -1)
    {
        QList<Node *> &list = siblingsOf(parent);
        if (row < 0)
            row = list.size();
        beginInsertRows(indexOfItemNode(parent), row, row);
        auto *node = new Node(0, name, parent);
        list.insert(row, node);
        endInsertRows();
        return node;
    }
};

QStringList names(const QList<const Node *> &nodes)
{
    QStringList result;
    for (const Node *n : nodes)
        result << n->name;
    return result;
}
} // namespace

class TestAbsTreeItemModel : public QObject
{
    Q_OBJECT

    Model *model = nullptr;
    QAbstractItemModelTester *tester = nullptr;
    Node *P = nullptr, *Q = nullptr, *R = nullptr, *S = nullptr, *T = nullptr;

private slots:
    void init()
    {
        model = new Model;
        tester = new QAbstractItemModelTester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        P = model->add(nullptr, "P");
        Q = model->add(nullptr, "Q");
        R = model->add(P, "R");
        T = model->add(P, "T");
        S = model->add(R, "S");
    }

    void cleanup()
    {
        delete tester;
        delete model;
    }

    void preOrder()
    {
        QCOMPARE(names(model->nodes()), QStringList({"P", "R", "S", "T", "Q"}));
        QList<const Node *> list;
        model->appendNode(list, nullptr);
        QVERIFY(list.isEmpty());
    }

    void structure()
    {
        const QModelIndex p = model->index(0, 0);
        QCOMPARE(model->rowCount(), 2);
        QCOMPARE(model->rowCount(p), 2);
        QCOMPARE(model->rowCount(model->index(0, 2)), 0); // children hang under column 0 only
        QVERIFY(!model->index(2, 0).isValid());
        QVERIFY(!model->index(0, 3).isValid());
        QVERIFY(!model->index(-1, 0).isValid());
        const QModelIndex t = model->index(1, 0, p);
        QCOMPARE(model->data(t, Qt::DisplayRole).toString(), QStringLiteral("T"));
        QCOMPARE(model->parent(t), p);
        QVERIFY(!model->parent(p).isValid());
        QCOMPARE(T->index, t);
    }

    void indexOfNeverIndexedNode()
    {
        Model fresh;
        Node *a = fresh.add(nullptr, "a");
        Node *b = fresh.add(a, "b");
        const QModelIndex idx = fresh.indexOfItemNode(b);
        QCOMPARE(idx.row(), 0);
        QCOMPARE(idx.column(), 0);
        QCOMPARE(idx.internalPointer(), static_cast<void *>(b));
        QVERIFY(!fresh.indexOfItemNode(nullptr).isValid());
    }

    void parentFollowsTheCurrentRow()
    {
        // Index everything, then remove an earlier sibling: T moves from row 1 to row 0 under P,
        // and Q from row 1 to row 0 at the top.
        Node *U = model->add(T, "U");
        const QModelIndex u = model->index(0, 0, model->index(1, 0, model->index(0, 0)));
        QCOMPARE(model->parent(u).row(), 1);
        model->removeNode(R);
        QCOMPARE(model->parent(model->indexOfItemNode(U)).row(), 0);
        QCOMPARE(model->indexOfItemNode(T).row(), 0);

        model->removeNode(P);
        QCOMPARE(model->indexOfItemNode(Q).row(), 0);
        QCOMPARE(names(model->nodes()), QStringList({"Q"}));
    }

    void parentOfChildAskedInAnotherColumn()
    {
        model->index(0, 2); // P asked for in column 2
        const QModelIndex r = model->index(0, 0, model->index(0, 0));
        const QModelIndex parent = model->parent(r);
        QCOMPARE(parent.row(), 0);
        QCOMPARE(parent.column(), 0); // parents are always column 0
    }

    void removingANodeWithChildrenAnnouncesTwice()
    {
        QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
        model->removeNode(R);
        QCOMPARE(removed.count(), 2);
        QCOMPARE(removed[0][0].value<QModelIndex>().internalPointer(), static_cast<void *>(R));
        QCOMPARE(removed[1][1].toInt(), 0);
        QCOMPARE(names(model->nodes()), QStringList({"P", "T", "Q"}));
    }

    void removingANodeNotInTheTree()
    {
        Node stray(0, "stray", nullptr);
        stray.childs.append(new Node(0, "child", &stray));
        QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
        model->removeNode(&stray);
        // Its children go without an announcement (they are no rows of the model); the node stays.
        QVERIFY(stray.childs.isEmpty());
        QCOMPARE(removed.count(), 0);
        QCOMPARE(model->nodes().size(), 5);
    }

    void clearChilds()
    {
        QSignalSpy aboutToBeRemoved(model, &QAbstractItemModel::rowsAboutToBeRemoved);
        model->clearChilds(S); // no children: no announcement
        QCOMPARE(aboutToBeRemoved.count(), 0);
        model->clearChilds(nullptr);
        QCOMPARE(aboutToBeRemoved.count(), 1);
        QVERIFY(!aboutToBeRemoved[0][0].value<QModelIndex>().isValid());
        QCOMPARE(aboutToBeRemoved[0][1].toInt(), 0);
        QCOMPARE(aboutToBeRemoved[0][2].toInt(), 1);
        QCOMPARE(model->rowCount(), 0);
        QVERIFY(model->nodes().isEmpty());
    }

    void dataChangedAndLayout()
    {
        QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
        QSignalSpy layout(model, &QAbstractItemModel::layoutChanged);
        model->invokeDataChanged(P);
        model->invokeDataChanged(S);
        model->contentsUpdate();
        QCOMPARE(changed.count(), 3); // P's row, P's children, S's row
        QCOMPARE(changed[0][0].value<QModelIndex>().internalPointer(), static_cast<void *>(P));
        QCOMPARE(changed[1][0].value<QModelIndex>().internalPointer(), static_cast<void *>(R));
        QCOMPARE(changed[1][1].value<QModelIndex>().internalPointer(), static_cast<void *>(T));
        QCOMPARE(changed[2][0].value<QModelIndex>().internalPointer(), static_cast<void *>(S));
        QCOMPARE(layout.count(), 1);
    }

    void insertInTheMiddle()
    {
        model->add(P, "M", 1);
        QCOMPARE(names(model->nodes()), QStringList({"P", "R", "S", "M", "T", "Q"}));
        QCOMPARE(model->parent(model->indexOfItemNode(S)).row(), 0);
    }
};

TARNWICK_TEST_MAIN(TestAbsTreeItemModel)
#include "tst_abstreeitemmodel.moc"
