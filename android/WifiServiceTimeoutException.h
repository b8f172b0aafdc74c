#pragma once

#include <exception>

// The phone's control port could not be reached (or did not greet back in time) when a Wi-Fi phone
// was first connected; the connection dialog tells the user to check the address.
class WifiServiceTimeoutException : public std::exception
{
public:
    ~WifiServiceTimeoutException() override;
    const char *what() const noexcept override;
};
