#pragma once

#include <QString>

#include <functional>

// Hands a path or a link to the desktop's opener ("open" on macOS, "xdg-open" elsewhere) as one
// unchanged argument, without a shell, and waits for the command to return. The handler can be
// replaced, so that tests see what would have been opened without starting anything.
class SystemOpener
{
public:
    using Handler = std::function<void(const QString &target)>;

    static void open(const QString &target);

    // Installs `handler` (an empty one restores the system command) and returns the one it replaces.
    static Handler setHandler(Handler handler);

    // Runs the system command with `target` as its single argument; the exit status is ignored.
    static void runSystemCommand(const QString &target);
};
