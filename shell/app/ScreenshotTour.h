#pragma once

#include <QString>

class MainWindow;

// A scripted walk through the window for visual review: selects the first local database and its
// first contact, then saves pictures of the main window, a message box and the progress dialog
// into a folder and quits. Started only when TARNWICK_SCREENSHOT_DIR is set.
class ScreenshotTour
{
public:
    static void start(MainWindow &window, const QString &folder);
};
