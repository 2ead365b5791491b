// The sampling engine: interval sets as the engines clean them, the revision of requested
// intervals, and which lists a tick samples, stepped on the test clock.
#include "samplingengine.h"

#include <gtest/gtest.h>

#include <opcua_testclock.hpp>
#include <test_clock.h>

#include <atomic>
#include <memory>
#include <vector>

namespace
{
class CountingObject : public SamplingObject
{
public:
    void sendIfChanged() override { ++calls; }
    std::atomic<int> calls{0};
};

// The engine is made after the clock and goes after it: ending the clock wakes the engine's
// thread, so the engine's destructor does not wait on a clock nobody advances.
class SamplingEngineTest : public ::testing::Test
{
protected:
    void tick(OpcUa_UInt32 count, OpcUa_UInt32 baseInterval = 50)
    {
        for (OpcUa_UInt32 i = 0; i < count; ++i)
        {
            ASSERT_TRUE(clock->waitForSleepers(1));
            clock->advance(baseInterval);
        }
        // The round of the last tick is done once the thread sleeps again.
        ASSERT_TRUE(clock->waitForSleepers(1));
    }

    std::unique_ptr<SamplingEngine> engine;
    std::unique_ptr<OpcUa::TestClock> clock = uaserver::testing::samplingTestClock();

    void TearDown() override { clock.reset(); }
};

struct Revision
{
    OpcUa_Int32 requested;
    OpcUa_Int32 revised;
};

TEST_F(SamplingEngineTest, RequestedIntervalsAreRevisedToTheNearestOfTheDefaultSet)
{
    engine = std::make_unique<SamplingEngine>();
    const Revision cases[] = {
        {0, 50},      {-5, 50},     {49, 50},       {175, 100}, // a tie goes to the earlier interval
        {176, 250},   {300, 250},   {375, 250},     {376, 500},
        {1000, 1000}, {3750, 2500}, {100000, 5000}, {2147483647, 5000},
    };
    for (const Revision& c : cases)
    {
        CountingObject item;
        OpcUa_Int32 interval = c.requested;
        engine->addItem(&item, interval);
        EXPECT_EQ(interval, c.revised) << c.requested;
        engine->removeItem(&item, interval);
    }
}

struct IntervalSet
{
    const char* name;
    std::vector<OpcUa_UInt32> configured;
    std::vector<OpcUa_UInt32> cleaned;
    bool zeroDropped;
};

TEST(SamplingIntervals, SetsAreCleanedBeforeUse)
{
    const std::vector<OpcUa_UInt32>& defaults = SamplingEngine::defaultIntervals();
    EXPECT_EQ(defaults, (std::vector<OpcUa_UInt32>{50, 100, 250, 500, 1000, 2500, 5000}));
    const IntervalSet cases[] = {
        {"none", {}, defaults, false},
        {"0 only", {0}, defaults, true},
        {"0 and others", {0, 250, 100}, {100, 250}, true},
        {"500, 100, 50", {500, 100, 50}, {50, 100, 500}, false},
        {"duplicates", {100, 50, 100, 50}, {50, 100}, false},
        {"one", {1000}, {1000}, false},
    };
    for (const IntervalSet& c : cases)
    {
        std::vector<OpcUa_UInt32> intervals = c.configured;
        EXPECT_EQ(SamplingEngine::normalizeIntervals(intervals), c.zeroDropped) << c.name;
        EXPECT_EQ(intervals, c.cleaned) << c.name;
    }
}

TEST_F(SamplingEngineTest, AnIntervalOffTheBaseIsSampledOnWholeTicksAndReportedAsSuch)
{
    const OpcUa_UInt32 set[] = {50, 120};
    engine = std::make_unique<SamplingEngine>(2, set);
    ASSERT_EQ(engine->intervalCount(), 2u);
    EXPECT_EQ(engine->interval(1), 100);
    EXPECT_EQ(engine->ticks(1), 2);

    CountingObject item;
    OpcUa_Int32 interval = 120;
    engine->addItem(&item, interval);
    EXPECT_EQ(interval, 100);
    tick(1);
    EXPECT_EQ(item.calls, 0);
    tick(1);
    EXPECT_EQ(item.calls, 1);
    tick(4);
    EXPECT_EQ(item.calls, 3);
    engine->removeItem(&item, interval);
}

TEST_F(SamplingEngineTest, SetsOutOfOrderOrWithZerosSampleEveryList)
{
    // Unordered, a 0 and a duplicate: the base is 50, and the 100 list is still sampled.
    const OpcUa_UInt32 set[] = {100, 0, 50, 100};
    engine = std::make_unique<SamplingEngine>(4, set);
    ASSERT_EQ(engine->intervalCount(), 2u);
    CountingObject fast;
    CountingObject slow;
    OpcUa_Int32 fastInterval = 50;
    OpcUa_Int32 slowInterval = 100;
    engine->addItem(&fast, fastInterval);
    engine->addItem(&slow, slowInterval);
    tick(4);
    EXPECT_EQ(fast.calls, 4);
    EXPECT_EQ(slow.calls, 2);
    engine->removeItem(&fast, fastInterval);
    engine->removeItem(&slow, slowInterval);
}

TEST_F(SamplingEngineTest, TheSlowestDefaultListIsSampledOnEveryHundredthTick)
{
    engine = std::make_unique<SamplingEngine>();
    CountingObject item;
    OpcUa_Int32 interval = 5000;
    engine->addItem(&item, interval);
    tick(99);
    EXPECT_EQ(item.calls, 0);
    tick(1);
    EXPECT_EQ(item.calls, 1);
    tick(100);
    EXPECT_EQ(item.calls, 2);
    engine->removeItem(&item, interval);
}

TEST_F(SamplingEngineTest, RemovingTakesTheItemOutOfItsListOnlyAtItsRevisedInterval)
{
    engine = std::make_unique<SamplingEngine>();
    CountingObject kept;
    CountingObject removed;
    OpcUa_Int32 keptInterval = 50;
    OpcUa_Int32 removedInterval = 50;
    engine->addItem(&kept, keptInterval);
    engine->addItem(&removed, removedInterval);
    // An interval that is not in the set, and one the item is not in: nothing changes.
    engine->removeItem(&kept, 75);
    engine->removeItem(&kept, 100);
    engine->removeItem(&removed, removedInterval);
    tick(2);
    EXPECT_EQ(kept.calls, 2);
    EXPECT_EQ(removed.calls, 0);
    engine->removeItem(&kept, keptInterval);
}

TEST_F(SamplingEngineTest, ObjectsOfAListAreCalledInTheOrderTheyWereAdded)
{
    engine = std::make_unique<SamplingEngine>();
    std::vector<int> order;
    class OrderedObject : public SamplingObject
    {
    public:
        OrderedObject(std::vector<int>& order, int id) : m_order(order), m_id(id) {}
        void sendIfChanged() override { m_order.push_back(m_id); }

    private:
        std::vector<int>& m_order;
        int m_id;
    };
    OrderedObject first(order, 1);
    OrderedObject second(order, 2);
    OrderedObject third(order, 3);
    OpcUa_Int32 interval = 50;
    engine->addItem(&first, interval);
    engine->addItem(&second, interval);
    engine->addItem(&third, interval);
    tick(1);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    engine->removeItem(&first, interval);
    engine->removeItem(&second, interval);
    engine->removeItem(&third, interval);
}
} // namespace
