#pragma once

#include "model/Entity.h"

#include <QList>
#include <QMap>
#include <QRegularExpression>
#include <QString>

// The names both ends of the companion-app protocol give to things: sub-type words, Android sync ids
// ("type/contact/raw contact/data row") and the id mappings with which the phone answers a batch, and
// the writer of the record that carries one entry in an "$ent:" line.
namespace SyncContactBuilder {

// Word table: key type * 100 + sub-type code; type 99 holds the instant-messaging protocol words.
QMap<int, QString> entSubTypeStrMap();
// The word of a sub-type code; empty when the code has none.
QString entSubTypeStr(int type, int subType);
// Reverse table: "type/word" to code.
QMap<QString, int> entSubTypeMap();
// The code of a word, matched exactly; 0 when the word is not in the table.
int entSubType(int type, QString word);

// The entry's srcId, or the provisional id type/contactId/rawContactId/-e.id when it has none.
QString makeAndroidSyncId(int type, qint64 contactId, qint64 rawContactId, const pim::Entity &e);
// True when the whole text is four signed decimal integers joined by "/"; then fills every
// out-pointer that is not null (a field too wide for its type gives 0). Otherwise the pointers are
// left alone.
bool fetchIdInfo(QString syncId, int *type, qint64 *contactId, qint64 *rawContactId, qint64 *dataId);

// The record of one entry: its sync id followed by the type's fields, each after a ",".
QString entitySyncCmd(int type, qint64 contactId, qint64 rawContactId, const pim::Entity &e);
// Field encoding of a text column: Base64 of its UTF-8.
QString entStringPro(const pim::Entity &e, QString key);

// One "old=>new" pair of a phone's answer to a batch.
struct IdMapping
{
    QString oldId;
    // The contact and data-row fields of the old id, without their signs.
    unsigned long long contactId = 0;
    unsigned long long dataId = 0;
    QString newId;
};

// The pattern of one id mapping; reentrant, so any thread may match with it.
const QRegularExpression &idMappingPattern();
// Every id mapping of an answer line, in order; everything between mappings is skipped.
QList<IdMapping> idMappings(const QString &answer);

} // namespace SyncContactBuilder
