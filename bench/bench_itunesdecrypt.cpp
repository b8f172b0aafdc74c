// Copying backed-up files out of an encrypted backup: 50 MB (an address book and its images
// database) through BackupManifest::copyFile, against a floor timed in the same run: the same files
// through a bare fread / EVP_DecryptUpdate / fwrite loop with AES-256-CBC and the same keys.
// Target: at least 50% of the floor's MB/s. Each side runs three times; the best run counts.

#include "BackupBuilder.h"
#include "BenchTargets.h"
#include "itunesbackup/BackupManifest.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <openssl/evp.h>

#include <cstdio>
#include <vector>

using namespace itunesfixture;

namespace {

constexpr int kFileBytes = 25 * 1000 * 1000;

QByteArray noise(quint32 seed)
{
    QByteArray bytes(kFileBytes, '\0');
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32 *>(bytes.data()), kFileBytes / 4);
    return bytes;
}

// Decrypts src into dst with nothing of ours in between; false on any failure.
bool floorDecrypt(const QString &src, const QString &dst, const QByteArray &key)
{
    FILE *in = std::fopen(QFile::encodeName(src).constData(), "rb");
    FILE *out = std::fopen(QFile::encodeName(dst).constData(), "wb");
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    const unsigned char iv[16] = {};
    bool ok = in && out && ctx &&
              EVP_DecryptInit_ex(ctx, EVP_aes_256_cbc(), nullptr,
                                 reinterpret_cast<const unsigned char *>(key.constData()), iv);
    std::vector<unsigned char> inBuf(65536), outBuf(65536 + 32);
    while (ok) {
        const size_t n = std::fread(inBuf.data(), 1, inBuf.size(), in);
        if (n == 0)
            break;
        int outLen = 0;
        ok = EVP_DecryptUpdate(ctx, outBuf.data(), &outLen, inBuf.data(), int(n)) &&
             std::fwrite(outBuf.data(), 1, size_t(outLen), out) == size_t(outLen);
    }
    int last = 0;
    ok = ok && EVP_DecryptFinal_ex(ctx, outBuf.data(), &last) &&
         std::fwrite(outBuf.data(), 1, size_t(last), out) == size_t(last);
    if (ctx)
        EVP_CIPHER_CTX_free(ctx);
    if (in)
        std::fclose(in);
    if (out && std::fclose(out) != 0)
        ok = false;
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    BenchTargets targets(QStringLiteral("bench_itunesdecrypt"));
    QTemporaryDir dir;
    KeybagSpec kb;
    kb.classes = {KeybagClass{3, 3, QByteArray(32, '\x33'), false}};
    BackupSpec spec;
    spec.encrypted = true;
    spec.keybag = kb;
    spec.layout = Layout::Mbdb;
    BackupFile book = addressBookFile({});
    book.content = noise(1);
    BackupFile images = imagesFile({});
    images.content = noise(2);
    spec.files = {book, images};
    const QString backupDir = dir.filePath("backup");
    writeBackup(backupDir, spec);

    BackupManifest backup(backupDir);
    backup.readManifestInfo();
    if (!backup.setPasscodeNoUIThrow(QString::fromUtf8(kb.password))) {
        std::printf("bench_itunesdecrypt: the backup did not unlock\n");
        return 1;
    }
    backup.parseInfo();
    const QList<const BackupManifest::_FileNode *> nodes = {backup.addressBookNode,
                                                            backup.addressBookImagesNode};
    for (const auto *node : nodes) {
        if (!node) {
            std::printf("bench_itunesdecrypt: a backed-up file is missing\n");
            return 1;
        }
    }
    const double megabytes = 2.0 * kFileBytes / 1e6;

    double floorBest = 1e30, oursBest = 1e30;
    QElapsedTimer timer;
    for (int run = 0; run < 3; ++run) {
        timer.start();
        for (int i = 0; i < nodes.size(); ++i) {
            const MBDBParser::_MBDBItem &item = nodes[i]->item;
            const QByteArray key =
                unwrapKeyForClass(backup.keybag, item.protectionClass, item.encryptionKey.val.mid(4));
            const QString src = MBDBParser::getBKFilePath(backup.backupDir, item.backupFileName(), false);
            if (!floorDecrypt(src, dir.filePath(QStringLiteral("floor%1").arg(i)), key)) {
                std::printf("bench_itunesdecrypt: the floor failed\n");
                return 1;
            }
        }
        floorBest = qMin(floorBest, double(timer.nsecsElapsed()) / 1e9);

        timer.restart();
        for (int i = 0; i < nodes.size(); ++i)
            backup.copyFile(nodes[i], dir.filePath(QStringLiteral("ours%1").arg(i)), nullptr, nullptr);
        oursBest = qMin(oursBest, double(timer.nsecsElapsed()) / 1e9);
    }
    for (int i = 0; i < nodes.size(); ++i) {
        QFile ours(dir.filePath(QStringLiteral("ours%1").arg(i)));
        if (!ours.open(QIODevice::ReadOnly) || ours.readAll() != (i == 0 ? book.content : images.content)) {
            std::printf("bench_itunesdecrypt: a copy differs from the backed-up file\n");
            targets.failed(QStringLiteral("decrypted copies"),
                           QStringLiteral("differ from the backed-up files"));
            return targets.finish();
        }
    }

    const double floorRate = megabytes / floorBest;
    const double oursRate = megabytes / oursBest;
    const double share = oursRate / floorRate;
    std::printf("bench_itunesdecrypt: %.0f MB in two encrypted backed-up files, best of 3\n", megabytes);
    std::printf("  fread/EVP_DecryptUpdate/fwrite  %.3f s  %.0f MB/s\n", floorBest, floorRate);
    std::printf("  BackupManifest::copyFile        %.3f s  %.0f MB/s\n", oursBest, oursRate);
    std::printf("  share of the floor              %.0f%%  (target at least 50%%) %s\n", share * 100,
                share >= 0.5 ? "OK" : "UNDER");
    targets.atLeast(QStringLiteral("copyFile rate / fread-decrypt-fwrite rate"), share * 100, 50,
                    QStringLiteral("%"));
    return targets.finish();
}
