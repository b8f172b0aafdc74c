#pragma once

#include <QString>

#include <stdexcept>

// Failure of the SQLite layer. what() is UTF-8 text holding SQLite's own message and, for a
// statement that failed, the statement text.
class Sqlite3Exception : public std::runtime_error
{
public:
    explicit Sqlite3Exception(const QString &message, int code = 0);

    // SQLite's (extended) result code, 0 when the failure did not come from SQLite itself.
    int code() const { return m_code; }

private:
    int m_code;
};
