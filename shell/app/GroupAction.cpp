#include "GroupAction.h"

#include "ContactSelection.h"
#include "contactui/GroupForm.h"
#include "model/EntityType.h"
#include "model/LocalDb.h"
#include "shell/kit/ActionGuard.h"
#include "shell/kit/Tips.h"

#include <QCoreApplication>

#include <exception>

GroupAction::GroupAction(ContactSelection &selection, QWidget *parent)
    : m_selection(selection)
    , m_parent(parent)
{}

void GroupAction::setContactsGroup()
{
    ActionGuard::run([&] {
        // The rows' own node: the tree's current node may be another one.
        const ActionTarget target(m_selection.listedNode());
        if (!target.isEditable())
            return;
        QList<pim::_Contact> selected = m_selection.selectedContacts();

        quint64 groupId = 0;
        QString groupName;
        {
            GroupForm form(target.db.data(), m_parent);
            if (form.exec() != 1 || !target.isLive(m_selection))
                return;
            groupId = form.groupId;
            groupName = form.groupName;
        }

        try {
            LocalDb::EditScope edit(*target.db);
            if (groupId == 0 && !groupName.isEmpty())
                groupId = target.db->getGroupIdOrAdd(groupName);
            for (pim::_Contact &contact : selected) {
                QList<pim::Entity> &memberships = contact.entities[pim::ENTITY_GROUP];
                memberships.clear();
                if (groupId == 0)
                    target.db->ungroup(contact.id);
                else
                    memberships.append(target.db->setGroup(contact.id, groupId, groupName));
            }
            if (target.isAndroid()) {
                const bool accepted = m_androidSend && m_androidSend(*target.db, selected);
                if (!accepted) {
                    // Nothing of this change is kept; the phone's state is loaded again.
                    edit.rollback();
                    target.db->close();
                    if (target.isLive(m_selection) && m_androidReload)
                        m_androidReload(target.devId, target.db);
                    return;
                }
            }
            edit.commit();
            if (target.isLive(m_selection))
                m_selection.showChangedNode(target.node);
        } catch (const std::exception &e) {
            ActionGuard::report(e);
            return;
        }
        Tips::info(QCoreApplication::translate("MainWindow", "IDS_UPDATE_GROUP_SUC"));
    });
}
