#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// One class key of a backup keybag: the records that describe it by their tag ("UUID", "CLAS",
// "WRAP", "WPKY", "KTYP", "PBKY"), and "KEY", the unwrapped class key, once a password unlocked it.
class _KeybagPros : public QMap<QString, QByteArray>
{
public:
    // The first four bytes under `tag` as a big-endian signed number; `defaultValue` when the tag
    // is missing or holds fewer than four bytes.
    int getInt32(const QString &tag, int defaultValue = 0) const;
};

// A parsed keybag: its own records by tag, and its class keys by protection class number.
struct _KeybagInfo
{
    QMap<QString, QByteArray> attrs;
    QMap<int, _KeybagPros> classKeys;
};
