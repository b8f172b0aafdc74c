#pragma once

#include "ActionTarget.h"
#include "model/Contact.h"
#include "model/ContactChanges.h"

#include <QList>
#include <QSharedPointer>
#include <functional>

class ContactDisplayer;
class ContactSelection;
class LocalDb;
class QAbstractItemView;

// Adding a contact and editing one: the edit dialog, then the change list applied to the node's
// database in one transaction, then, on an Android phone, the same list sent to the phone, and
// finally the contact list and the pane showing the contact as stored.
class EditAction
{
public:
    // Sends a change already committed to an Android phone's mirror; `stored` is the contact as the
    // mirror now holds it. True when the phone took it (the dialog ended with 1 and no cancel).
    using AndroidSend = std::function<bool(LocalDb &mirror, pim::_Contact &stored,
                                           const QList<ContactChanges::_ChangeData> &changes)>;
    // Loads an Android phone again after a failed or cancelled send, so the phone's state wins; the
    // mirror's connection is closed already.
    using AndroidReload = std::function<void(const QString &devId, const QSharedPointer<LocalDb> &mirror)>;

    // `listView` shows the selection's contact list; `pane` the contact the list selects.
    EditAction(ContactSelection &selection, QAbstractItemView &listView, ContactDisplayer &pane);

    void setAndroidSend(AndroidSend send) { m_androidSend = std::move(send); }
    void setAndroidReload(AndroidReload reload) { m_androidReload = std::move(reload); }

    // Edits row `row` of the contact list, or adds a contact when `row` is negative, on the database
    // of the current node (a local database, an Android phone or a group of either).
    void editContact(int row);
    // A new contact (the "Add Contact" entry).
    void newContact() { editContact(-1); }
    // The list's context menu: the current row when exactly one row is selected.
    void editSelected();

private:
    // Applies the list inside one transaction; a new contact's row comes first. Added entries get
    // their row ids in the list itself.
    static void apply(LocalDb &db, pim::_Contact &contact, QList<ContactChanges::_ChangeData> &changes);
    // Whether the list still shows the node the edit started on.
    bool listShows(const ActionTarget &target) const;

    ContactSelection &m_selection;
    QAbstractItemView &m_listView;
    ContactDisplayer &m_pane;
    AndroidSend m_androidSend;
    AndroidReload m_androidReload;
};
