// Building records for the writer: the keyed archive of a Files row, and the records of local files
// entered into a backup's record map.
#include "MBDBParser.h"

#include "ios/PlistCFType.h"

#include <QDateTime>
#include <QFileInfo>

namespace {

PlistCFType uid(long value)
{
    return PlistCFType::createCFKeyedArchiverUID(value);
}

PlistCFType classDictionary(const QStringList &classes)
{
    PlistCFType names = PlistCFType::createCFArray();
    for (const QString &name : classes)
        names.append(PlistCFType::createCFString(name));
    PlistCFType dict = PlistCFType::createCFDictionary();
    dict.put(QStringLiteral("$classes"), names);
    dict.put(QStringLiteral("$classname"), PlistCFType::createCFString(classes.first()));
    return dict;
}

// The local file's modification time in seconds since 1970; 0 for a file that is not there.
qint32 modificationTimeOf(const QFileInfo &info)
{
    const QDateTime time = info.lastModified();
    return time.isValid() ? qint32(time.toSecsSinceEpoch()) : 0;
}

MBDBParser::_MBDBItem newRecord(MBDBParser::MBDBItemMap &map, const QString &domain, const QString &path,
                                quint16 mode, qint32 time)
{
    MBDBParser::_MBDBItem record;
    record.domain.setVal(domain.toUtf8());
    record.path.setVal(path.toUtf8());
    record.mode = mode;
    const qint64 inode = qint64(map.maxInode) + 1;
    record.inode = inode;
    map.maxInode = qint32(quint32(quint64(inode) & 0xFFFFFFFFu));
    record.userId = 501;
    record.groupId = 501;
    record.lastModified = time;
    record.lastStatusChange = time;
    record.birth = time;
    record.added = true;
    return record;
}

} // namespace

QByteArray MBDBParser::mbFilePlist(const _MBDBItem &record)
{
    const int d = record.digest.isValid() ? 1 : 0;
    const int k = record.encryptionKey.isValid() ? 1 : 0;

    PlistCFType mbFile = PlistCFType::createCFDictionary();
    mbFile.put(QStringLiteral("$class"), uid(3 + d + 2 * k));
    mbFile.put(QStringLiteral("Birth"), PlistCFType::createCFNumberInt32(record.birth));
    if (d)
        mbFile.put(QStringLiteral("Digest"), uid(3));
    if (k)
        mbFile.put(QStringLiteral("EncryptionKey"), uid(3 + d));
    mbFile.put(QStringLiteral("Flags"), PlistCFType::createCFNumberInt32(0));
    mbFile.put(QStringLiteral("GroupID"), PlistCFType::createCFNumberInt32(record.groupId));
    mbFile.put(QStringLiteral("InodeNumber"), PlistCFType::createCFNumberInt64(record.inode));
    mbFile.put(QStringLiteral("LastModified"), PlistCFType::createCFNumberInt32(record.lastModified));
    mbFile.put(QStringLiteral("LastStatusChange"), PlistCFType::createCFNumberInt32(record.lastStatusChange));
    mbFile.put(QStringLiteral("Mode"), PlistCFType::createCFNumberInt32(int(record.mode)));
    mbFile.put(QStringLiteral("ProtectionClass"),
               PlistCFType::createCFNumberInt8(char(record.protectionClass)));
    mbFile.put(QStringLiteral("RelativePath"), uid(2));
    mbFile.put(QStringLiteral("Size"), PlistCFType::createCFNumberInt64(record.size));
    mbFile.put(QStringLiteral("UserID"), PlistCFType::createCFNumberInt32(record.userId));

    PlistCFType objects = PlistCFType::createCFArray();
    objects.append(PlistCFType::createCFString(QStringLiteral("$null")));
    objects.append(mbFile);
    objects.append(PlistCFType::createCFString(record.path.toString()));
    if (d)
        objects.append(PlistCFType::createCFData(record.digest.val));
    if (k) {
        PlistCFType keyData = PlistCFType::createCFDictionary();
        keyData.put(QStringLiteral("$class"), uid(4 + d));
        keyData.put(QStringLiteral("NS.data"), PlistCFType::createCFData(record.encryptionKey.val));
        objects.append(keyData);
        objects.append(classDictionary(
            {QStringLiteral("NSMutableData"), QStringLiteral("NSData"), QStringLiteral("NSObject")}));
    }
    objects.append(classDictionary({QStringLiteral("MBFile"), QStringLiteral("NSObject")}));

    PlistCFType top = PlistCFType::createCFDictionary();
    top.put(QStringLiteral("root"), uid(1));
    PlistCFType archive = PlistCFType::createCFDictionary();
    archive.put(QStringLiteral("$archiver"), PlistCFType::createCFString(QStringLiteral("NSKeyedArchiver")));
    archive.put(QStringLiteral("$objects"), objects);
    archive.put(QStringLiteral("$top"), top);
    archive.put(QStringLiteral("$version"), PlistCFType::createCFNumberInt32(100000));
    return archive.CFPropertyListToBytes(kCFPropertyListBinaryFormat_v1_0);
}

bool MBDBParser::appendFile(MBDBItemMap &map, bool useClass4, QString localPath, QString domain, QString path,
                            long long size, const ProtectionClsKeyInfo *class3Key,
                            const ProtectionClsKeyInfo *class4Key, QString *error)
{
    if (domain.isEmpty())
        return true;
    if (domain.toUtf8().size() > _MBDBBinary::MaxLength || path.toUtf8().size() > _MBDBBinary::MaxLength) {
        if (error)
            *error = QStringLiteral("MBDBParser::appendFile(%1) error. The name is too long for a manifest.")
                         .arg(path.left(64));
        return false;
    }
    const QFileInfo local(localPath);
    const qint32 time = modificationTimeOf(local);

    // Missing parent folders, from the innermost outwards, up to the first folder already recorded.
    QString folder = path;
    int slash = folder.lastIndexOf(QLatin1Char('/'));
    while (slash >= 1) {
        folder = folder.left(slash);
        const QString name = getFileHashName(domain, folder);
        const auto found = map.items.constFind(name);
        if (found == map.items.constEnd()) {
            map.items.insert(name, newRecord(map, domain, folder, 0x41C0, time));
            slash = folder.lastIndexOf(QLatin1Char('/'));
            continue;
        }
        if (found->isFolder())
            break;
        if (error)
            *error =
                QStringLiteral("MBDBParser::appendFile(%1) error. \"%2\" is not a folder.").arg(path, folder);
        return false;
    }

    const QString name = getFileHashName(domain, path);
    auto it = map.items.find(name);
    if (it == map.items.end()) {
        _MBDBItem record = newRecord(map, domain, path, 0x81A4, time);
        record.size = size >= 1 ? size : local.size();
        record.protectionClass = useClass4 ? 4 : 3;
        it = map.items.insert(name, record);
    } else if (!it->added) {
        // A record still waiting to be inserted stays marked added, or the writer would update a
        // row that is not there.
        it->modified = true;
    }

    _MBDBItem &record = *it;
    if (useClass4)
        record.digest.setVal(readFileHash(localPath));
    record.lastModified = time;
    record.lastStatusChange = time;
    record.birth = time;
    const ProtectionClsKeyInfo *keyInfo = useClass4 ? class4Key : class3Key;
    if (keyInfo)
        record.encryptionKey = keyInfo->wrappedKey;
    return true;
}
