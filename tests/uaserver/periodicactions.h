// Runs actions on a thread of its own, each at its own fixed rate, until stopped: the test server's
// changing values. A tick that falls behind is skipped rather than caught up, so a slow machine
// sees the same cadence, only with gaps. The ticks fall half their interval past the
// multiples of it on the steady clock, as a device's updates that come between the server's
// sampling passes (which fall on multiples of the sampling interval) rather than on them.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace uaservertest
{
class PeriodicActions
{
public:
    PeriodicActions() = default;
    ~PeriodicActions() { stop(); }
    PeriodicActions(const PeriodicActions&) = delete;
    PeriodicActions& operator=(const PeriodicActions&) = delete;

    // Before start only; an interval of 0 is not added.
    void add(std::chrono::milliseconds interval, std::function<void()> action)
    {
        if (interval.count() > 0)
            m_actions.push_back({interval, std::move(action), {}});
    }

    void start()
    {
        if (m_thread.joinable() || m_actions.empty())
            return;
        m_stop = false;
        m_thread = std::thread([this] { run(); });
    }

    // Returns once no action runs any more; start may follow.
    void stop()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    using Clock = std::chrono::steady_clock;
    struct Action
    {
        std::chrono::milliseconds interval;
        std::function<void()> run;
        Clock::time_point next;
    };

    void run()
    {
        const auto start =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch());
        for (Action& action : m_actions)
        {
            auto next = start - start % action.interval + action.interval / 2;
            if (next <= start)
                next += action.interval;
            action.next = Clock::time_point(next);
        }
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_stop)
        {
            Clock::time_point due = m_actions.front().next;
            for (const Action& action : m_actions)
                due = std::min(due, action.next);
            if (m_wake.wait_until(lock, due, [this] { return m_stop; }))
                break;
            lock.unlock();
            const Clock::time_point now = Clock::now();
            for (Action& action : m_actions)
            {
                if (action.next > now)
                    continue;
                action.run();
                while (action.next <= now)
                    action.next += action.interval;
            }
            lock.lock();
        }
    }

    std::vector<Action> m_actions;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};
} // namespace uaservertest
