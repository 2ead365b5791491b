// The configuration interface's defaults and the names later parts call its operations by.
#include "serverconfig.h"

#include <gtest/gtest.h>

namespace
{
// A configuration that answers every pure operation with fixed values and leaves the defaults.
class PlainConfig : public ServerConfig
{
public:
    UaStatus loadConfiguration() override { return OpcUa_Good; }
    UaStatus startUp(ServerManager*) override { return OpcUa_Good; }
    UaStatus shutDown() override { return OpcUa_Good; }
    UaStatus configurationHook() override { return OpcUa_Good; }
    UaStatus getEndpointConfiguration(UaString&, UaPointerArray<UaEndpoint>&) override { return OpcUa_Good; }
    UaStatus getUserIdentityTokenConfig(bool& enableAnonymous, bool&) override
    {
        enableAnonymous = true;
        return OpcUa_Good;
    }
    UaStatus getDiscoveryServerSettings(OpcUa_UInt32& registrationInterval, UaStringArray&) override
    {
        registrationInterval = 30000;
        return OpcUa_Good;
    }
    UaStatus getSerializerConfiguration(OpcUa_Int32&, OpcUa_Int32&, OpcUa_Int32&, OpcUa_Int32&,
                                        OpcUa_Int32&) override
    {
        return OpcUa_Good;
    }
    UaStatus getStackThreadPoolSettings(bool&, OpcUa_Int32&, OpcUa_Int32&, OpcUa_Int32&, bool&,
                                        OpcUa_UInt32&) override
    {
        return OpcUa_Good;
    }
    UaStatus getStackTraceSettings(bool&, OpcUa_UInt32&) override { return OpcUa_Good; }
    UaStatus getServerTraceSettings(bool&, OpcUa_UInt32&, OpcUa_UInt32&, OpcUa_UInt32&, UaString&) override
    {
        return OpcUa_Good;
    }
    OpcUa_UInt32 getMaxLimitValue() override { return 0; }
    UaStatus getSessionSettings(OpcUa_UInt32&, OpcUa_UInt32&, OpcUa_UInt32&) override { return OpcUa_Good; }
    UaStatus getServerCapabilities(OpcUa_Double&, UaStringArray&, UaStringArray&, UaByteStringArray&) override
    {
        return OpcUa_Good;
    }
    OpcUa_UInt32 getMaxBrowseContinuationPoints() override { return 10; }
    OpcUa_UInt32 getMaxHistoryContinuationPoints() override { return 100; }
    UaStatus getSubscriptionSettings(OpcUa_UInt32&, OpcUa_UInt32&, OpcUa_UInt32&, OpcUa_UInt32&,
                                     OpcUa_UInt32&, OpcUa_UInt32&, OpcUa_UInt32&) override
    {
        return OpcUa_Good;
    }
    UaStatus getMonitoredItemQueueLimits(OpcUa_UInt32&, OpcUa_UInt32&) override { return OpcUa_Good; }
    UaStatus getIoSamplingSettings(UaUInt32Array&) override { return OpcUa_Good; }
    OpcUa_StatusCode getBuildInfo(UaString&, UaString&, UaString&, UaString&, UaString&, UaDateTime&) override
    {
        return OpcUa_Good;
    }
    OpcUa_StatusCode getServerInstanceInfo(UaString&, UaLocalizedTextArray&) override { return OpcUa_Good; }
    UaStatus getIoLimits(OpcUa_UInt32& minTransactions, OpcUa_UInt32& maxTransactions,
                         OpcUa_UInt32& minSubscriptions, OpcUa_UInt32& maxSubscriptions) override
    {
        minTransactions = 1;
        maxTransactions = 2;
        minSubscriptions = 3;
        maxSubscriptions = 4;
        return OpcUa_BadNotSupported;
    }
    Session* createSession(OpcUa_Int32, const UaNodeId&) override { return nullptr; }
    UaStatus logonSessionUser(Session*, UaUserIdentityToken*) override { return OpcUa_Good; }
};

TEST(ServerConfig, TheDefaultsMeanNoAuditNoLimitsNoRedundancyNoOtherServers)
{
    PlainConfig config;
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
    PlainConfig config;
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
