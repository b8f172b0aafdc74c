#pragma once

#include "ItemModelMainTree.h"

#include <QSharedPointer>
#include <QString>

class LocalDb;

// The database node an action works on, taken before any dialog opens: the node itself, its own
// reference to the database, and copies of the device identifier and kind. Dialogs and progress
// loops deliver device events that may remove or replace the node; the action keeps using the
// database it took and asks isLive() before it writes through the node or refreshes it.
struct ActionTarget
{
    // The device or local-database node of `current`, or of the group `current` is; empty for every
    // other node and for null.
    static ActionTarget of(ItemModelMainTree::_ItemNode *current);

    bool isValid() const { return node != nullptr; }
    // Local databases and Android phones can be edited and grouped; iPhones cannot.
    bool isEditable() const;
    bool isAndroid() const;
    // Whether the node is still in the tree and still stands for the database taken.
    bool isLive(const ItemModelMainTree &tree) const;

    ItemModelMainTree::_DBItemNode *node = nullptr;
    QSharedPointer<LocalDb> db;
    QString devId;
    int devType = 0;
};
