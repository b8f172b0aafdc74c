#pragma once

#include "Entity.h"

#include <QList>
#include <QMap>
#include <QString>

namespace pim {

// One contact: a row of the contact table with its entries by entity type code.
class _Contact
{
public:
    _Contact();
    _Contact(unsigned long long id, QString srcId, QString fullName);

    // The entries of `type` in place, or an empty list when there are none. A loop over
    // entities.value(type) walks a copy instead, and a copy walked in a loop detaches: it copies the
    // whole list, or allocates one for a kind the contact lacks.
    const QList<pim::Entity> &entriesAt(int type) const;
    // The first entry of `type`, or null when there is none.
    const pim::Entity *firstAt(int type) const;

    unsigned long long id = 0;
    QString srcId;
    QString fullName;
    QMap<int, QList<pim::Entity>> entities;
};

inline const QList<pim::Entity> &_Contact::entriesAt(int type) const
{
    static const QList<pim::Entity> none;
    const auto it = entities.constFind(type);
    return it == entities.cend() ? none : *it;
}

inline const pim::Entity *_Contact::firstAt(int type) const
{
    const QList<pim::Entity> &list = entriesAt(type);
    return list.isEmpty() ? nullptr : &list.first();
}

} // namespace pim
