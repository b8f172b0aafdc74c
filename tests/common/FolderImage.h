#pragma once

#include <QCryptographicHash>
#include <QDateTime>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace tarnwick::test {

// Every entry below `dir`, and the folder itself, with its permissions, size, modification time
// and a digest of its bytes: two images are equal only when nothing was added, removed or
// rewritten, not even a file made and removed again (that changes the folder's time).
inline QStringList folderImage(const QString &dir)
{
    const auto line = [](const QFileInfo &info) {
        QString digest;
        if (info.isFile()) {
            QFile file(info.filePath());
            QCryptographicHash hash(QCryptographicHash::Sha1);
            if (file.open(QIODevice::ReadOnly))
                hash.addData(&file);
            digest = QString::fromLatin1(hash.result().toHex());
        }
        return QStringLiteral("%1 %2 %3 %4 %5")
            .arg(info.filePath())
            .arg(int(info.permissions()), 0, 16)
            .arg(info.size())
            .arg(info.lastModified().toMSecsSinceEpoch())
            .arg(digest);
    };
    QStringList out{line(QFileInfo(dir))};
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        out << line(it.fileInfo());
    }
    out.sort();
    return out;
}

} // namespace tarnwick::test
