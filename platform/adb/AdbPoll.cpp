#include "AdbPoll.h"

AdbPoll::AdbPoll(int interval, QObject *parent)
    : AbsAdbPoll(interval, parent)
{
    qRegisterMetaType<PAdbUSBHandle>("PAdbUSBHandle");
}

AdbPoll::~AdbPoll()
{
    stop();
}

void AdbPoll::poll() {}
