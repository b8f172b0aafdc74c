#include "StagedExportFolder.h"

#include "Logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QUuid>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include <sys/stat.h>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("StagedExportFolder", text);
}

[[noreturn]] void fail(const QString &what, const QString &cause)
{
    throw std::runtime_error(tr("IDS_EXPORT_NOT_PUT_IN_PLACE_%1_%2")
                                 .arg(QDir::toNativeSeparators(what), cause)
                                 .toUtf8()
                                 .toStdString());
}

// Renames on the file system itself: a file or an empty folder at `to` is replaced in one step.
// The text of the cause when it fails, an empty text when it worked.
QString renamed(const QString &from, const QString &to)
{
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return QString();
    return QString::fromLocal8Bit(std::strerror(errno));
}

// A name beside `path` that nothing holds yet, for setting the old one aside.
QString asideName(const QString &path)
{
    const QFileInfo info(path);
    return info.dir().filePath(QStringLiteral(".%1.old-%2")
                                   .arg(info.fileName(), QUuid::createUuid().toString(QUuid::WithoutBraces)));
}

void removeAside(const QString &path)
{
    const QFileInfo info(path);
    const bool removed =
        info.isDir() && !info.isSymLink() ? QDir(path).removeRecursively() : QFile::remove(path);
    if (!removed)
        qCWarning(lcFileIo) << "could not remove the replaced" << path;
}

} // namespace

StagedExportFolder::StagedExportFolder(const QString &chosen)
    : target(QFileInfo(chosen).absoluteFilePath())
{
    const QFileInfo info(target);
    staging =
        info.dir().filePath(QStringLiteral(".%1.new-%2")
                                .arg(info.fileName(), QUuid::createUuid().toString(QUuid::WithoutBraces)));
    // Missing folders above the chosen path are made, as they always were for a page.
    QDir().mkpath(info.dir().path());
    const QByteArray name = QFile::encodeName(staging);
    if (::mkdir(name.constData(), 0777) != 0) {
        const QString cause = QString::fromLocal8Bit(std::strerror(errno));
        staging.clear();
        fail(target, cause);
    }
}

StagedExportFolder::~StagedExportFolder()
{
    if (!committed && !staging.isEmpty())
        QDir(staging).removeRecursively();
}

QString StagedExportFolder::path() const
{
    return staging;
}

void StagedExportFolder::commit(const QString &pageName)
{
    const QFileInfo info(target);
    if (!info.exists() && !info.isSymLink()) {
        const QString cause = renamed(staging, target);
        if (!cause.isEmpty())
            fail(target, cause);
        committed = true;
        return;
    }
    if (!info.isDir() || info.isSymLink()) {
        // A file (or a link) the user agreed to replace: it goes only once the folder stands in its place.
        const QString aside = asideName(target);
        QString cause = renamed(target, aside);
        if (!cause.isEmpty())
            fail(target, cause);
        cause = renamed(staging, target);
        if (!cause.isEmpty()) {
            renamed(aside, target);
            fail(target, cause);
        }
        committed = true;
        removeAside(aside);
        return;
    }

    // A folder of an earlier export: its page and picture folder are replaced, nothing else of it.
    const QDir into(target);
    const QString photos = into.filePath(QStringLiteral("photos"));
    const QFileInfo oldPhotos(photos);
    QString aside;
    if (oldPhotos.exists() || oldPhotos.isSymLink()) {
        aside = asideName(photos);
        const QString cause = renamed(photos, aside);
        if (!cause.isEmpty())
            fail(photos, cause);
    }
    bool movedIn = false;
    const auto putBack = [&] {
        if (movedIn)
            QDir(photos).removeRecursively();
        if (!aside.isEmpty())
            renamed(aside, photos);
    };
    QString cause = renamed(QDir(staging).filePath(QStringLiteral("photos")), photos);
    if (!cause.isEmpty()) {
        putBack();
        fail(photos, cause);
    }
    movedIn = true;
    const QString page = into.filePath(pageName);
    cause = renamed(QDir(staging).filePath(pageName), page);
    if (!cause.isEmpty()) {
        putBack();
        fail(page, cause);
    }
    if (!aside.isEmpty())
        removeAside(aside);
}
