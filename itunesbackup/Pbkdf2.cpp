// HMAC_CTX is deprecated in OpenSSL 3 but is what its own PBKDF2 runs on: copying a keyed context
// per iteration keeps this loop as fast as PKCS5_PBKDF2_HMAC.
#define OPENSSL_SUPPRESS_DEPRECATED
#include "Pbkdf2.h"

#include <QtEndian>

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <memory>

namespace {

struct HmacFree
{
    void operator()(HMAC_CTX *c) const { HMAC_CTX_free(c); }
};
using Hmac = std::unique_ptr<HMAC_CTX, HmacFree>;

} // namespace

QByteArray Pbkdf2::derive(const EVP_MD *md, const QByteArray &password, const QByteArray &salt, int iterations,
                          int keyLength, const Step &step)
{
    if (iterations < 1 || keyLength < 1 || !md)
        return QByteArray();
    const int mdSize = EVP_MD_get_size(md);
    Hmac keyed(HMAC_CTX_new());
    Hmac work(HMAC_CTX_new());
    if (!keyed || !work || mdSize <= 0
        || !HMAC_Init_ex(keyed.get(), password.constData(), int(password.size()), md, nullptr))
        return QByteArray();

    QByteArray out;
    const int blocks = (keyLength + mdSize - 1) / mdSize;
    qint64 done = 0;
    unsigned char u[EVP_MAX_MD_SIZE];
    unsigned char t[EVP_MAX_MD_SIZE];
    for (int block = 1; block <= blocks; ++block) {
        char index[4];
        qToBigEndian(quint32(block), index);
        unsigned int len = 0;
        if (!HMAC_CTX_copy(work.get(), keyed.get())
            || !HMAC_Update(work.get(), reinterpret_cast<const unsigned char *>(salt.constData()), size_t(salt.size()))
            || !HMAC_Update(work.get(), reinterpret_cast<const unsigned char *>(index), 4)
            || !HMAC_Final(work.get(), u, &len))
            return QByteArray();
        memcpy(t, u, size_t(mdSize));
        for (int i = 1; i < iterations; ++i) {
            if (!HMAC_CTX_copy(work.get(), keyed.get()) || !HMAC_Update(work.get(), u, size_t(mdSize))
                || !HMAC_Final(work.get(), u, &len))
                return QByteArray();
            for (int k = 0; k < mdSize; ++k)
                t[k] ^= u[k];
            if (step && (i % sliceSize) == 0 && !step(done + i))
                return QByteArray();
        }
        done += iterations;
        out.append(reinterpret_cast<const char *>(t), mdSize);
    }
    if (step && !step(done))
        return QByteArray();
    out.truncate(keyLength);
    return out;
}
