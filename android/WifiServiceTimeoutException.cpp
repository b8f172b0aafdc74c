#include "WifiServiceTimeoutException.h"

WifiServiceTimeoutException::~WifiServiceTimeoutException() = default;

const char *WifiServiceTimeoutException::what() const noexcept
{
    return "WifiServiceTimeoutException";
}
