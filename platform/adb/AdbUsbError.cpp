#include "AdbUsbError.h"

#include <libusb.h>

AdbUsbError::AdbUsbError(const QString &text, int code)
    : AdbError(text)
    , m_code(code)
{}

bool AdbUsbError::accessDenied() const
{
    return m_code == LIBUSB_ERROR_ACCESS;
}
