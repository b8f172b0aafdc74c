#pragma once

#include "platform/adb/AdbUsbLibrary.h"

#include <QList>
#include <QMap>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>

namespace tarnwick::peers {

// A USB bus of Android phones for the ADB poll, in place of libusb: each phone is a path on the bus
// whose ADB interface leads to a simulated adbd (SimulatedAdbd) on a loopback port, and whose
// opening, claiming and endpoints misbehave as the test scripts them: refused with a libusb code,
// held by another program, or halted by an earlier host.
//
//     SimulatedAdbd adbd;
//     auto bus = std::make_shared<SimulatedUsbBus>();
//     bus->plug("usb:1-2", adbd.port());
//     bus->script("usb:1-2", [](auto &s) { s.openResults = {LIBUSB_ERROR_ACCESS}; });
class SimulatedUsbBus : public AdbUsbLibrary
{
public:
    // What one phone does; the test changes it at any time through script().
    struct Script
    {
        quint16 adbdPort = 0;
        // libusb codes of the next openings and claims, one taken per attempt; success when none
        // is left.
        QList<int> openResults;
        QList<int> claimResults;
        // Another program holds the interface: every claim is refused as busy.
        bool heldElsewhere = false;
        // Endpoints an earlier host left halted: their transfers stall until the halt is cleared.
        bool inHalted = false;
        bool outHalted = false;
        // The phone takes what the host sends and never sends anything back.
        bool inMute = false;
        // Bulk-out transfers after this many time out with nothing taken, as a phone that NAKs every
        // packet; -1: never.
        int outNaksAfter = -1;
        // What happened.
        int opens = 0;
        int outTransfers = 0;
        int claims = 0;
    };

    static constexpr unsigned char kEndpointIn = 0x81;
    static constexpr unsigned char kEndpointOut = 0x01;

    void plug(const QString &path, quint16 adbdPort);
    void unplug(const QString &path);
    void script(const QString &path, const std::function<void(Script &)> &change);
    Script scriptOf(const QString &path) const;

    std::vector<Interface> adbInterfaces() const override;
    int open(const Interface &iface, std::unique_ptr<AdbUsbDevice> &device) override;
    std::shared_ptr<libusb_context> context() const override { return nullptr; }

    // Device side.
    int claim(const QString &path);
    // Counts a bulk-out transfer of the phone at path; whether it is NAKed.
    bool outNaked(const QString &path);
    bool inMuted(const QString &path) const;
    // Whether the endpoint of the phone at path is halted; clearing it when clear is set.
    bool halted(const QString &path, unsigned char endpoint, bool clear = false);

private:
    mutable std::mutex m_mutex;
    QMap<QString, Script> m_phones;
};

} // namespace tarnwick::peers
