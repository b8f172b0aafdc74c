#include "PlistMessageChannel.h"

#include "PlistInputCheck.h"

#include <algorithm>
#include <cstring>

namespace {

// Bytes read at a time: a length the device announces is never allocated before the bytes come.
constexpr uint32_t kReadChunk = 1u << 20;
// A read at least this large goes straight to the caller's memory.
constexpr uint32_t kReadAhead = 256u << 10;

} // namespace

UniquePlist PlistMessageChannel::arrayOf(std::initializer_list<plist_t> items)
{
    UniquePlist array(plist_new_array());
    for (plist_t item : items)
        plist_array_append_item(array.get(), item);
    return array;
}

plist_t PlistMessageChannel::itemOf(const UniquePlist &array, uint32_t index)
{
    if (!array || plist_get_node_type(array.get()) != PLIST_ARRAY)
        return nullptr;
    return plist_array_get_item(array.get(), index);
}

std::string PlistMessageChannel::textOf(plist_t node)
{
    if (!node || plist_get_node_type(node) != PLIST_STRING)
        return {};
    char *raw = nullptr;
    plist_get_string_val(node, &raw);
    const UniqueCString text(raw);
    return text ? std::string(text.get()) : std::string();
}

PlistMessageChannel::PlistMessageChannel(std::unique_ptr<ServiceChannel> channel)
    : m_channel(std::move(channel))
    , m_readsAhead(m_channel && m_channel->returnsWhatArrived())
{}

service_error_t PlistMessageChannel::send(plist_t message, Format format)
{
    if (!message)
        return SERVICE_E_INVALID_ARG;
    char *raw = nullptr;
    uint32_t length = 0;
    if (format == Format::Xml)
        plist_to_xml(message, &raw, &length);
    else
        plist_to_bin(message, &raw, &length);
    const UniqueCString content(raw);
    if (!content || length == 0)
        return SERVICE_E_INVALID_ARG;
    std::string frame(4 + std::size_t(length), '\0');
    for (int i = 0; i < 4; ++i)
        frame[std::size_t(i)] = char((length >> (24 - 8 * i)) & 0xFF);
    std::memcpy(frame.data() + 4, content.get(), length);
    return m_channel->send(frame.data(), uint32_t(frame.size()));
}

service_error_t PlistMessageChannel::sendRaw(const char *data, uint32_t size)
{
    return m_channel->send(data, size);
}

service_error_t PlistMessageChannel::receiveRaw(char *data, uint32_t size, uint32_t &received,
                                                unsigned timeoutMs)
{
    return pull(data, size, received, timeoutMs);
}

service_error_t PlistMessageChannel::pull(char *data, uint32_t size, uint32_t &received, unsigned timeoutMs)
{
    received = 0;
    if (m_aheadBegin == m_aheadEnd) {
        if (!m_readsAhead || size >= kReadAhead)
            return m_channel->receive(data, size, received, timeoutMs);
        m_ahead.resize(kReadAhead);
        uint32_t got = 0;
        const service_error_t err = m_channel->receive(m_ahead.data(), kReadAhead, got, timeoutMs);
        m_aheadBegin = 0;
        m_aheadEnd = got;
        if (got == 0)
            return err;
    }
    const std::size_t n = std::min<std::size_t>(size, m_aheadEnd - m_aheadBegin);
    std::memcpy(data, m_ahead.data() + m_aheadBegin, n);
    m_aheadBegin += n;
    received = uint32_t(n);
    return SERVICE_E_SUCCESS;
}

PlistMessageChannel::Received PlistMessageChannel::receiveBytes(char *data, uint32_t size, unsigned timeoutMs)
{
    uint32_t done = 0;
    while (done < size) {
        uint32_t received = 0;
        const service_error_t err = pull(data + done, size - done, received, timeoutMs);
        if (err == SERVICE_E_TIMEOUT)
            return Received::TimedOut;
        if (err != SERVICE_E_SUCCESS) {
            m_lastError = err;
            return Received::Failed;
        }
        if (received == 0)
            return Received::TimedOut;
        done += received;
    }
    return Received::Message;
}

PlistMessageChannel::Received PlistMessageChannel::refuse(std::string why)
{
    m_lastRefusal = std::move(why);
    return Received::Refused;
}

PlistMessageChannel::Received PlistMessageChannel::receive(UniquePlist &message, unsigned timeoutMs)
{
    message.reset();
    unsigned char header[4];
    Received got = receiveBytes(reinterpret_cast<char *>(header), sizeof header, timeoutMs);
    if (got != Received::Message)
        return got;
    const uint32_t length = (uint32_t(header[0]) << 24) | (uint32_t(header[1]) << 16) |
                            (uint32_t(header[2]) << 8) | uint32_t(header[3]);
    if (length == 0)
        return refuse("empty message");
    if (length > maxMessageBytes)
        return refuse("message of " + std::to_string(length) + " bytes is larger than " +
                      std::to_string(maxMessageBytes));

    std::string content;
    while (content.size() < length) {
        const std::size_t offset = content.size();
        const std::size_t end = offset + std::min<std::size_t>(kReadChunk, length - offset);
        // Grows by doubling, so a large message is not copied once per chunk.
        if (content.capacity() < end)
            content.reserve(std::min<std::size_t>(length, std::max(end, 2 * content.capacity())));
        content.resize(end);
        got = receiveBytes(content.data() + offset, uint32_t(content.size() - offset), timeoutMs);
        if (got != Received::Message)
            return got;
    }
    std::string why = parseChecked(content, message);
    if (!why.empty())
        return refuse(std::move(why));
    return Received::Message;
}

std::string PlistMessageChannel::parseChecked(std::string &bytes, UniquePlist &message)
{
    message.reset();
    plist_t raw = nullptr;
    std::string why;
    if (bytes.size() > 8 && bytes.compare(0, 8, "bplist00") == 0) {
        why = PlistInputCheck::binaryRefusal(bytes.data(), bytes.size());
        if (why.empty())
            plist_from_bin(bytes.data(), uint32_t(bytes.size()), &raw);
    } else if (bytes.size() > 5 && bytes.compare(0, 5, "<?xml") == 0) {
        // Phones put control characters into XML messages at times; the device library reads them
        // as spaces, and so does this channel.
        for (char &c : bytes) {
            if (c >= 0 && c < 0x20 && c != '\t' && c != '\n' && c != '\r')
                c = ' ';
        }
        why = PlistInputCheck::xmlRefusal(bytes.data(), bytes.size());
        if (why.empty())
            plist_from_xml(bytes.data(), uint32_t(bytes.size()), &raw);
    } else {
        why = "message is no property list";
    }
    message.reset(raw);
    if (!why.empty()) {
        message.reset();
        return why;
    }
    return message ? std::string() : std::string("property list cannot be read");
}
