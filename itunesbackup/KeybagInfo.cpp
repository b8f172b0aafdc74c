#include "KeybagInfo.h"

#include <QtEndian>

int _KeybagPros::getInt32(const QString &tag, int defaultValue) const
{
    const QByteArray bytes = value(tag);
    if (bytes.size() < 4)
        return defaultValue;
    return qFromBigEndian<qint32>(bytes.constData());
}
