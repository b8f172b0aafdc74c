#pragma once

#include "model/Group.h"

#include <QAbstractItemModel>
#include <QList>
#include <QSharedPointer>
#include <QString>

class LocalDb;

// The model of the main window's left-hand tree: the "Devices" and "Local Databases" roots, one
// row per phone or local database below them, and one row per contact group below each database.
class ItemModelMainTree : public QAbstractItemModel
{
    Q_OBJECT
public:
    enum NodeType { ROOT_DEVICE = 1, ROOT_LOCALDB = 2, DEVICE = 3, LOCALDB = 5, GROUP = 6 };
    enum DeviceType { IOS = 1, ANDROID = 2 };

    class _ItemNode
    {
    public:
        // Appends itself to parent's children when parent is not null.
        _ItemNode(int type, QString name, _ItemNode *parent);
        virtual ~_ItemNode();

        _ItemNode(const _ItemNode &) = delete;
        _ItemNode &operator=(const _ItemNode &) = delete;

        int type;
        int devType = 0;
        QString name;
        // The last index the model made for this node; only a hint, never trusted for the row.
        mutable QModelIndex index;
        _ItemNode *parent;
        QList<_ItemNode *> childs;
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

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void contentsUpdate();
    void removeChild(_ItemNode *parent, int row);
    void clearChilds(_ItemNode *node);
    // The current index of a node (row found among its siblings); invalid for null and for nodes
    // that are not in the tree.
    QModelIndex indexOfItemNode(_ItemNode *node);
    _DBItemNode *addDevice(QSharedPointer<LocalDb> db, QString name, QString devId, int devType);
    _DBItemNode *addLocalDb(QSharedPointer<LocalDb> db, QString name);
    // Rebuilds the node's group rows from its database. A database error passes to the caller and
    // leaves the old rows in place.
    void refreshDbNodeGroups(_DBItemNode *node);
    int deviceCount(int devType) const;
    void removeDevice(QString devId);

    // True when node is one of the tree's nodes (the roots included). Lets a caller check, after a
    // nested event loop, that a node it holds was not removed meanwhile.
    bool contains(const _ItemNode *node) const;

    _ItemNode rootDevice;
    _ItemNode rootLocalDb;

private:
    QModelIndex indexOf(const _ItemNode *node) const;
    // Position of node among its siblings (the roots count as rows 0 and 1); -1 when absent.
    int rowOf(const _ItemNode *node) const;
};
