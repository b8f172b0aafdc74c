#pragma once

#include "platform/idevice/DeviceHandles.h"

#include <QString>
#include <QVariant>

#include <functional>
#include <initializer_list>

namespace tarnwick::peers {

// Conversions between Qt values and libplist nodes for the simulated devices, so that tests script
// lockdown values and sync records as QVariant.
//
// QString -> string (whole, even past a U+0000, as a hostile phone sends it), QByteArray -> data, QDateTime
// -> date (seconds since 2001-01-01 UTC), bool -> boolean, integers -> unsigned integer, double -> real,
// QStringList/QVariantList -> array, QVariantMap -> dictionary. The reverse gives the same types (unsigned
// integers as qulonglong).
class PeerPlist
{
public:
    static UniquePlist fromVariant(const QVariant &value);
    static QVariant toVariant(plist_t node);

    // A message array built from fresh nodes (taken over).
    static UniquePlist array(std::initializer_list<plist_t> items);
    static plist_t string(const QString &text);
    // The text of a string node; empty for anything else (a null node included).
    static QString text(plist_t node);
    // The text of the item at `index` of an array; empty when absent or not a string.
    static QString textAt(plist_t array, uint32_t index);
    static plist_t itemAt(plist_t array, uint32_t index);
    // Calls `visit` with each key and value of a dictionary in its order; nothing for anything else.
    static void forEachItem(plist_t dict,
                            const std::function<void(const QString &key, plist_t value)> &visit);
};

} // namespace tarnwick::peers
