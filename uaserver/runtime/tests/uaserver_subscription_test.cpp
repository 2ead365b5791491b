// The subscription services through the service table on the fake endpoint: the frame's checks,
// revised values, Publish with and without subscriptions, transfer and deletion results, the live
// counts below ObjectStatistics and event managers that start while clients watch events.
#include "eventtestkit.h"
#include "uamonitoreditem.h"
#include "uaservertestbed.h"
#include "uasubscription.h"
#include "uasubscriptionmanager.h"

#include <nodemanagerwithevents.h>
#include <test_waits.h>

#include <gtest/gtest.h>

#include <list>
#include <memory>
#include <string>
#include <vector>

using namespace servertest;

namespace
{
const FakeChannel kChannel{7};

template <class Request> Request* requestOf(OpcUa_EncodeableType& type, const UaNodeId& token)
{
    auto* request = newMessage<Request>(type);
    token.copyTo(&request->RequestHeader.AuthenticationToken);
    return request;
}

class UaServerSubscriptionTest : public ::testing::Test
{
protected:
    UaServerSubscriptionTest()
    {
        EXPECT_TRUE(bed.start().isGood());
        token = bed.openSession(kChannel);
    }

    OpcUa_UInt32 createSubscription(OpcUa_CreateSubscriptionResponse* revised = nullptr)
    {
        auto* request =
            requestOf<OpcUa_CreateSubscriptionRequest>(OpcUa_CreateSubscriptionRequest_EncodeableType, token);
        request->RequestedPublishingInterval = 100;
        request->RequestedMaxKeepAliveCount = 10;
        request->RequestedLifetimeCount = 30;
        request->PublishingEnabled = OpcUa_True;
        const auto* created =
            bed.call(kChannel, request, OpcUa_CreateSubscriptionRequest_EncodeableType)
                .as<OpcUa_CreateSubscriptionResponse>(OpcUa_CreateSubscriptionResponse_EncodeableType);
        EXPECT_NE(nullptr, created);
        if (created == nullptr)
            return 0;
        if (revised != nullptr)
            *revised = *created;
        return created->SubscriptionId;
    }

    // The Int32 values of variables of namespace 1 named by their NodeId strings.
    std::vector<OpcUa_Int32> readCounts(const std::vector<std::string>& names)
    {
        auto* request = requestOf<OpcUa_ReadRequest>(OpcUa_ReadRequest_EncodeableType, token);
        request->NoOfNodesToRead = static_cast<OpcUa_Int32>(names.size());
        request->NodesToRead = eventtestkit::allocate<OpcUa_ReadValueId>(names.size());
        for (size_t i = 0; i < names.size(); ++i)
        {
            OpcUa_ReadValueId_Initialize(&request->NodesToRead[i]);
            UaNodeId(UaString(names[i].c_str()), 1).copyTo(&request->NodesToRead[i].NodeId);
            request->NodesToRead[i].AttributeId = 13;
        }
        const auto* read = bed.call(kChannel, request, OpcUa_ReadRequest_EncodeableType)
                               .as<OpcUa_ReadResponse>(OpcUa_ReadResponse_EncodeableType);
        std::vector<OpcUa_Int32> counts;
        for (OpcUa_Int32 i = 0; read != nullptr && i < read->NoOfResults; ++i)
            counts.push_back(OpcUa_IsGood(read->Results[i].StatusCode) ? read->Results[i].Value.Value.Int32
                                                                       : -1);
        return counts;
    }

    // An event item on the Server object selecting the Message and the EventType; its result.
    OpcUa_StatusCode createEventItem(OpcUa_UInt32 subscriptionId)
    {
        auto* request = requestOf<OpcUa_CreateMonitoredItemsRequest>(
            OpcUa_CreateMonitoredItemsRequest_EncodeableType, token);
        request->SubscriptionId = subscriptionId;
        request->TimestampsToReturn = OpcUa_TimestampsToReturn_Both;
        request->NoOfItemsToCreate = 1;
        request->ItemsToCreate = eventtestkit::allocate<OpcUa_MonitoredItemCreateRequest>(1);
        OpcUa_MonitoredItemCreateRequest& item = request->ItemsToCreate[0];
        OpcUa_MonitoredItemCreateRequest_Initialize(&item);
        UaNodeId(2253, 0).copyTo(&item.ItemToMonitor.NodeId);
        item.ItemToMonitor.AttributeId = 12;
        item.MonitoringMode = OpcUa_MonitoringMode_Reporting;
        item.RequestedParameters.QueueSize = 10;
        const eventtestkit::WireFilter select({"Message", "EventType"}, {});
        OpcUa_Void* body = nullptr;
        OpcUa_EncodeableObject_CreateExtension(&OpcUa_EventFilter_EncodeableType,
                                               &item.RequestedParameters.Filter, &body);
        OpcUa_EncodeableObject_CopyTo(&OpcUa_EventFilter_EncodeableType,
                                      const_cast<OpcUa_EventFilter*>(select.get()), body);
        const auto* created =
            bed.call(kChannel, request, OpcUa_CreateMonitoredItemsRequest_EncodeableType)
                .as<OpcUa_CreateMonitoredItemsResponse>(OpcUa_CreateMonitoredItemsResponse_EncodeableType);
        return created != nullptr && created->NoOfResults == 1 ? created->Results[0].StatusCode
                                                               : OpcUa_BadUnexpectedError;
    }

