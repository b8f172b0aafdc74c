#include "PlistInputCheck.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t kHeaderSize = 8;   // "bplist00"
constexpr std::size_t kTrailerSize = 32; // 6 unused bytes, two sizes, three 8-byte numbers

enum ObjectType : unsigned char {
    Simple = 0x0,
    Integer = 0x1,
    Real = 0x2,
    Date = 0x3,
    Data = 0x4,
    AsciiString = 0x5,
    Utf16String = 0x6,
    Uid = 0x8,
    Array = 0xA,
    Set = 0xC,
    Dict = 0xD,
};

std::uint64_t readBigEndian(const unsigned char *p, unsigned bytes)
{
    std::uint64_t value = 0;
    for (unsigned i = 0; i < bytes; ++i)
        value = (value << 8) | p[i];
    return value;
}

// Seconds around the epoch that a date may lie: some 31,700 years. libplist's XML writer turns a
// date's seconds into a 64-bit integer, and nothing further out is a date anyone keeps.
constexpr double kDateLimitSeconds = 1e12;

bool isPlausibleDate(const unsigned char *bigEndian)
{
    const std::uint64_t bits = readBigEndian(bigEndian, 8);
    double seconds = 0;
    std::memcpy(&seconds, &bits, sizeof seconds);
    // NaN fails both comparisons.
    return seconds >= -kDateLimitSeconds && seconds <= kDateLimitSeconds;
}

std::string objectText(std::uint64_t index)
{
    return "object " + std::to_string(index);
}

// The binary form: an object area, a table of object offsets, a trailer naming the root.
class BinaryWalk
{
public:
    BinaryWalk(const unsigned char *data, std::size_t size)
        : m_data(data)
        , m_size(size)
    {}

    std::string run()
    {
        if (m_size < kHeaderSize + kTrailerSize)
            return "binary property list is too short";
        if (std::memcmp(m_data, "bplist00", kHeaderSize) != 0)
            return "binary property list has an unknown version";
        const unsigned char *trailer = m_data + m_size - kTrailerSize;
        m_offsetSize = trailer[6];
        m_refSize = trailer[7];
        m_count = readBigEndian(trailer + 8, 8);
        const std::uint64_t root = readBigEndian(trailer + 16, 8);
        m_areaEnd = readBigEndian(trailer + 24, 8);
        const std::uint64_t trailerStart = m_size - kTrailerSize;

        if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8)
            return "binary property list has invalid offset or reference sizes";
        if (m_count == 0 || root >= m_count)
            return "binary property list names no valid root object";
        if (m_areaEnd < kHeaderSize || m_areaEnd >= trailerStart ||
            m_count > (trailerStart - m_areaEnd) / m_offsetSize)
            return "binary property list has its offset table outside the data";

        m_state.assign(m_count, White);
        m_isString.assign(m_count, false);
        m_height.assign(m_count, 0);
        m_nodes.assign(m_count, 0);
        return walk(root);
    }

