#pragma once

#include "Sqlite3Sql.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// One prepared statement of a connection. Owns the sqlite3_stmt and finalizes it on destruction,
// or earlier when its connection closes (finalize()), after which it is inert.
class Sqlite3Statement
{
public:
    Sqlite3Statement(sqlite3 *db, sqlite3_stmt *stmt, QString sql);
    ~Sqlite3Statement();
    Sqlite3Statement(const Sqlite3Statement &) = delete;
    Sqlite3Statement &operator=(const Sqlite3Statement &) = delete;

    // Prepares the first statement of [begin, end); *tail receives where the rest starts. Returns
    // null when the text holds only blanks or comments. Throws Sqlite3Exception.
    static std::unique_ptr<Sqlite3Statement> prepare(sqlite3 *db, const char *begin, const char *end,
                                                     const char **tail);

    sqlite3_stmt *handle() const { return m_stmt; }
    const QString &sql() const { return m_sql; }
    bool isFinalized() const { return m_stmt == nullptr; }

    int parameterCount() const;
    // Binds params[first] .. params[first + parameterCount() - 1] to the marks, in place of the
    // older bindings. The statement holds the bytes of the texts until it is bound again or
    // finalized (a reset keeps them: a cursor may run the statement again). Throws
    // Sqlite3Exception.
    void bind(const std::vector<Sqlite3Sql::Param> &params, size_t first = 0);
    // One step: true for a row, false when done. Throws Sqlite3Exception on failure (and resets).
    bool step();
    void reset();
    void finalize();

    // Failure text for this statement: SQLite's message and the statement text.
    QString errorText(const QString &what) const;

private:
    sqlite3 *m_db;
    sqlite3_stmt *m_stmt;
    QString m_sql;
    // The UTF-8 of the texts the current bindings point into. QByteArray keeps its data in place when the
    // vector grows, so the pointers handed to SQLite stay good.
    std::vector<QByteArray> m_bound;
};
