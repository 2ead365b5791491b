// Subscriptions of uaserver_testserver through our stack's client: the settings the program takes
// as options revise what a client asks, and a subscription whose client stops publishing closes on
// its lifetime and says so in the next Publish.
#include "uaserver_wire.h"

#include <gtest/gtest.h>

#include <chrono>
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
