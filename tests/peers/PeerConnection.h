#pragma once

#include "platform/idevice/DeviceHandles.h"

#include <QByteArray>

#include <cstddef>

namespace tarnwick::peers {

// One accepted socket of a simulated device: raw bytes for services with their own framing, and the
// property-list framing that lockdown and the DeviceLink services use (a 4-byte big-endian length,
// then an XML or binary property list). Every call blocks; a closed or failed socket gives false or
// a null plist. The socket is closed with the object.
class PeerConnection
{
public:
    enum class Format { Xml, Binary };

    explicit PeerConnection(int fd);
    ~PeerConnection();
    PeerConnection(const PeerConnection &) = delete;
    PeerConnection &operator=(const PeerConnection &) = delete;

    int fd() const { return m_fd; }

    bool readExact(void *buffer, std::size_t size);
    bool writeAll(const void *buffer, std::size_t size);
    bool writeAll(const QByteArray &bytes) { return writeAll(bytes.constData(), std::size_t(bytes.size())); }
    // Both pieces in one call where the socket takes them, without joining them first.
    bool writeAll(const void *first, std::size_t firstSize, const void *second, std::size_t secondSize);

    // The next framed property list; null when the peer closed the socket or sent no property list.
    UniquePlist receivePlist();
    bool sendPlist(plist_t node, Format format = Format::Binary);

    // Ends the conversation: both directions are shut, so that a blocked read on either side returns.
    void shutdown();
    // Stops reading only: whatever the other side sends from now on fails there (EPIPE), while this
    // side can still send.
    void shutdownReading();

private:
    int m_fd;
};

} // namespace tarnwick::peers
