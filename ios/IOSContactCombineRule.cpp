#include "IOSContactCombineRule.h"

#include "model/EntityType.h"
#include "model/EntryKeys.h"

namespace {

const AbsContactCombineRule::Table &iosTable()
{
    using namespace pim;
    const QStringList value{ValueKey::Value};
    // A birthday and an anniversary on the same date are two entries.
    const QStringList datedValue{ValueKey::Value, ValueKey::SubType};
    const QStringList typedValue{ValueKey::Value, ValueKey::SubType, ValueKey::Label};
    const QStringList photo{PhotoKey::Hash};
    const QStringList imAccount{ImKey::Account, ImKey::Protocol};
    const QStringList im = imAccount + QStringList{ImKey::SubType, ImKey::Label};
    const QStringList note{NoteKey::Text};
    // Company, department and job title: an entry with only a job title is not empty.
    const QStringList org{OrgKey::Company, OrgKey::Department, OrgKey::JobTitle};
    const QStringList addrText{AddrKey::Formatted};
    // The parts, not the formatted text derived from them.
    const QStringList addr{AddrKey::Country, AddrKey::CountryCode, AddrKey::State,   AddrKey::City,
                           AddrKey::Street,  AddrKey::Postcode,    AddrKey::SubType, AddrKey::Label};

    // Names are the database's own business, and group memberships are not kept: neither has a row.
    static const AbsContactCombineRule::Table table = {
        // type, empty, min, full, merge, single
        {ENTITY_PHOTO, photo, photo, photo, {PhotoKey::Hash, PhotoKey::Image}, true},
        {ENTITY_PHONE, value, value, typedValue, typedValue, false},
        {ENTITY_EMAIL, value, value, typedValue, typedValue, false},
        {ENTITY_NICKNAME, value, value, value, value, true},
        {ENTITY_EVENT, value, datedValue, typedValue, typedValue, false},
        {ENTITY_IM, {ImKey::Account}, imAccount, im, im, false},
        {ENTITY_NOTE, note, note, note, note, true},
        {ENTITY_ORG, org, org, org, org, true},
        {ENTITY_REL, value, datedValue, typedValue, typedValue, false},
        {ENTITY_ADDR, addrText, addrText, addr, addrText + addr, false},
        {ENTITY_URL, value, value, typedValue, typedValue, false},
    };
    return table;
}

} // namespace

IOSContactCombineRule::IOSContactCombineRule()
    : AbsContactCombineRule(iosTable())
{}

IOSContactCombineRule::~IOSContactCombineRule() = default;
