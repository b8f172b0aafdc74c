#pragma once

#include "Entity.h"

#include <QStringList>
#include <QVariant>

#include <array>

// Which column keys of an entry decide, per entity type, emptiness, identity, full equality and
// merging. Every database object holds one rule; rules hold no state. A rule is a table of the
// keys per type, walked here; a further rule is one more table.
class AbsContactCombineRule
{
public:
    // The keys that judge the entries of one entity type.
    struct TypeKeys
    {
        int type;
        // All of them empty text: the entry is empty.
        QStringList empty;
        // A stored entry equal on these is the same entry as an incoming one.
        QStringList min;
        // An edited entry equal on these to its unedited twin is unchanged.
        QStringList full;
        // What a merge compares and copies; empty: never merged.
        QStringList merge;
        // A contact keeps a single entry of the type.
        bool single;
    };
    using Table = QList<TypeKeys>;

    virtual ~AbsContactCombineRule();

    // Keys whose values all being empty text make an entry of the type empty.
    virtual QStringList checkEmptyFields(int type);
    // Keys on which a stored entry must equal an incoming one to be the same entry.
    virtual QStringList checkEqualFieldsMin(int type);
    // Keys on which an edited entry must equal its unedited twin to count as unchanged.
    virtual QStringList checkEqualFieldsFull(int type);
    // Keys a merge compares and copies (empty: never merged); `single` tells whether a contact
    // keeps one entry of the type. Always writes `single`.
    virtual QStringList validFields(int type, bool &single);

    // True when a and b hold equal values (variantEquals, a's value on the left) under every key.
    static bool isEntityEqual(const pim::Entity &a, const pim::Entity &b, QStringList keys);
    // True when the value of e under every key reads as empty text.
    static bool isEntityEmpty(const pim::Entity &e, QStringList keys);

    // Equality of two entry values: an absent value equals only another absent value (never the
    // empty text); values of one kind compare as that kind; otherwise the right value is converted
    // to the kind of the left one, so an integer equals the text of its decimal form.
    static bool variantEquals(const QVariant &left, const QVariant &right);

protected:
    // `table` outlives the rule (a rule class keeps its table in a static); a type without a row
    // has no keys at all.
    explicit AbsContactCombineRule(const Table &table);

private:
    const TypeKeys &keysOf(int type) const;

    const Table &m_table;
    // Row of each type code in the table (-1: none), for the codes a table can hold: every entry a
    // merge looks at asks for its type's keys, and a search of the table touches a line of memory
    // per row it passes.
    std::array<int, 32> m_rowOf;
};
