// The monitored-item services of a subscription on the fake endpoint, with an I/O manager that
// answers from a thread of its own: creation with its per-item checks and revisions, values that
// reach a Publish, mode switches, modification, deletion with reused ids, the session's item cap,
// and close stopping every item.
#include "eventtestkit.h"
#include "pendingmonitoreditemrequests.h"
#include "registerednode.h"
#include "registeredvariablehandle.h"
#include "subscription_fixture.h"
#include "transaction_fakes.h"
#include "uasubscriptionmanager.h"

#include <functional>
#include <optional>
#include <type_traits>

using namespace subscriptiontest;
using eventtestkit::Element;
using eventtestkit::TestEvent;
using eventtestkit::WireFilter;

namespace
{
constexpr OpcUa_UInt32 kValue = 13;

// A DataChangeFilter as a client sends it, unchecked.
struct ChangeFilter
{
    OpcUa_UInt32 trigger;
    OpcUa_UInt32 deadbandType;
    OpcUa_Double deadband;
};

void setChangeFilter(OpcUa_ExtensionObject& wire, const ChangeFilter& filter)
{
    OpcUa_Void* body = nullptr;
    OpcUa_EncodeableObject_CreateExtension(&OpcUa_DataChangeFilter_EncodeableType, &wire, &body);
    auto* change = static_cast<OpcUa_DataChangeFilter*>(body);
    change->Trigger = static_cast<OpcUa_DataChangeTrigger>(filter.trigger);
    change->DeadbandType = filter.deadbandType;
    change->DeadbandValue = filter.deadband;
}

// One item of a CreateMonitoredItems request.
struct ItemRow
{
    OpcUa_UInt32 node; // numeric, namespace 2 (known to the I/O manager) or 3 (unknown) by default
    OpcUa_UInt32 attribute = kValue;
    OpcUa_MonitoringMode mode = OpcUa_MonitoringMode_Reporting;
    OpcUa_Double interval = 250;
    OpcUa_UInt32 queueSize = 1;
    bool dataEncoding = false;
    bool eventFilter = false;
    OpcUa_Double absoluteDeadband = 0;
    OpcUa_UInt16 namespaceIndex = 0;                         // 0: by the node number
    const OpcUa_EventFilter* filter = nullptr;               // the event filter's content; empty when null
    std::optional<ChangeFilter> changeFilter = std::nullopt; // in place of the absolute deadband
};

OpcUa_NodeId nodeOf(OpcUa_UInt32 node, OpcUa_UInt16 namespaceIndex = 0)
{
    OpcUa_NodeId id;
    OpcUa_NodeId_Initialize(&id);
    id.IdentifierType = OpcUa_IdentifierType_Numeric;
    id.NamespaceIndex = namespaceIndex != 0 ? namespaceIndex : (node < 1000 ? 2 : 3);
    id.Identifier.Numeric = node;
    return id;
}

// The event filter's content copied into a request's filter.
void setEventFilter(OpcUa_ExtensionObject& wire, const OpcUa_EventFilter* filter)
{
    OpcUa_Void* body = nullptr;
    OpcUa_EncodeableObject_CreateExtension(&OpcUa_EventFilter_EncodeableType, &wire, &body);
    if (filter != nullptr)
        OpcUa_EncodeableObject_CopyTo(&OpcUa_EventFilter_EncodeableType,
                                      const_cast<OpcUa_EventFilter*>(filter), body);
}

// The select clause and where clause element results of an item's filter result; empty without one.
std::pair<std::vector<OpcUa_StatusCode>, std::vector<OpcUa_StatusCode>>
filterResultOf(const OpcUa_ExtensionObject& wire)
{
    if (wire.Encoding != OpcUa_ExtensionObjectEncoding_EncodeableObject ||
        wire.Body.EncodeableObject.Type != &OpcUa_EventFilterResult_EncodeableType)
        return {};
    const auto* result = static_cast<const OpcUa_EventFilterResult*>(wire.Body.EncodeableObject.Object);
    std::pair<std::vector<OpcUa_StatusCode>, std::vector<OpcUa_StatusCode>> statuses;
    statuses.first.assign(result->SelectClauseResults,
                          result->SelectClauseResults + result->NoOfSelectClauseResults);
    for (OpcUa_Int32 i = 0; i < result->WhereClauseResult.NoOfElementResults; ++i)
        statuses.second.push_back(result->WhereClauseResult.ElementResults[i].StatusCode);
    return statuses;
}

// The chosen field of every event of a Publish response, in order.
std::vector<UaVariant> eventFieldsIn(const OpcUa_PublishResponse& response, OpcUa_Int32 field)
{
    std::vector<UaVariant> fields;
    const OpcUa_NotificationMessage& message = response.NotificationMessage;
    for (OpcUa_Int32 i = 0; i < message.NoOfNotificationData; ++i)
    {
        const OpcUa_ExtensionObject& data = message.NotificationData[i];
        if (data.Body.EncodeableObject.Type != &OpcUa_EventNotificationList_EncodeableType)
            continue;
        const auto* list = static_cast<const OpcUa_EventNotificationList*>(data.Body.EncodeableObject.Object);
        for (OpcUa_Int32 j = 0; j < list->NoOfEvents; ++j)
            fields.emplace_back(list->Events[j].EventFields[field]);
    }
    return fields;
}

// The chosen field, a text, of every event of a Publish response.
std::vector<std::string> textsIn(const OpcUa_PublishResponse& response, OpcUa_Int32 field)
{
    std::vector<std::string> texts;
    for (const UaVariant& value : eventFieldsIn(response, field))
    {
        UaLocalizedText text;
        value.toLocalizedText(text);
        texts.emplace_back(text.text().toUtf8());
    }
    return texts;
}

class SubscriptionItemsTest : public SubscriptionFixture
{
protected:
    SubscriptionItemsTest() : io("io", log)
    {
        server.root.variableHandles = [this](Session*, OpcUa_UInt32, const OpcUa_NodeId& nodeId,
                                             OpcUa_Int32 attributeId) -> VariableHandle*
        { return nodeId.NamespaceIndex == 2 ? new VariableHandle(&io, attributeId) : nullptr; };
        subscription = subscribe(1000);
    }
    ~SubscriptionItemsTest() override
    {
        // Every stop is answered before the I/O manager goes.
        subscription->close(false);
        io.threads.join();
    }

