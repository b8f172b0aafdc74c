#pragma once

#include <QMap>
#include <QString>

// Sub-type label tables: code to untranslated English label; every table maps 0 to "Other".
// Each call returns the caller's own (implicitly shared) copy.
namespace pim {

QMap<int, QString> phoneTypeMap();
QMap<int, QString> emailTypeMap();
QMap<int, QString> eventTypeMap();
QMap<int, QString> imProtocolMap();
QMap<int, QString> imTypeMap();
QMap<int, QString> nicknameTypeMap();
QMap<int, QString> orgTypeMap();
QMap<int, QString> relTypeMap();
QMap<int, QString> addrTypeMap();
QMap<int, QString> urlTypeMap();

} // namespace pim
