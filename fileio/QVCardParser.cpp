#include "QVCardParser.h"

#include "Logging.h"
#include "VCardTokenizer.h"

#include <QSet>
#include <QStringDecoder>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace {

using Property = QVCardParser::_Property;

// What both callbacks reach while one parse runs. Positions, not pointers: the lists grow.
struct ParseState
{
    QList<QList<Property>> *cards = nullptr;
    CARD_Parser *tokenizer = nullptr;
    qsizetype currentCard = -1;      // index into *cards; -1 outside a card
    bool hasCurrentProperty = false; // the current card's last property takes the next value
    bool modernCard = false;
    // Indexes into the current card of the quoted-printable values read under 3.0/4.0 rules.
    QList<qsizetype> modernQuotedPrintable;
};

// The names and parameter words nearly every card repeats, as texts that need no allocation.
QString commonText(const char *bytes)
{
    static const QString common[] = {
        QStringLiteral("VERSION"),  QStringLiteral("N"),
        QStringLiteral("FN"),       QStringLiteral("TEL"),
        QStringLiteral("EMAIL"),    QStringLiteral("ADR"),
        QStringLiteral("ORG"),      QStringLiteral("TITLE"),
        QStringLiteral("NOTE"),     QStringLiteral("BDAY"),
        QStringLiteral("PHOTO"),    QStringLiteral("URL"),
        QStringLiteral("NICKNAME"), QStringLiteral("CATEGORIES"),
        QStringLiteral("TYPE"),     QStringLiteral("type"),
        QStringLiteral("CHARSET"),  QStringLiteral("ENCODING"),
        QStringLiteral("UTF-8"),    QStringLiteral("QUOTED-PRINTABLE"),
        QStringLiteral("B"),        QStringLiteral("b"),
        QStringLiteral("BASE64"),   QStringLiteral("CELL"),
        QStringLiteral("HOME"),     QStringLiteral("WORK"),
        QStringLiteral("VOICE"),    QStringLiteral("INTERNET"),
        QStringLiteral("pref"),     QStringLiteral("JPEG"),
    };
    const qsizetype length = qsizetype(std::strlen(bytes));
    for (const QString &c : common) {
        if (c.size() == length && QLatin1String(bytes, length) == c)
            return c;
    }
    return QString::fromLatin1(bytes, length);
}

bool isName(const char *name, const char *wanted)
{
    return QLatin1String(name).compare(QLatin1String(wanted), Qt::CaseInsensitive) == 0;
}