    template <typename Pending, typename Request>
    Pending* pending(OpcUa_EncodeableType& requestType, OpcUa_EncodeableType& responseType, Request* request,
                     OpcUa_Handle& context)
    {
        request->RequestHeader.RequestHandle = ++m_handle;
        request->SubscriptionId = 1;
        context = endpoint.openContext(kChannel, &responseType, m_handle);
        session->startingServiceProcessing();
        return new Pending(endpoint.handle(), context, &requestType, session, request);
    }

    PendingCreateMonitoredItemsRequest* createRequest(const std::vector<ItemRow>& rows, OpcUa_Handle& context)
    {
        auto* request =
            newMessage<OpcUa_CreateMonitoredItemsRequest>(OpcUa_CreateMonitoredItemsRequest_EncodeableType);
        request->TimestampsToReturn = OpcUa_TimestampsToReturn_Both;
        request->NoOfItemsToCreate = static_cast<OpcUa_Int32>(rows.size());
        request->ItemsToCreate = static_cast<OpcUa_MonitoredItemCreateRequest*>(
            OpcUa_Memory_Alloc(sizeof(OpcUa_MonitoredItemCreateRequest) * rows.size()));
        for (size_t i = 0; i < rows.size(); ++i)
        {
            OpcUa_MonitoredItemCreateRequest& item = request->ItemsToCreate[i];
            OpcUa_MonitoredItemCreateRequest_Initialize(&item);
            item.ItemToMonitor.NodeId = nodeOf(rows[i].node, rows[i].namespaceIndex);
            item.ItemToMonitor.AttributeId = rows[i].attribute;
            if (rows[i].dataEncoding)
                OpcUa_String_AttachCopy(&item.ItemToMonitor.DataEncoding.Name, "Default XML");
            item.MonitoringMode = rows[i].mode;
            item.RequestedParameters.ClientHandle = static_cast<OpcUa_UInt32>(100 + i);
            item.RequestedParameters.SamplingInterval = rows[i].interval;
            item.RequestedParameters.QueueSize = rows[i].queueSize;
            item.RequestedParameters.DiscardOldest = OpcUa_True;
            if (rows[i].eventFilter)
                setEventFilter(item.RequestedParameters.Filter, rows[i].filter);
            else if (rows[i].changeFilter)
                setChangeFilter(item.RequestedParameters.Filter, *rows[i].changeFilter);
            else if (rows[i].absoluteDeadband > 0)
                setChangeFilter(item.RequestedParameters.Filter,
                                {OpcUa_DataChangeTrigger_StatusValue, OpcUa_DeadbandType_Absolute,
                                 rows[i].absoluteDeadband});
        }
        return pending<PendingCreateMonitoredItemsRequest>(OpcUa_CreateMonitoredItemsRequest_EncodeableType,
                                                           OpcUa_CreateMonitoredItemsResponse_EncodeableType,
                                                           request, context);
    }

    // The results of a CreateMonitoredItems that the subscription answered.
    const OpcUa_CreateMonitoredItemsResponse* create(const std::vector<ItemRow>& rows)
    {
        OpcUa_Handle context = nullptr;
        EXPECT_EQ(OpcUa_Good,
                  subscription->beginCreateMonitoredItems(createRequest(rows, context)).statusCode());
        return endpoint.waitForAnswer(context).as<OpcUa_CreateMonitoredItemsResponse>(
            OpcUa_CreateMonitoredItemsResponse_EncodeableType);
    }

