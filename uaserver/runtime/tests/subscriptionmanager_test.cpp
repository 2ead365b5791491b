// The subscription manager: revision of what clients ask for, ids, limits, the guarded lookup,
// the diagnostics counters and its publishing thread.
#include "pendingmonitoreditemrequests.h"
#include "subscription_fixture.h"
#include "uasubscriptionmanager.h"

#include <test_waits.h>
#include <uatracecapture.h>

#include <cmath>
#include <functional>
#include <limits>
#include <list>
#include <mutex>

using namespace subscriptiontest;

namespace
{
TEST(SubscriptionRevision, IntervalKeepAliveAndLifetimeFollowTheSettings)
{
    struct Row
    {
        OpcUa_Double interval;
        OpcUa_UInt32 keepAlive;
        OpcUa_UInt32 lifetime;
        OpcUa_Double revisedInterval;
        OpcUa_UInt32 revisedKeepAlive;
        OpcUa_UInt32 revisedLifetime;
    };
    const OpcUa_Double nan = std::numeric_limits<OpcUa_Double>::quiet_NaN();
    const OpcUa_Double infinity = std::numeric_limits<OpcUa_Double>::infinity();
    const Row rows[] = {
        {100, 10, 30, 100, 51, 153},
        {0, 10, 30, 50, 101, 303},
        {nan, 10, 30, 50, 101, 303},
        {-infinity, 10, 30, 50, 101, 303},
        {1e12, 10, 30, 2147483647, 10, 30},
        {infinity, 10, 30, 2147483647, 10, 30},
        {1000, 4000000000u, 10, 1000, 715827882, 2147483646},
        {1000, 10, 1000000, 1000, 10, 1000000},
    };
    SubscriptionSettings settings{50, 0, 5000, 10000, 0, 5, 0};
    for (const Row& row : rows)
    {
        OpcUa_Double interval = row.interval;
        OpcUa_UInt32 keepAlive = row.keepAlive, lifetime = row.lifetime;
        SubscriptionRevision::reviseTiming(settings, interval, keepAlive, lifetime);
        EXPECT_EQ(row.revisedInterval, interval) << row.interval;
        EXPECT_EQ(row.revisedKeepAlive, keepAlive) << row.interval;
        EXPECT_EQ(row.revisedLifetime, lifetime) << row.interval;
    }

    // Without a minimum keep-alive interval a count of 0 stays 0 here; the subscription makes it 1.
    SubscriptionSettings bare{};
    OpcUa_Double interval = 100;
    OpcUa_UInt32 keepAlive = 0, lifetime = 0;
    SubscriptionRevision::reviseTiming(bare, interval, keepAlive, lifetime);
    EXPECT_EQ(0u, keepAlive);
    EXPECT_EQ(3u, SubscriptionRevision::settleLifetime(keepAlive, lifetime));
    EXPECT_EQ(3u, lifetime);
    lifetime = 10;
    EXPECT_EQ(3u, SubscriptionRevision::settleLifetime(5, lifetime));
    EXPECT_EQ(15u, lifetime);
    lifetime = 20;
    EXPECT_EQ(4u, SubscriptionRevision::settleLifetime(5, lifetime));
    EXPECT_EQ(20u, lifetime);

    // The configured lifetime bounds in milliseconds.
    SubscriptionSettings bounded{50, 0, 0, 10000, 60000, 5, 0};
    interval = 1000;
    keepAlive = 30;
    lifetime = 900;
    SubscriptionRevision::reviseTiming(bounded, interval, keepAlive, lifetime);
    EXPECT_EQ(60u, lifetime);
    EXPECT_EQ(20u, keepAlive);
}

TEST(SubscriptionRevision, NotificationsPerPublishAreTheLeastOfRequestConfigurationAndSerializer)
{
    struct Row
    {
        OpcUa_UInt32 requested;
        OpcUa_UInt32 configured; // settings value 7
        OpcUa_StatusCode serializer;
        OpcUa_UInt32 revised;
    };
    const Row rows[] = {
        {0, 0, OpcUa_Good, 65535},     {0, 0, OpcUa_BadInternalError, 65000},
        {70000, 0, OpcUa_Good, 65535}, {100, 0, OpcUa_Good, 100},
        {100, 50, OpcUa_Good, 50},     {30, 50, OpcUa_Good, 30},
        {0, 50, OpcUa_Good, 50},
    };
    for (const Row& row : rows)
    {
        FakeServerConfig config;
        config.serializerResult = row.serializer;
        SubscriptionSettings settings;
        settings.maxNotificationsPerPublish = row.configured;
        EXPECT_EQ(row.revised,
                  SubscriptionRevision::reviseNotificationsPerPublish(config, settings, row.requested))
            << row.requested << " " << row.configured;
    }
}

class SubscriptionManagerTest : public ::testing::Test
{
protected:
    SubscriptionManagerTest() : current(new CounterVariable(2285)), cumulated(new CounterVariable(2286))
    {
        server.root.addLookUpNode(current);
        server.root.addLookUpNode(cumulated);
        sessions[0] = activatedSession(1);
        sessions[1] = activatedSession(2);
    }
    ~SubscriptionManagerTest() override
    {
        manager.reset();
        for (UaSession* session : sessions)
        {
            session->close(true);
            session->releaseReference();
        }
        current->releaseReference();
        cumulated->releaseReference();
    }

