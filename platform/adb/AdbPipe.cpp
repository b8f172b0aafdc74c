#include "AdbPipe.h"

#include <fcntl.h>
#include <unistd.h>

AdbPipe::AdbPipe(qint64 capacity)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return;
    m_read = ends[0];
    m_write = ends[1];
    // Beyond the system's limit for users the pipe keeps the size it has.
    ::fcntl(m_write, F_SETPIPE_SZ, int(qMin<qint64>(capacity, 1 << 30)));
    const int granted = ::fcntl(m_write, F_GETPIPE_SZ);
    m_capacity = granted > 0 ? qMin<qint64>(granted, capacity) : 0;
}

AdbPipe::~AdbPipe()
{
    if (m_read >= 0)
        ::close(m_read);
    if (m_write >= 0)
        ::close(m_write);
}
