// A whole backup session against a phone whose every byte is the input: the device-link and
// protocol handshakes, then any messages and file frames. The backup root holds links that lead
// out of it, to a sentinel tree beside it and to its parent. The oracle: whatever the phone asks,
// nothing outside the backup root changes (names, kinds, link targets, bytes, times), and the
// session ends with a result or a thrown error, never a crash.
#include "devicebackup/backup2tool.h"
#include "tests/common/ScriptedServiceChannel.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>

namespace {

const QString udid = QStringLiteral("dev");

void write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

// Every entry under `folder` except the backup root, links listed and never followed.
QStringList outsideOfTheRoot(const QString &folder)
{
    QStringList lines;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(folder).relativeFilePath(path);
        if (relative == QLatin1String("root") || relative.startsWith(QLatin1String("root/")))
            continue;
        const QFileInfo info(path);
        QString line = relative + QLatin1Char(' ') + QString::number(info.lastModified().toMSecsSinceEpoch());
        if (info.isSymLink()) {
            line += QStringLiteral(" -> ") + info.symLinkTarget();
        } else if (info.isFile()) {
            QFile file(path);
            file.open(QIODevice::ReadOnly);
            line += QLatin1Char(' ') +
                    QString::fromLatin1(
                        QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex());
        }
        lines << line;
    }
    lines.sort();
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QTemporaryDir outer;
    if (!outer.isValid())
        return 0;
    const QDir root(outer.filePath(QStringLiteral("root")));
    write(outer.filePath(QStringLiteral("outside/victim")), "precious");
    write(outer.filePath(QStringLiteral("outside/sub/other")), "precious too");
    write(root.absoluteFilePath(udid + QStringLiteral("/a.txt")), "a");
    write(root.absoluteFilePath(udid + QStringLiteral("/sub/b")), "b");
    QFile::link(outer.filePath(QStringLiteral("outside/sub")),
                root.absoluteFilePath(udid + QStringLiteral("/link")));
    QFile::link(outer.path(), root.absoluteFilePath(udid + QStringLiteral("/up")));
    // Times in the past, so that any write shows even within the same second.
    for (const QString &name : {QStringLiteral("outside/victim"), QStringLiteral("outside/sub/other")}) {
        QFile file(outer.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            file.setFileTime(QDateTime::fromSecsSinceEpoch(1000000000), QFileDevice::FileModificationTime);
    }
    const QStringList before = outsideOfTheRoot(outer.path());

    std::unique_ptr<MobileBackup2Client> client;
    if (MobileBackup2Client::connect(
            std::make_unique<tarnwick::test::ScriptedServiceChannel>(data, size, 1000), client) ==
        MOBILEBACKUP2_E_SUCCESS) {
        backup2tool tool(udid, root, nullptr);
        // The script ends where its bytes end: a transfer waits for nothing more.
        tool.setStallTimeout(std::chrono::milliseconds(0));
        QString error;
        try {
            tool.serveThrow(std::move(client), _backup2tool_req(OP_BACKUP), error);
        } catch (const std::runtime_error &) {
        }
    }
    if (outsideOfTheRoot(outer.path()) != before)
        __builtin_trap();
    return 0;
}
