#pragma once

#include "AbsContactCombineRule.h"

// The rule of the local contact databases and of the Android databases.
class LocalDbCombineRule : public AbsContactCombineRule
{
public:
    ~LocalDbCombineRule() override;

    QStringList checkEmptyFields(int type) override;
    QStringList checkEqualFieldsMin(int type) override;
    QStringList checkEqualFieldsFull(int type) override;
    QStringList validFields(int type, bool &single) override;
};
