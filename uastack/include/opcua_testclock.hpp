// A clock that tests step by hand. While one exists, OpcUa_DateTime_UtcNow, OpcUa_GetTickCount
// and OpcUa_Thread_Sleep follow it instead of the system's clocks: time stands still until the
// test advances it, and a sleeping thread wakes once the clock has advanced by its sleep time.
// Off unless a test creates one; one at a time per process.
#pragma once

#include <opcua.h>

namespace OpcUa
{

class OPCUA_EXPORT TestClock
{
public:
    // Starts at the system's present date-time and tick count.
    TestClock();
    TestClock(OpcUa_DateTime utcNow, OpcUa_UInt32 tickCount);
    // Back to the system's clocks; every sleeper wakes.
    ~TestClock();
    TestClock(const TestClock&) = delete;
    TestClock& operator=(const TestClock&) = delete;

    // Moves date-time and tick count forward together; sleepers whose time has come are woken
    // and no longer counted as sleeping when this returns.
    void advance(OpcUa_UInt32 milliseconds);
    // Sets the date-time alone (forward or back), as when the system time is set; the tick
    // count and the sleepers do not notice.
    void setUtcNow(OpcUa_DateTime utcNow);
    // The date-time moved by a signed number of milliseconds, as setUtcNow does.
    void shiftUtc(OpcUa_Int64 milliseconds);

    OpcUa_DateTime utcNow() const;
    OpcUa_UInt32 tickCount() const;

    // Threads asleep in OpcUa_Thread_Sleep now.
    OpcUa_UInt32 sleeperCount() const;
    // Waits, in real time, until at least count threads sleep; false after timeoutMs.
    bool waitForSleepers(OpcUa_UInt32 count, OpcUa_UInt32 timeoutMs = 30000) const;
};

} // namespace OpcUa
