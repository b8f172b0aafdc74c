#include "MergeTargetCache.h"

#include "platform/sqlite/Sqlite3DB.h"

void MergeTargetCache::forgetIfStale(const Sqlite3DB &db)
{
    if (!m_targets.empty() && !m_stamp.matches(db))
        clear();
}

MergeTarget *MergeTargetCache::find(const Sqlite3DB &db, unsigned long long id)
{
    forgetIfStale(db);
    // Merges of one batch into one contact in a row find it first in line.
    for (auto it = m_targets.begin(); it != m_targets.end(); ++it) {
        if (it->id() != id)
            continue;
        if (it != m_targets.begin()) {
            MergeTarget target = std::move(*it);
            m_targets.erase(it);
            m_targets.push_front(std::move(target));
        }
        return &m_targets.front();
    }
    return nullptr;
}

MergeTarget &MergeTargetCache::add(MergeTarget target)
{
    m_targets.push_front(std::move(target));
    if (m_targets.size() > kLimit)
        m_targets.pop_back();
    return m_targets.front();
}

void MergeTargetCache::merged(const Sqlite3DB &db)
{
    if (m_targets.empty() || !db.holdsTransaction() || !m_targets.front().canBeKept()) {
        clear();
        return;
    }
    // The targets kept before stay true: a merge writes only the rows of its own contact.
    m_stamp = ConnectionStamp::of(db);
}

void MergeTargetCache::clear()
{
    m_targets.clear();
    m_stamp = ConnectionStamp();
}
