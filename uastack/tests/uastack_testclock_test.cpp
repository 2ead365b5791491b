// The hand-stepped test clock behind the stack's time and sleep calls.
#include <opcua.h>
#include <opcua_testclock.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace
{
constexpr OpcUa_Int64 kUnitsPerMs = 10000;

OpcUa_Int64 utcUnits()
{
    return OpcUa_DateTime_ToInt64(OpcUa_DateTime_UtcNow());
}

const OpcUa_DateTime kStart = OpcUa_DateTime_FromInt64(133000000000000000LL);

TEST(UaStackTestClock, OffTheStackFollowsTheSystemClocks)
{
    const OpcUa_UInt32 tick = OpcUa_GetTickCount();
    const OpcUa_Int64 utc = utcUnits();
    OpcUa_Thread_Sleep(20);
    EXPECT_GE(OpcUa_GetTickCount() - tick, 20u);
    EXPECT_GE(utcUnits() - utc, 19 * kUnitsPerMs); // the system clock may be coarser than 1 ms
}

TEST(UaStackTestClock, TimeStandsStillUntilAdvanced)
{
    OpcUa::TestClock clock(kStart, 5000);
    EXPECT_EQ(OpcUa_DateTime_ToInt64(kStart), utcUnits());
    EXPECT_EQ(5000u, OpcUa_GetTickCount());
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(OpcUa_DateTime_ToInt64(kStart), utcUnits());
    EXPECT_EQ(5000u, OpcUa_GetTickCount());

    clock.advance(1500);
    EXPECT_EQ(OpcUa_DateTime_ToInt64(kStart) + 1500 * kUnitsPerMs, utcUnits());
    EXPECT_EQ(6500u, OpcUa_GetTickCount());
    EXPECT_EQ(OpcUa_DateTime_ToInt64(clock.utcNow()), utcUnits());
    EXPECT_EQ(clock.tickCount(), OpcUa_GetTickCount());
}

TEST(UaStackTestClock, DateTimeJumpsAloneAndTheTickCountWraps)
{
    OpcUa::TestClock clock(kStart, 0xFFFFFF00u);
    clock.advance(0x200);
    EXPECT_EQ(0x100u, OpcUa_GetTickCount());

    const OpcUa_Int64 before = utcUnits();
    clock.shiftUtc(-60000);
    EXPECT_EQ(before - 60000 * kUnitsPerMs, utcUnits());
    EXPECT_EQ(0x100u, OpcUa_GetTickCount());

    clock.setUtcNow(kStart);
    EXPECT_EQ(OpcUa_DateTime_ToInt64(kStart), utcUnits());
    clock.advance(10);
    EXPECT_EQ(OpcUa_DateTime_ToInt64(kStart) + 10 * kUnitsPerMs, utcUnits());
    EXPECT_EQ(0x10Au, OpcUa_GetTickCount());
}

TEST(UaStackTestClock, ASleeperWakesWhenItsTimeHasPassed)
{
    OpcUa::TestClock clock;
    std::atomic<bool> woke{false};
    std::thread sleeper(
        [&]
        {
            OpcUa_Thread_Sleep(1000);
            woke = true;
        });
    ASSERT_TRUE(clock.waitForSleepers(1));
    clock.advance(999);
    EXPECT_EQ(1u, clock.sleeperCount());
    EXPECT_FALSE(woke);
    clock.advance(1);
    EXPECT_EQ(0u, clock.sleeperCount()); // counted out at once, before it runs
    sleeper.join();
    EXPECT_TRUE(woke);
}

TEST(UaStackTestClock, SleepersWakeInTheOrderOfTheirTimes)
{
    OpcUa::TestClock clock;
    std::vector<std::thread> threads;
    std::atomic<int> woken{0};
    for (OpcUa_UInt32 ms : {300u, 100u, 200u})
        threads.emplace_back(
            [&, ms]
            {
                OpcUa_Thread_Sleep(ms);
                ++woken;
            });
    ASSERT_TRUE(clock.waitForSleepers(3));
    const struct
    {
        OpcUa_UInt32 step;
        OpcUa_UInt32 stillAsleep;
    } steps[] = {{50, 3}, {60, 2}, {89, 2}, {1, 1}, {100, 0}};
    for (const auto& s : steps)
    {
        clock.advance(s.step);
        EXPECT_EQ(s.stillAsleep, clock.sleeperCount()) << "after a step of " << s.step;
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(3, woken);
}

TEST(UaStackTestClock, APeriodicLoopRunsOneRoundPerStep)
{
    OpcUa::TestClock clock;
    std::atomic<int> rounds{0};
    std::atomic<bool> stop{false};
    std::thread loop(
        [&]
        {
            while (!stop)
            {
                OpcUa_Thread_Sleep(100);
                ++rounds;
            }
        });
    for (int i = 1; i <= 5; ++i)
    {
        ASSERT_TRUE(clock.waitForSleepers(1));
        clock.advance(100);
        ASSERT_TRUE(clock.waitForSleepers(1)); // the round is done once it sleeps again
        EXPECT_EQ(i, rounds);
    }
    clock.advance(50);
    EXPECT_EQ(5, rounds);
    stop = true;
    clock.advance(50);
    loop.join();
    EXPECT_EQ(6, rounds);
}

TEST(UaStackTestClock, EndingTheClockWakesEverySleeperAndZeroDoesNotSleep)
{
    std::thread sleeper;
    {
        OpcUa::TestClock clock;
        OpcUa_Thread_Sleep(0); // returns at once under the clock
        sleeper = std::thread([] { OpcUa_Thread_Sleep(0xFFFFFFFFu); });
        ASSERT_TRUE(clock.waitForSleepers(1));
    }
    sleeper.join();
    const OpcUa_UInt32 tick = OpcUa_GetTickCount();
    OpcUa_Thread_Sleep(5);
    EXPECT_GE(OpcUa_GetTickCount() - tick, 5u); // real time again
}

TEST(UaStackTestClock, WaitingForMoreSleepersThanThereAreTimesOut)
{
    OpcUa::TestClock clock;
    EXPECT_FALSE(clock.waitForSleepers(1, 10));
}
} // namespace
