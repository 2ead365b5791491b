// Node managers under concurrent use (the ThreadSanitizer run is where these earn their keep):
// browsing and translating while nodes are deleted, two namespaces linking into each other from
// both sides, read batches storing device values while others read them, and variable handles and
// cached values taken side by side while the variables are replaced and written.
#include "nodemanagertestbed.h"
#include "testaddressspace.h"

#include "uadatavariabledevice.h"
#include "uavariablecache.h"

#include <cmath>

#include <atomic>

using namespace testbed;

namespace
{
UaObjectPlain* newObject(const UaNodeId& nodeId, const char* name)
{
    return testspace::newObject(nodeId, name);
}

// Runs the workers to the end, each for the given number of rounds.
void runTogether(const std::vector<std::function<void(int)>>& workers, int rounds)
{
    std::vector<std::thread> threads;
    for (const auto& worker : workers)
        threads.emplace_back(
            [&worker, rounds]
            {
                for (int round = 0; round < rounds; ++round)
                    worker(round);
            });
    for (std::thread& thread : threads)
        thread.join();
}
} // namespace

TEST(NodeManagerConcurrency, BrowseAndTranslateWhileTheNodesAreDeleted)
{
    TestServer server;
    TestNodeManager nm{"urn:test:busy"};
    ASSERT_TRUE(nm.startUp(&server.serverManager).isGood());
    ASSERT_TRUE(nm.addUaNode(newObject(UaNodeId(1, 2), "Parent")).isGood());
    const OpcUa_UInt32 children = 8;
    auto addChild = [&nm](OpcUa_UInt32 id)
    {
        UaObjectPlain* child = newObject(UaNodeId(id, 2), "Child");
        if (nm.addNodeAndReference(UaNodeId(1, 2), child, UaNodeId(47, 0)).isBad())
            child->releaseReference();
        nm.addNodeAndReference(UaNodeId(id, 2), newObject(UaNodeId(id + 100, 2), "Leaf"), UaNodeId(47, 0));
    };
    for (OpcUa_UInt32 id = 10; id < 10 + children; ++id)
        addChild(id);

    std::atomic<int> unexpected{0};
    auto expectKnownOrGone = [&unexpected](const UaStatus& status)
    {
        // A node being deleted is unknown, or its leaf is gone.
        if (status.isBad() && status.statusCode() != OpcUa_BadNodeIdUnknown &&
            status.statusCode() != OpcUa_BadNoMatch)
            ++unexpected;
    };
    std::vector<std::function<void(int)>> workers;
    for (int t = 0; t < 3; ++t)
        workers.push_back(
            [&, t](int round)
            {
                const UaNodeId child(10 + static_cast<OpcUa_UInt32>(round + t) % children, 2);
                std::vector<testspace::Ref> refs;
                testspace::BrowseRun run(server.root, testspace::Browse(child));
                expectKnownOrGone(run.page(refs));
                std::vector<std::pair<std::string, OpcUa_UInt32>> targets;
                expectKnownOrGone(testspace::translate(
                    server.root, child, {{UaNodeId(47, 0), false, true, UaQualifiedName("Leaf", 2)}},
                    targets));
            });
    workers.push_back(
        [&](int round)
        {
            const OpcUa_UInt32 id = 10 + static_cast<OpcUa_UInt32>(round) % children;
            auto child = ReferenceHolder<UaNode>::adopt(nm.getNode(UaNodeId(id, 2)));
            if (child)
                nm.deleteUaNode(child.get(), true, true, true);
            addChild(id);
        });
    runTogether(workers, 300);
    EXPECT_EQ(unexpected, 0);
    nm.shutDown();
}

