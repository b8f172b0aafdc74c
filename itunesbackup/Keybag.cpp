#include "Keybag.h"

#include <QtEndian>

namespace {

// The tags that belong to a class key; "UUID" is handled on its own.
bool isClassKeyTag(const QString &tag)
{
    static const QString classKeyTags = QStringLiteral("CLAS WRAP WPKY KTYP PBKY");
    return classKeyTags.contains(tag, Qt::CaseSensitive);
}

void fileClassKey(const _KeybagPros &current, QMap<int, _KeybagPros> &classKeys)
{
    const QByteArray clas = current.value(QStringLiteral("CLAS"));
    if (clas.size() >= 4)
        classKeys.insert(qFromBigEndian<qint32>(clas.constData()), current);
}

} // namespace

_KeybagInfo parseKeybag(const QByteArray &blob)
{
    _KeybagInfo info;
    _KeybagPros current;
    qsizetype pos = 0;
    while (blob.size() - pos >= 8) {
        const QString tag = QString::fromLatin1(blob.constData() + pos, 4);
        const quint32 length = qFromBigEndian<quint32>(blob.constData() + pos + 4);
        if (quint64(length) > quint64(blob.size() - pos - 8))
            break;
        const QByteArray value = blob.mid(pos + 8, qsizetype(length));
        pos += 8 + qsizetype(length);

        const QString uuid = QStringLiteral("UUID");
        const QString wrap = QStringLiteral("WRAP");
        if (tag == uuid && !info.attrs.contains(uuid)) {
            info.attrs.insert(uuid, value);
        } else if (tag == wrap && !info.attrs.contains(wrap)) {
            info.attrs.insert(wrap, value);
        } else if (tag == uuid) {
            fileClassKey(current, info.classKeys);
            current = _KeybagPros();
            current.insert(uuid, value);
        } else if (isClassKeyTag(tag)) {
            current.insert(tag, value);
        } else {
            info.attrs.insert(tag, value);
        }
        fileClassKey(current, info.classKeys);
    }
    return info;
}
