#include "iDevice.h"

iDevice::iDevice(QString udid)
    : udid(std::move(udid))
{}

iDevice::~iDevice() = default;

int iDevice::newDevice()
{
    idevice_t raw = nullptr;
    const idevice_error_t err =
        idevice_new_with_options(&raw, udid.toUtf8().constData(), IDEVICE_LOOKUP_USBMUX);
    if (err == IDEVICE_E_SUCCESS)
        device = adoptIDevice(raw);
    return err;
}

int iDevice::lockdowndWithHandshake()
{
    lockdownd_client_t raw = nullptr;
    const lockdownd_error_t err = lockdownd_client_new_with_handshake(device.get(), &raw, clientLabel);
    if (err == LOCKDOWN_E_SUCCESS)
        lockdownClient.reset(raw);
    return err;
}

int iDevice::lockdown()
{
    lockdownd_client_t raw = nullptr;
    const lockdownd_error_t err = lockdownd_client_new(device.get(), &raw, clientLabel);
    if (err == LOCKDOWN_E_SUCCESS)
        lockdownClient.reset(raw);
    return err;
}

bool iDevice::open()
{
    if (newDevice() != 0)
        return false;
    return lockdowndWithHandshake() == 0;
}
