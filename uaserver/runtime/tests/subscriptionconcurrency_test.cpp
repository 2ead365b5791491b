// Subscriptions under load, for the thread sanitizer: four sessions create, modify and delete items
// and publish while values change every millisecond and the manager's thread publishes; one session
// closes midway. Every subscription and item is gone afterwards.
#include "pendingmonitoreditemrequests.h"
#include "subscription_fixture.h"
#include "transaction_fakes.h"
#include "uasubscriptionmanager.h"

#include <atomic>
#include <thread>

using namespace subscriptiontest;

namespace
{
// The request as its service entry hands it to the manager: an open context, the service counted.
template <typename Pending, typename Request>
Pending* handOver(FakeEndpoint& endpoint, UaSession* session, Request* request,
                  OpcUa_EncodeableType& requestType, OpcUa_EncodeableType& responseType,
                  OpcUa_Handle& context)
{
    context = endpoint.openContext(kChannel, &responseType);
    session->startingServiceProcessing();
    return new Pending(endpoint.handle(), context, &requestType, session, request);
}

PendingCreateMonitoredItemsRequest* createRequest(FakeEndpoint& endpoint, UaSession* session,
                                                  OpcUa_UInt32 subscriptionId, OpcUa_UInt32 count,
                                                  OpcUa_Handle& context)
{
    auto* request =
        newMessage<OpcUa_CreateMonitoredItemsRequest>(OpcUa_CreateMonitoredItemsRequest_EncodeableType);
    request->SubscriptionId = subscriptionId;
    request->TimestampsToReturn = OpcUa_TimestampsToReturn_Both;
    request->NoOfItemsToCreate = static_cast<OpcUa_Int32>(count);
    request->ItemsToCreate = static_cast<OpcUa_MonitoredItemCreateRequest*>(
        OpcUa_Memory_Alloc(sizeof(OpcUa_MonitoredItemCreateRequest) * count));
    for (OpcUa_UInt32 i = 0; i < count; ++i)
    {
        OpcUa_MonitoredItemCreateRequest& item = request->ItemsToCreate[i];
        OpcUa_MonitoredItemCreateRequest_Initialize(&item);
        item.ItemToMonitor.NodeId.NamespaceIndex = 2;
        item.ItemToMonitor.NodeId.Identifier.Numeric = i + 1;
        item.ItemToMonitor.AttributeId = 13;
        item.MonitoringMode = OpcUa_MonitoringMode_Reporting;
        item.RequestedParameters.ClientHandle = i;
        item.RequestedParameters.SamplingInterval = 10;
        item.RequestedParameters.QueueSize = 2;
        item.RequestedParameters.DiscardOldest = OpcUa_True;
    }
    return handOver<PendingCreateMonitoredItemsRequest>(
        endpoint, session, request, OpcUa_CreateMonitoredItemsRequest_EncodeableType,
        OpcUa_CreateMonitoredItemsResponse_EncodeableType, context);
}

PendingDeleteMonitoredItemsRequest* deleteRequest(FakeEndpoint& endpoint, UaSession* session,
                                                  OpcUa_UInt32 subscriptionId,
                                                  const OpcUa_CreateMonitoredItemsResponse& created,
                                                  OpcUa_Handle& context)
{
    auto* request =
        newMessage<OpcUa_DeleteMonitoredItemsRequest>(OpcUa_DeleteMonitoredItemsRequest_EncodeableType);
    request->SubscriptionId = subscriptionId;
    request->NoOfMonitoredItemIds = created.NoOfResults;
    request->MonitoredItemIds = static_cast<OpcUa_UInt32*>(
        OpcUa_Memory_Alloc(sizeof(OpcUa_UInt32) * std::max(1, created.NoOfResults)));
    for (OpcUa_Int32 i = 0; i < created.NoOfResults; ++i)
        request->MonitoredItemIds[i] = created.Results[i].MonitoredItemId;
    return handOver<PendingDeleteMonitoredItemsRequest>(
        endpoint, session, request, OpcUa_DeleteMonitoredItemsRequest_EncodeableType,
        OpcUa_DeleteMonitoredItemsResponse_EncodeableType, context);
}

// Every created item samples at the publishing interval with a queue of 3 from now on.
PendingModifyMonitoredItemsRequest* modifyRequest(FakeEndpoint& endpoint, UaSession* session,
                                                  OpcUa_UInt32 subscriptionId,
                                                  const OpcUa_CreateMonitoredItemsResponse& created,
                                                  OpcUa_Handle& context)
{
    auto* request =
        newMessage<OpcUa_ModifyMonitoredItemsRequest>(OpcUa_ModifyMonitoredItemsRequest_EncodeableType);
    request->SubscriptionId = subscriptionId;
    request->TimestampsToReturn = OpcUa_TimestampsToReturn_Source;
    request->NoOfItemsToModify = created.NoOfResults;
    request->ItemsToModify = static_cast<OpcUa_MonitoredItemModifyRequest*>(
        OpcUa_Memory_Alloc(sizeof(OpcUa_MonitoredItemModifyRequest) * std::max(1, created.NoOfResults)));
    for (OpcUa_Int32 i = 0; i < created.NoOfResults; ++i)
    {
        OpcUa_MonitoredItemModifyRequest& item = request->ItemsToModify[i];
        OpcUa_MonitoredItemModifyRequest_Initialize(&item);
        item.MonitoredItemId = created.Results[i].MonitoredItemId;
        item.RequestedParameters.ClientHandle = static_cast<OpcUa_UInt32>(i);
        item.RequestedParameters.SamplingInterval = -1;
        item.RequestedParameters.QueueSize = 3;
    }
    return handOver<PendingModifyMonitoredItemsRequest>(
        endpoint, session, request, OpcUa_ModifyMonitoredItemsRequest_EncodeableType,
        OpcUa_ModifyMonitoredItemsResponse_EncodeableType, context);
}

TEST(SubscriptionConcurrency, SessionsWorkWhileValuesChangeAndOneSessionCloses)
{
    FakeEndpoint endpoint;
    EventLog log;
    FakeIOManager io("io", log);
    TestServerManager server;
    server.config.subscriptionSettings[0] = 10;
    server.config.subscriptionSettings[2] = 0;
    server.root.variableHandles = [&io](Session*, OpcUa_UInt32, const OpcUa_NodeId&, OpcUa_Int32 attributeId)
    { return new VariableHandle(&io, attributeId); };
    auto* current = new CounterVariable(2285);
    auto* cumulated = new CounterVariable(2286);
    server.root.addLookUpNode(current);
    server.root.addLookUpNode(cumulated);
    auto manager = std::make_unique<UaSubscriptionManager>(&server);
    ASSERT_TRUE(manager->startUp().isGood());

    std::atomic<bool> stop{false};
    std::thread feeder(
        [&]
        {
            for (int n = 0; !stop; ++n)
            {
                io.feed(valueOf(n));
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    UaSession* sessions[4];
    for (OpcUa_UInt32 i = 0; i < 4; ++i)
        sessions[i] = activatedSession(i + 1);
    std::vector<std::thread> clients;
    for (int s = 0; s < 4; ++s)
    {
        clients.emplace_back(
            [&, s]
            {
                UaSession* session = sessions[s];
                OpcUa_Double interval = 10;
                OpcUa_UInt32 lifetime = 300, keepAlive = 3, id = 0;
                ASSERT_TRUE(
                    manager->createSubscription(session, interval, lifetime, keepAlive, 0, true, 0, id)
                        .isGood());
                for (int round = 0; round < 10; ++round)
                {
                    OpcUa_Handle created = nullptr;
                    ASSERT_TRUE(
                        manager->beginCreateMonitoredItems(createRequest(endpoint, session, id, 5, created))
                            .isGood());
                    OpcUa_Handle published = nullptr;
                    PublishRequestContext* publish =
                        newPublishRequest(endpoint, kChannel, session, round, 0, &published);
                    if (manager->beginPublish(publish).isBad())
                        session->cancelPublishRequest(publish, OpcUa_BadNoSubscription);
                    const auto* response =
                        endpoint.waitForAnswer(created).as<OpcUa_CreateMonitoredItemsResponse>(
                            OpcUa_CreateMonitoredItemsResponse_EncodeableType);
                    ASSERT_NE(nullptr, response);
                    OpcUa_Handle modified = nullptr;
                    ASSERT_TRUE(manager
                                    ->beginModifyMonitoredItems(
                                        modifyRequest(endpoint, session, id, *response, modified))
                                    .isGood());
                    const auto* revised =
                        endpoint.waitForAnswer(modified).as<OpcUa_ModifyMonitoredItemsResponse>(
                            OpcUa_ModifyMonitoredItemsResponse_EncodeableType);
                    ASSERT_NE(nullptr, revised);
                    for (OpcUa_Int32 i = 0; i < revised->NoOfResults; ++i)
                        EXPECT_EQ(3u, revised->Results[i].RevisedQueueSize) << i;
                    OpcUa_Handle deleted = nullptr;
                    ASSERT_TRUE(
                        manager
                            ->deleteMonitoredItems(deleteRequest(endpoint, session, id, *response, deleted))
                            .isGood());
                    endpoint.waitForAnswer(deleted);
                    if (s == 3 && round == 5)
                    {
                        session->close(true);
                        return;
                    }
                }
            });
    }
    for (std::thread& client : clients)
        client.join();
    stop = true;
    feeder.join();
    for (UaSession* session : sessions)
    {
        session->close(true);
        session->releaseReference();
    }
    manager->shutDown();
    manager.reset();
    io.threads.join();
    EXPECT_EQ(0, UaSubscription::instanceCount());
    EXPECT_EQ(0, UaMonitoredItemData::instanceCount());
    EXPECT_EQ(0u, io.monitoredCount());
    current->releaseReference();
    cumulated->releaseReference();
}

} // namespace
