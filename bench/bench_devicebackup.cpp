// A backup of 200 MB laid out as a phone lays it out (4,000 files of 25 KB in bucket folders and ten
// of 10 MB), sent by the simulated phone through the real device library into backup2tool with the
// plain hook. Compared with the floor: the same files copied with a read/write loop on the same file
// system.
#include "BenchTargets.h"
#include "SimulatedBackupService.h"
#include "SimulatedUsbmuxd.h"
#include "devicebackup/backup2tool.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

using namespace tarnwick::peers;

namespace {

constexpr int kSmallFiles = 4000;
constexpr int kSmallSize = 25 * 1000;
constexpr int kLargeFiles = 10;
constexpr int kLargeSize = 10 * 1000 * 1000;
const QString kUdid = QStringLiteral("00008101-0000BE0C4BE0C401");
constexpr int kRounds = 3;

QByteArray content(int size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(seed * 31 + i * 7);
    return bytes;
}

QList<BackupUploadFile> backupFiles()
{
    QList<BackupUploadFile> files;
    const QByteArray small = content(kSmallSize, 1);
    const QByteArray large = content(kLargeSize, 2);
    for (int i = 0; i < kSmallFiles + kLargeFiles; ++i) {
        const QString name = QStringLiteral("%1").arg(i, 40, 16, QLatin1Char('0'));
        const QString path = kUdid + QLatin1Char('/') + name.right(2) + QLatin1Char('/') + name;
        files.append(BackupUploadFile(QStringLiteral("MediaDomain/file%1").arg(i), path,
                                      i < kSmallFiles ? small : large));
    }
    return files;
}

// The floor: every file read and written in 1 MiB pieces, folders made as needed.
double copyFloor(const QString &from, const QString &to, const QList<BackupUploadFile> &files)
{
    QByteArray buffer(1024 * 1024, Qt::Uninitialized);
    QElapsedTimer timer;
    timer.start();
    for (const BackupUploadFile &file : files) {
        const QString target = to + QLatin1Char('/') + file.backupPath;
        QDir().mkpath(QFileInfo(target).absolutePath());
        QFile in(from + QLatin1Char('/') + file.backupPath);
        QFile out(target);
        if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
            throw std::runtime_error("floor copy cannot open its files");
        qint64 n;
        while ((n = in.read(buffer.data(), buffer.size())) > 0)
            out.write(buffer.constData(), n);
    }
    return timer.elapsed() / 1000.0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    BenchTargets targets(QStringLiteral("bench_devicebackup"));
    const QList<BackupUploadFile> files = backupFiles();
    double megabytes = 0;
    for (const BackupUploadFile &file : files)
        megabytes += file.content.size() / 1e6;

    // Rounds of the backup and the floor in turn, the best of each kept: a single run of either is
    // at the mercy of a busy machine and the disk.
    double backupSeconds = 1e18;
    double floorSeconds = 1e18;
    for (int round = 0; round < kRounds; ++round) {
        SimulatedUsbmuxd mux;
        mux.makeCurrent();
        auto phone = mux.addDevice(kUdid);
        auto service = std::make_shared<SimulatedBackupService>();
        SimulatedBackupService::install(*phone, service);
        service->setScript({BackupStep::upload(files), BackupStep::report(0)});

        QTemporaryDir backupRoot;
        backup2tool tool(kUdid, QDir(backupRoot.path()), nullptr);
        QElapsedTimer timer;
        timer.start();
        try {
            tool.runThrow(_backup2tool_req(OP_BACKUP));
        } catch (const std::exception &e) {
            std::fprintf(stderr, "backup failed: %s\n", e.what());
            targets.failed(QStringLiteral("device backup"), QString::fromUtf8(e.what()));
            return targets.finish();
        }
        backupSeconds = std::min(backupSeconds, timer.elapsed() / 1000.0);

        QTemporaryDir floorRoot;
        floorSeconds = std::min(floorSeconds, copyFloor(backupRoot.path(), floorRoot.path(), files));
    }

    const double backupRate = megabytes / backupSeconds;
    const double floorRate = megabytes / floorSeconds;
    std::printf("device backup: %.0f MB in %d files\n", megabytes, int(files.size()));
    std::printf("  backup2tool (simulated phone, plain hook): %.2f s, %.1f MB/s\n", backupSeconds,
                backupRate);
    std::printf("  floor (read/write copy, same file system):  %.2f s, %.1f MB/s\n", floorSeconds, floorRate);
    std::printf("  ratio backup/floor time: %.2f, best of %d each (target: within 2.00)\n",
                backupSeconds / floorSeconds, kRounds);
    targets.atMost(QStringLiteral("backup / read-write copy"), backupSeconds / floorSeconds, 2.0);
    return targets.finish();
}
