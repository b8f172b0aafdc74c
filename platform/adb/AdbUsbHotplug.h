#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

struct libusb_context;
struct libusb_device;

// Hears USB devices come and go where libusb can tell (hot-plug capability), so that a phone is
// looked at the moment it is plugged in rather than at the next pass of a poll. It holds one
// callback registration and the thread that lets libusb deliver its events; both end with the
// object. The handler runs on that thread and must not block: it only tells what happened.
class AdbUsbHotplug
{
public:
    enum class Change { Arrived, Left };
    using Handler = std::function<void(Change)>;

    // Null where libusb has no hot-plug support on this system; the caller keeps polling then.
    // Throws AdbError when the registration fails although the capability is there.
    static std::unique_ptr<AdbUsbHotplug> create(std::shared_ptr<libusb_context> context, Handler handler);
    ~AdbUsbHotplug();
    AdbUsbHotplug(const AdbUsbHotplug &) = delete;
    AdbUsbHotplug &operator=(const AdbUsbHotplug &) = delete;

    // What libusb calls for each event (event is a libusb_hotplug_event, userData this object);
    // returns 0 to stay registered. Public so that the dispatch can be shown without a device.
    static int onEvent(libusb_context *context, libusb_device *device, int event, void *userData);

private:
    AdbUsbHotplug(std::shared_ptr<libusb_context> context, Handler handler);
    void handleEvents();

    const std::shared_ptr<libusb_context> m_context;
    const Handler m_handler;
    int m_registration = 0;
    std::atomic_bool m_stopping{false};
    std::thread m_events;
};