    OpcUa_UInt32 create(UaSession* session, OpcUa_StatusCode expected = OpcUa_Good,
                        OpcUa_Double interval = 100)
    {
        OpcUa_UInt32 lifetime = 30, keepAlive = 10, id = 0;
        EXPECT_EQ(
            expected,
            manager->createSubscription(session, interval, lifetime, keepAlive, 0, true, 0, id).statusCode());
        return id;
    }

    FakeEndpoint endpoint;
    TestServerManager server;
    CounterVariable* current;
    CounterVariable* cumulated;
    UaSession* sessions[2];
    std::unique_ptr<UaSubscriptionManager> manager{new UaSubscriptionManager(&server)};
};

TEST_F(SubscriptionManagerTest, CreationRevisesAndCountsIntoTheDiagnostics)
{
    ASSERT_EQ(OpcUa_Good, manager->startUp().statusCode());
    OpcUa_Double interval = 100;
    OpcUa_UInt32 lifetime = 30, keepAlive = 10, id = 0;
    ASSERT_TRUE(
        manager->createSubscription(sessions[0], interval, lifetime, keepAlive, 0, true, 0, id).isGood());
    EXPECT_EQ(1u, id);
    EXPECT_EQ(100, interval);
    EXPECT_EQ(51u, keepAlive);
    EXPECT_EQ(153u, lifetime);
    EXPECT_EQ(1, current->written());
    EXPECT_EQ(1, cumulated->written());

    OpcUa_Double modified = 0;
    keepAlive = 5;
    lifetime = 10;
    ASSERT_TRUE(manager->modifySubscription(sessions[0], id, modified, lifetime, keepAlive, 0, 1).isGood());
    EXPECT_EQ(50, modified);
    EXPECT_EQ(101u, keepAlive);
    EXPECT_EQ(303u, lifetime);

    EXPECT_TRUE(manager->deleteSubscription(sessions[0], id).isGood());
    EXPECT_EQ(0, current->written());
    EXPECT_EQ(1, cumulated->written());
    EXPECT_EQ(OpcUa_BadSubscriptionIdInvalid, manager->deleteSubscription(sessions[0], id).statusCode());
}

TEST_F(SubscriptionManagerTest, IdsWrapToOneAndSkipLiveOnes)
{
    ASSERT_TRUE(manager->startUp().isGood());
    EXPECT_EQ(1u, create(sessions[0]));
    manager->setLastSubscriptionId(4294967294u);
    EXPECT_EQ(4294967295u, create(sessions[0]));
    EXPECT_EQ(2u, create(sessions[0])); // 0 is never given and 1 is in use
}

TEST_F(SubscriptionManagerTest, TheConfiguredMaximumAndThePerSessionCapRefuse)
{
    server.config.subscriptionCountLimits[0] = 2;
    ASSERT_TRUE(manager->startUp().isGood());
    UaTraceCapture trace(6);
    const OpcUa_UInt32 first = create(sessions[0]);
    create(sessions[1]);
    create(sessions[0], OpcUa_BadTooManySubscriptions);
    EXPECT_TRUE(trace.contains(
        6, "<-- UaSubscriptionManager::createSubscription [ret=OpcUa_BadTooManySubscriptions] - "
           "maximum number of subscription reached (2)"));
    ASSERT_TRUE(manager->deleteSubscription(sessions[0], first).isGood());
    create(sessions[0]);

    // Without a configured maximum a session still stops at its own cap.
    UaSubscriptionManager unlimited(&server);
    server.config.subscriptionCountLimits[0] = 0;
    ASSERT_TRUE(unlimited.startUp().isGood());
    UaSession* greedy = activatedSession(3);
    OpcUa_UInt32 made = 0;
    for (OpcUa_UInt32 i = 0; i < UaSubscriptionManager::kMaxSubscriptionsPerSession + 1; ++i)
    {
        OpcUa_Double interval = 1000;
        OpcUa_UInt32 lifetime = 30, keepAlive = 10, id = 0;
        if (unlimited.createSubscription(greedy, interval, lifetime, keepAlive, 0, true, 0, id).isGood())
            ++made;
        else
            EXPECT_EQ(UaSubscriptionManager::kMaxSubscriptionsPerSession, i);
    }
    EXPECT_EQ(UaSubscriptionManager::kMaxSubscriptionsPerSession, made);
    unlimited.shutDown();
    greedy->close(true);
    greedy->releaseReference();
}

TEST_F(SubscriptionManagerTest, AnotherSessionsSubscriptionIsNotFoundButCanBeTransferred)
{
    ASSERT_TRUE(manager->startUp().isGood());
    const OpcUa_UInt32 id = create(sessions[0]);
    UaTraceCapture trace(1);
    EXPECT_EQ(OpcUa_BadSubscriptionIdInvalid,
              manager->setPublishingMode(sessions[1], id, false).statusCode());
    EXPECT_TRUE(trace.contains(1, "Error: UaSubscriptionManager::setPublishingMode - subscription is "
                                  "assigned to SID=1, call to SID=2"));
    std::vector<OpcUa_StatusCode> added, removed;
    EXPECT_EQ(OpcUa_BadSubscriptionIdInvalid,
              manager->setTriggering(sessions[1], id, 1, {}, {}, added, removed).statusCode());
    EXPECT_EQ(OpcUa_BadSubscriptionIdInvalid, manager->deleteSubscription(nullptr, id).statusCode());
    EXPECT_TRUE(trace.contains(
        1, "Error: UaSubscriptionManager::deleteSubscription - passed session pointer is NULL"));
    // Acknowledgements of another session's subscription purge nothing.
    EXPECT_EQ(OpcUa_BadSubscriptionIdInvalid, manager->acknowledge(sessions[1], id, 1));
    EXPECT_EQ(OpcUa_BadSequenceNumberUnknown, manager->acknowledge(sessions[0], id, 1));

    std::vector<OpcUa_UInt32> available;
    EXPECT_EQ(OpcUa_BadSubscriptionIdInvalid,
              manager->transferSubscription(sessions[1], 99, false, available).statusCode());
    // Both anonymous: nobody is not the same user as nobody.
    EXPECT_EQ(OpcUa_BadUserAccessDenied,
              manager->transferSubscription(sessions[1], id, false, available).statusCode());
}

// An event manager that keeps its start answers until the test releases them and stops at once.
class HoldingEventManager : public EventManager
{
    using Transaction = std::pair<EventManagerCallback*, OpcUa_UInt32>;

public:
    UaStatus beginEventTransaction(EventManagerCallback* callback, const ServiceContext&,
                                   OpcUa_UInt32 transaction, OpcUa_Handle& context) override
    {
        std::lock_guard lock(m_mutex);
        m_transactions.emplace_back(callback, transaction);
        context = &m_transactions.back();
        return OpcUa_Good;
    }
    UaStatus beginStartMonitoring(OpcUa_Handle context, OpcUa_UInt32 callbackHandle, EventItemCallback*,
                                  EventMonitoringContext&) override
    {
        const Transaction& begun = *static_cast<Transaction*>(context);
        EventManagerCallback* callback = begun.first;
        const OpcUa_UInt32 transaction = begun.second;
        std::lock_guard lock(m_mutex);
        m_held.push_back(
            [=] { callback->finishStartMonitoring(transaction, callbackHandle, 1, 0, OpcUa_Good, nullptr); });
        return OpcUa_Good;
    }
    UaStatus beginModifyMonitoring(OpcUa_Handle, OpcUa_UInt32, OpcUa_UInt32, EventMonitoringContext&) override
    {
        return OpcUa_BadNotImplemented;
    }
    UaStatus beginStopMonitoring(OpcUa_Handle context, OpcUa_UInt32 callbackHandle, OpcUa_UInt32) override
    {
        const Transaction& begun = *static_cast<Transaction*>(context);
        begun.first->finishStopMonitoring(begun.second, callbackHandle, OpcUa_Good);
        return OpcUa_Good;
    }
    UaStatus finishEventTransaction(OpcUa_Handle) override { return OpcUa_Good; }

