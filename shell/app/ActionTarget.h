#pragma once

#include "ContactSelection.h"
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
    explicit ActionTarget(const ContactSelection::Node &current);

    // Local databases and Android phones can be edited and grouped; iPhones cannot.
    bool isEditable() const;
    bool isAndroid() const;
    bool isLive(const ContactSelection &selection) const { return selection.isLive(node, db); }

    // The node that was current: the database node or one of its groups.
    ItemModelMainTree::_ItemNode *current = nullptr;
    ItemModelMainTree::_DBItemNode *node = nullptr;
    QSharedPointer<LocalDb> db;
    QString devId;
    int devType = 0;
};
