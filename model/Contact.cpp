#include "Contact.h"

#include <utility>

namespace pim {

_Contact::_Contact() = default;

_Contact::_Contact(unsigned long long id, QString srcId, QString fullName)
    : id(id)
    , srcId(std::move(srcId))
    , fullName(std::move(fullName))
{}

} // namespace pim
