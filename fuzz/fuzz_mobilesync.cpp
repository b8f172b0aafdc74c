// The contact-sync client against a phone whose every byte is the input: the client reads the
// framed messages of a whole session from it (version exchange, start, record batches, the turn
// towards the phone, remapping, finish) and must end each step with a code, never a crash.
#include "platform/idevice/MobileSyncClient.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

// Gives the input's bytes in order, a few at a time, as a slow connection would; swallows what the
// client sends; then reports the connection closed.
class ScriptedChannel : public ServiceChannel
{
public:
    ScriptedChannel(const uint8_t *data, size_t size)
        : m_data(data)
        , m_size(size)
    {}

    service_error_t send(const char *, uint32_t) override { return SERVICE_E_SUCCESS; }

    service_error_t receive(char *data, uint32_t size, uint32_t &received, unsigned) override
    {
        received = 0;
        if (m_pos == m_size)
            return SERVICE_E_MUX_ERROR;
        const size_t n = std::min<size_t>({size, m_size - m_pos, 4096});
        std::memcpy(data, m_data + m_pos, n);
        m_pos += n;
        received = uint32_t(n);
        return SERVICE_E_SUCCESS;
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::unique_ptr<MobileSyncClient> client;
    if (MobileSyncClient::connect(std::make_unique<ScriptedChannel>(data, size), client) !=
        MOBILESYNC_E_SUCCESS)
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
