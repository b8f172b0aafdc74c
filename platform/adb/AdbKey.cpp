#include "AdbKey.h"

#include "AdbError.h"
#include "Logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QSysInfo>
#include <QtEndian>

#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <unistd.h>

namespace {

QString openSslReason()
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return QStringLiteral("unknown reason");
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return QString::fromUtf8(text);
}

[[noreturn]] void fail(const QString &what)
{
    throw AdbError(QStringLiteral("%1 (%2)").arg(what, openSslReason()));
}

// Little-endian bytes of a number, padded to size.
QByteArray littleEndian(const BIGNUM *n, int size)
{
    QByteArray out(size, '\0');
    if (BN_bn2lebinpad(n, reinterpret_cast<unsigned char *>(out.data()), size) != size)
        fail(QStringLiteral("Could not encode the ADB public key."));
    return out;
}

QMutex s_sharedMutex;
QString s_storeFolder;
std::shared_ptr<const AdbKey> s_shared;

} // namespace

AdbKey::AdbKey(EvpPkeyPtr key)
    : m_key(key.release(), [](EVP_PKEY *p) { EVP_PKEY_free(p); })
{}

AdbKey AdbKey::generate()
{
    EvpPkeyPtr key(EVP_RSA_gen(kBits));
    if (!key)
        fail(QStringLiteral("Could not make an ADB key."));
    return AdbKey(std::move(key));
}

void AdbKey::store(const AdbKey &key, const QString &path)
{
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), key.pkey(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
        fail(QStringLiteral("Could not write the ADB key."));
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    const QByteArray pem(data, int(size));

    QDir().mkpath(QFileInfo(path).absolutePath());
    // The private key must never be readable by others, not even for a moment: it is written
    // into a temporary file, which is made owner-only, and then moved into place.
    QTemporaryFile file(path + QStringLiteral(".XXXXXX"));
    if (!file.open() || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        file.write(pem) != pem.size() || !file.flush()) {
        throw AdbError(QStringLiteral("Could not keep the ADB key in %1: %2").arg(path, file.errorString()));
    }
    QFile::remove(path);
    if (!file.rename(path))
        throw AdbError(QStringLiteral("Could not keep the ADB key in %1: %2").arg(path, file.errorString()));
    file.setAutoRemove(false);
    QSaveFile pub(path + QStringLiteral(".pub"));
    if (!pub.open(QIODevice::WriteOnly) || pub.write(key.publicKeyLine() + '\n') < 0 || !pub.flush() ||
        !pub.commit())
        qCWarning(lcAdb) << "Could not write the public ADB key beside" << path;
}

AdbKey AdbKey::loadOrCreate(const QString &path)
{
    QFile file(path);
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly))
            throw AdbError(QStringLiteral("Could not read the ADB key %1: %2").arg(path, file.errorString()));
        const QByteArray pem = file.readAll();
        BioPtr bio(BIO_new_mem_buf(pem.constData(), int(pem.size())));
        EvpPkeyPtr key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
        if (key && EVP_PKEY_is_a(key.get(), "RSA") && EVP_PKEY_get_bits(key.get()) == kBits)
            return AdbKey(std::move(key));
        ERR_clear_error();
        // A damaged key cannot sign in anywhere; a new one at least lets the phone ask again.
        qCWarning(lcAdb) << "The ADB key" << path << "is unusable; making a new one";
    }
    AdbKey key = generate();
    store(key, path);
    return key;
}

void AdbKey::setStoreFolder(const QString &folder)
{
    QMutexLocker lock(&s_sharedMutex);
    if (folder != s_storeFolder)
        s_shared.reset();
    s_storeFolder = folder;
}

