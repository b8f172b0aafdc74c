// A backup's summary over arbitrary bytes: the first byte chooses which of "Manifest.plist" and
// "Status.plist" exist, the rest is the summary. Reading never throws for content, only for files.
#include "itunesbackup/BackupManifest.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const char mode = bytes.isEmpty() ? 0 : bytes.at(0);
    const QString manifest = dir.filePath(QStringLiteral("Manifest.plist"));
    const QString status = dir.filePath(QStringLiteral("Status.plist"));
    QFile::remove(manifest);
    QFile::remove(status);
    if (!(mode & 1)) {
        QFile f(manifest);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes.mid(1));
    }
    if (mode & 2) {
        QFile f(status);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes.mid(1));
    }
    BackupManifest backup(dir.path());
    try {
        backup.readManifestInfo();
        (void)backup.displayName.size();
    } catch (const std::runtime_error &) {
        if (!(mode & 1))
            __builtin_trap(); // a readable summary is never an error
    }
    return 0;
}
