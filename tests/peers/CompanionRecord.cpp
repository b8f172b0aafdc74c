#include "CompanionRecord.h"

namespace tarnwick::peers::CompanionRecord {

QString text(const QString &value)
{
    return QString::fromLatin1(value.toUtf8().toBase64());
}

QString decodeText(const QString &field)
{
    return QString::fromUtf8(QByteArray::fromBase64(field.toLatin1()));
}

QString bytes(const QByteArray &value)
{
    return QString::fromLatin1(value.toBase64());
}

QByteArray decodeBytes(const QString &field)
{
    return QByteArray::fromBase64(field.toLatin1());
}

QStringList name(const QString &first, const QString &last, const QString &prefix, const QString &middle,
                 const QString &suffix)
{
    return {text(prefix), text(first), text(middle), text(last), text(suffix)};
}

QStringList photo(const QByteArray &image)
{
    return {bytes(image)};
}

QStringList valued(const QString &word, const QString &value, const QString &label)
{
    return {word, text(label), text(value)};
}

QStringList event(const QString &word, const QString &date, const QString &label)
{
    return {word, text(label), date};
}

QStringList group(const QString &name)
{
    return {text(name)};
}

QStringList im(const QString &word, const QString &protocolWord, const QString &account, const QString &label,
               const QString &customProtocol)
{
    return {word, text(label), protocolWord, text(customProtocol), text(account)};
}

QStringList note(const QString &value)
{
    return {text(value)};
}

QStringList org(const QString &word, const QString &company, const QString &department, const QString &title,
                const QString &label)
{
    return {word, text(label), text(company), text(department), text(title)};
}

QStringList address(const QString &word, const QString &country, const QString &state, const QString &city,
                    const QString &street, const QString &postcode, const QString &label)
{
    return {word, text(label), text(country), text(state), text(city), text(street), text(postcode)};
}

} // namespace tarnwick::peers::CompanionRecord
