#pragma once

#include <QString>

// One opened USB device, as far as the ADB client uses it: the calls of libusb on a device handle,
// with libusb's return codes (LIBUSB_SUCCESS, LIBUSB_ERROR_…). The libusb implementation talks to
// the device; a test double plays a phone. Closing is the destructor's job.
class AdbUsbDevice
{
public:
    virtual ~AdbUsbDevice();

    virtual int claimInterface(int interfaceNumber) = 0;
    virtual int releaseInterface(int interfaceNumber) = 0;
    virtual int clearHalt(unsigned char endpoint) = 0;
    // One bulk transfer either way; transferred receives the bytes moved, also on a time-out.
    virtual int bulkTransfer(unsigned char endpoint, unsigned char *data, int length, int *transferred,
                             unsigned int timeoutMs) = 0;
    // The serial number from the device descriptor; empty when it has none or it cannot be read.
    virtual QString serialNumber() = 0;
};
