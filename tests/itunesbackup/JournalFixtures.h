#pragma once

// Databases as a copy taken while they were in use leaves them: rows committed only in the -wal
// beside the file, or pages a transaction changed in place with their old contents in a hot
// -journal. Made with SQLite itself and by the journal's documented layout.
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTest>

#include <sqlite3.h>

namespace journalfixture {

// Runs `sql` on `db`; records a test failure with SQLite's text when it fails.
inline void exec(sqlite3 *db, const QString &sql)
{
    char *message = nullptr;
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message);
    const QString text = QString::fromUtf8(message ? message : "");
    sqlite3_free(message);
    QVERIFY2(rc == SQLITE_OK, qPrintable(text + " [" + sql + "]"));
}

inline QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

// How many Files rows match `where` in the database file alone: read immutable, so that nothing
// beside it is read or made. -1 when it cannot be read.
inline int rowsInFileAlone(const QString &path, const char *where)
{
    const QByteArray uri = "file:" + QFileInfo(path).absoluteFilePath().toUtf8() + "?immutable=1";
    const QByteArray sql = QByteArray("select count(*) from Files where ") + where;
    sqlite3 *db = nullptr;
    int rows = -1;
    if (sqlite3_open_v2(uri.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) == SQLITE_OK) {
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            rows = sqlite3_column_int(statement, 0);
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return rows;
}

// Leaves the database `path` as a copy taken while it was in use: the Files rows matching `where`
// are committed in the -wal beside it only (with the -shm too when `withShm`); the file lacks them.
inline void moveRowsIntoWal(const QString &path, const char *where, bool withShm)
{
    const QString copy = path + ".in-use";
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    exec(db, "pragma journal_mode=wal");
    exec(db, "pragma wal_autocheckpoint=0");
    exec(db, QStringLiteral("create temp table moved as select * from Files where %1").arg(where));
    exec(db, QStringLiteral("delete from Files where %1").arg(where));
    exec(db, "pragma wal_checkpoint(truncate)");
    exec(db, "insert into Files select * from temp.moved");
    // Copied while this connection holds the rows in the -wal: closing it checkpoints them.
    for (const char *suffix : {"", "-wal", "-shm"})
        writeBytes(copy + suffix, bytesOf(path + suffix));
    sqlite3_close(db);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(!bytesOf(copy + "-wal").isEmpty());
    QVERIFY(rowsInFileAlone(copy, where) == 0);
    for (const char *suffix : {"", "-wal", "-shm"}) {
        QFile::remove(path + suffix);
        if (QByteArray(suffix) != "-shm" || withShm)
            QVERIFY(QFile::rename(copy + suffix, path + suffix));
        else
            QVERIFY(QFile::remove(copy + suffix));
    }
}

inline QByteArray bigEndian32(quint32 v)
{
    QByteArray out(4, Qt::Uninitialized);
    for (int i = 0; i < 4; ++i)
        out[i] = char(v >> (24 - 8 * i));
    return out;
}

// Leaves the database `path` (in rollback mode) as a copy taken in the middle of a transaction that
// deleted the Files rows matching `where`: the file holds the changed pages, and a hot -journal
// beside it their old contents, as SQLite writes it before it changes a page in place.
inline void deleteRowsHalfway(const QString &path, const char *where)
{
    const QByteArray before = bytesOf(path);
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    exec(db, QStringLiteral("delete from Files where %1").arg(where));
    sqlite3_close(db);
    if (QTest::currentTestFailed())
        return;
    const QByteArray after = bytesOf(path);
    QVERIFY(rowsInFileAlone(path, where) == 0);

    // Header: magic, record count, checksum nonce, pages before the transaction, sector size and
    // page size, padded to a sector. Record: page number, the old page, its checksum.
    const auto *header = reinterpret_cast<const uchar *>(before.constData());
    const int sizeField = (header[16] << 8) | header[17];
    const int pageSize = sizeField == 1 ? 65536 : sizeField;
    QVERIFY(pageSize >= 512 && before.size() % pageSize == 0);
    const quint32 nonce = 0x5eed1234;
    const int sectorSize = 512;
    QByteArray records;
    quint32 count = 0;
    for (int page = 0; page < before.size() / pageSize; ++page) {
        const QByteArray old = before.mid(page * pageSize, pageSize);
        if (after.mid(page * pageSize, pageSize) == old)
            continue;
        quint32 checksum = nonce;
        for (int i = pageSize - 200; i > 0; i -= 200)
            checksum += uchar(old.at(i));
        records += bigEndian32(quint32(page + 1)) + old + bigEndian32(checksum);
        ++count;
    }
    QVERIFY(count > 0);
    QByteArray journal = QByteArray::fromHex("d9d505f920a163d7") + bigEndian32(count) + bigEndian32(nonce) +
                         bigEndian32(quint32(before.size() / pageSize)) + bigEndian32(sectorSize) +
                         bigEndian32(quint32(pageSize));
    journal.append(sectorSize - journal.size(), '\0');
    writeBytes(path + "-journal", journal + records);
}

} // namespace journalfixture
