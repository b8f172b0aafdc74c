#include "MBDBParser.h"

#include "BackupManifest.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <stdexcept>

namespace {

const QString kMbdbName = QStringLiteral("Manifest.mbdb");

QString trParser(const char *text)
{
    return QCoreApplication::translate("MBDBParser", text);
}

[[noreturn]] void throwText(const QString &text)
{
    throw std::runtime_error(text.toUtf8().toStdString());
}

// Reads the fields of "Manifest.mbdb" records, all big-endian. A file that ends inside a record is
// refused with a text that names the file and says where it ends, never with the device's text for
// a plain end of file (which is "Unknown error").
class MbdbFieldReader
{
public:
    explicit MbdbFieldReader(QIODevice &in)
        : m_in(in)
    {}

    bool atEnd() const { return m_in.atEnd(); }
    void beginRecord() { m_recordAt = m_in.pos(); }

    QByteArray readExactly(qint64 count)
    {
        const QByteArray bytes = m_in.read(count);
        if (bytes.size() == count)
            return bytes;
        if (m_in.atEnd())
            throwText(trParser("%1 is damaged: it ends at byte %2, inside the record that begins at byte %3.")
                          .arg(kMbdbName)
                          .arg(m_in.pos())
                          .arg(m_recordAt));
        throwText(trParser("can not read %1. %2").arg(kMbdbName, m_in.errorString()));
    }

    quint16 readInt16() { return qFromBigEndian<quint16>(readExactly(2).constData()); }
    quint32 readInt32() { return qFromBigEndian<quint32>(readExactly(4).constData()); }
    qint64 readInt64() { return qFromBigEndian<qint64>(readExactly(8).constData()); }
    qint8 readByte() { return qint8(readExactly(1).at(0)); }

    // A value cut short by the end of the file is refused: what follows it could only be misread.
    MBDBParser::_MBDBBinary readBinary()
    {
        MBDBParser::_MBDBBinary b;
        b.len = readInt16();
        if (b.isValid())
            b.val = readExactly(b.len);
        return b;
    }

private:
    QIODevice &m_in;
    qint64 m_recordAt = 0;
};

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

bool MBDBParser::_MBDBItem::hasUsableDomain() const
{
    if (!domain.isValid())
        return false;
    return std::none_of(domain.val.cbegin(), domain.val.cend(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
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
    QFile file(dir.absoluteFilePath(kMbdbName));
    if (!file.open(QIODevice::ReadOnly))
        throwText(file.errorString());
    file.read(6); // "mbdb" 05 00, not checked
    return parseMbdb(file);
}

MBDBParser::MBDBItemMap MBDBParser::parseMbdb(QIODevice &in)
{
    MBDBItemMap map;
    MbdbFieldReader reader(in);
    while (!reader.atEnd()) {
        reader.beginRecord();
        _MBDBItem item;
        item.domain = reader.readBinary();
        if (!item.domain.isValid())
            continue;
        item.path = reader.readBinary();
        item.linkTarget = reader.readBinary();
        item.digest = reader.readBinary();
        item.encryptionKey = reader.readBinary();
        item.mode = reader.readInt16();
        item.inodeHigh = qint32(reader.readInt32());
        item.inode = qint64(reader.readInt32());
        item.userId = qint32(reader.readInt32());
        item.groupId = qint32(reader.readInt32());
        item.lastModified = qint32(reader.readInt32());
        item.lastStatusChange = qint32(reader.readInt32());
        item.birth = qint32(reader.readInt32());
        item.size = reader.readInt64();
        item.protectionClass = reader.readByte();
        const qint8 propertyCount = reader.readByte();
        for (int i = 0; i < propertyCount; ++i) {
            _MBDBProperty p;
            p.name = reader.readBinary();
            p.value = reader.readBinary();
            item.properties.append(p);
        }
        // Read whole, so that the next record starts where it should, but kept only with a domain
        // that can name a group of the backup's tree.
        if (item.hasUsableDomain())
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
