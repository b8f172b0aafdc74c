#pragma once

#include "platform/idevice/DeviceHandles.h"

#include <QString>

// One iPhone, opened by its unique identifier through the USB multiplexing service (network devices
// are never looked up), with the lockdown client that most of its services need. Lives on the stack
// of the function that talks to the phone; what it opened is released with it, the lockdown client
// before the device. Nothing here throws: the library's error code tells what failed.
//
// The device handle is shared: a service client made from it (the sync client, for one) holds its own
// reference and keeps the connection's device alive after this handle is gone.
class iDevice
{
public:
    explicit iDevice(QString udid);
    ~iDevice();
    iDevice(const iDevice &) = delete;
    iDevice &operator=(const iDevice &) = delete;

    // idevice_new_with_options with the USB multiplexing lookup; 0 on success.
    int newDevice();
    // lockdownd_client_new_with_handshake (a paired session) under the label "FERROVANTIS"; needs the
    // device open. Returns the lockdown error code, 0 on success.
    int lockdowndWithHandshake();
    // lockdownd_client_new (no pairing handshake, so no session) under the same label.
    int lockdown();
    // newDevice() and then the handshake; true only when both succeeded. After a false result the
    // device may be open without lockdown client.
    bool open();

    lockdownd_client_t lockdownClientHandle() const { return lockdownClient.get(); }
    idevice_t deviceHandle() const { return device.get(); }

    static constexpr const char *clientLabel = "FERROVANTIS";

    QString udid;
    // Declared in this order so that the lockdown client is freed before the device.
    SharedIDevice device;
    UniqueLockdownClient lockdownClient;
};
