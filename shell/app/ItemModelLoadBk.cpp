#include "ItemModelLoadBk.h"

#include "itunesbackup/BackupManifest.h"

#include <QBrush>
#include <QColor>
#include <QLocale>
#include <QPixmap>
#include <QSize>

namespace {

const char *const g_columns[] = {"Name", "Backup Date", "Path"};
constexpr int kColumnCount = 3;

} // namespace

ItemModelLoadBk::_BKItemNode::_BKItemNode(AbsTreeItemModel::_ItemNode *parent, QSharedPointer<BackupManifest> backup)
    : AbsTreeItemModel::_ItemNode(0, backup->displayName, parent)
    , backup(std::move(backup))
{}

ItemModelLoadBk::_BKItemNode::~_BKItemNode() = default;

ItemModelLoadBk::ItemModelLoadBk(QObject *parent)
    : AbsTreeItemModel(parent)
{}

ItemModelLoadBk::~ItemModelLoadBk() = default;

int ItemModelLoadBk::columnCount(const QModelIndex &) const
{
    return kColumnCount;
}

QVariant ItemModelLoadBk::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumnCount)
        return QVariant();
    return QString::fromLatin1(g_columns[section]);
}

QVariant ItemModelLoadBk::data(const QModelIndex &index, int role) const
{
    const auto *node = static_cast<const _BKItemNode *>(nodeOf(index));
    if (!node || role > Qt::SizeHintRole)
        return QVariant();
    const BackupManifest &backup = *node->backup;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        switch (index.column()) {
        case 0:
            return backup.displayName;
        case 1:
            return QLocale::system().toString(backup.infoPlist.Date, QLocale::ShortFormat);
        case 2:
            return backup.backupDir.absolutePath();
        default:
            return QVariant();
        }
    case Qt::DecorationRole:
        if (index.column() == 0)
            return QPixmap(QStringLiteral(":res/iphone.png")).scaledToWidth(18, Qt::FastTransformation);
        return QVariant();
    case Qt::BackgroundRole:
        return QBrush(index.row() % 2 == 0 ? QColor(250, 250, 250) : QColor(255, 255, 255));
    case Qt::SizeHintRole:
        return QSize(0, 25);
    default:
        return QVariant();
    }
}

ItemModelLoadBk::_BKItemNode *ItemModelLoadBk::addBackup(QSharedPointer<BackupManifest> backup)
{
    const QDateTime date = backup->infoPlist.Date;
    int position = int(rootNodes.size());
    for (int row = 0; row < rootNodes.size(); ++row) {
        if (static_cast<const _BKItemNode *>(rootNodes.at(row))->backup->infoPlist.Date < date) {
            position = row;
            break;
        }
    }
    beginInsertRows(QModelIndex(), position, position);
    auto *node = new _BKItemNode(nullptr, std::move(backup));
    rootNodes.insert(position, node);
    endInsertRows();
    return node;
}

QList<QSharedPointer<BackupManifest>> ItemModelLoadBk::backups() const
{
    QList<QSharedPointer<BackupManifest>> list;
    for (const _ItemNode *node : rootNodes)
        list << static_cast<const _BKItemNode *>(node)->backup;
    return list;
}
