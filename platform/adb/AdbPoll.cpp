#include "AdbPoll.h"

#include "AdbChannel.h"
#include "AdbError.h"
#include "AdbLibusbEndpoints.h"
#include "AdbTransport.h"
#include "AdbUsbChannel.h"
#include "AdbUsbContext.h"
#include "AdbUsbError.h"
#include "AdbUsbHotplug.h"
#include "Logging.h"

namespace {

// A phone that failed is tried again after this many passes, doubled with each failure in a row up
// to the last: soon enough for a phone that another program held a moment, rarely enough for one
// that will not come (no rights to it) to cost nothing.
constexpr int kFirstRetryPasses = 2;
constexpr int kLastRetryPasses = 8;
// How long a pass waits for a new phone's first answer, so that one whose conversation fails at
// once is retried rather than reported as arrived.
constexpr int kGreetingMs = 2000;

} // namespace

AdbPoll::AdbPoll(int interval, QObject *parent)
    : AdbPoll(
          interval, [] { return std::make_unique<AdbUsbContext>(); }, parent)
{}

AdbPoll::AdbPoll(int interval, UsbFactory usb, QObject *parent)
    : AbsAdbPoll(interval, parent)
    , m_usbFactory(std::move(usb))
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

void AdbPoll::retryFailedNow()
{
    m_retryNow = true;
    requestPass();
}

bool AdbPoll::startUsb()
{
    if (!m_usb) {
        if (m_usbUnavailable)
            return false;
        try {
            m_usb = m_usbFactory();
        } catch (const AdbError &e) {
            qCWarning(lcAdb) << e.what();
        }
        if (!m_usb) {
            m_usbUnavailable = true;
            return false;
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
    return true;
}

void AdbPoll::poll()
{
    if (!startUsb())
        return;
    if (m_retryNow.exchange(false)) {
        for (Retry &retry : m_failed)
            retry.passesLeft = 0;
    }

    QSet<QString> present;
    for (const AdbUsbLibrary::Interface &iface : m_usb->adbInterfaces()) {
        present.insert(iface.path);
        const auto known = m_devices.constFind(iface.path);
        if (known != m_devices.constEnd()) {
            const auto transport = known.value()->transport();
            if (transport && transport->state() == AdbTransport::State::Offline) {
                // The conversation broke while the phone stayed plugged in; it is opened afresh
                // after a few passes.
                qCWarning(lcAdb) << "Phone at" << iface.path << "dropped:" << transport->errorString();
                const PAdbUSBHandle handle = known.value();
                m_devices.remove(iface.path);
                failed(iface.path);
                emit kickDevice(iface.path, handle);
            }
            continue;
        }
        const auto retry = m_failed.find(iface.path);
        if (retry != m_failed.end() && retry->passesLeft-- > 0)
            continue;
        tryPhone(iface);
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
    // Unplugged: plugged in again, a phone starts afresh.
    for (auto it = m_failed.begin(); it != m_failed.end();)
        it = present.contains(it.key()) ? std::next(it) : m_failed.erase(it);
    m_reported.intersect(present);
}

void AdbPoll::tryPhone(const AdbUsbLibrary::Interface &iface)
{
    try {
        auto endpoints = std::make_unique<AdbLibusbEndpoints>(*m_usb, iface);
        const QString serial = endpoints->serialNumber();
        auto channel = std::make_unique<AdbUsbChannel>(std::move(endpoints));
        {
            std::lock_guard lock(m_greetingMutex);
            if (isStopped())
                return;
            m_greeting = channel.get();
        }
        // The transport owns the channel: the greeting ends before the transport can go.
        std::shared_ptr<AdbTransport> transport = AdbTransport::start(std::move(channel), serial);
        const AdbTransport::State state = transport->waitWhileConnecting(kGreetingMs);
        {
            std::lock_guard lock(m_greetingMutex);
            m_greeting = nullptr;
        }
        if (state == AdbTransport::State::Offline)
            throw AdbError(transport->errorString());
        // A phone that neither lets us in nor asks for a key is not there yet; it is tried again.
        if (state == AdbTransport::State::Connecting) {
            transport->close();
            throw AdbError(QStringLiteral("The phone at %1 does not answer.").arg(iface.path));
        }
        connectPhone(iface.path, PAdbUSBHandle(new AdbUSBHandle(std::move(transport))));
    } catch (const AdbError &e) {
        qCWarning(lcAdb) << e.what();
        failed(iface.path);
        if (m_reported.contains(iface.path))
            return;
        m_reported.insert(iface.path);
        const auto *usb = dynamic_cast<const AdbUsbError *>(&e);
        if (usb && usb->accessDenied())
            emit deniedDevice(iface.path);
        else
            emit failedDevice(iface.path);
    }
}

void AdbPoll::stopping()
{
    std::lock_guard lock(m_greetingMutex);
    if (m_greeting)
        m_greeting->close();
}

void AdbPoll::failed(const QString &path)
{
    Retry &retry = m_failed[path];
    retry.passesLeft = qMin(kFirstRetryPasses << qMin(retry.failures, 8), kLastRetryPasses);
    ++retry.failures;
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
