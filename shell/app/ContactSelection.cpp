#include "ContactSelection.h"

#include "ItemModelContacts.h"
#include "model/LocalDb.h"
#include "model/UnloadedPhoto.h"
#include "shell/kit/ActionGuard.h"
#include "shell/kit/Tips.h"

#include <QFileInfo>
#include <QItemSelectionModel>
#include <QScopeGuard>
#include <QTreeView>

#include <algorithm>
#include <stdexcept>

using Tree = ItemModelMainTree;

quint64 ContactSelection::Node::groupId() const
{
    return groupNode ? groupNode->group.id : 0;
}

ContactSelection::ContactSelection(QTreeView &tree, ItemModelMainTree &treeModel, QAbstractItemView &list,
                                   ItemModelContacts &listModel, ShowContacts show)
    : m_tree(tree)
    , m_treeModel(treeModel)
    , m_list(list)
    , m_listModel(listModel)
    , m_show(std::move(show))
{
    // Whatever replaces the rows drops their node; rows that showContacts() loads get theirs at once:
    // showing them selects a row, whose contact the pane reads from that node.
    m_listReset = QObject::connect(&m_listModel, &QAbstractItemModel::modelReset, [this] {
        m_listed = m_incoming;
        m_listedDb = m_incoming.dbNode ? m_incoming.dbNode->db : QSharedPointer<LocalDb>();
    });
    // The list's small photos come from the rows' node while it is there.
    m_listModel.setPhotoReader([this](const pim::Entity &photo) {
        return listedNode().dbNode ? m_listedDb->photoBytes(photo.id) : QByteArray();
    });
}

ContactSelection::~ContactSelection()
{
    QObject::disconnect(m_listReset);
    m_listModel.setPhotoReader({});
}

ContactSelection::Node ContactSelection::currentNode() const
{
    Node cur;
    const QModelIndex idx = m_tree.currentIndex();
    if (!idx.isValid() || idx.model() != &m_treeModel || !idx.internalPointer())
        return cur;
    cur.node = static_cast<Tree::_ItemNode *>(idx.internalPointer());
    switch (cur.node->type) {
    case Tree::DEVICE:
    case Tree::LOCALDB:
        cur.dbNode = static_cast<Tree::_DBItemNode *>(cur.node);
        break;
    case Tree::GROUP:
        cur.groupNode = static_cast<Tree::_GroupItemNode *>(cur.node);
        if (cur.node->parent &&
            (cur.node->parent->type == Tree::DEVICE || cur.node->parent->type == Tree::LOCALDB))
            cur.dbNode = static_cast<Tree::_DBItemNode *>(cur.node->parent);
        break;
    default:
        break;
    }
    return cur;
}

ContactSelection::Node ContactSelection::listedNode() const
{
    if (!isLive(m_listed.dbNode, m_listedDb) ||
        (m_listed.groupNode && !m_treeModel.contains(m_listed.groupNode)))
        return Node();
    return m_listed;
}

QList<pim::_Contact> ContactSelection::selectedContacts() const
{
    QList<pim::_Contact> list;
    const QItemSelectionModel *sel = m_list.selectionModel();
    if (!sel)
        return list;
    for (const QModelIndex &row : sel->selectedRows(0)) {
        if (const pim::_Contact *c = m_listModel.contactOf(row))
            list.append(*c);
    }
    return complete(list);
}

QList<pim::_Contact> ContactSelection::complete(const QList<pim::_Contact> &listed) const
{
    if (listed.isEmpty())
        return listed;
    const Node node = listedNode();
    if (!node.dbNode) {
        // Rows that came with no node were loaded whole; rows whose node left have nowhere to be
        // read from, and a copy that lacks its photo must never reach a file or a phone.
        const bool whole = !m_listed.dbNode && std::none_of(listed.begin(), listed.end(), [](const auto &c) {
            return pim::UnloadedPhoto::isIn(c);
        });
        if (whole)
            return listed;
        throw std::runtime_error(tr("IDS_LISTED_DATABASE_CLOSED").toStdString());
    }
    QList<unsigned long long> ids;
    ids.reserve(listed.size());
    for (const pim::_Contact &c : listed)
        ids.append(c.id);
    QList<pim::_Contact> stored = m_listedDb->contactsOf(ids);
    if (stored.size() != listed.size())
        throw std::runtime_error(tr("IDS_LISTED_CONTACT_GONE_%1").arg(node.dbNode->name).toStdString());
    return stored;
}

