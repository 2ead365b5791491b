// The counted stack set-up and its configuration record.
#include "uaplatformlayer.h"
#include "uastackplatform.h"

#include <gtest/gtest.h>

namespace
{
// Whether the stack's proxy/stub layer is initialised: only then does it take a record again.
bool stackInitialised()
{
    OpcUa_ProxyStubConfiguration record = OpcUa_ProxyStubConfiguration();
    OpcUa_ProxyStub_GetConfiguration(&record);
    return OpcUa_IsGood(OpcUa_ProxyStub_ReInitialize(&record));
}

class PlatformLayerTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        while (UaPlatformLayer::useCount() > 0)
            UaPlatformLayer::cleanup();
    }
};

// First, so that the record has not been touched by another test.
TEST_F(PlatformLayerTest, ATraceSettingBeforeInitSurvivesItAndTheRestKeepsItsDefaults)
{
    UaPlatformLayer::setTrace(true, 5);
    ASSERT_EQ(UaPlatformLayer::init(), 0);
    const OpcUa_ProxyStubConfiguration r = UaPlatformLayer::configuration();
    EXPECT_TRUE(r.bProxyStub_Trace_Enabled);
    EXPECT_EQ(r.uProxyStub_Trace_Level, 5u);
    EXPECT_EQ(r.iSerializer_MaxAlloc, -1);
    EXPECT_EQ(r.iSerializer_MaxStringLength, -1);
    EXPECT_EQ(r.iSerializer_MaxByteStringLength, -1);
    EXPECT_EQ(r.iSerializer_MaxArrayLength, -1);
    EXPECT_EQ(r.iSerializer_MaxMessageSize, -1);
    EXPECT_TRUE(r.bSecureListener_ThreadPool_Enabled);
    EXPECT_EQ(r.iSecureListener_ThreadPool_MinThreads, -1);
    EXPECT_EQ(r.iSecureListener_ThreadPool_MaxThreads, -1);
    EXPECT_EQ(r.iSecureListener_ThreadPool_MaxJobs, -1);
    EXPECT_TRUE(r.bSecureListener_ThreadPool_BlockOnAdd);
    EXPECT_EQ(r.uSecureListener_ThreadPool_Timeout, 0xFFFFFFFFu);
    EXPECT_FALSE(r.bTcpListener_ClientThreadsEnabled);
    EXPECT_EQ(r.iTcpListener_DefaultChunkSize, -1);
    EXPECT_EQ(r.iTcpConnection_DefaultChunkSize, -1);
    EXPECT_EQ(r.iTcpTransport_MaxMessageLength, -1);
    EXPECT_EQ(r.iTcpTransport_MaxChunkCount, 5000);
    EXPECT_FALSE(r.bTcpStream_ExpectWriteToBlock);

    OpcUa_ProxyStubConfiguration inForce = OpcUa_ProxyStubConfiguration();
    OpcUa_ProxyStub_GetConfiguration(&inForce);
    EXPECT_TRUE(inForce.bProxyStub_Trace_Enabled);
    EXPECT_EQ(inForce.uProxyStub_Trace_Level, 5u);
    UaPlatformLayer::setTrace(false, 0);
}

TEST_F(PlatformLayerTest, CleanupWithoutInitDoesNothing)
{
    UaPlatformLayer::cleanup();
    EXPECT_EQ(UaPlatformLayer::useCount(), 0u);
    EXPECT_FALSE(stackInitialised());
}

TEST_F(PlatformLayerTest, NestedInitAndCleanupClearTheStackWithTheLastCleanup)
{
    ASSERT_EQ(UaPlatformLayer::init(), 0);
    ASSERT_EQ(UaStackPlatform::initialize(), 0);
    EXPECT_EQ(UaPlatformLayer::useCount(), 2u);
    UaStackPlatform::clear();
    EXPECT_TRUE(stackInitialised());
    UaPlatformLayer::cleanup();
    EXPECT_FALSE(stackInitialised());
    UaPlatformLayer::cleanup();
    EXPECT_EQ(UaPlatformLayer::useCount(), 0u);
}

TEST_F(PlatformLayerTest, AFailedInitCountsNothingSoTheNextInitReallyInitialises)
{
    OpcUa_Handle foreign = nullptr;
    ASSERT_EQ(OpcUa_P_Initialize(&foreign), OpcUa_Good);
    EXPECT_EQ(UaPlatformLayer::init(), -1);
    EXPECT_EQ(UaPlatformLayer::useCount(), 0u);
    OpcUa_P_Clean(&foreign);

    ASSERT_EQ(UaPlatformLayer::init(), 0);
    EXPECT_TRUE(stackInitialised());
    UaPlatformLayer::cleanup();
    EXPECT_FALSE(stackInitialised());
}

TEST_F(PlatformLayerTest, ReinitHandsNewSettingsToTheRunningStack)
{
    ASSERT_EQ(UaPlatformLayer::init(), 0);
    UaPlatformLayer::setSerializerLimits(1000000, 2000, 3000, 400, 500000);
    UaPlatformLayer::setThreadPool(false, 1, 4, 16, false, 250);
    ASSERT_EQ(UaPlatformLayer::reinit(), 0);
    OpcUa_ProxyStubConfiguration inForce = OpcUa_ProxyStubConfiguration();
    OpcUa_ProxyStub_GetConfiguration(&inForce);
    EXPECT_EQ(inForce.iSerializer_MaxAlloc, 1000000);
    EXPECT_EQ(inForce.iSerializer_MaxStringLength, 2000);
    EXPECT_EQ(inForce.iSerializer_MaxByteStringLength, 3000);
    EXPECT_EQ(inForce.iSerializer_MaxArrayLength, 400);
    EXPECT_EQ(inForce.iSerializer_MaxMessageSize, 500000);
    EXPECT_FALSE(inForce.bSecureListener_ThreadPool_Enabled);
    EXPECT_EQ(inForce.iSecureListener_ThreadPool_MinThreads, 1);
    EXPECT_EQ(inForce.iSecureListener_ThreadPool_MaxThreads, 4);
    EXPECT_EQ(inForce.iSecureListener_ThreadPool_MaxJobs, 16);
    EXPECT_FALSE(inForce.bSecureListener_ThreadPool_BlockOnAdd);
    EXPECT_EQ(inForce.uSecureListener_ThreadPool_Timeout, 250u);
}

TEST_F(PlatformLayerTest, ReinitBeforeInitFails)
{
    EXPECT_EQ(UaPlatformLayer::reinit(), -1);
}
} // namespace
