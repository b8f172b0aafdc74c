#pragma once

#include <exception>
#include <utility>

// Where the exceptions of the user's actions end. Every entry point of a feature of the main window
// (a menu entry, a click in a list, a device event) runs its work through run(): a database, a
// device or a file that fails shows its error in the error box and the program goes on. Nothing
// ever reaches Qt's event loop, which would end the program.
class ActionGuard
{
public:
    template<typename Action> static void run(Action &&action) noexcept
    {
        try {
            std::forward<Action>(action)();
        } catch (const std::exception &e) {
            report(e);
        } catch (...) {
            reportUnknown();
        }
    }

    // The same for an action with a result, which is `failed` when the action threw.
    template<typename T, typename Action> static T value(T failed, Action &&action) noexcept
    {
        try {
            return std::forward<Action>(action)();
        } catch (const std::exception &e) {
            report(e);
        } catch (...) {
            reportUnknown();
        }
        return failed;
    }

    // The error box for an exception: its text, read as UTF-8.
    static void report(const std::exception &e);

private:
    static void reportUnknown();
};
