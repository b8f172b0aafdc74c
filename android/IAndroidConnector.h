#pragma once

#include <QSharedPointer>
#include <QString>

// The way to one phone's companion app: makes sure the app is there and has it serve one session at
// a time on a TCP port. Failures are std::exception subclasses with a text for the user.
class IAndroidConnector
{
public:
    virtual ~IAndroidConnector() = default;

    // Makes sure the companion app is installed on the phone.
    virtual void initialCheck() = 0;
    // Has the app serve a load (the phone sends its contacts) on `port`; the host to connect to.
    virtual QString startBackup(int port) = 0;
    // Has the app serve a write or send-changes session on `port`; the host to connect to.
    virtual QString startRestore(int port) = 0;
    // The phone's log text.
    virtual QString logcat() = 0;
    // The session on `port` is over (or never got going): whatever was set up for it goes. Never
    // throws; with nothing set up there is nothing to do.
    virtual void endSession(int port) { Q_UNUSED(port) }
    // Whether the phone is known to have gone (unplugged, or its connection broke), so that a
    // session that fails can say so rather than pass on the failure of its socket.
    virtual bool phoneGone() const { return false; }
};

using PAndroidConnector = QSharedPointer<IAndroidConnector>;
