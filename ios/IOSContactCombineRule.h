#pragma once

#include "model/AbsContactCombineRule.h"

// The merge rule of the iPhone databases (device caches and offline iPhone databases). Group
// memberships are never merged there, and a contact keeps a single note.
class IOSContactCombineRule : public AbsContactCombineRule
{
public:
    IOSContactCombineRule();
    ~IOSContactCombineRule() override;
};
