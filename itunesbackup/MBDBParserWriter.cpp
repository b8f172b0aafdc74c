// Writing manifest records back: the whole "Manifest.mbdb", or the changed rows of "Manifest.db".
#include "MBDBParser.h"

#include "BackupManifest.h"
#include "FlushedWhole.h"
#include "WorkFile.h"
#include "platform/sqlite/Sqlite3DB.h"

#include <QFile>
#include <QSaveFile>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace {

// Properties are counted in one byte that the reader takes as signed.
constexpr int kMaxProperties = 127;

[[noreturn]] void throwWriteError(const QIODevice &file)
{
    throw std::runtime_error(file.errorString().toUtf8().toStdString());
}

[[noreturn]] void throwSaveError(const QString &text)
{
    throw std::runtime_error(QStringLiteral("MBDBParser::save2File, %1").arg(text).toUtf8().toStdString());
}

void writeExactly(QIODevice &file, const char *bytes, qint64 count)
{
    if (count > 0 && file.write(bytes, count) != count)
        throwWriteError(file);
}

void g_writeInt16(QIODevice &file, const unsigned short &value)
{
    const quint16 big = qToBigEndian<quint16>(value);
    writeExactly(file, reinterpret_cast<const char *>(&big), 2);
}

void g_writeInt32(QIODevice &file, const unsigned int &value)
{
    const quint32 big = qToBigEndian<quint32>(value);
    writeExactly(file, reinterpret_cast<const char *>(&big), 4);
}

void g_writeInt64(QIODevice &file, qint64 value)
{
    const qint64 big = qToBigEndian<qint64>(value);
    writeExactly(file, reinterpret_cast<const char *>(&big), 8);
}

void g_writeByte(QIODevice &file, char value)
{
    writeExactly(file, &value, 1);
}

// The length, then the bytes unless the value is empty or absent.
void g_writeBinary(QIODevice &file, const MBDBParser::_MBDBBinary &value)
{
    g_writeInt16(file, value.len);
    if (value.isValid())
        writeExactly(file, value.val.constData(), value.len);
}

QString describe(const MBDBParser::_MBDBItem &record)
{
    return QStringLiteral("%1-%2").arg(record.domain.toString().left(80), record.path.toString().left(80));
}

void checkValue(const MBDBParser::_MBDBItem &record, const MBDBParser::_MBDBBinary &value, const char *field)
{
    if (value.val.size() > MBDBParser::_MBDBBinary::MaxLength)
        throwSaveError(QStringLiteral("the %1 of %2 holds %3 bytes; a manifest value holds at most %4.")
                           .arg(QLatin1String(field), describe(record))
                           .arg(value.val.size())
                           .arg(MBDBParser::_MBDBBinary::MaxLength));
    if (value.isValid() && value.val.size() != value.len)
        throwSaveError(QStringLiteral("the %1 of %2 has the length %3 but holds %4 bytes.")
                           .arg(QLatin1String(field), describe(record))
                           .arg(value.len)
                           .arg(value.val.size()));
}

// Everything a record could fail on is found before the first byte is written. A record without a
// domain would end there for the reader, which would misread all that follows it.
void checkWritable(const MBDBParser::_MBDBItem &record)
{
    if (!record.domain.isValid())
        throwSaveError(
            QStringLiteral("a record without a domain (%1) cannot be written.").arg(record.path.toString()));
    checkValue(record, record.domain, "domain");
    checkValue(record, record.path, "path");
    checkValue(record, record.linkTarget, "link target");
    checkValue(record, record.digest, "digest");
    checkValue(record, record.encryptionKey, "encryption key");
    if (record.properties.size() > kMaxProperties)
        throwSaveError(QStringLiteral("%1 has %2 properties; a manifest record holds at most %3.")
                           .arg(describe(record))
                           .arg(record.properties.size())
                           .arg(kMaxProperties));
    for (const MBDBParser::_MBDBProperty &property : record.properties) {
        checkValue(record, property.name, "property name");
        checkValue(record, property.value, "property value");
    }
}

void writeRecord(QIODevice &file, const MBDBParser::_MBDBItem &record)
{
    g_writeBinary(file, record.domain);
    g_writeBinary(file, record.path);
    g_writeBinary(file, record.linkTarget);
    g_writeBinary(file, record.digest);
    g_writeBinary(file, record.encryptionKey);
    g_writeInt16(file, record.mode);
    g_writeInt32(file, quint32(record.inodeHigh));
    g_writeInt32(file, quint32(quint64(record.inode) & 0xFFFFFFFFu));
    g_writeInt32(file, quint32(record.userId));
    g_writeInt32(file, quint32(record.groupId));
    g_writeInt32(file, quint32(record.lastModified));
    g_writeInt32(file, quint32(record.lastStatusChange));
    g_writeInt32(file, quint32(record.birth));
    g_writeInt64(file, record.size);
    g_writeByte(file, char(record.protectionClass));
    g_writeByte(file, char(record.properties.size() & 0xFF));
    for (const MBDBParser::_MBDBProperty &property : record.properties) {
        g_writeBinary(file, property.name);
        g_writeBinary(file, property.value);
    }
}

