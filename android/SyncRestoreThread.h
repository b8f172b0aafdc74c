#pragma once

#include "model/Entity.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QThread>

class AndroidContactsDb;
class AndroidSessionLink;
class ProgressSink;

// The load session: copies every contact of an Android phone, sent by its companion app, into the
// phone's mirror inside one database edit that is committed only when the phone says goodbye. A
// cancel or a failure rolls everything back. The phone's name is left in `deviceName`.
//
// Records are tied to their contact by the phone's contact id for the whole session: a record that
// comes before its contact's name record waits for it, and one whose name record never comes is
// kept, at the end, under a contact of its own with an empty name.
class SyncRestoreThread : public QThread
{
    Q_OBJECT
public:
    SyncRestoreThread(AndroidContactsDb *db, int port, ProgressSink *progress);
    ~SyncRestoreThread() override;

    // How long the phone may stay silent before the session gives up.
    void setIdleLimit(int ms);

    // The phone's name from "$device:"; read it after the thread has ended.
    QString deviceName;

protected:
    void run() override;

private:
    struct PendingEntry
    {
        int type;
        pim::Entity entity;
    };

    void commandLoop(AndroidSessionLink &link);
    void handleBatch(AndroidSessionLink &link);
    void handleRecord(const QString &line);
    void storeOrphans();
    void reportProgress();

    AndroidContactsDb *db;
    int port;
    ProgressSink *progress;
    int total = 0;
    int processed = 0;
    int m_idleLimitMs;
    // Phone contact id to the mirror contact made for its latest name record.
    QMap<qint64, unsigned long long> m_contactIds;
    // Records whose name record has not come yet, by phone contact id, in arrival order.
    QMap<qint64, QList<PendingEntry>> m_pending;
};
