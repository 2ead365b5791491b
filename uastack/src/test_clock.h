// The hand-stepped clock of <opcua_testclock.hpp> as the platform's time and sleep calls see it.
#pragma once

#include <opcua.h>

#include <atomic>

namespace OpcUa::testclock
{

extern std::atomic<bool> g_active;

// Each answers false, and does nothing, while no test clock exists.
bool utcNow(OpcUa_DateTime* now);
bool tickCount(OpcUa_UInt32* ticks);
bool sleep(OpcUa_UInt32 milliseconds);

inline bool active()
{
    return g_active.load(std::memory_order_acquire);
}

} // namespace OpcUa::testclock