private:
    enum State : unsigned char { White, Grey, Black };

    // One object on the walk: its children are `childCount` references starting at `refsAt`
    // (for a dictionary the keys first, then the values).
    struct Frame
    {
        std::uint64_t index = 0;
        std::uint64_t refsAt = 0;
        std::uint64_t childCount = 0;
        std::uint64_t keyCount = 0;
        std::uint64_t next = 0;
        int height = 0;
        std::uint64_t nodes = 0;
    };

    std::string walk(std::uint64_t root)
    {
        std::vector<Frame> stack;
        std::string why = enter(root, stack);
        while (why.empty() && !stack.empty()) {
            Frame &top = stack.back();
            if (top.next == top.childCount) {
                m_height[top.index] = top.height + 1;
                m_nodes[top.index] = std::min(top.nodes + 1, PlistInputCheck::maxNodes + 1);
                m_state[top.index] = Black;
                stack.pop_back();
                continue;
            }
            const std::uint64_t child = readBigEndian(m_data + top.refsAt + top.next * m_refSize, m_refSize);
            if (child >= m_count)
                return objectText(top.index) + " refers to an object that does not exist";
            if (m_state[child] == Grey)
                return objectText(top.index) + " contains itself";
            if (m_state[child] == White) {
                if (stack.size() >= std::size_t(PlistInputCheck::maxDepth))
                    return depthRefusal();
                why = enter(child, stack); // may move the stack: `top` is not used again
                continue;
            }
            if (top.next < top.keyCount && !m_isString[child])
                return objectText(top.index) + " has a dictionary key that is not a string";
            top.height = std::max(top.height, m_height[child]);
            top.nodes = std::min(top.nodes + m_nodes[child], PlistInputCheck::maxNodes + 1);
            ++top.next;
        }
        if (!why.empty())
            return why;
        if (m_height[root] > PlistInputCheck::maxDepth)
            return depthRefusal();
        if (m_nodes[root] > PlistInputCheck::maxNodes)
            return "binary property list expands to more than " + std::to_string(PlistInputCheck::maxNodes) +
                   " values";
        return {};
    }

    static std::string depthRefusal()
    {
        return "property list is nested more than " + std::to_string(PlistInputCheck::maxDepth) +
               " levels deep";
    }

    // Checks one object's own bytes and puts it on the walk.
    std::string enter(std::uint64_t index, std::vector<Frame> &stack)
    {
        const std::uint64_t offset = readBigEndian(m_data + m_areaEnd + index * m_offsetSize, m_offsetSize);
        if (offset < kHeaderSize || offset >= m_areaEnd)
            return objectText(index) + " lies outside the object area";
        Frame frame;
        frame.index = index;
        std::uint64_t pos = offset;
        const unsigned char marker = m_data[pos++];
        const unsigned type = marker >> 4;
        const unsigned info = marker & 0x0F;

        std::uint64_t count = info;
        if (info == 0x0F && (type == Data || type == AsciiString || type == Utf16String || type == Array ||
                             type == Set || type == Dict)) {
            if (pos >= m_areaEnd || (m_data[pos] >> 4) != Integer || (m_data[pos] & 0x0F) > 3)
                return objectText(index) + " has an invalid length";
            const unsigned bytes = 1u << (m_data[pos] & 0x0F);
            ++pos;
            if (bytes > m_areaEnd - pos)
                return objectText(index) + " has its length outside the object area";
            count = readBigEndian(m_data + pos, bytes);
            pos += bytes;
        }
        const std::uint64_t room = m_areaEnd - pos;
        auto fits = [&](std::uint64_t bytes) { return bytes <= room; };
        const std::string outside = objectText(index) + " reaches past the object area";

        switch (type) {
        case Simple:
            if (info != 0x8 && info != 0x9)
                return objectText(index) + " is neither true nor false";
            break;
        case Integer:
            if (info > 4)
                return objectText(index) + " is an integer of invalid size";
            if (!fits(1u << info))
                return outside;
            break;
        case Real:
            if (info != 2 && info != 3)
                return objectText(index) + " is a real number of invalid size";
            if (!fits(1u << info))
                return outside;
            break;
        case Date:
            if (info != 3)
                return objectText(index) + " is a date of invalid size";
            if (!fits(8))
                return outside;
            if (!isPlausibleDate(m_data + pos))
                return objectText(index) + " is a date that is not a finite number of plausible size";
            break;
        case Data:
            if (!fits(count))
                return outside;
            break;
        case AsciiString:
            if (!fits(count))
                return outside;
            if (std::memchr(m_data + pos, 0, count))
                return objectText(index) + " is a text holding a NUL character";
            m_isString[index] = true;
            break;
        case Utf16String:
            if (count > room / 2)
                return outside;
            for (std::uint64_t i = 0; i < count; ++i) {
                if (m_data[pos + 2 * i] == 0 && m_data[pos + 2 * i + 1] == 0)
                    return objectText(index) + " is a text holding a NUL character";
            }
            m_isString[index] = true;
            break;
        case Uid:
            if (!fits(info + 1))
                return outside;
            break;
        case Array:
        case Set:
            if (count > room / m_refSize)
                return outside;
            frame.childCount = count;
            break;
        case Dict:
            if (count > room / m_refSize / 2)
                return outside;
            frame.childCount = 2 * count;
            frame.keyCount = count;
            break;
        default:
            return objectText(index) + " has an unknown type";
        }
        frame.refsAt = pos;
        m_state[index] = Grey;
        stack.push_back(frame);
        return {};
    }

    const unsigned char *m_data;
    std::size_t m_size;
    unsigned m_offsetSize = 0;
    unsigned m_refSize = 0;
    std::uint64_t m_count = 0;
    std::uint64_t m_areaEnd = 0;
    std::vector<State> m_state;
    std::vector<bool> m_isString;
    std::vector<int> m_height;
    std::vector<std::uint64_t> m_nodes;
};

bool startsWith(const char *p, const char *end, const char *text)
{
    const std::size_t n = std::strlen(text);
    return std::size_t(end - p) >= n && std::memcmp(p, text, n) == 0;
}

