#include "Sqlite3Statement.h"

#include "Sqlite3Exception.h"

#include <sqlite3.h>

Sqlite3Statement::Sqlite3Statement(sqlite3 *db, sqlite3_stmt *stmt, QString sql)
    : m_db(db)
    , m_stmt(stmt)
    , m_sql(std::move(sql))
{}

Sqlite3Statement::~Sqlite3Statement()
{
    finalize();
}

std::unique_ptr<Sqlite3Statement> Sqlite3Statement::prepare(sqlite3 *db, const char *begin, const char *end,
                                                            const char **tail)
{
    sqlite3_stmt *stmt = nullptr;
    const int rc = sqlite3_prepare_v3(db, begin, int(end - begin), SQLITE_PREPARE_PERSISTENT, &stmt, tail);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt);
        throw Sqlite3Exception(QStringLiteral("Cannot prepare statement: %1 [%2]")
                                   .arg(QString::fromUtf8(sqlite3_errmsg(db)),
                                        QString::fromUtf8(begin, int(end - begin)).trimmed()),
                               rc);
    }
    if (!stmt)
        return nullptr;
    const char *stop = (tail && *tail) ? *tail : end;
    return std::make_unique<Sqlite3Statement>(db, stmt,
                                              QString::fromUtf8(begin, int(stop - begin)).trimmed());
}

int Sqlite3Statement::parameterCount() const
{
    return m_stmt ? sqlite3_bind_parameter_count(m_stmt) : 0;
}

void Sqlite3Statement::bind(const std::vector<Sqlite3Sql::Param> &params, size_t first)
{
    if (!m_stmt)
        throw Sqlite3Exception(QStringLiteral("The database connection is closed [%1]").arg(m_sql));
    const int count = sqlite3_bind_parameter_count(m_stmt);
    if (params.size() < first + size_t(count))
        throw Sqlite3Exception(QStringLiteral("The statement needs %1 values, %2 were given [%3]")
                                   .arg(count)
                                   .arg(params.size() - first)
                                   .arg(m_sql),
                               SQLITE_RANGE);
    // Every mark is bound below, so nothing of the older bindings is left to clear. The texts' bytes
    // are kept here and bound in place: SQLite would otherwise copy every value once more, and a merge
    // binds a dozen texts to every row it writes.
    m_bound.clear();
    m_bound.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        const Sqlite3Sql::Param &p = params[first + size_t(i)];
        int rc = SQLITE_OK;
        switch (p.kind) {
        case Sqlite3Sql::Param::Null:
            rc = sqlite3_bind_null(m_stmt, i + 1);
            break;
        case Sqlite3Sql::Param::Int:
            rc = sqlite3_bind_int(m_stmt, i + 1, int(p.integer));
            break;
        case Sqlite3Sql::Param::Int64:
            rc = sqlite3_bind_int64(m_stmt, i + 1, p.integer);
            break;
        case Sqlite3Sql::Param::Text: {
            // A null QString gives "" here, so it is stored as the empty text and never as NULL.
            m_bound.push_back(p.text.toUtf8());
            const QByteArray &utf8 = m_bound.back();
            rc = sqlite3_bind_text(m_stmt, i + 1, utf8.constData(), int(utf8.size()), SQLITE_STATIC);
            break;
        }
        case Sqlite3Sql::Param::Blob:
            // Copied: the bytes may be raw data that lives no longer than the caller's value.
            if (p.blob.isEmpty())
                rc = sqlite3_bind_zeroblob(m_stmt, i + 1, 0);
            else
                rc = sqlite3_bind_blob(m_stmt, i + 1, p.blob.constData(), int(p.blob.size()),
                                       SQLITE_TRANSIENT);
            break;
        }
        if (rc != SQLITE_OK) {
            const QString text = errorText(QStringLiteral("Cannot bind value %1").arg(i + 1));
            // No mark may keep pointing at bytes released above.
            sqlite3_clear_bindings(m_stmt);
            m_bound.clear();
            throw Sqlite3Exception(text, rc);
        }
    }
}

bool Sqlite3Statement::step()
{
    if (!m_stmt)
        throw Sqlite3Exception(QStringLiteral("The database connection is closed [%1]").arg(m_sql));
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const QString text = errorText(QStringLiteral("Statement failed"));
    sqlite3_reset(m_stmt);
    throw Sqlite3Exception(text, rc);
}

void Sqlite3Statement::reset()
{
    if (m_stmt)
        sqlite3_reset(m_stmt);
}

void Sqlite3Statement::finalize()
{
    if (m_stmt) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
    }
    m_bound.clear();
}

QString Sqlite3Statement::errorText(const QString &what) const
{
    return QStringLiteral("%1: %2 [%3]").arg(what, QString::fromUtf8(sqlite3_errmsg(m_db)), m_sql);
}
