#include "AdbUsbContext.h"

#include "AdbError.h"
#include "AdbLibusbDevice.h"

#include <libusb.h>

namespace {

constexpr int kAdbClass = 0xff;
constexpr int kAdbSubclass = 0x42;
constexpr int kAdbProtocol = 0x01;

QString devicePath(libusb_device *device)
{
    uint8_t ports[8];
    const int count = libusb_get_port_numbers(device, ports, sizeof ports);
    QString path = QStringLiteral("usb:%1").arg(libusb_get_bus_number(device));
    if (count <= 0)
        return path + QStringLiteral("-%1").arg(libusb_get_device_address(device));
    for (int i = 0; i < count; ++i)
        path += (i == 0 ? QLatin1Char('-') : QLatin1Char('.')) + QString::number(ports[i]);
    return path;
}

bool findAdbInterface(libusb_device *device, AdbUsbContext::Interface &out)
{
    libusb_config_descriptor *config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != LIBUSB_SUCCESS)
        return false;
    std::unique_ptr<libusb_config_descriptor, decltype(&libusb_free_config_descriptor)> hold(
        config, libusb_free_config_descriptor);
    for (int i = 0; i < config->bNumInterfaces; ++i) {
        const libusb_interface &iface = config->interface[i];
        for (int a = 0; a < iface.num_altsetting; ++a) {
            const libusb_interface_descriptor &alt = iface.altsetting[a];
            if (alt.bInterfaceClass != kAdbClass || alt.bInterfaceSubClass != kAdbSubclass ||
                alt.bInterfaceProtocol != kAdbProtocol) {
                continue;
            }
            unsigned char in = 0, out_ = 0;
            int packet = 0;
            for (int e = 0; e < alt.bNumEndpoints; ++e) {
                const libusb_endpoint_descriptor &ep = alt.endpoint[e];
                if ((ep.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK)
                    continue;
                if (ep.bEndpointAddress & LIBUSB_ENDPOINT_IN)
                    in = ep.bEndpointAddress;
                else
                    out_ = ep.bEndpointAddress;
                packet = qMax(packet, int(ep.wMaxPacketSize));
            }
            if (in && out_) {
                out.interfaceNumber = alt.bInterfaceNumber;
                out.endpointIn = in;
                out.endpointOut = out_;
                out.maxPacketSize = packet > 0 ? packet : 512;
                return true;
            }
        }
    }
    return false;
}

} // namespace

AdbUsbContext::AdbUsbContext()
{
    libusb_context *context = nullptr;
    const int rc = libusb_init(&context);
    if (rc != LIBUSB_SUCCESS)
        throw AdbError(QStringLiteral("USB is not available: %1").arg(QString::fromUtf8(libusb_strerror(rc))));
    m_context.reset(context, libusb_exit);
}

AdbUsbContext::~AdbUsbContext() = default;

std::vector<AdbUsbContext::Interface> AdbUsbContext::adbInterfaces() const
{
    std::vector<Interface> found;
    libusb_device **list = nullptr;
    const ssize_t count = libusb_get_device_list(m_context.get(), &list);
    if (count < 0)
        return found;
    for (ssize_t i = 0; i < count; ++i) {
        Interface iface;
        if (!findAdbInterface(list[i], iface))
            continue;
        iface.path = devicePath(list[i]);
        iface.device.reset(libusb_ref_device(list[i]), libusb_unref_device);
        found.push_back(std::move(iface));
    }
    libusb_free_device_list(list, 1);
    return found;
}

int AdbUsbContext::open(const Interface &iface, std::unique_ptr<AdbUsbDevice> &device)
{
    libusb_device_handle *handle = nullptr;
    const int rc = libusb_open(iface.device.get(), &handle);
    if (rc == LIBUSB_SUCCESS)
        device = std::make_unique<AdbLibusbDevice>(iface.device, handle);
    return rc;
}
