#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tarnwick::peers {

// The simulated companion app's own encoder and decoder of record fields, written from the protocol
// description alone (never the program's writer or reader), so that a mistake the program makes on
// both sides shows up against it. A record's fields are what follows its sync id, in wire order.
namespace CompanionRecord {

QString text(const QString &value);
QString decodeText(const QString &field);
QString bytes(const QByteArray &value);
QByteArray decodeBytes(const QString &field);

QStringList name(const QString &first, const QString &last, const QString &prefix = QString(),
                 const QString &middle = QString(), const QString &suffix = QString());
QStringList photo(const QByteArray &image);
// Phone, e-mail, nickname, relation and website records: word, label, value.
QStringList valued(const QString &word, const QString &value, const QString &label = QString());
QStringList event(const QString &word, const QString &date, const QString &label = QString());
QStringList group(const QString &name);
QStringList im(const QString &word, const QString &protocolWord, const QString &account,
               const QString &label = QString(), const QString &customProtocol = QString());
QStringList note(const QString &text);
QStringList org(const QString &word, const QString &company, const QString &department, const QString &title,
                const QString &label = QString());
QStringList address(const QString &word, const QString &country, const QString &state, const QString &city,
                    const QString &street, const QString &postcode, const QString &label = QString());

} // namespace CompanionRecord

} // namespace tarnwick::peers
