#pragma once

#include "IAndroidConnector.h"

#include "platform/adb/AdbUSBHandle.h"

#include <functional>
#include <stdexcept>

// The way to the companion app of a phone on USB debugging: installs the app when the phone lacks
// it, and for each session launches it, forwards the session port from this computer to the same
// port on the phone and asks the app (by broadcast) to serve the session there; the forward goes
// again when the session ends. With a null handle
// (an offline phone database) nothing is sent and every session is pointed at the loopback address,
// where it then fails to connect.
class AdbConnector : public IAndroidConnector
{
public:
    // Blocks the calling session's thread for the given number of seconds. The default pause ends
    // early, with an error, when the session is cancelled (AdbInterruption).
    using Pause = std::function<void(unsigned long seconds)>;

    static const QString kPackage;
    static const QString kPackageResource;
    static const QString kHost;
    // Waits that give the phone time to settle: after an install, and after asking for a session.
    static constexpr unsigned long kInstallPauseSeconds = 5;
    static constexpr unsigned long kSessionPauseSeconds = 3;

    explicit AdbConnector(PAdbUSBHandle handle, Pause pause = {});
    ~AdbConnector() override;

    void initialCheck() override;
    QString startBackup(int port) override;
    QString startRestore(int port) override;
    QString logcat() override;
    // Releases the session's forward.
    void endSession(int port) override;
    bool phoneGone() const override;

    PAdbUSBHandle handle;

private:
    QString startSession(int port, const QString &uri);
    // Runs one command of a session's start; throws when it did not run or the phone says it failed.
    void startCommand(const QString &command);
    // The text of a failure: the phone's disconnection where that is what happened.
    std::runtime_error failure(const QString &text) const;

    Pause m_pause;
};

// Forwards a port of this computer to a port of the phone; 0 on failure, with a reason in `error`.
quint16 adbForward(PAdbUSBHandle handle, quint16 localPort, quint16 remotePort, QString *error);
