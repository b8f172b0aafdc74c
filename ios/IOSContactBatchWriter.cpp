#include "IOSContactBatchWriter.h"

#include "IOSContactRecord.h"
#include "model/LocalDb.h"

IOSContactBatchWriter::IOSContactBatchWriter(LocalDb *db)
    : m_db(db)
{}

void IOSContactBatchWriter::storeBatch(const PlistCFType &batch)
{
    // Each record where it is, in the dictionary's order: the same as dict_keys() and get(), without
    // a string node and a lookup per record.
    batch.dict_for_each([this](const QString &rid, const PlistCFType &record) { storeRecord(rid, record); });
}

void IOSContactBatchWriter::storeRecord(const QString &rid, const PlistCFType &record)
{
    const QString kind = IOSContactRecord::recordKind(record);
    if (kind == IOSContactRecord::KIND_CONTACT) {
        pim::_Contact contact;
        const QList<IOSContactRecord::_TypedEntity> entries =
            IOSContactRecord::contactEntries(rid, record, contact);
        m_db->insertContactBase(contact);
        const qint64 id = static_cast<qint64>(contact.id);
        m_contactIds.insert(rid, id);
        ++m_contactCount;
        for (const IOSContactRecord::_TypedEntity &entry : entries)
            insertEntity(id, entry.type, entry.entity);
        // Sub-records that came first now have their contact.
        const QList<_Waiting> waiting = m_waiting.take(rid);
        for (const _Waiting &w : waiting)
            insertEntity(id, w.type, w.entity);
        return;
    }

    const int type = IOSContactRecord::subRecordType(kind);
    if (type == 0)
        return;
    const pim::Entity entity = IOSContactRecord::subRecordEntry(type, rid, record);
    const QStringList parents = IOSContactRecord::parentIds(record);
    for (const QString &parent : parents) {
        const qint64 id = m_contactIds.value(parent, 0);
        if (id > 0)
            insertEntity(id, type, entity);
        else
            m_waiting[parent].append({type, entity});
    }
}

void IOSContactBatchWriter::insertEntity(qint64 contactId, int type, pim::Entity entity)
{
    m_db->insertEntity(static_cast<quint64>(contactId), type, entity);
    ++m_entryCount;
}

QStringList IOSContactBatchWriter::missingContacts() const
{
    QStringList ids = m_waiting.keys();
    ids.sort();
    return ids;
}

int IOSContactBatchWriter::waitingEntryCount() const
{
    int n = 0;
    for (const QList<_Waiting> &list : m_waiting)
        n += static_cast<int>(list.size());
    return n;
}
