#include "simpleprotocol.h"

#include <QElapsedTimer>
#include <QIODevice>
#include <QTcpSocket>

#include <algorithm>
#include <vector>

namespace simpleprotocol {

namespace {

std::string utf8(const QString &text)
{
    return text.toUtf8().toStdString();
}

// Waits for more bytes as `wait` says; the idle clock restarts whenever bytes arrive.
class DataWaiter
{
public:
    DataWaiter(QTcpSocket &socket, const ReadWait &wait)
        : m_socket(socket)
        , m_wait(wait)
    {
        m_idle.start();
    }

    void arrived() { m_idle.restart(); }

    void waitForData()
    {
        if (!m_wait.checkpoint) {
            if (!m_socket.waitForReadyRead(m_wait.timeout))
                throw SocketDataTransferException(m_socket.errorString());
            return;
        }
        for (;;) {
            m_wait.checkpoint();
            if (m_socket.waitForReadyRead(std::max(1, m_wait.sliceMs)))
                return;
            // Only a slice that ran out is worth another try; a closed or broken connection is final.
            if (m_socket.error() != QAbstractSocket::SocketTimeoutError ||
                m_socket.state() != QAbstractSocket::ConnectedState)
                throw SocketDataTransferException(m_socket.errorString());
            if (m_wait.idleLimitMs >= 0 && m_idle.elapsed() >= m_wait.idleLimitMs)
                throw SocketDataTransferException(
                    QStringLiteral("The phone sent nothing for %1 seconds.").arg(m_wait.idleLimitMs / 1000));
        }
    }

private:
    QTcpSocket &m_socket;
    const ReadWait &m_wait;
    QElapsedTimer m_idle;
};

// Base64 bytes of `text` with every character outside the alphabet left out.
QByteArray alphabetOnly(const QString &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
            c == '/')
            out.append(char(c));
    }
    return out;
}

} // namespace

SocketDataTransferException::SocketDataTransferException(const QString &message)
    : std::runtime_error(utf8(message))
{}

RemoteException::RemoteException(const QString &message)
    : std::runtime_error(utf8(message))
{}

LocalException::LocalException(QTcpSocket &socket, const QString &message)
    : std::runtime_error(utf8(message))
{
    sendCommand(socket, kError, encodeText(message), true, -1);
}

QString encodeText(const QString &text)
{
    return QString::fromLatin1(text.toUtf8().toBase64());
}

QByteArray decodeBytes(const QString &base64)
{
    return QByteArray::fromBase64(alphabetOnly(base64));
}

QString decodeText(const QString &base64)
{
    QByteArray bytes = decodeBytes(base64);
    const qsizetype zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    return QString::fromUtf8(bytes);
}

void sendCommand(QTcpSocket &socket, QString command, QString argument, bool flush, int timeout)
{
    sendString(socket, command + argument + QLatin1Char('\n'), flush, timeout);
}

void sendString(QTcpSocket &socket, QString text, bool flush, int timeout)
{
    const QByteArray bytes = text.toUtf8();
    sendBytes(socket, bytes.constData(), bytes.size(), flush, timeout);
}

void sendBytes(QTcpSocket &socket, const char *data, qint64 size, bool flush, int timeout)
{
    if (size <= 0)
        return;
    while (size > 0) {
        const qint64 written = socket.write(data, size);
        if (written > 0) {
            data += written;
            size -= written;
        } else if (!socket.waitForBytesWritten(timeout)) {
            throw SocketDataTransferException(socket.errorString());
        }
    }
    if (flush && !socket.flush() && socket.state() != QAbstractSocket::ConnectedState)
        throw SocketDataTransferException(socket.errorString());
}

QString readLine(QTcpSocket &socket, int timeout)
{
    return readLine(socket, ReadWait(timeout));
}

