#pragma once

#include "shell/kit/AbsTreeItemModel.h"

#include <QSharedPointer>

class BackupManifest;

// The list of the backup chooser: one row per backup, newest first, in three columns (name, backup
// date, folder). Each row shares its backup object.
class ItemModelLoadBk : public AbsTreeItemModel
{
public:
    class _BKItemNode : public AbsTreeItemModel::_ItemNode
    {
    public:
        _BKItemNode(AbsTreeItemModel::_ItemNode *parent, QSharedPointer<BackupManifest> backup);
        ~_BKItemNode() override;

        QSharedPointer<BackupManifest> backup;
    };

    explicit ItemModelLoadBk(QObject *parent = nullptr);
    ~ItemModelLoadBk() override;

    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Inserts a row at its date's position (after rows of the same date) and returns its node.
    // The backup's summary must have been read.
    _BKItemNode *addBackup(QSharedPointer<BackupManifest> backup);
    // The listed backups, in row order.
    QList<QSharedPointer<BackupManifest>> backups() const;
};
