#pragma once

#include "platform/idevice/ServiceChannel.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace tarnwick::test {

// A device service whose every byte is given up front: reads return them in order, at most
// `chunk` at a time as a slow connection would, and then report the connection closed. What the
// computer sends is kept. With Reads::AllAsked it stands for a connection under TLS, where the
// device library waits until every byte asked for has come: a read asking for more than the phone
// sends would stall there, so it brings nothing and is counted (overAsked()).
class ScriptedServiceChannel : public ServiceChannel
{
public:
    enum class Reads { WhatArrived, AllAsked };

    ScriptedServiceChannel(const void *data, std::size_t size, std::size_t chunk = 4096,
                           Reads reads = Reads::WhatArrived)
        : m_data(static_cast<const char *>(data))
        , m_size(size)
        , m_chunk(chunk)
        , m_reads(reads)
    {}

    service_error_t send(const char *data, uint32_t size) override
    {
        m_sent.append(data, size);
        return SERVICE_E_SUCCESS;
    }

    service_error_t receive(char *data, uint32_t size, uint32_t &received, unsigned) override
    {
        received = 0;
        if (m_pos == m_size)
            return SERVICE_E_MUX_ERROR;
        if (m_reads == Reads::AllAsked && size > m_size - m_pos) {
            ++m_overAsked;
            return SERVICE_E_SUCCESS;
        }
        const std::size_t n = m_reads == Reads::AllAsked
                                  ? std::size_t(size)
                                  : std::min({std::size_t(size), m_size - m_pos, m_chunk});
        std::memcpy(data, m_data + m_pos, n);
        m_pos += n;
        received = uint32_t(n);
        return SERVICE_E_SUCCESS;
    }

    bool returnsWhatArrived() const override { return m_reads == Reads::WhatArrived; }

    const std::string &sent() const { return m_sent; }
    int overAsked() const { return m_overAsked; }

private:
    const char *m_data;
    std::size_t m_size;
    std::size_t m_chunk;
    const Reads m_reads;
    std::size_t m_pos = 0;
    int m_overAsked = 0;
    std::string m_sent;
};

} // namespace tarnwick::test
