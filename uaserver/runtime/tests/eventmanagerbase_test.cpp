// The event manager: its monitoring transactions, the retained conditions a refresh replays, shut
// down, and the process-wide registries of event types and fields.
#include "eventtestkit.h"

#include <contentfilter.h>
#include <eventmanagerbase.h>

#include <eventregistry.h>
#include <servicecontext.h>

#include <uatracecapture.h>

#include <gtest/gtest.h>

using namespace eventtestkit;

namespace
{
const UaNodeId g_server(2253, 0);
const UaNodeId g_baseEventType(2041, 0);

class EventManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(manager.beginEventTransaction(&answers, ServiceContext(), 9, context).isGood());
    }
    void TearDown() override { manager.finishEventTransaction(context); }

    UaStatus start(OpcUa_UInt32 callbackHandle, RecordingItem& item, const OpcUa_EventFilter* filter,
                   const UaNodeId& notifier = g_server)
    {
        EventMonitoringContext monitoring;
        monitoring.notifierId = notifier;
        monitoring.samplingInterval = 250.0;
        monitoring.pEventFilter = filter;
        return manager.beginStartMonitoring(context, callbackHandle, &item, monitoring);
    }
    UaStatus modify(OpcUa_UInt32 hEventItem, const OpcUa_EventFilter* filter)
    {
        EventMonitoringContext monitoring;
        monitoring.samplingInterval = 500.0;
        monitoring.pEventFilter = filter;
        return manager.beginModifyMonitoring(context, 2, hEventItem, monitoring);
    }

    EventManagerBase manager;
    RecordingAnswers answers;
    OpcUa_Handle context = nullptr;
};

TEST_F(EventManagerTest, StartModifyAndStopAreAnsweredThroughTheCallback)
{
    RecordingItem item;
    WireFilter severityOnly({"Severity"}, {});
    ASSERT_TRUE(start(1, item, severityOnly.get()).isGood());
    ASSERT_EQ(answers.answers.size(), 1u);
    const Answer started = answers.answers[0];
    EXPECT_EQ(started.kind, "start");
    EXPECT_EQ(started.callbackHandle, 1u);
    EXPECT_EQ(started.hEventItem, 1u);
    EXPECT_EQ(started.revisedSamplingInterval, 250.0);
    EXPECT_EQ(started.status, OpcUa_Good);
    EXPECT_TRUE(started.hasFilterResult);
    EXPECT_EQ(manager.itemCount(), 1u);

    // A refused filter is answered with its reason and leaves no item.
    RecordingItem refused;
    WireFilter notWithTwo({"Severity"}, {{Op::Not, {literal(UaVariant(1)), literal(UaVariant(2))}}});
    ASSERT_TRUE(start(3, refused, notWithTwo.get()).isGood());
    EXPECT_EQ(answers.answers.back().status, OpcUa_BadEventFilterInvalid);
    EXPECT_EQ(answers.answers.back().hEventItem, 0u);
    EXPECT_EQ(answers.answers.back().elementResults,
              (std::vector<OpcUa_StatusCode>{OpcUa_BadFilterOperandCountMismatch}));
    EXPECT_EQ(manager.itemCount(), 1u);

    // Modify replaces the filter.
    UaVariant high;
    high.setUInt16(800);
    WireFilter onlyHigh({"Severity", "Message"}, {{Op::GreaterThan, {field("Severity"), literal(high)}}});
    ASSERT_TRUE(modify(started.hEventItem, onlyHigh.get()).isGood());
    EXPECT_EQ(answers.answers.back().kind, "modify");
    EXPECT_EQ(answers.answers.back().status, OpcUa_Good);
    EXPECT_EQ(answers.answers.back().revisedSamplingInterval, 500.0);
    TestEvent low(g_baseEventType, g_server, 100);
    TestEvent alarm(g_baseEventType, g_server, 900);
    manager.fireEvent(low);
    manager.fireEvent(alarm);
    ASSERT_EQ(item.events().size(), 1u);
    EXPECT_EQ(item.events()[0].size(), 2u);

    // Unknown handles are refused at once and never answered.
    const std::size_t answered = answers.answers.size();
    EXPECT_EQ(modify(7, onlyHigh.get()).statusCode(), OpcUa_BadInvalidArgument);
    EXPECT_EQ(manager.beginStopMonitoring(context, 4, 7).statusCode(), OpcUa_BadInvalidArgument);
    EXPECT_EQ(answers.answers.size(), answered);

    ASSERT_TRUE(manager.beginStopMonitoring(context, 5, started.hEventItem).isGood());
    EXPECT_EQ(answers.answers.back().kind, "stop");
    EXPECT_EQ(answers.answers.back().status, OpcUa_Good);
    EXPECT_EQ(manager.itemCount(), 0u);
    manager.fireEvent(alarm);
    EXPECT_EQ(item.events().size(), 1u);
}