    // The message and the event type of each event of the next Publish response.
    std::vector<std::pair<std::string, UaNodeId>> publishedEvents()
    {
        auto* publish = requestOf<OpcUa_PublishRequest>(OpcUa_PublishRequest_EncodeableType, token);
        const auto* published = bed.call(kChannel, publish, OpcUa_PublishRequest_EncodeableType)
                                    .as<OpcUa_PublishResponse>(OpcUa_PublishResponse_EncodeableType);
        std::vector<std::pair<std::string, UaNodeId>> events;
        for (OpcUa_Int32 i = 0;
             published != nullptr && i < published->NotificationMessage.NoOfNotificationData; ++i)
        {
            const OpcUa_ExtensionObject& data = published->NotificationMessage.NotificationData[i];
            if (data.Body.EncodeableObject.Type != &OpcUa_EventNotificationList_EncodeableType)
                continue;
            const auto* list =
                static_cast<const OpcUa_EventNotificationList*>(data.Body.EncodeableObject.Object);
            for (OpcUa_Int32 j = 0; j < list->NoOfEvents; ++j)
            {
                const OpcUa_Variant* fields = list->Events[j].EventFields;
                events.emplace_back(UaString(&fields[0].Value.LocalizedText->Text).toUtf8(),
                                    UaNodeId(*fields[1].Value.NodeId));
            }
        }
        return events;
    }

