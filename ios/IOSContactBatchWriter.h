#pragma once

#include "model/Entity.h"
#include "PlistCFType.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

class LocalDb;

// Stores the record batches of one load of an iPhone into its cache database: each contact record
// becomes a contact row with its entries, each sub-record an entry row under every contact it names.
// The phone may send a sub-record before the contact it belongs to (later in the same batch or in a
// later batch); such a sub-record is kept and written as soon as that contact has been stored.
// The caller brackets the whole load in one database edit; database failures are thrown.
class IOSContactBatchWriter
{
public:
    explicit IOSContactBatchWriter(LocalDb *db);

    // Every record of one batch, in the dictionary's order.
    void storeBatch(const PlistCFType &batch);
    // One record under its identifier; records of unknown kinds are passed over.
    void storeRecord(const QString &rid, const PlistCFType &record);

    int contactCount() const { return m_contactCount; }
    int entryCount() const { return m_entryCount; }
    // Identifiers of contacts that sub-records named but the phone has not sent (yet).
    QStringList missingContacts() const;
    // Sub-record rows still waiting for one of those contacts.
    int waitingEntryCount() const;

private:
    struct _Waiting
    {
        int type;
        pim::Entity entity;
    };

    void insertEntity(qint64 contactId, int type, pim::Entity entity);

    LocalDb *m_db;
    // Contact record identifier to the row id its latest contact record received.
    QMap<QString, qint64> m_contactIds;
    QHash<QString, QList<_Waiting>> m_waiting;
    int m_contactCount = 0;
    int m_entryCount = 0;
};
