#pragma once

#include "OpenSslHandles.h"

#include <QByteArray>
#include <QString>

#include <memory>

// The RSA key pair with which this computer signs in to phones. Made once and kept, so that a
// phone that was told to trust this computer keeps trusting it across runs.
class AdbKey
{
public:
    static constexpr int kBits = 2048;
    // Size of the phone's binary form of the public key.
    static constexpr int kAndroidPublicKeySize = 524;
    // Size of the token a phone asks us to sign.
    static constexpr int kTokenSize = 20;

    // Reads the private key kept at path (PKCS#8 PEM); when there is none, makes a new one and
    // keeps it there, readable by the owner only, with the public key beside it in path + ".pub".
    // Throws AdbError when neither works.
    static AdbKey loadOrCreate(const QString &path);

    // The folder the shared key lives in; set once at start-up, before the first phone.
    static void setStoreFolder(const QString &folder);
    static QString storeFolder();
    // The key of the store folder, loaded or made on first use. Throws AdbError.
    static std::shared_ptr<const AdbKey> shared();

    // PKCS#1 v1.5 signature of a token, the token standing for a SHA-1 digest as phones expect.
    QByteArray sign(const QByteArray &token) const;
    // The public key in the phone's binary layout: modulus size in words, n0inv, modulus and R²
    // (little-endian), exponent.
    QByteArray androidPublicKey() const;
    // What a phone is sent to show its trust prompt: Base64 of the binary key, a blank and
    // "user@host".
    QByteArray publicKeyLine() const;

    EVP_PKEY *pkey() const { return m_key.get(); }

private:
    explicit AdbKey(EvpPkeyPtr key);
    static AdbKey generate();
    static void store(const AdbKey &key, const QString &path);

    std::shared_ptr<EVP_PKEY> m_key;
};
