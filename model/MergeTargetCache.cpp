#include "MergeTargetCache.h"

#include "platform/sqlite/Sqlite3DB.h"

void MergeTargetCache::forgetIfStale(const Sqlite3DB &db)
{
    if (!m_targets.empty() && !m_stamp.matches(db))
        clear();
}

std::optional<MergeTarget> MergeTargetCache::take(const Sqlite3DB &db, unsigned long long id)
{
    forgetIfStale(db);
    for (auto it = m_targets.begin(); it != m_targets.end(); ++it) {
        if (it->id() == id) {
            MergeTarget target = std::move(*it);
            // Merges of one batch into one contact in a row find it first in line, where taking it
            // out costs least.
            if (it == m_targets.begin())
                m_targets.pop_front();
            else
                m_targets.erase(it);
            return target;
        }
    }
    return std::nullopt;
}

void MergeTargetCache::keep(const Sqlite3DB &db, MergeTarget target)
{
    if (!db.holdsTransaction() || !target.canBeKept()) {
        clear();
        return;
    }
    // The targets kept before stay true: a merge writes only the rows of its own contact.
    m_stamp = ConnectionStamp::of(db);
    m_targets.push_front(std::move(target));
    if (m_targets.size() > kLimit)
        m_targets.pop_back();
}

void MergeTargetCache::clear()
{
    m_targets.clear();
    m_stamp = ConnectionStamp();
}
