#pragma once

#include <QByteArray>
#include <QDir>
#include <QHash>
#include <QList>
#include <QString>

class BackupManifest;
class QIODevice;

// The file manifest of an iTunes backup ("Manifest.mbdb" or "Manifest.db") as records in memory,
// the names under which the backed-up files lie in the backup folder, and the readers.
class MBDBParser
{
public:
    // One length-prefixed byte string of a record. A length of 0xFFFF marks an absent value.
    struct _MBDBBinary
    {
        static constexpr quint16 Absent = 0xFFFF;
        // The longest value the 16-bit length can carry, the absent marker being taken.
        static constexpr int MaxLength = 0xFFFE;

        quint16 len = Absent;
        QByteArray val;

        // True for a value that is neither absent nor empty.
        bool isValid() const { return len != Absent && len != 0; }
        // "" unless valid; otherwise the bytes as UTF-8 up to the first zero byte.
        QString toString() const;
        // Throws std::length_error for more than MaxLength bytes, which the length field cannot
        // carry; the value is then left as it was.
        void setVal(QByteArray bytes);
    };

    struct _MBDBProperty
    {
        _MBDBBinary name;
        _MBDBBinary value;
    };

    // One backed-up file, folder or symbolic link.
    struct _MBDBItem
    {
        _MBDBBinary domain;
        _MBDBBinary path;
        _MBDBBinary linkTarget;
        _MBDBBinary digest;
        // Four bytes of protection class, then the file key wrapped with its class key.
        _MBDBBinary encryptionKey;
        quint16 mode = 0;
        qint32 inodeHigh = 0;
        qint64 inode = 0;
        qint32 userId = 0;
        qint32 groupId = 0;
        qint32 lastModified = 0;
        qint32 lastStatusChange = 0;
        qint32 birth = 0;
        qint64 size = 0;
        qint8 protectionClass = 0;
        bool added = false;
        bool modified = false;
        bool removed = false;
        QList<_MBDBProperty> properties;

        // The record's file name in the backup folder.
        QString backupFileName() const;
        // Whether the domain can name a group of the backup's tree: not empty or absent, and free
        // of zero bytes and other control characters. Readers skip records without one.
        bool hasUsableDomain() const;
        bool isFolder() const { return (mode & 0x4000) != 0; }
    };

    // Every record of one backup, by backup file name, and the largest inode number met.
    struct MBDBItemMap
    {
        QHash<QString, _MBDBItem> items;
        qint32 maxInode = 0;

        // Stores `item` under its backup file name (a later record of that name replaces the
        // earlier one) and raises maxInode to its inode's low 32 bits when that is greater.
        void store(const _MBDBItem &item);
    };

    // One protection class with a file key the unlocked keybag can unwrap.
    struct ProtectionClsKeyInfo
    {
        int protectionClass = 0;
        // The encryptionKey of a record of that class as stored: 4 bytes of class, the wrapped key.
        _MBDBBinary wrappedKey;
        // The unwrapped file key; empty while nothing was found.
        QByteArray key;
    };

    // 40 lower-case hex digits: SHA-1 of the UTF-8 text domain + "-" + path.
    static QString getFileHashName(QString domain, QString path);
    // The newer layout (files in two-digit sub-folders): "Manifest.db" without "Manifest.mbdb".
    static bool isIos10Mbdb(const QDir &backupDir);
    // Absolute path of the backed-up file `name`; with createDir its sub-folder is made (newer layout).
    static QString getBKFilePath(const QDir &backupDir, QString name, bool createDir);
    // Raw SHA-1 of a file's content; empty when it cannot be read.
    static QByteArray readFileHash(QString path);

    // The key of the encrypted "file" values of a salted Manifest.db: SHA-1(password, salt), 16 bytes.
    static QByteArray fileDescKey(const QByteArray &password, const QByteArray &salt);
    // AES-CBC (by key length) with the fixed vector of file descriptions; throw std::runtime_error.
    static QByteArray decryptFileDescThrow(const QByteArray &data, const QByteArray &key);
    static QByteArray encryptFileDescThrow(const QByteArray &data, const QByteArray &key);

    // Reads the backup's manifest, "Manifest.mbdb" or "Manifest.db" as isIos10Mbdb decides.
    // Throws std::runtime_error (or the database layer's exception); no partial map is returned.
    static MBDBItemMap parse(const BackupManifest &backup);
    // Reads a "Manifest.mbdb" stream from its current position to its end.
    static MBDBItemMap parseMbdb(QIODevice &in);

    // Writes `records` into the backup's manifest: the whole "Manifest.mbdb" of an older backup
    // (every record not marked removed), or the change marks applied to the Files table of a
    // "Manifest.db", encrypted back over it when the backup's manifest database is encrypted. Every
    // record is checked before anything is written: a domain, values of at most 65534 bytes whose
    // length agrees with the bytes, at most 127 properties. A new file takes the place of the old
    // manifest only once complete, so a failure leaves the old one as it was. Throws std::runtime_error
    // (or the database layer's exception).
    static void save2File(QList<_MBDBItem> records, BackupManifest &backup);
    // The record as the keyed archive ("MBFile") a Files row stores, as a binary property list.
    static QByteArray mbFilePlist(const _MBDBItem &record);
    // Enters the local file as `path` of `domain` into `map`: a new record marked added (with
    // records for the missing parent folders), or the existing record refreshed and marked modified
    // (one still waiting to be inserted stays marked added only). The wrapped key of the class's key
    // information, when given, becomes the record's encryptionKey. False, with the text in *error,
    // when a parent path is held by a record that is not a folder. An empty domain changes nothing.
    static bool appendFile(MBDBItemMap &map, bool useClass4, QString localPath, QString domain, QString path,
                           long long size, const ProtectionClsKeyInfo *class3Key,
                           const ProtectionClsKeyInfo *class4Key, QString *error);

private:
    static MBDBItemMap parseManifestDb(const BackupManifest &backup);
    static MBDBItemMap readManifestDb(const BackupManifest &backup);
};

// Records by domain, then by relative path (case-sensitive text order).
bool compareMBDBItemLess(const MBDBParser::_MBDBItem &a, const MBDBParser::_MBDBItem &b);