// Position just past the first `text` at or after `p`, or null when there is none.
const char *pastText(const char *p, const char *end, const char *text)
{
    const std::size_t n = std::strlen(text);
    for (; std::size_t(end - p) >= n; ++p) {
        if (std::memcmp(p, text, n) == 0)
            return p + n;
    }
    return nullptr;
}

// Position just past the '>' that ends a tag, skipping double-quoted text as libplist does; null when
// the tag never ends. `bracketed` also skips a [...] part (a document type's internal subset).
const char *pastTagEnd(const char *p, const char *end, bool bracketed)
{
    bool inQuotes = false;
    int brackets = 0;
    for (; p < end; ++p) {
        if (*p == '"')
            inQuotes = !inQuotes;
        else if (inQuotes)
            continue;
        else if (bracketed && *p == '[')
            ++brackets;
        else if (bracketed && *p == ']' && brackets > 0)
            --brackets;
        else if (*p == '>' && brackets == 0)
            return p + 1;
    }
    return nullptr;
}

} // namespace

std::string PlistInputCheck::refusal(const char *data, std::size_t size)
{
    if (!data || size == 0)
        return "property list is empty";
    // libplist takes a 32-bit length: a longer list would be parsed short, past what was checked.
    if (size > std::numeric_limits<uint32_t>::max())
        return "property list is larger than 4 GiB";
    if (size >= 6 && std::memcmp(data, "bplist", 6) == 0)
        return binaryRefusal(data, size);
    return xmlRefusal(data, size);
}

std::string PlistInputCheck::binaryRefusal(const char *data, std::size_t size)
{
    return BinaryWalk(reinterpret_cast<const unsigned char *>(data), size).run();
}

std::string PlistInputCheck::xmlRefusal(const char *data, std::size_t size)
{
    // libplist's XML reader does not recurse, but what it builds is copied and freed recursively; and
    // a NUL byte inside a text gives a node whose length runs past its text.
    if (std::memchr(data, 0, size))
        return "XML property list holds a NUL byte";
    const char *p = data;
    const char *const end = data + size;
    int depth = 0;
    while ((p = static_cast<const char *>(std::memchr(p, '<', std::size_t(end - p))))) {
        if (startsWith(p, end, "<!--")) {
            p = pastText(p + 4, end, "-->");
        } else if (startsWith(p, end, "<![CDATA[")) {
            p = pastText(p + 9, end, "]]>");
        } else if (startsWith(p, end, "<?")) {
            p = pastText(p + 2, end, "?>");
        } else if (startsWith(p, end, "<!")) {
            p = pastTagEnd(p + 2, end, true);
        } else if (startsWith(p, end, "</")) {
            depth = std::max(depth - 1, 0);
            p = pastTagEnd(p + 2, end, false);
        } else {
            const char *tagEnd = pastTagEnd(p + 1, end, false);
            if (tagEnd && tagEnd[-2] != '/' && ++depth > maxDepth)
                return "property list is nested more than " + std::to_string(maxDepth) + " levels deep";
            p = tagEnd;
        }
        // An unterminated construct: libplist refuses it on its own.
        if (!p)
            break;
    }
    return {};
}

std::string PlistInputCheck::parsedRefusal(plist_t root)
{
    std::vector<std::pair<plist_t, int>> pending;
    if (root)
        pending.emplace_back(root, 1);
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        if (depth > maxDepth)
            return "property list is nested more than " + std::to_string(maxDepth) + " levels deep";
        switch (plist_get_node_type(node)) {
        case PLIST_STRING: {
            uint64_t length = 0;
            const char *text = plist_get_string_ptr(node, &length);
            if (text && std::strlen(text) != length)
                return "property list holds a text with a NUL character";
            break;
        }
        case PLIST_ARRAY: {
            const uint32_t n = plist_array_get_size(node);
            for (uint32_t i = 0; i < n; ++i)
                pending.emplace_back(plist_array_get_item(node, i), depth + 1);
            break;
        }
        case PLIST_DICT: {
            plist_dict_iter iter = nullptr;
            plist_dict_new_iter(node, &iter);
            if (!iter)
                break;
            // Values only: asking for the key would read its length.
            for (;;) {
                plist_t value = nullptr;
                plist_dict_next_item(node, iter, nullptr, &value);
                if (!value)
                    break;
                pending.emplace_back(value, depth + 1);
            }
            std::free(iter);
            break;
        }
        default:
            break;
        }
    }
    return {};
}
