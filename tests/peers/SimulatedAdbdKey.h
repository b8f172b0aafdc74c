#pragma once

#include <QByteArray>

#include <memory>

namespace tarnwick::peers {

// A host's public key as a phone keeps it: decoded from the phone's binary key layout (modulus
// size in words, n0inv, modulus and R² little-endian, exponent), with the Montgomery values checked
// against the modulus, and able to check a host's signature of a token.
class SimulatedAdbdKey
{
public:
    static constexpr int kBlobSize = 524;

    // Null when the blob is not a well-formed 2048-bit key.
    static std::shared_ptr<SimulatedAdbdKey> fromBlob(const QByteArray &blob);
    // Same, from the "<Base64> user@host" text of an AUTH message (trailing NUL allowed).
    static std::shared_ptr<SimulatedAdbdKey> fromPublicKeyLine(const QByteArray &line);
    ~SimulatedAdbdKey();

    QByteArray blob() const { return m_blob; }
    // PKCS#1 v1.5 signature of a 20-byte token taken as a SHA-1 digest.
    bool verify(const QByteArray &token, const QByteArray &signature) const;

private:
    SimulatedAdbdKey() = default;
    QByteArray m_blob;
    struct Pkey;
    std::unique_ptr<Pkey> m_pkey;
};

} // namespace tarnwick::peers
