#include "SubscriptionCallQueue.h"

#include <thread>

SubscriptionCallQueue &SubscriptionCallQueue::instance()
{
    // Leaked on purpose: the thread may still be inside the library when static objects are
    // destroyed at exit.
    static SubscriptionCallQueue *const queue = new SubscriptionCallQueue;
    return *queue;
}

SubscriptionCallQueue::SubscriptionCallQueue()
{
    std::thread([this] { runCalls(); }).detach();
}

void SubscriptionCallQueue::post(std::function<void()> call)
{
    {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(std::move(call));
    }
    m_posted.notify_one();
}

void SubscriptionCallQueue::runCalls()
{
    for (;;) {
        std::function<void()> call;
        {
            std::unique_lock lock(m_mutex);
            m_posted.wait(lock, [this] { return !m_calls.empty(); });
            call = std::move(m_calls.front());
            m_calls.pop_front();
        }
        call();
    }
}
