#include "AdbUsbHotplug.h"

#include "AdbError.h"
#include "Logging.h"

#include <libusb.h>

namespace {

int LIBUSB_CALL trampoline(libusb_context *context, libusb_device *device, libusb_hotplug_event event,
                           void *userData)
{
    return AdbUsbHotplug::onEvent(context, device, int(event), userData);
}

} // namespace

AdbUsbHotplug::AdbUsbHotplug(std::shared_ptr<libusb_context> context, Handler handler)
    : m_context(std::move(context))
    , m_handler(std::move(handler))
{}

std::unique_ptr<AdbUsbHotplug> AdbUsbHotplug::create(std::shared_ptr<libusb_context> context, Handler handler)
{
    if (!context || !libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG))
        return nullptr;
    std::unique_ptr<AdbUsbHotplug> hotplug(new AdbUsbHotplug(std::move(context), std::move(handler)));
    // Any device: whether it offers an ADB interface is for the poll to find out; the interface
    // class is not part of what libusb matches on.
    const int rc = libusb_hotplug_register_callback(
        hotplug->m_context.get(),
        static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                          LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
        LIBUSB_HOTPLUG_NO_FLAGS, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
        trampoline, hotplug.get(), &hotplug->m_registration);
    if (rc != LIBUSB_SUCCESS) {
        throw AdbError(
            QStringLiteral("USB devices cannot be watched: %1").arg(QString::fromUtf8(libusb_strerror(rc))));
    }
    hotplug->m_events = std::thread([h = hotplug.get()] { h->handleEvents(); });
    return hotplug;
}

AdbUsbHotplug::~AdbUsbHotplug()
{
    m_stopping = true;
    // Deregistering wakes the event thread; the interrupt makes sure of it on every libusb.
    libusb_hotplug_deregister_callback(m_context.get(), m_registration);
    libusb_interrupt_event_handler(m_context.get());
    if (m_events.joinable())
        m_events.join();
}

int AdbUsbHotplug::onEvent(libusb_context *, libusb_device *, int event, void *userData)
{
    auto *self = static_cast<AdbUsbHotplug *>(userData);
    if (!self || self->m_stopping)
        return 0;
    if (event & LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED)
        self->m_handler(Change::Arrived);
    if (event & LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT)
        self->m_handler(Change::Left);
    return 0;
}

void AdbUsbHotplug::handleEvents()
{
    while (!m_stopping) {
        // A bounded wait, so that a wake-up lost in a race costs a second, not the exit.
        timeval timeout{1, 0};
        const int rc = libusb_handle_events_timeout_completed(m_context.get(), &timeout, nullptr);
        if (rc != LIBUSB_SUCCESS && rc != LIBUSB_ERROR_INTERRUPTED && rc != LIBUSB_ERROR_TIMEOUT) {
            qCWarning(lcAdb) << "USB events stopped:" << libusb_strerror(rc);
            return;
        }
    }
}
