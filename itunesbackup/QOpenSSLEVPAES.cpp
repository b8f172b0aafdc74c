#include "QOpenSSLEVPAES.h"

#include <QIODevice>

#include <openssl/evp.h>

#include <vector>

namespace {

const unsigned char *bytesOrNone(const QByteArray &b)
{
    return b.isEmpty() ? nullptr : reinterpret_cast<const unsigned char *>(b.constData());
}

} // namespace

QOpenSSLEVPAES::QOpenSSLEVPAES()
    : ctx(EVP_CIPHER_CTX_new())
{}

QOpenSSLEVPAES::~QOpenSSLEVPAES()
{
    if (ctx)
        EVP_CIPHER_CTX_free(ctx);
    ctx = nullptr;
}

bool QOpenSSLEVPAES::init(const EVP_CIPHER *cipher, const QByteArray &key, const QByteArray &iv, bool encrypt)
{
    if (!ctx) {
        lastError = QStringLiteral("QOpenSSLEVPAES::init, EVP_CIPHER_CTX_new gave no context.");
        return false;
    }
    if (!EVP_CipherInit_ex(ctx, cipher, nullptr, bytesOrNone(key), bytesOrNone(iv), encrypt ? 1 : 0)) {
        lastError = QStringLiteral("QOpenSSLEVPAES::init, EVP_CipherInit_ex return false.");
        return false;
    }
    return true;
}

qint64 QOpenSSLEVPAES::updateAll(QIODevice *in, QIODevice *out, int blockSize)
{
    if (blockSize <= 0) {
        lastError = QStringLiteral("QOpenSSLEVPAES::updateAll, invalid block size.");
        return -1;
    }
    std::vector<unsigned char> inBuf(static_cast<size_t>(blockSize));
    std::vector<unsigned char> outBuf(size_t(blockSize) + EVP_MAX_BLOCK_LENGTH);
    qint64 written = 0;
    while (!in->atEnd()) {
        const qint64 n = in->read(reinterpret_cast<char *>(inBuf.data()), blockSize);
        if (n < 0) {
            lastError = QStringLiteral("QOpenSSLEVPAES::updateAll, read failed. %1").arg(in->errorString());
            return -1;
        }
        if (n == 0)
            break;
        int outLen = 0;
        if (!EVP_CipherUpdate(ctx, outBuf.data(), &outLen, inBuf.data(), int(n))) {
            lastError = QStringLiteral("QOpenSSLEVPAES::updateAll, EVP_CipherUpdate return false.");
            return -1;
        }
        if (outLen > 0 && out->write(reinterpret_cast<const char *>(outBuf.data()), outLen) != outLen) {
            lastError = QStringLiteral("QOpenSSLEVPAES::updateAll, write failed. %1").arg(out->errorString());
            return -1;
        }
        written += outLen;
    }
    return written;
}

int QOpenSSLEVPAES::finalAll(QIODevice *out, int bufferSize)
{
    std::vector<unsigned char> buf(size_t(qMax(bufferSize, int(EVP_MAX_BLOCK_LENGTH))));
    int outLen = 0;
    if (!EVP_CipherFinal_ex(ctx, buf.data(), &outLen)) {
        lastError = QStringLiteral("QOpenSSLEVPAES::finalAll, EVP_CipherFinal return false.");
        return -1;
    }
    if (outLen > 0 && out->write(reinterpret_cast<const char *>(buf.data()), outLen) != outLen) {
        lastError = QStringLiteral("QOpenSSLEVPAES::finalAll, write failed. %1").arg(out->errorString());
        return -1;
    }
    return outLen;
}

QByteArray QOpenSSLEVPAES::aeswrap(QByteArray key, QByteArray data, bool wrap)
{
    const EVP_CIPHER *cipher = nullptr;
    switch (key.size()) {
    case 32:
        cipher = EVP_aes_256_wrap();
        break;
    case 24:
        cipher = EVP_aes_192_wrap();
        break;
    case 16:
        cipher = EVP_aes_128_wrap();
        break;
    default:
        return QByteArray();
    }
    QOpenSSLEVPAES aes;
    if (!aes.ctx)
        return QByteArray();
    EVP_CIPHER_CTX_reset(aes.ctx);
    EVP_CIPHER_CTX_set_flags(aes.ctx, EVP_CIPHER_CTX_FLAG_WRAP_ALLOW);
    if (!aes.init(cipher, key, QByteArray(), wrap))
        return QByteArray();
    QByteArray out(data.size() * 2 + 16, '\0');
    int len = 0;
    if (!EVP_CipherUpdate(aes.ctx, reinterpret_cast<unsigned char *>(out.data()), &len,
                          reinterpret_cast<const unsigned char *>(data.constData()), int(data.size()))
        || len < 0)
        return QByteArray();
    int finalLen = 0;
    if (!EVP_CipherFinal_ex(aes.ctx, reinterpret_cast<unsigned char *>(out.data()) + len, &finalLen) || finalLen < 0)
        return QByteArray();
    out.truncate(len + finalLen);
    return out;
}
