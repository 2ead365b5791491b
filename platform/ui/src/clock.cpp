#include <ui/clock.h>

namespace ui
{
void Clock::setListener(std::function<void()> listener)
{
    std::lock_guard lock(m_mutex);
    m_listener = std::move(listener);
}

void Clock::moved()
{
    std::function<void()> listener;
    {
        std::lock_guard lock(m_mutex);
        listener = m_listener;
    }
    if (listener)
        listener();
}

Milliseconds SteadyClock::now() const
{
    return std::chrono::duration_cast<Milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
}

SteadyClock& steadyClock()
{
    static SteadyClock clock;
    return clock;
}

void FakeClock::advance(Milliseconds step)
{
    m_now += step.count();
    moved();
}

void FakeClock::set(Milliseconds time)
{
    m_now = time.count();
    moved();
}
} // namespace ui
