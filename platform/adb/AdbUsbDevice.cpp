#include "AdbUsbDevice.h"

AdbUsbDevice::~AdbUsbDevice() = default;
