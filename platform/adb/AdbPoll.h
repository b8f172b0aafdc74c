#pragma once

#include "AbsAdbPoll.h"
#include "AdbUSBHandle.h"
#include "AdbUsbLibrary.h"

#include <QMap>
#include <QSet>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

class AdbChannel;
class AdbUsbHotplug;

// Reports Android phones on USB as they come and go. Each pass lists the USB devices that offer an
// ADB interface; a new one is opened, claimed and greeted (newDevice once it answers the greeting
// or asks for our key), and one that is gone or whose connection broke is reported as kicked
// (kickDevice). A phone that cannot be had, does not answer the greeting, or whose
// connection broke while it stayed plugged in, is tried again after a few passes, and at once when
// retryFailedNow() says that whatever held it let go; its failure is reported once while it stays
// plugged in (deniedDevice when the user lacks the rights to it, failedDevice otherwise). Where
// libusb reports devices coming and going, each such event brings a pass at once; the passes every
// interval go on regardless, as the only means where it cannot and to notice conversations that
// broke while the phone stayed plugged in.
class AdbPoll : public AbsAdbPoll
{
    Q_OBJECT
public:
    // Makes the USB library on the poll's thread; throws AdbError when there is no USB.
    using UsbFactory = std::function<std::unique_ptr<AdbUsbLibrary>()>;

    AdbPoll(int interval, QObject *parent);
    // Over another USB library than libusb's (a test's phones).
    AdbPoll(int interval, UsbFactory usb, QObject *parent);
    ~AdbPoll() override;

    // Whether USB events are being heard (false before the first pass and after stop()).
    bool hearsHotplug() const;

public slots:
    // Phones that failed are tried again at the next pass, which comes at once: another program
    // that held them has just let go. Any thread.
    void retryFailedNow();

signals:
    void newDevice(QString path, PAdbUSBHandle handle);
    void kickDevice(QString path, PAdbUSBHandle handle);
    void failedDevice(QString path);
    // The phone is there, but this user may not open it (no udev rule grants the access).
    void deniedDevice(QString path);

protected:
    void poll() override;
    void pollEnded() override;
    void stopping() override;

private:
    // A phone that failed, and when it is tried again.
    struct Retry
    {
        int failures = 0;
        int passesLeft = 0;
    };

    bool startUsb();
    void tryPhone(const AdbUsbLibrary::Interface &iface);
    void failed(const QString &path);
    void connectPhone(const QString &path, PAdbUSBHandle handle);

    const UsbFactory m_usbFactory;
    std::unique_ptr<AdbUsbLibrary> m_usb;
    bool m_usbUnavailable = false;
    // After m_usb: it ends first.
    std::unique_ptr<AdbUsbHotplug> m_hotplug;
    std::atomic_bool m_hearsHotplug{false};
    bool m_hotplugTried = false;
    std::atomic_bool m_retryNow{false};
    QMap<QString, PAdbUSBHandle> m_devices;
    // The channel of the phone a pass is greeting, closed by stopping().
    std::mutex m_greetingMutex;
    AdbChannel *m_greeting = nullptr;
    // Phones that failed since they were plugged in; a phone that keeps dropping waits longer each
    // time, as one that keeps failing to open does.
    QMap<QString, Retry> m_failed;
    // Phones whose failure the user was told of since they were plugged in.
    QSet<QString> m_reported;
};