    // A ModifyMonitoredItems of count items, each filled in by fill; the response.
    const OpcUa_ModifyMonitoredItemsResponse*
    modify(OpcUa_UInt32 count,
           const std::function<void(OpcUa_UInt32, OpcUa_MonitoredItemModifyRequest&)>& fill,
           OpcUa_TimestampsToReturn timestamps = OpcUa_TimestampsToReturn_Both)
    {
        auto* request =
            newMessage<OpcUa_ModifyMonitoredItemsRequest>(OpcUa_ModifyMonitoredItemsRequest_EncodeableType);
        request->TimestampsToReturn = timestamps;
        request->NoOfItemsToModify = static_cast<OpcUa_Int32>(count);
        request->ItemsToModify = static_cast<OpcUa_MonitoredItemModifyRequest*>(
            OpcUa_Memory_Alloc(sizeof(OpcUa_MonitoredItemModifyRequest) * count));
        for (OpcUa_UInt32 i = 0; i < count; ++i)
        {
            OpcUa_MonitoredItemModifyRequest_Initialize(&request->ItemsToModify[i]);
            fill(i, request->ItemsToModify[i]);
        }
        OpcUa_Handle context = nullptr;
        EXPECT_EQ(OpcUa_Good, subscription
                                  ->beginModifyMonitoredItems(pending<PendingModifyMonitoredItemsRequest>(
                                      OpcUa_ModifyMonitoredItemsRequest_EncodeableType,
                                      OpcUa_ModifyMonitoredItemsResponse_EncodeableType, request, context))
                                  .statusCode());
        return endpoint.waitForAnswer(context).as<OpcUa_ModifyMonitoredItemsResponse>(
            OpcUa_ModifyMonitoredItemsResponse_EncodeableType);
    }

    // SetMonitoringMode or DeleteMonitoredItems of ids; the status results.
    template <typename Pending, typename Request, typename Response>
    std::vector<OpcUa_StatusCode> byIds(OpcUa_EncodeableType& requestType, OpcUa_EncodeableType& responseType,
                                        const std::vector<OpcUa_UInt32>& ids, OpcUa_MonitoringMode mode,
                                        UaStatus (UaSubscription::*begin)(Pending*))
    {
        auto* request = newMessage<Request>(requestType);
        if constexpr (std::is_same_v<Request, OpcUa_SetMonitoringModeRequest>)
            request->MonitoringMode = mode;
        request->NoOfMonitoredItemIds = static_cast<OpcUa_Int32>(ids.size());
        request->MonitoredItemIds =
            static_cast<OpcUa_UInt32*>(OpcUa_Memory_Alloc(sizeof(OpcUa_UInt32) * ids.size()));
        std::copy(ids.begin(), ids.end(), request->MonitoredItemIds);
        OpcUa_Handle context = nullptr;
        EXPECT_EQ(OpcUa_Good,
                  (subscription->*begin)(pending<Pending>(requestType, responseType, request, context))
                      .statusCode());
        const auto* response = endpoint.waitForAnswer(context).as<Response>(responseType);
        EXPECT_NE(nullptr, response);
        return response != nullptr ? std::vector<OpcUa_StatusCode>(response->Results,
                                                                   response->Results + response->NoOfResults)
                                   : std::vector<OpcUa_StatusCode>{};
    }
    std::vector<OpcUa_StatusCode> setMode(const std::vector<OpcUa_UInt32>& ids, OpcUa_MonitoringMode mode)
    {
        return byIds<PendingSetMonitoringModeRequest, OpcUa_SetMonitoringModeRequest,
                     OpcUa_SetMonitoringModeResponse>(OpcUa_SetMonitoringModeRequest_EncodeableType,
                                                      OpcUa_SetMonitoringModeResponse_EncodeableType, ids,
                                                      mode, &UaSubscription::beginSetMonitoringMode);
    }
    std::vector<OpcUa_StatusCode> remove(const std::vector<OpcUa_UInt32>& ids)
    {
        return byIds<PendingDeleteMonitoredItemsRequest, OpcUa_DeleteMonitoredItemsRequest,
                     OpcUa_DeleteMonitoredItemsResponse>(OpcUa_DeleteMonitoredItemsRequest_EncodeableType,
                                                         OpcUa_DeleteMonitoredItemsResponse_EncodeableType,
                                                         ids, OpcUa_MonitoringMode_Disabled,
                                                         &UaSubscription::beginDeleteMonitoredItems);
    }

