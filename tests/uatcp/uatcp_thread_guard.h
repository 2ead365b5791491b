// A test's helper thread that is still running when a failed assertion ends the
// test early: the guard first releases what the thread waits on (the server or
// connection it talks to), then joins it, so that the failure is reported as one
// and the thread never outlives the test's state (nor ends the run in
// std::terminate from a joinable std::thread).
#pragma once
#include <functional>
#include <thread>
#include <utility>

namespace uatcp::test
{
class JoinOnExit
{
public:
    JoinOnExit(std::thread& thread, std::function<void()> release)
        : m_thread(thread), m_release(std::move(release))
    {
    }
    JoinOnExit(const JoinOnExit&) = delete;
    JoinOnExit& operator=(const JoinOnExit&) = delete;
    ~JoinOnExit()
    {
        if (!m_thread.joinable())
            return;
        m_release();
        m_thread.join();
    }

private:
    std::thread& m_thread;
    std::function<void()> m_release;
};
} // namespace uatcp::test
