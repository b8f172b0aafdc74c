#pragma once

#include "AdbChannel.h"
#include "AdbUsbEndpoints.h"

#include <atomic>
#include <memory>

// An ADB transport over a phone's USB interface. The header and the payload of a message go as
// two transfers, as the phone's daemon reads them, and a payload that fills its last packet
// exactly is followed by a zero-length packet, so that the phone sees where the transfer ends.
//
// A phone that takes nothing (its bulk-out endpoint NAKs every transfer) fails the write once it
// has taken no byte for the stall limit; a write cut short by close() throws too, so that no
// message is ever taken for sent when part of it stayed behind.
class AdbUsbChannel : public AdbChannel
{
public:
    static constexpr int kDefaultStallLimitMs = 5000;

    explicit AdbUsbChannel(std::unique_ptr<AdbUsbEndpoints> endpoints,
                           int stallLimitMs = kDefaultStallLimitMs);

    qint64 read(char *buffer, qint64 size) override;
    void write(const QByteArray &header, const QByteArray &payload) override;
    void close() override;

private:
    void send(const char *data, qint64 size);

    std::unique_ptr<AdbUsbEndpoints> m_endpoints;
    const int m_stallLimitMs;
    std::atomic_bool m_closed{false};
};
