#pragma once

#include "SimulatedUsbmuxd.h"

#include <QTest>

#include <memory>

namespace tarnwick::peers {

// One simulated iPhone plugged into a simulated multiplexing service that the device library
// talks to: device tests plug it in from init() and unplug it in cleanup().
class SimulatedPhoneFixture
{
protected:
    // Records a test failure when the service could not listen.
    void plugInPhone(const QString &udid)
    {
        m_mux = std::make_unique<SimulatedUsbmuxd>();
        QVERIFY(m_mux->isListening());
        m_mux->makeCurrent();
        m_phone = m_mux->addDevice(udid);
    }

    void unplugAll()
    {
        m_phone.reset();
        m_mux.reset();
    }

    std::unique_ptr<SimulatedUsbmuxd> m_mux;
    std::shared_ptr<SimulatedIPhone> m_phone;
};

} // namespace tarnwick::peers
