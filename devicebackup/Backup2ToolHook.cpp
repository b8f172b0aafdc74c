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
        error = QStringLiteral("Cannot read the link %1.").arg(QFileInfo(src).fileName());
        return QFile::CopyError;
    }
    target.truncate(int(n));
    removeAny(dst);
    QDir().mkpath(QFileInfo(dst).absolutePath());
    if (::symlink(target.constData(), QFile::encodeName(dst).constData()) != 0) {
        error = QStringLiteral("Cannot create the link %1.").arg(QFileInfo(dst).fileName());
        return QFile::CopyError;
    }
    return 0;
}

int copy_recursive(const QString &src, const QString &dst, QString &error)
{
    const QFileInfo from(src);
    const QFileInfo to(dst);
    if (from.isSymLink())
        return copyLink(src, dst, error);
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
        // Listed before anything is made, so that nothing made can become part of what is copied.
        const QFileInfoList entries = listEntries(src);
        if (!to.exists())
            QDir().mkpath(dst);
        for (const QFileInfo &entry : entries) {
            const QString target = QDir(dst).absoluteFilePath(entry.fileName());
            const int r = copy_recursive(entry.absoluteFilePath(), target, error);
            if (r != 0)
                return r;
        }
        return 0;
    }
    return 0;
}

QString insideItselfText(const BackupPath &from, const BackupPath &to)
{
    return QStringLiteral("%1 lies inside %2.").arg(to.relative(), from.relative());
}

} // namespace

Backup2ToolHook::~Backup2ToolHook() = default;

void Backup2ToolHook::beginThrow(QDir, QString) {}

bool Backup2ToolHook::onHandleMsgContinue(QDir, QString, PlistCFType, int &, QString &)
{
    return true;
}

QList<Backup2ToolHook::DirItem> Backup2ToolHook::dirContents(const BackupPath &path)
{
    QList<DirItem> items;
    for (const QFileInfo &entry : listEntries(path.absolute())) {
        DirItem item;
        item.name = entry.fileName();
        item.type = entry.isDir() ? 2 : 1;
        item.size = entry.size();
        item.lastModified = entry.lastModified();
        items.append(item);
    }
    return items;
}

void Backup2ToolHook::recvFileBegin(QDir, QString, const BackupPath &, QString) {}

int Backup2ToolHook::recvFileOpenWrite(const BackupPath &fname, QFile &file, QString &error)
{
    const QString parent = QFileInfo(fname.absolute()).absolutePath();
    if (!QFileInfo::exists(parent))
        QDir().mkpath(parent);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return file.error();
    }
    return 0;
}

void Backup2ToolHook::recvFileEnd(const BackupPath &, unsigned long long) {}

int Backup2ToolHook::moveFile(const BackupPath &from, const BackupPath &to, QString &error)
{
    const QString src = from.absolute();
    const QString dst = to.absolute();
    if (!occupied(QFileInfo(src)))
        return 0;
    if (to.isWithin(from)) {
        error = insideItselfText(from, to);
        return QFile::RenameError;
    }
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

int Backup2ToolHook::removeFile(const BackupPath &path, QString &error)
{
    if (!occupied(QFileInfo(path.absolute())))
        return 0;
    removeAny(path.absolute());
    if (occupied(QFileInfo(path.absolute()))) {
        error = QStringLiteral("Cannot remove %1.").arg(path.relative());
        return QFile::RemoveError;
    }
    return 0;
}

int Backup2ToolHook::copyFile(const BackupPath &from, const BackupPath &to, QString &error)
{
    if (occupied(QFileInfo(from.absolute())) && to.isWithin(from)) {
        error = insideItselfText(from, to);
        return QFile::CopyError;
    }
    return copy_recursive(from.absolute(), to.absolute(), error);
}

int Backup2ToolHook::mkdir(const BackupPath &path, QString &error)
{
    const QFileInfo info(path.absolute());
    if (info.isDir() && !info.isSymLink())
        return 0;
    if (occupied(info)) {
        error = QStringLiteral("A file stands where the folder %1 goes.").arg(path.relative());
        return QFile::WriteError;
    }
    if (!QDir().mkpath(path.absolute())) {
        error = QStringLiteral("Cannot create the folder %1.").arg(path.relative());
        return QFile::WriteError;
    }
    return 0;
}
