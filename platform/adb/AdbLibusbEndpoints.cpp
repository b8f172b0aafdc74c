#include "AdbLibusbEndpoints.h"

#include "AdbError.h"
#include "AdbUsbDevice.h"
#include "AdbUsbError.h"
#include "Logging.h"

#include <libusb.h>

namespace {

QString usbError(int rc)
{
    return QString::fromUtf8(libusb_strerror(rc));
}

} // namespace

AdbLibusbEndpoints::AdbLibusbEndpoints(AdbUsbLibrary &usb, const AdbUsbLibrary::Interface &iface)
    : m_interface(iface.interfaceNumber)
    , m_in(iface.endpointIn)
    , m_out(iface.endpointOut)
    , m_maxPacketSize(iface.maxPacketSize)
{
    int rc = usb.open(iface, m_device);
    if (rc != LIBUSB_SUCCESS || !m_device)
        throw AdbUsbError(QStringLiteral("Cannot open the phone at %1: %2").arg(iface.path, usbError(rc)),
                          rc);
    rc = m_device->claimInterface(m_interface);
    if (rc != LIBUSB_SUCCESS) {
        m_device.reset();
        throw AdbUsbError(QStringLiteral("Cannot claim the phone at %1 (is another program using it?): %2")
                              .arg(iface.path, usbError(rc)),
                          rc);
    }
    // An earlier host (an adb server ended a moment ago, or our own previous run) may have left
    // the endpoints halted or out of step; the phone's greeting would then be lost.
    clearHalt(m_in, iface.path);
    clearHalt(m_out, iface.path);
    m_serial = m_device->serialNumber();
    if (m_serial.isEmpty())
        m_serial = iface.path;
}

AdbLibusbEndpoints::~AdbLibusbEndpoints()
{
    m_device->releaseInterface(m_interface);
}

void AdbLibusbEndpoints::clearHalt(unsigned char endpoint, const QString &path)
{
    const int rc = m_device->clearHalt(endpoint);
    if (rc != LIBUSB_SUCCESS)
        qCWarning(lcAdb) << "Cannot clear the halt of endpoint" << endpoint << "of the phone at" << path
                         << ":" << usbError(rc);
}

qint64 AdbLibusbEndpoints::bulkIn(char *buffer, qint64 size, int timeoutMs)
{
    int transferred = 0;
    const int rc = m_device->bulkTransfer(m_in, reinterpret_cast<unsigned char *>(buffer), int(size),
                                          &transferred, unsigned(timeoutMs));
    if (rc == LIBUSB_SUCCESS || rc == LIBUSB_ERROR_TIMEOUT)
        return transferred;
    throw AdbError(QStringLiteral("Reading from the phone failed: %1").arg(usbError(rc)));
}

qint64 AdbLibusbEndpoints::bulkOut(const char *data, qint64 size, int timeoutMs)
{
    int transferred = 0;
    unsigned char empty = 0;
    auto *bytes = data ? reinterpret_cast<unsigned char *>(const_cast<char *>(data)) : &empty;
    const int rc = m_device->bulkTransfer(m_out, bytes, int(size), &transferred, unsigned(timeoutMs));
    if (rc == LIBUSB_SUCCESS || rc == LIBUSB_ERROR_TIMEOUT)
        return transferred;
    throw AdbError(QStringLiteral("Writing to the phone failed: %1").arg(usbError(rc)));
}
