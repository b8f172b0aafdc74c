#include "IOSContactCombineRule.h"

#include "model/EntityType.h"

IOSContactCombineRule::~IOSContactCombineRule() = default;

QStringList IOSContactCombineRule::checkEmptyFields(int type)
{
    switch (type) {
    case pim::ENTITY_PHOTO:
        return {QStringLiteral("data4")};
    case pim::ENTITY_ORG:
        // Company, department and job title: an entry with only a job title is not empty.
        return {QStringLiteral("data1"), QStringLiteral("data5"), QStringLiteral("data4")};
    case pim::ENTITY_PHONE:
    case pim::ENTITY_EMAIL:
    case pim::ENTITY_NICKNAME:
    case pim::ENTITY_EVENT:
    case pim::ENTITY_IM:
    case pim::ENTITY_NOTE:
    case pim::ENTITY_REL:
    case pim::ENTITY_ADDR:
    case pim::ENTITY_URL:
        return {QStringLiteral("data1")};
    default:
        return {};
    }
}

QStringList IOSContactCombineRule::checkEqualFieldsMin(int type)
{
    switch (type) {
    case pim::ENTITY_EVENT:
    case pim::ENTITY_REL:
        // A birthday and an anniversary on the same date are two entries.
        return {QStringLiteral("data1"), QStringLiteral("data2")};
    case pim::ENTITY_IM:
        return {QStringLiteral("data1"), QStringLiteral("data5")};
    default:
        return checkEmptyFields(type);
    }
}

QStringList IOSContactCombineRule::checkEqualFieldsFull(int type)
{
    switch (type) {
    case pim::ENTITY_PHONE:
    case pim::ENTITY_EMAIL:
    case pim::ENTITY_EVENT:
    case pim::ENTITY_REL:
    case pim::ENTITY_URL:
        return {QStringLiteral("data1"), QStringLiteral("data2"), QStringLiteral("data3")};
    case pim::ENTITY_IM:
        return {QStringLiteral("data1"), QStringLiteral("data5"), QStringLiteral("data2"),
                QStringLiteral("data3")};
    case pim::ENTITY_ADDR:
        // The parts, not the formatted text derived from them.
        return {QStringLiteral("data10"), QStringLiteral("data11"), QStringLiteral("data8"),
                QStringLiteral("data7"),  QStringLiteral("data4"),  QStringLiteral("data9"),
                QStringLiteral("data2"),  QStringLiteral("data3")};
    default:
        return checkEmptyFields(type);
    }
}

QStringList IOSContactCombineRule::validFields(int type, bool &single)
{
    single = false;
    switch (type) {
    case pim::ENTITY_PHOTO:
        single = true;
        return {QStringLiteral("data4"), QStringLiteral("data15")};
    case pim::ENTITY_NICKNAME:
    case pim::ENTITY_NOTE:
    case pim::ENTITY_ORG:
        single = true;
        return checkEqualFieldsFull(type);
    case pim::ENTITY_ADDR:
        return QStringList{QStringLiteral("data1")} + checkEqualFieldsFull(type);
    default:
        return checkEqualFieldsFull(type);
    }
}
