#pragma once

#include "DeviceHandles.h"
#include "PlistMessageChannel.h"
#include "ServiceChannel.h"

#include <libimobiledevice/mobilesync.h>

#include <cstdint>
#include <memory>
#include <string>

// Client of an iPhone's sync service ("com.apple.mobilesync"): DeviceLink framing and the
// SyncServices messages of one data class.
//
// The device library ships its own client, but the one in the library version this program is built
// against insists on DeviceLink version 300, while phones from iOS 14 on announce 400, so it cannot talk
// to current phones. This client speaks the same protocol over the library's public service calls
// and accepts both versions. It frames the messages itself (a 4-byte big-endian length, then
// the property list) and checks every message it receives before libplist parses it: a message that
// could crash the parser or leave a damaged tree (see PlistInputCheck) is refused as a property-list
// error, and lastRefusal() says why. Every operation returns a mobilesync_error_t code of the library's
// header (0 = success), with the same meaning as the library's function of the same name.
//
// A client is used by one thread at a time. Destroying it says goodbye to the device and closes the
// connection; the device handle it was made on stays open until then.
class MobileSyncClient
{
public:
    static constexpr const char *serviceName = "com.apple.mobilesync";
    // Highest DeviceLink major version this client speaks.
    static constexpr uint64_t maxDeviceLinkVersion = 400;

    // Starts the sync service through a lockdown session opened under `label`, connects to it and
    // agrees on the DeviceLink version. On success `client` holds the new client. A lockdown session or
    // service start that fails gives MOBILESYNC_E_UNKNOWN_ERROR, as in the library.
    static mobilesync_error_t startService(const SharedIDevice &device, const char *label,
                                           std::unique_ptr<MobileSyncClient> &client);
    // Connects to a service already started with lockdownd_start_service.
    static mobilesync_error_t connect(const SharedIDevice &device, lockdownd_service_descriptor_t service,
                                      std::unique_ptr<MobileSyncClient> &client);
    // Speaks over a connection that is already open, starting with the version exchange.
    static mobilesync_error_t connect(std::unique_ptr<ServiceChannel> channel,
                                      std::unique_ptr<MobileSyncClient> &client);
    // Largest message accepted from the device; a record batch with photos stays far below it.
    static constexpr uint32_t maxMessageBytes = PlistMessageChannel::maxMessageBytes;

    ~MobileSyncClient();
    MobileSyncClient(const MobileSyncClient &) = delete;
    MobileSyncClient &operator=(const MobileSyncClient &) = delete;

    // The DeviceLink major version the device announced and this client confirmed.
    uint64_t deviceLinkVersion() const { return m_deviceLinkVersion; }
    // The data class of the running session; empty without one.
    const std::string &dataClass() const { return m_dataClass; }
    // Why the client last refused a message from the device; empty when it refused none.
    const std::string &lastRefusal() const { return m_lastRefusal; }

    // Asks the device to sync `dataClass`. A missing device anchor is sent as "---". On refusal
    // (MOBILESYNC_E_SYNC_REFUSED) or cancellation (MOBILESYNC_E_CANCELLED) `errorDescription` receives
    // the device's reason when it gave one. The output pointers may be null.
    mobilesync_error_t start(const char *dataClass, const char *deviceAnchor, const char *computerAnchor,
                             uint64_t computerDataClassVersion, mobilesync_sync_type_t *syncType,
                             uint64_t *deviceDataClassVersion, std::string *errorDescription);
    mobilesync_error_t getAllRecordsFromDevice();
    mobilesync_error_t getChangesFromDevice();
    // One batch of records from the device. `isLastRecord` is set true for the batch the device marked
    // as its last. `entities` receives the batch dictionary, `actions` the device's actions when they
    // are a dictionary (null otherwise); both may be null.
    mobilesync_error_t receiveChanges(UniquePlist *entities, bool *isLastRecord, UniquePlist *actions);
    mobilesync_error_t acknowledgeChangesFromDevice();
    // Turns the session towards the device, whatever has happened in it so far: records the device has
    // not sent yet are requested (unless the computer already asked) and read to the end without being
    // kept, every batch acknowledged, then the device's readiness awaited and confirmed. Afterwards
    // sendChanges and remapIdentifiers may be used. Does nothing when the session already points there.
    mobilesync_error_t readyToSendChangesFromComputerNoCheck();
    // Sends one batch (a dictionary); without `actions` the empty parameter is sent in their place.
    mobilesync_error_t sendChanges(plist_t entities, bool isLastRecord, plist_t actions);
    // The device's answer to a batch sent: `mapping` receives the dictionary from the identifiers the
    // computer sent to those the device gave the records, or null when the device sent none.
    mobilesync_error_t remapIdentifiers(UniquePlist *mapping);
    // Ends the session. Only the device's "finished" answer is success: a device that cancels the
    // session instead (it could not commit the changes) gives MOBILESYNC_E_CANCELLED.
    mobilesync_error_t finish();
    mobilesync_error_t cancel(const char *reason);

private:
    enum class Direction { DeviceToComputer, ComputerToDevice };
    // How far the device has sent its records in this session, and whether the batch received last
    // still waits for its acknowledgement.
    enum class Pull { NotRequested, AwaitingBatch, BatchUnacknowledged, LastUnacknowledged, Done };

    MobileSyncClient(SharedIDevice device, std::unique_ptr<ServiceChannel> channel);
    // Agrees on the DeviceLink version over `created`, which becomes `client` on success.
    static mobilesync_error_t handshake(std::unique_ptr<MobileSyncClient> created,
                                        std::unique_ptr<MobileSyncClient> &client);

    mobilesync_error_t versionExchange();
    mobilesync_error_t send(plist_t message);
    mobilesync_error_t receive(UniquePlist &message);
    mobilesync_error_t refuse(std::string why);
    // Receives one SyncServices message; `type` is its first item.
    mobilesync_error_t receiveMessage(UniquePlist &message, std::string &type);
    // Receives one message that must be of type `expected`: a cancellation by the device answers
    // MOBILESYNC_E_CANCELLED, any other type `unexpected`.
    mobilesync_error_t receiveExpected(UniquePlist &message, const char *expected,
                                       mobilesync_error_t unexpected);
    mobilesync_error_t sendCommand(const char *command);
    mobilesync_error_t requestRecords(const char *command);
    void endSession();

    // Declared in this order so that the connection closes before the device handle is released.
    SharedIDevice m_device;
    PlistMessageChannel m_channel;
    uint64_t m_deviceLinkVersion = 0;
    std::string m_dataClass;
    mobilesync_sync_type_t m_syncType = MOBILESYNC_SYNC_TYPE_SLOW;
    Direction m_direction = Direction::DeviceToComputer;
    Pull m_pull = Pull::NotRequested;
    std::string m_lastRefusal;
};
