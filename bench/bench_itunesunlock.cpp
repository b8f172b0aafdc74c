// Unlocking an encrypted backup with the counts real keybags use (DPIC 10,000,000 SHA-256, ITER
// 10,000 SHA-1) through BackupManifest::setPasscodeNoUIThrow, against OpenSSL's PKCS5_PBKDF2_HMAC
// with the same password, salts and counts in the same run, best of three rounds each. Target: at
// most 1.1 times its time.

#include "BackupBuilder.h"
#include "BenchTargets.h"
#include "itunesbackup/BackupManifest.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>

using namespace itunesfixture;

namespace {
constexpr int kRounds = 3;
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    BenchTargets targets(QStringLiteral("bench_itunesunlock"));
    QTemporaryDir dir;
    KeybagSpec kb;
    kb.dpic = 10000000;
    kb.iter = QByteArray("\x00\x00\x27\x10", 4);
    kb.classes = {KeybagClass{3, 3, QByteArray(32, '\x33'), false}};
    BackupSpec spec;
    spec.encrypted = true;
    spec.keybag = kb;
    spec.layout = Layout::Mbdb;
    writeBackup(dir.path(), spec);

    // Rounds of the floor and the unlock in turn, the best of each kept: one run of either is at the
    // mercy of a busy machine.
    double floor = 1e18;
    double ours = 1e18;
    bool ok = true;
    int reports = 0;
    for (int round = 0; round < kRounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        QByteArray x(32, '\0');
        QByteArray key(32, '\0');
        PKCS5_PBKDF2_HMAC(kb.password.constData(), int(kb.password.size()),
                          reinterpret_cast<const unsigned char *>(kb.dpsl.constData()), int(kb.dpsl.size()),
                          *kb.dpic, EVP_sha256(), 32, reinterpret_cast<unsigned char *>(x.data()));
        PKCS5_PBKDF2_HMAC(x.constData(), 32, reinterpret_cast<const unsigned char *>(kb.salt.constData()),
                          int(kb.salt.size()), 10000, EVP_sha1(), 32,
                          reinterpret_cast<unsigned char *>(key.data()));
        floor = std::min(floor, double(timer.nsecsElapsed()) / 1e9);

        BackupManifest backup(dir.path());
        backup.readManifestInfo();
        reports = 0;
        timer.restart();
        ok = backup.setPasscodeNoUIThrow(QString::fromUtf8(kb.password), [&](int) {
            ++reports;
            return true;
        }) && ok;
        ours = std::min(ours, double(timer.nsecsElapsed()) / 1e9);
    }
    const double ratio = ours / floor;
    std::printf("bench_itunesunlock: DPIC %d, ITER 10000\n", *kb.dpic);
    std::printf("  PKCS5_PBKDF2_HMAC  %.3f s\n", floor);
    std::printf("  unlock             %.3f s  (%s, %d progress reports)\n", ours, ok ? "unlocked" : "FAILED",
                reports);
    std::printf("  ratio              %.2fx  (target at most 1.1x) %s\n", ratio,
                ratio <= 1.1 ? "OK" : "OVER");
    if (!ok)
        targets.failed(QStringLiteral("unlock"), QStringLiteral("the backup did not unlock"));
    targets.atMost(QStringLiteral("unlock / PKCS5_PBKDF2_HMAC"), ratio, 1.1);
    return targets.finish();
}
