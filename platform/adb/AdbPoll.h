#pragma once

#include "AbsAdbPoll.h"
#include "AdbUSBHandle.h"

#include <QMap>
#include <QSet>

#include <atomic>
#include <memory>

class AdbUsbContext;
class AdbUsbHotplug;

// Reports Android phones on USB as they come and go. Each pass lists the USB devices that offer an
// ADB interface; a new one is opened, claimed and greeted (newDevice), one that cannot be claimed
// is reported once (failedDevice) until it is unplugged, and one that is gone or whose connection
// broke is reported as kicked (kickDevice). Where libusb reports devices coming and going, each such
// event brings a pass at once; the passes every interval go on regardless, as the only means where
// it cannot and to notice conversations that broke while the phone stayed plugged in.
class AdbPoll : public AbsAdbPoll
{
    Q_OBJECT
public:
    AdbPoll(int interval, QObject *parent);
    ~AdbPoll() override;

    // Whether USB events are being heard (false before the first pass and after stop()).
    bool hearsHotplug() const;

signals:
    void newDevice(QString path, PAdbUSBHandle handle);
    void kickDevice(QString path, PAdbUSBHandle handle);
    void failedDevice(QString path);

protected:
    void poll() override;
    void pollEnded() override;

private:
    void connectPhone(const QString &path, PAdbUSBHandle handle);

    std::unique_ptr<AdbUsbContext> m_usb;
    bool m_usbUnavailable = false;
    // After m_usb: it ends first.
    std::unique_ptr<AdbUsbHotplug> m_hotplug;
    std::atomic_bool m_hearsHotplug{false};
    bool m_hotplugTried = false;
    QMap<QString, PAdbUSBHandle> m_devices;
    QSet<QString> m_failed;
};
