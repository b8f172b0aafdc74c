#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

class Sqlite3Statement;

// Result rows of one query. Starts before the first row; moveNext() steps to the next one and is
// false after the last. Columns are found by their result name (the alias where the select list
// gives one), compared without regard to ASCII case, or by position from 0. NULL reads as 0, the
// empty text or empty bytes. Move-only: the cursor owns its run of the statement, and gives the
// statement back (reset) when destroyed.
class Sqlite3Cursor
{
public:
    Sqlite3Cursor();
    explicit Sqlite3Cursor(std::shared_ptr<Sqlite3Statement> statement);
    ~Sqlite3Cursor();
    Sqlite3Cursor(Sqlite3Cursor &&other) noexcept;
    Sqlite3Cursor &operator=(Sqlite3Cursor &&other) noexcept;
    Sqlite3Cursor(const Sqlite3Cursor &) = delete;
    Sqlite3Cursor &operator=(const Sqlite3Cursor &) = delete;

    bool moveNext();
    // Number of rows of the whole result, wherever the cursor stands; asking it leaves the
    // position unchanged (before the first row when asked first). Runs the query once more.
    int count();

    int columnCount() const;
    // Position of the named column, -1 when the result has none.
    int columnIndex(const char *name) const;
    int columnIndex(const QString &name) const;
    bool isNull(const char *name) const;
    bool isNull(int index) const;

    int getInt(const char *name) const;
    int getInt(const QString &name) const;
    int getInt(int index) const;
    long long getInt64(const char *name) const;
    long long getInt64(const QString &name) const;
    long long getInt64(int index) const;
    double getDouble(const char *name) const;
    double getDouble(int index) const;
    QString getText(const char *name) const;
    QString getText(const QString &name) const;
    QString getText(int index) const;
    QByteArray getBlob(const char *name) const;
    QByteArray getBlob(const QString &name) const;
    QByteArray getBlob(int index) const;

private:
    int requireColumn(const char *name) const;
    int requireColumn(const QString &name) const;
    void requireRow(int index) const;
    void release();

    std::shared_ptr<Sqlite3Statement> m_statement;
    mutable std::vector<QByteArray> m_names; // filled on the first lookup by name
    long long m_position = -1;               // rows stepped over; -1 before the first
    bool m_hasRow = false;
    bool m_atEnd = false;
    int m_count = -1;
};
