#pragma once

#include "ActionFacts.h"
#include "ItemModelMainTree.h"
#include "model/Contact.h"

#include <QCoreApplication>
#include <QList>
#include <QMetaObject>
#include <QSharedPointer>

#include <functional>

class ItemModelContacts;
class QAbstractItemView;
class QTreeView;

// What the user has chosen in the main window: the current node of the tree of devices and
// databases, and the selected rows of the contact list. Every action that works on "the selected
// contacts, else the whole node" asks this class.
class ContactSelection
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    // The tree node an action works on.
    struct Node
    {
        ItemModelMainTree::_ItemNode *node = nullptr;
        // The device or local-database node; for a group, its parent.
        ItemModelMainTree::_DBItemNode *dbNode = nullptr;
        ItemModelMainTree::_GroupItemNode *groupNode = nullptr;

        // The group filter of the node's contacts: the group's id, 0 for the whole database.
        quint64 groupId() const;
    };

    // How the window lists contacts (the list, its total and the contact pane).
    using ShowContacts = std::function<void(QList<pim::_Contact>)>;

    ContactSelection(QTreeView &tree, ItemModelMainTree &treeModel, QAbstractItemView &list,
                     ItemModelContacts &listModel, ShowContacts show);
    ~ContactSelection();
    ContactSelection(const ContactSelection &) = delete;
    ContactSelection &operator=(const ContactSelection &) = delete;

    Node currentNode() const;
    // The node whose contacts the list shows; empty while the list shows no node's contacts or that
    // node has left the tree. Every action on selected rows works on this node, never on the tree's
    // current one: the two differ when a node could not be read or a device event moved the tree.
    Node listedNode() const;
    // The contacts of the selected rows as complete(): what every action on rows works on.
    QList<pim::_Contact> selectedContacts() const;
    // The listed contacts as their node stores them now, with every entry and the photos' bytes, in
    // the same order (the list holds photos without their bytes). Rows loaded without a node are
    // taken as they are. Throws, and nothing should be done, when the rows' node has left the tree
    // or no longer stores one of them.
    QList<pim::_Contact> complete(const QList<pim::_Contact> &listed) const;
    int selectedRowCount() const;
    bool hasSelectedRows() const { return selectedRowCount() > 0; }
    // Every contact of the node (the group's members for a group); empty without a database node.
    QList<pim::_Contact> nodeContacts(const Node &node) const;
    // The contacts of the node matching the keyword (all for none) for the list to show: their
    // photos without the bytes, which complete() reads when an action needs them.
    QList<pim::_Contact> listContacts(const Node &node, const QString &keyword = QString()) const;
    // The same for an action: false, after the database's error was shown, when they cannot be read.
    bool readNodeContacts(const Node &node, QList<pim::_Contact> &contacts) const;

    // Runs onRows when contact rows are selected, else onNode: the menus' and the tool bar's
    // reading of "the contacts the action works on".
    void either(const std::function<void()> &onRows, const std::function<void()> &onNode) const;

    // The facts that decide which actions are offered and enabled: of the current node, or of the
    // node whose rows the list shows (the contact list's own menu).
    ActionFacts facts() const { return factsOf(currentNode()); }
    ActionFacts listFacts() const { return factsOf(listedNode()); }

    // Expands the node and makes it current (which lists its contacts).
    void selectNode(ItemModelMainTree::_ItemNode *node);
    // After a change to the node's database: rebuilds its group rows, makes it current and lists
    // its contacts anew, also when it was current already. A database error is shown; the change
    // itself is done by then.
    void showChangedNode(ItemModelMainTree::_DBItemNode *node);
    // After a worker wrote into a local database node, `written` when it succeeded: a database whose
    // file is no longer at its path leaves the tree, else a written one is shown as changed.
    void showWrittenNode(ItemModelMainTree::_DBItemNode *node, bool written);
    // How the window lists the current node's contacts (its keyword field and actions included);
    // without one, the contacts are listed here.
    void setRelist(std::function<void()> relist) { m_relist = std::move(relist); }
    // Lists contacts of `source` in place of what the list shows; the rows and their node go
    // together. A list loaded any other way has no node.
    void showContacts(const Node &source, QList<pim::_Contact> contacts);

    ItemModelMainTree &tree() const { return m_treeModel; }
    ItemModelContacts &list() const { return m_listModel; }
    // True while the node is in the tree and still holds the database: an action that waited in a
    // nested event loop checks this before it touches the node again.
    bool isLive(const ItemModelMainTree::_DBItemNode *node, const QSharedPointer<LocalDb> &db) const;

private:
    ActionFacts factsOf(const Node &node) const;

    QTreeView &m_tree;
    ItemModelMainTree &m_treeModel;
    QAbstractItemView &m_list;
    ItemModelContacts &m_listModel;
    ShowContacts m_show;
    Node m_listed;
    QSharedPointer<LocalDb> m_listedDb;
    // The node of the rows showContacts() is loading, until they are shown.
    Node m_incoming;
    QMetaObject::Connection m_listReset;
    std::function<void()> m_relist;
    // Lists shown through showContacts(), so that showChangedNode() knows whether choosing the node
    // listed it.
    unsigned long long m_listings = 0;
};
