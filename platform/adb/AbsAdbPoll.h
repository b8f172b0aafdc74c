#pragma once

#include <QMutex>
#include <QThread>
#include <QWaitCondition>

// A thread that looks for phones every `interval` milliseconds, and whenever asked to, until stop()
// is called.
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
    // Looks again now rather than at the end of the interval (something was plugged in or out).
    // A request made during a pass gives one more pass right after it. Any thread.
    void requestPass();

protected:
    void run() override;
    // One look for phones; runs on the poll's own thread.
    virtual void poll() = 0;
    // The last thing on the poll's thread, after its last pass: where its helpers end.
    virtual void pollEnded() {}
    // Called by stop() on its caller's thread before it joins the poll's thread: ends what the pass
    // under way waits for, so that quitting never waits on a phone.
    virtual void stopping() {}

private:
    const int m_interval;
    mutable QMutex m_mutex;
    QWaitCondition m_wake;
    bool m_stopped = false;
    bool m_passRequested = false;
};