// The EventType and EventId of each delivered event, for telling events apart.
std::vector<std::pair<UaNodeId, UaByteString>> typesAndIds(const RecordingItem& item)
{
    std::vector<std::pair<UaNodeId, UaByteString>> result;
    for (const std::vector<UaVariant>& fields : item.events())
    {
        UaByteString id;
        UaNodeId type;
        fields[0].toByteString(id);
        fields[1].toNodeId(type);
        result.emplace_back(type, id);
    }
    return result;
}

UaByteString idOf(TestEvent& event)
{
    return event.getEventId();
}

TEST_F(EventManagerTest, ARefreshReplaysTheRetainedConditionsBetweenStartAndEnd)
{
    RecordingItem item;
    WireFilter select({"EventId", "EventType", "SourceNode", "SourceName", "Time", "LocalTime", "Message",
                       "Severity", "NoSuchField"},
                      {});
    ASSERT_TRUE(start(1, item, select.get()).isGood());
    const OpcUa_UInt32 handle = answers.answers.back().hEventItem;
    const UaNodeId alarmType("AlarmType", 2);
    TestEvent a(alarmType, g_server, 700);
    a.condition = UaNodeId("ConditionA", 2);
    a.retain = true;
    TestEvent b(alarmType, g_server, 800);
    b.condition = UaNodeId("ConditionB", 2);
    b.retain = true;
    TestEvent bBranch(alarmType, g_server, 850);
    bBranch.condition = b.condition;
    bBranch.branch = UaNodeId("BranchB1", 2);
    bBranch.retain = true;
    TestEvent plain(g_baseEventType, g_server, 10);
    for (TestEvent* event : {&a, &b, &bBranch, &plain})
        manager.fireEvent(*event);
    EXPECT_EQ(manager.retainedEvents(), (std::vector<EventData*>{&a, &b, &bBranch}));

    UaByteString startId;
    UaByteString endId;
    EventManagerBase::createEventId(UaByteString(), startId);
    EventManagerBase::createEventId(UaByteString(), endId);
    const std::size_t before = item.events().size();
    ASSERT_TRUE(manager.beginConditionRefresh(ServiceContext(), handle, startId, endId).isGood());
    auto events = typesAndIds(item);
    events.erase(events.begin(), events.begin() + static_cast<std::ptrdiff_t>(before));
    const UaNodeId startType(2787, 0);
    const UaNodeId endType(2788, 0);
    EXPECT_EQ(events, (std::vector<std::pair<UaNodeId, UaByteString>>{{startType, startId},
                                                                      {alarmType, idOf(a)},
                                                                      {alarmType, idOf(b)},
                                                                      {alarmType, idOf(bBranch)},
                                                                      {endType, endId}}));
    // The refresh events come from the Server object.
    const std::vector<UaVariant> refreshStart = item.events()[before];
    UaNodeId source;
    refreshStart[2].toNodeId(source);
    EXPECT_EQ(source, g_server);
    EXPECT_STREQ(refreshStart[3].toString().toUtf8(), "Server");
    EXPECT_EQ(refreshStart[4].type(), OpcUaType_DateTime);
    EXPECT_TRUE(refreshStart[5].isEmpty());
    EXPECT_EQ(refreshStart[6].type(), OpcUaType_LocalizedText);
    EXPECT_TRUE(refreshStart[7] == UaVariant(static_cast<OpcUa_UInt16>(500)));
    EXPECT_TRUE(refreshStart[8].isEmpty());

    // A non-retained event of A drops it, one of B's branch drops the branch only.
    TestEvent aCleared(alarmType, g_server, 100);
    aCleared.condition = a.condition;
    TestEvent branchCleared(alarmType, g_server, 100);
    branchCleared.condition = b.condition;
    branchCleared.branch = bBranch.branch;
    manager.fireEvent(aCleared);
    manager.fireEvent(branchCleared);
    EXPECT_EQ(manager.retainedEvents(), (std::vector<EventData*>{&b}));
    TestEvent bCleared(alarmType, g_server, 100);
    bCleared.condition = b.condition;
    manager.fireEvent(bCleared);
    EXPECT_TRUE(manager.retainedEvents().empty());

    // With nothing retained and no start id a refresh sends the end event alone.
    const std::size_t beforeSecond = item.events().size();
    ASSERT_TRUE(manager.beginConditionRefresh(ServiceContext(), handle, UaByteString(), endId).isGood());
    events = typesAndIds(item);
    events.erase(events.begin(), events.begin() + static_cast<std::ptrdiff_t>(beforeSecond));
    EXPECT_EQ(events, (std::vector<std::pair<UaNodeId, UaByteString>>{{endType, endId}}));

    ASSERT_TRUE(manager.sendRefreshRequired(handle).isGood());
    events = typesAndIds(item);
    EXPECT_EQ(events.back().first, UaNodeId(2789, 0));
    EXPECT_GE(events.back().second.length(), 16);
    EXPECT_EQ(manager.beginConditionRefresh(ServiceContext(), 99, startId, endId).statusCode(),
              OpcUa_BadMonitoredItemIdInvalid);
    EXPECT_EQ(manager.sendRefreshRequired(99).statusCode(), OpcUa_BadMonitoredItemIdInvalid);
}