TEST(NodeManagerConcurrency, TwoNamespacesLinkIntoEachOtherFromBothSides)
{
    TestServer server;
    // Each namespace has objects 1 to 20 and a reference type node 100 that the other one uses.
    auto build = [](OpcUa_UInt16 ns)
    {
        return [ns](TestNodeManager& nm)
        {
            for (OpcUa_UInt32 id = 1; id <= 20; ++id)
                nm.addUaNode(newObject(UaNodeId(id, ns), "Item"));
            return nm.addUaNode(new UaReferenceTypePlain(UaNodeId(100, ns), UaQualifiedName("Feeds", ns),
                                                         UaLocalizedText("", "Feeds"), UaLocalizedText(),
                                                         false, false, UaLocalizedText(), nullptr));
        };
    };
    TestNodeManager left{"urn:test:left", build(2)};
    TestNodeManager right{"urn:test:right", build(3)};
    ASSERT_TRUE(left.startUp(&server.serverManager).isGood());
    ASSERT_TRUE(right.startUp(&server.serverManager).isGood());

    // Each side links the other side's nodes to its own (aliases, reads and connects towards the
    // other side) and its own nodes by the other side's reference type (a look-up there), while
    // browses go through both.
    auto linker = [](TestNodeManager& self, OpcUa_UInt16 own, OpcUa_UInt16 other)
    {
        return [&self, own, other](int round)
        {
            const OpcUa_UInt32 id = 1 + static_cast<OpcUa_UInt32>(round) % 20;
            EXPECT_TRUE(
                self.addUaReference(UaNodeId(id, other), UaNodeId(id, own), UaNodeId(35, 0)).isGood());
            EXPECT_TRUE(self.addUaReference(UaNodeId(id, own), UaNodeId(21 - id, own), UaNodeId(100, other))
                            .isGood());
        };
    };
    auto browser = [&server](OpcUa_UInt16 ns)
    {
        return [&server, ns](int round)
        {
            testspace::BrowseRun run(server.root, testspace::Browse(UaNodeId(1 + round % 20, ns)));
            std::vector<testspace::Ref> refs;
            EXPECT_TRUE(run.page(refs).isGood());
        };
    };
    runTogether({linker(left, 2, 3), linker(right, 3, 2), browser(2), browser(3)}, 200);

    EXPECT_EQ(left.aliasCount(), 20u);
    EXPECT_EQ(right.aliasCount(), 20u);
    // Browsing a node reaches what the other namespace keeps for it.
    testspace::Browse forward(UaNodeId(7, 3));
    forward.direction = OpcUa_BrowseDirection_Forward;
    forward.referenceType = UaNodeId(35, 0);
    testspace::BrowseRun run(server.root, forward);
    std::size_t fromLeft = 0;
    for (const testspace::Ref& ref : run.all())
        fromLeft += ref.target == "NS2|Numeric|7" ? 1 : 0;
    EXPECT_EQ(fromLeft, 10u);
    left.shutDown();
    right.shutDown();
}

TEST(NodeManagerConcurrency, ReadBatchesStoreDeviceValuesWhileOthersReadThem)
{
    TestServer server;
    TestNodeManager nm{"urn:test:device", [](TestNodeManager& m)
                       {
                           for (OpcUa_UInt32 id = 1; id <= 4; ++id)
                               m.addUaNode(new UaDataVariableDevice("Sensor", UaNodeId(id, 2),
                                                                    UaNodeId(11, 0), -1, 3, "en"));
                           return UaStatus(OpcUa_Good);
                       }};
    std::atomic<int> reading{0};
    nm.readHook = [&reading](const UaVariableArray& variables, UaDataValueArray& values)
    {
        values.create(variables.length());
        const double sample = ++reading;
        for (OpcUa_UInt32 i = 0; i < values.length(); ++i)
        {
            UaDataValue value;
            value.setValue(UaVariant(sample), false, true);
            value.copyTo(&values[i]);
        }
        return UaStatus(OpcUa_Good);
    };
    ASSERT_TRUE(nm.startUp(&server.serverManager).isGood());
    CoreTransactions& core = *server.serverManager.getCoreTransactions();

    std::vector<std::function<void(int)>> workers;
    for (int t = 0; t < 4; ++t)
        workers.push_back(
            [&](int)
            {
                UaReadValueIdArray nodesToRead;
                nodesToRead.create(4);
                for (OpcUa_UInt32 i = 0; i < 4; ++i)
                {
                    UaNodeId(i + 1, 2).copyTo(&nodesToRead[i].NodeId);
                    nodesToRead[i].AttributeId = 13;
                }
                UaDataValueArray results;
                ASSERT_TRUE(core.readByNodeIds(ServiceContext(), 0.0, OpcUa_TimestampsToReturn_Both,
                                               nodesToRead, results)
                                .isGood());
                for (OpcUa_UInt32 i = 0; i < results.length(); ++i)
                    EXPECT_EQ(results[i].StatusCode, OpcUa_Good);
            });
    workers.push_back(
        [&](int round)
        {
            auto sensor = ReferenceHolder<UaNode>::adopt(nm.getNode(UaNodeId(1 + round % 4, 2)));
            const UaDataValue value = static_cast<UaVariable*>(sensor.get())->value(nullptr);
            EXPECT_TRUE(value.value().isEmpty() || value.value().type() == OpcUaType_Double);
        });
    runTogether(workers, 100);
    EXPECT_EQ(reading, 400);
    nm.shutDown();
}

