#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

// Runs the device library's event subscription calls one after another on a thread of their own,
// which the program never waits for and never joins.
//
// Ending the library's subscription joins the library's event thread, and that thread can wait
// without end for the multiplexing service to come up; a subscription made later in the same
// process must not overlap an ending one, since the library keeps its subscription in globals.
// Calls posted here therefore run in the order posted, and whoever posts decides how long, if at
// all, it waits for the outcome.
class SubscriptionCallQueue
{
public:
    // The queue of the process. It is never destroyed, so that a call still running when the
    // process ends finds its queue intact.
    static SubscriptionCallQueue &instance();

    // Returns at once; `call` runs on the queue's thread after the calls posted before it.
    void post(std::function<void()> call);

    SubscriptionCallQueue(const SubscriptionCallQueue &) = delete;
    SubscriptionCallQueue &operator=(const SubscriptionCallQueue &) = delete;

private:
    SubscriptionCallQueue();
    ~SubscriptionCallQueue() = default;
    void runCalls();

    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<std::function<void()>> m_calls;
};
