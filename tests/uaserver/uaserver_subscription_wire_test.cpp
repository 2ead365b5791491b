// Subscriptions of uaserver_testserver through our stack's client: the settings the program takes
// as options revise what a client asks, and a subscription whose client stops publishing closes on
// its lifetime and says so in the next Publish. Through a raw peer: items deleted while their
// creation is still under way, every way a client can delete them.
#include "uaserver_wire.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

using namespace uaserver::wire;

namespace
{
constexpr NodeNumber kCurrentSubscriptionCount{0, 2285};

// Reads the count until it is value; false when a minute passed first.
bool waitForSubscriptionCount(Client& client, OpcUa_UInt32 value)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    OpcUa_UInt32 count = 0;
    while (OpcUa_IsBad(client.readUInt32(kCurrentSubscriptionCount, count)) || count != value)
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}
} // namespace

TEST(SubscriptionsOnTheWire, TheSettingOptionsReviseWhatAClientAsksFor)
{
    struct Case
    {
        const char* name;
        std::vector<std::string> options;
        OpcUa_Double interval;
        OpcUa_UInt32 keepAlive;
        OpcUa_UInt32 lifetime;
    };
    // Each asks for 100 ms, a keep-alive of 10 and a lifetime of 30 intervals.
    const Case cases[] = {
        // The application's: a keep-alive of at least 5 s, a lifetime of at least three of them.
        {"defaults", {}, 100, 51, 153},
        {"faster publishing refused", {"--min-publishing-interval", "200"}, 200, 26, 78},
        {"slower publishing refused",
         {"--min-publishing-interval", "10", "--max-publishing-interval", "50"},
         50,
         101,
         303},
        {"lifetime cut, keep-alive with it", {"--max-lifetime-interval", "12000"}, 100, 40, 120},
        {"no minimum times", {"--min-keep-alive-interval", "0", "--min-lifetime-interval", "0"}, 100, 10, 30},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        TestServerProcess server(c.options);
        ASSERT_FALSE(server.url().empty());
        Client client;
        ASSERT_TRUE(client.open(server.url()));
        OpcUa_Double interval = 100;
        OpcUa_UInt32 keepAlive = 10, lifetime = 30, subscriptionId = 0;
        ASSERT_EQ(client.createSubscription(interval, keepAlive, lifetime, subscriptionId), OpcUa_Good);
        EXPECT_EQ(interval, c.interval);
        EXPECT_EQ(keepAlive, c.keepAlive);
        EXPECT_EQ(lifetime, c.lifetime);
        EXPECT_TRUE(client.close());
        EXPECT_EQ(server.stop(), 0);
    }
}

TEST(SubscriptionsOnTheWire, ASubscriptionWhoseClientStopsPublishingClosesOnItsLifetimeWithBadTimeout)
{
    TestServerProcess server({"--min-keep-alive-interval", "0", "--min-lifetime-interval", "0"});
    ASSERT_FALSE(server.url().empty());
    Client client;
    ASSERT_TRUE(client.open(server.url()));
    OpcUa_Double interval = 100;
    OpcUa_UInt32 keepAlive = 2, lifetime = 6, subscriptionId = 0;
    ASSERT_EQ(client.createSubscription(interval, keepAlive, lifetime, subscriptionId), OpcUa_Good);
    ASSERT_EQ(keepAlive, 2u);
    ASSERT_EQ(lifetime, 6u);

    // Alive: the one Publish the client sends is answered with a keep-alive of the subscription.
    const Client::Published keptAlive = client.publish();
    EXPECT_EQ(keptAlive.result, OpcUa_Good);
    EXPECT_EQ(keptAlive.subscriptionId, subscriptionId);
    EXPECT_EQ(keptAlive.notifications, 0);
    EXPECT_TRUE(keptAlive.statusChanges.empty());

    // Then none: six intervals without a request close it, and it leaves the count.
    ASSERT_TRUE(waitForSubscriptionCount(client, 0));
    const Client::Published closed = client.publish();
    EXPECT_EQ(closed.result, OpcUa_Good);
    EXPECT_EQ(closed.subscriptionId, subscriptionId);
    EXPECT_EQ(closed.notifications, 1);
    EXPECT_EQ(closed.statusChanges, std::vector<OpcUa_StatusCode>{OpcUa_BadTimeout});
    // The status was told once; the session has nothing left to publish and lives on.
    EXPECT_EQ(client.publish().result, OpcUa_BadNoSubscription);
    EXPECT_EQ(client.readStatus(1), OpcUa_Good);
    EXPECT_TRUE(client.close());
    EXPECT_EQ(server.stop(), 0);
}

