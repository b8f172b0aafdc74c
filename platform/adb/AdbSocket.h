#pragma once

#include <QByteArray>
#include <QString>

// One TCP socket of the ADB client (a connection to a phone's daemon, a forward's listener or one
// of its accepted connections), closed with its owner. Blocking calls, meant for the client's own
// threads; shutdown() from another thread wakes a call blocked in accept() or receive().
class AdbSocket
{
public:
    AdbSocket() = default;
    explicit AdbSocket(int fd);
    ~AdbSocket();
    AdbSocket(AdbSocket &&other) noexcept;
    AdbSocket &operator=(AdbSocket &&other) noexcept;
    AdbSocket(const AdbSocket &) = delete;
    AdbSocket &operator=(const AdbSocket &) = delete;

    // Throws AdbError when no connection is made within timeoutMs.
    static AdbSocket connectTo(const QString &host, quint16 port, int timeoutMs);
    // Listens on 127.0.0.1; port 0 picks a free one. Throws AdbError.
    static AdbSocket listenLoopback(quint16 port);

    bool isValid() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    quint16 localPort() const;

    // The next connection; an invalid socket once the listener was shut down.
    AdbSocket accept();
    // A connection that is already waiting, without blocking; an invalid socket when none is.
    // From the first call on, accept() no longer blocks either: meant for a listener being closed.
    AdbSocket acceptWaiting();
    // What has arrived, at least one byte; 0 at the end of the connection. Throws AdbError.
    qint64 receive(char *buffer, qint64 size);
    // What has arrived already, without waiting; 0 when nothing has.
    qint64 receiveAvailable(char *buffer, qint64 size);
    // Throws AdbError when the connection broke.
    void sendAll(const char *data, qint64 size);
    void sendAll(const QByteArray &data) { sendAll(data.constData(), data.size()); }
    void sendAll(const QByteArray &first, const QByteArray &second);
    // Moves what has arrived, at least one byte and at most `size`, into `pipe` without copying it
    // through this process; 0 at the end of the connection. Throws AdbError.
    qint64 receiveIntoPipe(int pipe, qint64 size);
    // Sends `first`, then `size` bytes that wait in `pipe`. Throws AdbError when the connection
    // broke.
    void sendAllFromPipe(const QByteArray &first, int pipe, qint64 size);
    // Ends both directions; the descriptor itself stays open until destruction.
    void shutdown();

private:
    // sendAll() with the flags of send(2) besides MSG_NOSIGNAL.
    void sendAll(const char *data, qint64 size, int flags);

    int m_fd = -1;
};
