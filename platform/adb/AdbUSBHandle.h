#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QSharedPointer>
#include <QString>

// One Android phone reached over USB debugging. The default implementation stands for a phone that
// never answers: nothing here talks to a device, so a test or a later transport supplies the real
// behaviour by overriding the virtual operations.
class AdbUSBHandle
{
public:
    explicit AdbUSBHandle(QString deviceId = QString());
    virtual ~AdbUSBHandle();

    AdbUSBHandle(const AdbUSBHandle &) = delete;
    AdbUSBHandle &operator=(const AdbUSBHandle &) = delete;

    // The phone's identifier; the same text at its arrival and at its removal.
    virtual QString deviceId() const;
    // Waits up to ms milliseconds for the phone to allow USB debugging for this computer.
    virtual bool waitForAuth2(int ms);

    // Runs one command line in the phone's shell; its output goes to output (may be null). False
    // with a reason when the command could not be run.
    virtual bool shell(const QString &command, QByteArray *output, QString *error);
    // Installs a package file on the phone; false with a reason when it was not installed.
    virtual bool install(const QString &apkPath, const QString &options, QString *error);
    // Makes a connection to 127.0.0.1:localPort reach remotePort on the phone; 0 on failure.
    virtual quint16 forward(quint16 localPort, quint16 remotePort, QString *error);

private:
    QString m_deviceId;
};

using PAdbUSBHandle = QSharedPointer<AdbUSBHandle>;

Q_DECLARE_METATYPE(PAdbUSBHandle)
