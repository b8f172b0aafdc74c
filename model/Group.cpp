#include "Group.h"

#include <utility>

namespace pim {

_Group::_Group() = default;

_Group::_Group(unsigned long long id, QString name)
    : id(id)
    , name(std::move(name))
{}

} // namespace pim
