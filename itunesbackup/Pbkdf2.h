#pragma once

#include <QByteArray>

#include <functional>

typedef struct evp_md_st EVP_MD;

// PBKDF2 (PKCS #5) in slices, so that a long derivation can show progress and be stopped: the
// counts come from the backup, and a damaged one could mean hours.
class Pbkdf2
{
public:
    // Told how many iterations are done of how many; false stops the derivation.
    using Step = std::function<bool(qint64 done)>;
    // Iterations between two calls of the step.
    static constexpr int sliceSize = 1 << 16;

    // keyLength bytes of PBKDF2 with the HMAC of `md`; empty when a count below 1, a failure of
    // OpenSSL or the step stopped it.
    static QByteArray derive(const EVP_MD *md, const QByteArray &password, const QByteArray &salt,
                             int iterations, int keyLength, const Step &step = Step());
};
