#include "EntryIdentityIndex.h"

#include "AbsContactCombineRule.h"

#include <QHashFunctions>
#include <QMetaType>

#include <algorithm>

#include <utility>

EntryIdentityIndex::EntryIdentityIndex(QStringList keys)
    : m_keys(std::move(keys))
{}

// Values are looked at in place, each once: every incoming entry of a merge is hashed, and so is
// every stored one the first time it is looked up.
bool EntryIdentityIndex::plainHash(const pim::Entity &e, size_t &seed) const
{
    // An absent value equals only another absent one, never the empty text: it hashes apart.
    seed = 0;
    for (const QString &name : m_keys) {
        const QVariant &value = e.valueAt(name);
        if (!value.isValid()) {
            seed = qHashMulti(seed, 0);
        } else if (const QString *text = pim::textIn(value)) {
            seed = qHashMulti(seed, 1, *text);
        } else {
            return false;
        }
    }
    return true;
}

bool EntryIdentityIndex::isPlain(const pim::Entity &e) const
{
    size_t ignored = 0;
    return plainHash(e, ignored);
}

bool EntryIdentityIndex::sameKey(const pim::Entity &a, const pim::Entity &b) const
{
    return isPlain(a) && isPlain(b) && AbsContactCombineRule::isEntityEqual(a, b, m_keys);
}

void EntryIdentityIndex::hash(const pim::Entity &entry, qsizetype position, const QList<pim::Entity> &list,
                              qsizetype base) const
{
    size_t h = 0;
    if (!plainHash(entry, h)) {
        m_others.append(position);
        return;
    }
    // Of equal entries the first in list order is the one merged into.
    if (firstWith(h, list, base, entry) < 0)
        place(h, position);
}

qsizetype EntryIdentityIndex::firstWith(size_t h, const QList<pim::Entity> &list, qsizetype base,
                                        const pim::Entity &e) const
{
    if (m_slots.empty())
        return -1;
    const size_t mask = m_slots.size() - 1;
    for (size_t i = h & mask; m_slots[i].position >= 0; i = (i + 1) & mask) {
        const Slot &slot = m_slots[i];
        if (slot.hash == h && AbsContactCombineRule::isEntityEqual(list.at(base + slot.position), e, m_keys))
            return slot.position;
    }
    return -1;
}

void EntryIdentityIndex::place(size_t h, qsizetype position) const
{
    // Kept at most half full, so that a probe ends at a free slot within a few steps.
    if (2 * (m_placed + 1) > m_slots.size()) {
        std::vector<Slot> old(std::max<size_t>(16, 2 * m_slots.size()));
        old.swap(m_slots);
        m_placed = 0;
        for (const Slot &slot : old) {
            if (slot.position >= 0)
                place(slot.hash, slot.position);
        }
    }
    const size_t mask = m_slots.size() - 1;
    size_t i = h & mask;
    while (m_slots[i].position >= 0)
        i = (i + 1) & mask;
    m_slots[i] = {h, position};
    ++m_placed;
}

void EntryIdentityIndex::append(const pim::Entity &entry)
{
    ++m_count;
    // Hashed on the next look-up, which has the list.
    Q_UNUSED(entry)
}

qsizetype EntryIdentityIndex::find(const QList<pim::Entity> &list, qsizetype base,
                                   const pim::Entity &in) const
{
    if (!m_hashed && m_count > kScanned)
        m_hashed = true;
    size_t h = 0;
    const bool plain = m_hashed && plainHash(in, h);
    // The slot the incoming entry hashes to is far from the last one looked at in a large table:
    // fetched while the entries added since are placed, it is there when it is read.
    if (plain && !m_slots.empty())
        __builtin_prefetch(&m_slots[h & (m_slots.size() - 1)]);
    if (m_hashed) {
        for (; m_indexed < m_count; ++m_indexed)
            hash(list.at(base + m_indexed), m_indexed, list, base);
    }
    if (!plain) {
        for (qsizetype p = 0; p < m_count; ++p) {
            if (AbsContactCombineRule::isEntityEqual(list.at(base + p), in, m_keys))
                return p;
        }
        return -1;
    }
    const qsizetype first = firstWith(h, list, base, in);
    for (const qsizetype p : std::as_const(m_others)) {
        if (first >= 0 && p > first)
            break;
        if (AbsContactCombineRule::isEntityEqual(list.at(base + p), in, m_keys))
            return p;
    }
    return first;
}
