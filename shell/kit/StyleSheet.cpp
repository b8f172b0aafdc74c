#include "StyleSheet.h"

#include <QFile>

namespace {
QString g_styleSheet;
}

QString getStyleSheet(const QString &path)
{
    if (!g_styleSheet.isEmpty())
        return g_styleSheet;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray content = file.readAll();
    const int nul = content.indexOf('\0');
    if (nul >= 0)
        content.truncate(nul);
    g_styleSheet = QString::fromLatin1(content);
    return g_styleSheet;
}
