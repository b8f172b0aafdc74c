#pragma once

#include "AbsContactCombineRule.h"

// The rule of the local contact databases and of the Android databases.
class LocalDbCombineRule : public AbsContactCombineRule
{
public:
    LocalDbCombineRule();
    ~LocalDbCombineRule() override;
};
