#include "AbsAdbPoll.h"

#include <QMutexLocker>

AbsAdbPoll::AbsAdbPoll(int interval, QObject *parent)
    : QThread(parent)
    , m_interval(interval)
{}

AbsAdbPoll::~AbsAdbPoll()
{
    stop();
}

int AbsAdbPoll::interval() const
{
    return m_interval;
}

void AbsAdbPoll::stop()
{
    {
        QMutexLocker lock(&m_mutex);
        m_stopped = true;
        m_wake.wakeAll();
    }
    stopping();
    wait();
}

bool AbsAdbPoll::isStopped() const
{
    QMutexLocker lock(&m_mutex);
    return m_stopped;
}

void AbsAdbPoll::requestPass()
{
    QMutexLocker lock(&m_mutex);
    m_passRequested = true;
    m_wake.wakeAll();
}

void AbsAdbPoll::run()
{
    for (;;) {
        {
            QMutexLocker lock(&m_mutex);
            if (m_stopped)
                break;
            m_passRequested = false;
        }
        poll();
        QMutexLocker lock(&m_mutex);
        if (m_stopped)
            break;
        if (!m_passRequested)
            m_wake.wait(&m_mutex, static_cast<unsigned long>(qMax(m_interval, 1)));
    }
    pollEnded();
}