    // Event items on nodes of namespace 2 are served by the event managers listed here.
    void serveEvents(const std::vector<EventManagerBase*>& managers)
    {
        server.root.eventManagers =
            [managers](Session*, const OpcUa_NodeId& nodeId, UaPointerArray<EventManager>& found)
        {
            found.create(nodeId.NamespaceIndex == 2 ? static_cast<OpcUa_UInt32>(managers.size()) : 0);
            for (OpcUa_UInt32 i = 0; i < found.length(); ++i)
                found[i] = managers[i];
            return UaStatus(OpcUa_Good);
        };
    }

    EventLog log;
    FakeIOManager io;
    FakeIOManager registeredIo{"registered", log};
    EventManagerBase events;
    EventManagerBase otherEvents;
    UaSubscription* subscription;

private:
    OpcUa_UInt32 m_handle = 0;
};

TEST_F(SubscriptionItemsTest, EachItemIsCheckedRevisedAndAnsweredOnce)
{
    struct Expected
    {
        OpcUa_StatusCode status;
        OpcUa_Double interval;
        OpcUa_UInt32 queueSize;
    };
    std::vector<ItemRow> rows(8);
    std::vector<Expected> expected(8);
    rows[0] = {1};
    expected[0] = {OpcUa_Good, 250, 1};
    rows[1] = {2, kValue, OpcUa_MonitoringMode_Reporting, -1, 5000};
    expected[1] = {OpcUa_Good, 100, 100}; // the publishing interval; the configured queue limit
    rows[2] = {3, 23};
    expected[2] = {OpcUa_BadAttributeIdInvalid, 0, 0};
    rows[3] = {4};
    rows[3].dataEncoding = true;
    expected[3] = {OpcUa_BadDataEncodingUnsupported, 0, 0};
    rows[4] = {5000};
    expected[4] = {OpcUa_BadNodeIdUnknown, 0, 0};
    const WireFilter selecting({"Message"}, {});
    rows[5] = {6, 12};
    rows[5].eventFilter = true;
    rows[5].filter = selecting.get();
    expected[5] = {OpcUa_BadMonitoredItemFilterUnsupported, 0, 0}; // no event manager
    rows[6] = {7, kValue, OpcUa_MonitoringMode_Disabled, 50, 0};
    expected[6] = {OpcUa_Good, 50, 1};
    rows[7] = {8, kValue};
    rows[7].eventFilter = true; // an event filter on a value
    expected[7] = {OpcUa_BadFilterNotAllowed, 0, 0};

    const OpcUa_CreateMonitoredItemsResponse* response = create(rows);
    ASSERT_NE(nullptr, response);
    ASSERT_EQ(8, response->NoOfResults);
    OpcUa_UInt32 nextId = 1;
    for (size_t i = 0; i < rows.size(); ++i)
    {
        const OpcUa_MonitoredItemCreateResult& result = response->Results[i];
        EXPECT_EQ(expected[i].status, result.StatusCode) << i;
        if (OpcUa_IsBad(result.StatusCode))
            continue;
        EXPECT_EQ(nextId++, result.MonitoredItemId) << i;
        EXPECT_EQ(expected[i].interval, result.RevisedSamplingInterval) << i;
        EXPECT_EQ(expected[i].queueSize, result.RevisedQueueSize) << i;
    }
    EXPECT_EQ(3u, subscription->monitoredItemCount());
    EXPECT_EQ(2, io.starts.load()); // the Disabled item never reached the I/O manager
    // The service ends just after its answer has gone.
    EXPECT_TRUE(uaserver::testing::eventually([&] { return session->activeServiceCount() == 0; }));
}

TEST_F(SubscriptionItemsTest, AFilterTheItemCannotApplyIsRefusedAndTheItemKeepsItsOwn)
{
    serveEvents({&events});
    const WireFilter selectsNothing({}, {});
    const WireFilter selecting({"Message"}, {});
    struct Row
    {
        const char* name;
        ItemRow item;
        OpcUa_StatusCode created;
        // The same filter in a ModifyMonitoredItems of a good item of the same kind.
        OpcUa_StatusCode modified;
    };
    auto value = [](ChangeFilter filter)
    {
        ItemRow row{1};
        row.changeFilter = filter;
        return row;
    };
    auto events = [](const OpcUa_EventFilter* filter, bool withFilter = true)
    {
        ItemRow row{2, 12};
        row.eventFilter = withFilter;
        row.filter = filter;
        return row;
    };
    ItemRow badMode{1};
    badMode.mode = static_cast<OpcUa_MonitoringMode>(5);
    const Row rows[] = {
        {"absolute 5", value({1, 1, 5}), OpcUa_Good, OpcUa_Good},
        {"percent 10 on a node without EURange", value({1, 2, 10}), OpcUa_BadFilterNotAllowed,
         OpcUa_BadFilterNotAllowed},
        {"absolute -1", value({1, 1, -1}), OpcUa_BadDeadbandFilterInvalid, OpcUa_BadDeadbandFilterInvalid},
        {"percent 101", value({1, 2, 101}), OpcUa_BadDeadbandFilterInvalid, OpcUa_BadDeadbandFilterInvalid},
        {"deadband type 3", value({1, 3, 1}), OpcUa_BadDeadbandFilterInvalid, OpcUa_BadDeadbandFilterInvalid},
        {"trigger 7", value({7, 0, 0}), OpcUa_BadMonitoredItemFilterInvalid,
         OpcUa_BadMonitoredItemFilterInvalid},
        {"monitoring mode 5", badMode, OpcUa_BadMonitoringModeInvalid, OpcUa_Good},
        {"events without a filter", events(nullptr, false), OpcUa_BadEventFilterInvalid,
         OpcUa_BadEventFilterInvalid},
        {"events selecting no field", events(selectsNothing.get()), OpcUa_BadEventFilterInvalid,
         OpcUa_BadEventFilterInvalid},
        {"events selecting a field", events(selecting.get()), OpcUa_Good, OpcUa_Good},
    };
    // One good item of each kind to modify: 1 a value with an absolute deadband of 5, 2 events.
    ItemRow kept{1};
    kept.absoluteDeadband = 5;
    const OpcUa_CreateMonitoredItemsResponse* goodItems = create({kept, events(selecting.get())});
    ASSERT_NE(nullptr, goodItems);
    ASSERT_EQ(OpcUa_Good, goodItems->Results[0].StatusCode);
    ASSERT_EQ(OpcUa_Good, goodItems->Results[1].StatusCode);
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        const OpcUa_CreateMonitoredItemsResponse* created = create({row.item});
        ASSERT_NE(nullptr, created);
        EXPECT_EQ(row.created, created->Results[0].StatusCode);
        const OpcUa_ModifyMonitoredItemsResponse* modified =
            modify(1,
                   [&](OpcUa_UInt32, OpcUa_MonitoredItemModifyRequest& item)
                   {
                       item.MonitoredItemId = row.item.attribute == 12 ? 2 : 1;
                       item.RequestedParameters.SamplingInterval = 250;
                       item.RequestedParameters.QueueSize = 10;
                       if (row.item.eventFilter)
                           setEventFilter(item.RequestedParameters.Filter, row.item.filter);
                       else if (row.item.changeFilter)
                           setChangeFilter(item.RequestedParameters.Filter, *row.item.changeFilter);
                   });
        ASSERT_NE(nullptr, modified);
        EXPECT_EQ(row.modified, modified->Results[0].StatusCode);
    }
    // Item 1 keeps its own deadband: no refused filter replaced it.
    UaMutexLocker lock(&subscription->itemOwner()->mutex);
    auto* item = static_cast<UaMonitoredItemData*>(subscription->monitoredItem(1));
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(OpcUa_DeadbandType_Absolute, item->deadbandType());
    EXPECT_EQ(5.0, item->deadband());
}

