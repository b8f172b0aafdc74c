#pragma once

#include "model/Contact.h"
#include "model/ContactChanges.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QThread>

class AndroidContactsDb;
class AndroidSessionLink;
class ProgressSink;

// Sends one change the user made on the desktop to an Android phone through its companion app, after
// the caller has applied it to the phone's mirror: the edits of one contact (mode 0), the deletion of
// contacts (mode 1) or their group membership (mode 2). The phone's identifiers of what it creates
// go back into the mirror. Exactly one init operation is called before start().
class AndroidSendChangesThread : public QThread
{
    Q_OBJECT
public:
    AndroidSendChangesThread(ProgressSink *progress, AndroidContactsDb *db, int port,
                             QObject *parent = nullptr);
    ~AndroidSendChangesThread() override;

    // Mode 0: `contact` is the edited contact as the mirror now holds it; the caller keeps it alive
    // until the thread has ended. Added entries carry the row ids their insertion gave them.
    void initEditContact(pim::_Contact *contact, const QList<ContactChanges::_ChangeData> &changes);
    // Mode 1: the contacts as they were before the caller removed them from the mirror.
    void initDelContacts(const QList<pim::_Contact> &contacts);
    // Mode 2: each contact with its new membership (none, or the one group entry the mirror now holds).
    void initContactsSetGroup(const QList<pim::_Contact> &contacts);

    // How long the phone may stay silent before the session gives up.
    void setIdleLimit(int ms);

protected:
    void run() override;

private:
    void submitEditContact(AndroidSessionLink &link);
    void submitDelContacts(AndroidSessionLink &link);
    void submitContactsSetGroup(AndroidSessionLink &link);
    // Reads the answer to a batch and stores the phone's ids of the entries sent under `sent`
    // (provisional id to mirror row id).
    // A mirror row sent as provisional: its contact and its own row id.
    struct SentRow
    {
        unsigned long long contactId = 0;
        unsigned long long entryId = 0;
    };
    void applyAnswer(AndroidSessionLink &link, const QHash<QString, SentRow> &sent);

    int mode = -1;
    AndroidContactsDb *db;
    pim::_Contact *contact = nullptr;
    QList<ContactChanges::_ChangeData> changes;
    QList<pim::_Contact> contacts;
    ProgressSink *progress;
    int port;
    int m_idleLimitMs;
};
