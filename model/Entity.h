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

    QMap<QString, QVariant> values;
    unsigned long long id = 0;
    QString srcId;
};

// Display order of phone entries: mobile, main, home, work, then every other kind.
bool comparePhoneLess(const Entity &a, const Entity &b);

} // namespace pim
