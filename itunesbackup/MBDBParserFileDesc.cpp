// Encrypted file descriptions: the "file" values of a salted Manifest.db.
#include "MBDBParser.h"

#include "QOpenSSLEVPAES.h"

#include <QBuffer>
#include <QCryptographicHash>

#include <openssl/evp.h>

#include <stdexcept>

namespace {

const EVP_CIPHER *cbcFor(const QByteArray &key)
{
    switch (key.size()) {
    case 16:
        return EVP_aes_128_cbc();
    case 24:
        return EVP_aes_192_cbc();
    case 32:
        return EVP_aes_256_cbc();
    default:
        return nullptr;
    }
}

QByteArray runFileDesc(const QByteArray &data, const QByteArray &key, bool encrypt, const char *operation)
{
    const EVP_CIPHER *cipher = cbcFor(key);
    if (!cipher)
        throw std::runtime_error(std::string(operation) + ", invalid key size.");
    static const QByteArray iv = QByteArray::fromHex("5c1e9a07d3b8462fa90e7c3415d2b86e");
    QOpenSSLEVPAES aes;
    QByteArray input = data;
    QBuffer in(&input);
    in.open(QIODevice::ReadOnly);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    if (!aes.init(cipher, key, iv, encrypt) || aes.updateAll(&in, &out, 8192) < 0 || aes.finalAll(&out, 8192) < 0)
        throw std::runtime_error(QStringLiteral("%1, %2").arg(QLatin1String(operation), aes.lastError).toUtf8().toStdString());
    return out.data();
}

} // namespace

QByteArray MBDBParser::fileDescKey(const QByteArray &password, const QByteArray &salt)
{
    QCryptographicHash sha1(QCryptographicHash::Sha1);
    sha1.addData(password);
    sha1.addData(salt);
    return sha1.result().left(16);
}

QByteArray MBDBParser::decryptFileDescThrow(const QByteArray &data, const QByteArray &key)
{
    if (data.isEmpty())
        return QByteArray();
    return runFileDesc(data, key, false, "MBDBParser::decryptFileDescThrow");
}

QByteArray MBDBParser::encryptFileDescThrow(const QByteArray &data, const QByteArray &key)
{
    return runFileDesc(data, key, true, "MBDBParser::encryptFileDescThrow");
}
