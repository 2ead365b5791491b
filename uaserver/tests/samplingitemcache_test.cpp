// Cache sampling items on their own: what a cached variable's new values, the sampling engine's
// ticks, the variable's access levels, an index range, a deadband and the variable's removal make
// them hand to the monitored item's callback.
#include "nodemanagertestbed.h"
#include "testvalues.h"

#include "samplingengine.h"
#include "samplingitemcache.h"

#include <opcua_testclock.hpp>
#include <test_clock.h>

#include <memory>

using namespace testbed;
using namespace testvalues;

namespace
{
UaVariant number(OpcUa_Double value)
{
    return UaVariant(value);
}

std::vector<OpcUa_Double> doublesOf(const std::vector<UaDataValue>& values)
{
    std::vector<OpcUa_Double> numbers;
    for (const UaDataValue& value : values)
    {
        OpcUa_Double number = -1.0;
        value.value().toDouble(number);
        numbers.push_back(number);
    }
    return numbers;
}

void store(UaVariableCache& variable, OpcUa_Double value)
{
    ASSERT_TRUE(variable.setValue(nullptr, dataValue(number(value)), false).isGood());
}

// An item attached to a variable, and the engine that ticks it when its interval is above 0.
class CacheItemTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        clock.reset();
        if (item && item->samplingInterval() > 0)
            engine->removeItem(item, item->samplingInterval());
        delete item;
        engine.reset();
        variable->releaseReference();
    }

    void attach(OpcUa_Int32 interval, const UaNumericRange* range = nullptr, bool withDeadband = false,
                OpcUa_Double deadband = 0.0)
    {
        item = SamplingItemCache::create(interval, variable, &callback, nullptr, nullptr, range, withDeadband,
                                         deadband);
        variable->addSamplingItem(item);
        if (interval > 0)
        {
            OpcUa_Int32 revised = interval;
            engine->addItem(item, revised);
            item->setSamplingInterval(revised);
        }
    }

    void tick(OpcUa_UInt32 count)
    {
        for (OpcUa_UInt32 i = 0; i < count; ++i)
        {
            ASSERT_TRUE(clock->waitForSleepers(1));
            clock->advance(50);
        }
        ASSERT_TRUE(clock->waitForSleepers(1));
    }

    UaVariablePlain* variable = newCachedVariable(UaNodeId(1, 2), number(0.0));
    RecordingVariableCallback callback;
    SamplingItemCache* item = nullptr;
    std::unique_ptr<OpcUa::TestClock> clock = uaserver::testing::samplingTestClock();
    std::unique_ptr<SamplingEngine> engine = std::make_unique<SamplingEngine>();
};

TEST_F(CacheItemTest, WithoutIntervalEveryStoredValueIsReportedOnceInOrder)
{
    attach(0);
    store(*variable, 1.0);
    store(*variable, 2.0);
    // The same value again changes nothing, so the variable tells nobody.
    store(*variable, 2.0);
    store(*variable, 3.0);
    EXPECT_EQ(doublesOf(callback.values()), (std::vector<OpcUa_Double>{1.0, 2.0, 3.0}));
    tick(2);
    EXPECT_EQ(callback.count(), 3u);
}

TEST_F(CacheItemTest, WithAnIntervalTheTickReportsTheLatestValueOnlyAfterAChange)
{
    attach(1000);
    ASSERT_EQ(item->samplingInterval(), 1000);
    // The first tick reports the current value.
    tick(19);
    EXPECT_EQ(callback.count(), 0u);
    tick(1);
    EXPECT_EQ(doublesOf(callback.values()), (std::vector<OpcUa_Double>{0.0}));
    tick(20);
    EXPECT_EQ(callback.count(), 1u);
    store(*variable, 5.0);
    store(*variable, 6.0);
    EXPECT_EQ(callback.count(), 1u);
    tick(20);
    EXPECT_EQ(doublesOf(callback.values()), (std::vector<OpcUa_Double>{0.0, 6.0}));
}