TEST_F(SubscriptionItemsTest, SampledValuesReachAPublishUnderTheItemsDeadband)
{
    ItemRow row{1};
    row.queueSize = 10;
    row.absoluteDeadband = 5;
    ASSERT_EQ(OpcUa_Good, create({row})->Results[0].StatusCode);
    ASSERT_TRUE(uaserver::testing::eventually([&] { return io.monitoredCount() == 1; }));
    for (OpcUa_Double value : {10.0, 12.0, 20.0})
        EXPECT_EQ(1, io.feed(valueOf(value)));
    OpcUa_Handle request = publishRequest(1);
    cycle(subscription);
    ASSERT_NE(nullptr, response(request));
    const Notified notified = notifiedIn(*response(request));
    EXPECT_EQ((std::vector<OpcUa_Double>{10, 20}), notified.values);
    EXPECT_EQ(std::vector<OpcUa_UInt32>(2, 100), notified.handles);
}

TEST_F(SubscriptionItemsTest, ModesSwitchOnTheManagerOnlyWhenDisabledIsInvolved)
{
    ASSERT_NE(nullptr, create({ItemRow{1}, ItemRow{2}}));
    ASSERT_EQ(2, io.starts.load());
    EXPECT_EQ((std::vector<OpcUa_StatusCode>{OpcUa_Good, OpcUa_BadMonitoredItemIdInvalid}),
              setMode({1, 9}, OpcUa_MonitoringMode_Sampling));
    EXPECT_EQ(0, io.stops.load());
    EXPECT_EQ((std::vector<OpcUa_StatusCode>{OpcUa_Good, OpcUa_Good}),
              setMode({1, 2}, OpcUa_MonitoringMode_Disabled));
    EXPECT_EQ(2, io.stops.load());
    EXPECT_EQ(2u, subscription->monitoredItemCount()); // disabled, not deleted
    EXPECT_EQ(std::vector<OpcUa_StatusCode>{OpcUa_Good}, setMode({2}, OpcUa_MonitoringMode_Reporting));
    EXPECT_EQ(3, io.starts.load());

    // A refusing manager leaves the item's result bad.
    io.monitoringRefusal = OpcUa_BadOutOfService;
    EXPECT_EQ(std::vector<OpcUa_StatusCode>{OpcUa_BadOutOfService},
              setMode({1}, OpcUa_MonitoringMode_Reporting));
    io.monitoringRefusal = OpcUa_Good;
}

