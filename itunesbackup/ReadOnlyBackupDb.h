#pragma once

#include "platform/sqlite/Sqlite3DB.h"

#include <QString>

#include <memory>

class QTemporaryDir;

// A database inside a backup folder, open for reading only: nothing is ever written into the
// backup. A database alone is read in place, immutable. A copy of a database taken while it was in
// use may keep committed rows only in the "-wal" beside it, or have its last pages undone only by
// a hot "-journal" beside it; SQLite reads neither without writing beside the file. Such a database
// is read from a private copy made together with its journal in a folder of the temporary folder,
// which goes with this object however the reading ends.
class ReadOnlyBackupDb
{
public:
    // Opens `path`. Throws Sqlite3Exception when SQLite cannot open it and std::runtime_error when
    // the private copy cannot be made; the texts name `path`, never the private copy.
    explicit ReadOnlyBackupDb(const QString &path);
    ~ReadOnlyBackupDb();
    ReadOnlyBackupDb(const ReadOnlyBackupDb &) = delete;
    ReadOnlyBackupDb &operator=(const ReadOnlyBackupDb &) = delete;

    Sqlite3DB &db() { return m_db; }
    // True when the rows come from a private copy with its journal.
    bool readsCopy() const { return m_copyDir != nullptr; }

    // Whether a journal whose rows or undo records a read must take lies beside `path`.
    static bool hasJournalBeside(const QString &path);
    // Copies the journals that lie beside `from` beside `to`, a copy of `from`, so that SQLite opens
    // `to` with them. Throws std::runtime_error naming the journal that could not be copied.
    static void copyJournalsThrow(const QString &from, const QString &to);

private:
    // Declared before the connection, so that the connection is closed before the copy goes.
    std::unique_ptr<QTemporaryDir> m_copyDir;
    Sqlite3DB m_db;
};
