#pragma once

#include <QString>

#include <memory>
#include <vector>

class AdbUsbDevice;
struct libusb_context;
struct libusb_device;

// The few calls of libusb that finding and opening phones takes: the list of devices with an ADB
// interface and the opening of one. Return codes are libusb's. The libusb implementation is
// AdbUsbContext; a test double plays phones that refuse, break or stall.
class AdbUsbLibrary
{
public:
    // One interface of class 0xFF, subclass 0x42, protocol 0x01 with a bulk endpoint each way.
    struct Interface
    {
        QString path; // "usb:<bus>-<port>[.<port>…]", stable while the phone stays plugged in
        std::shared_ptr<libusb_device> device; // null from a test double
        int interfaceNumber = 0;
        unsigned char endpointIn = 0;
        unsigned char endpointOut = 0;
        int maxPacketSize = 512;
    };

    virtual ~AdbUsbLibrary();

    virtual std::vector<Interface> adbInterfaces() const = 0;
    // Opens the device of iface into device; LIBUSB_SUCCESS or the reason it cannot be had.
    virtual int open(const Interface &iface, std::unique_ptr<AdbUsbDevice> &device) = 0;
    // The libusb session for hot-plug events; null where there is none.
    virtual std::shared_ptr<libusb_context> context() const = 0;
};