TEST_F(SubscriptionItemsTest, DeletedIdsAreReusedAndEveryStopReachesTheManager)
{
    ASSERT_NE(nullptr, create({ItemRow{1}, ItemRow{2}, ItemRow{3},
                               ItemRow{4, kValue, OpcUa_MonitoringMode_Disabled}}));
    EXPECT_EQ((std::vector<OpcUa_StatusCode>{OpcUa_Good, OpcUa_Good, OpcUa_BadMonitoredItemIdInvalid}),
              remove({3, 4, 9}));
    EXPECT_EQ(1, io.stops.load()); // the Disabled one had nothing to stop
    EXPECT_EQ(2u, subscription->monitoredItemCount());
    const OpcUa_CreateMonitoredItemsResponse* again = create({ItemRow{5}});
    ASSERT_NE(nullptr, again);
    // Item 4 left at once, item 3 with its manager's answer: 3 was freed last and comes first.
    EXPECT_EQ(3u, again->Results[0].MonitoredItemId);

    const OpcUa_Int32 items = UaMonitoredItemData::instanceCount();
    subscription->close(false);
    EXPECT_EQ(4, io.stops.load());
    EXPECT_EQ(0u, io.monitoredCount());
    EXPECT_EQ(items - 3, UaMonitoredItemData::instanceCount());
}

TEST_F(SubscriptionItemsTest, ModifyRevisesIntervalAndQueue)
{
    ASSERT_NE(nullptr, create({ItemRow{1}}));
    const OpcUa_ModifyMonitoredItemsResponse* response = modify(
        2,
        [](OpcUa_UInt32 i, OpcUa_MonitoredItemModifyRequest& item)
        {
            item.MonitoredItemId = i == 0 ? 1 : 42;
            item.RequestedParameters.SamplingInterval = -1;
            item.RequestedParameters.QueueSize = 7;
        },
        OpcUa_TimestampsToReturn_Source);
    ASSERT_NE(nullptr, response);
    ASSERT_EQ(2, response->NoOfResults);
    EXPECT_EQ(OpcUa_Good, response->Results[0].StatusCode);
    EXPECT_EQ(100, response->Results[0].RevisedSamplingInterval);
    EXPECT_EQ(7u, response->Results[0].RevisedQueueSize);
    EXPECT_EQ(OpcUa_BadMonitoredItemIdInvalid, response->Results[1].StatusCode);
    EXPECT_EQ(1, io.modifies.load());
}

TEST_F(SubscriptionItemsTest, ARequestOfAnotherSessionOrAClosedSubscriptionStaysWithTheCaller)
{
    UaSession* other = activatedSession(99);
    auto* message =
        newMessage<OpcUa_CreateMonitoredItemsRequest>(OpcUa_CreateMonitoredItemsRequest_EncodeableType);
    OpcUa_Handle context =
        endpoint.openContext(kChannel, &OpcUa_CreateMonitoredItemsResponse_EncodeableType, 5);
    other->startingServiceProcessing();
    auto* foreign = new PendingCreateMonitoredItemsRequest(
        endpoint.handle(), context, &OpcUa_CreateMonitoredItemsRequest_EncodeableType, other, message);
    EXPECT_EQ(OpcUa_BadSessionIdInvalid, subscription->beginCreateMonitoredItems(foreign).statusCode());
    subscription->close(false);
    EXPECT_EQ(OpcUa_BadSubscriptionIdInvalid, subscription->beginCreateMonitoredItems(foreign).statusCode());
    // The caller answers with a fault, as the service entry does.
    OpcUa_Endpoint_CancelSendResponse(endpoint.handle(), OpcUa_BadSessionIdInvalid, nullptr, &context);
    OpcUa_EncodeableObject_Delete(&OpcUa_CreateMonitoredItemsRequest_EncodeableType,
                                  reinterpret_cast<OpcUa_Void**>(&message));
    delete foreign;
    other->finishedServiceProcessing();
    other->close(true);
    other->releaseReference();
}

