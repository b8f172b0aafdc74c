#pragma once

#include "ItemModelMainTree.h"

#include <QCoreApplication>

class QWidget;

// Asks which local database an operation writes into (one of the tree's or a new name) and gives
// its node, making the database when it is new. Backup and both imports take their target here.
class LocalDbPicker
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    LocalDbPicker(ItemModelMainTree &tree, QWidget *dialogParent);

    // The node of the chosen or newly made database, or null when the user cancelled or making it
    // failed (the error is shown). `created` tells whether this call made the node.
    ItemModelMainTree::_DBItemNode *pick(const QString &suggestedName, bool *created = nullptr);

private:
    ItemModelMainTree &m_tree;
    QWidget *m_dialogParent;
};
