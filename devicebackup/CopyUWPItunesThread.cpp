#include "CopyUWPItunesThread.h"

#include "model/DataFolder.h"
#include "model/ProgressSink.h"

#include <QFile>

namespace {

const char markerName[] = "__CopyUWPItunesThread";

bool isWithin(const QString &path, const QString &folder)
{
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

// Links are removed as links: a cleaned copy root never reaches what they point at.
void delDirCascade(const QString &path)
{
    g_delDirCascade(path);
}

} // namespace

CopyUWPItunesThread::CopyUWPItunesThread(QString srcDir, bool cleanFirst, ProgressSink &progress,
                                         QObject *parent)
    : QThread(parent)
    , srcDir(std::move(srcDir))
    , cleanFirst(cleanFirst)
    , progress(progress)
{}

CopyUWPItunesThread::~CopyUWPItunesThread() = default;

QDir CopyUWPItunesThread::copyRoot()
{
    return QDir(QDir(QDir::homePath()).absoluteFilePath(QStringLiteral("ferrovantis_itunes/")));
}

QString CopyUWPItunesThread::cleanSource(const QString &srcDir)
{
    return srcDir.isEmpty() ? srcDir : QDir::cleanPath(srcDir);
}

QDir CopyUWPItunesThread::uwpItunesSaveDir(QString srcDir)
{
    return QDir(QDir(QDir::homePath())
                    .absoluteFilePath(QStringLiteral("ferrovantis_itunes/") +
                                      QFileInfo(cleanSource(srcDir)).fileName()));
}

bool CopyUWPItunesThread::isUWPItunesCopied(QDir saveDir)
{
    return QFile::exists(saveDir.absoluteFilePath(QString::fromLatin1(markerName)));
}

void CopyUWPItunesThread::run()
{
    progress.invokeUpdateProgress(tr("Initiating iTunes..."), 99, QString());
    const QString source = cleanSource(srcDir);
    const QString name = QFileInfo(source).fileName();
    if (name.isEmpty()) {
        // Without a name the copy would land in the root itself and the marker outside it.
        progress.invokeErrorOccurred(
            tr("Can not copy iTunes files. %1").arg(tr("The folder %1 has no name.").arg(srcDir)));
        return;
    }
    const QDir root = copyRoot();
    if (cleanFirst)
        delDirCascade(root.absolutePath());

    QString error;
    m_sourceRoot = QFileInfo(source).canonicalFilePath();
    m_walking.clear();
    if (!copyFiles(QFileInfo(source), root, error)) {
        progress.invokeErrorOccurred(tr("Can not copy iTunes files. %1").arg(error));
        return;
    }
    QFile marker(root.absoluteFilePath(name + QLatin1Char('/') + QString::fromLatin1(markerName)));
    if (QFileInfo(marker.fileName()).absoluteDir().exists()) {
        marker.open(QIODevice::WriteOnly);
        marker.close();
    }
    progress.invokeSucceed(QString());
}

bool CopyUWPItunesThread::copyFiles(const QFileInfo &src, QDir dest, QString &error)
{
    if (!dest.exists())
        QDir().mkpath(dest.absolutePath());

    if (src.isFile()) {
        progress.invokeUpdateProgress(QString(), -1, src.fileName());
        const QString target = dest.absoluteFilePath(src.fileName());
        if (QFileInfo(target).isFile())
            return true;
        QFile file(src.absoluteFilePath());
        if (!file.copy(target)) {
            error = file.errorString();
            return false;
        }
        return true;
    }

    if (src.isDir()) {
        const QString canonical = src.canonicalFilePath();
        if (src.isSymLink()) {
            // A link back into the tree, or above it, would copy the tree into itself without end.
            if (isWithin(canonical, m_sourceRoot) || isWithin(m_sourceRoot, canonical) ||
                m_walking.contains(canonical))
                return true;
        }
        if (m_walking.contains(canonical))
            return true;
        m_walking.insert(canonical);
        const QFileInfoList entries =
            QDir(src.absoluteFilePath())
                .entryInfoList(QDir::Dirs | QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
        const QDir into(dest.absoluteFilePath(src.fileName()));
        bool ok = true;
        for (const QFileInfo &entry : entries) {
            if (!copyFiles(entry, into, error)) {
                ok = false;
                break;
            }
        }
        m_walking.remove(canonical);
        return ok;
    }

    if (src.isSymLink() || src.exists()) {
        // A dangling link, a pipe, a socket or a device: nothing a copy could hold.
        error = tr("%1 is not a file or a folder.").arg(src.absoluteFilePath());
        return false;
    }
    return true;
}
