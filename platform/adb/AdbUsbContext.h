#pragma once

#include "AdbUsbLibrary.h"

#include <memory>
#include <vector>

// The libusb session of the ADB client, the search for phones' ADB interfaces in it and their
// opening.
class AdbUsbContext : public AdbUsbLibrary
{
public:
    // Throws AdbError when libusb cannot start (no USB on this machine, for one).
    AdbUsbContext();
    ~AdbUsbContext() override;
    AdbUsbContext(const AdbUsbContext &) = delete;
    AdbUsbContext &operator=(const AdbUsbContext &) = delete;

    std::vector<Interface> adbInterfaces() const override;
    int open(const Interface &iface, std::unique_ptr<AdbUsbDevice> &device) override;
    std::shared_ptr<libusb_context> context() const override { return m_context; }

private:
    std::shared_ptr<libusb_context> m_context;
};
