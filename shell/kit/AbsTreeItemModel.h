#pragma once

#include <QAbstractItemModel>
#include <QList>
#include <QString>

// Base of item models whose rows are polymorphic nodes owned by the model. It answers index(),
// parent() and rowCount() from the node tree and offers removal and listing; a subclass adds
// columns and data and inserts its own nodes (between its own beginInsertRows/endInsertRows).
class AbsTreeItemModel : public QAbstractItemModel
{
public:
    class _ItemNode
    {
    public:
        _ItemNode(int type, QString name, _ItemNode *parent);
        virtual ~_ItemNode();
        _ItemNode(const _ItemNode &) = delete;
        _ItemNode &operator=(const _ItemNode &) = delete;

        int type;
        QString name;
        // The index the model last created for this node. Kept for subclasses; the model itself
        // never trusts it for a row, since an earlier sibling's removal makes it stale.
        mutable QModelIndex index;
        _ItemNode *parent;         // not owned
        QList<_ItemNode *> childs; // owned
    };

    explicit AbsTreeItemModel(QObject *parent = nullptr);
    ~AbsTreeItemModel() override;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;

    // The index (current row, column 0) of a node of the tree; invalid for null or a node that is
    // not in the tree.
    QModelIndex indexOfItemNode(const _ItemNode *node) const;

    // Announces a layout change (layoutAboutToBeChanged, then layoutChanged).
    void contentsUpdate();
    // dataChanged for the node's row and, when it has any, for the rows of its children.
    void invokeDataChanged(const _ItemNode *node);
    // Removes and deletes every child of node, or every root node when node is null.
    void clearChilds(const _ItemNode *node);
    // Removes and deletes node with its subtree (children first, each removal announced). For a node
    // that is not in the tree only its children are deleted, silently.
    void removeNode(const _ItemNode *node);

    // node and then its descendants in pre-order; nothing for null.
    void appendNode(QList<const _ItemNode *> &list, const _ItemNode *node) const;
    QList<const _ItemNode *> nodes() const;

    // Whether node hangs in this model's tree (each ancestor in its parent's children or the roots).
    bool isInTree(const _ItemNode *node) const;

    // The node behind an index of this model; null for an invalid index.
    _ItemNode *nodeOf(const QModelIndex &index) const;

protected:
    // Children of node, or the root nodes for null.
    QList<_ItemNode *> &siblingsOf(const _ItemNode *parentNode);
    const QList<_ItemNode *> &siblingsOf(const _ItemNode *parentNode) const;

    QList<_ItemNode *> rootNodes;
};
