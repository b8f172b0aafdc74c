#pragma once

// The main window's two lists without the window: the tree of devices and databases and the
// contact list, each in its own view, and the selection the feature classes work from.

#include "AppFixtures.h"
#include "shell/app/ContactSelection.h"
#include "shell/app/ItemModelContacts.h"
#include "shell/app/ItemModelMainTree.h"

#include <QTreeView>

namespace fixture {

struct Views
{
    ItemModelMainTree treeModel;
    ItemModelContacts listModel;
    QTreeView tree;
    QTreeView list;
    // Every list the selection was asked to show, in order.
    QList<QList<pim::_Contact>> shown;
    ContactSelection selection{tree, treeModel, list, listModel, [this](QList<pim::_Contact> contacts) {
                                   shown << contacts;
                                   listModel.loadContacts(std::move(contacts));
                               }};

    Views()
    {
        tree.setModel(&treeModel);
        list.setModel(&listModel);
        list.setSelectionMode(QAbstractItemView::ExtendedSelection);
        list.setSelectionBehavior(QAbstractItemView::SelectRows);
    }

    // A local database node over a new file at path holding the people.
    ItemModelMainTree::_DBItemNode *addLocalDb(const QString &path, const QList<Person> &people)
    {
        makeDb(path, people);
        auto *node =
            treeModel.addLocalDb(QSharedPointer<LocalDb>(new LocalDb(
                                     path, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule))),
                                 QFileInfo(path).fileName());
        treeModel.refreshDbNodeGroups(node);
        return node;
    }

    void makeCurrent(ItemModelMainTree::_ItemNode *node)
    {
        const QModelIndex idx = node == &treeModel.rootDevice    ? treeModel.index(0, 0)
                                : node == &treeModel.rootLocalDb ? treeModel.index(1, 0)
                                                                 : treeModel.indexOfItemNode(node);
        tree.setCurrentIndex(idx);
    }

    // Lists the contacts as rows of the current node and selects the given rows, in that order.
    void selectRows(const QList<pim::_Contact> &contacts, const QList<int> &rows)
    {
        selection.showContacts(selection.currentNode(), contacts);
        list.selectionModel()->clearSelection();
        for (int row : rows)
            list.selectionModel()->select(listModel.indexOfPos(row),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
};

} // namespace fixture
