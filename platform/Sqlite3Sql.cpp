#include "Sqlite3Sql.h"

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
    Param p;
    p.kind = Param::Int;
    p.integer = value;
    m_params.push_back(std::move(p));
    return *this;
}

Sqlite3Sql &Sqlite3Sql::addInt64Param(long long value)
{
    Param p;
    p.kind = Param::Int64;
    p.integer = value;
    m_params.push_back(std::move(p));
    return *this;
}

Sqlite3Sql &Sqlite3Sql::addDoubleParam(double value)
{
    Param p;
    p.kind = Param::Double;
    p.real = value;
    m_params.push_back(std::move(p));
    return *this;
}

Sqlite3Sql &Sqlite3Sql::addTextParam(const QString &value)
{
    Param p;
    p.kind = Param::Text;
    p.text = value;
    m_params.push_back(std::move(p));
    return *this;
}

Sqlite3Sql &Sqlite3Sql::addBlobParam(const QByteArray &value)
{
    Param p;
    p.kind = Param::Blob;
    p.blob = value;
    m_params.push_back(std::move(p));
    return *this;
}

Sqlite3Sql &Sqlite3Sql::addNullParam()
{
    m_params.push_back(Param());
    return *this;
}
