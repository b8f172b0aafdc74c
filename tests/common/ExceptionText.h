#pragma once

#include <QString>

#include <exception>
#include <functional>

namespace tarnwick::test {

// The text of the `Exception` the call throws, or an empty text when it returns normally. Any
// other exception passes on, so that a test meeting the wrong kind fails instead of reading it.
template<typename Exception = std::exception> QString whatOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const Exception &e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

} // namespace tarnwick::test
