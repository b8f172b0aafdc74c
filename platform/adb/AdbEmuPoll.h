#pragma once

#include "AbsAdbPoll.h"

// Looks for emulators. The program never starts it; it exists so that it can be stopped at exit
// like the USB poll.
class AdbEmuPoll : public AbsAdbPoll
{
    Q_OBJECT
public:
    AdbEmuPoll(int interval, QObject *parent);
    ~AdbEmuPoll() override;

protected:
    void poll() override;
};
