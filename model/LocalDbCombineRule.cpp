#include "LocalDbCombineRule.h"

#include "EntityType.h"
#include "EntryKeys.h"

const AbsContactCombineRule::Table &LocalDbCombineRule::table()
{
    using namespace pim;
    const QStringList value{ValueKey::Value};
    const QStringList typedValue{ValueKey::Value, ValueKey::SubType, ValueKey::Label};
    const QStringList photo{PhotoKey::Hash};
    const QStringList group{GroupKey::GroupId};
    const QStringList imAccount{ImKey::Account, ImKey::Protocol, ImKey::CustomProtocol};
    const QStringList im = imAccount + QStringList{ImKey::SubType, ImKey::Label};
    const QStringList note{NoteKey::Text};
    // Company, department and job title: an entry with only a job title is not empty.
    const QStringList org{OrgKey::Company, OrgKey::Department, OrgKey::JobTitle};
    const QStringList addrText{AddrKey::Formatted};
    // The parts, not the formatted text derived from them.
    const QStringList addr{AddrKey::Country, AddrKey::CountryCode, AddrKey::State,   AddrKey::City,
                           AddrKey::Street,  AddrKey::Postcode,    AddrKey::SubType, AddrKey::Label};

    // Names are the database's own business and have no row.
    static const Table keys = {
        // type, empty, min, full, merge, single
        {ENTITY_PHOTO, photo, photo, photo, {PhotoKey::Hash, PhotoKey::Image}, true},
        {ENTITY_PHONE, value, value, typedValue, typedValue, false},
        {ENTITY_EMAIL, value, value, typedValue, typedValue, false},
        // A contact may have several nicknames and organisations; each is kept whole, never
        // overlaid by another's values.
        {ENTITY_NICKNAME, value, value, value, typedValue, false},
        {ENTITY_EVENT, value, value, typedValue, typedValue, false},
        {ENTITY_GROUP, group, group, group, {GroupKey::GroupId, GroupKey::GroupName}, true},
        {ENTITY_IM, {ImKey::Account}, imAccount, im, im, false},
        {ENTITY_NOTE, note, note, note, note, false},
        {ENTITY_ORG, org, org, org, org + QStringList{OrgKey::SubType, OrgKey::Label}, false},
        {ENTITY_REL, value, value, typedValue, typedValue, false},
        {ENTITY_ADDR, addrText, addrText, addr, addrText + addr, false},
        {ENTITY_URL, value, value, typedValue, typedValue, false},
    };
    return keys;
}

LocalDbCombineRule::LocalDbCombineRule()
    : AbsContactCombineRule(table())
{}

LocalDbCombineRule::~LocalDbCombineRule() = default;
