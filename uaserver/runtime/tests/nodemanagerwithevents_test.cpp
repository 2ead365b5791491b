// The node manager with events: one object that is node manager, event manager and I/O manager,
// whose event manager is offered only while events are on, and the namespace-1 node manager.
#include "fake_serverconfig.h"
#include "nodemanagertestbed.h"

#include <nodemanagerwithevents.h>
#include <session.h>

#include <gtest/gtest.h>

#include <atomic>

using namespace testbed;

namespace
{
const UaNodeId g_server(2253, 0);

std::atomic<int> g_destroyed{0};

class Machine : public NodeManagerWithEvents
{
public:
    explicit Machine(bool eventsEnabled) : NodeManagerWithEvents("urn:test:machine", eventsEnabled, 1009) {}
    ~Machine() override { ++g_destroyed; }

    UaStatus afterStartUp() override
    {
        samplingWasStarted = samplingEngine()->isStarted();
        return addNodeAndReference(UaNodeId(85, 0),
                                   new UaFolder("Cell", UaNodeId("Cell", getNameSpaceIndex()), "en"),
                                   UaNodeId(35, 0));
    }
    UaStatus beforeShutDown() override { return OpcUa_Good; }

    bool samplingWasStarted = false;
};

class NodeManagerWithEventsTest : public ::testing::Test
{
protected:
    void SetUp() override { server.serverManager.setServerConfig(&config); }

    TestServer server;
    uaserver::testing::FakeServerConfig config;
};

TEST_F(NodeManagerWithEventsTest, EventManagersAreOfferedOnlyWhileEventsAreOn)
{
    Machine machine(false);
    UaPointerArray<EventManager> managers;
    EXPECT_EQ(machine.getEventManagers(nullptr, g_server.toOpcUaNodeId(), nullptr, managers).statusCode(),
              OpcUa_Good);
    EXPECT_EQ(managers.length(), 0u);
    machine.setEventsEnabled(true);
    ASSERT_TRUE(machine.getEventManagers(nullptr, g_server.toOpcUaNodeId(), nullptr, managers).isGood());
    ASSERT_EQ(managers.length(), 1u);
    EXPECT_EQ(managers[0], machine.getEventManager());
    EXPECT_EQ(managers[0], static_cast<EventManager*>(static_cast<NodeEventManager*>(&machine)));
    // Only the notifiers of its event manager.
    const UaNodeId cell("Cell", 2);
    UaPointerArray<EventManager> none;
    EXPECT_EQ(machine.getEventManagers(nullptr, cell.toOpcUaNodeId(), nullptr, none).statusCode(),
              OpcUa_BadNodeIdUnknown);
    EXPECT_EQ(none.length(), 0u);
    machine.addNotifier(g_server, cell);
    EXPECT_TRUE(machine.getEventManagers(nullptr, cell.toOpcUaNodeId(), nullptr, none).isGood());
    EXPECT_EQ(none.length(), 1u);
}

TEST_F(NodeManagerWithEventsTest, SamplingRunsBeforeTheNodesAreBuiltAndOneIOManagerServesEverything)
{
    Machine machine(true);
    ASSERT_TRUE(machine.startUp(&server.serverManager).isGood());
    EXPECT_TRUE(machine.samplingWasStarted);
    UaNode* cell = machine.getNode(UaNodeId("Cell", machine.getNameSpaceIndex()));
    ASSERT_NE(cell, nullptr);
    IOManager* own = static_cast<IOManagerUaNode*>(&machine);
    EXPECT_EQ(machine.getIOManager(cell, 13), own);
    EXPECT_EQ(machine.getIOManager(cell, 4), own);
    EXPECT_EQ(machine.getIOManager(nullptr, 1), own);
    EXPECT_EQ(machine.getIOManagerUaNode(), own);
    // No handle manager is set: no history handle, even for a node that exists.
    UaStatus result;
    EXPECT_EQ(machine.getHistoryHandle(nullptr, 0, cell->nodeId().toOpcUaNodeId(), result), nullptr);
    EXPECT_EQ(result.statusCode(), OpcUa_BadNodeIdUnknown);
    cell->releaseReference();
    static_cast<NodeManager&>(machine).shutDown();
}

TEST_F(NodeManagerWithEventsTest, DeletingThroughEachViewFreesTheObjectOnce)
{
    using Deleter = void (*)(Machine*);
    const Deleter views[] = {
        [](Machine* m) { delete static_cast<NodeManager*>(m); },
        [](Machine* m) { delete static_cast<NodeManagerConfig*>(m); },
        [](Machine* m) { delete static_cast<NodeManagerCrossReferences*>(m); },
        [](Machine* m) { delete static_cast<EventManager*>(static_cast<NodeEventManager*>(m)); },
        [](Machine* m) { delete static_cast<IOManager*>(static_cast<IOManagerUaNode*>(m)); },
    };
    for (Deleter view : views)
    {
        const int before = g_destroyed;
        view(new Machine(true));
        EXPECT_EQ(g_destroyed, before + 1);
    }
}

TEST_F(NodeManagerWithEventsTest, TheNamespaceOneNodeManagerIsFixedAtConstruction)
{
    NodeManagerNS1 ns1("urn:test:server");
    EXPECT_EQ(ns1.getNameSpaceIndex(), 1);
    EXPECT_STREQ(ns1.getDefaultLocaleId().toUtf8(), "en");
    EXPECT_FALSE(ns1.eventsEnabled());
    UaPointerArray<EventManager> managers;
    EXPECT_TRUE(ns1.getEventManagers(nullptr, g_server.toOpcUaNodeId(), nullptr, managers).isGood());
    EXPECT_EQ(managers.length(), 0u);
}

// Records what the event manager stamps.
class StampTarget : public EventStampTarget
{
public:
    void setStampValue(const UaVariant& v) override { value = v; }
    void setClientUserId(const UaString& name) override { userName = name.toUtf8(); }
    UaStatus setStampTimes(const UaDateTime& t, const UaDateTime& r, const UaByteString& id) override
    {
        time = t;
        receiveTime = r;
        eventIdLength = id.length();
        return OpcUa_BadInvalidState;
    }
    UaVariant value;
    std::string userName = "unset";
    UaDateTime time;
    UaDateTime receiveTime;
    OpcUa_Int32 eventIdLength = -1;
};

TEST_F(NodeManagerWithEventsTest, TheStampingOperationFillsValueUserAndTimes)
{
    Machine machine(true);
    StampTarget target;
    EXPECT_EQ(machine.stampEvent(ServiceContext(), &target, UaByteString(), UaVariant(42)).statusCode(),
              OpcUa_BadInvalidState);
    EXPECT_TRUE(target.value == UaVariant(42));
    EXPECT_EQ(target.userName, "");
    EXPECT_FALSE(target.time.isNull());
    EXPECT_EQ(target.time, target.receiveTime);
    EXPECT_LE(target.eventIdLength, 0);
}

} // namespace
