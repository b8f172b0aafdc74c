#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QSharedPointer>
#include <QString>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

class AdbForwardListener;
class AdbTransport;

// One Android phone reached over USB debugging (or, for tests and emulators, over TCP). A handle
// made with a transport talks to the phone through it; one made with an identifier alone stands for
// a phone that never answers. The operations are virtual so that a test can stand in for a phone.
class AdbUSBHandle
{
public:
    explicit AdbUSBHandle(QString deviceId = QString());
    explicit AdbUSBHandle(std::shared_ptr<AdbTransport> transport);
    virtual ~AdbUSBHandle();

    AdbUSBHandle(const AdbUSBHandle &) = delete;
    AdbUSBHandle &operator=(const AdbUSBHandle &) = delete;

    // The phone's identifier (its serial number); the same text at its arrival and at its removal.
    virtual QString deviceId() const;
    // Waits up to ms milliseconds for the phone to allow USB debugging for this computer. A wait
    // after one that ended unanswered is the user's retry: unless the phone has asked again by
    // itself, it is offered the key once more, so that a prompt dismissed or timed out comes back.
    virtual bool waitForAuth2(int ms);

    // Runs one command line in the phone's shell; its output goes to output (may be null). False
    // with a reason when the command could not be run.
    virtual bool shell(const QString &command, QByteArray *output, QString *error);
    // Like shell(), and exitCode (may be null) receives the command's exit status where the phone
    // reports one, 0 where it does not, -1 when the command did not run. Without a transport it
    // goes through shell().
    virtual bool shellStatus(const QString &command, QByteArray *output, QString *error, int *exitCode);
    // Installs a package file on the phone; false with a reason when it was not installed.
    virtual bool install(const QString &apkPath, const QString &options, QString *error);
    // Whether the package manager's answer to an install (its output and exit status) says the
    // package was installed; otherwise the reason goes to error (may be null).
    static bool installSucceeded(const QByteArray &output, int exitCode, QString *error);
    // Makes a connection to 127.0.0.1:localPort reach remotePort on the phone; returns the local
    // port (a free one when 0 was asked for), 0 on failure. A phone that is gone gets no listener.
    virtual quint16 forward(quint16 localPort, quint16 remotePort, QString *error);
    // Ends the forward of localPort once every forward() of it has been matched by a call here: the
    // port, its listener and thread are freed, and the connections it carries end once they have
    // drained. Nothing happens for a port without a forward.
    virtual void removeForward(quint16 localPort);

    // Whether the conversation with the phone has ended (unplugged, broken or closed); false for a
    // handle without one.
    virtual bool isGone() const;

    // The conversation with the phone; null for a handle without one.
    std::shared_ptr<AdbTransport> transport() const { return m_transport; }

private:
    QString m_deviceId;
    std::shared_ptr<AdbTransport> m_transport;
    // The key offers counted when the last wait ended unanswered; -1: it did not.
    std::atomic_int m_unansweredOffers{-1};
    std::mutex m_forwardsMutex;
    struct Forward
    {
        std::unique_ptr<AdbForwardListener> listener;
        // The sessions that asked for this port and have not released it yet.
        int users = 0;
    };
    std::map<quint16, Forward> m_forwards;
};

using PAdbUSBHandle = QSharedPointer<AdbUSBHandle>;

Q_DECLARE_METATYPE(PAdbUSBHandle)
