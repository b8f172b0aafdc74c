#pragma once

#include "model/Entity.h"

#include <QString>
#include <QStringList>

// The reader of the record that carries one entry in an "$ent:" line.
namespace SyncContactParser {

// Sets the columns of `e` from fields 1 onward of a record split at ",", as the type prescribes.
// Field 0 (the sync id), e.id and e.srcId are not touched; columns it does not set keep their value.
void fillEntityInfo(QStringList fields, int type, pim::Entity &e);
// Decoding of a text field: Base64 of UTF-8, read up to the first zero byte.
QString fromStrBase64(QString field);

} // namespace SyncContactParser
