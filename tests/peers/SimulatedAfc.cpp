#include "SimulatedAfc.h"

#include "SimulatedIPhone.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutexLocker>
#include <QtEndian>

#include <memory>

namespace tarnwick::peers {

namespace {

constexpr char magic[] = "CFA6LPAA";
constexpr quint64 headerSize = 40;

enum Operation : quint64 {
    OpStatus = 1,
    OpData = 2,
    OpReadDir = 3,
    OpMakeDir = 9,
    OpGetFileInfo = 0x0A,
    OpFileOpen = 0x0D,
    OpFileOpenResult = 0x0E,
    OpFileRead = 0x0F,
    OpFileWrite = 0x10,
    OpFileClose = 0x14,
    OpRenamePath = 0x18,
    OpFileLock = 0x1B,
    OpRemovePathAndContents = 0x22,
};

enum Error : quint64 {
    Success = 0,
    UnknownError = 1,
    ReadError = 4,
    WriteError = 5,
    UnknownPacketType = 6,
    ObjectNotFound = 8,
};

QByteArray u64(quint64 value)
{
    const quint64 le = qToLittleEndian(value);
    return QByteArray(reinterpret_cast<const char *>(&le), 8);
}

quint64 u64At(const QByteArray &bytes, int offset)
{
    return bytes.size() >= offset + 8 ? qFromLittleEndian<quint64>(bytes.constData() + offset) : 0;
}

// The texts of a packet's data, each ended by a zero byte.
QStringList texts(const QByteArray &data, int offset = 0)
{
    QStringList result;
    for (const QByteArray &part : data.mid(offset).split('\0'))
        result << QString::fromUtf8(part);
    return result;
}

QByteArray zeroJoined(const QStringList &items)
{
    QByteArray bytes;
    for (const QString &item : items)
        bytes += item.toUtf8() + '\0';
    return bytes;
}

class AfcSession : public PeerService
{
public:
    explicit AfcSession(std::shared_ptr<SimulatedAfc> afc)
        : m_afc(std::move(afc))
    {}

    void serve(PeerConnection &connection) override
    {
        for (;;) {
            char header[headerSize];
            if (!connection.readExact(header, headerSize) || QByteArray(header, 8) != QByteArray(magic))
                return;
            const quint64 entire = qFromLittleEndian<quint64>(header + 8);
            const quint64 thisLength = qFromLittleEndian<quint64>(header + 16);
            const quint64 number = qFromLittleEndian<quint64>(header + 24);
            const quint64 op = qFromLittleEndian<quint64>(header + 32);
            if (thisLength < headerSize || entire < thisLength || entire > 64 * 1024 * 1024)
                return;
            QByteArray data(int(thisLength - headerSize), Qt::Uninitialized);
            QByteArray payload(int(entire - thisLength), Qt::Uninitialized);
            if ((!data.isEmpty() && !connection.readExact(data.data(), std::size_t(data.size()))) ||
                (!payload.isEmpty() && !connection.readExact(payload.data(), std::size_t(payload.size()))))
                return;
            m_afc->recordOperation(op);
            quint64 replyOp = OpStatus;
            const QByteArray reply = answer(op, data, payload, replyOp);
            QByteArray packet = QByteArray(magic, 8) + u64(headerSize + quint64(reply.size())) +
                                u64(headerSize + quint64(reply.size())) + u64(number) + u64(replyOp);
            if (!connection.writeAll(packet + reply))
                return;
        }
    }

private:
    QString local(const QString &devicePath) const
    {
        return QDir::cleanPath(m_afc->folder() + QLatin1Char('/') + devicePath);
    }

    static QByteArray status(quint64 code, quint64 &replyOp)
    {
        replyOp = OpStatus;
        return u64(code);
    }

