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
{}

std::optional<BackupPath> BackupPathCheck::check(const QString &path, LastComponent last) const
{
    if (path.isEmpty() || QDir::isAbsolutePath(path) || path.contains(QChar(0)))
        return std::nullopt;
    // To the kernel a ".." anywhere after a link leads up from the link's target, not to the folder
    // the text names: such a path is refused rather than read two ways. "." and empty components
    // stay where they are, so they cannot hide the link from this walk.
    const QStringList rawParts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    // Without a ".." there is nothing to read two ways, and no link to look for here.
    if (rawParts.contains(QLatin1String(".."))) {
        QString walkedRaw = m_rootPath;
        bool passedLink = false;
        for (const QString &part : rawParts) {
            if (part == QLatin1String("."))
                continue;
            if (part == QLatin1String("..")) {
                if (passedLink || walkedRaw.size() <= m_rootPath.size())
                    return std::nullopt;
                walkedRaw.truncate(walkedRaw.lastIndexOf(QLatin1Char('/')));
                continue;
            }
            walkedRaw += QLatin1Char('/') + part;
            passedLink = passedLink || QFileInfo(walkedRaw).isSymLink();
        }
    }
    const QString cleaned = QDir::cleanPath(path);
    if (cleaned == QLatin1String("..") || cleaned.startsWith(QLatin1String("../")))
        return std::nullopt;
    const bool isRoot = cleaned == QLatin1String(".");
    // The root is no entry that could be removed, moved or copied over.
    if (isRoot && last == LastComponent::AsLink)
        return std::nullopt;
    const QString absolute = isRoot ? m_rootPath : m_rootPath + QLatin1Char('/') + cleaned;

    // Looked up at every check: the session may create the root after it began.
    const QString realRoot = QFileInfo(m_rootPath).canonicalFilePath();
    if (realRoot.isEmpty()) {
        // Nothing below a root that does not exist can be a link.
        if (QFileInfo(m_rootPath).isSymLink())
            return std::nullopt;
        return BackupPath(cleaned, absolute, absolute);
    }

    const QStringList parts = isRoot ? QStringList() : cleaned.split(QLatin1Char('/'));
    QString deepest = m_rootPath;
    bool linkOnWay = false;
    int walked = 0;
    for (; walked < parts.size(); ++walked) {
        const QString next = deepest + QLatin1Char('/') + parts.at(walked);
        const QFileInfo info(next);
        if (info.isSymLink()) {
            if (walked == parts.size() - 1) {
                if (last == LastComponent::NoLink)
                    return std::nullopt;
                break; // the link itself is the place: its folder decides
            }
            // A dangling link on the way would be created or written through.
            if (!info.exists())
                return std::nullopt;
            linkOnWay = true;
        } else if (!info.exists()) {
            break; // nothing further exists below a missing component
        }
        deepest = next;
    }

    // Below the root, only a link can lead elsewhere: where the walk met none, the real place is
    // the real root with the walked names, and asking the disk again would tell nothing new.
    QString resolved = realRoot;
    if (linkOnWay) {
        resolved = QFileInfo(deepest).canonicalFilePath();
        if (resolved.isEmpty() || !isWithin(resolved, realRoot))
            return std::nullopt;
    } else {
        for (int i = 0; i < walked; ++i)
            resolved += QLatin1Char('/') + parts.at(i);
    }
    for (int i = walked; i < parts.size(); ++i)
        resolved += QLatin1Char('/') + parts.at(i);
    return BackupPath(cleaned, absolute, resolved);
}

QString BackupPathCheck::refusalText()
{
    return QStringLiteral("The path leads outside the backup folder.");
}
