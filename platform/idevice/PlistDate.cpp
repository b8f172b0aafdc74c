#include "PlistDate.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

// The binary form of a property list holding one date: the header, the date object (marker, then
// the seconds as a big-endian double), a one-entry offset table and the 32-byte trailer.
constexpr std::size_t kObjectAt = 8;
constexpr std::size_t kTableAt = kObjectAt + 9;
constexpr std::size_t kTrailerSize = 32;
constexpr unsigned char kDateMarker = 0x33;

std::uint64_t readBigEndian(const unsigned char *p, std::size_t bytes)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i)
        value = (value << 8) | p[i];
    return value;
}

void appendBigEndian(std::string &out, std::uint64_t value)
{
    for (int shift = 56; shift >= 0; shift -= 8)
        out.push_back(char((value >> shift) & 0xFF));
}

} // namespace

std::optional<double> PlistDate::seconds(plist_t node)
{
    if (!node || plist_get_node_type(node) != PLIST_DATE)
        return std::nullopt;
    char *raw = nullptr;
    uint32_t length = 0;
    plist_to_bin(node, &raw, &length);
    const std::unique_ptr<char, decltype(&std::free)> bytes(raw, &std::free);
    if (!raw || length < kTableAt + 1 + kTrailerSize)
        return std::nullopt;
    // Found through the trailer rather than at a fixed place, whatever sizes the writer chose.
    const auto *b = reinterpret_cast<const unsigned char *>(raw);
    const unsigned char *trailer = b + length - kTrailerSize;
    const std::size_t offsetSize = trailer[6];
    const std::uint64_t root = readBigEndian(trailer + 16, 8);
    const std::uint64_t tableAt = readBigEndian(trailer + 24, 8);
    if (offsetSize < 1 || offsetSize > 8 || root > 0 || tableAt > length - kTrailerSize - offsetSize)
        return std::nullopt;
    const std::uint64_t objectAt = readBigEndian(b + tableAt, offsetSize);
    if (objectAt + 9 > tableAt || b[objectAt] != kDateMarker)
        return std::nullopt;
    const std::uint64_t bits = readBigEndian(b + objectAt + 1, 8);
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

plist_t PlistDate::newNode(double seconds)
{
    if (!std::isfinite(seconds))
        return nullptr;
    std::uint64_t bits = 0;
    std::memcpy(&bits, &seconds, sizeof bits);
    std::string b("bplist00");
    b.push_back(char(kDateMarker));
    appendBigEndian(b, bits);
    b.push_back(char(kObjectAt));
    // Trailer: six unused bytes, offset and reference sizes, one object, root 0, the table's offset.
    b.append(6, '\0');
    b.push_back(char(1));
    b.push_back(char(1));
    appendBigEndian(b, 1);
    appendBigEndian(b, 0);
    appendBigEndian(b, kTableAt);
    plist_t node = nullptr;
    plist_from_bin(b.data(), uint32_t(b.size()), &node);
    return node;
}
