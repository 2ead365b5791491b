// The services of the test server on the wire through our stack's client: sixteen channels work at
// once; malformed requests each get their status while another client keeps reading; a request of
// more operations than its service takes is refused whole.
#include "uaserver_wire.h"

#include <operationlimits.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace uaserver::wire;

TEST(ServicesOnTheWire, SixteenChannelsReadWriteAndBrowseAtOnce)
{
    TestServerProcess server({});
    ASSERT_FALSE(server.url().empty());
    constexpr int kClients = 16;
    constexpr int kRounds = 20;
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int c = 0; c < kClients; ++c)
        threads.emplace_back(
            [&, c]
            {
                Client client;
                if (!client.open(server.url()))
                    return;
                for (int round = 0; round < kRounds; ++round)
                {
                    const bool read = client.readValues({{0, 2253}, {0, 85}}, 3) == 2;
                    const bool written =
                        client.writeInt32(testVariables()[0].nodeId, c * 1000 + round) == OpcUa_Good;
                    const bool browsed = client.browseCount({0, 84}) == 3;
                    if (read && written && browsed)
                        ++good;
                }
            });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(good, kClients * kRounds);
}

TEST(ServicesOnTheWire, MalformedRequestsGetTheirStatusWhileAnotherClientKeepsReading)
{
    TestServerProcess server({});
    ASSERT_FALSE(server.url().empty());
    // Our client encodes more than the server decodes.
    raiseClientArrayLimit(200000);
    KeepReading reader(server.url());
    ASSERT_TRUE(reader.running());

    Client client;
    ASSERT_TRUE(client.open(server.url()));
    EXPECT_EQ(client.unsupportedServiceStatus(), OpcUa_BadServiceUnsupported) << "unsupported service";
    EXPECT_EQ(client.readStatus(70000), OpcUa_BadDecodingError) << "Read of 70,000 items";
    OpcUa_Int32 writeResults = 0;
    EXPECT_EQ(client.writeMany(10000, writeResults), OpcUa_Good);
    EXPECT_EQ(writeResults, 10000) << "a Write of 10,000 items is answered in full";

    // Continuation points that are no points of this session.
    Client other;
    ASSERT_TRUE(other.open(server.url()));
    const std::vector<OpcUa_Byte> othersPoint = other.browsePoint({0, 84}, 1);
    ASSERT_EQ(othersPoint.size(), 4u);
    std::mt19937 random(22);
    std::vector<OpcUa_Byte> randomPoint(4);
    for (OpcUa_Byte& byte : randomPoint)
        byte = static_cast<OpcUa_Byte>(random());
    for (const auto& point : {std::vector<OpcUa_Byte>{1, 2, 3}, randomPoint, othersPoint})
        EXPECT_EQ(client.browseNextStatus(point), OpcUa_BadContinuationPointInvalid) << point.size();
    // The other session's point is still its own.
    EXPECT_EQ(other.browseNextStatus(othersPoint), OpcUa_Good);

    // A closed session's token is no session any more.
    ASSERT_TRUE(other.close());
    EXPECT_EQ(other.readStatus(1), OpcUa_BadSessionIdInvalid);

    // An unknown service through the raw peer.
    EXPECT_EQ(rawUnknownServiceStatus(server.port()), OpcUa_BadServiceUnsupported);

    EXPECT_TRUE(reader.stopAndCheck());
}

TEST(ServicesOnTheWire, ARequestOverItsServicesOperationLimitIsRefusedBeforeAnyOfItsWork)
{
    TestServerProcess server({});
    ASSERT_FALSE(server.url().empty());
    Client client;
    ASSERT_TRUE(client.open(server.url()));
    using namespace OperationLimits;
    struct Row
    {
        ManyOperations service;
        const char* name;
        OpcUa_UInt32 limit;
        // The service result of a request of limit operations.
        OpcUa_StatusCode atTheLimit;
    };
    const Row rows[] = {
        {ManyOperations::Read, "Read", kMaxNodesPerRead, OpcUa_Good},
        {ManyOperations::Write, "Write", kMaxNodesPerWrite, OpcUa_Good},
        {ManyOperations::Browse, "Browse", kMaxNodesPerBrowse, OpcUa_Good},
        {ManyOperations::BrowseNext, "BrowseNext", kMaxNodesPerBrowse, OpcUa_Good},
        {ManyOperations::TranslateBrowsePaths, "TranslateBrowsePaths", kMaxBrowsePathsPerTranslate,
         OpcUa_Good},
        {ManyOperations::RegisterNodes, "RegisterNodes", kMaxNodesPerRegister, OpcUa_Good},
        {ManyOperations::UnregisterNodes, "UnregisterNodes", kMaxNodesPerRegister, OpcUa_Good},
        {ManyOperations::Call, "Call", kMaxMethodsPerCall, OpcUa_Good},
        // Subscription 0 is none: the count is checked before the subscription is looked for.
        {ManyOperations::CreateMonitoredItems, "CreateMonitoredItems", kMaxMonitoredItemsPerCall,
         OpcUa_BadSubscriptionIdInvalid},
        {ManyOperations::DeleteMonitoredItems, "DeleteMonitoredItems", kMaxMonitoredItemsPerCall,
         OpcUa_BadSubscriptionIdInvalid},
        {ManyOperations::SetTriggering, "SetTriggering", kMaxMonitoredItemsPerCall,
         OpcUa_BadSubscriptionIdInvalid},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        const auto limit = static_cast<OpcUa_Int32>(row.limit);
        EXPECT_EQ(client.manyOperations(row.service, limit, 11), row.atTheLimit);
        EXPECT_EQ(client.manyOperations(row.service, limit + 1, 22), OpcUa_BadTooManyOperations);
    }
    // The Write of one operation too many wrote nothing; the session goes on.
    OpcUa_Int32 written = 0;
    EXPECT_EQ(client.readInt32({2, 3}, written), OpcUa_Good);
    EXPECT_EQ(written, 11);
}
