#include "AdbThreadPool.h"

#include <QThreadPool>

QThreadPool *adbThreadPool()
{
    // Kept apart from the global pool so that draining it at exit waits only for ADB work.
    static QThreadPool pool;
    return &pool;
}
