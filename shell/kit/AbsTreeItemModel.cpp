#include "AbsTreeItemModel.h"

AbsTreeItemModel::_ItemNode::_ItemNode(int type, QString name, _ItemNode *parent)
    : type(type)
    , name(std::move(name))
    , parent(parent)
{}

AbsTreeItemModel::_ItemNode::~_ItemNode()
{
    qDeleteAll(childs);
    childs.clear();
}

AbsTreeItemModel::AbsTreeItemModel(QObject *parent)
    : QAbstractItemModel(parent)
{}

AbsTreeItemModel::~AbsTreeItemModel()
{
    qDeleteAll(rootNodes);
    rootNodes.clear();
}

QList<AbsTreeItemModel::_ItemNode *> &AbsTreeItemModel::siblingsOf(const _ItemNode *parentNode)
{
    return parentNode ? const_cast<_ItemNode *>(parentNode)->childs : rootNodes;
}

const QList<AbsTreeItemModel::_ItemNode *> &AbsTreeItemModel::siblingsOf(const _ItemNode *parentNode) const
{
    return parentNode ? parentNode->childs : rootNodes;
}

AbsTreeItemModel::_ItemNode *AbsTreeItemModel::nodeOf(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this)
        return nullptr;
    return static_cast<_ItemNode *>(index.internalPointer());
}

QModelIndex AbsTreeItemModel::index(int row, int column, const QModelIndex &parent) const
{
    if (!hasIndex(row, column, parent))
        return {};
    _ItemNode *node = siblingsOf(nodeOf(parent)).at(row);
    node->index = createIndex(row, column, node);
    return node->index;
}

QModelIndex AbsTreeItemModel::parent(const QModelIndex &child) const
{
    const _ItemNode *node = nodeOf(child);
    if (!node || !node->parent)
        return {};
    return indexOfItemNode(node->parent);
}

int AbsTreeItemModel::rowCount(const QModelIndex &parent) const
{
    // Children hang under column 0 only, as views and proxies expect of a tree.
    if (parent.isValid() && parent.column() != 0)
        return 0;
    return siblingsOf(nodeOf(parent)).size();
}

bool AbsTreeItemModel::isInTree(const _ItemNode *node) const
{
    for (; node; node = node->parent) {
        if (!siblingsOf(node->parent).contains(const_cast<_ItemNode *>(node)))
            return false;
    }
    return true;
}

QModelIndex AbsTreeItemModel::indexOfItemNode(const _ItemNode *node) const
{
    if (!node)
        return {};
    const int row = siblingsOf(node->parent).indexOf(const_cast<_ItemNode *>(node));
    if (row < 0)
        return {};
    return createIndex(row, 0, const_cast<_ItemNode *>(node));
}

void AbsTreeItemModel::contentsUpdate()
{
    emit layoutAboutToBeChanged();
    emit layoutChanged();
}

void AbsTreeItemModel::invokeDataChanged(const _ItemNode *node)
{
    const QModelIndex index = indexOfItemNode(node);
    if (!index.isValid() || !isInTree(node))
        return;
    // A range must not span parents: the node's own row, then the rows of its children.
    const int lastColumn = qMax(0, columnCount(index.parent()) - 1);
    emit dataChanged(index, index.siblingAtColumn(lastColumn));
    if (!node->childs.isEmpty()) {
        const int childColumns = qMax(1, columnCount(index));
        emit dataChanged(createIndex(0, 0, node->childs.first()),
                         createIndex(node->childs.size() - 1, childColumns - 1, node->childs.last()));
    }
}

void AbsTreeItemModel::clearChilds(const _ItemNode *node)
{
    QList<_ItemNode *> &list = siblingsOf(node);
    if (list.isEmpty())
        return;
    if (node && !isInTree(node)) {
        // Not rows of this model: nothing to announce.
        const QList<_ItemNode *> doomed = list;
        list.clear();
        qDeleteAll(doomed);
        return;
    }
    beginRemoveRows(indexOfItemNode(node), 0, list.size() - 1);
    const QList<_ItemNode *> doomed = list;
    list.clear();
    qDeleteAll(doomed);
    endRemoveRows();
}

void AbsTreeItemModel::removeNode(const _ItemNode *node)
{
    if (!node)
        return;
    clearChilds(node);
    if (!isInTree(node))
        return;
    QList<_ItemNode *> &list = siblingsOf(node->parent);
    const int row = list.indexOf(const_cast<_ItemNode *>(node));
    beginRemoveRows(indexOfItemNode(node->parent), row, row);
    list.removeAt(row);
    delete node;
    endRemoveRows();
}

void AbsTreeItemModel::appendNode(QList<const _ItemNode *> &list, const _ItemNode *node) const
{
    if (!node)
        return;
    list.append(node);
    for (const _ItemNode *child : node->childs)
        appendNode(list, child);
}

QList<const AbsTreeItemModel::_ItemNode *> AbsTreeItemModel::nodes() const
{
    QList<const _ItemNode *> list;
    for (const _ItemNode *root : rootNodes)
        appendNode(list, root);
    return list;
}
