#pragma once

// The floor both benchmarks measure against: rows written straight into a file of the contact
// schema, one prepared statement per table, inside one transaction, with nothing of ours between
// SQLite and the file. Opening begins the transaction; commit() ends it; the destructor releases
// the statements and the connection whatever happened.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <sqlite3.h>

#include <stdexcept>

class FloorWriter
{
public:
    explicit FloorWriter(const QString &path)
    {
        check(sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr));
        check(sqlite3_exec(m_db, "begin", nullptr, nullptr, nullptr));
        m_group = prepare("insert into contact_group(name) values(?)");
        m_contact = prepare("insert into contact(src_id,full_name) values(?,?)");
        m_data = prepare("insert into data(contact_id,type,src_id,data1,data2,data3,data4,data5,data6,data7,"
                         "data8,data9,data10,data11) values(?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
        m_photo = prepare("insert into data(contact_id,type,src_id,data4,data15) values(?,2,?,?,?)");
    }
    // Replaces any file at `path` by a copy of the program's template database, readable and
    // writable by the owner only.
    static void copyTemplate(const QString &path)
    {
        QFile::remove(path);
        if (!QFile::copy(QStringLiteral(":res/db.db"), path))
            throw std::runtime_error("cannot copy the template database");
        QFile::setPermissions(path, QFile::ReadUser | QFile::WriteUser);
    }

    ~FloorWriter()
    {
        for (sqlite3_stmt *st : {m_group, m_contact, m_data, m_photo})
            sqlite3_finalize(st);
        sqlite3_close(m_db);
    }
    FloorWriter(const FloorWriter &) = delete;
    FloorWriter &operator=(const FloorWriter &) = delete;

    void group(const QString &name)
    {
        bindText(m_group, 1, name);
        step(m_group);
    }

    sqlite3_int64 contact(const QString &srcId, const QString &fullName)
    {
        bindText(m_contact, 1, srcId);
        bindText(m_contact, 2, fullName);
        step(m_contact);
        return sqlite3_last_insert_rowid(m_db);
    }

    // columns are data1 onwards; missing ones are written as empty text.
    void data(sqlite3_int64 contactId, int type, const QString &srcId, const QStringList &columns)
    {
        sqlite3_bind_int64(m_data, 1, contactId);
        sqlite3_bind_int(m_data, 2, type);
        bindText(m_data, 3, srcId);
        for (int i = 0; i < 11; ++i)
            bindText(m_data, 4 + i, i < columns.size() ? columns.at(i) : QStringLiteral(""));
        step(m_data);
    }

    // A photo row: the image bytes with their hash, as the database keeps them.
    void photo(sqlite3_int64 contactId, const QString &srcId, const QString &hash, const QByteArray &image)
    {
        sqlite3_bind_int64(m_photo, 1, contactId);
        bindText(m_photo, 2, srcId);
        bindText(m_photo, 3, hash);
        sqlite3_bind_blob(m_photo, 4, image.constData(), int(image.size()), SQLITE_TRANSIENT);
        step(m_photo);
    }

    void commit() { check(sqlite3_exec(m_db, "commit", nullptr, nullptr, nullptr)); }

private:
    void check(int rc) const
    {
        if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
            throw std::runtime_error(m_db ? sqlite3_errmsg(m_db) : "cannot open the floor database");
    }
    sqlite3_stmt *prepare(const char *sql)
    {
        sqlite3_stmt *st = nullptr;
        check(sqlite3_prepare_v2(m_db, sql, -1, &st, nullptr));
        return st;
    }
    static void bindText(sqlite3_stmt *st, int index, const QString &text)
    {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(st, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    void step(sqlite3_stmt *st)
    {
        check(sqlite3_step(st));
        sqlite3_reset(st);
    }

    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_group = nullptr;
    sqlite3_stmt *m_contact = nullptr;
    sqlite3_stmt *m_data = nullptr;
    sqlite3_stmt *m_photo = nullptr;
};
