#pragma once

#include <QObject>
#include <QString>

// Reports iPhones attached to and detached from the computer through the USB multiplexing service.
// The device library calls back on an event thread of its own; the signals carry the device
// identifier and reach receivers on other threads queued, in the order the library reported them.
// Network-attached devices are not reported. The program holds one subscription: the device library
// keeps a single callback for the whole process.
class MobiledeviceSubscribe : public QObject
{
    Q_OBJECT
public:
    explicit MobiledeviceSubscribe(QObject *parent = nullptr);
    // Ends the subscription (also when start() failed or never ran); no event arrives afterwards.
    ~MobiledeviceSubscribe() override;

    // Subscribes to the device library's events; true when the library accepted the subscription.
    // Connect the signals first: phones already attached are reported right away.
    bool start();

    // Called on the event thread.
    void invokeNewDevice(QString devid);
    void invokeKickDevice(QString devid);

signals:
    void newDevice(QString devid);
    void kickDevice(QString devid);

private:
    // Raised for each arrival and lowered for each removal on the event thread; nobody reads it.
    int deviceCount = 0;
};