namespace
{
// The server's CurrentTime, a value the I/O sampling reads in its rate groups.
constexpr NodeNumber kSampledNode{0, 2258};
constexpr OpcUa_Int32 kItemsPerRequest = 20;

// How a client ends monitored items whose CreateMonitoredItems it has sent and not seen answered.
enum class Ending
{
    DeleteSubscriptions,
    CloseSession,
    DeleteMonitoredItems
};

struct Expected
{
    OpcUa_UInt32 requestId;
    const char* request;
    // The results the request's response may carry, per operation where it has some.
    std::vector<OpcUa_StatusCode> results;
};

OpcUa_UInt32 sendCreateItems(PipelinedSession& peer, OpcUa_UInt32 subscriptionId)
{
    Message<OpcUa_CreateMonitoredItemsRequest> create(OpcUa_CreateMonitoredItemsRequest_EncodeableType);
    create.get()->SubscriptionId = subscriptionId;
    create.get()->TimestampsToReturn = OpcUa_TimestampsToReturn_Both;
    create.get()->NoOfItemsToCreate = kItemsPerRequest;
    create.get()->ItemsToCreate = allocateArray<OpcUa_MonitoredItemCreateRequest>(kItemsPerRequest);
    for (OpcUa_Int32 i = 0; i < kItemsPerRequest; ++i)
    {
        OpcUa_MonitoredItemCreateRequest& item = create.get()->ItemsToCreate[i];
        OpcUa_MonitoredItemCreateRequest_Initialize(&item);
        item.ItemToMonitor.NodeId.NamespaceIndex = kSampledNode.ns;
        item.ItemToMonitor.NodeId.Identifier.Numeric = kSampledNode.id;
        item.ItemToMonitor.AttributeId = 13;
        item.MonitoringMode = OpcUa_MonitoringMode_Reporting;
        item.RequestedParameters.ClientHandle = static_cast<OpcUa_UInt32>(i);
        item.RequestedParameters.SamplingInterval = 10;
        item.RequestedParameters.QueueSize = 1;
    }
    return peer.send(create.get(), create.type());
}

OpcUa_UInt32 sendDeleteSubscription(PipelinedSession& peer, OpcUa_UInt32 subscriptionId)
{
    Message<OpcUa_DeleteSubscriptionsRequest> remove(OpcUa_DeleteSubscriptionsRequest_EncodeableType);
    remove.get()->NoOfSubscriptionIds = 1;
    remove.get()->SubscriptionIds = allocateArray<OpcUa_UInt32>(1);
    remove.get()->SubscriptionIds[0] = subscriptionId;
    return peer.send(remove.get(), remove.type());
}

// A new subscription has its items under the ids from 1 on.
OpcUa_UInt32 sendDeleteItems(PipelinedSession& peer, OpcUa_UInt32 subscriptionId)
{
    Message<OpcUa_DeleteMonitoredItemsRequest> remove(OpcUa_DeleteMonitoredItemsRequest_EncodeableType);
    remove.get()->SubscriptionId = subscriptionId;
    remove.get()->NoOfMonitoredItemIds = kItemsPerRequest;
    remove.get()->MonitoredItemIds = allocateArray<OpcUa_UInt32>(kItemsPerRequest);
    for (OpcUa_Int32 i = 0; i < kItemsPerRequest; ++i)
        remove.get()->MonitoredItemIds[i] = static_cast<OpcUa_UInt32>(i + 1);
    return peer.send(remove.get(), remove.type());
}

OpcUa_UInt32 sendCloseSession(PipelinedSession& peer)
{
    Message<OpcUa_CloseSessionRequest> close(OpcUa_CloseSessionRequest_EncodeableType);
    close.get()->DeleteSubscriptions = OpcUa_True;
    return peer.send(close.get(), close.type());
}

std::vector<OpcUa_StatusCode> operationResults(const PipelinedSession::Answer& answer)
{
    const OpcUa_StatusCode* results = nullptr;
    OpcUa_Int32 count = 0;
    if (answer.type == &OpcUa_DeleteSubscriptionsResponse_EncodeableType)
    {
        const auto* response = static_cast<const OpcUa_DeleteSubscriptionsResponse*>(answer.message);
        results = response->Results;
        count = response->NoOfResults;
    }
    else if (answer.type == &OpcUa_DeleteMonitoredItemsResponse_EncodeableType)
    {
        const auto* response = static_cast<const OpcUa_DeleteMonitoredItemsResponse*>(answer.message);
        results = response->Results;
        count = response->NoOfResults;
    }
    return std::vector<OpcUa_StatusCode>(results, results + count);
}

bool openSession(PipelinedSession& peer)
{
    return OpcUa_IsGood(peer.createSession()) && OpcUa_IsGood(peer.activateSession());
}

// One round: a subscription, its items and their ending sent back to back. An empty text when
// every request was answered as it may be, else what went wrong.
std::string pipelineRound(PipelinedSession& peer, Ending ending)
{
    Message<OpcUa_CreateSubscriptionRequest> subscribe(OpcUa_CreateSubscriptionRequest_EncodeableType);
    subscribe.get()->RequestedPublishingInterval = 100;
    subscribe.get()->RequestedMaxKeepAliveCount = 10;
    subscribe.get()->RequestedLifetimeCount = 30;
    subscribe.get()->PublishingEnabled = OpcUa_True;
    PipelinedSession::Answer subscribed;
    if (peer.send(subscribe.get(), subscribe.type()) == 0 || !peer.read(subscribed) ||
        subscribed.type != &OpcUa_CreateSubscriptionResponse_EncodeableType)
        return "CreateSubscription not answered";
    const OpcUa_UInt32 subscriptionId =
        static_cast<OpcUa_CreateSubscriptionResponse*>(subscribed.message)->SubscriptionId;

    // The deletion may come to the subscription before the items do: then there is nothing to delete.
    const std::vector<OpcUa_StatusCode> deleted{OpcUa_Good, OpcUa_BadMonitoredItemIdInvalid};
    std::vector<Expected> expected{{sendCreateItems(peer, subscriptionId), "CreateMonitoredItems", {}}};
    switch (ending)
    {
    case Ending::DeleteSubscriptions:
        expected.push_back(
            {sendDeleteSubscription(peer, subscriptionId), "DeleteSubscriptions", {OpcUa_Good}});
        break;
    case Ending::CloseSession:
        expected.push_back({sendCloseSession(peer), "CloseSession", {}});
        break;
    case Ending::DeleteMonitoredItems:
        expected.push_back({sendDeleteItems(peer, subscriptionId), "DeleteMonitoredItems", deleted});
        expected.push_back(
            {sendDeleteSubscription(peer, subscriptionId), "DeleteSubscriptions", {OpcUa_Good}});
        break;
    }
    std::map<OpcUa_UInt32, const Expected*> open;
    for (const Expected& request : expected)
    {
        if (request.requestId == 0)
            return std::string(request.request) + " not taken";
        open[request.requestId] = &request;
    }
    while (!open.empty())
    {
        PipelinedSession::Answer answer;
        if (!peer.read(answer))
            return std::string(open.begin()->second->request) + " not answered";
        const auto found = open.find(answer.requestId);
        if (found == open.end())
            return "an answer to no request";
        const Expected& request = *found->second;
        open.erase(found);
        if (request.results.empty())
            continue;
        if (OpcUa_IsBad(answer.serviceResult()))
            return std::string(request.request) + " failed";
        for (OpcUa_StatusCode result : operationResults(answer))
        {
            if (std::find(request.results.begin(), request.results.end(), result) == request.results.end())
                return std::string(request.request) + " answered an operation with " + std::to_string(result);
        }
    }
    if (ending == Ending::CloseSession && !openSession(peer))
        return "no session after CloseSession";
    return {};
}
} // namespace

