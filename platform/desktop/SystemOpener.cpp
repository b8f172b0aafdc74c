#include "SystemOpener.h"

#include <QMutex>
#include <QMutexLocker>
#include <QProcess>
#include <QStringList>

namespace {

QMutex &handlerMutex()
{
    static QMutex mutex;
    return mutex;
}

SystemOpener::Handler &currentHandler()
{
    static SystemOpener::Handler handler;
    return handler;
}

} // namespace

void SystemOpener::open(const QString &target)
{
    Handler handler;
    {
        QMutexLocker lock(&handlerMutex());
        handler = currentHandler();
    }
    if (handler)
        handler(target);
    else
        runSystemCommand(target);
}

SystemOpener::Handler SystemOpener::setHandler(Handler handler)
{
    QMutexLocker lock(&handlerMutex());
    Handler previous = std::move(currentHandler());
    currentHandler() = std::move(handler);
    return previous;
}

void SystemOpener::runSystemCommand(const QString &target)
{
#ifdef Q_OS_MACOS
    const QString program = QStringLiteral("open");
#else
    const QString program = QStringLiteral("xdg-open");
#endif
    // An argument list, not a command line: no shell ever sees the text, so quotes, blanks, "$",
    // backquotes and backslashes reach the opener unchanged.
    QProcess::execute(program, QStringList{target});
}
