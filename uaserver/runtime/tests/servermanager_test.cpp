// The server manager's start-up and shut-down, with the exact trace of every failure path.
#include "servertestbed.h"

#include <nodemanagerwithevents.h>
#include <sessionmanager.h>
#include <uaobjectserver.h>
#include <uatracecapture.h>
#include <uatypenodesns0.h>

#include <functional>
#include <string>

using namespace servertest;

namespace
{
// A server manager whose factories a test can make fail.
class TestServerManager : public ServerManager
{
public:
    bool noNamespaceOne = false;
    bool noSessionManager = false;

    NodeManagerNS1* createNodeManagerNS1(const UaString& serverUri) override
    {
        return noNamespaceOne ? nullptr : ServerManager::createNodeManagerNS1(serverUri);
    }
    SessionManager* createSessionManager() override
    {
        return noSessionManager ? nullptr : ServerManager::createSessionManager();
    }
};

// The server manager's own trace lines, in order.
std::vector<std::string> startUpLines(const UaTraceCapture& trace)
{
    std::vector<std::string> lines;
    for (const UaTraceLine& line : trace.lines())
        if (line.text.find("ServerManager::startUp") != std::string::npos)
            lines.push_back(std::to_string(line.level) + " " + line.text);
    return lines;
}

struct StartUpCase
{
    const char* name;
    std::function<void(FakeServerConfig&, TestServerManager&)> arrange;
    bool nullConfiguration;
    OpcUa_StatusCode result;
    std::vector<std::string> trace;
    // What is left after start-up returned.
    bool rootLeft;
    bool namespaceOneLeft;
    int configurationShutDowns;
    // Once the destructor ran: the configuration is shut down only when start-up had stored it.
    int finalShutDowns;
};
} // namespace

TEST(ServerManagerStartUp, EachFailingStepAnswersWithItsStatusAndTrace)
{
    const StartUpCase cases[] = {
        {"null configuration",
         {},
         true,
         OpcUa_BadInvalidArgument,
         {"6 --> ServerManager::startUp", "1 <-- ServerManager::startUp - Error: provide ServerConfig is "
                                          "NULL [ret=OpcUa_BadInvalidArgument]"},
         true,
         false,
         0,
         0},
        {"loading fails",
         [](FakeServerConfig& c, TestServerManager&)
         { c.loadConfigurationResult = OpcUa_BadConfigurationError; },
         false,
         OpcUa_BadConfigurationError,
         {"6 --> ServerManager::startUp",
          "1 <-- ServerManager::startUp - Error at ServerConfig::loadConfiguration [ret=0x80890000]"},
         true,
         false,
         0,
         1},
        {"no instance information",
         [](FakeServerConfig& c, TestServerManager&) { c.serverInstanceInfoResult = OpcUa_BadNotFound; },
         false,
         OpcUa_BadNotFound,
         {"6 --> ServerManager::startUp",
          "1 <-- ServerManager::startUp - Error at ServerConfig::getServerInstanceInfo [ret=0x803e0000]"},
         true,
         false,
         0,
         1},
        {"no namespace-1 node manager",
         [](FakeServerConfig&, TestServerManager& s) { s.noNamespaceOne = true; },
         false,
         OpcUa_BadInternalError,
         {"6 --> ServerManager::startUp",
          "1 <-- ServerManager::startUp - Error at NodeManagerRoot::startUp [ret=0x80020000]"},
         false,
         false,
         1,
         1},
        {"no session manager",
         [](FakeServerConfig&, TestServerManager& s) { s.noSessionManager = true; },
         false,
         OpcUa_BadOutOfMemory,
         {"6 --> ServerManager::startUp",
          "1 <-- ServerManager::startUp - Error at SessionManager::startUp [ret=0x80030000]"},
         false,
         false,
         1,
         1},
    };
    for (const StartUpCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        FakeServerConfig config;
        {
            TestServerManager serverManager;
            if (c.arrange)
                c.arrange(config, serverManager);
            UaTraceCapture trace(6);
            EXPECT_EQ(serverManager.startUp(c.nullConfiguration ? nullptr : &config).statusCode(), c.result);
            EXPECT_EQ(startUpLines(trace), c.trace);
            EXPECT_FALSE(serverManager.isStarted());
            EXPECT_EQ(serverManager.getNodeManagerRoot() != nullptr, c.rootLeft);
            EXPECT_EQ(NodeManagerRoot::hasInstance(), c.rootLeft);
            EXPECT_EQ(serverManager.getNodeManagerNS1() != nullptr, c.namespaceOneLeft);
            EXPECT_EQ(serverManager.getSessionManager(), nullptr);
            EXPECT_EQ(config.shutDownCalls, c.configurationShutDowns);
            EXPECT_EQ(ServerManagerLink::running(), nullptr);
            if (!c.rootLeft)
            {
                // The root went with the failure: the server manager is not started again.
                trace.clear();
                EXPECT_EQ(serverManager.startUp(&config).statusCode(), OpcUa_BadInternalError);
                EXPECT_EQ(startUpLines(trace), std::vector<std::string>{"6 --> ServerManager::startUp"});
                EXPECT_EQ(serverManager.shutDown().statusCode(), OpcUa_BadInternalError);
            }
        }
        // An early failure leaves the clean-up to the destructor: the configuration is shut down
        // at most once, the root deleted.
        EXPECT_EQ(config.shutDownCalls, c.finalShutDowns);
        EXPECT_EQ(config.configurationHookCalls, c.finalShutDowns);
        EXPECT_FALSE(NodeManagerRoot::hasInstance());
    }
}

