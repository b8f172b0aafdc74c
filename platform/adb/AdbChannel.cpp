#include "AdbChannel.h"

AdbChannel::~AdbChannel() = default;
