#include "Deletion.h"

#include "ActionTarget.h"
#include "model/LocalDb.h"
#include "shell/kit/ActionGuard.h"
#include "shell/kit/Tips.h"

using Tree = ItemModelMainTree;

Deletion::Deletion(ContactSelection &selection)
    : m_selection(selection)
{}

Deletion::Result Deletion::delContacts(const QList<pim::_Contact> &contacts)
{
    return ActionGuard::value(Result::Failed,
                              [&] { return delContactsFrom(m_selection.currentNode(), contacts); });
}

Deletion::Result Deletion::delContactsFrom(const ContactSelection::Node &target,
                                           const QList<pim::_Contact> &contacts)
{
    if (!target.node || !target.dbNode || !target.dbNode->db)
        return Result::NodeGone;
    Tree::_DBItemNode *node = target.dbNode;
    // The database outlives the node should a device event remove it meanwhile.
    const QSharedPointer<LocalDb> db = node->db;
    const quint64 groupId = target.groupId();

    try {
        LocalDb::EditScope edit(*db);
        for (const pim::_Contact &c : contacts)
            db->removeContact(c.id);
        edit.commit();
    } catch (const std::exception &e) {
        ActionGuard::report(e);
        return Result::Failed;
    }

    // The phone's state wins: when it did not take the deletion, it is loaded again, which replaces
    // the node and its mirror.
    if (node->devType == Tree::ANDROID && m_phoneSender) {
        const QString devId = node->devId;
        if (!m_phoneSender(contacts, *db)) {
            db->close();
            if (m_reloader)
                m_reloader(devId, db);
            return Result::NodeGone;
        }
    }

    if (!m_selection.isLive(node, db)) {
        Tips::info(tr("IDS_SUC_DEL_CONTACTS"));
        return Result::NodeGone;
    }
    // The list is reloaded only when it shows the node deleted from; another node's rows stay.
    if (m_selection.listedNode().node == target.node) {
        try {
            m_selection.showContacts(target, db->contactsWithoutPhotoBytes(groupId, QString()));
        } catch (const std::exception &e) {
            ActionGuard::report(e);
            return Result::Failed;
        }
    }
    Tips::info(tr("IDS_SUC_DEL_CONTACTS"));
    return Result::Deleted;
}

void Deletion::fileDelete()
{
    ActionGuard::run([&] { m_selection.either([this] { contactDel(); }, [this] { treeDel(); }); });
}

void Deletion::contactDel()
{
    ActionGuard::run([&] {
        // What the user confirms is what is deleted: the rows and the node they came from are taken
        // before asking, since a device event inside the question's loop may change both.
        const ContactSelection::Node cur = m_selection.listedNode();
        // An iPhone's rows are never deleted, whatever node the tree has made current.
        if (!ActionTarget(cur).isEditable())
            return;
        const QSharedPointer<LocalDb> db = cur.dbNode->db;
        const QList<pim::_Contact> contacts = m_selection.selectedContacts();
        if (!Tips::question(tr("IDS_CONFIRM_DEL_SELECTIONS")))
            return;
        if (!m_selection.isLive(cur.dbNode, db) ||
            (cur.groupNode && !m_selection.tree().contains(cur.groupNode)))
            return;
        delContactsFrom(cur, contacts);
    });
}

void Deletion::treeDel()
{
    ActionGuard::run([&] {
        const ContactSelection::Node cur = m_selection.currentNode();
        if (!cur.node || !cur.dbNode)
            return;
        Tree &tree = m_selection.tree();
        Tree::_DBItemNode *dbNode = cur.dbNode;
        const QSharedPointer<LocalDb> db = dbNode->db;

        if (cur.node->type == Tree::LOCALDB) {
            if (!Tips::question(tr("IDS_CONFIRM_DEL_LOCALDB")) || !m_selection.isLive(dbNode, db))
                return;
            if (db->removeDB()) {
                tree.removeChild(&tree.rootLocalDb, int(tree.rootLocalDb.childs.indexOf(dbNode)));
                Tips::info(tr("IDS_DELETE_LOCALDB_SUC"));
            } else {
                Tips::error(tr("IDS_DELETE_LOCALDB_ERROR"));
            }
            return;
        }

        if (cur.node->type == Tree::DEVICE) {
            if (dbNode->devType != Tree::ANDROID)
                return;
            if (!Tips::question(tr("IDS_CONFIRM_CLEAR_ANDROID_CONTACTS")) || !m_selection.isLive(dbNode, db))
                return;
            QList<pim::_Contact> all;
            if (m_selection.readNodeContacts(cur, all))
                delContactsFrom(cur, all);
            return;
        }

        if (cur.node->type == Tree::GROUP && cur.groupNode) {
            const quint64 groupId = cur.groupId();
            if (!Tips::question(tr("IDS_CONFIRM_DEL_GROUP")))
                return;
            if (!m_selection.isLive(dbNode, db) || !tree.contains(cur.groupNode))
                return;
            QList<pim::_Contact> members;
            if (!m_selection.readNodeContacts(cur, members))
                return;
            if (delContactsFrom(cur, members) == Result::NodeGone || !m_selection.isLive(dbNode, db))
                return;
            try {
                db->removeGroupOnly(groupId);
            } catch (const std::exception &e) {
                ActionGuard::report(e);
                return;
            }
            m_selection.showChangedNode(dbNode);
        }
    });
}

void Deletion::treeUnmount()
{
    ActionGuard::run([&] {
        const ContactSelection::Node cur = m_selection.currentNode();
        if (cur.dbNode)
            m_selection.tree().removeDevice(cur.dbNode->devId);
    });
}
