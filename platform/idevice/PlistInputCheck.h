#pragma once

#include <plist/plist.h>

#include <cstddef>
#include <cstdint>
#include <string>

// Checks the bytes of a property list that came from a phone or a file before libplist parses them.
//
// libplist 2.2 trusts what it parses in ways a hostile sender can exploit: a UTF-16 string holding
// U+0000 keeps a length longer than its text, and every later read of it fails an assertion (which
// aborts the program) or reads past its buffer; a date's seconds are narrowed to 32 bits, so NaN
// or 1e300 end in undefined behaviour; and copying or freeing a deeply nested tree recurses once per
// level until the stack runs out. None of that can be mended once the tree exists, so the bytes are
// refused first. The check never recurses and looks at each object once: it runs over every batch.
class PlistInputCheck
{
public:
    // Containers inside containers, counted from the root (which is level 1). Real messages nest a
    // handful of levels; the limit leaves the parser, copier and freer of libplist, which all
    // recurse, far from the end of any thread's stack.
    static constexpr int maxDepth = 512;
    // Nodes the parsed tree may hold. A binary property list may name one object from many places,
    // and libplist gives every place its own copy, so a few hundred bytes could expand to billions
    // of nodes.
    static constexpr std::uint64_t maxNodes = std::uint64_t(1) << 22;

    // Empty when libplist may parse the bytes; otherwise why not, in plain English. Bytes starting
    // with "bplist" are checked as a binary property list, all others as XML.
    static std::string refusal(const char *data, std::size_t size);
    static std::string binaryRefusal(const char *data, std::size_t size);
    static std::string xmlRefusal(const char *data, std::size_t size);

    // For a tree that the device library parsed and copied before this program saw it (lockdown
    // values): empty when every string in it is whole, otherwise why not. A copy keeps the length of
    // a string cut short at a NUL character, so such a string is the sign of a damaged original.
    // Dictionary keys cannot be checked without libplist's assertion, so such trees are read by key
    // lookup only, which compares texts and never reads a key's length.
    static std::string parsedRefusal(plist_t node);
};
