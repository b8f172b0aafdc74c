#include "AdbUsbChannel.h"

#include <QtGlobal>

namespace {
// Transfers wait this long at most, so that close() is noticed soon.
constexpr int kSliceMs = 200;
} // namespace

AdbUsbChannel::AdbUsbChannel(std::unique_ptr<AdbUsbEndpoints> endpoints)
    : m_endpoints(std::move(endpoints))
{}

qint64 AdbUsbChannel::read(char *buffer, qint64 size)
{
    // A bulk-in request must be a whole number of packets, or a full packet from the phone would
    // overflow it.
    const qint64 packet = qMax(1, m_endpoints->maxPacketSize());
    const qint64 request = size >= packet ? size - size % packet : size;
    while (!m_closed) {
        const qint64 got = m_endpoints->bulkIn(buffer, request, kSliceMs);
        if (got > 0)
            return got;
    }
    return 0;
}

void AdbUsbChannel::send(const char *data, qint64 size)
{
    do {
        if (m_closed)
            return;
        const qint64 sent = m_endpoints->bulkOut(data, size, kSliceMs);
        data += sent;
        size -= sent;
    } while (size > 0);
}

void AdbUsbChannel::write(const QByteArray &header, const QByteArray &payload)
{
    send(header.constData(), header.size());
    if (payload.isEmpty())
        return;
    send(payload.constData(), payload.size());
    const int packet = m_endpoints->maxPacketSize();
    if (packet > 0 && payload.size() % packet == 0)
        m_endpoints->bulkOut(nullptr, 0, kSliceMs);
}

void AdbUsbChannel::close()
{
    m_closed = true;
}
