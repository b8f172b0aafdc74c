#include "SimulatedUsbBus.h"

#include "SimulatedUsbPhone.h"

#include <libusb.h>

namespace tarnwick::peers {

void SimulatedUsbBus::plug(const QString &path, quint16 adbdPort)
{
    std::lock_guard lock(m_mutex);
    Script s;
    s.adbdPort = adbdPort;
    m_phones.insert(path, s);
}

void SimulatedUsbBus::unplug(const QString &path)
{
    std::lock_guard lock(m_mutex);
    m_phones.remove(path);
}

void SimulatedUsbBus::script(const QString &path, const std::function<void(Script &)> &change)
{
    std::lock_guard lock(m_mutex);
    change(m_phones[path]);
}

SimulatedUsbBus::Script SimulatedUsbBus::scriptOf(const QString &path) const
{
    std::lock_guard lock(m_mutex);
    return m_phones.value(path);
}

std::vector<AdbUsbLibrary::Interface> SimulatedUsbBus::adbInterfaces() const
{
    std::lock_guard lock(m_mutex);
    std::vector<Interface> found;
    for (auto it = m_phones.cbegin(); it != m_phones.cend(); ++it) {
        Interface iface;
        iface.path = it.key();
        iface.endpointIn = kEndpointIn;
        iface.endpointOut = kEndpointOut;
        found.push_back(iface);
    }
    return found;
}

int SimulatedUsbBus::open(const Interface &iface, std::unique_ptr<AdbUsbDevice> &device)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_phones.find(iface.path);
    if (it == m_phones.end())
        return LIBUSB_ERROR_NO_DEVICE;
    ++it->opens;
    if (!it->openResults.isEmpty()) {
        const int rc = it->openResults.takeFirst();
        if (rc != LIBUSB_SUCCESS)
            return rc;
    }
    device = std::make_unique<SimulatedUsbPhone>(*this, iface.path, it->adbdPort);
    return LIBUSB_SUCCESS;
}

int SimulatedUsbBus::claim(const QString &path)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_phones.find(path);
    if (it == m_phones.end())
        return LIBUSB_ERROR_NO_DEVICE;
    ++it->claims;
    if (!it->claimResults.isEmpty()) {
        const int rc = it->claimResults.takeFirst();
        if (rc != LIBUSB_SUCCESS)
            return rc;
    }
    return it->heldElsewhere ? LIBUSB_ERROR_BUSY : LIBUSB_SUCCESS;
}

bool SimulatedUsbBus::outNaked(const QString &path)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_phones.find(path);
    if (it == m_phones.end())
        return false;
    const int index = it->outTransfers++;
    return it->outNaksAfter >= 0 && index >= it->outNaksAfter;
}

bool SimulatedUsbBus::inMuted(const QString &path) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_phones.find(path);
    return it != m_phones.end() && it->inMute;
}

bool SimulatedUsbBus::halted(const QString &path, unsigned char endpoint, bool clear)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_phones.find(path);
    if (it == m_phones.end())
        return false;
    bool &flag = (endpoint & LIBUSB_ENDPOINT_IN) ? it->inHalted : it->outHalted;
    const bool was = flag;
    if (clear)
        flag = false;
    return was;
}

} // namespace tarnwick::peers