TEST(ServerManagerStartUp, AValidConfigurationAfterAFailedOneStartsAndASecondStartChangesNothing)
{
    FakeServerConfig config;
    ServerManager serverManager;
    EXPECT_EQ(serverManager.startUp(nullptr).statusCode(), OpcUa_BadInvalidArgument);
    UaTraceCapture trace(6);
    ASSERT_TRUE(serverManager.startUp(&config).isGood());
    const std::vector<std::string> started = {"6 --> ServerManager::startUp",
                                              "6 <-- ServerManager::startUp [ret=0x0]"};
    EXPECT_EQ(startUpLines(trace), started);
    EXPECT_TRUE(serverManager.isStarted());
    EXPECT_EQ(ServerManagerLink::running(), &serverManager);
    EXPECT_EQ(serverManager.getServerConfig(), &config);
    ASSERT_NE(serverManager.getNodeManagerNS1(), nullptr);
    EXPECT_EQ(serverManager.getNodeManagerNS1()->getNameSpaceIndex(), 1);
    EXPECT_EQ(serverManager.getNodeManagerNS1()->getDefaultLocaleId(), UaString("en"));
    EXPECT_FALSE(serverManager.getNodeManagerNS1()->eventsEnabled());
    EXPECT_NE(serverManager.getSessionManager(), nullptr);

    trace.clear();
    EXPECT_EQ(serverManager.startUp(&config).statusCode(), OpcUa_BadInternalError);
    EXPECT_EQ(startUpLines(trace), std::vector<std::string>{"6 --> ServerManager::startUp"});
    EXPECT_TRUE(serverManager.isStarted());

    EXPECT_TRUE(serverManager.shutDown().isGood());
    EXPECT_EQ(serverManager.getServerConfig(), nullptr);
    EXPECT_EQ(ServerManagerLink::running(), nullptr);
    EXPECT_EQ(config.shutDownCalls, 1);
    EXPECT_EQ(serverManager.shutDown().statusCode(), OpcUa_BadInternalError);
    EXPECT_EQ(config.shutDownCalls, 1);
}

TEST(ServerManagerStartUp, AuditingSwitchesTheEventsOfNamespaceOneOn)
{
    FakeServerConfig config;
    config.auditing = true;
    ServerManager serverManager;
    ASSERT_TRUE(serverManager.startUp(&config).isGood());
    EXPECT_TRUE(serverManager.getNodeManagerNS1()->eventsEnabled());
}

TEST(ServerManagerStartUp, ANodeAlreadyInNamespaceZeroIsTracedAndStartUpGoesOn)
{
    FakeServerConfig config;
    ServerManager serverManager;
    // XmlElement is the last data type built, so its failed link is the builders' result.
    auto* early = new UaDataTypeNs0(16, "XmlElement", false);
    ASSERT_TRUE(NodeManagerRoot::instance()->addUaNode(early).isGood());
    UaTraceCapture trace(6);
    EXPECT_TRUE(serverManager.startUp(&config).isGood());
    EXPECT_EQ(
        trace.count(1, "Error: NodeManagerRoot::afterStartUp [ret=0x805e0000] adding type nodes failed"), 1u);
    EXPECT_TRUE(trace.contains(6, "<-- NodeManagerRoot::afterStartUp [ret=0x0]"));
}
