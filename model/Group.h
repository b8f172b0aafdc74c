#pragma once

#include <QString>

namespace pim {

// One contact group of one database.
class _Group
{
public:
    _Group();
    _Group(unsigned long long id, QString name);

    unsigned long long id = 0;
    QString name;
};

} // namespace pim
