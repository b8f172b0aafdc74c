#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <stdexcept>

class QIODevice;
class QTcpSocket;

// The companion app's newline-framed command protocol. Every function works on a connected socket
// that the caller owns and drives in blocking mode on its own thread; nothing is kept between calls.
// Lines go out as UTF-8; a received line is read one character per byte with every carriage return
// dropped. Free text travels as Base64 of its UTF-8 bytes.
namespace simpleprotocol {

// The socket failed to deliver or accept bytes, the peer sent an empty command, or it sent more
// than a line or a block may hold.
class SocketDataTransferException : public std::runtime_error
{
public:
    explicit SocketDataTransferException(const QString &message);
};

// The peer sent "$error:"; the message is the peer's own text.
class RemoteException : public std::runtime_error
{
public:
    explicit RemoteException(const QString &message);
};

// This side refuses what the peer sent. Building it tells the peer with an "$error:" line; when
// that send fails, its SocketDataTransferException leaves the constructor instead.
class LocalException : public std::runtime_error
{
public:
    LocalException(QTcpSocket &socket, const QString &message);
};

// The command words of a session.
inline const QString kDevice = QStringLiteral("$device:");
inline const QString kVersion = QStringLiteral("$version:");
inline const QString kCount = QStringLiteral("$count:");
inline const QString kBatch = QStringLiteral("$batch:");
inline const QString kEnt = QStringLiteral("$ent:");
inline const QString kDel = QStringLiteral("$del:");
inline const QString kUngroup = QStringLiteral("$ungroup:");
inline const QString kEnd = QStringLiteral("$end:");
inline const QString kBye = QStringLiteral("$bye:");
inline const QString kError = QStringLiteral("$error:");
inline const QString kBlock = QStringLiteral("$block:");

// A received line longer than this is refused: one line carries at most one record, and the
// largest record is a photo.
constexpr qint64 kMaxLineBytes = 64 * 1024 * 1024;
// The most bytes one "$block:" piece may announce; senders use 512 KiB pieces.
constexpr qint64 kMaxBlockBytes = 16 * 1024 * 1024;
// Size of the pieces sendStreamContent makes.
constexpr qint64 kStreamPieceBytes = 524288;

// How a blocking read waits. By default it waits for the whole `timeout` (-1: without limit). With a
// checkpoint it waits in slices of `sliceMs`, calling the checkpoint between slices (it may throw to
// abandon the read, for example on a user's cancel), and gives up with SocketDataTransferException
// once nothing has arrived for `idleLimitMs` (-1: no limit).
struct ReadWait
{
    ReadWait() = default;
    explicit ReadWait(int timeout)
        : timeout(timeout)
    {}
    ReadWait(std::function<void()> checkpoint, int idleLimitMs, int sliceMs = 100)
        : checkpoint(std::move(checkpoint))
        , idleLimitMs(idleLimitMs)
        , sliceMs(sliceMs)
    {}

    int timeout = -1;
    std::function<void()> checkpoint;
    int idleLimitMs = -1;
    int sliceMs = 100;
    // A longer line is refused.
    qint64 maxLineBytes = kMaxLineBytes;
};

void sendCommand(QTcpSocket &socket, QString command, QString argument, bool flush, int timeout);
void sendString(QTcpSocket &socket, QString text, bool flush, int timeout);
void sendBytes(QTcpSocket &socket, const char *data, qint64 size, bool flush, int timeout);

QString readLine(QTcpSocket &socket, int timeout);
QString readLine(QTcpSocket &socket, const ReadWait &wait);
void readBytes(QTcpSocket &socket, char *buffer, qint64 size, int timeout);
void readBytes(QTcpSocket &socket, char *buffer, qint64 size, const ReadWait &wait);

// One command line, command word included. An "$error:" line raises RemoteException, an empty line
// SocketDataTransferException "Null command.".
QString readCommand(QTcpSocket &socket, int timeout);
QString readCommand(QTcpSocket &socket, const ReadWait &wait);
// One command line that must start with `expected`; any other raises LocalException.
QString readFeedback(QTcpSocket &socket, QString expected, int timeout);

// Stream transfer: "$block:" pieces of raw bytes closed by "$end:".
void sendStreamContent(QTcpSocket &socket, QIODevice &source, bool flush, int timeout);
void sendStreamContentEnd(QTcpSocket &socket, bool flush, int timeout);
void readStreamContent(QTcpSocket &socket, QIODevice &target, int timeout);

// Base64 of the UTF-8 of `text`, standard alphabet, padded, no line breaks.
QString encodeText(const QString &text);
// The reverse of encodeText: characters outside the Base64 alphabet (padding included) are skipped,
// and the bytes are read as UTF-8 up to the first zero byte.
QString decodeText(const QString &base64);
// Base64 decoding with the same tolerance, giving the raw bytes.
QByteArray decodeBytes(const QString &base64);

} // namespace simpleprotocol
