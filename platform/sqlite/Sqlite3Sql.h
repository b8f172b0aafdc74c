#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// One statement: its text and the values bound to its "?" marks in the order they were added.
// Row ids and column names go into the text first (QString::arg); values are bound.
class Sqlite3Sql
{
public:
    struct Param
    {
        enum Kind { Null, Int, Int64, Text, Blob };
        Kind kind = Null;
        long long integer = 0;
        QString text;
        QByteArray blob;
    };

    Sqlite3Sql() = default;
    Sqlite3Sql(const char *sql);
    Sqlite3Sql(const QString &sql);

    Sqlite3Sql &appendSql(const QString &sql);

    Sqlite3Sql &addIntParam(int value);
    Sqlite3Sql &addInt64Param(long long value);
    // Bound as UTF-8; a null text is bound as the empty text, never as SQL NULL.
    Sqlite3Sql &addTextParam(const QString &value);
    // Empty bytes are bound as a zero-length blob.
    Sqlite3Sql &addBlobParam(const QByteArray &value);

    const QString &sql() const { return m_sql; }
    const std::vector<Param> &params() const { return m_params; }

private:
    QString m_sql;
    std::vector<Param> m_params;
};
