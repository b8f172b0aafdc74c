#include "DataFolder.h"

#include "platform/desktop/SystemOpener.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const QLatin1String kProductId("5D13B7E0A9C24F68B1E07D3C92A4F5E6");
const QLatin1String kMakerFolder("FerroVantis");

QString redirectFilePath()
{
    return g_osAppDir().filePath(kMakerFolder + QLatin1Char('/') + kProductId + QLatin1String(".redirect"));
}

QString decideDataSaveDirPath()
{
    QString base = g_dataSaveDirLink();
    if (base.isEmpty())
        base = g_defaultSaveDirPath();
    return QFileInfo(base).absoluteFilePath() + QLatin1Char('/') + kProductId;
}

} // namespace

QDir g_osAppDir()
{
#ifdef Q_OS_MACOS
    return QDir(QDir::homePath() + QLatin1String("/Library/Application Support"));
#else
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
#endif
}

QString g_defaultSaveDirPath()
{
    return g_osAppDir().absoluteFilePath(kMakerFolder);
}

QString g_dataSaveDirLink()
{
    QFile file(redirectFilePath());
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return QString();

    QByteArray bytes = file.readAll();
    // The text ends at the first NUL; nothing else is trimmed, a trailing line break included.
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    const QString target = QString::fromUtf8(bytes);

    if (target.isEmpty() || !QFileInfo::exists(target))
        return QString();
    return target;
}

void g_setDataSaveDirLink(const QString &path)
{
    QFile file(redirectFilePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write(path.toUtf8());
    file.flush();
    file.close();
}

QDir g_dataSaveDir()
{
    // Decided once per run, under the thread-safe initialisation of a local static.
    static const QString g_curDataSaveDirPath = decideDataSaveDirPath();
    QDir().mkpath(g_curDataSaveDirPath);
    return QDir(g_curDataSaveDirPath);
}

void g_delDirCascade(const QString &path)
{
    const QFileInfo top(path);
    if (top.isSymLink()) {
        // A link to a folder is removed as a link: what it points at lies outside the tree.
        if (top.isDir())
            QFile::remove(path);
        return;
    }
    QDir dir(path);
    if (!dir.exists())
        return;

    const QFileInfoList entries =
        dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QFileInfo &entry : entries) {
        if (entry.isDir() && !entry.isSymLink())
            g_delDirCascade(entry.absoluteFilePath());
        else
            dir.remove(entry.fileName());
    }
    dir.rmdir(dir.absolutePath());
}

QString g_getValidFilePath(const QString &path)
{
    const QFileInfo info(path);
    // A dangling link counts as taken: writing there would create its target.
    if (!info.exists() && !info.isSymLink())
        return path;

    const QString base = info.baseName();
    const QString suffix = info.suffix();
    const QDir folder = info.absoluteDir();
    for (qulonglong n = 1;; ++n) {
        // One multi-argument arg(): the base name is taken literally even when it holds "%1".
        QString name = QStringLiteral("%1(%2)").arg(base, QString::number(n));
        if (!suffix.isEmpty())
            name += QLatin1Char('.') + suffix;
        const QString candidate = folder.absoluteFilePath(name);
        const QFileInfo candidateInfo(candidate);
        if (!candidateInfo.exists() && !candidateInfo.isSymLink())
            return candidate;
    }
}

void g_openFileOrFolder(const QString &path)
{
    SystemOpener::open(path);
}

void g_openLink(const QString &link)
{
    SystemOpener::open(link);
}