QString AdbKey::storeFolder()
{
    QMutexLocker lock(&s_sharedMutex);
    if (!s_storeFolder.isEmpty())
        return s_storeFolder;
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

std::shared_ptr<const AdbKey> AdbKey::shared()
{
    const QString path = QDir(storeFolder()).filePath(QStringLiteral("adbkey"));
    QMutexLocker lock(&s_sharedMutex);
    if (!s_shared)
        s_shared = std::make_shared<const AdbKey>(loadOrCreate(path));
    return s_shared;
}

QByteArray AdbKey::sign(const QByteArray &token) const
{
    EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new(m_key.get(), nullptr));
    if (!ctx || EVP_PKEY_sign_init(ctx.get()) != 1 || EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) != 1 ||
        EVP_PKEY_CTX_set_signature_md(ctx.get(), EVP_sha1()) != 1) {
        fail(QStringLiteral("Could not prepare the ADB signature."));
    }
    if (token.size() != kTokenSize)
        throw AdbError(QStringLiteral("The phone sent a sign-in token of %1 bytes.").arg(token.size()));
    size_t size = 0;
    const auto *in = reinterpret_cast<const unsigned char *>(token.constData());
    if (EVP_PKEY_sign(ctx.get(), nullptr, &size, in, size_t(token.size())) != 1)
        fail(QStringLiteral("Could not sign the phone's token."));
    QByteArray signature(int(size), '\0');
    if (EVP_PKEY_sign(ctx.get(), reinterpret_cast<unsigned char *>(signature.data()), &size, in,
                      size_t(token.size())) != 1) {
        fail(QStringLiteral("Could not sign the phone's token."));
    }
    signature.resize(int(size));
    return signature;
}

QByteArray AdbKey::androidPublicKey() const
{
    BIGNUM *rawN = nullptr;
    BIGNUM *rawE = nullptr;
    if (EVP_PKEY_get_bn_param(m_key.get(), OSSL_PKEY_PARAM_RSA_N, &rawN) != 1)
        fail(QStringLiteral("Could not read the ADB key."));
    BignumPtr n(rawN);
    if (EVP_PKEY_get_bn_param(m_key.get(), OSSL_PKEY_PARAM_RSA_E, &rawE) != 1)
        fail(QStringLiteral("Could not read the ADB key."));
    BignumPtr e(rawE);

    constexpr int modulusBytes = kBits / 8;
    BnCtxPtr ctx(BN_CTX_new());
    BignumPtr r32(BN_new()), n0inv(BN_new()), rr(BN_new());
    if (!ctx || !r32 || !n0inv || !rr)
        fail(QStringLiteral("Out of memory for the ADB key."));
    // n0inv = -1 / n mod 2^32
    BN_set_bit(r32.get(), 32);
    if (!BN_mod_inverse(n0inv.get(), n.get(), r32.get(), ctx.get()) || !BN_sub(n0inv.get(), r32.get(), n0inv.get()))
        fail(QStringLiteral("Could not encode the ADB public key."));
    // R² mod n with R = 2^bits
    BN_set_bit(rr.get(), kBits * 2);
    if (!BN_mod(rr.get(), rr.get(), n.get(), ctx.get()))
        fail(QStringLiteral("Could not encode the ADB public key."));

    QByteArray out;
    out.reserve(kAndroidPublicKeySize);
    char word[4];
    qToLittleEndian<quint32>(modulusBytes / 4, word);
    out.append(word, 4);
    qToLittleEndian<quint32>(static_cast<quint32>(BN_get_word(n0inv.get())), word);
    out.append(word, 4);
    out.append(littleEndian(n.get(), modulusBytes));
    out.append(littleEndian(rr.get(), modulusBytes));
    qToLittleEndian<quint32>(static_cast<quint32>(BN_get_word(e.get())), word);
    out.append(word, 4);
    return out;
}

QByteArray AdbKey::publicKeyLine() const
{
    QByteArray user = qgetenv("USER");
    if (user.isEmpty())
        user = "user";
    QByteArray host = QSysInfo::machineHostName().toUtf8();
    if (host.isEmpty())
        host = "localhost";
    return androidPublicKey().toBase64() + ' ' + user + '@' + host;
}
