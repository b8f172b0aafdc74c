#pragma once

#include "SyncRecord.h"

#include <QList>
#include <QMutex>
#include <QStringList>
#include <QVariantMap>
#include <QWaitCondition>

namespace tarnwick::peers {

// The contact-sync service ("com.apple.mobilesync") of a simulated iPhone: the records the phone
// holds, how it answers (the script) and what the computer did (the log). Scripting calls and log
// reads are thread-safe; a session reads the script at each of its steps, so set it before the
// computer connects.
//
// Conversation served (DeviceLink, binary property lists):
//   phone: [DLMessageVersionExchange, <version>, 0]; computer: [.., DLVersionsOk, n]; phone:
//   DLMessageDeviceReady SDMessageSyncDataClassWithDevice -> SDMessageSyncDataClassWithComputer (sync type,
//   data-class
//       version 106), or the scripted refusal / cancellation
//   SDMessageGetAllRecordsFromDevice or ..GetChangesFromDevice -> SDMessageProcessChanges batches, each
//       acknowledged (SDMessageAcknowledgeChangesFromDevice), then SDMessageDeviceReadyToReceiveChanges
//   SDMessageProcessChanges from the computer -> SDMessageRemapRecordIdentifiers {sent id: new id} for
//       records the phone did not know (the empty parameter when none); "___EmptyParameterString___" in
//       place of a record deletes it
//   SDMessageFinishSessionOnDevice -> SDMessageDeviceFinishedSession, and the changes become the
//       phone's records; or the scripted SDMessageCancelSession "Couldn't commit changes on device"
//   SDMessageClearAllRecordsOnDevice -> SDMessageDeviceWillClearAllRecords; DLMessageDisconnect ends.
class SimulatedContactSync
{
public:
    enum class SyncType { Slow, Fast, Reset };
    enum class StartAnswer { Accept, Refuse, Cancel };
    enum class FinishAnswer { Finished, CommitFailed };

    // How the phone answers: everything a session looks at, copied out under the lock.
    struct Script
    {
        // DeviceLink major version the phone announces: 400 (iOS 14 and later) or 300.
        quint64 deviceLinkVersion = 400;
        SyncType syncType = SyncType::Slow;
        // Refuse answers the session start with SDMessageRefuseToSyncDataClassWithComputer and
        // `startReason` (which may be empty), Cancel with SDMessageCancelSession.
        StartAnswer startAnswer = StartAnswer::Accept;
        QString startReason;
        // Records per batch (at least 1), or, when not empty, the sizes of the batches one by one
        // (the last size repeats).
        int batchSize = 25;
        QList<int> batchSizes;
        // The phone drops the connection once this many batches were sent and acknowledged, before
        // the next one (0: instead of the first batch); negative: never.
        int disconnectAfterBatches = -1;
        // The phone drops the connection right after sending batch number n (counted from 1),
        // without reading its acknowledgement; negative: never.
        int disconnectBeforeAcknowledgementOf = -1;
        // The phone answers every batch of changes from the computer with SDMessageCancelSession
        // instead of a remapping (as phones do when tethered sync is off) and keeps nothing of them.
        bool cancelChanges = false;
        // Refuses to start a session unless the phone's lockdown value
        // "com.apple.mobile.tethered_sync" / <data class> ("Contacts") holds {"DisableTethered":
        // false}, as phones do.
        bool requireTetheredSync = false;
        FinishAnswer finishAnswer = FinishAnswer::Finished;
        // The phone drops the connection when batch number n (counted from 1 since the log was last
        // cleared) of changes from the computer arrives, before it takes or answers it; negative:
        // never.
        int disconnectAtChangesBatch = -1;
        // Records sent under these identifiers are stored but left out of the remapping answered.
        QStringList omitFromRemapping;
    };

    SimulatedContactSync() = default;
    SimulatedContactSync(const SimulatedContactSync &) = delete;
    SimulatedContactSync &operator=(const SimulatedContactSync &) = delete;

    // --- Script ---
    void setScript(const Script &script);
    // The phone's records, sent in this order. No records: one empty batch, which is what a phone
    // whose contacts live in the cloud answers.
    void setRecords(const QList<SyncRecord> &records);

    Script script() const;
    QList<SyncRecord> records() const;
    // The batches that setRecords and the batch sizes give, at least one (maybe empty).
    QList<QList<SyncRecord>> batches() const;

    // --- Log ---
    // Names of the messages the computer sent, in order, over all sessions (first item of each).
    QStringList messages() const;
    // DeviceLink version the computer confirmed in its last version exchange (0: none yet).
    quint64 confirmedDeviceLinkVersion() const;
    // The items of the computer's last SDMessageSyncDataClassWithDevice.
    QString requestedDataClass() const;
    QString deviceAnchor() const;
    QString computerAnchor() const;
    quint64 computerDataClassVersion() const;
    int sessionCount() const;
    // Waits, in this thread and without an event loop, until every session that began has ended on
    // the phone's side. The computer may be done with a session (and its caller told so) before the
    // phone has even read what the computer sent last: read the log of a session after this wait.
    bool waitForSessionsToEnd(int timeoutMs = 20000) const;
    int acknowledgementCount() const;
    // Batches the computer sent (SDMessageProcessChanges), in order; deletions as deletion records.
    QList<QList<SyncRecord>> receivedBatches() const;
    // The actions sent with each of those batches: a map, or the empty-parameter text when none.
    QVariantList receivedActions() const;
    // The remappings the phone answered with, in order (an empty map for the empty parameter).
    QList<QVariantMap> remappings() const;
    int finishedSessions() const;
    // Records from the computer that break the record format: an unknown kind, a contact without
    // "display as company", a date that is no date node, an "image" that is no data, a "contact" link
    // that is not one string naming a contact the phone holds. One line per fault; tests expect none.
    QStringList violations() const;
    int changesBatchCount() const;
    void clearLog();

    // --- Used by the session ---
    void noteSession();
    void noteSessionEnded();
    void noteMessage(const QString &name);
    void noteVersionConfirmed(quint64 version);
    void noteStart(const QString &dataClass, const QString &deviceAnchor, const QString &computerAnchor,
                   quint64 version);
    void noteAcknowledgement();
    void noteBatch(const QList<SyncRecord> &batch, const QVariant &actions);
    void noteRemapping(const QVariantMap &mapping);
    void noteViolation(const QString &text);
    // Makes `records` the phone's records, as a finished session does with its changes.
    void commit(const QList<SyncRecord> &records);

private:
    mutable QMutex m_mutex;
    mutable QWaitCondition m_sessionEnded;
    Script m_script;
    QList<SyncRecord> m_records;

    QStringList m_messages;
    quint64 m_confirmedVersion = 0;
    QString m_dataClass;
    QString m_deviceAnchor;
    QString m_computerAnchor;
    quint64 m_computerVersion = 0;
    int m_sessions = 0;
    // Not part of the log: sessions still being served.
    int m_openSessions = 0;
    int m_acknowledgements = 0;
    QList<QList<SyncRecord>> m_received;
    QVariantList m_receivedActions;
    QList<QVariantMap> m_remappings;
    int m_finished = 0;
    QStringList m_violations;
};

} // namespace tarnwick::peers
