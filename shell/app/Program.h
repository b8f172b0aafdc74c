#pragma once

#include "MainWindow.h"

#include <QThread>

#include <functional>
#include <memory>

// The life of the process between the application object and its end: the display-sleep
// assertion, the translation catalogue, the wrapper version check, the ADB server watcher and the
// main window, torn down in the reverse order. The outside services are hooks, so that a test can
// stand in for each of them.
class Program
{
public:
    // The database wrapper version the program is built for.
    static constexpr int kWrapperVersion = 8;

    struct Hooks
    {
        // The database wrapper's version.
        std::function<int()> wrapperVersion;
        // Takes the display-sleep assertion; the result holds it until released (null: none held).
        std::function<std::shared_ptr<void>()> powerAssertion;
        // Builds the thread that keeps foreign ADB servers away (null: none).
        std::function<std::unique_ptr<QThread>()> adbWatcher;
        // What the main window calls outside (how exitProgram() ends the process, how the iPhone
        // events start); empty hooks take the real services.
        MainWindow::Hooks window;
        // Called once the main window is visible, before the storage warning.
        std::function<void(MainWindow &)> windowShown;
    };

    // The hooks of a real run.
    static Hooks defaultHooks();

    // Runs the program on the application object that already exists; returns the exit code.
    static int exec(const Hooks &hooks);
};
