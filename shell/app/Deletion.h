#pragma once

#include "ContactSelection.h"

#include <QCoreApplication>

// Deleting from the main window: the selected contacts, everything a tree node stands for (a
// local database file, a group with its members, every contact of an Android phone), and
// dropping a device node from the tree.
class Deletion
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    // What became of a deletion: done, refused by the database (nothing deleted), or the node went
    // away meanwhile so that the caller must not touch it any more.
    enum class Result { Deleted, Failed, NodeGone };

    explicit Deletion(ContactSelection &selection);

    // Deletes the contacts from the database of the current node and lists what is left.
    Result delContacts(const QList<pim::_Contact> &contacts);
    // The File menu: the selected contacts, else what the current node stands for.
    void fileDelete();
    void contactDel();
    void treeDel();
    void treeUnmount();

private:
    Result delContactsFrom(const ContactSelection::Node &target, const QList<pim::_Contact> &contacts);

    ContactSelection &m_selection;
};
