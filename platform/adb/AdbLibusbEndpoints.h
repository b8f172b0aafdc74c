#pragma once

#include "AdbUsbContext.h"
#include "AdbUsbEndpoints.h"

#include <QString>

struct libusb_device_handle;

// The bulk endpoints of a phone's ADB interface, opened and claimed through libusb; released and
// closed with the object.
class AdbLibusbEndpoints : public AdbUsbEndpoints
{
public:
    // Opens the device and claims the interface. Throws AdbError when the phone cannot be had, for
    // instance while another program (an adb server) holds it or the user lacks the rights.
    AdbLibusbEndpoints(std::shared_ptr<libusb_context> context, const AdbUsbContext::Interface &iface);
    ~AdbLibusbEndpoints() override;

    // The phone's serial number, read from its device descriptor; the path when it has none.
    QString serialNumber() const { return m_serial; }

    int maxPacketSize() const override { return m_maxPacketSize; }
    qint64 bulkIn(char *buffer, qint64 size, int timeoutMs) override;
    qint64 bulkOut(const char *data, qint64 size, int timeoutMs) override;

private:
    std::shared_ptr<libusb_context> m_context;
    libusb_device_handle *m_handle = nullptr;
    int m_interface;
    unsigned char m_in;
    unsigned char m_out;
    int m_maxPacketSize;
    QString m_serial;
};
