#pragma once

#include "CompanionApp.h"
#include "SimulatedAdbd.h"

#include "platform/adb/AdbUSBHandle.h"

#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class AdbKey;

namespace tarnwick::peers {

// A whole Android phone as the desktop reaches it over USB debugging, for end-to-end tests of the
// real ADB client: a simulated adbd on a loopback port whose shell runs the package manager and the
// activity manager against a simulated companion app. "pm list packages -3" lists the app once it
// is installed; "pm install [-r] <file>" installs it from a file pushed before; "am start" launches
// it; "am broadcast … -d sync://backup:<p>/" (or restore) has the launched app serve that session,
// with the phone's port <p> leading to a port the app opened for that session alone (so "tcp:<p>"
// streams, and with them the desktop's forward of <p>, reach it). Other commands get the daemon's
// own answers.
//
//     SimulatedAndroidPhone phone;
//     phone.app().addContact(...);
//     PAdbUSBHandle handle = phone.connect(key);
class SimulatedAndroidPhone
{
public:
    static const QString kPackage;

    struct Options
    {
        SimulatedAdbd::Options adbd;
        // Whether the companion app is there from the start.
        bool appInstalled = true;
        // The other user-installed packages.
        QStringList otherPackages{QStringLiteral("com.example.notes")};
    };

    SimulatedAndroidPhone();
    explicit SimulatedAndroidPhone(Options options);
    ~SimulatedAndroidPhone();
    SimulatedAndroidPhone(const SimulatedAndroidPhone &) = delete;
    SimulatedAndroidPhone &operator=(const SimulatedAndroidPhone &) = delete;

    CompanionApp &app() { return m_app; }
    const CompanionApp &app() const { return m_app; }
    SimulatedAdbd &adbd() { return m_adbd; }
    const SimulatedAdbd &adbd() const { return m_adbd; }
    // The loopback port the phone's daemon listens on.
    quint16 port() const { return m_adbd.port(); }

    // A handle on the phone through the desktop's ADB client over TCP, signed in with `key` (the
    // client's shared key when null); null when the phone has not let it in within `ms`.
    PAdbUSBHandle connect(std::shared_ptr<const AdbKey> key = nullptr, int ms = 10000) const;

    // Not null: installs fail with this package manager reason.
    void setInstallFailure(const QString &reason);

    // What happened on the phone.
    bool appInstalled() const;
    int installCount() const;
    // The phone ports of the sessions the app was asked to serve, in order.
    QList<quint16> sessionPorts() const;

private:
    std::optional<SimulatedAdbd::ShellResult> answer(const QString &command);

    mutable QMutex m_mutex;
    bool m_installed;
    bool m_launched = false;
    int m_installs = 0;
    QString m_installFailure;
    QStringList m_otherPackages;
    QList<quint16> m_sessionPorts;
    // Declared last: the daemon's connections end before the app they reach goes away.
    CompanionApp m_app;
    SimulatedAdbd m_adbd;
};

} // namespace tarnwick::peers