struct DeadbandCase
{
    const char* name;
    OpcUa_Int32 interval;
    std::vector<OpcUa_Double> stored;
    std::vector<OpcUa_Double> reported;
};

TEST_F(CacheItemTest, ADeadbandIsMeasuredFromTheValueDeliveredLast)
{
    const DeadbandCase cases[] = {
        {"at once", 0, {10.0, 11.5, 12.5, 12.0, 9.0}, {10.0, 12.5, 9.0}},
        // A difference equal to the deadband is no change.
        {"at once, equal", 0, {10.0, 12.0, 12.1}, {10.0, 12.1}},
        {"per tick", 1000, {10.0, 11.5, 12.5}, {10.0, 12.5}},
    };
    for (const DeadbandCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        RecordingVariableCallback recorded;
        auto* watched = newCachedVariable(UaNodeId(2, 2), number(-100.0));
        SamplingItemCache* deadbandItem =
            SamplingItemCache::create(c.interval, watched, &recorded, nullptr, nullptr, nullptr, true, 2.0);
        OpcUa_Double deadband = 0.0;
        ASSERT_TRUE(deadbandItem->getDeadband(deadband));
        EXPECT_EQ(deadband, 2.0);
        watched->addSamplingItem(deadbandItem);
        OpcUa_Int32 revised = c.interval;
        if (c.interval > 0)
        {
            engine->addItem(deadbandItem, revised);
            // The first tick reports the current value against nothing delivered yet.
            tick(20);
            recorded.waitFor(1);
        }
        for (OpcUa_Double value : c.stored)
        {
            store(*watched, value);
            if (c.interval > 0)
                tick(20);
        }
        std::vector<OpcUa_Double> reported = doublesOf(recorded.values());
        if (c.interval > 0)
            reported.erase(reported.begin());
        EXPECT_EQ(reported, c.reported);
        if (c.interval > 0)
            engine->removeItem(deadbandItem, revised);
        delete deadbandItem;
        watched->releaseReference();
    }
}

struct AccessCase
{
    OpcUa_Byte accessLevel;
    OpcUa_Byte userAccessLevel;
    OpcUa_StatusCode reported;
};

TEST_F(CacheItemTest, TheAccessLevelsDecideWhatAReportCarries)
{
    const AccessCase cases[] = {
        {1, 1, OpcUa_Good},
        {3, 3, OpcUa_Good},
        {0, 1, OpcUa_BadNotReadable},
        {2, 3, OpcUa_BadNotReadable},
        {1, 0, OpcUa_BadUserAccessDenied},
        {3, 2, OpcUa_BadUserAccessDenied},
    };
    for (const AccessCase& c : cases)
    {
        RecordingVariableCallback recorded;
        auto* guarded =
            newCachedVariable(UaNodeId(3, 2), number(4.5), UaNodeId(63, 0), c.accessLevel, c.userAccessLevel);
        std::unique_ptr<SamplingItemCache> reporter(
            SamplingItemCache::create(1000, guarded, &recorded, nullptr, nullptr, nullptr, false, 0.0));
        // A new item has its changed flag set: the first tick reports.
        reporter->sendIfChanged();
        reporter->sendIfChanged();
        ASSERT_EQ(recorded.count(), 1u);
        const UaDataValue report = recorded.values()[0];
        EXPECT_EQ(report.statusCode(), c.reported) << int(c.accessLevel) << "/" << int(c.userAccessLevel);
        EXPECT_EQ(report.value().isEmpty(), c.reported != OpcUa_Good);
        reporter.reset();
        guarded->releaseReference();
    }
}

