#pragma once

#include <QMutex>
#include <QThread>
#include <QWaitCondition>

// A thread that looks for phones every `interval` milliseconds until stop() is called.
class AbsAdbPoll : public QThread
{
    Q_OBJECT
public:
    AbsAdbPoll(int interval, QObject *parent);
    ~AbsAdbPoll() override;

    int interval() const;
    // Ends the polling and joins the thread; afterwards no signal is emitted. Safe on a poll that
    // was never started and when called more than once.
    void stop();
    bool isStopped() const;

protected:
    void run() override;
    // One look for phones; runs on the poll's own thread.
    virtual void poll() = 0;

private:
    const int m_interval;
    mutable QMutex m_mutex;
    QWaitCondition m_wake;
    bool m_stopped = false;
};
