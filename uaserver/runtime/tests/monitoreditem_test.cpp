// Monitored items on their own: the value queue with its discard policies and overflow bits, the
// data change trigger and deadband, the monitoring mode, and the growth of the event queue.
#include "subscription_fixture.h"

#include <uastring.h>

#include <deque>
#include <random>
#include <string>

using namespace subscriptiontest;

namespace
{
constexpr OpcUa_StatusCode kOverflow = 0x480;

struct Popped
{
    std::vector<OpcUa_Double> values;
    std::vector<OpcUa_StatusCode> statuses;
};

Popped popAll(UaMonitoredItemData& item, MonitoredItemOwner& owner)
{
    Popped popped;
    UaMutexLocker lock(&owner.mutex);
    OpcUa_DataValue value;
    OpcUa_DataValue_Initialize(&value);
    while (item.popValue(value))
    {
        popped.values.push_back(value.Value.Value.Double);
        popped.statuses.push_back(value.StatusCode);
        OpcUa_DataValue_Clear(&value);
    }
    return popped;
}

void feed(UaMonitoredItemData& item, std::initializer_list<OpcUa_Double> values)
{
    for (OpcUa_Double v : values)
    {
        UaDataValue value = valueOf(v);
        item.dataChange(value);
    }
}

using QueueTest = SubscriptionFixture;

// Values written between two Publish requests, and what the second one carries.
struct PublishCycle
{
    std::vector<OpcUa_Double> written;
    std::vector<OpcUa_Double> carried;
    std::vector<OpcUa_StatusCode> statuses;
};

TEST_F(QueueTest, EachPublishCarriesWhatTheQueueKeptAndTheSubscriberEndsOnTheCurrentValue)
{
    struct Row
    {
        OpcUa_UInt32 queueSize;
        bool discardOldest;
        std::vector<PublishCycle> cycles;
    };
    const Row rows[] = {
        // A queue of one (or zero) holds the newest value and never marks a loss.
        {1, true, {{{1, 2, 3, 4, 5}, {5}, {0}}}},
        {1, false, {{{1, 2, 3, 4, 5}, {5}, {0}}}},
        {0, false, {{{1, 2}, {2}, {0}}}},
        // Discarding the oldest: the oldest value left follows the gap.
        {3, true, {{{1, 2, 3, 4, 5}, {3, 4, 5}, {kOverflow, 0, 0}}, {{6}, {6}, {0}}}},
        {3, true, {{{1, 2, 3, 4}, {2, 3, 4}, {kOverflow, 0, 0}}}},
        // Discarding the newest: the last queued value gives way to the new one, which follows the gap.
        {3, false, {{{1, 2, 3, 4, 5}, {1, 2, 5}, {0, 0, kOverflow}}, {{6}, {6}, {0}}}},
        {3, false, {{{1, 2, 3}, {1, 2, 3}, {0, 0, 0}}}},
        // Whatever is lost, every cycle ends on the value written last.
        {2, false, {{{1, 2, 3}, {1, 3}, {0, kOverflow}}, {{4, 5, 6, 7}, {4, 7}, {0, kOverflow}}}},
    };
    OpcUa_UInt32 handle = 0;
    for (const Row& row : rows)
    {
        SCOPED_TRACE(::testing::Message()
                     << "queue " << row.queueSize << " discardOldest " << row.discardOldest);
        UaSubscription* subscription = subscribe(100, 300, 5, 1000, ++handle);
        UaMonitoredItemData* item = dataItem(subscription, handle, OpcUa_MonitoringMode_Reporting,
                                             row.queueSize, nullptr, row.discardOldest);
        EXPECT_EQ(row.queueSize == 0 ? 1u : row.queueSize, item->queueSize());
        for (const PublishCycle& cycle : row.cycles)
        {
            for (OpcUa_Double written : cycle.written)
            {
                UaDataValue value = valueOf(written);
                item->dataChange(value);
            }
            // The owner counts the values queued, not the ones written.
            EXPECT_EQ(static_cast<OpcUa_Int32>(cycle.carried.size()),
                      subscription->itemOwner()->pendingDataNotifications);
            OpcUa_Handle request = publishRequest(handle);
            this->cycle(subscription);
            const OpcUa_PublishResponse* answer = response(request);
            ASSERT_NE(nullptr, answer);
            const Notified notified = notifiedIn(*answer);
            EXPECT_EQ(cycle.carried, notified.values);
            EXPECT_EQ(cycle.statuses, notified.statuses);
        }
    }
}

TEST(MonitoredItemData, TriggerAndDeadbandDecideWhatIsQueued)
{
    MonitoredItemOwner owner;
    UaMonitoredItemData item(UaNodeId(1, 2), nullptr, OpcUa_MonitoringMode_Reporting, 1, 100, &owner, 10,
                             true, OpcUa_DataChangeTrigger_StatusValue);
    item.setDeadband(OpcUa_DeadbandType_Absolute, 5);
    feed(item, {10, 12, 20, 20});
    EXPECT_EQ((std::vector<OpcUa_Double>{10, 20}), popAll(item, owner).values);

    // Another built-in type always passes the deadband.
    UaVariant integer;
    integer.setInt32(20);
    UaDataValue value;
    value.setValue(integer, true, true);
    item.dataChange(value);
    EXPECT_EQ(1u, popAll(item, owner).values.size());

    // Trigger Status: a new value with the old status is no change.
    item.setDeadband(OpcUa_DeadbandType_None, 0);
    item.setTrigger(OpcUa_DataChangeTrigger_Status);
    feed(item, {30});
    EXPECT_TRUE(popAll(item, owner).values.empty());
    UaDataValue uncertain = valueOf(30, OpcUa_UncertainLastUsableValue);
    item.dataChange(uncertain);
    EXPECT_EQ(std::vector<OpcUa_StatusCode>{OpcUa_UncertainLastUsableValue}, popAll(item, owner).statuses);

    // Trigger StatusValueTimestamp: the same value with a new server timestamp is a change.
    item.setTrigger(OpcUa_DataChangeTrigger_StatusValueTimestamp);
    UaDataValue restamped = uncertain;
    UaDateTime later = UaDateTime::fromInt64(UaDateTime(uncertain.serverTimestamp()).toInt64() + 10000);
    restamped.setServerTimestamp(later);
    item.dataChange(restamped);
    EXPECT_EQ(1u, popAll(item, owner).values.size());
}

TEST(MonitoredItemData, ADisabledItemQueuesNothingAndStartsAfreshWhenReporting)
{
    MonitoredItemOwner owner;
    UaMonitoredItemData item(UaNodeId(1, 2), nullptr, OpcUa_MonitoringMode_Disabled, 1, 100, &owner, 10, true,
                             OpcUa_DataChangeTrigger_StatusValue);
    feed(item, {1});
    EXPECT_FALSE(item.hasNotifications());
    item.setMonitoringMode(OpcUa_MonitoringMode_Reporting);
    EXPECT_EQ(0, owner.pendingDataNotifications);
    feed(item, {1});
    item.setMonitoringMode(OpcUa_MonitoringMode_Disabled);
    EXPECT_FALSE(item.hasNotifications());
    item.setMonitoringMode(OpcUa_MonitoringMode_Reporting);
    feed(item, {1}); // equal to the last value before disabling, yet it passes
    EXPECT_EQ(std::vector<OpcUa_Double>{1}, popAll(item, owner).values);

    // Sampling queues without counting; switching to Reporting counts what is queued.
    item.setMonitoringMode(OpcUa_MonitoringMode_Sampling);
    owner.pendingDataNotifications = 0;
    feed(item, {2});
    EXPECT_EQ(0, owner.pendingDataNotifications);
    item.setMonitoringMode(OpcUa_MonitoringMode_Reporting);
    EXPECT_EQ(1, owner.pendingDataNotifications);
}

TEST(MonitoredItemData, AResizedQueueKeepsTheNewestValues)
{
    MonitoredItemOwner owner;
    UaMonitoredItemData item(UaNodeId(1, 2), nullptr, OpcUa_MonitoringMode_Reporting, 1, 100, &owner, 5, true,
                             OpcUa_DataChangeTrigger_StatusValue);
    feed(item, {1, 2, 3, 4, 5});
    item.setQueueSize(2);
    EXPECT_EQ(2u, item.queueSize());
    EXPECT_EQ((std::vector<OpcUa_Double>{4, 5}), popAll(item, owner).values);
}

// The queue holds its values in place, moving them as its storage grows, wraps, shrinks and is
// given back: a run of random steps against a plain model. The values are strings, so that a value
// moved twice or lost shows as a double free or a leak.
TEST(DataValueRing, KeepsTheNewestValuesInOrderThroughGrowthAndResizes)
{
    DataValueRing ring(1);
    std::deque<std::string> model;
    OpcUa_UInt32 limit = 1;
    std::mt19937 random(52);
    int next = 0;
    const auto textOf = [](const OpcUa_DataValue& value)
    { return std::string(UaString(&value.Value.Value.String).toUtf8()); };
    for (int step = 0; step < 3000; ++step)
    {
        const unsigned action = random() % 10;
        if (action < 5)
        {
            // A new value; a full queue loses its oldest one.
            if (ring.full())
            {
                ASSERT_TRUE(ring.dropOldest());
                model.pop_front();
            }
            const std::string text = "value " + std::to_string(next++);
            UaVariant variant;
            variant.setString(UaString(text.c_str()));
            UaDataValue value;
            value.setValue(variant, true, false);
            ASSERT_EQ(OpcUa_Good, value.copyTo(&ring.append()));
            model.push_back(text);
        }
        else if (action < 8)
        {
            OpcUa_DataValue popped;
            OpcUa_DataValue_Initialize(&popped);
            ASSERT_EQ(!model.empty(), ring.pop(popped));
            if (!model.empty())
            {
                EXPECT_EQ(model.front(), textOf(popped));
                model.pop_front();
            }
            OpcUa_DataValue_Clear(&popped);
        }
        else
        {
            const OpcUa_UInt32 size = random() % 13;
            ring.resize(size);
            limit = size == 0 ? 1 : size;
            while (model.size() > limit)
                model.pop_front();
        }
        ASSERT_EQ(limit, ring.size());
        ASSERT_EQ(model.size(), ring.count());
        for (OpcUa_UInt32 i = 0; i < model.size(); ++i)
            ASSERT_EQ(model[i], textOf(*ring.at(i))) << "step " << step << ", place " << i;
        ASSERT_EQ(nullptr, ring.at(static_cast<OpcUa_UInt32>(model.size())));
    }
}

TEST(MonitoredItemEvent, TheQueueGrowsUpToTheLimitThenDropsEvents)
{
    struct Row
    {
        OpcUa_UInt32 limit;
        int fed;
        OpcUa_UInt32 kept;
    };
    const Row rows[] = {{15, 11, 10}, {25, 30, 20}, {1000, 150, 150}};
    for (const Row& row : rows)
    {
        MonitoredItemOwner owner;
        owner.maxEventQueueSize = row.limit;
        UaMonitoredItemEvent item(UaNodeId(2253, 0), {}, OpcUa_MonitoringMode_Reporting, 3, 100, nullptr,
                                  &owner);
        for (int i = 0; i < row.fed; ++i)
        {
            UaVariantArray fields;
            fields.create(1);
            fields[0].Datatype = OpcUaType_Int32;
            fields[0].Value.Int32 = i;
            item.newEvent(fields);
            EXPECT_EQ(static_cast<OpcUa_UInt32>(i) < row.kept ? 0u : 1u,
                      fields.length()); // taken over or left
        }
        std::vector<OpcUa_EventFieldList> taken;
        EXPECT_EQ(row.kept, item.takeEvents(0xFFFFFFFF, taken)) << row.limit;
        ASSERT_EQ(row.kept, taken.size());
        EXPECT_EQ(0, taken.front().EventFields[0].Value.Int32);
        EXPECT_EQ(3u, taken.front().ClientHandle);
        for (OpcUa_EventFieldList& list : taken)
            OpcUa_EventFieldList_Clear(&list);
    }
}

TEST(MonitoredItemEvent, RegistrationsFillFreedSlotsAndIgnoreBadIndexes)
{
    MonitoredItemOwner owner;
    auto* first = reinterpret_cast<EventManager*>(0x10);
    auto* second = reinterpret_cast<EventManager*>(0x20);
    UaMonitoredItemEvent item(UaNodeId(2253, 0), {first}, OpcUa_MonitoringMode_Reporting, 3, 100, nullptr,
                              &owner);
    EXPECT_EQ(2u, item.registerEventManager(second));
    item.setEventManagerHandle(7, 2);
    item.setEventManagerHandle(9, 5);
    item.unregisterEventManager(1);
    item.unregisterEventManager(0);
    EXPECT_EQ((std::vector<OpcUa_UInt32>{0, 7}), item.eventManagerHandles());
    EXPECT_EQ(1u, item.registerEventManager(second));
}

} // namespace
