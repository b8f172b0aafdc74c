#pragma once

#include "AbsAdbPoll.h"
#include "AdbUSBHandle.h"

#include <QMap>
#include <QSet>

#include <memory>

class AdbUsbContext;

// Reports Android phones on USB as they come and go. Each pass lists the USB devices that offer an
// ADB interface; a new one is opened, claimed and greeted (newDevice), one that cannot be claimed
// is reported once (failedDevice) until it is unplugged, and one that is gone or whose connection
// broke is reported as kicked (kickDevice).
class AdbPoll : public AbsAdbPoll
{
    Q_OBJECT
public:
    AdbPoll(int interval, QObject *parent);
    ~AdbPoll() override;

signals:
    void newDevice(QString path, PAdbUSBHandle handle);
    void kickDevice(QString path, PAdbUSBHandle handle);
    void failedDevice(QString path);

protected:
    void poll() override;

private:
    void connectPhone(const QString &path, PAdbUSBHandle handle);

    std::unique_ptr<AdbUsbContext> m_usb;
    bool m_usbUnavailable = false;
    QMap<QString, PAdbUSBHandle> m_devices;
    QSet<QString> m_failed;
};
