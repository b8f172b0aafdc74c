#include "ItemModelMainTree.h"

#include "model/LocalDb.h"

#include <QPixmap>

ItemModelMainTree::_ItemNode::_ItemNode(int type, QString name, _ItemNode *parent)
    : AbsTreeItemModel::_ItemNode(type, std::move(name), parent)
{
    if (parent)
        parent->childs.append(this);
}

ItemModelMainTree::_ItemNode::~_ItemNode() = default;

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
    : AbsTreeItemModel(parent)
    , rootDevice(addRoot(ROOT_DEVICE, tr("IDS_ROOT_DEVICE")))
    , rootLocalDb(addRoot(ROOT_LOCALDB, tr("IDS_ROOT_LOCALDB")))
{}

ItemModelMainTree::~ItemModelMainTree()
{
    // The local databases go first, then the devices, as the base's list would not on its own.
    qDeleteAll(rootLocalDb.childs);
    rootLocalDb.childs.clear();
}

ItemModelMainTree::_ItemNode &ItemModelMainTree::addRoot(int type, const QString &name)
{
    auto *root = new _ItemNode(type, name, nullptr);
    rootNodes.append(root);
    return *root;
}

int ItemModelMainTree::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant ItemModelMainTree::data(const QModelIndex &index, int role) const
{
    const auto *node = static_cast<const _ItemNode *>(nodeOf(index));
    if (!node)
        return {};
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

void ItemModelMainTree::removeChild(_ItemNode *parent, int row)
{
    if (!parent || row < 0 || row >= parent->childs.size())
        return;
    beginRemoveRows(AbsTreeItemModel::indexOfItemNode(parent), row, row);
    delete parent->childs.takeAt(row);
    endRemoveRows();
}

void ItemModelMainTree::clearChilds(_ItemNode *node)
{
    // The base reads null as "the roots", which this tree never clears.
    if (node)
        AbsTreeItemModel::clearChilds(node);
}

QModelIndex ItemModelMainTree::indexOfItemNode(const AbsTreeItemModel::_ItemNode *node) const
{
    if (!node || !node->parent)
        return {};
    return AbsTreeItemModel::indexOfItemNode(node);
}

ItemModelMainTree::_DBItemNode *ItemModelMainTree::addDevice(QSharedPointer<LocalDb> db, QString name,
                                                             QString devId, int devType)
{
    const int row = int(rootDevice.childs.size());
    beginInsertRows(AbsTreeItemModel::indexOfItemNode(&rootDevice), row, row);
    auto *node = new _DBItemNode(DEVICE, std::move(name), std::move(devId), &rootDevice, std::move(db));
    node->devType = devType;
    endInsertRows();
    return node;
}

ItemModelMainTree::_DBItemNode *ItemModelMainTree::addLocalDb(QSharedPointer<LocalDb> db, QString name)
{
    const int row = int(rootLocalDb.childs.size());
    beginInsertRows(AbsTreeItemModel::indexOfItemNode(&rootLocalDb), row, row);
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
        beginInsertRows(indexOfItemNode(node), 0, int(groups.size()) - 1);
        for (const pim::_Group &g : groups)
            new _GroupItemNode(GROUP, node, g);
        endInsertRows();
    }
    contentsUpdate();
}

int ItemModelMainTree::deviceCount(int devType) const
{
    int n = 0;
    for (int i = 0; i < rootDevice.childs.size(); ++i) {
        if (rootDevice.child(i)->devType == devType)
            ++n;
    }
    return n;
}

void ItemModelMainTree::removeDevice(QString devId)
{
    for (int i = 0; i < rootDevice.childs.size(); ++i) {
        const auto *node = dynamic_cast<const _DBItemNode *>(rootDevice.childs.at(i));
        if (node && node->db && node->devId == devId) {
            removeChild(&rootDevice, i);
            return;
        }
    }
}

bool ItemModelMainTree::contains(const AbsTreeItemModel::_ItemNode *node) const
{
    // The node may have been deleted meanwhile: it is compared, never read.
    return node && nodes().contains(node);
}
