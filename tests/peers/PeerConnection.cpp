#include "PeerConnection.h"

#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
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
