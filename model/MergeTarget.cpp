#include "MergeTarget.h"

#include "AbsContactCombineRule.h"
#include "EntityColumns.h"

namespace {

// Brought to the form a reader of the row gets, in place: the copy the merge appended is gone by
// then, so a row already in that form is kept without copying its values.
void toReadForm(int type, pim::Entity &row)
{
    if (const EntityColumns *columns = EntityColumns::forType(type))
        columns->toReadForm(row);
}

} // namespace

MergeTarget MergeTarget::fromStored(const pim::_Contact &stored)
{
    MergeTarget target;
    target.m_id = stored.id;
    target.m_contact = stored;
    target.m_srcId = stored.srcId;
    target.m_fullName = stored.fullName;
    return target;
}

MergeTarget MergeTarget::fromNew(unsigned long long id, const QString &srcId, const QString &fullName)
{
    MergeTarget target;
    target.m_id = id;
    target.m_contact.id = id;
    target.m_srcId = EntityColumns::textAsRead(srcId);
    target.m_fullName = EntityColumns::textAsRead(fullName);
    return target;
}

void MergeTarget::begin(pim::_Contact &out)
{
    settle();
    out = std::move(m_contact);
    m_contact = pim::_Contact();
}

MergeTarget::TypeState *MergeTarget::state(int type)
{
    for (auto &[tracked, st] : m_types) {
        if (tracked == type)
            return &st;
    }
    return nullptr;
}

void MergeTarget::track(int type, const QList<pim::Entity> &have)
{
    if (!state(type))
        m_types.emplace_back(type, TypeState{have.size(), {}, false, {}, {}, {}});
}

qsizetype MergeTarget::find(int type, const QList<pim::Entity> &have, const pim::Entity &in,
                            const QStringList &keys)
{
    track(type, have);
    TypeState &st = *state(type);
    if (!st.indexed || st.storedIndex.keys() != keys) {
        st.storedIndex = EntryIdentityIndex(keys);
        for (qsizetype i = 0; i < st.stored; ++i)
            st.storedIndex.append(have.at(i));
        st.indexed = true;
    }
    if (st.appendedIndex.keys() != keys || st.appendedIndex.count() != have.size() - st.stored) {
        st.appendedIndex = EntryIdentityIndex(keys);
        for (qsizetype i = st.stored; i < have.size(); ++i)
            st.appendedIndex.append(have.at(i));
    }
    // Stored entries come first in the list, so a stored match wins over an appended one.
    const qsizetype stored = st.storedIndex.find(have, 0, in);
    if (stored >= 0)
        return stored;
    const qsizetype appended = st.appendedIndex.find(have, st.stored, in);
    return appended >= 0 ? st.stored + appended : -1;
}

void MergeTarget::appended(int type, const QList<pim::Entity> &have)
{
    TypeState *const it = state(type);
    if (!it)
        return;
    // Kept step by step only while it follows the list; find() builds it again otherwise.
    if (it->appendedIndex.count() == have.size() - 1 - it->stored)
        it->appendedIndex.append(have.last());
}

void MergeTarget::rewritten(int type, const pim::Entity &row, qsizetype taken)
{
    TypeState *const it = state(type);
    // Only a stored entry carries a row id; any other rewrite is one the kept entries cannot show.
    if (!it || taken < 0 || taken >= it->stored) {
        m_keepable = false;
        return;
    }
    // Brought to the form a reader would get only if a later merge takes this contact again: most
    // targets are never taken again.
    it->rewritten.append({taken, row});
}

void MergeTarget::inserted(int type, const pim::Entity &row)
{
    TypeState *const it = state(type);
    if (!it) {
        m_keepable = false;
        return;
    }
    it->inserted.append(row);
}

void MergeTarget::end(const pim::_Contact &out)
{
    m_contact = out;
}

void MergeTarget::settle()
{
    m_contact.id = m_id;
    m_contact.srcId = m_srcId;
    m_contact.fullName = m_fullName;
    for (auto &[type, st] : m_types) {
        // A type the last merge looked at without adding to it (the name of a contact merged
        // again, say) holds what it held.
        if (st.rewritten.isEmpty() && st.inserted.isEmpty()) {
            const auto list = m_contact.entities.constFind(type);
            const qsizetype held = list == m_contact.entities.cend() ? 0 : list->size();
            // An empty list is dropped below, as a contact read back has none.
            if (held == st.stored && (held > 0 || list == m_contact.entities.cend())) {
                if (st.appendedIndex.count() != 0)
                    st.appendedIndex = EntryIdentityIndex(st.storedIndex.keys());
                continue;
            }
        }
        settleType(type, st);
    }
}

void MergeTarget::settleType(int type, TypeState &st)
{
    auto list = m_contact.entities.find(type);
    if (list == m_contact.entities.end())
        list = m_contact.entities.insert(type, {});
    // The copies appended by the last merge are not rows: the rows it wrote take their place.
    list->resize(st.stored);
    if (!st.rewritten.isEmpty())
        settleRewritten(type, st, *list);
    for (qsizetype i = 0; i < st.inserted.size(); ++i) {
        pim::Entity &row = st.inserted[i];
        toReadForm(type, row);
        list->append(std::move(row));
        if (st.indexed)
            st.storedIndex.append(list->last());
    }
    st.stored = list->size();
    st.inserted.clear();
    if (st.appendedIndex.count() != 0)
        st.appendedIndex = EntryIdentityIndex(st.storedIndex.keys());
    // A contact read from the database has no list for a type it holds no row of.
    if (list->isEmpty())
        m_contact.entities.erase(list);
}

void MergeTarget::settleRewritten(int type, TypeState &st, QList<pim::Entity> &list)
{
    // By index: walking an empty list for writing would allocate one.
    for (qsizetype i = 0; i < st.rewritten.size(); ++i) {
        auto &[position, row] = st.rewritten[i];
        toReadForm(type, row);
        if (st.indexed && !st.storedIndex.sameKey(list.at(position), row))
            st.indexed = false;
        list[position] = std::move(row);
    }
    st.rewritten.clear();
}
