#pragma once

#include <QtGlobal>

// A kernel pipe that carries a forward's bytes from one socket to another without passing through
// this process. Both ends close with the pipe.
class AdbPipe
{
public:
    // Asks for room for `capacity` bytes; the kernel may grant less (see capacity()).
    explicit AdbPipe(qint64 capacity);
    ~AdbPipe();
    AdbPipe(const AdbPipe &) = delete;
    AdbPipe &operator=(const AdbPipe &) = delete;

    bool isValid() const { return m_read >= 0 && m_write >= 0; }
    int readEnd() const { return m_read; }
    int writeEnd() const { return m_write; }
    // What the pipe holds at most.
    qint64 capacity() const { return m_capacity; }

private:
    int m_read = -1;
    int m_write = -1;
    qint64 m_capacity = 0;
};
