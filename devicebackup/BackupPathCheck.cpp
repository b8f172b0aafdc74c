#include "BackupPathCheck.h"

#include <QFileInfo>

namespace {

bool isWithin(const QString &path, const QString &root)
{
    return path == root || path.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
}

} // namespace

BackupPathCheck::BackupPathCheck(const QDir &root)
    : m_rootPath(QDir::cleanPath(root.absolutePath()))
    , m_canonicalRoot(QFileInfo(m_rootPath).canonicalFilePath())
{}

bool BackupPathCheck::isInside(const QString &path) const
{
    if (path.isEmpty() || QDir::isAbsolutePath(path) || path.contains(QChar(0)))
        return false;
    const QString cleaned = QDir::cleanPath(path);
    if (cleaned == QLatin1String("..") || cleaned.startsWith(QLatin1String("../")))
        return false;

    // Every component that exists on disk is resolved: a link anywhere on the way may lead out.
    const QString root = m_canonicalRoot.isEmpty() ? m_rootPath : m_canonicalRoot;
    QString walked = m_rootPath;
    const QStringList parts = cleaned.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        if (part == QLatin1String("."))
            continue;
        walked += QLatin1Char('/') + part;
        const QFileInfo info(walked);
        if (info.isSymLink()) {
            const QString target = info.canonicalFilePath();
            // A dangling link would be created or written through: refused as well.
            if (target.isEmpty() || !isWithin(target, root))
                return false;
        } else if (!info.exists()) {
            break; // nothing further exists below a missing component
        }
    }
    return true;
}

QString BackupPathCheck::refusalText(const QString &path)
{
    return QStringLiteral("The path %1 leads outside the backup folder.").arg(path);
}
