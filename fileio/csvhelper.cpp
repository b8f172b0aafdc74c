#include "csvhelper.h"

#include "Logging.h"

#include <QIODevice>

#include <stdexcept>

namespace {

[[noreturn]] void throwReadError(QIODevice *device, const char *function)
{
    const QString error = device->errorString();
    qCDebug(lcFileIo, "%s::error:%s", function, error.toLatin1().constData());
    throw std::runtime_error(error.toUtf8().toStdString());
}

// Field text: UTF-8 up to the first zero byte.
QString fieldText(const QByteArray &bytes)
{
    const qsizetype zero = bytes.indexOf('\0');
    return QString::fromUtf8(zero < 0 ? bytes : bytes.left(zero));
}

// One byte, false at the end of the input; a read error throws.
bool nextByte(QIODevice *device, char &c, const char *function)
{
    const qint64 n = device->read(&c, 1);
    if (n == 1)
        return true;
    if (n < 0)
        throwReadError(device, function);
    return false;
}

// After a carriage return: takes the line feed of a CR LF pair, leaves any other byte unread.
void skipLineFeed(QIODevice *device, const char *function)
{
    char next;
    if (nextByte(device, next, function) && next != '\n')
        device->ungetChar(next);
}

} // namespace

const QString csvhelper::kValueSeparator = QStringLiteral(" ::: ");

namespace {

// A value starting with a double quote, or holding three colons in a row. Every value of every
// row of an export comes through here: one pass over its characters, no search set up per value.
bool needsQuotes(const QString &value)
{
    if (value.startsWith(QLatin1Char('"')))
        return true;
    int colons = 0;
    for (const QChar c : value) {
        colons = c == QLatin1Char(':') ? colons + 1 : 0;
        if (colons == 3)
            return true;
    }
    return false;
}

} // namespace

void csvhelper::appendValue(QString &cell, const QString &value)
{
    if (!needsQuotes(value)) {
        cell += value;
        return;
    }
    cell += QLatin1Char('"');
    for (const QChar c : value) {
        if (c == QLatin1Char('"'))
            cell += QLatin1Char('"');
        cell += c;
    }
    cell += QLatin1Char('"');
}

QString csvhelper::joinValues(const QStringList &values)
{
    QString out;
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (i > 0)
            out += kValueSeparator;
        appendValue(out, values.at(i));
    }
    return out;
}

QStringList csvhelper::splitValues(const QString &cell)
{
    QStringList values;
    const QStringView text(cell);
    qsizetype start = 0;
    for (;;) {
        // A value in quotes: taken as such only when its closing quote ends the cell or stands
        // before a separator; any other text starting with a quote is read as it stands.
        if (start < text.size() && text[start] == QLatin1Char('"')) {
            QString value;
            qsizetype i = start + 1;
            bool closed = false;
            while (i < text.size()) {
                if (text[i] == QLatin1Char('"')) {
                    if (i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
                        value += QLatin1Char('"');
                        i += 2;
                        continue;
                    }
                    closed = true;
                    ++i;
                    break;
                }
                value += text[i++];
            }
            if (closed && (i == text.size() || text.mid(i).startsWith(kValueSeparator))) {
                values << value;
                if (i == text.size())
                    return values;
                start = i + kValueSeparator.size();
                continue;
            }
        }
        const qsizetype sep = text.indexOf(kValueSeparator, start);
        if (sep < 0) {
            values << text.mid(start).toString();
            return values;
        }
        values << text.mid(start, sep - start).toString();
        start = sep + kValueSeparator.size();
    }
}

bool csvhelper::needsQuoting(const QString &cell)
{
    for (const QChar c : cell) {
        switch (c.unicode()) {
        case '\n':
        case '\r':
        case ',':
        case '"':
            return true;
        default:
            break;
        }
    }
    return false;
}

QString csvhelper::formatCell(QString cell)
{
    if (!needsQuoting(cell))
        return cell;
    bool quote = false;
    QString out;
    out.reserve(cell.size() + 2);
    for (const QChar c : std::as_const(cell)) {
        switch (c.unicode()) {
        case '\n':
        case '\r': // a bare one would be dropped on reading
        case ',':
            quote = true;
            break;
        case '"':
            out += QLatin1Char('"');
            quote = true;
            break;
        default:
            break;
        }
        out += c;
    }
    if (quote) {
        out.prepend(QLatin1Char('"'));
        out += QLatin1Char('"');
    }
    return out;
}

bool csvhelper::utf8CSVRow(QStringList &fields, QIODevice *device, bool skipBom, char separator)
{
    static const char *const kFunction = "utf8CSVRow";
    QByteArray buffer;
    bool opened = false;  // the field has opened its quoted section
    bool quoted = false;  // inside that section
    bool pending = false; // a quote inside the section; the next byte tells what it was

    if (skipBom) {
        // Looked at without taking: bytes that are no mark are row text.
        char head[3];
        device->startTransaction();
        qint64 n = 0;
        while (n < 3) {
            const qint64 got = device->read(head + n, 3 - n);
            if (got < 0) {
                device->rollbackTransaction();
                throwReadError(device, kFunction);
            }
            if (got == 0)
                break;
            n += got;
        }
        if (n == 3 && head[0] == '\xEF' && head[1] == '\xBB' && head[2] == '\xBF') {
            device->commitTransaction();
        } else {
            device->rollbackTransaction();
            if (n == 0)
                return false;
        }
    }

    char c;
    while (nextByte(device, c, kFunction)) {
        if (!opened && c == '"') {
            opened = quoted = true;
            continue;
        }
        if (quoted && c == '"') {
            if (pending)
                buffer += '"';
            pending = !pending;
            continue;
        }
        if (quoted && pending)
            quoted = pending = false;
        if (quoted) {
            buffer += c;
            continue;
        }
        if (c == separator) {
            fields << fieldText(buffer);
            buffer.clear();
            opened = quoted = pending = false;
        } else if (c == '\r' || c == '\n') {
            // Rows end at CR LF, LF or a lone CR (as older programs write them).
            if (c == '\r')
                skipLineFeed(device, kFunction);
            fields << fieldText(buffer);
            return true;
        } else {
            buffer += c;
        }
    }
    fields << fieldText(buffer);
    return false;
}

int csvhelper::totalRecords(QIODevice *device)
{
    int records = 0;
    bool inside = false;
    char c;
    while (nextByte(device, c, "totalRecords")) {
        if (c == '"') {
            inside = !inside;
        } else if ((c == '\n' || c == '\r') && !inside) {
            if (c == '\r')
                skipLineFeed(device, "totalRecords");
            ++records;
        }
    }
    return records;
}

bool csvhelper::utf8CSVRowSkip(QStringList &fields, QIODevice *device, int minFields)
{
    for (;;) {
        if (!utf8CSVRow(fields, device, true))
            return false;
        if (fields.size() >= minFields)
            return true;
        fields.clear();
    }
}

QHash<QString, int> csvhelper::toHeader(QStringList names)
{
    QHash<QString, int> header;
    for (int i = 0; i < names.size(); ++i)
        header.insert(names[i], i);
    return header;
}

QString csvhelper::getCell(const QHash<QString, int> &header, const QStringList &row, QString name,
                           QString defaultValue)
{
    const auto it = header.constFind(name);
    if (it == header.constEnd() || it.value() < 0 || it.value() >= row.size())
        return defaultValue;
    return row.at(it.value());
}
