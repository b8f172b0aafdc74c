#pragma once

#include <plist/plist.h>

#include <optional>

// A date node's value at full range and precision: seconds since 2001-01-01 00:00:00 UTC, as a
// double. libplist 2.2's getter and constructor take 32-bit seconds, which reach from 1932 to 2069
// only (a birthday of 1925, or the year 1604 that phones give a birthday without a year, comes back
// as 1932); the node itself keeps a double, and its binary form carries all 8 bytes of it, so both
// directions go through that form.
class PlistDate
{
public:
    // The seconds of a date node; nothing for any other node.
    static std::optional<double> seconds(plist_t node);
    // A new date node (owned by the caller); null for NaN and infinities.
    static plist_t newNode(double seconds);
};
