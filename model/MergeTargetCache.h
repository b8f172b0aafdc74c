#pragma once

#include "ConnectionStamp.h"
#include "MergeTarget.h"

#include <deque>

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
    // The target kept for contact `id`, first in line from now on; null when it is unknown or may
    // be stale. A merge works on it where it is kept: moving a target out and back in costs a merge
    // that writes one row about as much as half of what it does beyond SQLite.
    MergeTarget *find(const Sqlite3DB &db, unsigned long long id);
    // Keeps `target` first in line, for the merge about to write into it.
    MergeTarget &add(MergeTarget target);
    // The merge into the target first in line succeeded: it stays kept while the connection holds a
    // transaction and the target can follow the rows written. A merge that fails instead calls
    // clear(), since it may have left its target half-way.
    void merged(const Sqlite3DB &db);
    void clear();

private:
    static constexpr std::size_t kLimit = 32;

    // Most recent first.
    std::deque<MergeTarget> m_targets;
    ConnectionStamp m_stamp;
};
