#include "ReadOnlyBackupDb.h"

#include "Logging.h"
#include "platform/sqlite/Sqlite3Exception.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <stdexcept>

namespace {

// The files SQLite keeps beside a database for what is not yet in it.
const char *const journalSuffixes[] = {"-wal", "-journal"};

QString translated(const char *text)
{
    return QCoreApplication::translate("ReadOnlyBackupDb", text);
}

// A journal that holds something: a regular file (never a link's target, a pipe or a device, which
// a copy could wait on without end) with at least one byte. SQLite itself decides whether its
// contents count.
bool holdsJournal(const QString &path)
{
    const QFileInfo info(path);
    return !info.isSymLink() && info.isFile() && info.size() > 0;
}

// Copies `from` to `to`, a new file only this user may write. The texts name `shown`, the backup's
// file, and never the private folder.
void copyThrow(const QString &from, const QString &to, const QString &shown)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        throw std::runtime_error(
            translated("can not read %1. %2").arg(shown, in.errorString()).toUtf8().toStdString());
    QFile out(to);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        throw std::runtime_error(translated("can not copy %1 into the temporary folder. %2")
                                     .arg(shown, out.errorString())
                                     .toUtf8()
                                     .toStdString());
    QByteArray buffer(1024 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in.read(buffer.data(), buffer.size());
        if (n < 0)
            throw std::runtime_error(
                translated("can not read %1. %2").arg(shown, in.errorString()).toUtf8().toStdString());
        if (n == 0)
            break;
        if (out.write(buffer.constData(), n) != n)
            throw std::runtime_error(translated("can not copy %1 into the temporary folder. %2")
                                         .arg(shown, out.errorString())
                                         .toUtf8()
                                         .toStdString());
    }
    if (!out.flush())
        throw std::runtime_error(translated("can not copy %1 into the temporary folder. %2")
                                     .arg(shown, out.errorString())
                                     .toUtf8()
                                     .toStdString());
}

} // namespace

bool ReadOnlyBackupDb::hasJournalBeside(const QString &path)
{
    for (const char *suffix : journalSuffixes) {
        if (holdsJournal(path + QLatin1String(suffix)))
            return true;
    }
    return false;
}

void ReadOnlyBackupDb::copyJournalsThrow(const QString &from, const QString &to)
{
    for (const char *suffix : journalSuffixes) {
        const QString journal = from + QLatin1String(suffix);
        if (holdsJournal(journal))
            copyThrow(journal, to + QLatin1String(suffix), journal);
    }
}

ReadOnlyBackupDb::ReadOnlyBackupDb(const QString &path)
{
    if (!hasJournalBeside(path)) {
        m_db.openImmutableThrow(path);
        return;
    }

    auto dir = std::make_unique<QTemporaryDir>(
        QDir(QDir::tempPath()).absoluteFilePath(QStringLiteral("tarnwick-backupdb-XXXXXX")));
    if (!dir->isValid())
        throw std::runtime_error(translated("can not copy %1 into the temporary folder. %2")
                                     .arg(path, dir->errorString())
                                     .toUtf8()
                                     .toStdString());
    m_copyDir = std::move(dir);
    // The journal is found by the database's name: the copy keeps it.
    const QString copy = m_copyDir->filePath(QFileInfo(path).fileName());
    copyThrow(path, copy, path);
    copyJournalsThrow(path, copy);
    qCDebug(lcITunesBackup) << "reading" << path << "from a private copy with its journal";
    try {
        // Read and write: SQLite takes the rows of a -wal into the copy, and undoes with a hot
        // -journal what its transaction left half written.
        m_db.openThrow(copy, Sqlite3DB::ReadWrite);
    } catch (const Sqlite3Exception &e) {
        throw Sqlite3Exception(QString::fromUtf8(e.what()).replace(copy, path), e.code());
    }
}

ReadOnlyBackupDb::~ReadOnlyBackupDb()
{
    m_db.close();
}
