#include "ItemModelMainTree.h"

#include "model/LocalDb.h"

#include <QPixmap>

ItemModelMainTree::_ItemNode::_ItemNode(int type, QString name, _ItemNode *parent)
    : type(type)
    , name(std::move(name))
    , parent(parent)
{
    if (parent)
        parent->childs.append(this);
}

ItemModelMainTree::_ItemNode::~_ItemNode()
{
    qDeleteAll(childs);
    childs.clear();
}

ItemModelMainTree::_DBItemNode::_DBItemNode(int type, QString name, QString devId, _ItemNode *parent,
                                            QSharedPointer<LocalDb> db)
    : _ItemNode(type, std::move(name), parent)
    , db(std::move(db))
    , devId(std::move(devId))
{}

ItemModelMainTree::_DBItemNode::~_DBItemNode() = default;

ItemModelMainTree::_GroupItemNode::_GroupItemNode(int type, _ItemNode *parent, pim::_Group group)
    : _ItemNode(type, group.name, parent)
    , group(std::move(group))
{}

ItemModelMainTree::_GroupItemNode::~_GroupItemNode() = default;

ItemModelMainTree::ItemModelMainTree(QObject *parent)
    : QAbstractItemModel(parent)
    , rootDevice(ROOT_DEVICE, tr("IDS_ROOT_DEVICE"), nullptr)
    , rootLocalDb(ROOT_LOCALDB, tr("IDS_ROOT_LOCALDB"), nullptr)
{}

ItemModelMainTree::~ItemModelMainTree()
{
    // The local databases go first, then the devices, as the members would not on their own.
    qDeleteAll(rootLocalDb.childs);
    rootLocalDb.childs.clear();
    qDeleteAll(rootDevice.childs);
    rootDevice.childs.clear();
}

int ItemModelMainTree::rowOf(const _ItemNode *node) const
{
    if (!node)
        return -1;
    if (node == &rootDevice)
        return 0;
    if (node == &rootLocalDb)
        return 1;
    if (!node->parent)
        return -1;
    for (int i = 0; i < node->parent->childs.size(); ++i) {
        if (node->parent->childs.at(i) == node)
            return i;
    }
    return -1;
}

QModelIndex ItemModelMainTree::indexOf(const _ItemNode *node) const
{
    const int row = rowOf(node);
    if (row < 0)
        return {};
    QModelIndex idx = createIndex(row, 0, const_cast<_ItemNode *>(node));
    node->index = idx;
    return idx;
}

QModelIndex ItemModelMainTree::index(int row, int column, const QModelIndex &parent) const
{
    if (!hasIndex(row, column, parent))
        return {};
    _ItemNode *node = nullptr;
    if (!parent.isValid() || !parent.internalPointer()) {
        node = const_cast<_ItemNode *>(row == 0 ? &rootDevice : &rootLocalDb);
    } else {
        auto *p = static_cast<_ItemNode *>(parent.internalPointer());
        node = p->childs.at(row);
    }
    node->index = createIndex(row, column, node);
    return node->index;
}

QModelIndex ItemModelMainTree::parent(const QModelIndex &child) const
{
    if (!child.isValid() || !child.internalPointer())
        return {};
    const auto *node = static_cast<const _ItemNode *>(child.internalPointer());
    if (!node->parent)
        return {};
    // The parent's row is looked up now: a row cached before a sibling was removed would be stale.
    return indexOf(node->parent);
}

int ItemModelMainTree::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid() || !parent.internalPointer())
        return 2;
    if (parent.column() > 0)
        return 0;
    return int(static_cast<const _ItemNode *>(parent.internalPointer())->childs.size());
}

