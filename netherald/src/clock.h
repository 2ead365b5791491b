// The time a worker waits on: the system's, or a test's hand-stepped one.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace netherald
{
// Set once to end a wait early; wakes the wait at once. Clocks wait on its members.
class CancelToken
{
public:
    void cancel();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_cancelled = false;
};

class Clock
{
public:
    virtual ~Clock() = default;
    // Waits until `duration` has passed on this clock or the token is cancelled; true when
    // the time passed.
    virtual bool waitFor(std::chrono::milliseconds duration, CancelToken& token) = 0;
};

class SystemClock : public Clock
{
public:
    bool waitFor(std::chrono::milliseconds duration, CancelToken& token) override;
};
} // namespace netherald
