#pragma once

#include "model/Contact.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QThread>

class AndroidContactsDb;
class AndroidSessionLink;
class ProgressSink;

// The write session: merges a list of contacts into a phone's mirror and sends the phone, through
// its companion app, every contact and entry the merge created or changed, in batches of 20
// contacts: first a name record for each new contact, then the other entries. The phone's answers
// give its identifiers of what it created, which go back into the mirror. Everything happens in one
// database edit; a cancel or a failure rolls it back (the phone keeps the batches it already had,
// and the caller reloads the phone).
class SyncBackupThread : public QThread
{
    Q_OBJECT
public:
    static constexpr int kBatchContacts = 20;

    SyncBackupThread(QList<pim::_Contact> contacts, AndroidContactsDb *db, int port, ProgressSink *progress);
    ~SyncBackupThread() override;

    // How long the phone may stay silent before the session gives up.
    void setIdleLimit(int ms);
    // Whether the user cancelled after contacts had begun to go to the phone: the phone may hold
    // part of them, which partlyWrittenText() tells the user.
    bool cancelledMidWrite() const { return m_cancelledMidWrite; }
    // The phone may now hold some of the contacts, some of them partly.
    static QString partlyWrittenText();

protected:
    void run() override;

private:
    using Entries = QMap<int, QList<pim::Entity>>;

    // Where the phone's identifier of a record sent under a provisional id goes in the mirror.
    struct Provisional
    {
        unsigned long long contactId;
        unsigned long long entityId;
    };

    void mergePhase();
    void startSyncService(AndroidSessionLink &link);
    void sendNameBatches(AndroidSessionLink &link);
    void sendEntryBatches(AndroidSessionLink &link);
    // Stores the ids that the answer to a batch maps for the records sent under `sent`.
    QList<unsigned long long> applyAnswer(const QString &answer, const QHash<QString, Provisional> &sent,
                                          bool namesBatch);
    void throwIfUnconfirmed() const;

    QList<pim::_Contact> contacts;
    AndroidContactsDb *db;
    int port;
    ProgressSink *progress;
    int m_idleLimitMs;

    int m_processed = 0;
    // Contacts have begun to go to the phone.
    bool m_reachedPhone = false;
    bool m_cancelledMidWrite = false;
    int m_merged = 0;
    QList<pim::_Contact> m_newContacts;
    // Mirror contact id to the phone's sync id of its name record; empty while the phone has none.
    QMap<unsigned long long, QString> m_nameIds;
    // Mirror contact id to every entry the merge wrote for it, one per row id, whichever list
    // contacts they came from.
    QMap<unsigned long long, Entries> m_written;
    // Contacts with something to send that the phone has not confirmed, by mirror contact id.
    QMap<unsigned long long, QString> m_unconfirmed;
};
