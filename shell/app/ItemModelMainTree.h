#pragma once

#include "model/Group.h"
#include "shell/kit/AbsTreeItemModel.h"

#include <QList>
#include <QSharedPointer>
#include <QString>

class LocalDb;

// The model of the main window's left-hand tree: the "Devices" and "Local Databases" roots, one
// row per phone or local database below them, and one row per contact group below each database.
// The node tree and its structural answers are the kit's tree-model base; this model adds the
// kinds of node, the icons and the operations of the window.
class ItemModelMainTree : public AbsTreeItemModel
{
    Q_OBJECT
public:
    enum NodeType { ROOT_DEVICE = 1, ROOT_LOCALDB = 2, DEVICE = 3, LOCALDB = 5, GROUP = 6 };
    enum DeviceType { IOS = 1, ANDROID = 2 };

    // Every node of this tree is one of these; the base's parent and child pointers may be cast.
    class _ItemNode : public AbsTreeItemModel::_ItemNode
    {
    public:
        // Appends itself to parent's children when parent is not null.
        _ItemNode(int type, QString name, _ItemNode *parent);
        ~_ItemNode() override;

        // The parent, or a child by row, as this tree's node.
        _ItemNode *parentNode() const { return static_cast<_ItemNode *>(parent); }
        _ItemNode *child(int row) const { return static_cast<_ItemNode *>(childs.at(row)); }

        int devType = 0;
    };

    class _DBItemNode : public _ItemNode
    {
    public:
        _DBItemNode(int type, QString name, QString devId, _ItemNode *parent, QSharedPointer<LocalDb> db);
        ~_DBItemNode() override;

        QSharedPointer<LocalDb> db;
        QString devId;
    };

    class _GroupItemNode : public _ItemNode
    {
    public:
        _GroupItemNode(int type, _ItemNode *parent, pim::_Group group);
        ~_GroupItemNode() override;

        pim::_Group group;
    };

    explicit ItemModelMainTree(QObject *parent = nullptr);
    ~ItemModelMainTree() override;

    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void removeChild(_ItemNode *parent, int row);
    void clearChilds(_ItemNode *node);
    // The current index of a node (row found among its siblings); invalid for null, for the roots
    // and for nodes that are not in the tree.
    QModelIndex indexOfItemNode(const AbsTreeItemModel::_ItemNode *node) const;
    _DBItemNode *addDevice(QSharedPointer<LocalDb> db, QString name, QString devId, int devType);
    _DBItemNode *addLocalDb(QSharedPointer<LocalDb> db, QString name);
    // Rebuilds the node's group rows from its database. A database error passes to the caller and
    // leaves the old rows in place.
    void refreshDbNodeGroups(_DBItemNode *node);
    int deviceCount(int devType) const;
    void removeDevice(QString devId);

    // True when node is one of the tree's nodes (the roots included). Lets a caller check, after a
    // nested event loop, that a node it holds was not removed meanwhile; node is never read.
    bool contains(const AbsTreeItemModel::_ItemNode *node) const;

    // Both roots are owned by the base's list of root nodes.
    _ItemNode &rootDevice;
    _ItemNode &rootLocalDb;

private:
    _ItemNode &addRoot(int type, const QString &name);
};
