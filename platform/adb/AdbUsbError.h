#pragma once

#include "AdbError.h"

// A phone that could not be opened or claimed, with libusb's reason code, so that a user who lacks
// the rights is told so and one whose phone is busy is told that.
class AdbUsbError : public AdbError
{
public:
    AdbUsbError(const QString &text, int code);

    int code() const { return m_code; }
    // Whether the user may not open the device (no udev rule grants it).
    bool accessDenied() const;

private:
    int m_code;
};
