// The core and server modules: the application's start and stop of the whole server, on fake
// endpoints.
#include "uaservertestbed.h"

#include "coremodule.h"
#include "uamodule.h"

#include <uaplatformlayer.h>
#include <uatracecapture.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace servertest;

namespace
{
TEST(Modules, AVersionTextIsWrittenOneIndentedLinePerPart)
{
    UaTraceCapture trace(3);
    traceVersionBlock("Heading:", "first\\second part\\third");
    EXPECT_EQ((std::vector<std::string>{"Heading:", "    first", "    second part", "    third"}),
              trace.texts());
}

class ModulesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(0, UaPlatformLayer::init());
        config.sessionFactory = [](OpcUa_Int32 id, const UaNodeId& token) -> Session*
        { return new UaSession(static_cast<OpcUa_UInt32>(id), token); };
        config.endpointConfiguration = [](UaString&, UaPointerArray<UaEndpoint>& endpoints)
        {
            endpoints.create(1);
            endpoints[0] = new UaEndpoint();
            endpoints[0]->setMode(1);
            endpoints[0]->setEndpointUrl("opc.tcp://localhost:4840", true);
            UaEndpointSecuritySetting none;
            none.setSecurityPolicy(kSecurityPolicyNone);
            none.addMessageSecurityMode(1);
            endpoints[0]->addSecuritySetting(none);
            return UaStatus(OpcUa_Good);
        };
    }
    void TearDown() override { UaPlatformLayer::cleanup(); }

    // One start, a GetEndpoints and a session, and the stop; what the client saw.
    std::vector<std::string> runCycle()
    {
        std::vector<std::string> seen;
        FakeEndpointFactory factory;
        auto* core = new CoreModule();
        EXPECT_EQ(0, core->initialize());
        EXPECT_EQ(0, core->startUp(&config));
        auto* module = new UaModule();
        EXPECT_EQ(0, module->startUp(core));
        seen.push_back(UaServer::running() == module->server() ? "running" : "not running");
        if (factory.count() == 1)
        {
            FakeEndpoint& endpoint = factory.endpoint(0);
            const FakeChannel channel{3};
            endpoint.raiseChannelEvent(OpcUa_Endpoint_Event_SecureChannelOpened, channel);
            auto* request = newMessage<OpcUa_GetEndpointsRequest>(OpcUa_GetEndpointsRequest_EncodeableType);
            const auto* endpoints =
                endpoint
                    .waitForAnswer(
                        endpoint.invoke(channel, request, &OpcUa_GetEndpointsRequest_EncodeableType).context)
                    .as<OpcUa_GetEndpointsResponse>(OpcUa_GetEndpointsResponse_EncodeableType);
            for (OpcUa_Int32 i = 0; endpoints && i < endpoints->NoOfEndpoints; ++i)
                seen.push_back(OpcUa_String_GetRawString(&endpoints->Endpoints[i].EndpointUrl));
            auto* create = newMessage<OpcUa_CreateSessionRequest>(OpcUa_CreateSessionRequest_EncodeableType);
            seen.push_back(std::to_string(
                endpoint
                    .waitForAnswer(
                        endpoint.invoke(channel, create, &OpcUa_CreateSessionRequest_EncodeableType).context)
                    .status));
        }
        EXPECT_EQ(0, module->shutDown());
        delete module;
        EXPECT_EQ(0, core->shutDown());
        delete core;
        seen.push_back(UaServer::running() == nullptr ? "stopped" : "still running");
        for (size_t i = 0; i < factory.count(); ++i)
            seen.push_back(factory.endpoint(i).isDestroyed() ? "deleted" : "left");
        return seen;
    }

    FakeServerConfig config;
};

TEST_F(ModulesTest, TwoStartStopCyclesInOneProcessAnswerAlike)
{
    const std::vector<std::string> first = runCycle();
    EXPECT_EQ((std::vector<std::string>{"running", "opc.tcp://localhost:4840", "0", "stopped", "deleted"}),
              first);
    EXPECT_EQ(first, runCycle());
}

TEST_F(ModulesTest, StartAndStopInTheWrongOrderAreRefused)
{
    FakeEndpointFactory factory;
    CoreModule core;
    UaTraceCapture trace(4);
    EXPECT_EQ(-1, core.startUp(&config));
    EXPECT_EQ(1, trace.count(4, "<== CoreModule::startUp [ret=-1] - CoreModule not initialized"));
    EXPECT_EQ(nullptr, core.getServerManager());
    EXPECT_EQ(0, core.initialize());
    EXPECT_EQ(0, core.startUp(&config));
    EXPECT_EQ(-1, core.startUp(&config));

    UaModule module;
    EXPECT_EQ(-1, module.shutDown());
    EXPECT_EQ(0, module.startUp(&core));
    EXPECT_EQ(-1, module.startUp(&core));
    EXPECT_EQ(1, trace.count(1, "<-- UaModule::startUp [ret=-1] - UaModule already started"));
    EXPECT_EQ(0, module.shutDown());
    EXPECT_EQ(nullptr, module.server());
    EXPECT_EQ(0, core.shutDown());
    EXPECT_EQ(-1, core.shutDown());
    EXPECT_EQ(1, config.shutDownCalls);
}

TEST_F(ModulesTest, ShutDownAfterInitializeOnlyAndAFailedStartUp)
{
    FakeEndpointFactory factory;
    {
        CoreModule core;
        EXPECT_EQ(0, core.initialize());
        EXPECT_EQ(0, core.shutDown());
        EXPECT_EQ(0, config.shutDownCalls); // the server manager never started
    }
    {
        // A server with no endpoint fails to start; the module stays started until shut down.
        config.endpointConfiguration = nullptr;
        CoreModule core;
        EXPECT_EQ(0, core.initialize());
        EXPECT_EQ(0, core.startUp(&config));
        UaModule module;
        UaTraceCapture trace(4);
        EXPECT_EQ(-1, module.startUp(&core));
        EXPECT_EQ(1, trace.count(4, "<-- UaModule::startUp [ret=-1] - UaServer startup failed"));
        EXPECT_FALSE(module.server()->isStarted());
        EXPECT_EQ(0, module.shutDown());
        EXPECT_EQ(nullptr, UaServer::running());
        EXPECT_EQ(nullptr, module.server());
        EXPECT_EQ(0, core.shutDown());
    }
    {
        // A configuration that cannot be loaded takes the server manager with it.
        config.loadConfigurationResult = OpcUa_BadInternalError;
        CoreModule core;
        EXPECT_EQ(0, core.initialize());
        EXPECT_EQ(-1, core.startUp(&config));
        EXPECT_EQ(-1, core.startUp(&config));
        EXPECT_EQ(0, core.initialize());
        EXPECT_EQ(0, core.shutDown());
    }
}
} // namespace