int ItemModelMainTree::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant ItemModelMainTree::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !index.internalPointer())
        return {};
    const auto *node = static_cast<const _ItemNode *>(index.internalPointer());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return node->name;
    case Qt::DecorationRole: {
        QString res;
        switch (node->type) {
        case ROOT_DEVICE:
            res = QStringLiteral(":res/icon_devices.png");
            break;
        case ROOT_LOCALDB:
            res = QStringLiteral(":res/icon_databases.png");
            break;
        case DEVICE:
            if (node->devType == IOS)
                res = QStringLiteral(":res/iphone.png");
            else if (node->devType == ANDROID)
                res = QStringLiteral(":res/icon_android.png");
            else
                return QPixmap();
            break;
        case LOCALDB:
            res = QStringLiteral(":res/icon_database.png");
            break;
        case GROUP:
            res = QStringLiteral(":res/group.png");
            break;
        default:
            return {};
        }
        QPixmap pix(res);
        if (pix.isNull())
            return pix;
        return pix.scaledToWidth(18, Qt::FastTransformation);
    }
    default:
        return {};
    }
}

QVariant ItemModelMainTree::headerData(int, Qt::Orientation, int) const
{
    return {};
}

void ItemModelMainTree::contentsUpdate()
{
    // Rows are announced as they come and go, so this only asks views to lay the tree out again.
    emit layoutAboutToBeChanged();
    emit layoutChanged();
}

void ItemModelMainTree::removeChild(_ItemNode *parent, int row)
{
    if (!parent || row < 0 || row >= parent->childs.size())
        return;
    beginRemoveRows(indexOf(parent), row, row);
    _ItemNode *child = parent->childs.takeAt(row);
    delete child;
    endRemoveRows();
}

void ItemModelMainTree::clearChilds(_ItemNode *node)
{
    if (!node || node->childs.isEmpty())
        return;
    beginRemoveRows(indexOf(node), 0, int(node->childs.size()) - 1);
    const QList<_ItemNode *> old = std::exchange(node->childs, {});
    qDeleteAll(old);
    endRemoveRows();
}

QModelIndex ItemModelMainTree::indexOfItemNode(_ItemNode *node)
{
    if (!node || !node->parent)
        return {};
    return indexOf(node);
}

ItemModelMainTree::_DBItemNode *ItemModelMainTree::addDevice(QSharedPointer<LocalDb> db, QString name,
                                                             QString devId, int devType)
{
    const int row = int(rootDevice.childs.size());
    beginInsertRows(indexOf(&rootDevice), row, row);
    auto *node = new _DBItemNode(DEVICE, std::move(name), std::move(devId), &rootDevice, std::move(db));
    node->devType = devType;
    endInsertRows();
    return node;
}

ItemModelMainTree::_DBItemNode *ItemModelMainTree::addLocalDb(QSharedPointer<LocalDb> db, QString name)
{
    const int row = int(rootLocalDb.childs.size());
    beginInsertRows(indexOf(&rootLocalDb), row, row);
    auto *node = new _DBItemNode(LOCALDB, std::move(name), QString(), &rootLocalDb, std::move(db));
    endInsertRows();
    return node;
}

void ItemModelMainTree::refreshDbNodeGroups(_DBItemNode *node)
{
    if (!node || !node->db)
        return;
    const QList<pim::_Group> groups = node->db->groups();
    clearChilds(node);
    if (!groups.isEmpty()) {
        beginInsertRows(indexOf(node), 0, int(groups.size()) - 1);
        for (const pim::_Group &g : groups)
            new _GroupItemNode(GROUP, node, g);
        endInsertRows();
    }
    contentsUpdate();
}

int ItemModelMainTree::deviceCount(int devType) const
{
    int n = 0;
    for (const _ItemNode *child : rootDevice.childs) {
        if (child->devType == devType)
            ++n;
    }
    return n;
}

void ItemModelMainTree::removeDevice(QString devId)
{
    for (int i = 0; i < rootDevice.childs.size(); ++i) {
        auto *node = dynamic_cast<_DBItemNode *>(rootDevice.childs.at(i));
        if (!node || !node->db)
            continue;
        if (node->devId == devId) {
            removeChild(&rootDevice, i);
            return;
        }
    }
}

bool ItemModelMainTree::contains(const _ItemNode *node) const
{
    if (!node)
        return false;
    if (node == &rootDevice || node == &rootLocalDb)
        return true;
    for (const _ItemNode *root : {&rootDevice, &rootLocalDb}) {
        for (const _ItemNode *db : root->childs) {
            if (db == node)
                return true;
            for (const _ItemNode *g : db->childs) {
                if (g == node)
                    return true;
            }
        }
    }
    return false;
}
