#include "main_.h"

#include "DeviceHandles.h"
#include "Logging.h"

#include <libimobiledevice/mobilebackup2.h>

#include <cstring>
#include <memory>

namespace {

struct BackupClientDeleter
{
    void operator()(mobilebackup2_client_t client) const { mobilebackup2_client_free(client); }
};

// Closing-report waits that may time out before the phone is taken for gone (the library waits
// 30 s each).
constexpr int reportWaits = 4;

int switchCloudBackup(const char *udid, bool enable)
{
    idevice_t rawDevice = nullptr;
    if (idevice_new_with_options(&rawDevice, udid, IDEVICE_LOOKUP_USBMUX) != IDEVICE_E_SUCCESS)
        return -2;
    const SharedIDevice device = adoptIDevice(rawDevice);

    lockdownd_client_t rawLockdown = nullptr;
    if (lockdownd_client_new_with_handshake(device.get(), &rawLockdown, "FERROVANTIS") != LOCKDOWN_E_SUCCESS)
        return -3;
    UniqueLockdownClient lockdown(rawLockdown);
    lockdownd_service_descriptor_t rawService = nullptr;
    const lockdownd_error_t started =
        lockdownd_start_service_with_escrow_bag(lockdown.get(), MOBILEBACKUP2_SERVICE_NAME, &rawService);
    const UniqueServiceDescriptor service(rawService);
    lockdown.reset();
    if (started != LOCKDOWN_E_SUCCESS || !service || service->port == 0)
        return -4;

    mobilebackup2_client_t rawClient = nullptr;
    if (mobilebackup2_client_new(device.get(), service.get(), &rawClient) != MOBILEBACKUP2_E_SUCCESS)
        return -5;
    const std::unique_ptr<mobilebackup2_client_private, BackupClientDeleter> client(rawClient);
    double versions[] = {2.0, 2.1};
    double remote = 0;
    if (mobilebackup2_version_exchange(client.get(), versions, 2, &remote) != MOBILEBACKUP2_E_SUCCESS)
        return -6;

    const UniquePlist options(plist_new_dict());
    plist_dict_set_item(options.get(), "CloudBackupState", plist_new_bool(enable ? 1 : 0));
    if (mobilebackup2_send_request(client.get(), "EnableCloudBackup", udid, udid, options.get()) !=
        MOBILEBACKUP2_E_SUCCESS)
        return -7;

    for (int waits = 0; waits < reportWaits;) {
        plist_t rawMessage = nullptr;
        char *rawName = nullptr;
        const mobilebackup2_error_t err = mobilebackup2_receive_message(client.get(), &rawMessage, &rawName);
        const UniquePlist message(rawMessage);
        const UniqueCString name(rawName);
        if (err == MOBILEBACKUP2_E_RECEIVE_TIMEOUT) {
            ++waits;
            continue;
        }
        if (err != MOBILEBACKUP2_E_SUCCESS || !name)
            return -10;
        if (std::strcmp(name.get(), "DLMessageProcessMessage") == 0) {
            uint64_t code = 0;
            plist_t report = plist_array_get_item(message.get(), 1);
            if (plist_t node = plist_dict_get_item(report, "ErrorCode"))
                plist_get_uint_val(node, &code);
            return static_cast<int>(static_cast<int64_t>(code));
        }
        if (std::strcmp(name.get(), "DLMessageDisconnect") == 0)
            return -10;
        qCWarning(lcIdevice) << "cloud backup switch: message not expected:" << name.get();
    }
    return -10;
}

} // namespace

int main_(int, int argc, char **argv)
{
    if (argc != 5 || !argv || !argv[0] || !argv[1] || !argv[2] || !argv[3] || !argv[4] ||
        std::strcmp(argv[1], "-u") != 0 || argv[2][0] == '\0' || std::strcmp(argv[3], "cloud") != 0)
        return 1;
    const bool on = std::strcmp(argv[4], "on") == 0;
    if (!on && std::strcmp(argv[4], "off") != 0)
        return 1;
    return switchCloudBackup(argv[2], on);
}
