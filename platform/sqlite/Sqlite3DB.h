#pragma once

#include "Sqlite3Cursor.h"
#include "Sqlite3Sql.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

struct sqlite3;
class Sqlite3Statement;

// Version of this database layer; start-up refuses to run with any other.
int sqlite_qt_version();

// One SQLite connection. Closed after construction; the native handle is null while closed.
// Statements are prepared once per connection and kept until the connection closes.
// Transactions nest: only the outermost level decides what is stored, inner levels are savepoints.
// A connection is used by one thread at a time.
class Sqlite3DB
{
public:
    // SQLite open flags as the callers pass them.
    enum OpenFlags { ReadOnly = 1, ReadWrite = 2, ReadWriteCreate = 6 };
    // How long a statement waits for another connection's lock before it fails.
    static constexpr int kBusyWaitMs = 5000;

    Sqlite3DB();
    virtual ~Sqlite3DB();
    Sqlite3DB(const Sqlite3DB &) = delete;
    Sqlite3DB &operator=(const Sqlite3DB &) = delete;

    // Opens `path` with SQLite open flags (2 read/write, 6 read/write/create); an open connection
    // is closed first. Throws Sqlite3Exception.
    void openThrow(const QString &path, int flags);
    // Opens `path` for reading a file that nothing changes while it is open, such as a database
    // inside a backup folder: SQLite takes no lock and never writes beside it (no journal, -wal or
    // -shm), whatever journal mode the file records, so a folder the user cannot write to reads
    // the same and stays byte for byte the same. Throws Sqlite3Exception.
    void openImmutableThrow(const QString &path);
    // Accepted when closed and with a transaction open (which is then rolled back). Cursors still
    // alive read no further rows.
    void close();

    bool isOpen() const { return m_db != nullptr; }
    sqlite3 *handle() const { return m_db.get(); }

    // Never throw. commitTran() and rollbackTran() do nothing when no transaction is open.
    // The outermost level takes the write lock at once (BEGIN IMMEDIATE), waiting for another
    // connection's write to end at most `busyWaitMs`; when it cannot, no level opens and
    // lastFailureBusy() is true.
    void beginTran(int busyWaitMs = kBusyWaitMs);
    // False when the commit failed; the level is then rolled back and lastError() tells why.
    bool commitTran();
    void rollbackTran();
    // Levels opened by beginTran() and not yet ended.
    int transactionDepth() const { return int(m_levels.size()); }
    QString lastError() const { return m_lastError; }
    // Whether the last failed begin, commit or rollback failed because another connection held
    // the file's lock beyond the wait.
    bool lastFailureBusy() const { return m_lastBusy; }
    // True when the file at the path this connection opened is no longer the file it holds open
    // (removed, renamed, or another file put in its place).
    bool fileMoved() const;

    // Runs the statement (several separated by ";" are run in turn, the values bound in order).
    void executeThrow(const Sqlite3Sql &sql);
    Sqlite3Cursor queryThrow(const Sqlite3Sql &sql);

    long long lastInsertId() const;
    // Rows changed by the last insert, update or delete.
    int changes() const;
    // Rows changed by every insert, update and delete since the connection opened.
    long long totalChanges() const;
    // Rollbacks of any level (savepoints included) since this object was made; a cache of file
    // content compares it to notice rows that vanished without a statement of its own.
    unsigned long long rollbackCount() const { return m_rollbacks; }
    // True while the connection holds a read or write transaction on the main file: no other
    // connection can then change what this one sees.
    bool holdsTransaction() const;

private:
    struct ConnectionCloser
    {
        void operator()(sqlite3 *db) const;
    };

    void openName(const QString &shownPath, const QByteArray &name, int flags);
    void requireOpen(const QString &sql) const;
    std::shared_ptr<Sqlite3Statement> statement(const QString &sql, bool *single);
    std::shared_ptr<Sqlite3Statement> track(std::unique_ptr<Sqlite3Statement> statement);
    void executeMany(const Sqlite3Sql &sql);
    bool runControl(const Sqlite3Sql &sql);
    void syncLevels();

    // The statements that open, release and undo one savepoint level: a merge opens and releases one
    // for nearly every contact, so their texts are made once per level.
    struct LevelTexts
    {
        explicit LevelTexts(size_t level);
        Sqlite3Sql begin;
        Sqlite3Sql release;
        Sqlite3Sql rollbackTo;
    };
    const LevelTexts &levelTexts(size_t level);

    std::unique_ptr<sqlite3, ConnectionCloser> m_db;
    std::vector<LevelTexts> m_levelTexts;
    QHash<QString, std::shared_ptr<Sqlite3Statement>> m_cache;
    std::vector<std::weak_ptr<Sqlite3Statement>> m_uncached;
    std::vector<bool> m_levels; // per open level: true for a savepoint, false for BEGIN
    QString m_lastError;
    bool m_lastBusy = false;
    // The file the connection opened, and the device it was on then (none for a name that is no
    // file of its own, such as ":memory:").
    QByteArray m_path;
    std::optional<unsigned long long> m_device;
    unsigned long long m_rollbacks = 0;
};