    // Node managers of the test outlive the server, whose subscriptions hold their event managers.
    std::vector<std::unique_ptr<NodeManagerWithEvents>> nodeManagers;
    ServerBed bed;
    UaNodeId token;
};

// A node manager with events on and no nodes of its own: the Server object is its notifier.
class EventSource : public NodeManagerWithEvents
{
public:
    explicit EventSource(const char* uri) : NodeManagerWithEvents(uri, true, 101) {}
    UaStatus afterStartUp() override { return OpcUa_Good; }
    UaStatus beforeShutDown() override { return OpcUa_Good; }
};

TEST_F(UaServerSubscriptionTest, CreateRevisesAndDeleteAnswersPerId)
{
    OpcUa_CreateSubscriptionResponse revised;
    const OpcUa_UInt32 id = createSubscription(&revised);
    EXPECT_EQ(1u, id);
    EXPECT_EQ(100, revised.RevisedPublishingInterval);
    EXPECT_EQ(51u, revised.RevisedMaxKeepAliveCount);
    EXPECT_EQ(153u, revised.RevisedLifetimeCount);

    auto* remove =
        requestOf<OpcUa_DeleteSubscriptionsRequest>(OpcUa_DeleteSubscriptionsRequest_EncodeableType, token);
    remove->NoOfSubscriptionIds = 2;
    remove->SubscriptionIds = static_cast<OpcUa_UInt32*>(OpcUa_Memory_Alloc(2 * sizeof(OpcUa_UInt32)));
    remove->SubscriptionIds[0] = 99;
    remove->SubscriptionIds[1] = id;
    const auto* deleted =
        bed.call(kChannel, remove, OpcUa_DeleteSubscriptionsRequest_EncodeableType)
            .as<OpcUa_DeleteSubscriptionsResponse>(OpcUa_DeleteSubscriptionsResponse_EncodeableType);
    ASSERT_NE(nullptr, deleted);
    ASSERT_EQ(2, deleted->NoOfResults);
    EXPECT_EQ(OpcUa_BadSubscriptionIdInvalid, deleted->Results[0]);
    EXPECT_EQ(OpcUa_Good, deleted->Results[1]);

    auto* empty =
        requestOf<OpcUa_DeleteSubscriptionsRequest>(OpcUa_DeleteSubscriptionsRequest_EncodeableType, token);
    EXPECT_EQ(OpcUa_BadNothingToDo,
              bed.call(kChannel, empty, OpcUa_DeleteSubscriptionsRequest_EncodeableType).status);
}

TEST_F(UaServerSubscriptionTest, TheFrameChecksComeInTheirOrder)
{
    // No items wins over an invalid TimestampsToReturn.
    auto* create =
        requestOf<OpcUa_CreateMonitoredItemsRequest>(OpcUa_CreateMonitoredItemsRequest_EncodeableType, token);
    create->TimestampsToReturn = static_cast<OpcUa_TimestampsToReturn>(7);
    EXPECT_EQ(OpcUa_BadNothingToDo,
              bed.call(kChannel, create, OpcUa_CreateMonitoredItemsRequest_EncodeableType).status);

    // A monitoring mode no item can take is the service's fault, after the empty check.
    for (const auto& [ids, expected] :
         {std::pair{0, OpcUa_BadNothingToDo}, std::pair{1, OpcUa_BadMonitoringModeInvalid}})
    {
        auto* mode =
            requestOf<OpcUa_SetMonitoringModeRequest>(OpcUa_SetMonitoringModeRequest_EncodeableType, token);
        mode->SubscriptionId = 1;
        mode->MonitoringMode = static_cast<OpcUa_MonitoringMode>(5);
        mode->NoOfMonitoredItemIds = ids;
        mode->MonitoredItemIds =
            ids ? static_cast<OpcUa_UInt32*>(OpcUa_Memory_Alloc(sizeof(OpcUa_UInt32))) : nullptr;
        if (ids)
            mode->MonitoredItemIds[0] = 1;
        EXPECT_EQ(static_cast<OpcUa_StatusCode>(expected),
                  bed.call(kChannel, mode, OpcUa_SetMonitoringModeRequest_EncodeableType).status);
    }

    // SetTriggering's empty check overrides a session error.
    const UaNodeId unknown(424242, 0);
    auto* nothing = requestOf<OpcUa_SetTriggeringRequest>(OpcUa_SetTriggeringRequest_EncodeableType, unknown);
    EXPECT_EQ(OpcUa_BadNothingToDo,
              bed.call(kChannel, nothing, OpcUa_SetTriggeringRequest_EncodeableType).status);
    auto* link = requestOf<OpcUa_SetTriggeringRequest>(OpcUa_SetTriggeringRequest_EncodeableType, unknown);
    link->NoOfLinksToAdd = 1;
    link->LinksToAdd = static_cast<OpcUa_UInt32*>(OpcUa_Memory_Alloc(sizeof(OpcUa_UInt32)));
    link->LinksToAdd[0] = 1;
    EXPECT_EQ(OpcUa_BadSessionIdInvalid,
              bed.call(kChannel, link, OpcUa_SetTriggeringRequest_EncodeableType).status);

    // Publish without a subscription.
    auto* publish = requestOf<OpcUa_PublishRequest>(OpcUa_PublishRequest_EncodeableType, token);
    EXPECT_EQ(OpcUa_BadNoSubscription,
              bed.call(kChannel, publish, OpcUa_PublishRequest_EncodeableType).status);
}

TEST_F(UaServerSubscriptionTest, PublishGetsAKeepAliveAndTransferAnswersEachId)
{
    const OpcUa_UInt32 id = createSubscription();
    auto* publish = requestOf<OpcUa_PublishRequest>(OpcUa_PublishRequest_EncodeableType, token);
    const auto* keepAlive = bed.call(kChannel, publish, OpcUa_PublishRequest_EncodeableType)
                                .as<OpcUa_PublishResponse>(OpcUa_PublishResponse_EncodeableType);
    ASSERT_NE(nullptr, keepAlive);
    EXPECT_EQ(id, keepAlive->SubscriptionId);
    EXPECT_EQ(0, keepAlive->NotificationMessage.NoOfNotificationData);

    auto* transfer = requestOf<OpcUa_TransferSubscriptionsRequest>(
        OpcUa_TransferSubscriptionsRequest_EncodeableType, token);
    transfer->NoOfSubscriptionIds = 2;
    transfer->SubscriptionIds = static_cast<OpcUa_UInt32*>(OpcUa_Memory_Alloc(2 * sizeof(OpcUa_UInt32)));
    transfer->SubscriptionIds[0] = id;
    transfer->SubscriptionIds[1] = 6;
    const FakeAnswer& answer =
        bed.call(kChannel, transfer, OpcUa_TransferSubscriptionsRequest_EncodeableType);
    EXPECT_EQ(OpcUa_Good, answer.status);
    const auto* transferred =
        answer.as<OpcUa_TransferSubscriptionsResponse>(OpcUa_TransferSubscriptionsResponse_EncodeableType);
    ASSERT_NE(nullptr, transferred);
    ASSERT_EQ(2, transferred->NoOfResults);
    EXPECT_EQ(OpcUa_BadSubscriptionIdInvalid, transferred->Results[1].StatusCode);
}

TEST_F(UaServerSubscriptionTest, ObjectStatisticsShowTheLiveSubscriptionsAndItems)
{
    const std::vector<std::string> names{"ObjectStatistics_Subscription",
                                         "ObjectStatistics_MonitoredItemData",
                                         "ObjectStatistics_MonitoredItemEvent"};
    EXPECT_EQ((std::vector<OpcUa_Int32>{0, 0, 0}), readCounts(names));
    nodeManagers.push_back(std::make_unique<EventSource>("urn:test:events"));
    ASSERT_TRUE(nodeManagers.back()->startUp(&bed.serverManager).isGood());
    const OpcUa_UInt32 id = createSubscription();
    ASSERT_EQ(OpcUa_Good, createEventItem(id));
    EXPECT_EQ((std::vector<OpcUa_Int32>{1, 0, 1}), readCounts(names));
    EXPECT_EQ((std::vector<OpcUa_Int32>{UaSubscription::instanceCount(), UaMonitoredItemData::instanceCount(),
                                        UaMonitoredItemEvent::instanceCount()}),
              readCounts(names));
}

TEST_F(UaServerSubscriptionTest, AnEventManagerStartedWhileTheServerRunsServesTheEventItemsThatExist)
{
    // The subscription manager listens from its start to its end.
    EXPECT_EQ(std::list<DynamicEventManagerCallback*>{bed.server.subscriptionManager()},
              bed.serverManager.dynamicEventManagerCallbacks());
    nodeManagers.push_back(std::make_unique<EventSource>("urn:test:first"));
    EventSource& first = static_cast<EventSource&>(*nodeManagers.back());
    ASSERT_TRUE(first.startUp(&bed.serverManager).isGood());
    const OpcUa_UInt32 id = createSubscription();
    ASSERT_EQ(OpcUa_Good, createEventItem(id));

    nodeManagers.push_back(std::make_unique<EventSource>("urn:test:late"));
    EventSource& late = static_cast<EventSource&>(*nodeManagers.back());
    ASSERT_TRUE(late.startUp(&bed.serverManager).isGood());
    ASSERT_TRUE(uaserver::testing::eventually([&] { return late.itemCount() == 1; }));
    eventtestkit::TestEvent fromFirst(UaNodeId(2041, 0), UaNodeId(2253, 0), 100, "first");
    eventtestkit::TestEvent fromLate(UaNodeId(2041, 0), UaNodeId(2253, 0), 100, "late");
    first.fireEvent(fromFirst);
    late.fireEvent(fromLate);
    const UaNodeId base(2041, 0);
    EXPECT_EQ((std::vector<std::pair<std::string, UaNodeId>>{{"first", base}, {"late", base}}),
              publishedEvents());

    bed.server.shutDown();
    EXPECT_TRUE(bed.serverManager.dynamicEventManagerCallbacks().empty());
}

TEST_F(UaServerSubscriptionTest, ConditionRefreshCallsFrameTheRefreshOfTheCallersSubscription)
{
    nodeManagers.push_back(std::make_unique<EventSource>("urn:test:events"));
    ASSERT_TRUE(nodeManagers.back()->startUp(&bed.serverManager).isGood());
    const OpcUa_UInt32 id = createSubscription();
    ASSERT_EQ(OpcUa_Good, createEventItem(id));

    // ConditionRefresh of ConditionType with the subscription id, and with an id that is not the session's.
    auto* call = requestOf<OpcUa_CallRequest>(OpcUa_CallRequest_EncodeableType, token);
    call->NoOfMethodsToCall = 2;
    call->MethodsToCall = eventtestkit::allocate<OpcUa_CallMethodRequest>(2);
    for (OpcUa_UInt32 i = 0; i < 2; ++i)
    {
        OpcUa_CallMethodRequest& method = call->MethodsToCall[i];
        OpcUa_CallMethodRequest_Initialize(&method);
        UaNodeId(2782, 0).copyTo(&method.ObjectId);
        UaNodeId(3875, 0).copyTo(&method.MethodId);
        method.NoOfInputArguments = 1;
        method.InputArguments = eventtestkit::allocate<OpcUa_Variant>(1);
        UaVariant subscriptionId;
        subscriptionId.setUInt32(i == 0 ? id : id + 1);
        subscriptionId.copyTo(&method.InputArguments[0]);
    }
    const auto* called = bed.call(kChannel, call, OpcUa_CallRequest_EncodeableType)
                             .as<OpcUa_CallResponse>(OpcUa_CallResponse_EncodeableType);
    ASSERT_NE(nullptr, called);
    ASSERT_EQ(2, called->NoOfResults);
    EXPECT_EQ(OpcUa_Good, called->Results[0].StatusCode);
    EXPECT_EQ(OpcUa_BadSubscriptionIdInvalid, called->Results[1].StatusCode);
    // Nothing retained: the start and the end event alone, from the Server object.
    EXPECT_EQ(
        (std::vector<std::pair<std::string, UaNodeId>>{{"", UaNodeId(2787, 0)}, {"", UaNodeId(2788, 0)}}),
        publishedEvents());
}

} // namespace