QString readLine(QTcpSocket &socket, const ReadWait &wait)
{
    DataWaiter waiter(socket, wait);
    QByteArray line;
    char chunk[16384];
    for (;;) {
        const qint64 available = socket.bytesAvailable();
        if (available <= 0) {
            waiter.waitForData();
            continue;
        }
        // Reads up to and including the first line feed, never past it: what follows may be raw
        // bytes of a block that the caller reads next.
        const qint64 n = socket.readLine(chunk, qint64(sizeof chunk));
        if (n <= 0) {
            waiter.waitForData();
            continue;
        }
        waiter.arrived();
        const bool ended = chunk[n - 1] == '\n';
        line.append(chunk, ended ? n - 1 : n);
        if (line.size() > wait.maxLineBytes)
            throw SocketDataTransferException(
                QStringLiteral("The phone sent a line longer than %1 bytes.").arg(wait.maxLineBytes));
        if (ended)
            break;
    }
    line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
    return QString::fromLatin1(line);
}

void readBytes(QTcpSocket &socket, char *buffer, qint64 size, int timeout)
{
    readBytes(socket, buffer, size, ReadWait(timeout));
}

void readBytes(QTcpSocket &socket, char *buffer, qint64 size, const ReadWait &wait)
{
    DataWaiter waiter(socket, wait);
    while (size > 0) {
        const qint64 n = socket.read(buffer, size);
        if (n > 0) {
            waiter.arrived();
            buffer += n;
            size -= n;
        } else {
            waiter.waitForData();
        }
    }
}

QString readCommand(QTcpSocket &socket, int timeout)
{
    return readCommand(socket, ReadWait(timeout));
}

QString readCommand(QTcpSocket &socket, const ReadWait &wait)
{
    const QString line = readLine(socket, wait);
    if (line.isEmpty())
        throw SocketDataTransferException(QStringLiteral("Null command."));
    if (line.startsWith(kError))
        throw RemoteException(decodeText(line.mid(kError.size())));
    return line;
}

QString readFeedback(QTcpSocket &socket, QString expected, int timeout)
{
    const QString line = readCommand(socket, timeout);
    if (!line.startsWith(expected))
        throw LocalException(socket,
                             QStringLiteral("invalid feedback [%1], must be [%2]").arg(line, expected));
    return line;
}

void sendStreamContent(QTcpSocket &socket, QIODevice &source, bool flush, int timeout)
{
    std::vector<char> buffer(kStreamPieceBytes);
    while (!source.atEnd()) {
        const qint64 n = source.read(buffer.data(), qint64(buffer.size()));
        if (n < 0)
            throw std::runtime_error(utf8(source.errorString()));
        if (n == 0)
            continue;
        sendCommand(socket, kBlock, QString::number(n), false, timeout);
        sendBytes(socket, buffer.data(), n, false, timeout);
    }
    sendStreamContentEnd(socket, flush, timeout);
}

void sendStreamContentEnd(QTcpSocket &socket, bool flush, int timeout)
{
    sendCommand(socket, kEnd, QString(), flush, timeout);
}

void readStreamContent(QTcpSocket &socket, QIODevice &target, int timeout)
{
    QByteArray buffer;
    for (;;) {
        const QString line = readCommand(socket, timeout);
        if (line.startsWith(kBlock)) {
            bool ok = false;
            const int n = line.mid(kBlock.size()).toInt(&ok);
            if (!ok || n < 1)
                continue;
            if (n > kMaxBlockBytes)
                throw LocalException(socket,
                                     QStringLiteral("readStreamContent: a block of %1 bytes exceeds the "
                                                    "limit of %2 bytes")
                                         .arg(n)
                                         .arg(kMaxBlockBytes));
            if (buffer.size() < n)
                buffer.resize(n);
            readBytes(socket, buffer.data(), n, timeout);
            const char *rest = buffer.constData();
            qint64 left = n;
            while (left > 0) {
                const qint64 written = target.write(rest, left);
                if (written < 0)
                    throw std::runtime_error(utf8(target.errorString()));
                if (written == 0)
                    break;
                rest += written;
                left -= written;
            }
        } else if (line.startsWith(kEnd)) {
            return;
        } else {
            throw LocalException(
                socket, QStringLiteral("readStreamContent: invalid feedback [%1], must be [%2], [%3]")
                            .arg(line, kBlock, kEnd));
        }
    }
}

} // namespace simpleprotocol
