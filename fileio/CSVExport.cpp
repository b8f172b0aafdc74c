#include "CSVExport.h"

#include "csvhelper.h"

namespace {

// Appends the cell's UTF-8 into room the line has already: most cells are ASCII and are copied
// here without a QByteArray of their own; any other goes through the codec as a whole.
void appendUtf8(QByteArray &line, const QString &cell)
{
    const qsizetype at = line.size();
    line.resize(at + cell.size());
    char *d = line.data() + at;
    for (const QChar c : cell) {
        if (c.unicode() >= 0x80) {
            line.resize(at);
            line += cell.toUtf8();
            return;
        }
        *d++ = char(c.unicode());
    }
}

} // namespace

QByteArray CSVExport::cols2Bytes(QStringList columns)
{
    // A column may be named by the user's own text (a protocol of their own).
    for (QString &name : columns)
        name = csvhelper::formatCell(name);
    return (columns.join(QLatin1Char(',')) + QLatin1Char('\n')).toUtf8();
}

QByteArray CSVExport::rowData2Bytes(QString *cells, int count)
{
    // Written straight into the row's bytes, quoted where a cell needs it: the cost follows the
    // row's length, not its count of columns times an allocation each.
    qsizetype size = count + 1;
    for (int i = 0; i < count; ++i)
        size += cells[i].size() * 3 + 2;
    QByteArray line;
    line.reserve(size);
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            line += ',';
        const QString &cell = cells[i];
        if (cell.isEmpty())
            continue;
        if (!csvhelper::needsQuoting(cell)) {
            appendUtf8(line, cell);
            continue;
        }
        appendUtf8(line, csvhelper::formatCell(cell));
    }
    line += '\n';
    return line;
}
