#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// The vCard codec: bytes to cards of properties. A card is the list of its properties in file
// order, without its BEGIN and END lines.
class QVCardParser
{
public:
    // One property of a card.
    struct _Property
    {
        // As written, group prefix included ("item1.TEL"); one Latin-1 character per byte.
        QString name;
        // Parameter name to value ("" for a bare word such as 2.1's HOME). A repeated TYPE
        // collects its values joined by ",", as TYPE=a,b would write them; any other repeated
        // parameter keeps its last value.
        QMap<QString, QString> params;
        // Transfer encoding undone and folded lines joined; escapes and character set untouched.
        QByteArray value;
        // The value follows the backslash escapes of vCard 3.0 and 4.0 (\n \, \; \\); not so in
        // 2.1 cards, nor in the quoted-printable values of 3.0/4.0 cards whose N carries a CHARSET
        // or that have no N (older writers, this program's older files among them).
        bool textEscapes = false;

        // The value as text: decoded with its CHARSET (UTF-8 when there is none, Windows-1252
        // for bytes that are no UTF-8) and, under 3.0/4.0 rules, with its escapes undone.
        QString toString() const;
        // The value as a link or a phone number, which 3.0 and 4.0 do not escape: decoded as
        // toString() does, with only the backslashes that some writers put before ":", "," and
        // ";" taken away ("http\\://"); every other backslash is part of the value.
        QString linkText() const;
        // The value's fields, split at every ";" that is not escaped, escapes undone in each; an
        // empty last field is left out.
        QStringList values() const;
        // The items of a list value (CATEGORIES), split at every "," that is not escaped, escapes
        // undone in each.
        QStringList listValues() const;

        // The name without a group prefix ("TEL" of "item1.TEL").
        QString baseName() const;
        // The group prefix ("item1" of "item1.TEL"), empty when there is none.
        QString group() const;
        // The value of the parameter whose name equals `key` regardless of case; `found` (when
        // given) tells whether it was there.
        QString param(const QString &key, bool *found = nullptr) const;
        // TYPE values and bare parameter words, lower case, each once.
        QStringList typeWords() const;
        // Whether the transfer encoding was Base64, so the value holds raw bytes.
        bool isBase64() const;
    };

    using Card = QList<_Property>;

    QVCardParser() = delete;

    // Every card of the input in file order; lines outside a card are dropped, a malformed line
    // is dropped with a warning and reading goes on.
    static QList<QList<_Property>> parse(const QByteArray &data);

    // Quoted-printable text of the bytes: 0x21 to 0x7E but "=" as they are, every other byte as
    // "=XX". With a line length `width` (0: one line) a soft break "=\r\n " follows the unit that
    // brings the line to width - 3 characters or more.
    static QByteArray encodeQuoted(const QByteArray &bytes, int width);
    // Base64 text of the bytes cut into lines of `width` characters (at least 1), joined by
    // "\r\n ".
    static QByteArray encodeBase64(const QByteArray &bytes, int width);
    // One whole card: BEGIN, each property as name, parameters in name order (";name=value") and
    // ":" with the value bytes as they are, END; every line ended by CR LF. Nothing is escaped
    // here: the values come encoded. In a 3.0 or 4.0 card (by its VERSION property) a line
    // longer than 75 octets is folded (CR LF and one space), never inside a UTF-8 character or
    // a quoted-printable escape; other cards are written unfolded.
    static QByteArray vcard2Bytes(const QList<_Property> &props);
};
