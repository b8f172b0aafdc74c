#include "Entity.h"

#include "EntryKeys.h"

#include <QCryptographicHash>

#include <utility>

namespace pim {

namespace {

QString text(const QMap<QString, QVariant> &values, const QString &key)
{
    return values.value(key).toString();
}

// Sort rank of a phone by its sub-type code; lower ranks come first.
int phonePriority(const Entity &phone)
{
    switch (phone.values.value(ValueKey::SubType).toInt()) {
    case PHONE_MOBILE:
        return 10;
    case PHONE_MAIN:
        return 20;
    case PHONE_HOME:
        return 30;
    case PHONE_WORK:
        return 40;
    default:
        return 100;
    }
}

} // namespace

Entity::Entity() = default;

Entity::Entity(unsigned long long id, QString srcId)
    : id(id)
    , srcId(std::move(srcId))
{}

QString Entity::fullName() const
{
    // Fields are joined untrimmed; only the whole result is trimmed, so the stored text stays the same
    // as every other builder of a name entry produces.
    QString result = text(values, NameKey::Prefix);
    for (const QString *key :
         {&NameKey::GivenName, &NameKey::MiddleName, &NameKey::FamilyName, &NameKey::Suffix}) {
        const QString part = text(values, *key);
        if (!part.isEmpty())
            result += QLatin1Char(' ') + part;
    }
    return result.trimmed();
}

QString Entity::formattedAddr() const
{
    const QString street = text(values, AddrKey::Street);
    const QString city = text(values, AddrKey::City);
    const QString state = text(values, AddrKey::State);
    const QString postcode = text(values, AddrKey::Postcode);
    const QString country = text(values, AddrKey::Country);

    QString result = street;
    // The postcode is written only on the line of a city or state.
    if (!city.isEmpty() || !state.isEmpty()) {
        result += QLatin1Char('\n');
        if (!city.isEmpty()) {
            result += city;
            if (!state.isEmpty() || !postcode.isEmpty())
                result += QLatin1Char(',');
        }
        if (!state.isEmpty())
            result += QLatin1Char(' ') + state;
        if (!postcode.isEmpty())
            result += QLatin1Char(' ') + postcode;
    }
    if (!country.isEmpty())
        result += QLatin1Char('\n') + country;
    return result.trimmed();
}

QString Entity::shownAddr() const
{
    const QString composed = formattedAddr();
    return composed.isEmpty() ? text(values, AddrKey::Formatted).trimmed() : composed;
}

QString Entity::photoHash(const QByteArray &bytes)
{
    // Writing a photo hashes its bytes for the row and again for the entry as read back, and a
    // merge hashes them to compare; a 20 KB photo costs tens of microseconds each time. The bytes
    // travel as shared copies of one buffer, so the last one hashed on this thread is kept: while
    // the cache holds the buffer nobody can change it, and one it does not own (raw data) is never
    // taken as the same.
    thread_local QByteArray lastBytes;
    thread_local QString lastHash;
    // data_ptr() only reads the buffer's header here; Qt offers it on non-const arrays alone.
    const bool same = const_cast<QByteArray &>(bytes).data_ptr().isSharedWith(lastBytes.data_ptr()) &&
                      bytes.constData() == lastBytes.constData() && bytes.size() == lastBytes.size();
    if (!same) {
        lastHash = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toBase64());
        lastBytes = bytes;
    }
    return lastHash;
}

QString Entity::photoHash() const
{
    return photoHash(values.value(PhotoKey::Image).toByteArray());
}

bool comparePhoneLess(const Entity &a, const Entity &b)
{
    return phonePriority(a) < phonePriority(b);
}

} // namespace pim