TEST_F(SubscriptionItemsTest, ASessionStopsAtItsItemCap)
{
    // Disabled items: nothing reaches the I/O manager, the cap alone is tested.
    std::vector<ItemRow> rows(UaSession::kMaxMonitoredItems + 1,
                              ItemRow{1, kValue, OpcUa_MonitoringMode_Disabled});
    const OpcUa_CreateMonitoredItemsResponse* response = create(rows);
    ASSERT_NE(nullptr, response);
    ASSERT_EQ(static_cast<OpcUa_Int32>(rows.size()), response->NoOfResults);
    EXPECT_EQ(OpcUa_Good, response->Results[UaSession::kMaxMonitoredItems - 1].StatusCode);
    EXPECT_EQ(OpcUa_BadTooManyMonitoredItems, response->Results[UaSession::kMaxMonitoredItems].StatusCode);
    EXPECT_EQ(UaSession::kMaxMonitoredItems, session->monitoredItemCount());
    subscription->close(false);
    EXPECT_EQ(0u, session->monitoredItemCount());
}

TEST_F(SubscriptionItemsTest, ARegisteredNodeIsMonitoredThroughItsKeptHandleOrItsRealNode)
{
    std::vector<UaNodeId> resolved;
    server.root.variableHandles = [&](Session*, OpcUa_UInt32, const OpcUa_NodeId& nodeId,
                                      OpcUa_Int32 attributeId) -> VariableHandle*
    {
        resolved.emplace_back(nodeId);
        return nodeId.NamespaceIndex == 2 ? new VariableHandle(&io, attributeId) : nullptr;
    };
    const OpcUa_UInt32 alias = session->registerNode(new RegisteredNode(
        UaNodeId(7, 2), new RegisteredVariableHandle(new VariableHandle(&registeredIo, kValue))));
    ItemRow value{alias};
    value.namespaceIndex = 99;
    ItemRow browseName = value;
    browseName.attribute = 3;
    ItemRow unknown{alias + 1};
    unknown.namespaceIndex = 99;

    const OpcUa_CreateMonitoredItemsResponse* created = create({value, browseName, unknown});
    ASSERT_NE(nullptr, created);
    ASSERT_EQ(3, created->NoOfResults);
    EXPECT_EQ(OpcUa_Good, created->Results[0].StatusCode);
    EXPECT_EQ(OpcUa_Good, created->Results[1].StatusCode);
    EXPECT_EQ(OpcUa_BadNodeIdUnknown, created->Results[2].StatusCode);
    // The value is sampled through the registered handle; any other attribute of the real node
    // through the root, which never sees the alias.
    EXPECT_EQ(1, registeredIo.starts.load());
    EXPECT_EQ(1, io.starts.load());
    EXPECT_EQ(std::vector<UaNodeId>{UaNodeId(7, 2)}, resolved);
    ASSERT_TRUE(uaserver::testing::eventually([&] { return registeredIo.monitoredCount() == 1; }));
    EXPECT_EQ(1, registeredIo.feed(valueOf(4)));
    OpcUa_Handle request = publishRequest(1);
    cycle(subscription);
    ASSERT_NE(nullptr, response(request));
    EXPECT_EQ(std::vector<OpcUa_Double>{4}, notifiedIn(*response(request)).values);
}

TEST_F(SubscriptionItemsTest, EventItemsAnswerWithTheirFiltersResults)
{
    serveEvents({&events});
    // An unknown field still makes the item; a Not with two operands refuses it.
    const WireFilter selecting({"Message", "NoSuchField"}, {});
    const WireFilter refused(
        {"Message"},
        {Element{eventtestkit::Op::Not, {eventtestkit::field("Severity"), eventtestkit::field("Severity")}}});
    ItemRow good{50, 12};
    good.eventFilter = true;
    good.filter = selecting.get();
    ItemRow bad = good;
    bad.filter = refused.get();
    const OpcUa_CreateMonitoredItemsResponse* created = create({good, bad});
    ASSERT_NE(nullptr, created);
    ASSERT_EQ(2, created->NoOfResults);
    EXPECT_EQ(OpcUa_Good, created->Results[0].StatusCode);
    EXPECT_EQ((std::vector<OpcUa_StatusCode>{OpcUa_Good, OpcUa_BadNotFound}),
              filterResultOf(created->Results[0].FilterResult).first);
    EXPECT_EQ(OpcUa_BadEventFilterInvalid, created->Results[1].StatusCode);
    EXPECT_EQ(std::vector<OpcUa_StatusCode>{OpcUa_BadFilterOperandCountMismatch},
              filterResultOf(created->Results[1].FilterResult).second);
    EXPECT_EQ(1u, subscription->monitoredItemCount());
    EXPECT_EQ(1u, events.itemCount());

    // A modification answers with the new filter's result; the refused filter leaves the item.
    const OpcUa_ModifyMonitoredItemsResponse* modified =
        modify(1,
               [&](OpcUa_UInt32, OpcUa_MonitoredItemModifyRequest& item)
               {
                   item.MonitoredItemId = created->Results[0].MonitoredItemId;
                   setEventFilter(item.RequestedParameters.Filter, refused.get());
               });
    ASSERT_NE(nullptr, modified);
    ASSERT_EQ(1, modified->NoOfResults);
    EXPECT_EQ(OpcUa_BadEventFilterInvalid, modified->Results[0].StatusCode);
    EXPECT_EQ(std::vector<OpcUa_StatusCode>{OpcUa_BadFilterOperandCountMismatch},
              filterResultOf(modified->Results[0].FilterResult).second);
    EXPECT_EQ(1u, subscription->monitoredItemCount());
}

