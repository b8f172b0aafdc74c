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

    unsigned long long id = 0;
    QString srcId;
    QString fullName;
    QMap<int, QList<pim::Entity>> entities;
};

} // namespace pim
