#pragma once

#include <functional>

// A user's Cancel as the ADB waits of one thread see it. A worker that may be cancelled opens a
// scope with its check for the time of its work; every wait of a stream on that thread then looks
// at the check several times a second and ends with AdbError once it says so. Without a scope the
// waits are as before: up to their own time limits.
//
//     AdbInterruption::Scope scope([&progress] { return progress.canceled.load(); });
class AdbInterruption
{
public:
    using Check = std::function<bool()>;

    class Scope
    {
    public:
        explicit Scope(Check check);
        ~Scope();
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;

    private:
        Check m_previous;
    };

    // How often a waiting thread under a scope looks at its check.
    static constexpr int kSliceMs = 50;

    // Whether this thread is under a scope at all.
    static bool watched();
    // Whether the check of this thread's scope says stop.
    static bool requested();
    // Throws AdbError when requested().
    static void throwIfRequested();
};
