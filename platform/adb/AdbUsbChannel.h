#pragma once

#include "AdbChannel.h"
#include "AdbUsbEndpoints.h"

#include <atomic>
#include <memory>

// An ADB transport over a phone's USB interface. The header and the payload of a message go as
// two transfers, as the phone's daemon reads them, and a payload that fills its last packet
// exactly is followed by a zero-length packet, so that the phone sees where the transfer ends.
class AdbUsbChannel : public AdbChannel
{
public:
    explicit AdbUsbChannel(std::unique_ptr<AdbUsbEndpoints> endpoints);

    qint64 read(char *buffer, qint64 size) override;
    void write(const QByteArray &header, const QByteArray &payload) override;
    void close() override;

private:
    void send(const char *data, qint64 size);

    std::unique_ptr<AdbUsbEndpoints> m_endpoints;
    std::atomic_bool m_closed{false};
};
