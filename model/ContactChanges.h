#pragma once

#include "Entity.h"

#include <utility>

// The change list of one edited contact, as the edit dialog produces it and the send-changes workers
// of the phones consume it. Kept free of widgets so the device libraries can take it; the edit dialog
// derives from it, so its kinds also read as EditContactForm::ACTION_ADDED and so on.
class ContactChanges
{
public:
    enum CHANGE_ACTION { ACTION_ADDED = 1, ACTION_UPDATED = 2, ACTION_DELETED = 3 };

    // One change: for ACTION_ADDED the new entry, for ACTION_UPDATED the edited entry with its row id
    // and srcId, for ACTION_DELETED the removed entry as stored.
    struct _ChangeData
    {
        _ChangeData(int type, CHANGE_ACTION action, pim::Entity entity)
            : type(type)
            , action(action)
            , entity(std::move(entity))
        {
        }

        int type;
        CHANGE_ACTION action;
        pim::Entity entity;
    };
};
