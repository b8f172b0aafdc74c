#include "AdbLibusbDevice.h"

#include <libusb.h>

AdbLibusbDevice::AdbLibusbDevice(std::shared_ptr<libusb_device> device, libusb_device_handle *handle)
    : m_device(std::move(device))
    , m_handle(handle)
{
    libusb_set_auto_detach_kernel_driver(m_handle, 1);
}

AdbLibusbDevice::~AdbLibusbDevice()
{
    libusb_close(m_handle);
}

int AdbLibusbDevice::claimInterface(int interfaceNumber)
{
    return libusb_claim_interface(m_handle, interfaceNumber);
}

int AdbLibusbDevice::releaseInterface(int interfaceNumber)
{
    return libusb_release_interface(m_handle, interfaceNumber);
}

int AdbLibusbDevice::clearHalt(unsigned char endpoint)
{
    return libusb_clear_halt(m_handle, endpoint);
}

int AdbLibusbDevice::bulkTransfer(unsigned char endpoint, unsigned char *data, int length, int *transferred,
                                  unsigned int timeoutMs)
{
    return libusb_bulk_transfer(m_handle, endpoint, data, length, transferred, timeoutMs);
}

QString AdbLibusbDevice::serialNumber()
{
    libusb_device_descriptor desc{};
    if (libusb_get_device_descriptor(m_device.get(), &desc) != LIBUSB_SUCCESS || !desc.iSerialNumber)
        return {};
    unsigned char text[256];
    const int n = libusb_get_string_descriptor_ascii(m_handle, desc.iSerialNumber, text, sizeof text);
    return n > 0 ? QString::fromLatin1(reinterpret_cast<const char *>(text), n) : QString();
}
