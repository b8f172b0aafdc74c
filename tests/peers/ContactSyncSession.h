#pragma once

#include "PeerService.h"
#include "SimulatedContactSync.h"

#include <QSet>

#include <functional>
#include <memory>

namespace tarnwick::peers {

// One connection to a simulated phone's contact-sync service, answering as the phone's script says
// (see SimulatedContactSync for the conversation).
class ContactSyncSession : public PeerService
{
public:
    // Tells whether the phone allows tethered sync of a data class ("com.apple.Contacts").
    using TetheredSyncCheck = std::function<bool(const QString &dataClass)>;

    explicit ContactSyncSession(std::shared_ptr<SimulatedContactSync> sync, TetheredSyncCheck tethered = {});
    void serve(PeerConnection &connection) override;

private:
    bool versionExchange(PeerConnection &connection);
    bool sendRecords(PeerConnection &connection);
    void takeChanges(PeerConnection &connection, plist_t message);
    void resetWorking(const QList<SyncRecord> &records);
    // Logs every way a record from the computer breaks the record format.
    void checkRecord(const SyncRecord &record);
    // A deleted contact takes the sub-records that belong to it alone with it.
    void dropSubRecordsOf(const QString &contactId);
    // A fresh identifier for a record the computer sent under `sentId`: "category/contact/index" for
    // sent ids of that form, otherwise the next contact number, as a phone gives them.
    QString newIdentifier(const QString &sentId);

    std::shared_ptr<SimulatedContactSync> m_sync;
    TetheredSyncCheck m_tethered;
    QString m_dataClass;
    // The records as this session has changed them; they become the phone's on a good finish.
    QList<SyncRecord> m_working;
    QSet<QString> m_workingIds;
    quint64 m_nextNumber = 1;
};

} // namespace tarnwick::peers
