#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;
typedef struct evp_cipher_ctx_st EVP_CIPHER_CTX;
typedef struct evp_cipher_st EVP_CIPHER;

// One OpenSSL cipher context pushing a whole stream from one device to another, and the AES key
// wrap of RFC 3394. Never throws: failures return false or -1 and leave a text in lastError that
// begins with the class and operation name.
class QOpenSSLEVPAES
{
public:
    QOpenSSLEVPAES();
    ~QOpenSSLEVPAES();
    QOpenSSLEVPAES(const QOpenSSLEVPAES &) = delete;
    QOpenSSLEVPAES &operator=(const QOpenSSLEVPAES &) = delete;

    // An empty key or iv is passed to OpenSSL as none.
    bool init(const EVP_CIPHER *cipher, const QByteArray &key, const QByteArray &iv, bool encrypt);
    // All of `in` from its position to its end through the cipher into `out`; the bytes written
    // (counted in 64 bits), or -1.
    qint64 updateAll(QIODevice *in, QIODevice *out, int blockSize);
    // The last block and its padding into `out`; the bytes written (0 to 16), or -1.
    int finalAll(QIODevice *out, int bufferSize);

    // RFC 3394 wrap (or unwrap) of `data` with a 16-, 24- or 32-byte key; empty on any failure.
    static QByteArray aeswrap(QByteArray key, QByteArray data, bool wrap);

    EVP_CIPHER_CTX *ctx = nullptr;
    QString lastError;
};
