// Waiting in tests on what other threads do: a gate that holds threads until the test opens it,
// and a wait for a condition. Both wait long enough for a loaded machine and report a time-out
// as false instead of hanging the test run.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace uaserver::testing
{

inline constexpr std::chrono::seconds kGenerousWait{60};

// Threads pass once the gate is open; it stays open.
class Gate
{
public:
    void open()
    {
        {
            std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_opened.notify_all();
    }
    // False when the gate stayed shut for the whole wait.
    bool pass()
    {
        std::unique_lock lock(m_mutex);
        return m_opened.wait_for(lock, kGenerousWait, [this] { return m_open; });
    }
    bool isOpen()
    {
        std::lock_guard lock(m_mutex);
        return m_open;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_opened;
    bool m_open = false;
};

// True once condition holds; false when it did not within the wait.
inline bool eventually(const std::function<bool()>& condition)
{
    const auto deadline = std::chrono::steady_clock::now() + kGenerousWait;
    while (!condition())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace uaserver::testing
