#include "Sqlite3Cursor.h"

#include "Sqlite3Exception.h"
#include "Sqlite3Statement.h"

#include <sqlite3.h>

namespace {

bool asciiCaseEqual(const char *a, const char *b)
{
    for (;; ++a, ++b) {
        char ca = *a;
        char cb = *b;
        if (ca >= 'A' && ca <= 'Z')
            ca = char(ca - 'A' + 'a');
        if (cb >= 'A' && cb <= 'Z')
            cb = char(cb - 'A' + 'a');
        if (ca != cb)
            return false;
        if (ca == '\0')
            return true;
    }
}

} // namespace

Sqlite3Cursor::Sqlite3Cursor() = default;

Sqlite3Cursor::Sqlite3Cursor(std::shared_ptr<Sqlite3Statement> statement)
    : m_statement(std::move(statement))
{}

Sqlite3Cursor::~Sqlite3Cursor()
{
    release();
}

Sqlite3Cursor::Sqlite3Cursor(Sqlite3Cursor &&other) noexcept
    : m_statement(std::move(other.m_statement))
    , m_names(std::move(other.m_names))
    , m_position(other.m_position)
    , m_hasRow(other.m_hasRow)
    , m_atEnd(other.m_atEnd)
    , m_count(other.m_count)
{
    other.m_statement.reset();
    other.m_hasRow = false;
}

Sqlite3Cursor &Sqlite3Cursor::operator=(Sqlite3Cursor &&other) noexcept
{
    if (this != &other) {
        release();
        m_statement = std::move(other.m_statement);
        m_names = std::move(other.m_names);
        m_position = other.m_position;
        m_hasRow = other.m_hasRow;
        m_atEnd = other.m_atEnd;
        m_count = other.m_count;
        other.m_statement.reset();
        other.m_hasRow = false;
    }
    return *this;
}

void Sqlite3Cursor::release()
{
    // The statement may be cached by its connection: leave it reset so that it holds no read lock
    // and can run again.
    if (m_statement)
        m_statement->reset();
    m_statement.reset();
    m_hasRow = false;
}

bool Sqlite3Cursor::moveNext()
{
    if (!m_statement || m_atEnd)
        return false;
    m_hasRow = false;
    if (m_statement->isFinalized()) {
        // Its connection was closed: there are no further rows to read.
        m_atEnd = true;
        return false;
    }
    m_hasRow = m_statement->step();
    if (m_hasRow) {
        ++m_position;
    } else {
        m_atEnd = true;
        m_statement->reset();
    }
    return m_hasRow;
}

int Sqlite3Cursor::count()
{
    if (m_count >= 0)
        return m_count;
    if (!m_statement || m_statement->isFinalized())
        return 0;
    // Count on a fresh run of the statement (its bindings survive a reset), then step back to
    // where the caller stood.
    m_statement->reset();
    int rows = 0;
    while (m_statement->step())
        ++rows;
    m_statement->reset();
    m_count = rows;
    if (m_atEnd)
        return m_count;
    for (long long i = 0; i <= m_position; ++i) {
        if (!m_statement->step()) {
            // The data changed between the runs; the caller's row is gone.
            m_hasRow = false;
            m_atEnd = true;
            m_statement->reset();
            break;
        }
    }
    return m_count;
}

int Sqlite3Cursor::columnCount() const
{
    return m_statement && m_statement->handle() ? sqlite3_column_count(m_statement->handle()) : 0;
}

int Sqlite3Cursor::columnIndex(const char *name) const
{
    const int columns = columnCount();
    if (int(m_names.size()) != columns) {
        m_names.clear();
        for (int i = 0; i < columns; ++i)
            m_names.emplace_back(sqlite3_column_name(m_statement->handle(), i));
    }
    for (int i = 0; i < columns; ++i) {
        if (asciiCaseEqual(m_names[size_t(i)].constData(), name))
            return i;
    }
    return -1;
}

int Sqlite3Cursor::columnIndex(const QString &name) const
{
    return columnIndex(name.toUtf8().constData());
}

int Sqlite3Cursor::requireColumn(const char *name) const
{
    const int index = columnIndex(name);
    requireRow(index);
    return index;
}

int Sqlite3Cursor::requireColumn(const QString &name) const
{
    return requireColumn(name.toUtf8().constData());
}

void Sqlite3Cursor::requireRow(int index) const
{
    if (!m_statement || !m_statement->handle())
        throw Sqlite3Exception(QStringLiteral("The cursor has no query (or its connection was closed)"));
    if (!m_hasRow)
        throw Sqlite3Exception(QStringLiteral("The cursor stands on no row [%1]").arg(m_statement->sql()));
    if (index < 0 || index >= sqlite3_column_count(m_statement->handle()))
        throw Sqlite3Exception(QStringLiteral("The result has no such column [%1]").arg(m_statement->sql()),
                               SQLITE_RANGE);
}

bool Sqlite3Cursor::isNull(const char *name) const
{
    return isNull(requireColumn(name));
}

bool Sqlite3Cursor::isNull(int index) const
{
    requireRow(index);
    return sqlite3_column_type(m_statement->handle(), index) == SQLITE_NULL;
}

int Sqlite3Cursor::getInt(const char *name) const
{
    return getInt(requireColumn(name));
}

int Sqlite3Cursor::getInt(const QString &name) const
{
    return getInt(requireColumn(name));
}

int Sqlite3Cursor::getInt(int index) const
{
    requireRow(index);
    return sqlite3_column_int(m_statement->handle(), index);
}

long long Sqlite3Cursor::getInt64(const char *name) const
{
    return getInt64(requireColumn(name));
}

long long Sqlite3Cursor::getInt64(const QString &name) const
{
    return getInt64(requireColumn(name));
}

long long Sqlite3Cursor::getInt64(int index) const
{
    requireRow(index);
    return sqlite3_column_int64(m_statement->handle(), index);
}

double Sqlite3Cursor::getDouble(const char *name) const
{
    return getDouble(requireColumn(name));
}

double Sqlite3Cursor::getDouble(int index) const
{
    requireRow(index);
    return sqlite3_column_double(m_statement->handle(), index);
}

QString Sqlite3Cursor::getText(const char *name) const
{
    return getText(requireColumn(name));
}

QString Sqlite3Cursor::getText(const QString &name) const
{
    return getText(requireColumn(name));
}

QString Sqlite3Cursor::getText(int index) const
{
    requireRow(index);
    sqlite3_stmt *stmt = m_statement->handle();
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, index));
    if (!text)
        return QLatin1String("");
    return QString::fromUtf8(text, sqlite3_column_bytes(stmt, index));
}

QByteArray Sqlite3Cursor::getBlob(const char *name) const
{
    return getBlob(requireColumn(name));
}

QByteArray Sqlite3Cursor::getBlob(const QString &name) const
{
    return getBlob(requireColumn(name));
}

QByteArray Sqlite3Cursor::getBlob(int index) const
{
    requireRow(index);
    sqlite3_stmt *stmt = m_statement->handle();
    const void *bytes = sqlite3_column_blob(stmt, index);
    if (!bytes)
        return QByteArray();
    return QByteArray(static_cast<const char *>(bytes), sqlite3_column_bytes(stmt, index));
}
