#include "Backup2ToolHook.h"

#include "model/DataFolder.h"

#include <QFileInfo>

#include <unistd.h>

namespace {

// Folders and files only: no ".", "..", hidden entries, broken links, sockets or devices.
QFileInfoList listEntries(const QString &folder)
{
    return QDir(folder).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort);
}

// Something is there, a dangling link included.
bool occupied(const QFileInfo &info)
{
    return info.exists() || info.isSymLink();
}

// Links are removed as links, never followed: what they point at is not part of the backup.
void rmdir_recursive(const QString &path)
{
    g_delDirCascade(path);
}

// Removes whatever stands at `path`: a folder with its contents, anything else (a link included)
// by itself.
void removeAny(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink())
        rmdir_recursive(path);
    else
        QFile::remove(path);
}

// A link inside a copied folder is copied as a link with the same target text, so that a link
// back up the tree cannot make the copy recurse without end.
int copyLink(const QString &src, const QString &dst, QString &error)
{
    QByteArray target(4096, Qt::Uninitialized);
    const ssize_t n = ::readlink(QFile::encodeName(src).constData(), target.data(), size_t(target.size()));
    if (n < 0) {
        error = QStringLiteral("Cannot read the link %1.").arg(src);
        return QFile::CopyError;
    }
    target.truncate(int(n));
    removeAny(dst);
    QDir().mkpath(QFileInfo(dst).absolutePath());
    if (::symlink(target.constData(), QFile::encodeName(dst).constData()) != 0) {
        error = QStringLiteral("Cannot create the link %1.").arg(dst);
        return QFile::CopyError;
    }
    return 0;
}

int copy_recursive(const QString &src, const QString &dst, QString &error)
{
    const QFileInfo from(src);
    const QFileInfo to(dst);
    if (from.isFile()) {
        if (to.isDir() && !to.isSymLink()) {
            error = QStringLiteral("Destination is a folder.");
            return QFile::CopyError;
        }
        // A link at the destination is replaced, never written through.
        if (occupied(to))
            QFile::remove(dst);
        QDir().mkpath(to.absolutePath());
        QFile file(src);
        if (!file.copy(dst)) {
            error = file.errorString();
            return file.error();
        }
        return 0;
    }
    if (from.isDir()) {
        if (to.isSymLink()) {
            error = QStringLiteral("Destination is a link.");
            return QFile::CopyError;
        }
        if (to.isFile()) {
            error = QStringLiteral("Destination is a file.");
            return QFile::CopyError;
        }
        if (!to.exists())
            QDir().mkpath(dst);
        for (const QFileInfo &entry : listEntries(src)) {
            const QString target = QDir(dst).absoluteFilePath(entry.fileName());
            const int r = entry.isSymLink() ? copyLink(entry.absoluteFilePath(), target, error)
                                            : copy_recursive(entry.absoluteFilePath(), target, error);
            if (r != 0)
                return r;
        }
        return 0;
    }
    return 0;
}

} // namespace

Backup2ToolHook::~Backup2ToolHook() = default;

void Backup2ToolHook::beginThrow(QDir, QString) {}

bool Backup2ToolHook::onHandleMsgContinue(QDir, QString, PlistCFType, int &, QString &)
{
    return true;
}

QList<Backup2ToolHook::DirItem> Backup2ToolHook::dirContents(QDir root, QString path)
{
    QList<DirItem> items;
    for (const QFileInfo &entry : listEntries(root.absoluteFilePath(path))) {
        DirItem item;
        item.name = entry.fileName();
        item.type = entry.isDir() ? 2 : 1;
        item.size = entry.size();
        item.lastModified = entry.lastModified();
        items.append(item);
    }
    return items;
}

void Backup2ToolHook::recvFileBegin(QDir, QString, QString, QString) {}

int Backup2ToolHook::recvFileOpenWrite(QDir root, QString fname, QFile &file, QString &error)
{
    const QString parent = QFileInfo(root.absoluteFilePath(fname)).absolutePath();
    if (!QFileInfo::exists(parent))
        QDir().mkpath(parent);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return file.error();
    }
    return 0;
}

void Backup2ToolHook::recvFileEnd(QDir, QString, unsigned long long) {}

int Backup2ToolHook::moveFile(QDir root, QString from, QString to, QString &error)
{
    const QString src = root.absoluteFilePath(from);
    const QString dst = root.absoluteFilePath(to);
    if (!occupied(QFileInfo(src)))
        return 0;
    removeAny(dst);
    const QString parent = QFileInfo(dst).absolutePath();
    if (!QFileInfo::exists(parent))
        QDir().mkpath(parent);
    QFile file(src);
    if (!file.rename(dst)) {
        error = file.errorString();
        return file.error();
    }
    return 0;
}

int Backup2ToolHook::removeFile(QDir root, QString path, QString &)
{
    const QString target = root.absoluteFilePath(path);
    if (occupied(QFileInfo(target)))
        removeAny(target);
    return 0;
}

int Backup2ToolHook::copyFile(QDir root, QString from, QString to, QString &error)
{
    return copy_recursive(root.absoluteFilePath(from), root.absoluteFilePath(to), error);
}

int Backup2ToolHook::mkdir(QDir root, QString path, QString &)
{
    const QString target = root.absoluteFilePath(path);
    if (!occupied(QFileInfo(target)))
        QDir().mkpath(target);
    return 0;
}