bool isQuotedPrintable(const Property &property)
{
    for (auto it = property.params.constBegin(); it != property.params.constEnd(); ++it) {
        const QString &word =
            it.key().compare(QLatin1String("ENCODING"), Qt::CaseInsensitive) == 0 ? it.value() : it.key();
        if (word.compare(QLatin1String("QUOTED-PRINTABLE"), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool hasParam(const Property &property, const char *key)
{
    for (auto it = property.params.constBegin(); it != property.params.constEnd(); ++it) {
        if (it.key().compare(QLatin1String(key), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// Quoted-printable text under 3.0/4.0 rules is escaped inside as any text value is; only cards
// that write N without a CHARSET do so, the program's older cards (N with CHARSET=UTF-8, or no
// N at all) wrote their backslashes bare, and so do 2.1 writers. The N line may follow the
// values it decides about, so the whole card is looked at once it is complete.
void finishCard(ParseState *state)
{
    if (state->currentCard < 0)
        return;
    QList<Property> &card = (*state->cards)[state->currentCard];
    if (!state->modernQuotedPrintable.isEmpty()) {
        const bool escaped = std::any_of(card.cbegin(), card.cend(), [](const Property &p) {
            return p.baseName().compare(QLatin1String("N"), Qt::CaseInsensitive) == 0 &&
                   !hasParam(p, "CHARSET");
        });
        if (escaped) {
            for (const qsizetype i : std::as_const(state->modernQuotedPrintable)) {
                if (i < card.size())
                    card[i].textEscapes = true;
            }
        }
    }
    state->modernQuotedPrintable.clear();
}

void propHandler(void *userData, const char *name, const char **params)
{
    auto *state = static_cast<ParseState *>(userData);
    state->hasCurrentProperty = false;
    if (isName(name, "BEGIN")) {
        finishCard(state);
        state->cards->append(QList<Property>());
        state->cards->last().reserve(16);
        state->currentCard = state->cards->size() - 1;
        state->modernCard = false;
        CARD_SetModernSyntax(state->tokenizer, 0);
        return;
    }
    if (isName(name, "END")) {
        finishCard(state);
        state->currentCard = -1;
        state->modernCard = false;
        CARD_SetModernSyntax(state->tokenizer, 0);
        return;
    }
    if (state->currentCard < 0)
        return;

    Property property;
    property.name = commonText(name);
    for (const char **pair = params; pair[0]; pair += 2) {
        const QString key = commonText(pair[0]);
        const QString value = pair[1] ? commonText(pair[1]) : QString(QLatin1String(""));
        // Parameter names are case-free: the first spelling met stays the key.
        auto it = property.params.begin();
        for (; it != property.params.end(); ++it) {
            if (it.key().compare(key, Qt::CaseInsensitive) == 0)
                break;
        }
        if (it == property.params.end())
            property.params.insert(key, value);
        else if (key.compare(QLatin1String("TYPE"), Qt::CaseInsensitive) == 0 && !it.value().isEmpty())
            it.value() += QLatin1Char(',') + value;
        else
            it.value() = value;
    }
    // Quoted-printable values keep their backslashes as written: the program's own files and the
    // 2.1 writers that use the encoding never escape them.
    const bool quotedPrintable = isQuotedPrintable(property);
    property.textEscapes = state->modernCard && !quotedPrintable;
    QList<Property> &card = (*state->cards)[state->currentCard];
    if (state->modernCard && quotedPrintable)
        state->modernQuotedPrintable.append(card.size());
    card.append(property);
    state->hasCurrentProperty = true;
}

void dataHandler(void *userData, const char *bytes, int length)
{
    auto *state = static_cast<ParseState *>(userData);
    if (!state->hasCurrentProperty)
        return;
    QList<Property> &card = (*state->cards)[state->currentCard];
    if (length < 0) {
        qCWarning(lcFileIo) << "vCard property dropped:" << card.last().name;
        if (!state->modernQuotedPrintable.isEmpty() && state->modernQuotedPrintable.last() == card.size() - 1)
            state->modernQuotedPrintable.removeLast();
        card.removeLast();
        state->hasCurrentProperty = false;
        return;
    }
    if (length == 0)
        return;
    Property &property = card.last();
    property.value = QByteArray(bytes, length);
    // The card's version decides how the lines after it are folded and escaped.
    if (property.name.compare(QLatin1String("VERSION"), Qt::CaseInsensitive) == 0) {
        const QByteArray version = property.value.trimmed();
        state->modernCard = version.startsWith('3') || version.startsWith('4');
        CARD_SetModernSyntax(state->tokenizer, state->modernCard ? 1 : 0);
    }
}

struct TokenizerFree
{
    void operator()(CARD_Parser *p) const { CARD_ParserFree(p); }
};

// Bytes without a declared character set: UTF-8 as current writers use it, else the Windows
// code page older ones wrote, rather than replacement characters.
QString decodeUndeclared(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder cp1252("windows-1252");
    if (cp1252.isValid())
        return cp1252.decode(bytes);
    return QString::fromLatin1(bytes);
}

void appendUnescaped(QString &out, QChar c)
{
    switch (c.unicode()) {
    case 'n':
    case 'N':
        out += QLatin1Char('\n');
        break;
    case ',':
    case ';':
    case '\\':
    case ':': // written so in links by a widespread phone maker ("http\://")
        out += c;
        break;
    default:
        // Not an escape of the format: the backslash stays as written.
        out += QLatin1Char('\\');
        out += c;
        break;
    }
}

QString unescape(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\\') && i + 1 < text.size()) {
            appendUnescaped(out, text[++i]);
            continue;
        }
        out += c;
    }
    return out;
}

// The value's bytes as text in the character set the property declares.
QString decodedText(const Property &property)
{
    bool declared = false;
    const QString charset = property.param(QStringLiteral("CHARSET"), &declared);
    if (declared) {
        QStringDecoder decoder(charset.toLatin1().constData());
        if (decoder.isValid())
            return decoder.decode(property.value);
    }
    return decodeUndeclared(property.value);
}

// Content lines longer than this many octets are folded in 3.0 and 4.0 cards (RFC 2425 and
// RFC 6350); 2.1 cards have no such limit and keep the soft breaks of their encodings.
constexpr qsizetype kLineOctets = 75;

bool isModernCard(const QList<Property> &props)
{
    for (const Property &p : props) {
        if (p.name.compare(QLatin1String("VERSION"), Qt::CaseInsensitive) == 0) {
            const QByteArray version = p.value.trimmed();
            return version.startsWith('3') || version.startsWith('4');
        }
    }
    return false;
}

// Where a physical line that starts at `start` may end, at `end` at the latest: never inside a
// UTF-8 character, and never just after an "=" or inside a quoted-printable "=XX" (a line that
// ends in "=" reads as a quoted-printable soft break to many readers).
qsizetype foldPoint(QByteArrayView line, qsizetype start, qsizetype end)
{
    const auto insideCharacter = [line](qsizetype cut) {
        return (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80;
    };
    for (qsizetype cut = end; cut > start; --cut) {
        if (!insideCharacter(cut) && line[cut - 1] != '=' && (cut < 2 || line[cut - 2] != '='))
            return cut;
    }
    // A run of "=" as long as a line: only the characters are kept whole.
    for (qsizetype cut = end; cut > start; --cut) {
        if (!insideCharacter(cut))
            return cut;
    }
    return end;
}

// Appends the text as Latin-1, a question mark for each character beyond it, without a copy of
// its own: a card's names and parameters are a handful of short texts each.
void appendLatin1(QByteArray &out, const QString &text)
{
    const qsizetype at = out.size();
    out.resize(at + text.size());
    char *d = out.data() + at;
    for (const QChar c : text)
        *d++ = c.unicode() > 0xFF ? '?' : char(c.unicode());
}

// Where the next CR LF of the line starts at `from` or after, -1 when none does. A photo's line is
// kilobytes long and holds none: memchr skips it at memory speed, where a general substring search
// would hash it byte by byte.
qsizetype lineBreakFrom(QByteArrayView line, qsizetype from)
{
    const char *const begin = line.data();
    const char *const end = begin + line.size();
    for (const char *p = begin + from; p < end;) {
        const auto *cr = static_cast<const char *>(std::memchr(p, '\r', size_t(end - p)));
        if (!cr || cr + 1 >= end)
            return -1;
        if (cr[1] == '\n')
            return cr - begin;
        p = cr + 1;
    }
    return -1;
}

// Appends the rest of a content line folded, `room` octets left on its first physical line: CR LF
// and one space before each piece after the first, no physical line longer than kLineOctets
// octets, the space counted. Line breaks an encoder put into the value already start physical
// lines of their own.
void appendFolded(QByteArray &out, QByteArrayView line, qsizetype room)
{
    // Written through a pointer into room made once: a photo's line is a hundred pieces and
    // more, each of which would otherwise be two appends with their checks. A piece holds at
    // least a few octets on the first line and all but a unit's width of a line after it.
    const qsizetype at = out.size();
    out.resize(at + line.size() + (line.size() / (kLineOctets - 8) + 2) * 3);
    char *d = out.data() + at;
    const auto put = [&d](QByteArrayView bytes) {
        std::memcpy(d, bytes.data(), size_t(bytes.size()));
        d += bytes.size();
    };
    qsizetype start = 0;
    // The next line break of the value, looked for again only once passed: a photo's line is long
    // and holds none, and searching it to its end for every piece would cost its length squared.
    qsizetype crlf = lineBreakFrom(line, 0);
    while (line.size() - start > room) {
        if (crlf >= 0 && crlf < start)
            crlf = lineBreakFrom(line, start);
        if (crlf >= 0 && crlf - start <= room) {
            put(line.sliced(start, crlf + 2 - start));
            start = crlf + 2;
            room = kLineOctets;
            continue;
        }
        const qsizetype cut = foldPoint(line, start, start + room);
        put(line.sliced(start, cut - start));
        put("\r\n ");
        start = cut;
        room = kLineOctets - 1;
    }
    put(line.sliced(start));
    out.resize(d - out.constData());
}

// Appends a content line, its name and parameters `head` and its value, folded. The value is
// folded where it stands, not copied into a line first: a photo's value is kilobytes long.
void appendFolded(QByteArray &out, QByteArrayView head, QByteArrayView value)
{
    // A head that leaves less room than the widest unit (a four-octet character, an "=XX") is
    // folded with the value as one line.
    constexpr qsizetype kWidestUnit = 8;
    if (head.size() + kWidestUnit > kLineOctets) {
        QByteArray line = head.toByteArray();
        line += value;
        appendFolded(out, line, kLineOctets);
        return;
    }
    out += head;
    appendFolded(out, value, kLineOctets - head.size());
}

} // namespace

QList<QList<QVCardParser::_Property>> QVCardParser::parse(const QByteArray &data)
{
    QList<QList<_Property>> cards;
    std::unique_ptr<CARD_Parser, TokenizerFree> tokenizer(CARD_ParserCreate());
    if (!tokenizer)
        throw std::bad_alloc();
    ParseState state;
    state.cards = &cards;
    state.tokenizer = tokenizer.get();
    CARD_SetUserData(tokenizer.get(), &state);
    CARD_SetPropHandler(tokenizer.get(), propHandler);
    CARD_SetDataHandler(tokenizer.get(), dataHandler);

    // One call takes at most INT_MAX bytes; larger inputs go in slices.
    constexpr qsizetype kSlice = 1 << 30;
    qsizetype offset = 0;
    do {
        const qsizetype n = qMin(kSlice, data.size() - offset);
        const bool last = offset + n >= data.size();
        if (!CARD_Parse(tokenizer.get(), data.constData() + offset, int(n), last ? 1 : 0))
            throw std::bad_alloc();
        offset += n;
    } while (offset < data.size());
    // A card the input ends in without its END line.
    finishCard(&state);
    return cards;
}

QString QVCardParser::_Property::toString() const
{
    const QString text = decodedText(*this);
    return textEscapes ? unescape(text) : text;
}

QString QVCardParser::_Property::linkText() const
{
    const QString text = decodedText(*this);
    if (!textEscapes)
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool escape = text[i] == QLatin1Char('\\') && i + 1 < text.size() &&
                            (text[i + 1] == QLatin1Char(':') || text[i + 1] == QLatin1Char(',') ||
                             text[i + 1] == QLatin1Char(';'));
        if (!escape)
            out += text[i];
    }
    return out;
}

QStringList QVCardParser::_Property::values() const
{
    const QString text = decodedText(*this);
    QStringList result;
    if (textEscapes) {
        qsizetype start = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i] == QLatin1Char('\\')) {
                ++i;
            } else if (text[i] == QLatin1Char(';')) {
                result << unescape(QStringView(text).mid(start, i - start));
                start = i + 1;
            }
        }
        if (start < text.size())
            result << unescape(QStringView(text).mid(start));
        return result;
    }

    QString field;
    bool escape = false;
    for (const QChar c : std::as_const(text)) {
        if (escape) {
            field += c;
            escape = false;
        } else if (c == QLatin1Char('\\')) {
            escape = true;
        } else if (c == QLatin1Char(';')) {
            result << field;
            field.clear();
        } else {
            field += c;
        }
    }
    if (!field.isEmpty())
        result << field;
    return result;
}

QStringList QVCardParser::_Property::listValues() const
{
    const QString text = decodedText(*this);
    if (!textEscapes)
        return {text};
    QStringList result;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] == QLatin1Char('\\')) {
            ++i;
        } else if (i == text.size() || text[i] == QLatin1Char(',')) {
            result << unescape(QStringView(text).mid(start, qMin(i, text.size()) - start));
            start = i + 1;
        }
    }
    return result;
}