TEST(NodeManagerConcurrency, HandlesAndCachedValuesWhileTheVariablesAreReplacedAndWritten)
{
    // Variable id holds id * 1000 + a write count: a value read through a handle tells whether the
    // handle led to the right variable.
    constexpr OpcUa_UInt32 kVariables = 6;
    auto newVariable = [](OpcUa_UInt32 id, double count)
    { return new UaDataVariableCache("Level", UaNodeId(id, 2), UaVariant(id * 1000.0 + count), 3, "en"); };
    TestServer server;
    TestNodeManager nm{"urn:test:cache", [&newVariable](TestNodeManager& m)
                       {
                           for (OpcUa_UInt32 id = 1; id <= kVariables; ++id)
                               m.addUaNode(newVariable(id, 0));
                           return UaStatus(OpcUa_Good);
                       }};
    ASSERT_TRUE(nm.startUp(&server.serverManager).isGood());

    std::atomic<int> wrongVariable{0};
    std::atomic<int> valuesRead{0};
    std::vector<std::function<void(int)>> workers;
    for (int t = 0; t < 4; ++t)
        workers.push_back(
            [&, t](int round)
            {
                const OpcUa_UInt32 id = 1 + static_cast<OpcUa_UInt32>(round + t) % kVariables;
                const OpcUa_NodeId nodeId = *UaNodeId(id, 2).toOpcUaNodeId();
                VariableHandle* handle = nm.getVariableHandle(nullptr, 0, &nodeId, 13);
                // Between the removal and the new node the variable is briefly unknown.
                if (handle == nullptr)
                    return;
                const UaDataValue value = static_cast<UaVariable*>(handle->pUaNode())->value(nullptr);
                handle->releaseReference();
                OpcUa_Double number = 0;
                if (OpcUa_IsBad(value.value().toDouble(number)) || std::floor(number / 1000) != id ||
                    !value.isServerTimestampSet())
                    ++wrongVariable;
                ++valuesRead;
            });
    // One worker replaces a variable by a new one of the same NodeId, another writes the others.
    workers.push_back(
        [&](int round)
        {
            const OpcUa_UInt32 id = 1 + static_cast<OpcUa_UInt32>(round) % kVariables;
            auto old = ReferenceHolder<UaNode>::adopt(nm.getNode(UaNodeId(id, 2)));
            if (old)
                EXPECT_TRUE(nm.deleteUaNode(old.get(), true, true, false).isGood());
            UaDataVariableCache* fresh = newVariable(id, round);
            if (nm.addUaNode(fresh).isBad())
                fresh->releaseReference();
        });
    workers.push_back(
        [&](int round)
        {
            const OpcUa_UInt32 id = 1 + static_cast<OpcUa_UInt32>(round * 5) % kVariables;
            auto variable = ReferenceHolder<UaNode>::adopt(nm.getNode(UaNodeId(id, 2)));
            if (!variable)
                return;
            UaDataValue value;
            value.setValue(UaVariant(id * 1000.0 + round), false, true);
            EXPECT_TRUE(static_cast<UaVariable*>(variable.get())->setValue(nullptr, value, false).isGood());
        });
    runTogether(workers, 400);
    EXPECT_EQ(wrongVariable, 0);
    EXPECT_GT(valuesRead, 0);
    nm.shutDown();
}
