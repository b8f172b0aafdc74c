#pragma once

#include "DeviceHandles.h"
#include "PlistMessageChannel.h"

#include <libimobiledevice/mobilebackup2.h>

#include <cstdint>
#include <memory>
#include <string>

// Client of an iPhone's backup service ("com.apple.mobilebackup2"): DeviceLink framing, the
// protocol's "Hello", the computer's request, the phone's device-link messages, status responses
// and the raw file frames between them.
//
// It stands in for the device library's client, which parses every message of the phone without
// looking at it first: here each one is checked before libplist parses it (see
// PlistMessageChannel), and a message that could crash the parser or leave a damaged tree is
// refused as a property-list error, with lastRefusal() saying why. Every operation returns a
// mobilebackup2_error_t code of the library's header (0 = success), with the meaning of the
// library's function of the same name.
//
// Used by one thread at a time. Destroying it says goodbye to the device and closes the connection.
class MobileBackup2Client
{
public:
    static constexpr const char *serviceName = MOBILEBACKUP2_SERVICE_NAME;
    // Highest DeviceLink major version this client speaks.
    static constexpr uint64_t maxDeviceLinkVersion = 400;
    // How long one wait for a message lasts before MOBILEBACKUP2_E_RECEIVE_TIMEOUT, and for raw bytes
    // before a read brings nothing.
    static constexpr unsigned messageTimeoutMs = 10000;
    static constexpr unsigned rawTimeoutMs = 5000;

    // Connects to a service already started with lockdown and agrees on the DeviceLink version. A
    // refused message leaves its reason in `refusal` (may be null).
    static mobilebackup2_error_t connect(const SharedIDevice &device, lockdownd_service_descriptor_t service,
                                         std::unique_ptr<MobileBackup2Client> &client,
                                         std::string *refusal = nullptr);
    // Speaks over a connection that is already open, starting with the DeviceLink version exchange.
    static mobilebackup2_error_t connect(std::unique_ptr<ServiceChannel> channel,
                                         std::unique_ptr<MobileBackup2Client> &client,
                                         std::string *refusal = nullptr);

    ~MobileBackup2Client();
    MobileBackup2Client(const MobileBackup2Client &) = delete;
    MobileBackup2Client &operator=(const MobileBackup2Client &) = delete;

    // Offers `count` protocol versions; `remoteVersion` receives the one the phone chose.
    mobilebackup2_error_t versionExchange(const double *localVersions, int count, double *remoteVersion);
    // Asks for "Backup", "Restore", ...; `options` (may be null) is copied.
    mobilebackup2_error_t sendRequest(const char *request, const char *targetIdentifier,
                                      const char *sourceIdentifier, plist_t options);
    // One device-link message: `message` the whole array, `name` its first item ("DL...").
    mobilebackup2_error_t receiveMessage(UniquePlist &message, std::string &name);
    // `description` and `dictionary` may be null: the empty-parameter marker goes in their place.
    mobilebackup2_error_t sendStatusResponse(int code, const char *description, plist_t dictionary);
    mobilebackup2_error_t sendRaw(const char *data, uint32_t size, uint32_t *sent);
    // Waits up to rawTimeoutMs; `received` is 0 when nothing came.
    mobilebackup2_error_t receiveRaw(char *data, uint32_t size, uint32_t *received);

    const std::string &lastRefusal() const { return m_lastRefusal; }

private:
    MobileBackup2Client(SharedIDevice device, std::unique_ptr<ServiceChannel> channel);
    static mobilebackup2_error_t handshake(std::unique_ptr<MobileBackup2Client> created,
                                           std::unique_ptr<MobileBackup2Client> &client,
                                           std::string *refusal);

    mobilebackup2_error_t deviceLinkExchange();
    mobilebackup2_error_t send(plist_t message);
    mobilebackup2_error_t receive(UniquePlist &message);
    mobilebackup2_error_t sendProcessMessage(plist_t dictionary);

    // Declared in this order so that the connection closes before the device handle is released.
    SharedIDevice m_device;
    PlistMessageChannel m_channel;
    std::string m_lastRefusal;
};
