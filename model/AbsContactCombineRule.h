#pragma once

#include "Entity.h"

#include <QStringList>
#include <QVariant>

// Which column keys of an entry decide, per entity type, emptiness, identity, full equality and
// merging. Every database object holds one rule; rules hold no state.
class AbsContactCombineRule
{
public:
    virtual ~AbsContactCombineRule();

    // Keys whose values all being empty text make an entry of the type empty.
    virtual QStringList checkEmptyFields(int type) = 0;
    // Keys on which a stored entry must equal an incoming one to be the same entry.
    virtual QStringList checkEqualFieldsMin(int type) = 0;
    // Keys on which an edited entry must equal its unedited twin to count as unchanged.
    virtual QStringList checkEqualFieldsFull(int type) = 0;
    // Keys a merge compares and copies (empty: never merged); `single` tells whether a contact
    // keeps one entry of the type. Always writes `single`.
    virtual QStringList validFields(int type, bool &single) = 0;

    // True when a and b hold equal values (variantEquals, a's value on the left) under every key.
    static bool isEntityEqual(const pim::Entity &a, const pim::Entity &b, QStringList keys);
    // True when the value of e under every key reads as empty text.
    static bool isEntityEmpty(const pim::Entity &e, QStringList keys);

    // Equality of two entry values: an absent value equals only another absent value (never the
    // empty text); values of one kind compare as that kind; otherwise the right value is converted
    // to the kind of the left one, so an integer equals the text of its decimal form.
    static bool variantEquals(const QVariant &left, const QVariant &right);
};
