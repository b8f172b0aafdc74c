// The newer manifest: an SQLite "Manifest.db" whose Files rows carry their metadata as keyed archives.
#include "MBDBParser.h"

#include "BackupManifest.h"
#include "ReadOnlyBackupDb.h"
#include "ios/PlistCFType.h"
#include "platform/sqlite/Sqlite3DB.h"
#include "platform/sqlite/Sqlite3Exception.h"

#include <QCoreApplication>

#include <plist/plist.h>
#include <sqlite3.h>

#include <stdexcept>

namespace {

// Only integer nodes count; a real number or anything else gives 0.
qint64 integerOf(const QHash<QString, PlistCFType> &table, const QString &key)
{
    const PlistCFType v = table.value(key);
    if (!v.ref() || plist_get_node_type(static_cast<plist_t>(v.ref())) != PLIST_UINT)
        return 0;
    return v.CFNumberInt64(0);
}

// "Digest" and "EncryptionKey": data, or a dictionary holding the data under "NS.data".
void setBytesOf(const QHash<QString, PlistCFType> &table, const QString &key, MBDBParser::_MBDBBinary &out)
{
    const auto it = table.constFind(key);
    if (it == table.constEnd())
        return;
    if (it->isCFDictionary())
        out.setVal(it->get(QStringLiteral("NS.data")).CFDataBytes());
    else if (it->isCFData())
        out.setVal(it->CFDataBytes());
}

} // namespace

MBDBParser::MBDBItemMap MBDBParser::parseManifestDb(const BackupManifest &backup)
{
    const QString manifestDb = backup.backupDir.absoluteFilePath(QStringLiteral("Manifest.db"));
    try {
        return readManifestDb(backup);
    } catch (const Sqlite3Exception &e) {
        // The user reads which file could not be read: the backup's own, even when the rows came
        // from its decrypted copy in a private folder.
        const bool notADatabase = (e.code() & 0xFF) == SQLITE_NOTADB;
        const QString why =
            notADatabase && backup.infoPlist.IsEncrypted && backup.manifestKey.isEmpty()
                ? QCoreApplication::translate("MBDBParser", "The backup's keys do not open its manifest.")
                : QString::fromUtf8(e.what());
        throw std::runtime_error(QCoreApplication::translate("MBDBParser", "can not read %1. %2")
                                     .arg(manifestDb, why)
                                     .toUtf8()
                                     .toStdString());
    }
}

MBDBParser::MBDBItemMap MBDBParser::readManifestDb(const BackupManifest &backup)
{
    // An unlocked backup whose manifest database is encrypted is read from its decrypted copy.
    const QString path = backup.manifestKey.isEmpty()
                             ? backup.backupDir.absoluteFilePath(QStringLiteral("Manifest.db"))
                             : backup.decryptedManifestPath;
    // A backup is only read: SQLite must not leave a -wal or -shm beside a manifest in WAL mode,
    // and a folder the user cannot write to reads the same. A manifest copied while it was in use
    // is read with the journal copied beside it.
    ReadOnlyBackupDb manifest(path);
    Sqlite3DB &db = manifest.db();

    // With a password, a manifest whose Properties carry a salt holds its "file" values encrypted.
    QByteArray rowKey;
    const QByteArray password = backup.passcode.toUtf8();
    if (!password.isEmpty()) {
        Sqlite3Cursor table = db.queryThrow(
            Sqlite3Sql("select 1 from sqlite_master where type='table' and name='Properties'"));
        if (table.moveNext()) {
            Sqlite3Cursor salt = db.queryThrow(Sqlite3Sql("select * from Properties where key='salt' limit 1"));
            if (salt.moveNext())
                rowKey = fileDescKey(password, salt.getBlob("value"));
        }
    }

    MBDBItemMap map;
    Sqlite3Cursor rows = db.queryThrow(Sqlite3Sql("select * from Files"));
    while (rows.moveNext()) {
        _MBDBItem item;
        item.domain.setVal(rows.getText("domain").toUtf8());
        if (!item.hasUsableDomain())
            continue;
        QByteArray file = rows.getBlob("file");
        if (!rowKey.isEmpty())
            file = decryptFileDescThrow(QByteArray::fromBase64(file), rowKey);
        const PlistCFType plist = PlistCFType::createCFPropertyList(file);
        const QHash<QString, PlistCFType> archive = plist.NSKeyedArchiver();

        item.path.setVal(rows.getText("relativePath").toUtf8());
        const QString target = archive.value(QStringLiteral("Target")).CFStringQString();
        if (!target.isEmpty())
            item.linkTarget.setVal(target.toUtf8());
        setBytesOf(archive, QStringLiteral("Digest"), item.digest);
        setBytesOf(archive, QStringLiteral("EncryptionKey"), item.encryptionKey);
        item.mode = quint16(integerOf(archive, QStringLiteral("Mode")));
        item.inode = integerOf(archive, QStringLiteral("InodeNumber"));
        item.userId = qint32(integerOf(archive, QStringLiteral("UserID")));
        item.groupId = qint32(integerOf(archive, QStringLiteral("GroupID")));
        item.lastModified = qint32(integerOf(archive, QStringLiteral("LastModified")));
        item.lastStatusChange = qint32(integerOf(archive, QStringLiteral("LastStatusChange")));
        item.birth = qint32(integerOf(archive, QStringLiteral("Birth")));
        item.size = integerOf(archive, QStringLiteral("Size"));
        item.protectionClass = qint8(integerOf(archive, QStringLiteral("ProtectionClass")));
        map.store(item);
    }
    rows = Sqlite3Cursor();
    db.close();
    return map;
}
