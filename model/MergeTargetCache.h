#pragma once

#include "ConnectionStamp.h"
#include "MergeTarget.h"

#include <deque>
#include <optional>

class Sqlite3DB;

// The contacts that the last merges of an edit bracket wrote into, so that a merge into one of them
// again starts from what is known instead of reading the contact. Everything is forgotten as soon as
// anything but a merge wrote or undid rows on the connection, and with the bracket. Holds only the
// few most recent contacts: a batch of many names seldom comes back to an early one, and photos
// would otherwise pile up in memory.
class MergeTargetCache
{
public:
    // Forgets every target when anything but a merge wrote or undid rows since the last keep().
    // Called before a merge writes anything.
    void forgetIfStale(const Sqlite3DB &db);
    // The target kept for contact `id`, no longer kept; none when it is unknown or may be stale.
    std::optional<MergeTarget> take(const Sqlite3DB &db, unsigned long long id);
    // Keeps `target` after a merge into it, when the connection holds a transaction.
    void keep(const Sqlite3DB &db, MergeTarget target);
    void clear();

private:
    static constexpr std::size_t kLimit = 32;

    // Most recent first.
    std::deque<MergeTarget> m_targets;
    ConnectionStamp m_stamp;
};