TEST_F(EventManagerTest, ARefreshIgnoresTheWhereClauseOnlyForItsOwnEvents)
{
    RecordingItem item;
    UaVariant high;
    high.setUInt16(900);
    WireFilter onlyHigh({"EventId", "EventType"}, {{Op::Equals, {field("Severity"), literal(high)}}});
    ASSERT_TRUE(start(1, item, onlyHigh.get()).isGood());
    TestEvent retained(UaNodeId("AlarmType", 2), g_server, 700);
    retained.condition = UaNodeId("Condition", 2);
    retained.retain = true;
    manager.fireEvent(retained);
    UaByteString startId;
    EventManagerBase::createEventId(UaByteString(), startId);
    ASSERT_TRUE(
        manager.beginConditionRefresh(ServiceContext(), answers.answers.back().hEventItem, startId, startId)
            .isGood());
    const auto events = typesAndIds(item);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].first, UaNodeId(2787, 0));
    EXPECT_EQ(events[1].first, UaNodeId(2788, 0));
}

TEST_F(EventManagerTest, AfterShutDownNothingIsDeliveredOrStarted)
{
    RecordingItem item;
    ASSERT_TRUE(start(1, item, nullptr).isGood());
    const OpcUa_UInt32 handle = answers.answers.back().hEventItem;
    EXPECT_FALSE(answers.answers.back().hasFilterResult);
    manager.addNotifier(g_server, UaNodeId("Cell", 2));
    UaTraceCapture trace(7);
    manager.shutDown();
    manager.shutDown();
    EXPECT_EQ(trace.count(6, "<-- EventManagerBase::shutDown - already shut down"), 1u);
    TestEvent event(g_baseEventType, g_server, 1);
    manager.fireEvent(event);
    EXPECT_TRUE(item.events().empty());
    EXPECT_EQ(trace.count(6, "<-- EventManagerBase::fireEvent - already shut down"), 1u);
    const std::size_t answered = answers.answers.size();
    RecordingItem late;
    EXPECT_EQ(start(2, late, nullptr).statusCode(), OpcUa_BadInvalidState);
    EXPECT_EQ(trace.count(6,
                          "<-- EventManagerBase::beginStartMonitoring [ret=OpcUa_BadInvalidState] - already "
                          "shut down"),
              1u);
    EXPECT_EQ(modify(handle, nullptr).statusCode(), OpcUa_BadInvalidState);
    EXPECT_EQ(manager.beginStopMonitoring(context, 3, handle).statusCode(), OpcUa_BadInvalidState);
    EXPECT_EQ(
        manager.beginConditionRefresh(ServiceContext(), handle, UaByteString(), UaByteString()).statusCode(),
        OpcUa_BadInvalidState);
    EXPECT_EQ(manager.sendRefreshRequired(handle).statusCode(), OpcUa_BadInvalidState);
    EXPECT_EQ(answers.answers.size(), answered);
    EXPECT_FALSE(manager.isNotifier(UaNodeId("Cell", 2)));
}

