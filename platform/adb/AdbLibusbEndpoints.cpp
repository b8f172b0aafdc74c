#include "AdbLibusbEndpoints.h"

#include "AdbError.h"

#include <libusb.h>

namespace {

QString usbError(int rc)
{
    return QString::fromUtf8(libusb_strerror(rc));
}

} // namespace

AdbLibusbEndpoints::AdbLibusbEndpoints(std::shared_ptr<libusb_context> context,
                                       const AdbUsbContext::Interface &iface)
    : m_context(std::move(context))
    , m_interface(iface.interfaceNumber)
    , m_in(iface.endpointIn)
    , m_out(iface.endpointOut)
    , m_maxPacketSize(iface.maxPacketSize)
{
    int rc = libusb_open(iface.device.get(), &m_handle);
    if (rc != LIBUSB_SUCCESS)
        throw AdbError(QStringLiteral("Cannot open the phone at %1: %2").arg(iface.path, usbError(rc)));
    libusb_set_auto_detach_kernel_driver(m_handle, 1);
    rc = libusb_claim_interface(m_handle, m_interface);
    if (rc != LIBUSB_SUCCESS) {
        libusb_close(m_handle);
        m_handle = nullptr;
        throw AdbError(QStringLiteral("Cannot claim the phone at %1 (is another program using it?): %2")
                           .arg(iface.path, usbError(rc)));
    }
    libusb_device_descriptor desc{};
    if (libusb_get_device_descriptor(iface.device.get(), &desc) == LIBUSB_SUCCESS && desc.iSerialNumber) {
        unsigned char text[256];
        const int n = libusb_get_string_descriptor_ascii(m_handle, desc.iSerialNumber, text, sizeof text);
        if (n > 0)
            m_serial = QString::fromLatin1(reinterpret_cast<const char *>(text), n);
    }
    if (m_serial.isEmpty())
        m_serial = iface.path;
}

AdbLibusbEndpoints::~AdbLibusbEndpoints()
{
    if (m_handle) {
        libusb_release_interface(m_handle, m_interface);
        libusb_close(m_handle);
    }
}

qint64 AdbLibusbEndpoints::bulkIn(char *buffer, qint64 size, int timeoutMs)
{
    int transferred = 0;
    const int rc = libusb_bulk_transfer(m_handle, m_in, reinterpret_cast<unsigned char *>(buffer), int(size),
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
    const int rc = libusb_bulk_transfer(m_handle, m_out, bytes, int(size), &transferred, unsigned(timeoutMs));
    if (rc == LIBUSB_SUCCESS || rc == LIBUSB_ERROR_TIMEOUT)
        return transferred;
    throw AdbError(QStringLiteral("Writing to the phone failed: %1").arg(usbError(rc)));
}
