// The contact-sync client against a phone whose every byte is the input: the client reads the
// framed messages of a whole session from it (version exchange, start, record batches, the turn
// towards the phone, remapping, finish) and must end each step with a code, never a crash.
#include "platform/idevice/MobileSyncClient.h"
#include "tests/common/ScriptedServiceChannel.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::unique_ptr<MobileSyncClient> client;
    if (MobileSyncClient::connect(std::make_unique<tarnwick::test::ScriptedServiceChannel>(data, size),
                                  client) != MOBILESYNC_E_SUCCESS)
        return 0;
    mobilesync_sync_type_t type = MOBILESYNC_SYNC_TYPE_SLOW;
    uint64_t version = 0;
    std::string reason;
    if (client->start("com.apple.Contacts", nullptr, "2026-01-01T00:00:00", 106, &type, &version, &reason) !=
        MOBILESYNC_E_SUCCESS)
        return 0;
    if (client->getAllRecordsFromDevice() != MOBILESYNC_E_SUCCESS)
        return 0;
    for (bool last = false; !last;) {
        UniquePlist entities;
        UniquePlist actions;
        if (client->receiveChanges(&entities, &last, &actions) != MOBILESYNC_E_SUCCESS)
            return 0;
        if (client->acknowledgeChangesFromDevice() != MOBILESYNC_E_SUCCESS)
            return 0;
    }
    if (client->readyToSendChangesFromComputerNoCheck() != MOBILESYNC_E_SUCCESS)
        return 0;
    UniquePlist changes(plist_new_dict());
    plist_dict_set_item(changes.get(), "new-1", plist_new_dict());
    if (client->sendChanges(changes.get(), true, nullptr) != MOBILESYNC_E_SUCCESS)
        return 0;
    UniquePlist mapping;
    if (client->remapIdentifiers(&mapping) != MOBILESYNC_E_SUCCESS)
        return 0;
    client->finish();
    return 0;
}
