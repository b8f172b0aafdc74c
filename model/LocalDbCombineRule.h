#pragma once

#include "AbsContactCombineRule.h"

// The rule of the local contact databases and of the Android databases.
class LocalDbCombineRule : public AbsContactCombineRule
{
public:
    LocalDbCombineRule();
    ~LocalDbCombineRule() override;

    // The rule's keys per entry type; other rules may start from it.
    static const Table &table();
};
