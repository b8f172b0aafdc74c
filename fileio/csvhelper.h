#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

class QIODevice;

// The CSV text format the program writes and reads: one cell quoted for writing, one record read
// from a byte stream of UTF-8 text.
namespace csvhelper {

// The cell as written into a CSV file: wrapped in double quotes, inner quotes doubled, when it
// holds a line feed, a carriage return, a double quote or a comma; else unchanged.
QString formatCell(QString cell);
// Whether formatCell() quotes the cell.
bool needsQuoting(const QString &cell);

// Several values in one cell, separated by " ::: " as a widespread address book writes them. A
// value holding three colons in a row, or starting with a double quote, is wrapped in double
// quotes (inner ones doubled), so that it comes back as one value.
QString joinValues(const QStringList &values);
// Appends one value to a cell as joinValues() writes it; the caller puts the separator between.
void appendValue(QString &cell, const QString &value);
// The separator of several values in one cell.
extern const QString kValueSeparator;
// The values of a cell written by joinValues(); a cell without a separator is one value.
QStringList splitValues(const QString &cell);

// Reads the next record from the device and appends its fields to `fields` (not cleared first).
// Fields are separated by `separator` and the record ends at a CR LF, a LF or a lone CR outside
// quotes (true); the end of the input ends it too (false). Inside quotes they are text. A field's
// text ends at its first zero byte. With `skipBom` a leading UTF-8 byte-order mark is dropped, and
// an input without any byte returns false without a field. A read error throws
// std::runtime_error with the device's error text.
bool utf8CSVRow(QStringList &fields, QIODevice *device, bool skipBom, char separator = ',');

// Line ends (CR LF, LF or a lone CR) outside double quotes from the current position to the end of
// the device.
int totalRecords(QIODevice *device);

// Reads records (byte-order mark skipped) until one has at least `minFields` fields; false when
// the input ends first.
bool utf8CSVRowSkip(QStringList &fields, QIODevice *device, int minFields);

// The index of every column name; a repeated name maps to its last position.
QHash<QString, int> toHeader(QStringList names);

// The row's cell of the named column, or `defaultValue` when there is none.
QString getCell(const QHash<QString, int> &header, const QStringList &row, QString name,
                QString defaultValue);

} // namespace csvhelper
