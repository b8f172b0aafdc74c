#pragma once

#include <QList>
#include <QString>

// The fields of an entry's record after its sync id, in wire order, shared by the record's writer
// and reader so the two cannot drift apart.
namespace SyncRecordLayout {

enum class Encoding {
    Text,  // Base64 of the UTF-8 of the column's text
    Word,  // sub-type word of the column's code, looked up under `wordType`
    Date,  // "yyyy-MM-dd"
    Bytes, // Base64 of the raw bytes
};

struct Field
{
    QString column;
    Encoding encoding;
    int wordType;
};

// Empty for a type outside 1 to 13.
const QList<Field> &fields(int type);

// The word type of instant-messaging protocols ("data5" of type 8).
constexpr int kProtocolWordType = 99;

} // namespace SyncRecordLayout
