#include "SimulatedAdbdKey.h"

#include <QtEndian>

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rsa.h>

namespace tarnwick::peers {

namespace {

constexpr int kModulusBytes = 256;

using Bn = std::unique_ptr<BIGNUM, decltype(&BN_free)>;

Bn fromLittleEndian(const char *data, int size)
{
    return Bn(BN_lebin2bn(reinterpret_cast<const unsigned char *>(data), size, nullptr), BN_free);
}

} // namespace

struct SimulatedAdbdKey::Pkey
{
    EVP_PKEY *key = nullptr;
    ~Pkey() { EVP_PKEY_free(key); }
};

SimulatedAdbdKey::~SimulatedAdbdKey() = default;

std::shared_ptr<SimulatedAdbdKey> SimulatedAdbdKey::fromBlob(const QByteArray &blob)
{
    if (blob.size() != kBlobSize)
        return nullptr;
    const char *p = blob.constData();
    if (qFromLittleEndian<quint32>(p) != kModulusBytes / 4)
        return nullptr;
    const quint32 n0inv = qFromLittleEndian<quint32>(p + 4);
    Bn n = fromLittleEndian(p + 8, kModulusBytes);
    Bn rr = fromLittleEndian(p + 8 + kModulusBytes, kModulusBytes);
    const quint32 exponent = qFromLittleEndian<quint32>(p + 8 + 2 * kModulusBytes);
    if (!n || !rr || BN_num_bits(n.get()) != 2048 || exponent < 3)
        return nullptr;

    // A phone computes with n0inv and R² as given, so wrong ones make every signature fail there.
    std::unique_ptr<BN_CTX, decltype(&BN_CTX_free)> ctx(BN_CTX_new(), BN_CTX_free);
    Bn low(BN_new(), BN_free);
    BN_copy(low.get(), n.get());
    BN_mask_bits(low.get(), 32);
    const quint32 nLow = quint32(BN_get_word(low.get()));
    if (quint32(nLow * n0inv) != 0xffffffffu)
        return nullptr;
    Bn expected(BN_new(), BN_free);
    BN_set_bit(expected.get(), 2 * 2048);
    BN_mod(expected.get(), expected.get(), n.get(), ctx.get());
    if (BN_cmp(expected.get(), rr.get()) != 0)
        return nullptr;

    Bn e(BN_new(), BN_free);
    BN_set_word(e.get(), exponent);
    std::unique_ptr<OSSL_PARAM_BLD, decltype(&OSSL_PARAM_BLD_free)> build(OSSL_PARAM_BLD_new(), OSSL_PARAM_BLD_free);
    OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_N, n.get());
    OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_E, e.get());
    std::unique_ptr<OSSL_PARAM, decltype(&OSSL_PARAM_free)> params(OSSL_PARAM_BLD_to_param(build.get()),
                                                                    OSSL_PARAM_free);
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> fromData(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr),
                                                                        EVP_PKEY_CTX_free);
    auto key = std::shared_ptr<SimulatedAdbdKey>(new SimulatedAdbdKey);
    key->m_pkey = std::make_unique<Pkey>();
    if (!params || !fromData || EVP_PKEY_fromdata_init(fromData.get()) != 1 ||
        EVP_PKEY_fromdata(fromData.get(), &key->m_pkey->key, EVP_PKEY_PUBLIC_KEY, params.get()) != 1) {
        return nullptr;
    }
    key->m_blob = blob;
    return key;
}

std::shared_ptr<SimulatedAdbdKey> SimulatedAdbdKey::fromPublicKeyLine(const QByteArray &line)
{
    QByteArray text = line;
    if (text.endsWith('\0'))
        text.chop(1);
    const int blank = text.indexOf(' ');
    const QByteArray base64 = blank >= 0 ? text.left(blank) : text;
    const auto decoded = QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return nullptr;
    return fromBlob(*decoded);
}

bool SimulatedAdbdKey::verify(const QByteArray &token, const QByteArray &signature) const
{
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new(m_pkey->key, nullptr),
                                                                   EVP_PKEY_CTX_free);
    if (!ctx || EVP_PKEY_verify_init(ctx.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) != 1 ||
        EVP_PKEY_CTX_set_signature_md(ctx.get(), EVP_sha1()) != 1) {
        return false;
    }
    return EVP_PKEY_verify(ctx.get(), reinterpret_cast<const unsigned char *>(signature.constData()),
                           size_t(signature.size()), reinterpret_cast<const unsigned char *>(token.constData()),
                           size_t(token.size())) == 1;
}

} // namespace tarnwick::peers
