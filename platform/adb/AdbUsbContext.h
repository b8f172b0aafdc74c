#pragma once

#include <QString>

#include <memory>
#include <vector>

struct libusb_context;
struct libusb_device;

// The libusb session of the ADB client and the search for phones' ADB interfaces in it.
class AdbUsbContext
{
public:
    // One interface of class 0xFF, subclass 0x42, protocol 0x01 with a bulk endpoint each way.
    struct Interface
    {
        QString path; // "usb:<bus>-<port>[.<port>…]", stable while the phone stays plugged in
        std::shared_ptr<libusb_device> device;
        int interfaceNumber = 0;
        unsigned char endpointIn = 0;
        unsigned char endpointOut = 0;
        int maxPacketSize = 512;
    };

    // Throws AdbError when libusb cannot start (no USB on this machine, for one).
    AdbUsbContext();
    ~AdbUsbContext();
    AdbUsbContext(const AdbUsbContext &) = delete;
    AdbUsbContext &operator=(const AdbUsbContext &) = delete;

    std::vector<Interface> adbInterfaces() const;
    std::shared_ptr<libusb_context> context() const { return m_context; }

private:
    std::shared_ptr<libusb_context> m_context;
};
