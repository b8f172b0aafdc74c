#pragma once

#include <QString>

#include <stdexcept>

// A failure of the ADB client: a transport that broke, a phone that refused a service, a key that
// could not be made. The text is UTF-8 and fit to show.
class AdbError : public std::runtime_error
{
public:
    explicit AdbError(const QString &text);
};