    // Sends the held start answers from this thread.
    void answerHeld()
    {
        std::vector<std::function<void()>> held;
        {
            std::lock_guard lock(m_mutex);
            held.swap(m_held);
        }
        for (const auto& answer : held)
            answer();
    }

private:
    std::mutex m_mutex;
    std::list<Transaction> m_transactions;
    std::vector<std::function<void()>> m_held;
};

TEST_F(SubscriptionManagerTest, DeletingABusySubscriptionRetiresItUntilItsLastAnswer)
{
    HoldingEventManager holding;
    server.root.eventManagers = [&](Session*, const OpcUa_NodeId&, UaPointerArray<EventManager>& managers)
    {
        managers.create(1);
        managers[0] = &holding;
        return UaStatus(OpcUa_Good);
    };
    ASSERT_TRUE(manager->startUp().isGood());
    const OpcUa_UInt32 id = create(sessions[0]);

    // One event item whose start stays unanswered.
    auto* request =
        newMessage<OpcUa_CreateMonitoredItemsRequest>(OpcUa_CreateMonitoredItemsRequest_EncodeableType);
    request->SubscriptionId = id;
    request->NoOfItemsToCreate = 1;
    request->ItemsToCreate = static_cast<OpcUa_MonitoredItemCreateRequest*>(
        OpcUa_Memory_Alloc(sizeof(OpcUa_MonitoredItemCreateRequest)));
    OpcUa_MonitoredItemCreateRequest& item = request->ItemsToCreate[0];
    OpcUa_MonitoredItemCreateRequest_Initialize(&item);
    item.ItemToMonitor.NodeId.Identifier.Numeric = 2253;
    item.ItemToMonitor.AttributeId = 12;
    item.MonitoringMode = OpcUa_MonitoringMode_Reporting;
    OpcUa_Void* filter = nullptr;
    OpcUa_EncodeableObject_CreateExtension(&OpcUa_EventFilter_EncodeableType,
                                           &item.RequestedParameters.Filter, &filter);
    // An event item selects at least one field.
    auto* events = static_cast<OpcUa_EventFilter*>(filter);
    events->NoOfSelectClauses = 1;
    events->SelectClauses =
        static_cast<OpcUa_SimpleAttributeOperand*>(OpcUa_Memory_Alloc(sizeof(OpcUa_SimpleAttributeOperand)));
    OpcUa_SimpleAttributeOperand_Initialize(events->SelectClauses);
    events->SelectClauses[0].AttributeId = 13;
    OpcUa_Handle context =
        endpoint.openContext(kChannel, &OpcUa_CreateMonitoredItemsResponse_EncodeableType, 1);
    sessions[0]->startingServiceProcessing();
    ASSERT_TRUE(manager
                    ->beginCreateMonitoredItems(new PendingCreateMonitoredItemsRequest(
                        endpoint.handle(), context, &OpcUa_CreateMonitoredItemsRequest_EncodeableType,
                        sessions[0], request))
                    .isGood());
    const OpcUa_Int32 live = UaSubscription::instanceCount();

    // The deletion gives up waiting for the answer (after about 10 s) and keeps the subscription.
    EXPECT_TRUE(manager->deleteSubscription(sessions[0], id).isGood());
    EXPECT_EQ(1u, manager->retiredCount());
    EXPECT_EQ(0, current->written());
    EXPECT_FALSE(endpoint.isAnswered(context));
    EXPECT_EQ(live, UaSubscription::instanceCount());

    // The late answer still answers the client, and the idle subscription goes.
    holding.answerHeld();
    const auto* answered = endpoint.waitForAnswer(context).as<OpcUa_CreateMonitoredItemsResponse>(
        OpcUa_CreateMonitoredItemsResponse_EncodeableType);
    ASSERT_NE(nullptr, answered);
    ASSERT_EQ(1, answered->NoOfResults);
    EXPECT_EQ(OpcUa_BadInternalError, answered->Results[0].StatusCode); // its item went with the close
    manager->waitForIdleSubscriptions();
    EXPECT_EQ(0u, manager->retiredCount());
    EXPECT_EQ(live - 1, UaSubscription::instanceCount());
}

TEST_F(SubscriptionManagerTest, ASelfClosedSubscriptionLeavesTheTableInOnePass)
{
    ASSERT_TRUE(manager->startUp().isGood());
    const OpcUa_UInt32 id = create(sessions[0]);
    create(sessions[1]);
    UaStatus found;
    UaSubscription* subscription = manager->lookUp(sessions[0], id, "test", true, found);
    ASSERT_NE(nullptr, subscription);
    EXPECT_EQ(2, current->written());
    subscription->close(false);
    EXPECT_TRUE(uaserver::testing::eventually([&] { return manager->currentSubscriptionCount() == 1; }));
    EXPECT_EQ(1, current->written());
    EXPECT_EQ(2, cumulated->written());
    subscription->releaseReference();
    EXPECT_EQ(OpcUa_BadSubscriptionIdInvalid, manager->setPublishingMode(sessions[0], id, true).statusCode());
}

TEST_F(SubscriptionManagerTest, TheThreadPublishesDueCyclesAndShutDownStopsMidPass)
{
    server.config.subscriptionSettings[2] = 0; // no minimum keep-alive interval: 10 intervals
    ASSERT_TRUE(manager->startUp().isGood());
    for (int i = 0; i < 20; ++i)
        create(sessions[i % 2], OpcUa_Good, 50);
    // The first keep-alive of one of them answers the request (at once when one is already late,
    // which the manager's own path handles).
    OpcUa_Handle context = nullptr;
    ASSERT_TRUE(
        manager->beginPublish(newPublishRequest(endpoint, kChannel, sessions[0], 1, 0, &context)).isGood());
    EXPECT_EQ(FakeAnswerKind::Response, endpoint.waitForAnswer(context, std::chrono::seconds(60)).kind);
    EXPECT_EQ(OpcUa_Good, manager->shutDown().statusCode());
    EXPECT_EQ(OpcUa_Good, manager->shutDown().statusCode());
    manager.reset();
    EXPECT_EQ(0, UaSubscription::instanceCount());
}

TEST(SubscriptionManagerStartUp, WithoutConfigurationOrDiagnosticsNodesItRefuses)
{
    struct NoConfig : ServerManagerLink
    {
        ServerConfig* getServerConfig() override { return nullptr; }
        NodeManager* getNodeManagerRoot() override { return nullptr; }
    } bare;
    UaSubscriptionManager manager(&bare);
    EXPECT_EQ(OpcUa_BadInternalError, manager.startUp().statusCode());
    UaSession* session = activatedSession(5);
    OpcUa_Double interval = 100;
    OpcUa_UInt32 lifetime = 30, keepAlive = 10, id = 0;
    EXPECT_EQ(
        OpcUa_BadInternalError,
        manager.createSubscription(session, interval, lifetime, keepAlive, 0, true, 0, id).statusCode());
    session->close(true);
    session->releaseReference();

    TestServerManager server; // no 2285/2286 in its root
    UaTraceCapture trace(6);
    UaSubscriptionManager withoutNodes(&server);
    EXPECT_EQ(OpcUa_BadInternalError, withoutNodes.startUp().statusCode());
    EXPECT_TRUE(trace.contains(
        6, "<-- UaSubscriptionManager::startUp [ret=OpcUa_BadInternalError] - diagnostic node not found"));
}

} // namespace

