// The wake event and the thread of a channel's or a group's worker.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

// Auto-reset: one Wait takes the wake that was set. Each worker owns its own
// event, so that a wake never reaches another channel's worker.
class CWakeEvent
{
public:
    void Set()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_set = true;
        m_cv.notify_one();
    }
    // True when woken, false after the time-out.
    bool Wait(int milliseconds)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const bool woken =
            m_cv.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return m_set; });
        m_set = false;
        return woken;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_set = false;
};

class CWorkerThread
{
public:
    static constexpr int StopWaitMs = 5000;

    ~CWorkerThread() { Join({}); }

    void Start(std::function<void()> body)
    {
        std::promise<void> ended;
        m_ended = ended.get_future();
        m_thread = std::thread(
            [body = std::move(body), ended = std::move(ended)]() mutable
            {
                body();
                ended.set_value();
            });
    }
    bool Running() const { return m_thread.joinable(); }

    // A worker still running after the stop wait is never left behind: the
    // caller is told once and the join goes on, since the worker uses objects
    // that its owner is about to delete.
    void Join(const std::function<void()>& onSlow)
    {
        if (!m_thread.joinable())
            return;
        if (m_ended.wait_for(std::chrono::milliseconds(StopWaitMs)) != std::future_status::ready && onSlow)
            onSlow();
        m_thread.join();
    }

private:
    std::thread m_thread;
    std::future<void> m_ended;
};
