#include "Sqlite3DB.h"

#include "Logging.h"
#include "Sqlite3Exception.h"
#include "Sqlite3Statement.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>
#include <sys/stat.h>

#include <vector>

namespace {

// Statements whose text carries values (ids written with QString::arg) would fill the cache
// without end; past this size the statements no cursor holds are dropped.
constexpr int kCacheLimit = 256;

bool hasMoreStatements(const char *tail, const char *end)
{
    for (const char *p = tail; p && p < end; ++p) {
        if (*p != ' ' && *p != '\t' && *p != '\n' && *p != '\r' && *p != ';')
            return true;
    }
    return false;
}

Sqlite3Exception countMismatch(const Sqlite3Sql &sql, size_t marks)
{
    return Sqlite3Exception(QStringLiteral("%1 values were given for %2 marks [%3]")
                                .arg(sql.params().size())
                                .arg(marks)
                                .arg(sql.sql()),
                            SQLITE_RANGE);
}

// Binds every value of `sql` to the one statement it holds, which must have a mark for each.
void bindAll(Sqlite3Statement &statement, const Sqlite3Sql &sql)
{
    if (size_t(statement.parameterCount()) != sql.params().size())
        throw countMismatch(sql, size_t(statement.parameterCount()));
    statement.bind(sql.params());
}

} // namespace

int sqlite_qt_version()
{
    return 8;
}

void Sqlite3DB::ConnectionCloser::operator()(sqlite3 *db) const
{
    // Every statement is finalized before this runs, so the connection closes at once; an open
    // transaction is rolled back by SQLite.
    sqlite3_close_v2(db);
}

Sqlite3DB::LevelTexts::LevelTexts(size_t level)
{
    const QString name = QStringLiteral("tarnwick_level_%1").arg(level);
    begin = Sqlite3Sql(QStringLiteral("SAVEPOINT ") + name);
    release = Sqlite3Sql(QStringLiteral("RELEASE ") + name);
    rollbackTo = Sqlite3Sql(QStringLiteral("ROLLBACK TO ") + name);
}

const Sqlite3DB::LevelTexts &Sqlite3DB::levelTexts(size_t level)
{
    while (m_levelTexts.size() <= level)
        m_levelTexts.emplace_back(m_levelTexts.size());
    return m_levelTexts[level];
}

Sqlite3DB::Sqlite3DB() = default;

Sqlite3DB::~Sqlite3DB()
{
    close();
}

void Sqlite3DB::openThrow(const QString &path, int flags)
{
    openName(path, path.toUtf8(), flags);
}

