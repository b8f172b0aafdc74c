#include "AdbUsbLibrary.h"

AdbUsbLibrary::~AdbUsbLibrary() = default;
