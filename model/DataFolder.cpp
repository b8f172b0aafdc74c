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

// The base folder the redirect file names, as an absolute path; empty without a redirect file or
// with an empty one. Editors end a saved line with a line break, and a path typed by hand may carry
// blanks: white space around the text is dropped unless the text names something as it is. A
// relative path is read from the redirect file's own folder, whatever folder the program started in.
QString redirectTarget()
{
    const QString file = redirectFilePath();
    QFile redirect(file);
    if (!redirect.exists() || !redirect.open(QIODevice::ReadOnly))
        return QString();
    QByteArray bytes = redirect.readAll();
    // The text ends at the first NUL.
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    const QString text = QString::fromUtf8(bytes);
    const QDir home = QFileInfo(file).absoluteDir();
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return QString();
    const QString exact = home.absoluteFilePath(text);
    if (text != trimmed && QFileInfo::exists(exact))
        return exact;
    return home.absoluteFilePath(trimmed);
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
    const QString named = redirectTarget();
    return !named.isEmpty() && QFileInfo::exists(named) ? named : QString();
}

QString g_dataSaveDirRedirectFile()
{
    return redirectFilePath();
}

QString g_unusableRedirectTarget()
{
    const QString named = redirectTarget();
    if (named.isEmpty())
        return QString();
    const QFileInfo target(named);
    if (!target.isDir())
        return named;
    // A folder the data folder can be neither found nor made in is no more use than none.
    const QFileInfo data(QDir(named).filePath(kProductId));
    if (!data.isDir() && !target.isWritable())
        return named;
    return QString();
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
