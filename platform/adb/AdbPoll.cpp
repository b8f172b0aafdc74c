#include "AdbPoll.h"

#include "AdbError.h"
#include "AdbLibusbEndpoints.h"
#include "AdbTransport.h"
#include "AdbUsbChannel.h"
#include "AdbUsbContext.h"
#include "AdbUsbHotplug.h"
#include "Logging.h"

AdbPoll::AdbPoll(int interval, QObject *parent)
    : AbsAdbPoll(interval, parent)
{
    qRegisterMetaType<PAdbUSBHandle>("PAdbUSBHandle");
}

AdbPoll::~AdbPoll()
{
    stop();
    // The phones' handles may live on in their connectors; their conversations end here.
    for (const PAdbUSBHandle &handle : std::as_const(m_devices)) {
        if (auto transport = handle->transport())
            transport->close();
    }
}

void AdbPoll::poll()
{
    if (!m_usb) {
        if (m_usbUnavailable)
            return;
        try {
            m_usb = std::make_unique<AdbUsbContext>();
        } catch (const AdbError &e) {
            m_usbUnavailable = true;
            qCWarning(lcAdb) << e.what();
            return;
        }
    }
    if (!m_hotplugTried) {
        m_hotplugTried = true;
        try {
            m_hotplug =
                AdbUsbHotplug::create(m_usb->context(), [this](AdbUsbHotplug::Change) { requestPass(); });
        } catch (const AdbError &e) {
            qCWarning(lcAdb) << e.what();
        }
        m_hearsHotplug = m_hotplug != nullptr;
    }

    QSet<QString> present;
    for (const AdbUsbContext::Interface &iface : m_usb->adbInterfaces()) {
        present.insert(iface.path);
        const auto known = m_devices.constFind(iface.path);
        if (known != m_devices.constEnd()) {
            const auto transport = known.value()->transport();
            if (transport && transport->state() == AdbTransport::State::Offline) {
                // The conversation broke while the phone stayed plugged in; it is retried once the
                // phone comes back, not every second.
                qCWarning(lcAdb) << "Phone at" << iface.path << "dropped:" << transport->errorString();
                const PAdbUSBHandle handle = known.value();
                m_devices.remove(iface.path);
                m_failed.insert(iface.path);
                emit kickDevice(iface.path, handle);
            }
            continue;
        }
        if (m_failed.contains(iface.path))
            continue;
        try {
            auto endpoints = std::make_unique<AdbLibusbEndpoints>(m_usb->context(), iface);
            const QString serial = endpoints->serialNumber();
            auto transport =
                AdbTransport::start(std::make_unique<AdbUsbChannel>(std::move(endpoints)), serial);
            connectPhone(iface.path, PAdbUSBHandle(new AdbUSBHandle(std::move(transport))));
        } catch (const AdbError &e) {
            qCWarning(lcAdb) << e.what();
            m_failed.insert(iface.path);
            emit failedDevice(iface.path);
        }
    }

    for (auto it = m_devices.begin(); it != m_devices.end();) {
        if (present.contains(it.key())) {
            ++it;
            continue;
        }
        const QString path = it.key();
        const PAdbUSBHandle handle = it.value();
        it = m_devices.erase(it);
        if (auto transport = handle->transport())
            transport->close();
        emit kickDevice(path, handle);
    }
    m_failed.intersect(present);
}

void AdbPoll::pollEnded()
{
    // The event thread ends with the poll's thread, so that stop() leaves nothing running.
    m_hotplug.reset();
    m_hearsHotplug = false;
}

bool AdbPoll::hearsHotplug() const
{
    return m_hearsHotplug;
}

void AdbPoll::connectPhone(const QString &path, PAdbUSBHandle handle)
{
    m_devices.insert(path, handle);
    emit newDevice(path, handle);
}
