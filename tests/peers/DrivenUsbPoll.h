#pragma once

#include "SimulatedUsbBus.h"
#include "platform/adb/AdbPoll.h"

#include <memory>
#include <vector>

namespace tarnwick::peers {

// The program's USB poll over a simulated bus, passed by the test one step at a time instead of by
// its timer.
class DrivenUsbPoll : public AdbPoll
{
public:
    explicit DrivenUsbPoll(std::shared_ptr<SimulatedUsbBus> bus)
        : AdbPoll(
              3600 * 1000,
              [bus]() -> std::unique_ptr<AdbUsbLibrary> { return std::make_unique<BusView>(bus); }, nullptr)
    {}
    void pass() { poll(); }

private:
    // The poll owns its library; the test keeps the bus to script it.
    class BusView : public AdbUsbLibrary
    {
    public:
        explicit BusView(std::shared_ptr<SimulatedUsbBus> bus)
            : m_bus(std::move(bus))
        {}
        std::vector<Interface> adbInterfaces() const override { return m_bus->adbInterfaces(); }
        int open(const Interface &iface, std::unique_ptr<AdbUsbDevice> &device) override
        {
            return m_bus->open(iface, device);
        }
        std::shared_ptr<libusb_context> context() const override { return nullptr; }

    private:
        const std::shared_ptr<SimulatedUsbBus> m_bus;
    };
};

} // namespace tarnwick::peers
