#pragma once

#include "PlistCFType.h"
#include "model/Contact.h"
#include "model/Entity.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// The contact records of the iPhone's sync service (data class "com.apple.Contacts") as the reader
// maps them: the record kinds, the sub-type words, and how a record becomes a contact or an entry.
// Pure functions: no state, no database, no device.
class IOSContactRecord
{
public:
    // One entry with its entity type code, in the order the reader writes them.
    struct _TypedEntity
    {
        int type;
        pim::Entity entity;
    };

    static const QString KEY_RECORD_KIND;
    static const QString KIND_CONTACT;

    // The record's kind: the text under "com.apple.syncservices.RecordEntityName".
    static QString recordKind(const PlistCFType &record);
    // Entity type code of a sub-record kind; 0 for the contact kind and for every unknown kind.
    static int subRecordType(const QString &kind);

    // A contact record: the name entry first, then nickname, organisation, birthday, photo and note
    // when the record has their keys. `contact` gets the same entries under their types.
    static QList<_TypedEntity> contactEntries(const QString &rid, const PlistCFType &record,
                                              pim::_Contact &contact);
    // A sub-record of the given entity type as one entry.
    static pim::Entity subRecordEntry(int type, const QString &sid, const PlistCFType &record);
    // The contact record identifiers a sub-record belongs to (its "contact" array).
    static QStringList parentIds(const PlistCFType &record);

    // Code of a sub-type word for an entity type, or -1 when the word is not in its table.
    static int typeCode(int type, const QString &word);
    // Code of an instant-messaging service word, or -1 when it is not in the table.
    static int protocolCode(const QString &word);
    // The writing direction of the same tables: the word for a sub-type code ("other" for a code the
    // table lacks), the word of a service code (empty when none) and the record kind of an entity
    // type (empty for a type without sub-record).
    static QString typeWord(int type, int code);
    static QString protocolWord(int code);
    static QString subRecordKind(int type);
    // A date node as ISO text of its wall clock; empty for anything that is no date.
    static QString dateText(const PlistCFType &value);

private:
    static const QHash<QString, int> &protocolTable();
};
