#include "EntryIdentityIndex.h"

#include "AbsContactCombineRule.h"

#include <QMetaType>

#include <utility>

EntryIdentityIndex::EntryIdentityIndex(QStringList keys)
    : m_keys(std::move(keys))
{}

bool EntryIdentityIndex::isPlain(const pim::Entity &e) const
{
    for (const QString &key : m_keys) {
        const QVariant value = e.values.value(key);
        if (value.isValid() && value.typeId() != QMetaType::QString)
            return false;
    }
    return true;
}

QString EntryIdentityIndex::keyOf(const pim::Entity &e) const
{
    // An absent value equals only another absent one, never the empty text: it gets a mark of its
    // own. Texts carry their length, so that no text can pass for two.
    QString key;
    for (const QString &name : m_keys) {
        const QVariant value = e.values.value(name);
        if (!value.isValid()) {
            key += u'-';
            continue;
        }
        const QString text = value.toString();
        key += QString::number(text.size());
        key += u':';
        key += text;
    }
    return key;
}

bool EntryIdentityIndex::sameKey(const pim::Entity &a, const pim::Entity &b) const
{
    return isPlain(a) && isPlain(b) && keyOf(a) == keyOf(b);
}

void EntryIdentityIndex::hash(const pim::Entity &entry, qsizetype position) const
{
    if (!isPlain(entry)) {
        m_others.append(position);
        return;
    }
    // Of equal entries the first in list order is the one merged into.
    const QString key = keyOf(entry);
    if (!m_first.contains(key))
        m_first.insert(key, position);
}

void EntryIdentityIndex::append(const pim::Entity &entry)
{
    const qsizetype position = m_count++;
    if (m_hashed)
        hash(entry, position);
}

qsizetype EntryIdentityIndex::find(const QList<pim::Entity> &list, qsizetype base,
                                   const pim::Entity &in) const
{
    if (!m_hashed && m_count > kScanned) {
        for (qsizetype p = 0; p < m_count; ++p)
            hash(list.at(base + p), p);
        m_hashed = true;
    }
    if (!m_hashed || !isPlain(in)) {
        for (qsizetype p = 0; p < m_count; ++p) {
            if (AbsContactCombineRule::isEntityEqual(list.at(base + p), in, m_keys))
                return p;
        }
        return -1;
    }
    const qsizetype plain = m_first.value(keyOf(in), -1);
    for (const qsizetype p : std::as_const(m_others)) {
        if (plain >= 0 && p > plain)
            break;
        if (AbsContactCombineRule::isEntityEqual(list.at(base + p), in, m_keys))
            return p;
    }
    return plain;
}
