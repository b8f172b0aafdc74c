#pragma once

#include "platform/idevice/MobileSyncClient.h"

#include <memory>

// The caller-owned record of one sync session's client. The caller makes it with no client on its own
// stack and passes it to every session function; mobiledevice_sync_start_throw fills `client`, no
// session function frees it. The client (and with it the device connection) is freed when the record
// goes away, or earlier with client.reset(), after a finished session and after an exception alike.
struct mobiledevice_sync_client
{
    std::unique_ptr<MobileSyncClient> client;
};
