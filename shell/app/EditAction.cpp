#include "EditAction.h"

#include "ItemModelContacts.h"
#include "ItemModelMainTree.h"
#include "contactui/ContactDisplayer.h"
#include "contactui/EditContactForm.h"
#include "model/EntityType.h"
#include "model/LocalDb.h"
#include "shell/kit/Tips.h"

#include <QAbstractItemView>

#include <exception>

EditAction::EditAction(ItemModelMainTree &tree, QAbstractItemView &treeView, ItemModelContacts &list,
                       QAbstractItemView &listView, ContactDisplayer &pane, QWidget *parent)
    : m_tree(tree)
    , m_treeView(treeView)
    , m_list(list)
    , m_listView(listView)
    , m_pane(pane)
    , m_parent(parent)
{}

bool EditAction::listShows(const ActionTarget &target, ItemModelMainTree::_ItemNode *current) const
{
    return target.isLive(m_tree) && m_tree.contains(current) &&
           m_treeView.currentIndex() == m_tree.indexOfItemNode(current);
}

void EditAction::apply(LocalDb &db, pim::_Contact &contact, QList<ContactChanges::_ChangeData> &changes)
{
    LocalDb::EditScope edit(db);
    if (contact.id == 0) {
        for (const ContactChanges::_ChangeData &change : changes) {
            if (change.type == pim::ENTITY_NAME && change.action == ContactChanges::ACTION_ADDED) {
                contact.fullName = change.entity.fullName();
                break;
            }
        }
        db.insertContactBase(contact);
    }
    for (ContactChanges::_ChangeData &change : changes) {
        switch (change.action) {
        case ContactChanges::ACTION_ADDED:
            db.insertEntity(contact.id, change.type, change.entity);
            break;
        case ContactChanges::ACTION_UPDATED:
            db.updateEntity(change.type, change.entity);
            if (change.type == pim::ENTITY_NAME) {
                contact.fullName = change.entity.fullName();
                db.updateContactBase(contact);
            }
            break;
        case ContactChanges::ACTION_DELETED:
            db.removeEntity(change.entity.id);
            break;
        }
    }
    edit.commit();
}

void EditAction::editContact(ItemModelMainTree::_ItemNode *current, int row)
{
    // Everything the edit needs is taken now: the dialogs below run event loops in which a device
    // event can remove the node, reload the list and free the list's entry.
    const ActionTarget target = ActionTarget::of(current);
    if (!target.isEditable())
        return;
    if (row >= m_list.contacts.size())
        return;
    const bool isNew = row < 0;
    pim::_Contact working = isNew ? pim::_Contact() : m_list.contacts.at(row);

    QList<ContactChanges::_ChangeData> changes;
    {
        EditContactForm form(&working, isNew ? target.db.data() : nullptr, nullptr);
        if (form.exec() != 1 || !target.isLive(m_tree))
            return;
        changes = form.getChanges(target.db->rule.data(), working);
    }
    if (changes.isEmpty())
        return;

    pim::_Contact stored;
    try {
        apply(*target.db, working, changes);
        if (target.isAndroid()) {
            pim::_Contact sent = target.db->contact(working.id);
            const bool accepted = m_androidSend && m_androidSend(*target.db, sent, changes);
            if (!accepted) {
                // The phone's state wins: its mirror is built again from the phone, when it is still
                // there.
                target.db->close();
                if (target.isLive(m_tree) && m_androidReload)
                    m_androidReload(target.devId, target.db);
                return;
            }
        }
        stored = target.db->contact(working.id);
    } catch (const std::exception &e) {
        Tips::error(QString::fromUtf8(e.what()));
        return;
    }

    if (!listShows(target, current))
        return;
    if (isNew) {
        m_list.insertContact(stored);
        const int last = m_list.contacts.size() - 1;
        m_listView.setCurrentIndex(m_list.indexOfPos(last));
        m_pane.showContact(&m_list.contacts[last]);
    } else if (row < m_list.contacts.size() && m_list.contacts.at(row).id == stored.id) {
        m_list.contacts[row] = stored;
        m_pane.showContact(&m_list.contacts[row]);
        const QModelIndex first = m_list.indexOfPos(row);
        emit m_list.dataChanged(first, first.siblingAtColumn(m_list.columnCount() - 1));
    }
}
