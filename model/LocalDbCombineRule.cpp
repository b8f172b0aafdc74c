#include "LocalDbCombineRule.h"

#include "EntityType.h"

LocalDbCombineRule::~LocalDbCombineRule() = default;

QStringList LocalDbCombineRule::checkEmptyFields(int type)
{
    switch (type) {
    case pim::ENTITY_PHOTO:
        return {QStringLiteral("data4")};
    case pim::ENTITY_ORG:
        return {QStringLiteral("data1"), QStringLiteral("data5"), QStringLiteral("data4")};
    case pim::ENTITY_PHONE:
    case pim::ENTITY_EMAIL:
    case pim::ENTITY_NICKNAME:
    case pim::ENTITY_EVENT:
    case pim::ENTITY_GROUP:
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

QStringList LocalDbCombineRule::checkEqualFieldsMin(int type)
{
    switch (type) {
    case pim::ENTITY_IM:
        return {QStringLiteral("data1"), QStringLiteral("data5"), QStringLiteral("data6")};
    default:
        // Identity is decided by the same keys as emptiness for every other type.
        return checkEmptyFields(type);
    }
}

QStringList LocalDbCombineRule::checkEqualFieldsFull(int type)
{
    switch (type) {
    case pim::ENTITY_PHONE:
    case pim::ENTITY_EMAIL:
    case pim::ENTITY_EVENT:
    case pim::ENTITY_REL:
    case pim::ENTITY_URL:
        return {QStringLiteral("data1"), QStringLiteral("data2"), QStringLiteral("data3")};
    case pim::ENTITY_IM:
        return {QStringLiteral("data1"), QStringLiteral("data5"), QStringLiteral("data6"),
                QStringLiteral("data2"), QStringLiteral("data3")};
    case pim::ENTITY_ADDR:
        return {QStringLiteral("data10"), QStringLiteral("data11"), QStringLiteral("data8"),
                QStringLiteral("data7"),  QStringLiteral("data4"),  QStringLiteral("data9"),
                QStringLiteral("data2"),  QStringLiteral("data3")};
    default:
        return checkEqualFieldsMin(type);
    }
}

QStringList LocalDbCombineRule::validFields(int type, bool &single)
{
    single = false;
    switch (type) {
    case pim::ENTITY_PHOTO:
        single = true;
        return {QStringLiteral("data4"), QStringLiteral("data15")};
    case pim::ENTITY_NICKNAME:
    case pim::ENTITY_ORG:
        single = true;
        return checkEqualFieldsFull(type);
    case pim::ENTITY_GROUP:
        single = true;
        return {QStringLiteral("data1"), QStringLiteral("data2")};
    case pim::ENTITY_ADDR:
        return QStringList{QStringLiteral("data1")} + checkEqualFieldsFull(type);
    default:
        return checkEqualFieldsFull(type);
    }
}
