#pragma once

#include "AbsAdbPoll.h"
#include "AdbUSBHandle.h"

// Reports Android phones on USB as they come and go. This build has no USB transport, so a pass
// finds nothing; the signals are emitted by a transport (or a test) on the poll's behalf.
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
};
