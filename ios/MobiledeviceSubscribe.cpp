#include "MobiledeviceSubscribe.h"

#include "Logging.h"
#include "SubscriptionCallQueue.h"

#include <QFileInfo>

#include <libimobiledevice/libimobiledevice.h>
#include <usbmuxd-proto.h>

#include <future>
#include <mutex>

// What the library calls back with. The object clears `target` as it goes, so a report that the
// library delivers later reaches nobody.
struct MobiledeviceSubscribe::Relay
{
    std::mutex mutex;
    MobiledeviceSubscribe *target = nullptr;

    void close()
    {
        std::lock_guard lock(mutex);
        target = nullptr;
    }
    bool isOpen()
    {
        std::lock_guard lock(mutex);
        return target != nullptr;
    }
};

namespace {

using Relay = MobiledeviceSubscribe::Relay;

// How long start() waits for the library to take the subscription: the call thread may first have
// to end the subscription of an object destroyed just before.
constexpr int kStartWaitMs = 10000;
constexpr int kServiceLookMs = 1000;

void subscribe(const idevice_event_t *event, void *userData)
{
    if (!event || !userData || event->conn_type != CONNECTION_USBMUXD)
        return;
    auto *relay = static_cast<Relay *>(userData);
    const QString devid = QString::fromLatin1(event->udid);
    // Held while the signal is queued, so the object cannot go away in between.
    std::lock_guard lock(relay->mutex);
    if (!relay->target)
        return;
    if (event->event == IDEVICE_DEVICE_ADD)
        relay->target->invokeNewDevice(devid);
    else if (event->event == IDEVICE_DEVICE_REMOVE)
        relay->target->invokeKickDevice(devid);
}

// The relay the library holds now; used on the call thread only. Keeping it here keeps the library's
// user data alive until the library has let go of it.
std::shared_ptr<Relay> &librarySubscriber()
{
    static auto *const subscriber = new std::shared_ptr<Relay>;
    return *subscriber;
}

bool beginOnCallThread(const std::shared_ptr<Relay> &relay)
{
    // Its object went away (or gave up waiting) before the call came round.
    if (!relay->isOpen())
        return false;
    // The library holds one subscription: a new one replaces the one before, whose relay may be let
    // go only once the library has done so.
    const bool ok = idevice_event_subscribe(subscribe, relay.get()) == IDEVICE_E_SUCCESS;
    librarySubscriber() = ok ? relay : nullptr;
    return ok;
}

void endOnCallThread(const std::shared_ptr<Relay> &relay)
{
    // Another object's subscription has replaced this one since; it is not ours to end.
    if (librarySubscriber() != relay)
        return;
    idevice_event_unsubscribe();
    librarySubscriber().reset();
}

// Ends the relay's subscription on the call thread; returns at once.
void endLater(const std::shared_ptr<Relay> &relay)
{
    relay->close();
    SubscriptionCallQueue::instance().post([relay] { endOnCallThread(relay); });
}

} // namespace

MobiledeviceSubscribe::MobiledeviceSubscribe(QObject *parent)
    : QObject(parent)
{
    m_serviceWatch.setInterval(kServiceLookMs);
    connect(&m_serviceWatch, &QTimer::timeout, this, &MobiledeviceSubscribe::lookForService);
}

MobiledeviceSubscribe::~MobiledeviceSubscribe()
{
    m_serviceWatch.stop();
    if (m_relay)
        endLater(m_relay);
}

QString MobiledeviceSubscribe::serviceSocketPath()
{
    // Read the way the device library reads it at each connection.
    const QByteArray address = qgetenv("USBMUXD_SOCKET_ADDRESS");
    if (address.startsWith("UNIX:")) {
        if (address.size() > 5)
            return QFile::decodeName(address.mid(5));
    } else if (!address.isEmpty()) {
        const qsizetype colon = address.lastIndexOf(':');
        bool ok = false;
        const uint port = colon > 0 ? address.mid(colon + 1).toUInt(&ok) : 0;
        QByteArray host = colon > 0 ? address.left(colon) : QByteArray();
        if (host.startsWith('[')) {
            host.remove(0, 1);
            if (host.endsWith(']'))
                host.chop(1);
        }
        if (ok && port > 0 && port < 65536 && !host.isEmpty())
            return QString();
    }
    return QStringLiteral(USBMUXD_SOCKET_FILE);
}

bool MobiledeviceSubscribe::start()
{
    deviceCount = 0;
    m_serviceWatch.stop();
    if (m_relay)
        endLater(m_relay);
    m_relay = std::make_shared<Relay>();
    m_relay->target = this;

    m_socketPath = serviceSocketPath();
    if (!m_socketPath.isEmpty() && !QFileInfo::exists(m_socketPath)) {
        m_serviceWatch.start();
        return true;
    }
    return subscribe(kStartWaitMs);
}

void MobiledeviceSubscribe::lookForService()
{
    if (!QFileInfo::exists(m_socketPath))
        return;
    m_serviceWatch.stop();
    subscribe(0);
}

bool MobiledeviceSubscribe::subscribe(int waitMs)
{
    auto outcome = std::make_shared<std::promise<bool>>();
    std::future<bool> accepted = outcome->get_future();
    SubscriptionCallQueue::instance().post([relay = m_relay, outcome] {
        const bool ok = beginOnCallThread(relay);
        if (!ok && relay->isOpen())
            qCWarning(lcIos) << "The device library refused the iPhone event subscription";
        outcome->set_value(ok);
    });
    if (waitMs <= 0)
        return true;
    if (accepted.wait_for(std::chrono::milliseconds(waitMs)) != std::future_status::ready) {
        qCWarning(lcIos) << "The device library did not take the iPhone event subscription within" << waitMs
                         << "ms";
        // Whatever the library does with it later, nothing reaches the receivers.
        m_relay->close();
        return false;
    }
    return accepted.get();
}

void MobiledeviceSubscribe::invokeNewDevice(QString devid)
{
    ++deviceCount;
    emit newDevice(devid);
}

void MobiledeviceSubscribe::invokeKickDevice(QString devid)
{
    --deviceCount;
    emit kickDevice(devid);
}
