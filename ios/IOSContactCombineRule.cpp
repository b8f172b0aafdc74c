#include "IOSContactCombineRule.h"

#include "model/EntityType.h"
#include "model/EntryKeys.h"
#include "model/LocalDbCombineRule.h"

namespace {

// The local rule, but for what an iPhone keeps otherwise.
AbsContactCombineRule::Table makeIosTable()
{
    using namespace pim;
    AbsContactCombineRule::Table table = LocalDbCombineRule::table();
    // Group memberships are never merged into an iPhone database.
    table.removeIf([](const AbsContactCombineRule::TypeKeys &keys) { return keys.type == ENTITY_GROUP; });
    for (AbsContactCombineRule::TypeKeys &keys : table) {
        switch (keys.type) {
        case ENTITY_EVENT:
        case ENTITY_REL:
            // A birthday and an anniversary on the same date are two entries.
            keys.min = {ValueKey::Value, ValueKey::SubType};
            break;
        case ENTITY_IM:
            // An iPhone account has no custom protocol name.
            keys.min = {ImKey::Account, ImKey::Protocol};
            keys.full = keys.min + QStringList{ImKey::SubType, ImKey::Label};
            keys.merge = keys.full;
            break;
        case ENTITY_NOTE:
            keys.single = true;
            break;
        case ENTITY_NICKNAME:
            // An iPhone contact has one nickname and one organisation, without types.
            keys.merge = {ValueKey::Value};
            keys.single = true;
            break;
        case ENTITY_ORG:
            keys.merge = keys.full;
            keys.single = true;
            break;
        default:
            break;
        }
    }
    return table;
}

const AbsContactCombineRule::Table &iosTable()
{
    static const AbsContactCombineRule::Table table = makeIosTable();
    return table;
}

} // namespace

IOSContactCombineRule::IOSContactCombineRule()
    : AbsContactCombineRule(iosTable())
{}

IOSContactCombineRule::~IOSContactCombineRule() = default;
