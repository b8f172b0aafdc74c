#pragma once

#include "DeviceHandles.h"
#include "ServiceChannel.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

// The property-list messages of a device service over one connection: each is a 4-byte big-endian
// length, then a binary or XML property list. Every message received is checked before libplist
// parses it (see PlistInputCheck): one that could crash the parser or leave a damaged tree is
// refused, and lastRefusal() says why. The device library's own property-list service parses
// whatever arrives, so every service a phone answers on goes through this channel instead. Raw
// bytes (the file frames of a backup) pass through the same connection.
class PlistMessageChannel
{
public:
    // Largest message accepted from the device; a record batch with photos stays far below it.
    static constexpr uint32_t maxMessageBytes = 256u << 20;

    enum class Format { Binary, Xml };
    enum class Received {
        Message,  // `message` holds a checked tree
        TimedOut, // nothing came within the wait
        Refused,  // the bytes came, and were refused; lastRefusal() says why
        Failed,   // the connection failed; lastError() says how
    };

    explicit PlistMessageChannel(std::unique_ptr<ServiceChannel> channel);

    service_error_t send(plist_t message, Format format = Format::Binary);
    // Waits up to `timeoutMs` for each piece of the message.
    Received receive(UniquePlist &message, unsigned timeoutMs);

    // Raw bytes, unframed.
    service_error_t sendRaw(const char *data, uint32_t size);
    // At most `size` bytes; `received` is 0 when nothing came within `timeoutMs`.
    service_error_t receiveRaw(char *data, uint32_t size, uint32_t &received, unsigned timeoutMs);

    const std::string &lastRefusal() const { return m_lastRefusal; }
    service_error_t lastError() const { return m_lastError; }

    // The parts of a message. A new array that takes over `items`; item `index` of `array`, null when
    // it is no array or too short; the text of a string node, empty for anything else.
    static UniquePlist arrayOf(std::initializer_list<plist_t> items);
    static plist_t itemOf(const UniquePlist &array, uint32_t index);
    static std::string textOf(plist_t node);

    // Checks `bytes` and parses them; empty on success, otherwise why they were refused. Control
    // characters in an XML list are read as spaces, as the device library reads them.
    static std::string parseChecked(std::string &bytes, UniquePlist &message);

private:
    // Reads exactly `size` bytes.
    Received receiveBytes(char *data, uint32_t size, unsigned timeoutMs);
    // At most `size` bytes: first those read ahead, else from the connection.
    service_error_t pull(char *data, uint32_t size, uint32_t &received, unsigned timeoutMs);
    Received refuse(std::string why);

    std::unique_ptr<ServiceChannel> m_channel;
    // Where the connection gives back what has arrived, small reads (a frame's length, a file's
    // piece) take it in large portions: one call to the device library instead of one a piece.
    const bool m_readsAhead;
    std::vector<char> m_ahead;
    std::size_t m_aheadBegin = 0;
    std::size_t m_aheadEnd = 0;
    std::string m_lastRefusal;
    service_error_t m_lastError = SERVICE_E_SUCCESS;
};
