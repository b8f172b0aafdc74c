#pragma once

#include "platform/adb/AdbUsbDevice.h"

#include <QString>

namespace tarnwick::peers {

class SimulatedUsbBus;

// One opened phone of a SimulatedUsbBus: its claimed interface carries the ADB messages to and from
// the phone's simulated adbd over a loopback connection made by the claim, and its endpoints stall
// while the bus says they are halted.
class SimulatedUsbPhone : public AdbUsbDevice
{
public:
    SimulatedUsbPhone(SimulatedUsbBus &bus, QString path, quint16 adbdPort);
    ~SimulatedUsbPhone() override;
    SimulatedUsbPhone(const SimulatedUsbPhone &) = delete;
    SimulatedUsbPhone &operator=(const SimulatedUsbPhone &) = delete;

    int claimInterface(int interfaceNumber) override;
    int releaseInterface(int interfaceNumber) override;
    int clearHalt(unsigned char endpoint) override;
    int bulkTransfer(unsigned char endpoint, unsigned char *data, int length, int *transferred,
                     unsigned int timeoutMs) override;
    QString serialNumber() override;

private:
    SimulatedUsbBus &m_bus;
    const QString m_path;
    const quint16 m_adbdPort;
    int m_fd = -1;
};

} // namespace tarnwick::peers
