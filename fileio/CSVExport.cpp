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
    QString line;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            line += QLatin1Char(',');
        line += csvhelper::formatCell(cells[i]);
    }
    line += QLatin1Char('\n');
    return line.toUtf8();
}
