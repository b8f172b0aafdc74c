#pragma once

#include "AdbUsbDevice.h"

#include <memory>

struct libusb_device;
struct libusb_device_handle;

// A device opened through libusb; closed with the object.
class AdbLibusbDevice : public AdbUsbDevice
{
public:
    // Takes over handle, an open handle of device.
    AdbLibusbDevice(std::shared_ptr<libusb_device> device, libusb_device_handle *handle);
    ~AdbLibusbDevice() override;
    AdbLibusbDevice(const AdbLibusbDevice &) = delete;
    AdbLibusbDevice &operator=(const AdbLibusbDevice &) = delete;

    int claimInterface(int interfaceNumber) override;
    int releaseInterface(int interfaceNumber) override;
    int clearHalt(unsigned char endpoint) override;
    int bulkTransfer(unsigned char endpoint, unsigned char *data, int length, int *transferred,
                     unsigned int timeoutMs) override;
    QString serialNumber() override;

private:
    const std::shared_ptr<libusb_device> m_device;
    libusb_device_handle *const m_handle;
};