TEST_F(CacheItemTest, AnIndexRangeCutsEveryReport)
{
    struct RangeCase
    {
        const char* range;
        OpcUa_StatusCode status;
        UaVariant value;
    };
    const RangeCase cases[] = {
        {"1:2", OpcUa_Good, doubles({2, 3})},
        {"3", OpcUa_Good, doubles({4})},
        {"7:8", OpcUa_BadIndexRangeNoData, UaVariant()},
    };
    for (const RangeCase& c : cases)
    {
        SCOPED_TRACE(c.range);
        RecordingVariableCallback recorded;
        auto* array = newCachedVariable(UaNodeId(4, 2), doubles({1, 2, 3, 4}));
        UaNumericRange range;
        ASSERT_TRUE(OpcUa_IsGood(range.parse(c.range)));
        std::unique_ptr<SamplingItemCache> cut(
            SamplingItemCache::create(0, array, &recorded, nullptr, nullptr, &range, false, 0.0));
        ASSERT_NE(cut->indexRange(), nullptr);
        cut->sendIfChanged();
        ASSERT_EQ(recorded.count(), 1u);
        EXPECT_EQ(recorded.values()[0].statusCode(), c.status);
        EXPECT_TRUE(recorded.values()[0].value() == c.value);
        cut.reset();
        array->releaseReference();
    }
}

TEST_F(CacheItemTest, RemovalReportsTheNodeGoneAtOnceWithoutInterval)
{
    attach(0);
    EXPECT_EQ(variable->referenceCount(), 2);
    variable->prepareRemove();
    // The item gave its reference back and left the variable's list.
    EXPECT_EQ(variable->referenceCount(), 1);
    EXPECT_EQ(variable->samplingItemCount(), 0u);
    EXPECT_FALSE(item->isAttached());
    ASSERT_EQ(callback.count(), 1u);
    EXPECT_EQ(callback.values()[0].statusCode(), OpcUa_BadNodeIdUnknown);
    store(*variable, 8.0);
    EXPECT_EQ(callback.count(), 1u);
}

TEST_F(CacheItemTest, RemovalReportsTheNodeGoneOnTheNextTickWithAnInterval)
{
    attach(1000);
    tick(20);
    ASSERT_EQ(callback.count(), 1u);
    variable->prepareRemove();
    EXPECT_EQ(callback.count(), 1u);
    tick(20);
    ASSERT_EQ(callback.count(), 2u);
    EXPECT_EQ(callback.values()[1].statusCode(), OpcUa_BadNodeIdUnknown);
    tick(20);
    EXPECT_EQ(callback.count(), 2u);
}

TEST_F(CacheItemTest, AnItemBoundToANewVariableReportsItsValues)
{
    struct BindCase
    {
        OpcUa_Int32 interval;
        // Ticks until the new variable's value is reported.
        OpcUa_UInt32 ticks;
    };
    for (const BindCase c : {BindCase{0, 0}, BindCase{1000, 20}})
    {
        SCOPED_TRACE(c.interval);
        RecordingVariableCallback recorded;
        auto* old = newCachedVariable(UaNodeId(5, 2), number(1.0));
        std::unique_ptr<SamplingItemCache> moved(
            SamplingItemCache::create(c.interval, old, &recorded, nullptr, nullptr, nullptr, false, 0.0));
        old->addSamplingItem(moved.get());
        OpcUa_Int32 revised = c.interval;
        if (c.interval > 0)
            engine->addItem(moved.get(), revised);
        old->prepareRemove();
        old->releaseReference();
        const std::size_t before = recorded.count();

        auto* renewed = newCachedVariable(UaNodeId(5, 2), number(2.0));
        moved->setVariable(renewed);
        renewed->addSamplingItem(moved.get());
        tick(c.ticks);
        ASSERT_EQ(recorded.count(), before + 1);
        EXPECT_TRUE(recorded.values().back().value() == number(2.0));
        store(*renewed, 3.0);
        tick(c.ticks);
        EXPECT_TRUE(recorded.values().back().value() == number(3.0));
        if (c.interval > 0)
            engine->removeItem(moved.get(), revised);
        moved.reset();
        EXPECT_EQ(renewed->samplingItemCount(), 0u);
        EXPECT_EQ(renewed->referenceCount(), 1);
        renewed->releaseReference();
    }
}
} // namespace
