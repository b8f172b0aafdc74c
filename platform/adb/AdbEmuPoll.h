#pragma once

#include "AbsAdbPoll.h"
#include "AdbUSBHandle.h"

#include <QList>
#include <QMap>

// Looks for emulators: phones' daemons listening on TCP ports of this computer (5555, 5557, …,
// 5585 unless told otherwise). The program never starts it; it exists so that it can be stopped at
// exit like the USB poll.
class AdbEmuPoll : public AbsAdbPoll
{
    Q_OBJECT
public:
    AdbEmuPoll(int interval, QObject *parent);
    ~AdbEmuPoll() override;

    // The local ports to look at; set before start().
    void setPorts(const QList<quint16> &ports);

signals:
    void newDevice(QString path, PAdbUSBHandle handle);
    void kickDevice(QString path, PAdbUSBHandle handle);
    void failedDevice(QString path);

protected:
    void poll() override;

private:
    QList<quint16> m_ports;
    QMap<quint16, PAdbUSBHandle> m_devices;
};
