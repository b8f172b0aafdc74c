#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVariant>

namespace pim {

// One typed entry of a contact and one row of the data table. Its type is not stored here: it is
// the key under which the contact keeps the entry.
class Entity
{
public:
    Entity();
    Entity(unsigned long long id, QString srcId);

    // Display name of a name entry: prefix, first, middle, last and suffix.
    QString fullName() const;
    // One-text form of a postal address, lines separated by a line feed.
    QString formattedAddr() const;
    // The address as shown and printed: what its parts compose, or the stored free text where they
    // compose none (a phone keeps an address typed as one text that way).
    QString shownAddr() const;

    // Base64 text of the MD5 digest of the bytes.
    static QString photoHash(const QByteArray &bytes);
    // Hash of the image bytes held under "data15".
    QString photoHash() const;

    // The value under `key` in place, or an invalid value when there is none. Merging reads every
    // value of every incoming entry; value() would copy each one.
    const QVariant &valueAt(const QString &key) const;

    QMap<QString, QVariant> values;
    unsigned long long id = 0;
    QString srcId;
};

// The text a value holds, in place, or null when it holds no text.
inline const QString *textIn(const QVariant &value)
{
    return value.typeId() == QMetaType::QString ? static_cast<const QString *>(value.constData()) : nullptr;
}

// Display order of phone entries: mobile, main, home, work, then every other kind.
bool comparePhoneLess(const Entity &a, const Entity &b);

inline const QVariant &Entity::valueAt(const QString &key) const
{
    static const QVariant absent;
    const auto it = values.constFind(key);
    return it == values.cend() ? absent : *it;
}

} // namespace pim
