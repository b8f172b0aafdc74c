#include "Program.h"
#include "ScreenshotTour.h"

#include "shell/kit/ProductInfo.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QString::fromLatin1(ProductInfo::mainIconPath)));
    Program::Hooks hooks = Program::defaultHooks();
    // Set by scripts/screenshots.sh only: the window shows itself, its dialogs and a message box,
    // saves each as a picture in that folder, and the program ends.
    const QString shots = qEnvironmentVariable("TARNWICK_SCREENSHOT_DIR");
    if (!shots.isEmpty())
        hooks.windowShown = [shots](MainWindow &window) { ScreenshotTour::start(window, shots); };
    return Program::exec(hooks);
}
