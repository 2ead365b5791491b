// The time base of dialog timers: the steady clock in programs, a hand-moved one in tests.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>

namespace ui
{
using Milliseconds = std::chrono::milliseconds;

class Clock
{
public:
    virtual ~Clock() = default;
    // Time since an arbitrary start.
    virtual Milliseconds now() const = 0;
    // Called (on the thread that moves the clock) whenever the time jumps, so a host
    // waiting for its next timer looks again. One listener at a time.
    void setListener(std::function<void()> listener);

protected:
    void moved();

private:
    std::mutex m_mutex;
    std::function<void()> m_listener;
};

class SteadyClock final : public Clock
{
public:
    Milliseconds now() const override;
};

// The one steady clock of the process.
SteadyClock& steadyClock();

class FakeClock final : public Clock
{
public:
    Milliseconds now() const override { return Milliseconds(m_now.load()); }
    void advance(Milliseconds step);
    void set(Milliseconds time);

private:
    std::atomic<long long> m_now{0};
};
} // namespace ui
