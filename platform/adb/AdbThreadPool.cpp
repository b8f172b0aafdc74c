#include "AdbThreadPool.h"

#include <QThreadPool>

namespace {

// Each carried connection of a forward occupies two workers for its whole life, so the pool must
// not queue them behind one another.
constexpr int kMaxWorkers = 256;

QThreadPool *makePool()
{
    static QThreadPool pool;
    pool.setMaxThreadCount(kMaxWorkers);
    return &pool;
}

} // namespace

QThreadPool *adbThreadPool()
{
    // Kept apart from the global pool so that draining it at exit waits only for ADB work.
    static QThreadPool *pool = makePool();
    return pool;
}
