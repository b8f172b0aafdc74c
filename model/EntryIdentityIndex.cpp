#include "EntryIdentityIndex.h"

#include "AbsContactCombineRule.h"

#include <QMetaType>

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
    for (const QString &key : m_keys) {
        const QVariant &value = e.valueAt(key);
        if (value.isValid() && !pim::textIn(value))
            return false;
    }
    return true;
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
    for (auto it = m_first.constFind(h); it != m_first.cend() && it.key() == h; ++it) {
        if (AbsContactCombineRule::isEntityEqual(list.at(base + it.value()), entry, m_keys))
            return;
    }
    m_first.insert(h, position);
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
    if (m_hashed) {
        for (; m_indexed < m_count; ++m_indexed)
            hash(list.at(base + m_indexed), m_indexed, list, base);
    }
    size_t h = 0;
    if (!m_hashed || !plainHash(in, h)) {
        for (qsizetype p = 0; p < m_count; ++p) {
            if (AbsContactCombineRule::isEntityEqual(list.at(base + p), in, m_keys))
                return p;
        }
        return -1;
    }
    qsizetype plain = -1;
    for (auto it = m_first.constFind(h); it != m_first.cend() && it.key() == h; ++it) {
        if (AbsContactCombineRule::isEntityEqual(list.at(base + it.value()), in, m_keys)) {
            plain = it.value();
            break;
        }
    }
    for (const qsizetype p : std::as_const(m_others)) {
        if (plain >= 0 && p > plain)
            break;
        if (AbsContactCombineRule::isEntityEqual(list.at(base + p), in, m_keys))
            return p;
    }
    return plain;
}