int ContactSelection::selectedRowCount() const
{
    const QItemSelectionModel *sel = m_list.selectionModel();
    return sel ? int(sel->selectedRows(0).size()) : 0;
}

QList<pim::_Contact> ContactSelection::nodeContacts(const Node &node) const
{
    if (!node.dbNode || !node.dbNode->db)
        return {};
    return node.dbNode->db->contacts(node.groupId(), QString());
}

QList<pim::_Contact> ContactSelection::listContacts(const Node &node, const QString &keyword) const
{
    if (!node.dbNode || !node.dbNode->db)
        return {};
    return node.dbNode->db->contactsWithoutPhotoBytes(node.groupId(), keyword);
}

bool ContactSelection::readNodeContacts(const Node &node, QList<pim::_Contact> &contacts) const
{
    try {
        contacts = nodeContacts(node);
        return true;
    } catch (const std::exception &e) {
        ActionGuard::report(e);
        return false;
    }
}

void ContactSelection::showChangedNode(ItemModelMainTree::_DBItemNode *node)
{
    try {
        m_treeModel.refreshDbNodeGroups(node);
        const unsigned long long before = m_listings;
        selectNode(node);
        // Making current the node that is current already changes no selection, and lists nothing.
        if (m_listings != before || currentNode().node != node)
            return;
        if (m_relist)
            m_relist();
        else
            showContacts(currentNode(), listContacts(currentNode()));
    } catch (const std::exception &e) {
        ActionGuard::report(e);
    }
}

void ContactSelection::showWrittenNode(ItemModelMainTree::_DBItemNode *node, bool written)
{
    if (node->type == Tree::LOCALDB && node->db && !QFileInfo::exists(node->db->path)) {
        // Its rows went with the file; listing them from a connection still open on it would show
        // contacts that are gone.
        node->db->close();
        m_treeModel.removeChild(&m_treeModel.rootLocalDb, int(m_treeModel.rootLocalDb.childs.indexOf(node)));
        return;
    }
    if (written)
        showChangedNode(node);
}

void ContactSelection::either(const std::function<void()> &onRows, const std::function<void()> &onNode) const
{
    if (hasSelectedRows())
        onRows();
    else
        onNode();
}

ActionFacts ContactSelection::factsOf(const Node &cur) const
{
    ActionFacts f;
    f.androids = m_treeModel.deviceCount(Tree::ANDROID);
    f.selectedRows = selectedRowCount();
    f.group = cur.groupNode != nullptr;
    if (!cur.node)
        f.node = ActionFacts::Node::None;
    else if (cur.node->type == Tree::ROOT_DEVICE)
        f.node = ActionFacts::Node::DevicesRoot;
    else if (cur.node->type == Tree::ROOT_LOCALDB)
        f.node = ActionFacts::Node::LocalDbsRoot;
    else if (!cur.dbNode)
        f.node = ActionFacts::Node::None;
    else if (cur.dbNode->type == Tree::LOCALDB)
        f.node = ActionFacts::Node::LocalDb;
    else if (cur.dbNode->devType == Tree::IOS)
        f.node = ActionFacts::Node::Ios;
    else if (cur.dbNode->devType == Tree::ANDROID)
        f.node = ActionFacts::Node::Android;
    else
        f.node = ActionFacts::Node::OtherDevice;
    return f;
}

void ContactSelection::selectNode(ItemModelMainTree::_ItemNode *node)
{
    const QModelIndex idx = m_treeModel.indexOfItemNode(node);
    m_tree.expand(idx);
    m_tree.setCurrentIndex(idx);
}

bool ContactSelection::isLive(const ItemModelMainTree::_DBItemNode *node,
                              const QSharedPointer<LocalDb> &db) const
{
    return node && m_treeModel.contains(node) && node->db == db;
}

void ContactSelection::showContacts(const Node &source, QList<pim::_Contact> contacts)
{
    ++m_listings;
    m_incoming = source.dbNode ? source : Node();
    const auto incomingDone = qScopeGuard([this] { m_incoming = Node(); });
    if (m_show)
        m_show(std::move(contacts));
    else
        m_listModel.loadContacts(std::move(contacts));
    if (source.dbNode) {
        m_listed = source;
        m_listedDb = source.dbNode->db;
    }
}