QString QVCardParser::_Property::baseName() const
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.mid(dot + 1);
}

QString QVCardParser::_Property::group() const
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.left(dot);
}

QString QVCardParser::_Property::param(const QString &key, bool *found) const
{
    for (auto it = params.constBegin(); it != params.constEnd(); ++it) {
        if (it.key().compare(key, Qt::CaseInsensitive) == 0) {
            if (found)
                *found = true;
            return it.value();
        }
    }
    if (found)
        *found = false;
    return QString();
}

QStringList QVCardParser::_Property::typeWords() const
{
    QStringList words;
    QSet<QString> seen;
    auto add = [&](const QString &word) {
        const QString w = word.trimmed().toLower();
        if (!w.isEmpty() && !seen.contains(w)) {
            seen.insert(w);
            words << w;
        }
    };
    for (auto it = params.constBegin(); it != params.constEnd(); ++it) {
        if (it.key().compare(QLatin1String("TYPE"), Qt::CaseInsensitive) == 0) {
            for (const QString &w : it.value().split(QLatin1Char(',')))
                add(w);
        } else if (it.value().isEmpty()) {
            add(it.key());
        }
    }
    return words;
}

bool QVCardParser::_Property::isBase64() const
{
    for (auto it = params.constBegin(); it != params.constEnd(); ++it) {
        const QString word =
            it.key().compare(QLatin1String("ENCODING"), Qt::CaseInsensitive) == 0 ? it.value() : it.key();
        if (word.compare(QLatin1String("B"), Qt::CaseInsensitive) == 0 ||
            word.compare(QLatin1String("BASE64"), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QByteArray QVCardParser::encodeQuoted(const QByteArray &bytes, int width)
{
    static const char digits[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(bytes.size() * 3);
    int count = 0;
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b == '=' || b < 0x21 || b > 0x7E) {
            out += '=';
            out += digits[b >> 4];
            out += digits[b & 0x0F];
            count += 3;
        } else {
            out += char(b);
            count += 1;
        }
        if (width != 0 && count >= width - 3) {
            out += "=\r\n ";
            count = 0;
        }
    }
    return out;
}

QByteArray QVCardParser::encodeBase64(const QByteArray &bytes, int width)
{
    const QByteArray text = bytes.toBase64();
    const qsizetype step = qMax(1, width);
    QByteArray out;
    out.reserve(text.size() + (text.size() / step + 1) * 3);
    for (qsizetype i = 0; i < text.size(); i += step) {
        if (i)
            out += "\r\n ";
        out += QByteArrayView(text).sliced(i, qMin(step, text.size() - i));
    }
    return out;
}

QByteArray QVCardParser::vcard2Bytes(const QList<_Property> &props)
{
    const bool fold = isModernCard(props);
    // One allocation for the card: a photo alone is several kilobytes.
    qsizetype size = 26;
    for (const _Property &p : props) {
        size += p.name.size() + p.value.size() + 3;
        for (auto it = p.params.constBegin(); it != p.params.constEnd(); ++it)
            size += it.key().size() + it.value().size() + 2;
    }
    if (fold)
        size += size / (kLineOctets - 8) * 3 + props.size() * 6; // as appendFolded() makes room
    QByteArray out;
    out.reserve(size);
    out += "BEGIN:VCARD\r\n";
    QByteArray head;
    for (const _Property &p : props) {
        head.resize(0);
        appendLatin1(head, p.name);
        for (auto it = p.params.constBegin(); it != p.params.constEnd(); ++it) {
            head += ';';
            appendLatin1(head, it.key());
            head += '=';
            appendLatin1(head, it.value());
        }
        head += ':';
        if (fold) {
            appendFolded(out, head, p.value);
        } else {
            out += head;
            out += p.value;
        }
        out += "\r\n";
    }
    out += "END:VCARD\r\n";
    return out;
}
