#pragma once

#include "Entity.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

// Finds, in a list of entries that only grows at its end, the first entry equal to an incoming one
// on a set of keys, exactly as AbsContactCombineRule::isEntityEqual judges. Where both sides hold
// only texts (or nothing) under the keys, that equality is equality of the texts, and a hash of them
// finds it; an entry holding a value of another kind (a number, a date) is compared one by one, in
// list order, as before.
//
// Most contacts hold one or two entries of a kind: while the list is that short, the entries are
// compared one by one and no hash is built, since making and freeing one costs more than the
// comparisons it saves. The hash is built from the list itself once it grows longer.
class EntryIdentityIndex
{
public:
    EntryIdentityIndex() = default;
    explicit EntryIdentityIndex(QStringList keys);

    const QStringList &keys() const { return m_keys; }
    // Entries indexed so far; they stand at positions 0 to count() - 1.
    qsizetype count() const { return m_count; }

    // Indexes `entry` as the one at position count().
    void append(const pim::Entity &entry);

    // True when `a` and `b` are indexed under one key, so that either may stand in for the other.
    bool sameKey(const pim::Entity &a, const pim::Entity &b) const;

    // Position of the first indexed entry equal to `in` on the keys, or -1. The entry at position
    // p is list[base + p], an entry equal on the keys to the one indexed there.
    qsizetype find(const QList<pim::Entity> &list, qsizetype base, const pim::Entity &in) const;

private:
    // Lists up to this long are compared entry by entry.
    static constexpr qsizetype kScanned = 8;

    // False when a value under the keys is neither absent nor a text.
    bool isPlain(const pim::Entity &e) const;
    // False when `e` is not plain; otherwise sets `seed` to a hash of the values under the keys,
    // equal for plain entries that are equal.
    bool plainHash(const pim::Entity &e, size_t &seed) const;
    // Puts `entry`, the one at `position` (list[base + position]), into the hash.
    void hash(const pim::Entity &entry, qsizetype position, const QList<pim::Entity> &list,
              qsizetype base) const;

    QStringList m_keys;
    qsizetype m_count = 0;
    // Built on the first look-up in a list longer than kScanned, and kept up from then on.
    mutable bool m_hashed = false;
    // Entries hashed so far, the first ones.
    mutable qsizetype m_indexed = 0;
    // Position of the first indexed entry equal on the keys to `e` among those placed under hash
    // `h`, or -1.
    qsizetype firstWith(size_t h, const QList<pim::Entity> &list, qsizetype base, const pim::Entity &e) const;
    // Places the entry at `position` under hash `h`.
    void place(size_t h, qsizetype position) const;

    struct Slot
    {
        size_t hash = 0;
        // -1: free.
        qsizetype position = -1;
    };
    // The first position of each distinct plain entry, under its hash: an open table probed in
    // line, one array and no allocation per entry, since a merge into a contact of thousands of
    // entries looks one up and places one for every incoming entry.
    mutable std::vector<Slot> m_slots;
    mutable size_t m_placed = 0;
    // Positions of the entries that are not plain, ascending.
    mutable QList<qsizetype> m_others;
};
