#include "Entity.h"

#include <QCryptographicHash>

#include <utility>

namespace pim {

namespace {

QString text(const QMap<QString, QVariant> &values, const char *key)
{
    return values.value(QLatin1String(key)).toString();
}

// Sort rank of a phone by its sub-type code; lower ranks come first.
int phonePriority(const Entity &phone)
{
    switch (phone.values.value(QStringLiteral("data2")).toInt()) {
    case 2: // Mobile
        return 10;
    case 12: // Main
        return 20;
    case 1: // Home
        return 30;
    case 3: // Work
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
    QString result = text(values, "data5");
    for (const char *key : {"data2", "data4", "data3", "data6"}) {
        const QString part = text(values, key);
        if (!part.isEmpty())
            result += QLatin1Char(' ') + part;
    }
    return result.trimmed();
}

QString Entity::formattedAddr() const
{
    const QString street = text(values, "data4");
    const QString city = text(values, "data7");
    const QString state = text(values, "data8");
    const QString postcode = text(values, "data9");
    const QString country = text(values, "data10");

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

QString Entity::photoHash(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toBase64());
}

QString Entity::photoHash() const
{
    return photoHash(values.value(QStringLiteral("data15")).toByteArray());
}

bool comparePhoneLess(const Entity &a, const Entity &b)
{
    return phonePriority(a) < phonePriority(b);
}

} // namespace pim