namespace
{
// A Publish request as the Publish service hands it to the manager.
PublishRequestContext* publishWithAcks(FakeEndpoint& endpoint, UaSession* session, OpcUa_UInt32 handle,
                                       const std::vector<std::pair<OpcUa_UInt32, OpcUa_UInt32>>& acks,
                                       OpcUa_Handle& context)
{
    PublishRequestContext* request = newPublishRequest(endpoint, kChannel, session, handle, 0, &context);
    OpcUa_PublishRequest& message = *request->m_pRequest;
    message.NoOfSubscriptionAcknowledgements = static_cast<OpcUa_Int32>(acks.size());
    message.SubscriptionAcknowledgements = static_cast<OpcUa_SubscriptionAcknowledgement*>(
        OpcUa_Memory_Alloc(sizeof(OpcUa_SubscriptionAcknowledgement) * std::max<size_t>(1, acks.size())));
    for (size_t i = 0; i < acks.size(); ++i)
    {
        message.SubscriptionAcknowledgements[i].SubscriptionId = acks[i].first;
        message.SubscriptionAcknowledgements[i].SequenceNumber = acks[i].second;
    }
    return request;
}

TEST_F(SubscriptionManagerTest, PublishAcknowledgesOnlyTheSessionsOwnSubscriptions)
{
    ASSERT_TRUE(manager->startUp().isGood());
    OpcUa_Handle context = nullptr;
    PublishRequestContext* refused = publishWithAcks(endpoint, sessions[0], 1, {}, context);
    ASSERT_EQ(OpcUa_BadNoSubscription, manager->beginPublish(refused).statusCode());
    sessions[0]->cancelPublishRequest(refused, OpcUa_BadNoSubscription); // as the service does
    EXPECT_EQ(OpcUa_BadNoSubscription, endpoint.waitForAnswer(context).status);

    manager->setLastSubscriptionId(2);
    const OpcUa_UInt32 own = create(sessions[0]);
    const OpcUa_UInt32 foreign = create(sessions[1]);
    ASSERT_EQ(3u, own);
    ASSERT_TRUE(manager
                    ->beginPublish(
                        publishWithAcks(endpoint, sessions[0], 2, {{own, 7}, {99, 1}, {foreign, 1}}, context))
                    .isGood());
    // The first keep-alive carries the results.
    const auto* answer =
        endpoint.waitForAnswer(context).as<OpcUa_PublishResponse>(OpcUa_PublishResponse_EncodeableType);
    ASSERT_NE(nullptr, answer);
    ASSERT_EQ(3, answer->NoOfResults);
    EXPECT_EQ(OpcUa_BadSequenceNumberUnknown, answer->Results[0]);
    EXPECT_EQ(OpcUa_BadSubscriptionIdInvalid, answer->Results[1]);
    EXPECT_EQ(OpcUa_BadSubscriptionIdInvalid, answer->Results[2]);
}

TEST_F(SubscriptionManagerTest, AFullPublishQueueAnswersItsOldestAndALateSubscriptionAnswersAtOnce)
{
    ASSERT_TRUE(manager->startUp().isGood());
    create(sessions[0], OpcUa_Good, 100000); // no keep-alive for minutes
    std::vector<OpcUa_Handle> contexts(250);
    for (OpcUa_UInt32 i = 0; i < 250; ++i)
        ASSERT_TRUE(
            manager->beginPublish(publishWithAcks(endpoint, sessions[0], i + 1, {}, contexts[i])).isGood());
    EXPECT_EQ(UaSession::kMaxQueuedPublishRequests, sessions[0]->publishRequestCount());
    for (OpcUa_UInt32 i = 0; i < 50; ++i)
        EXPECT_EQ(OpcUa_BadTooManyPublishRequests, endpoint.waitForAnswer(contexts[i]).status) << i;
    EXPECT_FALSE(endpoint.isAnswered(contexts[50]));

    // sessions[1]'s subscription falls due without a request and waits as late.
    const OpcUa_UInt32 id = create(sessions[1]);
    UaStatus found;
    UaSubscription* late = manager->lookUp(sessions[1], id, "test", true, found);
    ASSERT_NE(nullptr, late);
    ASSERT_TRUE(uaserver::testing::eventually([&] { return late->getState() == UaSubscription::LATE; }));
    OpcUa_Handle context = nullptr;
    ASSERT_TRUE(manager->beginPublish(publishWithAcks(endpoint, sessions[1], 900, {}, context)).isGood());
    EXPECT_EQ(FakeAnswerKind::Response, endpoint.waitForAnswer(context).kind);
    EXPECT_EQ(0u, sessions[1]->publishRequestCount());
    late->releaseReference();
}
} // namespace
