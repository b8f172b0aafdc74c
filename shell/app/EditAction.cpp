#include "EditAction.h"

#include "ContactSelection.h"
#include "ItemModelContacts.h"
#include "ItemModelMainTree.h"
#include "contactui/ContactDisplayer.h"
#include "contactui/EditContactForm.h"
#include "model/EntityType.h"
#include "model/LocalDb.h"
#include "shell/kit/ActionGuard.h"
#include "shell/kit/Tips.h"

#include <QAbstractItemView>

#include <exception>

EditAction::EditAction(ContactSelection &selection, QAbstractItemView &listView, ContactDisplayer &pane)
    : m_selection(selection)
    , m_listView(listView)
    , m_pane(pane)
{}

bool EditAction::listShows(const ActionTarget &target) const
{
    return target.isLive(m_selection) && m_selection.listedNode().node == target.current;
}

void EditAction::editSelected()
{
    ActionGuard::run([&] {
        if (m_selection.selectedRowCount() == 1)
            editContact(m_listView.currentIndex().row());
    });
}

void EditAction::apply(LocalDb &db, pim::_Contact &contact, QList<ContactChanges::_ChangeData> &changes)
{
    LocalDb::EditScope edit(db);
    // Every write names the contact the dialog showed: a file changed underneath since then takes
    // none of this edit.
    if (contact.id != 0)
        db.requireContact(contact.id, contact.fullName);
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
            db.updateEntity(contact.id, change.type, change.entity);
            if (change.type == pim::ENTITY_NAME) {
                contact.fullName = change.entity.fullName();
                db.updateContactBase(contact);
            }
            break;
        case ContactChanges::ACTION_DELETED:
            db.removeEntity(contact.id, change.type, change.entity.id);
            break;
        }
    }
    edit.commit();
}

void EditAction::editContact(int row)
{
    ActionGuard::run([&] {
        // Everything the edit needs is taken now: the dialogs below run event loops in which a device
        // event can remove the node, reload the list and free the list's entry.
        // A row belongs to the node the list shows; a new contact goes to the tree's current node.
        const ActionTarget target(row < 0 ? m_selection.currentNode() : m_selection.listedNode());
        ItemModelContacts &list = m_selection.list();
        if (!target.isEditable() || row >= list.contacts.size())
            return;
        const bool isNew = row < 0;
        // The editor compares with, and may replace or delete, what is stored: the row's whole
        // contact, photo bytes included, not the list's copy.
        pim::_Contact working =
            isNew ? pim::_Contact() : m_selection.complete({list.contacts.at(row)}).constFirst();

        QList<ContactChanges::_ChangeData> changes;
        {
            EditContactForm form(&working, isNew ? target.db.data() : nullptr, nullptr);
            if (form.exec() != 1 || !target.isLive(m_selection))
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
                    if (target.isLive(m_selection) && m_androidReload)
                        m_androidReload(target.devId, target.db);
                    return;
                }
            }
            stored = target.db->contact(working.id);
        } catch (const std::exception &e) {
            ActionGuard::report(e);
            return;
        }

        if (!listShows(target))
            return;
        if (isNew) {
            list.insertContact(stored);
            const int last = list.contacts.size() - 1;
            m_listView.setCurrentIndex(list.indexOfPos(last));
            m_pane.showContact(&list.contacts[last]);
        } else if (row < list.contacts.size() && list.contacts.at(row).id == stored.id) {
            list.contacts[row] = stored;
            m_pane.showContact(&list.contacts[row]);
            const QModelIndex first = list.indexOfPos(row);
            emit list.dataChanged(first, first.siblingAtColumn(list.columnCount() - 1));
        }
    });
}
