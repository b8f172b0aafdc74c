#pragma once

namespace pim {

// Entity type codes: the key of _Contact::entities and the `type` column of the data table.
enum ENTITY_TYPE {
    ENTITY_NAME = 1,
    ENTITY_PHOTO = 2,
    ENTITY_PHONE = 3,
    ENTITY_EMAIL = 4,
    ENTITY_NICKNAME = 5,
    ENTITY_EVENT = 6,
    ENTITY_GROUP = 7,
    ENTITY_IM = 8,
    ENTITY_NOTE = 9,
    ENTITY_ORG = 10,
    ENTITY_REL = 11,
    ENTITY_ADDR = 12,
    ENTITY_URL = 13,
};

} // namespace pim
