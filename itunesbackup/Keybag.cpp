#include "Keybag.h"

#include "Pbkdf2.h"
#include "QOpenSSLEVPAES.h"

#include <QtEndian>

#include <openssl/evp.h>

#include <optional>

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

namespace {

// A count attribute: present, four bytes or more, and at least 1.
std::optional<int> countOf(const QMap<QString, QByteArray> &attrs, const QString &tag)
{
    const auto it = attrs.constFind(tag);
    if (it == attrs.constEnd() || it->size() < 4)
        return std::nullopt;
    const qint32 value = qFromBigEndian<qint32>(it->constData());
    if (value < 1)
        return std::nullopt;
    return value;
}

} // namespace

bool unlockWithPasscode(QByteArray passcode, _KeybagInfo &keybag, const UnlockProgress &progress)
{
    const std::optional<int> iter = countOf(keybag.attrs, QStringLiteral("ITER"));
    if (!iter || !keybag.attrs.contains(QStringLiteral("SALT")))
        return false;
    const QByteArray salt = keybag.attrs.value(QStringLiteral("SALT"));
    const bool twoSteps =
        keybag.attrs.contains(QStringLiteral("DPIC")) && keybag.attrs.contains(QStringLiteral("DPSL"));
    std::optional<int> dpic;
    if (twoSteps) {
        dpic = countOf(keybag.attrs, QStringLiteral("DPIC"));
        if (!dpic)
            return false;
    }

    // One share of progress for every iteration of both steps (SHA-1 runs two blocks for 32 bytes).
    const qint64 total = (dpic ? qint64(*dpic) : 0) + 2 * qint64(*iter);
    qint64 before = 0;
    int lastPercent = -1;
    const Pbkdf2::Step step = [&](qint64 done) {
        if (!progress)
            return true;
        const int percent = int((before + done) * 100 / total);
        if (percent == lastPercent)
            return true;
        lastPercent = percent;
        return progress(percent);
    };

    QByteArray password = passcode;
    if (dpic) {
        password = Pbkdf2::derive(EVP_sha256(), passcode, keybag.attrs.value(QStringLiteral("DPSL")), *dpic, 32, step);
        if (password.isEmpty())
            return false;
        before = *dpic;
    }
    const QByteArray key = Pbkdf2::derive(EVP_sha1(), password, salt, *iter, 32, step);
    if (key.isEmpty())
        return false;

    for (auto it = keybag.classKeys.begin(); it != keybag.classKeys.end(); ++it) {
        _KeybagPros &classKey = it.value();
        if (!classKey.contains(QStringLiteral("WPKY")))
            continue;
        // Without a WRAP of four bytes nothing says the key is wrapped with the passcode.
        if ((classKey.getInt32(QStringLiteral("WRAP"), 0) & 2) == 0)
            continue;
        const QByteArray unwrapped = QOpenSSLEVPAES::aeswrap(key, classKey.value(QStringLiteral("WPKY")), false);
        if (unwrapped.isEmpty())
            return false;
        classKey.insert(QStringLiteral("KEY"), unwrapped);
    }
    return true;
}

QByteArray unwrapKeyForClass(const _KeybagInfo &keybag, int protectionClass, QByteArray wrappedKey)
{
    const auto it = keybag.classKeys.constFind(protectionClass);
    if (it == keybag.classKeys.constEnd() || wrappedKey.size() != 40)
        return QByteArray();
    return QOpenSSLEVPAES::aeswrap(it->value(QStringLiteral("KEY")), wrappedKey, false);
}