    QByteArray answer(quint64 op, const QByteArray &data, const QByteArray &payload, quint64 &replyOp)
    {
        switch (op) {
        case OpReadDir: {
            const QDir dir(local(texts(data).value(0)));
            if (!dir.exists())
                return status(ObjectNotFound, replyOp);
            replyOp = OpData;
            return zeroJoined(dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System, QDir::Name));
        }
        case OpGetFileInfo: {
            const QFileInfo info(local(texts(data).value(0)));
            if (!info.exists() && !info.isSymLink())
                return status(ObjectNotFound, replyOp);
            replyOp = OpData;
            const QString type = info.isSymLink() ? QStringLiteral("S_IFLNK")
                                 : info.isDir()   ? QStringLiteral("S_IFDIR")
                                                  : QStringLiteral("S_IFREG");
            const qint64 ns = info.lastModified().toMSecsSinceEpoch() * 1000000;
            return zeroJoined({QStringLiteral("st_size"), QString::number(info.size()),
                               QStringLiteral("st_blocks"), QString::number((info.size() + 511) / 512),
                               QStringLiteral("st_nlink"), QStringLiteral("1"), QStringLiteral("st_ifmt"),
                               type, QStringLiteral("st_mtime"), QString::number(ns),
                               QStringLiteral("st_birthtime"), QString::number(ns)});
        }
        case OpMakeDir:
            return status(QDir().mkpath(local(texts(data).value(0))) ? Success : UnknownError, replyOp);
        case OpRemovePathAndContents: {
            const QString path = local(texts(data).value(0));
            const QFileInfo info(path);
            if (!info.exists())
                return status(ObjectNotFound, replyOp);
            const bool removed = info.isDir() ? QDir(path).removeRecursively() : QFile::remove(path);
            return status(removed ? Success : UnknownError, replyOp);
        }
        case OpRenamePath: {
            const QStringList names = texts(data);
            if (!QFileInfo::exists(local(names.value(0))))
                return status(ObjectNotFound, replyOp);
            QFile::remove(local(names.value(1)));
            return status(QFile::rename(local(names.value(0)), local(names.value(1))) ? Success
                                                                                      : UnknownError,
                          replyOp);
        }
        case OpFileOpen: {
            const quint64 mode = u64At(data, 0);
            const QString path = local(texts(data, 8).value(0));
            QIODevice::OpenMode openMode = QIODevice::ReadOnly;
            if (mode == 2)
                openMode = QIODevice::ReadWrite;
            else if (mode == 3)
                openMode = QIODevice::WriteOnly | QIODevice::Truncate;
            auto file = std::make_shared<QFile>(path);
            if (!file->open(openMode))
                return status(ObjectNotFound, replyOp);
            const quint64 handle = m_nextHandle++;
            m_files.insert(handle, file);
            replyOp = OpFileOpenResult;
            return u64(handle);
        }
        case OpFileRead: {
            const auto file = m_files.value(u64At(data, 0));
            if (!file)
                return status(ObjectNotFound, replyOp);
            if (m_afc->nextReadFails())
                return status(ReadError, replyOp);
            replyOp = OpData;
            return file->read(qint64(u64At(data, 8)));
        }
        case OpFileWrite: {
            const auto file = m_files.value(u64At(data, 0));
            if (!file)
                return status(ObjectNotFound, replyOp);
            if (m_afc->nextWriteFails())
                return status(WriteError, replyOp);
            return status(file->write(payload) == payload.size() ? Success : WriteError, replyOp);
        }
        case OpFileClose:
            return status(m_files.remove(u64At(data, 0)) ? Success : ObjectNotFound, replyOp);
        case OpFileLock:
            return status(m_files.contains(u64At(data, 0)) ? Success : ObjectNotFound, replyOp);
        default:
            return status(UnknownPacketType, replyOp);
        }
    }

    const std::shared_ptr<SimulatedAfc> m_afc;
    QHash<quint64, std::shared_ptr<QFile>> m_files;
    quint64 m_nextHandle = 1;
};

} // namespace

SimulatedAfc::SimulatedAfc(const QString &folder)
    : m_folder(QDir(folder).absolutePath())
{}

void SimulatedAfc::install(SimulatedIPhone &phone, const std::shared_ptr<SimulatedAfc> &afc)
{
    phone.registerService(QString::fromLatin1(serviceName),
                          [afc]() { return std::make_unique<AfcSession>(afc); });
}

void SimulatedAfc::failRead(int nth)
{
    QMutexLocker lock(&m_mutex);
    m_failRead = nth;
    m_reads = 0;
}

void SimulatedAfc::failWrite(int nth)
{
    QMutexLocker lock(&m_mutex);
    m_failWrite = nth;
    m_writes = 0;
}

QList<quint64> SimulatedAfc::operations() const
{
    QMutexLocker lock(&m_mutex);
    return m_operations;
}

bool SimulatedAfc::nextReadFails()
{
    QMutexLocker lock(&m_mutex);
    return ++m_reads == m_failRead;
}

bool SimulatedAfc::nextWriteFails()
{
    QMutexLocker lock(&m_mutex);
    return ++m_writes == m_failWrite;
}

void SimulatedAfc::recordOperation(quint64 op)
{
    QMutexLocker lock(&m_mutex);
    m_operations.append(op);
}

} // namespace tarnwick::peers
