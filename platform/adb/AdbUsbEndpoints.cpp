#include "AdbUsbEndpoints.h"

AdbUsbEndpoints::~AdbUsbEndpoints() = default;
