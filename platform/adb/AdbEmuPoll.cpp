#include "AdbEmuPoll.h"

AdbEmuPoll::AdbEmuPoll(int interval, QObject *parent)
    : AbsAdbPoll(interval, parent)
{}

AdbEmuPoll::~AdbEmuPoll()
{
    stop();
}

void AdbEmuPoll::poll() {}
