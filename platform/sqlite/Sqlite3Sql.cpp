#include "Sqlite3Sql.h"

namespace {

Sqlite3Sql::Param &newParam(std::vector<Sqlite3Sql::Param> &params, Sqlite3Sql::Param::Kind kind)
{
    // A row of the data table binds fifteen values or so; growing one by one would move them four
    // times.
    if (params.capacity() == 0)
        params.reserve(16);
    params.emplace_back().kind = kind;
    return params.back();
}

} // namespace

Sqlite3Sql::Sqlite3Sql(const char *sql)
    : m_sql(QString::fromUtf8(sql))
{}

Sqlite3Sql::Sqlite3Sql(const QString &sql)
    : m_sql(sql)
{}

Sqlite3Sql &Sqlite3Sql::appendSql(const QString &sql)
{
    m_sql += sql;
    return *this;
}

Sqlite3Sql &Sqlite3Sql::addIntParam(int value)
{
    newParam(m_params, Param::Int).integer = value;
    return *this;
}

Sqlite3Sql &Sqlite3Sql::addInt64Param(long long value)
{
    newParam(m_params, Param::Int64).integer = value;
    return *this;
}

Sqlite3Sql &Sqlite3Sql::addTextParam(const QString &value)
{
    newParam(m_params, Param::Text).text = value;
    return *this;
}

Sqlite3Sql &Sqlite3Sql::addBlobParam(const QByteArray &value)
{
    newParam(m_params, Param::Blob).blob = value;
    return *this;
}