TEST_F(SubscriptionItemsTest, ConditionRefreshFramesTheRetainedConditionsOfEveryManagerOnce)
{
    serveEvents({&events, &otherEvents});
    // One retained condition in each manager, kept before the item exists.
    TestEvent first(UaNodeId(2782, 0), UaNodeId(50, 2), 500, "first");
    first.condition = UaNodeId(1, 2);
    first.retain = true;
    TestEvent second(UaNodeId(2782, 0), UaNodeId(50, 2), 500, "second");
    second.condition = UaNodeId(2, 2);
    second.retain = true;
    for (EventManagerBase* manager : {&events, &otherEvents})
        manager->addNotifier(UaNodeId(2253, 0), UaNodeId(50, 2));
    events.fireEvent(first);
    otherEvents.fireEvent(second);

    const WireFilter select({"EventType", "Message"}, {});
    ItemRow row{50, 12};
    row.eventFilter = true;
    row.filter = select.get();
    ASSERT_EQ(OpcUa_Good, create({row})->Results[0].StatusCode);
    ServiceContext context;
    OpcUa_RequestHeader header;
    OpcUa_RequestHeader_Initialize(&header);
    context.setSession(session, header);
    ASSERT_EQ(OpcUa_Good, subscription->beginConditionRefresh(context).statusCode());

    OpcUa_Handle request = publishRequest(1);
    cycle(subscription);
    ASSERT_NE(nullptr, response(request));
    std::vector<UaNodeId> types;
    for (const UaVariant& type : eventFieldsIn(*response(request), 0))
    {
        UaNodeId id;
        type.toNodeId(id);
        types.push_back(id);
    }
    EXPECT_EQ(
        (std::vector<UaNodeId>{UaNodeId(2787, 0), UaNodeId(2782, 0), UaNodeId(2782, 0), UaNodeId(2788, 0)}),
        types);
    const std::vector<std::string> messages = textsIn(*response(request), 1);
    EXPECT_EQ((std::vector<std::string>{"", "first", "second", ""}), messages);
}

TEST_F(SubscriptionItemsTest, ALateEventManagerStartsEachActiveEventItemOnce)
{
    serveEvents({&events});
    for (EventManagerBase* manager : {&events, &otherEvents})
        manager->addNotifier(UaNodeId(2253, 0), UaNodeId(50, 2));
    const WireFilter select({"Message"}, {});
    ItemRow active{50, 12};
    active.eventFilter = true;
    active.filter = select.get();
    ItemRow disabled = active;
    disabled.mode = OpcUa_MonitoringMode_Disabled;
    const OpcUa_CreateMonitoredItemsResponse* created = create({active, disabled, ItemRow{1}});
    ASSERT_NE(nullptr, created);
    ASSERT_EQ(OpcUa_Good, created->Results[0].StatusCode);
    ASSERT_EQ(1u, events.itemCount());

    // An announcement of a manager the item has already changes nothing; a new one starts it.
    subscription->dynamicEventManagerRegistered(&events);
    subscription->dynamicEventManagerRegistered(&otherEvents);
    EXPECT_EQ(1u, events.itemCount());
    EXPECT_EQ(1u, otherEvents.itemCount());
    TestEvent first(UaNodeId(2041, 0), UaNodeId(50, 2), 100, "first");
    TestEvent late(UaNodeId(2041, 0), UaNodeId(50, 2), 100, "late");
    events.fireEvent(first);
    otherEvents.fireEvent(late);
    OpcUa_Handle request = publishRequest(1);
    cycle(subscription);
    ASSERT_NE(nullptr, response(request));
    const std::vector<std::string> messages = textsIn(*response(request), 0);
    EXPECT_EQ((std::vector<std::string>{"first", "late"}), messages);

    // Deleting the item stops it on both.
    EXPECT_EQ(std::vector<OpcUa_StatusCode>{OpcUa_Good}, remove({created->Results[0].MonitoredItemId}));
    EXPECT_EQ(0u, events.itemCount());
    EXPECT_EQ(0u, otherEvents.itemCount());
}

} // namespace
