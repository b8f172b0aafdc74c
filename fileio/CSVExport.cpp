#include "CSVExport.h"

#include "csvhelper.h"

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
            line += cell.toUtf8();
            continue;
        }
        line += csvhelper::formatCell(cell).toUtf8();
    }
    line += '\n';
    return line;
}
