#include "IOSVersion.h"

#include <QRegularExpression>
#include <QStringList>

_IOSVersion::_IOSVersion(const QString &text)
{
    static const QRegularExpression digitRun(QStringLiteral("\\.?(\\d+)"));
    QRegularExpressionMatchIterator it = digitRun.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        parts.append(match.captured(1).toInt(nullptr, 10));
    }
}

int _IOSVersion::compare(const _IOSVersion &other) const
{
    const int shared = qMin(parts.size(), other.parts.size());
    for (int i = 0; i < shared; ++i) {
        const int difference = parts.at(i) - other.parts.at(i);
        if (difference != 0)
            return difference;
    }
    return int(parts.size() - other.parts.size());
}

QString _IOSVersion::toString() const
{
    QStringList texts;
    texts.reserve(parts.size());
    for (int part : parts)
        texts.append(QString::number(part, 10));
    return texts.join(QLatin1Char('.'));
}
