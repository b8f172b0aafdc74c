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
// computer sends is kept.
class ScriptedServiceChannel : public ServiceChannel
{
public:
    ScriptedServiceChannel(const void *data, std::size_t size, std::size_t chunk = 4096)
        : m_data(static_cast<const char *>(data))
        , m_size(size)
        , m_chunk(chunk)
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
        const std::size_t n = std::min({std::size_t(size), m_size - m_pos, m_chunk});
        std::memcpy(data, m_data + m_pos, n);
        m_pos += n;
        received = uint32_t(n);
        return SERVICE_E_SUCCESS;
    }

    const std::string &sent() const { return m_sent; }

private:
    const char *m_data;
    std::size_t m_size;
    std::size_t m_chunk;
    std::size_t m_pos = 0;
    std::string m_sent;
};

} // namespace tarnwick::test
