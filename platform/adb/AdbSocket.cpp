#include "AdbSocket.h"

#include "AdbError.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <memory>

namespace {

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

void setNoDelay(int fd)
{
    // The transport sends many small acknowledgements; batching them only adds latency.
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

// Runs a receiving call again after a signal. A connection the peer reset or closed reads as its
// end; any other failure throws.
template<typename Call> qint64 received(Call call)
{
    for (;;) {
        const ssize_t n = call();
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        if (errno == ECONNRESET || errno == EPIPE)
            return 0;
        throw AdbError(QStringLiteral("Connection failed: %1").arg(systemError(errno)));
    }
}

} // namespace

AdbSocket::AdbSocket(int fd)
    : m_fd(fd)
{}

AdbSocket::~AdbSocket()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

AdbSocket::AdbSocket(AdbSocket &&other) noexcept
    : m_fd(other.m_fd)
{
    other.m_fd = -1;
}

AdbSocket &AdbSocket::operator=(AdbSocket &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

AdbSocket AdbSocket::connectTo(const QString &host, quint16 port, int timeoutMs)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const QByteArray service = QByteArray::number(port);
    const int rc = ::getaddrinfo(host.toUtf8().constData(), service.constData(), &hints, &found);
    if (rc != 0)
        throw AdbError(
            QStringLiteral("Cannot find %1: %2").arg(host, QString::fromLocal8Bit(gai_strerror(rc))));
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> list(found, freeaddrinfo);

    QString reason;
    for (addrinfo *ai = list.get(); ai; ai = ai->ai_next) {
        AdbSocket socket(
            ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol));
        if (!socket.isValid()) {
            reason = systemError(errno);
            continue;
        }
        int err = 0;
        if (::connect(socket.m_fd, ai->ai_addr, ai->ai_addrlen) != 0) {
            err = errno;
            if (err == EINPROGRESS) {
                pollfd p{socket.m_fd, POLLOUT, 0};
                const int ready = ::poll(&p, 1, timeoutMs);
                socklen_t len = sizeof err;
                if (ready <= 0)
                    err = ready == 0 ? ETIMEDOUT : errno;
                else if (::getsockopt(socket.m_fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
                    err = errno;
            }
        }
        if (err != 0) {
            reason = systemError(err);
            continue;
        }
        const int flags = ::fcntl(socket.m_fd, F_GETFL);
        ::fcntl(socket.m_fd, F_SETFL, flags & ~O_NONBLOCK);
        setNoDelay(socket.m_fd);
        return socket;
    }
    throw AdbError(QStringLiteral("Cannot connect to %1:%2: %3").arg(host).arg(port).arg(reason));
}

AdbSocket AdbSocket::listenLoopback(quint16 port)
{
    AdbSocket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.isValid())
        throw AdbError(QStringLiteral("Cannot make a socket: %1").arg(systemError(errno)));
    const int one = 1;
    ::setsockopt(socket.m_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(socket.m_fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        ::listen(socket.m_fd, 16) != 0) {
        throw AdbError(QStringLiteral("Cannot listen on 127.0.0.1:%1: %2").arg(port).arg(systemError(errno)));
    }
    return socket;
}

quint16 AdbSocket::localPort() const
{
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (::getsockname(m_fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
        return 0;
    if (addr.ss_family == AF_INET)
        return ntohs(reinterpret_cast<sockaddr_in *>(&addr)->sin_port);
    if (addr.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6 *>(&addr)->sin6_port);
    return 0;
}

AdbSocket AdbSocket::accept()
{
    for (;;) {
        const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            setNoDelay(fd);
            return AdbSocket(fd);
        }
        if (errno == EINTR || errno == ECONNABORTED)
            continue;
        return AdbSocket();
    }
}

AdbSocket AdbSocket::acceptWaiting()
{
    // accept4 has no flag of its own for this call; accepted sockets do not inherit it on Linux.
    const int flags = ::fcntl(m_fd, F_GETFL);
    if (flags < 0 || (!(flags & O_NONBLOCK) && ::fcntl(m_fd, F_SETFL, flags | O_NONBLOCK) != 0))
        return AdbSocket();
    return accept();
}

qint64 AdbSocket::receive(char *buffer, qint64 size)
{
    return received([&] { return ::recv(m_fd, buffer, size_t(size), 0); });
}

qint64 AdbSocket::receiveAvailable(char *buffer, qint64 size)
{
    for (;;) {
        const ssize_t n = ::recv(m_fd, buffer, size_t(size), MSG_DONTWAIT);
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        return 0;
    }
}

void AdbSocket::sendAll(const char *data, qint64 size)
{
    sendAll(data, size, 0);
}

void AdbSocket::sendAll(const char *data, qint64 size, int flags)
{
    while (size > 0) {
        const ssize_t n = ::send(m_fd, data, size_t(size), MSG_NOSIGNAL | flags);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw AdbError(QStringLiteral("Connection failed: %1").arg(systemError(errno)));
        }
        data += n;
        size -= n;
    }
}

void AdbSocket::sendAll(const QByteArray &first, const QByteArray &second)
{
    // One call for header and payload, so that a small message leaves as one segment.
    iovec parts[2] = {{const_cast<char *>(first.constData()), size_t(first.size())},
                      {const_cast<char *>(second.constData()), size_t(second.size())}};
    int index = 0;
    while (index < 2) {
        msghdr msg{};
        msg.msg_iov = parts + index;
        msg.msg_iovlen = size_t(2 - index);
        ssize_t n = ::sendmsg(m_fd, &msg, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw AdbError(QStringLiteral("Connection failed: %1").arg(systemError(errno)));
        }
        while (index < 2 && size_t(n) >= parts[index].iov_len) {
            n -= ssize_t(parts[index].iov_len);
            ++index;
        }
        if (index < 2) {
            parts[index].iov_base = static_cast<char *>(parts[index].iov_base) + n;
            parts[index].iov_len -= size_t(n);
        }
    }
}

qint64 AdbSocket::receiveIntoPipe(int pipe, qint64 size)
{
    return received([&] { return ::splice(m_fd, nullptr, pipe, nullptr, size_t(size), SPLICE_F_MOVE); });
}

void AdbSocket::sendAllFromPipe(const QByteArray &first, int pipe, qint64 size)
{
    // The header is held back until the payload follows, so that both leave in one segment.
    sendAll(first.constData(), first.size(), MSG_MORE);
    while (size > 0) {
        const ssize_t n = ::splice(pipe, nullptr, m_fd, nullptr, size_t(size), SPLICE_F_MOVE);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw AdbError(QStringLiteral("Connection failed: %1")
                               .arg(n < 0 ? systemError(errno) : QStringLiteral("nothing to send")));
        size -= n;
    }
}

void AdbSocket::shutdown()
{
    if (m_fd >= 0)
        ::shutdown(m_fd, SHUT_RDWR);
}
