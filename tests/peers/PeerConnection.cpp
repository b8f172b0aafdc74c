#include "PeerConnection.h"

#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace tarnwick::peers {

namespace {

// Repeats `step` (one recv or send from byte `done` on) until `size` bytes went through; false once
// the peer has closed or the socket failed.
template<typename Step> bool transferAll(std::size_t size, Step step)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = step(done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

} // namespace

PeerConnection::PeerConnection(int fd)
    : m_fd(fd)
{}

PeerConnection::~PeerConnection()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool PeerConnection::readExact(void *buffer, std::size_t size)
{
    auto *out = static_cast<char *>(buffer);
    return transferAll(size, [&](std::size_t done) { return ::recv(m_fd, out + done, size - done, 0); });
}

bool PeerConnection::writeAll(const void *buffer, std::size_t size)
{
    const auto *in = static_cast<const char *>(buffer);
    return transferAll(size,
                       [&](std::size_t done) { return ::send(m_fd, in + done, size - done, MSG_NOSIGNAL); });
}

bool PeerConnection::writeAll(const void *first, std::size_t firstSize, const void *second,
                              std::size_t secondSize)
{
    iovec parts[2] = {{const_cast<void *>(first), firstSize}, {const_cast<void *>(second), secondSize}};
    int index = 0;
    while (index < 2) {
        msghdr message{};
        message.msg_iov = parts + index;
        message.msg_iovlen = std::size_t(2 - index);
        ssize_t n = ::sendmsg(m_fd, &message, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        while (index < 2 && std::size_t(n) >= parts[index].iov_len) {
            n -= ssize_t(parts[index].iov_len);
            ++index;
        }
        if (index < 2) {
            parts[index].iov_base = static_cast<char *>(parts[index].iov_base) + n;
            parts[index].iov_len -= std::size_t(n);
        }
    }
    return true;
}

UniquePlist PeerConnection::receivePlist()
{
    quint32 bigEndianLength = 0;
    if (!readExact(&bigEndianLength, sizeof bigEndianLength))
        return {};
    const quint32 length = qFromBigEndian(bigEndianLength);
    QByteArray body(int(length), Qt::Uninitialized);
    if (!readExact(body.data(), length))
        return {};
    plist_t node = nullptr;
    if (body.startsWith("bplist00"))
        plist_from_bin(body.constData(), length, &node);
    else
        plist_from_xml(body.constData(), length, &node);
    return UniquePlist(node);
}

bool PeerConnection::sendPlist(plist_t node, Format format)
{
    char *raw = nullptr;
    uint32_t length = 0;
    if (format == Format::Binary)
        plist_to_bin(node, &raw, &length);
    else
        plist_to_xml(node, &raw, &length);
    UniqueCString bytes(raw);
    if (!bytes || length == 0)
        return false;
    const quint32 bigEndianLength = qToBigEndian(length);
    return writeAll(&bigEndianLength, sizeof bigEndianLength) && writeAll(bytes.get(), length);
}

void PeerConnection::shutdown()
{
    ::shutdown(m_fd, SHUT_RDWR);
}

void PeerConnection::shutdownReading()
{
    ::shutdown(m_fd, SHUT_RD);
}

} // namespace tarnwick::peers
