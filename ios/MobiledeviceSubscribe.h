#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

// Reports iPhones attached to and detached from the computer through the USB multiplexing service.
// The device library calls back on an event thread of its own; the signals carry the device
// identifier and reach receivers on other threads queued, in the order the library reported them.
// Network-attached devices are not reported. The program holds one subscription: the device library
// keeps a single callback for the whole process.
//
// The multiplexing service often runs only while a phone is plugged in. The library is subscribed
// only once the service's socket exists (it is looked for once a second until then): left waiting
// for the socket itself, the library cannot always be made to stop again. The library's calls run
// on a thread that nobody waits for (SubscriptionCallQueue), so neither destroying this object nor
// quitting ever waits on the device library.
class MobiledeviceSubscribe : public QObject
{
    Q_OBJECT
public:
    explicit MobiledeviceSubscribe(QObject *parent = nullptr);
    // Ends the subscription (also when start() failed or never ran) without waiting for the library;
    // no signal is emitted once it has returned.
    ~MobiledeviceSubscribe() override;

    // Subscribes to the device library's events; true when the library accepted the subscription, or
    // when it will be subscribed as soon as the multiplexing service comes up.
    // Connect the signals first: phones already attached are reported right away.
    bool start();

    // Called on the event thread.
    void invokeNewDevice(QString devid);
    void invokeKickDevice(QString devid);

    // Where the device library reaches the multiplexing service (USBMUXD_SOCKET_ADDRESS, else the
    // system's socket): the socket file's path, or empty for a TCP address, which has no file to wait
    // for.
    static QString serviceSocketPath();

    struct Relay;

signals:
    void newDevice(QString devid);
    void kickDevice(QString devid);

private:
    // Hands the subscription to the library's call thread; waits up to waitMs for its outcome.
    bool subscribe(int waitMs);
    void lookForService();

    // Raised for each arrival and lowered for each removal on the event thread; nobody reads it.
    int deviceCount = 0;
    // The library's user data: outlives this object for as long as the library may call back.
    std::shared_ptr<Relay> m_relay;
    QString m_socketPath;
    QTimer m_serviceWatch;
};
