#include "MBDBParser.h"

#include "BackupManifest.h"

#include <QCryptographicHash>
#include <QFile>
#include <QtEndian>

#include <stdexcept>

namespace {

[[noreturn]] void throwReadError(const QIODevice &in)
{
    throw std::runtime_error(in.errorString().toUtf8().toStdString());
}

QByteArray readExactly(QIODevice &in, qint64 count)
{
    const QByteArray bytes = in.read(count);
    if (bytes.size() != count)
        throwReadError(in);
    return bytes;
}

quint16 g_readInt16(QIODevice &in)
{
    return qFromBigEndian<quint16>(readExactly(in, 2).constData());
}

quint32 g_readInt32(QIODevice &in)
{
    return qFromBigEndian<quint32>(readExactly(in, 4).constData());
}

qint8 g_readByte(QIODevice &in)
{
    return qint8(readExactly(in, 1).at(0));
}

// A value cut short by the end of the file is refused: what follows it could only be misread.
MBDBParser::_MBDBBinary g_readBinary(QIODevice &in)
{
    MBDBParser::_MBDBBinary b;
    b.len = g_readInt16(in);
    if (b.isValid())
        b.val = readExactly(in, b.len);
    return b;
}

} // namespace

QString MBDBParser::_MBDBBinary::toString() const
{
    if (!isValid())
        return QString();
    const int zero = val.indexOf('\0');
    return QString::fromUtf8(zero < 0 ? val : val.left(zero));
}

void MBDBParser::_MBDBBinary::setVal(QByteArray bytes)
{
    if (bytes.size() > MaxLength)
        throw std::length_error("a manifest value holds at most 65534 bytes");
    len = quint16(bytes.size());
    val = std::move(bytes);
}

QString MBDBParser::_MBDBItem::backupFileName() const
{
    return getFileHashName(domain.toString(), path.toString());
}

void MBDBParser::MBDBItemMap::store(const _MBDBItem &item)
{
    items.insert(item.backupFileName(), item);
    if (item.inode > qint64(maxInode))
        maxInode = qint32(quint32(quint64(item.inode) & 0xFFFFFFFFu));
}

QString MBDBParser::getFileHashName(QString domain, QString path)
{
    const QByteArray joined = (domain + QLatin1Char('-') + path).toUtf8();
    return QString::fromLatin1(QCryptographicHash::hash(joined, QCryptographicHash::Sha1).toHex());
}

bool MBDBParser::isIos10Mbdb(const QDir &backupDir)
{
    if (QFile::exists(backupDir.absoluteFilePath(QStringLiteral("Manifest.mbdb"))))
        return false;
    return QFile::exists(backupDir.absoluteFilePath(QStringLiteral("Manifest.db")));
}

QString MBDBParser::getBKFilePath(const QDir &backupDir, QString name, bool createDir)
{
    if (!isIos10Mbdb(backupDir))
        return backupDir.absoluteFilePath(name);
    const QString path = backupDir.absoluteFilePath(QStringLiteral("%1/%2").arg(name.left(2), name));
    if (createDir)
        QDir().mkpath(QFileInfo(path).absolutePath());
    return path;
}

QByteArray MBDBParser::readFileHash(QString path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha1);
    if (!hash.addData(&file))
        return QByteArray();
    return hash.result();
}

MBDBParser::MBDBItemMap MBDBParser::parse(const BackupManifest &backup)
{
    const QDir dir = backup.backupDir;
    if (isIos10Mbdb(dir))
        return parseManifestDb(backup);
    QFile file(dir.absoluteFilePath(QStringLiteral("Manifest.mbdb")));
    if (!file.open(QIODevice::ReadOnly))
        throwReadError(file);
    file.read(6); // "mbdb" 05 00, not checked
    return parseMbdb(file);
}

MBDBParser::MBDBItemMap MBDBParser::parseMbdb(QIODevice &in)
{
    MBDBItemMap map;
    while (!in.atEnd()) {
        _MBDBItem item;
        item.domain = g_readBinary(in);
        if (!item.domain.isValid())
            continue;
        item.path = g_readBinary(in);
        item.linkTarget = g_readBinary(in);
        item.digest = g_readBinary(in);
        item.encryptionKey = g_readBinary(in);
        item.mode = g_readInt16(in);
        item.inodeHigh = qint32(g_readInt32(in));
        item.inode = qint64(g_readInt32(in));
        item.userId = qint32(g_readInt32(in));
        item.groupId = qint32(g_readInt32(in));
        item.lastModified = qint32(g_readInt32(in));
        item.lastStatusChange = qint32(g_readInt32(in));
        item.birth = qint32(g_readInt32(in));
        item.size = qFromBigEndian<qint64>(readExactly(in, 8).constData());
        item.protectionClass = g_readByte(in);
        const qint8 propertyCount = g_readByte(in);
        for (int i = 0; i < propertyCount; ++i) {
            _MBDBProperty p;
            p.name = g_readBinary(in);
            p.value = g_readBinary(in);
            item.properties.append(p);
        }
        map.store(item);
    }
    return map;
}

bool compareMBDBItemLess(const MBDBParser::_MBDBItem &a, const MBDBParser::_MBDBItem &b)
{
    const int domain = QString::compare(a.domain.toString(), b.domain.toString(), Qt::CaseSensitive);
    if (domain != 0)
        return domain < 0;
    return QString::compare(a.path.toString(), b.path.toString(), Qt::CaseSensitive) < 0;
}
