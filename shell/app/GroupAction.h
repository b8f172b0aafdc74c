#pragma once

#include "ActionTarget.h"
#include "model/Contact.h"

#include <QList>
#include <QSharedPointer>
#include <functional>

class ContactSelection;
class LocalDb;
class QWidget;

// "Set Contact Group": puts the selected contacts into a group picked or typed in the group dialog,
// or takes them out of their group. On an Android phone the memberships are sent to the phone while
// the transaction is still open and committed only when the phone took them.
class GroupAction
{
public:
    // Sends the contacts' memberships to an Android phone; the mirror's transaction is open. True
    // when the phone took them (the dialog ended with 1 and no cancel).
    using AndroidSend = std::function<bool(LocalDb &mirror, const QList<pim::_Contact> &contacts)>;
    // Loads an Android phone again after a failed or cancelled send; the mirror is closed already.
    using AndroidReload = std::function<void(const QString &devId, const QSharedPointer<LocalDb> &mirror)>;

    GroupAction(ContactSelection &selection, QWidget *parent);

    void setAndroidSend(AndroidSend send) { m_androidSend = std::move(send); }
    void setAndroidReload(AndroidReload reload) { m_androidReload = std::move(reload); }

    // The selected contacts of the current node; both are taken before any dialog opens.
    void setContactsGroup();

private:
    ContactSelection &m_selection;
    QWidget *m_parent;
    AndroidSend m_androidSend;
    AndroidReload m_androidReload;
};
