#include "TxtExport.h"

namespace {

void appendField(QString &line, const QString &text, int width)
{
    line += text;
    if (text.size() < width)
        line += QString(width - text.size(), QLatin1Char(' '));
}

} // namespace

int TxtExport::colWidth(QString name)
{
    if (name.startsWith(QLatin1String("Date:")))
        return 20;
    if (name.startsWith(QLatin1String("Addr:")))
        return name.endsWith(QLatin1String(":Street")) ? 50 : 25;
    if (name.startsWith(QLatin1String("Url:")))
        return 60;
    if (name == QLatin1String("Notes"))
        return 100;
    return 25;
}

QByteArray TxtExport::cols2Bytes(QStringList columns)
{
    widths.clear();
    QString line;
    for (const QString &name : columns) {
        widths << colWidth(name);
        appendField(line, name, widths.last());
    }
    line += QLatin1Char('\n');
    return line.toUtf8();
}

QByteArray TxtExport::rowData2Bytes(QString *cells, int count)
{
    QString line;
    for (int i = 0; i < count; ++i) {
        QString text = cells[i];
        text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        appendField(line, text, i < widths.size() ? widths.at(i) : 25);
    }
    line += QLatin1Char('\n');
    return line.toUtf8();
}