// The new manifest is written beside the old one and takes its place only once complete.
void writeMbdb(const QList<MBDBParser::_MBDBItem> &records, const QDir &backupDir)
{
    QSaveFile file(backupDir.absoluteFilePath(QStringLiteral("Manifest.mbdb")));
    if (!file.open(QIODevice::WriteOnly))
        throwWriteError(file);
    static const char header[6] = {'m', 'b', 'd', 'b', 0x05, 0x00};
    writeExactly(file, header, sizeof header);
    for (const MBDBParser::_MBDBItem &record : records) {
        if (!record.removed)
            writeRecord(file, record);
    }
    if (!flushedWhole(file) || !file.commit())
        throwWriteError(file);
}

int flagsOf(const MBDBParser::_MBDBItem &record)
{
    if (record.isFolder())
        return 2;
    return record.linkTarget.isValid() ? 4 : 1;
}

// The "file" value of a row: the keyed archive, encrypted and in Base64 under a description key.
void bindFile(Sqlite3Sql &sql, const MBDBParser::_MBDBItem &record, const QByteArray &descKey)
{
    const QByteArray archive = MBDBParser::mbFilePlist(record);
    if (descKey.isEmpty())
        sql.addBlobParam(archive);
    else
        sql.addTextParam(QString::fromLatin1(MBDBParser::encryptFileDescThrow(archive, descKey).toBase64()));
}

// The same condition under which the reader decrypts the "file" values.
QByteArray fileDescKeyOf(Sqlite3DB &db, const QString &passcode)
{
    const QByteArray password = passcode.toUtf8();
    if (password.isEmpty())
        return QByteArray();
    Sqlite3Cursor table =
        db.queryThrow(Sqlite3Sql("select 1 from sqlite_master where type='table' and name='Properties'"));
    if (!table.moveNext())
        return QByteArray();
    Sqlite3Cursor salt = db.queryThrow(Sqlite3Sql("select * from Properties where key='salt' limit 1"));
    if (!salt.moveNext())
        return QByteArray();
    return MBDBParser::fileDescKey(password, salt.getBlob("value"));
}

void applyMarks(const QString &path, const QList<MBDBParser::_MBDBItem> &records, const QString &passcode)
{
    Sqlite3DB db;
    db.openThrow(path, Sqlite3DB::ReadWrite);
    const QByteArray descKey = fileDescKeyOf(db, passcode);

    // A failure leaves the transaction open; closing the connection discards it.
    db.beginTran();
    for (const MBDBParser::_MBDBItem &record : records) {
        const QString fileId = record.backupFileName();
        if (record.removed) {
            Sqlite3Sql sql("delete from Files where fileID=?");
            sql.addTextParam(fileId);
            db.executeThrow(sql);
        } else if (record.modified) {
            Sqlite3Sql sql("update Files set file=?,domain=?,relativePath=?,flags=? where fileID=?");
            bindFile(sql, record, descKey);
            sql.addTextParam(record.domain.toString());
            sql.addTextParam(record.path.toString());
            sql.addIntParam(flagsOf(record));
            sql.addTextParam(fileId);
            db.executeThrow(sql);
        } else if (record.added) {
            Sqlite3Sql sql("replace into Files(fileID,domain,relativePath,flags,file) values(?,?,?,?,?)");
            sql.addTextParam(fileId);
            sql.addTextParam(record.domain.toString());
            sql.addTextParam(record.path.toString());
            sql.addIntParam(flagsOf(record));
            bindFile(sql, record, descKey);
            db.executeThrow(sql);
        }
    }
    if (!db.commitTran())
        throw std::runtime_error(db.lastError().toUtf8().toStdString());
    db.close();
}

void updateManifestDb(const QList<MBDBParser::_MBDBItem> &records, const BackupManifest &backup)
{
    const QString manifestDb = backup.backupDir.absoluteFilePath(QStringLiteral("Manifest.db"));
    if (backup.manifestKey.isEmpty()) {
        applyMarks(manifestDb, records, backup.passcode);
        return;
    }
    // The working copy is what this backup reads; it changes only together with the encrypted
    // Manifest.db. The marks go into a copy beside it, which is encrypted over Manifest.db and then
    // takes the working copy's place.
    const QString working = backup.decryptedManifestPath;
    const WorkFile staged(working + QStringLiteral(".new"));
    if (QFile::exists(staged.path()) && !QFile::remove(staged.path()))
        throwSaveError(QStringLiteral("can not remove %1.").arg(staged.path()));
    QFile workingFile(working);
    if (!workingFile.copy(staged.path()))
        throwSaveError(QStringLiteral("can not copy %1. %2").arg(working, workingFile.errorString()));
    applyMarks(staged.path(), records, backup.passcode);
    BackupManifest::encryptFileThrow(staged.path(), manifestDb, backup.manifestKey);
    if (std::rename(QFile::encodeName(staged.path()).constData(), QFile::encodeName(working).constData()) !=
        0)
        throwSaveError(QStringLiteral("can not replace %1. %2")
                           .arg(working, QString::fromLocal8Bit(std::strerror(errno))));
}

} // namespace

void MBDBParser::save2File(QList<_MBDBItem> records, BackupManifest &backup)
{
    for (const _MBDBItem &record : records)
        checkWritable(record);
    std::stable_sort(records.begin(), records.end(), compareMBDBItemLess);
    if (isIos10Mbdb(backup.backupDir))
        updateManifestDb(records, backup);
    else
        writeMbdb(records, backup.backupDir);
}