TEST(EventRegistryTest, FieldKeysKeepTheirIndexes)
{
    const char* names[] = {"EventId",     "EventType", "SourceNode", "SourceName", "Time",
                           "ReceiveTime", "LocalTime", "Message",    "Severity"};
    for (OpcUa_UInt32 i = 0; i < std::size(names); ++i)
        EXPECT_EQ(EventRegistry::findEventField(EventRegistry::fieldKey(UaQualifiedName(names[i], 0))), i + 1)
            << names[i];
    EXPECT_STREQ(EventRegistry::fieldKey(UaQualifiedName("Severity", 0)).toUtf8(), "ns=0|Severity");
    const OpcUa_UInt32 condition = EventManagerBase::registerEventField(EventRegistry::conditionNodeIdKey());
    EXPECT_GT(condition, 9u);
    EXPECT_EQ(EventManagerBase::registerEventField(EventRegistry::conditionNodeIdKey()), condition);
    const OpcUa_UInt32 nested = EventManagerBase::registerEventField("ns=0|EnabledState/ns=0|Id");
    EXPECT_EQ(nested, EventManagerBase::registerEventField("ns=0|EnabledState/ns=0|Id"));

    struct Case
    {
        std::vector<const char*> path;
        OpcUa_UInt32 attributeId;
        OpcUa_UInt32 index;
        OpcUa_StatusCode status;
    };
    const Case cases[] = {
        {{"Message"}, 13, 8, OpcUa_Good},
        {{"Message"}, 4, 0, OpcUa_BadAttributeIdInvalid},
        {{"EnabledState", "Id"}, 13, nested, OpcUa_Good},
        {{"EnabledState"}, 13, 0, OpcUa_BadNotFound},
        {{}, 1, condition, OpcUa_Good},
        {{}, 13, 0, OpcUa_BadAttributeIdInvalid},
    };
    for (const Case& c : cases)
    {
        SimpleAttributeOperand operand;
        for (OpcUa_UInt32 i = 0; i < c.path.size(); ++i)
            operand.setBrowsePathElement(i, UaQualifiedName(c.path[i], 0),
                                         static_cast<OpcUa_UInt32>(c.path.size()));
        operand.setAttributeId(c.attributeId);
        UaStatus status;
        EXPECT_EQ(EventManagerBase::getFieldIndex(operand, status), c.index) << operand.toString().toUtf8();
        EXPECT_EQ(status.statusCode(), c.status) << operand.toString().toUtf8();
    }
}

TEST(EventRegistryTest, ATypeRegisteredAgainKeepsOnePlace)
{
    const UaNodeId first("RegistryFirst", 3);
    const UaNodeId second("RegistrySecond", 3);
    const UaNodeId moved("RegistryMoved", 3);
    const UaNodeId below("RegistryBelow", 3);
    ASSERT_TRUE(EventManagerBase::registerEventType(g_baseEventType, first));
    ASSERT_TRUE(EventManagerBase::registerEventType(g_baseEventType, second));
    ASSERT_TRUE(EventManagerBase::registerEventType(first, moved));
    ASSERT_TRUE(EventManagerBase::registerEventType(moved, below));
    // Twice under the same supertype, as a second server start does: one entry.
    ASSERT_TRUE(EventManagerBase::registerEventType(first, moved));
    EXPECT_EQ(EventRegistry::subtypesOf(first), (std::vector<UaNodeId>{moved}));
    ASSERT_TRUE(EventManagerBase::registerEventType(second, moved));
    EXPECT_TRUE(EventRegistry::subtypesOf(first).empty());
    EXPECT_EQ(EventRegistry::subtypesOf(second), (std::vector<UaNodeId>{moved}));
    EXPECT_TRUE(EventRegistry::isSubtypeOf(below, second));
    EXPECT_FALSE(EventRegistry::isSubtypeOf(below, first));

    UaTraceCapture trace(1);
    EXPECT_FALSE(EventManagerBase::registerEventType(UaNodeId("Unknown", 3), UaNodeId("Orphan", 3)));
    EXPECT_FALSE(EventRegistry::isEventTypeRegistered(UaNodeId("Orphan", 3)));
    EXPECT_EQ(trace.count(1, "Error: EventManagerBase::registerEventType - can not find super type Unknown"),
              1u);
    // A type can not move below its own subtype.
    EXPECT_FALSE(EventManagerBase::registerEventType(below, moved));
    EXPECT_TRUE(EventRegistry::isSubtypeOf(below, moved));
}

} // namespace
