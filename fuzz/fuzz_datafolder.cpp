// The data-folder rules over what a user or another program may leave on disk: the redirect file's
// bytes (first line of the input, kept whole) and a file name whose free variant is looked for (the
// rest of the input), all inside a scratch data folder.
#include "model/DataFolder.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace {

// The scratch folder stands in for the XDG data folder for the whole run, before anything reads it.
const QTemporaryDir &scratch()
{
    static QTemporaryDir dir;
    static const bool placed = qputenv("XDG_DATA_HOME", QFile::encodeName(dir.path()));
    Q_UNUSED(placed);
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QTemporaryDir &dir = scratch();
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const qsizetype lineEnd = input.indexOf('\n');
    const QByteArray redirect = lineEnd < 0 ? input : input.left(lineEnd + 1);
    const QByteArray name = lineEnd < 0 ? QByteArray() : input.mid(lineEnd + 1);

    QDir().mkpath(g_defaultSaveDirPath());
    const QString redirectPath =
        g_defaultSaveDirPath() + QStringLiteral("/5D13B7E0A9C24F68B1E07D3C92A4F5E6.redirect");
    {
        QFile file(redirectPath);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(redirect);
    }
    (void)g_dataSaveDirLink();
    QFile::remove(redirectPath);

    // A name of one path part inside the scratch folder, taken so that a variant has to be found.
    const QString fileName = QString::fromUtf8(name);
    if (fileName.isEmpty() || fileName.contains(QLatin1Char('/')) || fileName == QLatin1String(".") ||
        fileName == QLatin1String("..") || fileName.size() > 200)
        return 0;
    const QString taken = dir.filePath(fileName);
    {
        QFile file(taken);
        if (!file.open(QIODevice::WriteOnly))
            return 0;
    }
    (void)g_getValidFilePath(taken);
    QFile::remove(taken);
    return 0;
}