void Sqlite3DB::openImmutableThrow(const QString &path)
{
    // Only the URI form carries "immutable"; every character a URI treats specially in the path
    // is escaped, so any file name opens this file and no other.
    const QByteArray absolute = QFileInfo(path).absoluteFilePath().toUtf8();
    const QByteArray uri = "file:" + absolute.toPercentEncoding("/") + "?mode=ro&immutable=1";
    openName(path, uri, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
}

void Sqlite3DB::openName(const QString &shownPath, const QByteArray &name, int flags)
{
    close();
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(name.constData(), &raw, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString message =
            raw ? QString::fromUtf8(sqlite3_errmsg(raw)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close_v2(raw);
        throw Sqlite3Exception(QStringLiteral("Cannot open database %1: %2").arg(shownPath, message), rc);
    }
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_timeout(raw, kBusyWaitMs);
    m_db.reset(raw);
    m_path = QFile::encodeName(QFileInfo(shownPath).absoluteFilePath());
    struct stat info;
    m_device.reset();
    if (::stat(m_path.constData(), &info) == 0)
        m_device = static_cast<unsigned long long>(info.st_dev);
}

void Sqlite3DB::close()
{
    for (const auto &statement : std::as_const(m_cache))
        statement->finalize();
    m_cache.clear();
    for (const auto &weak : m_uncached) {
        if (const auto statement = weak.lock())
            statement->finalize();
    }
    m_uncached.clear();
    if (!m_levels.empty())
        ++m_rollbacks;
    m_levels.clear();
    m_db.reset();
}

void Sqlite3DB::requireOpen(const QString &sql) const
{
    if (!m_db)
        throw Sqlite3Exception(QStringLiteral("The database is not open [%1]").arg(sql), SQLITE_MISUSE);
}

std::shared_ptr<Sqlite3Statement> Sqlite3DB::track(std::unique_ptr<Sqlite3Statement> statement)
{
    std::shared_ptr<Sqlite3Statement> shared(std::move(statement));
    if (m_uncached.size() >= 32) {
        m_uncached.erase(std::remove_if(m_uncached.begin(), m_uncached.end(),
                                        [](const std::weak_ptr<Sqlite3Statement> &w) { return w.expired(); }),
                         m_uncached.end());
    }
    m_uncached.push_back(shared);
    return shared;
}

std::shared_ptr<Sqlite3Statement> Sqlite3DB::statement(const QString &sql, bool *single)
{
    *single = true;
    const auto cached = m_cache.constFind(sql);
    const bool inUse = cached != m_cache.constEnd() && cached->use_count() > 1;
    if (cached != m_cache.constEnd() && !inUse)
        return *cached;

    const QByteArray utf8 = sql.toUtf8();
    const char *begin = utf8.constData();
    const char *end = begin + utf8.size();
    const char *tail = nullptr;
    std::unique_ptr<Sqlite3Statement> prepared = Sqlite3Statement::prepare(m_db.get(), begin, end, &tail);
    if (hasMoreStatements(tail, end)) {
        *single = false;
        return nullptr;
    }
    if (!prepared)
        return nullptr;
    if (inUse) {
        // A live cursor runs the cached one (a query issued while reading another of the same
        // text): this run gets its own.
        return track(std::move(prepared));
    }
    if (m_cache.size() >= kCacheLimit) {
        for (auto it = m_cache.begin(); it != m_cache.end();) {
            if (it->use_count() == 1)
                it = m_cache.erase(it);
            else
                ++it;
        }
    }
    std::shared_ptr<Sqlite3Statement> shared(std::move(prepared));
    m_cache.insert(sql, shared);
    return shared;
}

void Sqlite3DB::executeMany(const Sqlite3Sql &sql)
{
    const QByteArray utf8 = sql.sql().toUtf8();
    const char *pos = utf8.constData();
    const char *end = pos + utf8.size();
    size_t bound = 0;
    while (pos < end) {
        const char *tail = nullptr;
        std::unique_ptr<Sqlite3Statement> statement = Sqlite3Statement::prepare(m_db.get(), pos, end, &tail);
        pos = tail ? tail : end;
        if (!statement)
            continue;
        statement->bind(sql.params(), bound);
        bound += size_t(statement->parameterCount());
        while (statement->step()) {
        }
    }
    if (bound != sql.params().size())
        throw countMismatch(sql, bound);
}

void Sqlite3DB::executeThrow(const Sqlite3Sql &sql)
{
    requireOpen(sql.sql());
    bool single = true;
    const std::shared_ptr<Sqlite3Statement> statement = this->statement(sql.sql(), &single);
    if (!single) {
        executeMany(sql);
        return;
    }
    if (!statement) {
        if (!sql.params().empty())
            throw Sqlite3Exception(QStringLiteral("Values given for an empty statement [%1]").arg(sql.sql()),
                                   SQLITE_RANGE);
        return;
    }
    bindAll(*statement, sql);
    while (statement->step()) {
    }
    statement->reset();
}

Sqlite3Cursor Sqlite3DB::queryThrow(const Sqlite3Sql &sql)
{
    requireOpen(sql.sql());
    bool single = true;
    std::shared_ptr<Sqlite3Statement> statement = this->statement(sql.sql(), &single);
    if (!single)
        throw Sqlite3Exception(QStringLiteral("A query runs one statement [%1]").arg(sql.sql()),
                               SQLITE_MISUSE);
    if (!statement)
        throw Sqlite3Exception(QStringLiteral("The query holds no statement [%1]").arg(sql.sql()),
                               SQLITE_MISUSE);
    bindAll(*statement, sql);
    return Sqlite3Cursor(std::move(statement));
}

long long Sqlite3DB::lastInsertId() const
{
    return m_db ? sqlite3_last_insert_rowid(m_db.get()) : 0;
}

int Sqlite3DB::changes() const
{
    return m_db ? sqlite3_changes(m_db.get()) : 0;
}

long long Sqlite3DB::totalChanges() const
{
    return m_db ? sqlite3_total_changes64(m_db.get()) : 0;
}

bool Sqlite3DB::holdsTransaction() const
{
    if (!m_db)
        return false;
    // Our own outermost level takes the write lock as it begins, and holds it while SQLite has not
    // ended it. Caches ask this several times a row, and the full question takes the connection's
    // mutex and looks the file up by name.
    if (!m_levels.empty() && !m_levels.front() && !sqlite3_get_autocommit(m_db.get()))
        return true;
    return sqlite3_txn_state(m_db.get(), "main") != SQLITE_TXN_NONE;
}

bool Sqlite3DB::runControl(const Sqlite3Sql &sql)
{
    try {
        executeThrow(sql);
        return true;
    } catch (const Sqlite3Exception &e) {
        m_lastError = QString::fromUtf8(e.what());
        const int primary = e.code() & 0xff;
        m_lastBusy = primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
        qCWarning(lcSqlite) << m_lastError;
        return false;
    } catch (const std::exception &e) {
        m_lastError = QString::fromUtf8(e.what());
        m_lastBusy = false;
        qCWarning(lcSqlite) << m_lastError;
        return false;
    }
}

bool Sqlite3DB::fileMoved() const
{
    if (!m_db)
        return false;
    int moved = 0;
    // SQLite's own check stat()s the path again against the inode held open; the device, which it
    // leaves out, is compared here.
    if (sqlite3_file_control(m_db.get(), "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && moved)
        return true;
    if (!m_device)
        return false;
    struct stat info;
    return ::stat(m_path.constData(), &info) != 0 ||
           static_cast<unsigned long long>(info.st_dev) != *m_device;
}

void Sqlite3DB::syncLevels()
{
    // SQLite ends a transaction by itself on some errors (a full disk, an interrupted statement);
    // then nothing of ours is open any more.
    if (!m_levels.empty() && (!m_db || sqlite3_get_autocommit(m_db.get()))) {
        m_levels.clear();
        ++m_rollbacks;
    }
}

void Sqlite3DB::beginTran(int busyWaitMs)
{
    if (!m_db) {
        qCWarning(lcSqlite) << "beginTran on a closed connection";
        return;
    }
    syncLevels();
    if (m_levels.empty() && sqlite3_get_autocommit(m_db.get())) {
        // A plain BEGIN takes the write lock at the first write, when a reader that must wait for
        // another writer can only fail at once (SQLite refuses to wait there, to avoid a
        // deadlock); taking it first lets the busy wait apply.
        if (busyWaitMs != kBusyWaitMs)
            sqlite3_busy_timeout(m_db.get(), busyWaitMs);
        static const Sqlite3Sql beginImmediate("BEGIN IMMEDIATE");
        const bool begun = runControl(beginImmediate);
        if (busyWaitMs != kBusyWaitMs)
            sqlite3_busy_timeout(m_db.get(), kBusyWaitMs);
        if (begun)
            m_levels.push_back(false);
        return;
    }
    const size_t level = m_levels.size() + 1;
    if (runControl(levelTexts(level).begin))
        m_levels.push_back(true);
}

bool Sqlite3DB::commitTran()
{
    syncLevels();
    if (!m_db || m_levels.empty())
        return true;
    const size_t level = m_levels.size();
    static const Sqlite3Sql commit("COMMIT");
    const bool ok = runControl(m_levels.back() ? levelTexts(level).release : commit);
    if (ok) {
        m_levels.pop_back();
        return true;
    }
    // Leave nothing half-open: the level that could not be committed is undone.
    const QString error = m_lastError;
    rollbackTran();
    m_lastError = error;
    return false;
}

void Sqlite3DB::rollbackTran()
{
    syncLevels();
    if (!m_db || m_levels.empty())
        return;
    const size_t level = m_levels.size();
    ++m_rollbacks;
    if (m_levels.back()) {
        runControl(levelTexts(level).rollbackTo);
        runControl(levelTexts(level).release);
    } else {
        static const Sqlite3Sql rollback("ROLLBACK");
        runControl(rollback);
    }
    m_levels.pop_back();
    syncLevels();
}