TEST(SubscriptionsOnTheWire, ItemsDeletedWhileTheirCreationIsUnderWayLeaveNoSamplingBehind)
{
    TestServerProcess server({});
    ASSERT_FALSE(server.url().empty());
    const struct
    {
        const char* name;
        Ending ending;
    } endings[] = {{"DeleteSubscriptions", Ending::DeleteSubscriptions},
                   {"CloseSession", Ending::CloseSession},
                   {"DeleteMonitoredItems", Ending::DeleteMonitoredItems}};
    constexpr int kThreads = 3;
    constexpr int kRounds = 45;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(8);
    std::atomic<int> rounds{0};
    std::vector<std::string> failures(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(
            [&, t]
            {
                PipelinedSession peer;
                if (!peer.connect(static_cast<uint16_t>(server.port())) || !openSession(peer))
                {
                    failures[t] = "no session";
                    return;
                }
                for (int round = 0; round < kRounds && std::chrono::steady_clock::now() < deadline; ++round)
                {
                    const auto& ending = endings[(round + t) % 3];
                    failures[t] = pipelineRound(peer, ending.ending);
                    if (!failures[t].empty())
                    {
                        failures[t] += std::string(" (") + ending.name + ")";
                        return;
                    }
                    ++rounds;
                }
            });
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(failures[t], "") << "client " << t;
    EXPECT_GE(rounds, kThreads * 3);

    // The server lives on: it answers, and ends without a fault.
    Client client;
    ASSERT_TRUE(client.open(server.url()));
    EXPECT_EQ(client.readStatus(1), OpcUa_Good);
    EXPECT_TRUE(client.close());
    EXPECT_EQ(server.stop(), 0);
}
