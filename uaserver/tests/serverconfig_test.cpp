// The configuration interface's defaults, on the shared configuration double, and the names later
// parts call its operations by.
#include "fake_serverconfig.h"
#include "serverconfig.h"

#include <gtest/gtest.h>

namespace
{
// The shared configuration double with the two operations the aliases below reach.
class AliasedConfig : public uaserver::testing::FakeServerConfig
{
public:
    UaStatus getDiscoveryServerSettings(OpcUa_UInt32& registrationInterval, UaStringArray&) override
    {
        registrationInterval = 30000;
        return OpcUa_Good;
    }
    UaStatus getIoLimits(OpcUa_UInt32& minTransactions, OpcUa_UInt32& maxTransactions,
                         OpcUa_UInt32& minSubscriptions, OpcUa_UInt32& maxSubscriptions) override
    {
        minTransactions = 1;
        maxTransactions = 2;
        minSubscriptions = 3;
        maxSubscriptions = 4;
        return OpcUa_BadNotSupported;
    }
};

TEST(ServerConfig, TheDefaultsMeanNoAuditNoLimitsNoRedundancyNoOtherServers)
{
    uaserver::testing::FakeServerConfig config;
    EXPECT_FALSE(config.isAuditActivated());
    EXPECT_FALSE(config.auditingEnabled());

    bool enabled = true;
    UaString first("x");
    UaString second("y");
    UaString third("z");
    EXPECT_TRUE(config.getOptionalSettings(enabled, first, second, third).isGood());
    EXPECT_FALSE(enabled);
    EXPECT_EQ(first, UaString("x")) << "the rest is left as the caller set it";

    OpcUa_UInt32 subscriptions = 7;
    OpcUa_UInt32 items = 7;
    OpcUa_UInt32 itemsPerSubscription = 7;
    EXPECT_TRUE(config.getSubscriptionCountLimits(subscriptions, items, itemsPerSubscription).isGood());
    EXPECT_EQ(subscriptions + items + itemsPerSubscription, 0u);
    subscriptions = items = itemsPerSubscription = 7;
    EXPECT_TRUE(config.getSubscriptionLimits(subscriptions, items, itemsPerSubscription).isGood());
    EXPECT_EQ(subscriptions + items + itemsPerSubscription, 0u);

    OpcUa_UInt32 redundancy = 4;
    UaStringArray serverUris;
    serverUris.create(2);
    EXPECT_TRUE(config.getRedundancySettings(redundancy, serverUris).isGood());
    EXPECT_EQ(redundancy, 0u);
    EXPECT_EQ(serverUris.length(), 0u);

    UaApplicationDescriptionArray servers;
    servers.create(1);
    EXPECT_TRUE(config.getAdditionalServers(servers).isGood());
    EXPECT_EQ(servers.length(), 0u);
}

TEST(ServerConfig, LaterNamesReachTheSameOperations)
{
    AliasedConfig config;
    OpcUa_UInt32 interval = 0;
    UaStringArray urls;
    EXPECT_TRUE(config.getDiscoverySettings(interval, urls).isGood());
    EXPECT_EQ(interval, 30000u);
    OpcUa_UInt32 values[4] = {};
    EXPECT_EQ(config.getThreadPoolSettings(values[0], values[1], values[2], values[3]).code(),
              static_cast<OpcUa_StatusCode>(OpcUa_BadNotSupported));
    EXPECT_EQ(values[0], 1u);
    EXPECT_EQ(values[3], 4u);
}
} // namespace
