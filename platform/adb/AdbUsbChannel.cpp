#include "AdbUsbChannel.h"

#include "AdbError.h"

#include <QElapsedTimer>
#include <QtGlobal>

namespace {
// Transfers wait this long at most, so that close() is noticed soon.
constexpr int kSliceMs = 200;
} // namespace

AdbUsbChannel::AdbUsbChannel(std::unique_ptr<AdbUsbEndpoints> endpoints, int stallLimitMs)
    : m_endpoints(std::move(endpoints))
    , m_stallLimitMs(stallLimitMs)
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
    // The limit counts from the last byte the phone took, so a slow phone that keeps taking data
    // is never cut off, while one that takes nothing is given up on.
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    for (;;) {
        if (m_closed)
            throw AdbError(QStringLiteral("The connection to the phone was closed while sending."));
        const int slice = qBound(1, m_stallLimitMs - int(sinceProgress.elapsed()), kSliceMs);
        const qint64 sent = m_endpoints->bulkOut(data, size, slice);
        if (sent > 0) {
            data += sent;
            size -= sent;
            if (size <= 0)
                return;
            sinceProgress.restart();
        } else if (sinceProgress.elapsed() >= m_stallLimitMs) {
            throw AdbError(QStringLiteral("The phone takes no data over USB (nothing sent for %1 s).")
                               .arg(m_stallLimitMs / 1000.0));
        }
    }
}

void AdbUsbChannel::write(const QByteArray &header, const QByteArray &payload)
{
    send(header.constData(), header.size());
    if (payload.isEmpty())
        return;
    send(payload.constData(), payload.size());
    const int packet = m_endpoints->maxPacketSize();
    if (packet > 0 && payload.size() % packet == 0 && !m_closed)
        m_endpoints->bulkOut(nullptr, 0, kSliceMs);
}

void AdbUsbChannel::close()
{
    m_closed = true;
}
