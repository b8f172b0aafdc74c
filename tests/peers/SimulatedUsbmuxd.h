#pragma once

#include "SimulatedIPhone.h"

#include <QList>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <atomic>
#include <list>
#include <memory>
#include <thread>

namespace tarnwick::peers {

class PeerConnection;

// A simulated USB multiplexing service (usbmuxd) on a Unix socket in a temporary folder, so that the
// real device library (libusbmuxd, libimobiledevice) reaches simulated iPhones end to end. Point the
// library at it with makeCurrent() (the USBMUXD_SOCKET_ADDRESS variable) before the first device call.
//
// Speaks the plist protocol (version 1): ListDevices, Listen (Attached and Detached events),
// ReadBUID, ReadPairRecord, SavePairRecord, DeletePairRecord and Connect, after which the socket
// carries the device port's conversation (lockdown, or a service lockdown started). Every accepted
// socket is served on a thread of its own; the destructor closes them all and joins the threads.
//
//     SimulatedUsbmuxd mux;
//     mux.makeCurrent();
//     auto phone = mux.addDevice("00008101-000A1B2C3D4E5F60");
//     phone->setDeviceName("Anna's iPhone");
//     phone->contactSync().setRecords({SyncRecord::contact("1", {{"first name", "Anna"}})});
//
// Use a 40-character or dashed 25-character identifier: the library rewrites 24-character ones. Tests
// that expect arrival events call waitForListeners(1) after subscribing and before plugging phones in
// (phones already attached are announced to a new listener anyway). Another service is added to a
// phone with SimulatedIPhone::registerService(name, factory), the factory making a PeerService for
// each connection to the port lockdown hands out for that name.
class SimulatedUsbmuxd
{
public:
    SimulatedUsbmuxd();
    ~SimulatedUsbmuxd();
    SimulatedUsbmuxd(const SimulatedUsbmuxd &) = delete;
    SimulatedUsbmuxd &operator=(const SimulatedUsbmuxd &) = delete;

    bool isListening() const { return m_listenFd >= 0; }
    QString socketPath() const { return m_socketPath; }
    // "UNIX:" + the socket path: the value of USBMUXD_SOCKET_ADDRESS.
    QString socketAddress() const { return QStringLiteral("UNIX:") + m_socketPath; }
    // Sets USBMUXD_SOCKET_ADDRESS for this process (the library reads it at every connection).
    void makeCurrent() const;

    // Creates a phone, plugs it in and returns it.
    std::shared_ptr<SimulatedIPhone>
    addDevice(const QString &udid, SimulatedIPhone::Connection connection = SimulatedIPhone::Connection::Usb);
    // Plugs a phone in: it is listed and every listener gets an Attached event.
    void attach(const std::shared_ptr<SimulatedIPhone> &phone);
    // Unplugs a phone: listeners get a Detached event and its open connections are cut.
    void detach(const QString &udid);
    // Tells listeners that the phone was paired with this computer (a "Paired" event).
    void announcePaired(const QString &udid);
    std::shared_ptr<SimulatedIPhone> device(const QString &udid) const;

    QString systemBuid() const { return m_systemBuid; }
    // Request types received ("ListDevices", "Connect", ...), in order.
    QStringList requests() const;
    // Open Listen subscriptions, and a wait (in this thread, without an event loop) for at least `count`.
    int listenerCount() const;
    bool waitForListeners(int count, int timeoutMs = 20000) const;
    // Open Connect conversations to any device.
    int connectionCount() const;

private:
    struct Client;

    void acceptLoop();
    void serveClient(int fd);
    bool handle(Client &client, quint32 tag, const QString &type, plist_t request);
    bool sendReply(PeerConnection &connection, quint32 tag, plist_t message);
    bool sendResult(PeerConnection &connection, quint32 tag, quint32 result);
    // A device's "Attached" record (DeviceID, MessageType, Properties).
    UniquePlist attachedRecord(const SimulatedIPhone &phone) const;
    void broadcast(plist_t event);

    QTemporaryDir m_dir;
    QString m_socketPath;
    QString m_systemBuid;
    int m_listenFd = -1;
    std::atomic<bool> m_stopping{false};
    std::thread m_acceptThread;

    mutable QMutex m_mutex;
    QList<std::shared_ptr<SimulatedIPhone>> m_devices;
    quint32 m_nextDeviceId = 1;
    QStringList m_requests;
    QSet<Client *> m_clients;
    std::list<std::thread> m_threads;
};

} // namespace tarnwick::peers
