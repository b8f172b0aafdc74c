#pragma once

#include "AdbUsbEndpoints.h"
#include "AdbUsbLibrary.h"

#include <QString>

#include <memory>

class AdbUsbDevice;

// The bulk endpoints of a phone's ADB interface, opened and claimed through libusb; released and
// closed with the object.
class AdbLibusbEndpoints : public AdbUsbEndpoints
{
public:
    // Opens the device and claims the interface. Throws AdbUsbError when the phone cannot be had,
    // for instance while another program (an adb server) holds it or the user lacks the rights.
    AdbLibusbEndpoints(AdbUsbLibrary &usb, const AdbUsbLibrary::Interface &iface);
    ~AdbLibusbEndpoints() override;

    // The phone's serial number, read from its device descriptor; the path when it has none.
    QString serialNumber() const { return m_serial; }

    int maxPacketSize() const override { return m_maxPacketSize; }
    qint64 bulkIn(char *buffer, qint64 size, int timeoutMs) override;
    qint64 bulkOut(const char *data, qint64 size, int timeoutMs) override;

private:
    void clearHalt(unsigned char endpoint, const QString &path);

    std::unique_ptr<AdbUsbDevice> m_device;
    int m_interface;
    unsigned char m_in;
    unsigned char m_out;
    int m_maxPacketSize;
    QString m_serial;
};
