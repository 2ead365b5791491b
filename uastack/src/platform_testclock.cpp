// The hand-stepped test clock: one process-wide state behind the TestClock object.
#include "test_clock.h"

#include <opcua_testclock.hpp>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <mutex>

namespace OpcUa::testclock
{

std::atomic<bool> g_active{false};

namespace
{
constexpr OpcUa_Int64 kTicksPerMillisecond = 10000; // date-time units of 100 ns

struct Sleeper
{
    OpcUa_UInt64 wakeAt = 0; // elapsed milliseconds of the clock
    bool woken = false;
};

struct State
{
    std::mutex mutex;
    std::condition_variable changed;
    OpcUa_Int64 utcAtStart = 0;
    OpcUa_UInt32 tickAtStart = 0;
    OpcUa_UInt64 elapsed = 0; // milliseconds advanced since start
    OpcUa_Int64 utcShift = 0; // date-time units set on top of elapsed
    std::list<Sleeper*> sleepers;
};

// Never destroyed: threads may still sleep or ask the time while static objects go.
State& state()
{
    static State* s = new State;
    return *s;
}

OpcUa_Int64 utcLocked(const State& s)
{
    return s.utcAtStart + static_cast<OpcUa_Int64>(s.elapsed) * kTicksPerMillisecond + s.utcShift;
}

void wakeAllLocked(State& s)
{
    for (Sleeper* sleeper : s.sleepers)
        sleeper->woken = true;
    s.sleepers.clear();
    s.changed.notify_all();
}
} // namespace

bool utcNow(OpcUa_DateTime* now)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (!g_active.load(std::memory_order_relaxed))
        return false;
    *now = OpcUa_DateTime_FromInt64(utcLocked(s));
    return true;
}

bool tickCount(OpcUa_UInt32* ticks)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (!g_active.load(std::memory_order_relaxed))
        return false;
    *ticks = s.tickAtStart + static_cast<OpcUa_UInt32>(s.elapsed);
    return true;
}

bool sleep(OpcUa_UInt32 milliseconds)
{
    State& s = state();
    std::unique_lock lock(s.mutex);
    if (!g_active.load(std::memory_order_relaxed))
        return false;
    if (milliseconds == 0)
        return true;
    Sleeper self;
    self.wakeAt = s.elapsed + milliseconds;
    s.sleepers.push_back(&self);
    s.changed.notify_all(); // for waitForSleepers
    s.changed.wait(lock, [&] { return self.woken; });
    return true;
}

} // namespace OpcUa::testclock

namespace OpcUa
{
using namespace testclock;

TestClock::TestClock() : TestClock(OpcUa_DateTime_UtcNow(), OpcUa_GetTickCount()) {}

TestClock::TestClock(OpcUa_DateTime utcNow, OpcUa_UInt32 tickCount)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (g_active.load(std::memory_order_relaxed))
    {
        std::fprintf(stderr, "TestClock: a second test clock in one process\n");
        std::abort();
    }
    s.utcAtStart = OpcUa_DateTime_ToInt64(utcNow);
    s.tickAtStart = tickCount;
    s.elapsed = 0;
    s.utcShift = 0;
    g_active.store(true, std::memory_order_release);
}

TestClock::~TestClock()
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    g_active.store(false, std::memory_order_release);
    wakeAllLocked(s);
}

void TestClock::advance(OpcUa_UInt32 milliseconds)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.elapsed += milliseconds;
    // Woken sleepers leave the list here, not when their thread gets to run, so that a
    // following waitForSleepers waits for them to sleep again.
    for (auto it = s.sleepers.begin(); it != s.sleepers.end();)
    {
        if ((*it)->wakeAt <= s.elapsed)
        {
            (*it)->woken = true;
            it = s.sleepers.erase(it);
        }
        else
            ++it;
    }
    s.changed.notify_all();
}

void TestClock::setUtcNow(OpcUa_DateTime utcNow)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.utcShift += OpcUa_DateTime_ToInt64(utcNow) - utcLocked(s);
}

void TestClock::shiftUtc(OpcUa_Int64 milliseconds)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.utcShift += milliseconds * kTicksPerMillisecond;
}

OpcUa_DateTime TestClock::utcNow() const
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    return OpcUa_DateTime_FromInt64(utcLocked(s));
}

OpcUa_UInt32 TestClock::tickCount() const
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.tickAtStart + static_cast<OpcUa_UInt32>(s.elapsed);
}

OpcUa_UInt32 TestClock::sleeperCount() const
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    return static_cast<OpcUa_UInt32>(s.sleepers.size());
}

bool TestClock::waitForSleepers(OpcUa_UInt32 count, OpcUa_UInt32 timeoutMs) const
{
    State& s = state();
    std::unique_lock lock(s.mutex);
    return s.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return s.sleepers.size() >= count; });
}

} // namespace OpcUa
