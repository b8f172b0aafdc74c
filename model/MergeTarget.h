#pragma once

#include "Contact.h"
#include "Entity.h"
#include "EntryIdentityIndex.h"

#include <QList>
#include <QPair>
#include <QString>

#include <utility>
#include <vector>

// The stored contact that merges write into, as merging knows it between two merges of one edit
// bracket: the contact handed out as `out` by the last merge (its entries as read when that merge
// began, with the unsaved copies it appended) and the rows that merge wrote beyond it. The next
// merge into the same contact brings the entries up to the rows held, in place, and so needs
// neither to read the contact again nor to scan its entries for each incoming one.
class MergeTarget
{
public:
    // A contact as LocalDb::contact() read it.
    static MergeTarget fromStored(const pim::_Contact &stored);
    // A contact row just written, with no entries yet.
    static MergeTarget fromNew(unsigned long long id, const QString &srcId, const QString &fullName);

    unsigned long long id() const { return m_id; }
    // False once a merge wrote a row that the kept entries cannot follow; such a target is not kept.
    bool canBeKept() const { return m_keepable; }

    // Starts a merge: `out` becomes the contact with the entries the database holds.
    void begin(pim::_Contact &out);
    // Before the merge changes the entries of `type` in `out` (`have`) for the first time.
    void track(int type, const QList<pim::Entity> &have);
    // Position in `have` (the entries of `type` in `out`) of the first entry equal to `in` on `keys`,
    // or -1: the stored entries first, then the ones appended during this merge.
    qsizetype find(int type, const QList<pim::Entity> &have, const pim::Entity &in, const QStringList &keys);
    // `have` gained, at its end, an unsaved copy.
    void appended(int type, const QList<pim::Entity> &have);
    // The merge wrote `row` (with its row id): a rewrite of the entry at `taken` in the entries of
    // `type`, or a new row.
    void rewritten(int type, const pim::Entity &row, qsizetype taken);
    void inserted(int type, const pim::Entity &row);
    // Ends the merge that handed out `out`.
    void end(const pim::_Contact &out);

private:
    struct TypeState
    {
        // Entries of the type the database held when the merge began: the first ones of `have`.
        qsizetype stored = 0;
        // Over the stored entries, while `indexed`.
        EntryIdentityIndex storedIndex;
        bool indexed = false;
        // Over the entries appended during this merge, after the stored ones.
        EntryIdentityIndex appendedIndex;
        QList<QPair<qsizetype, pim::Entity>> rewritten;
        QList<pim::Entity> inserted;
    };

    void settle();
    // Kept out of settle(): most types of a merge are left alone, and the code for those that are
    // not would otherwise be fetched on every merge.
    Q_NEVER_INLINE void settleType(int type, TypeState &st);
    Q_NEVER_INLINE void settleRewritten(int type, TypeState &st, QList<pim::Entity> &list);
    // The state of `type`, null while the merge has not tracked it.
    TypeState *state(int type);

    unsigned long long m_id = 0;
    pim::_Contact m_contact;
    QString m_srcId;
    QString m_fullName;
    // A contact has entries of a handful of kinds: a short list searched in order costs less to
    // make, search and free than a hash.
    std::vector<std::pair<int, TypeState>> m_types;
    bool m_keepable = true;
};
