// Two namespaces linked into each other: alias nodes of foreign nodes, made once and reused, the
// owner's browse reaching the references kept elsewhere, references to foreign targets by NodeId,
// and everything undone when a node manager shuts down or its alias is deleted.
#include "nodemanagertestbed.h"
#include "testaddressspace.h"

#include <algorithm>

using namespace testbed;
using testspace::Browse;
using testspace::BrowseRun;
using testspace::Ref;

namespace
{
UaObjectPlain* newObject(const UaNodeId& nodeId, const char* name, OpcUa_UInt32 typeDefinition = 58)
{
    return testspace::newObject(nodeId, name, UaNodeId(typeDefinition, 0));
}

// The forward references of a node as "type target name" texts, sorted, through the root.
std::vector<std::string> forwardNames(NodeManager& root, const UaNodeId& nodeId)
{
    Browse request(nodeId);
    request.direction = OpcUa_BrowseDirection_Forward;
    BrowseRun run(root, request);
    std::vector<std::string> names;
    for (const Ref& ref : run.all())
        if (ref.type != 40)
            names.push_back(std::to_string(ref.type) + " " + ref.target + " " + ref.browseName);
    std::sort(names.begin(), names.end());
    return names;
}

// A node manager that hands no node pointers out: others learn its nodes' attributes by reading.
class ReadOnlyAccess : public TestNodeManager
{
public:
    using TestNodeManager::TestNodeManager;
    UaNode* getNode(const UaNodeId&) override { return nullptr; }
};

class AliasTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lineOwner.startUp(&server.serverManager).isGood());
        ASSERT_EQ(lineOwner.ns(), 2);
    }
    void TearDown() override
    {
        cell.shutDown();
        lineOwner.shutDown();
    }

    TestServer server;
    // Namespace 2: the production line folder ns=2;i=1.
    TestNodeManager lineOwner{"urn:test:line", [](TestNodeManager& nm)
                              { return nm.addUaNode(newObject(UaNodeId(1, 2), "Line", 61)); }};
    // Namespace 3: a cell whose build the test chooses per start.
    std::vector<TestNodeManager::Build> cellBuilds;
    int cellStarts = 0;
    TestNodeManager cell{"urn:test:cell", [this](TestNodeManager& nm)
                         {
                             return cellStarts < static_cast<int>(cellBuilds.size())
                                        ? cellBuilds[cellStarts++](nm)
                                        : UaStatus(OpcUa_Good);
                         }};
};
} // namespace

TEST_F(AliasTest, AForeignParentGetsOneAliasThatLeadsTheOwnersBrowseIntoThisNamespace)
{
    cellBuilds.push_back(
        [](TestNodeManager& nm)
        {
            UaStatus status =
                nm.addNodeAndReference(UaNodeId(1, 2), newObject(UaNodeId(10, 3), "Robot"), UaNodeId(35, 0));
            if (status.isGood())
                status = nm.addNodeAndReference(UaNodeId(1, 2), newObject(UaNodeId(11, 3), "Conveyor"),
                                                UaNodeId(35, 0));
            if (status.isGood())
                status = nm.addNodeAndReference(UaNodeId(85, 0), newObject(UaNodeId(12, 3), "Cell"),
                                                UaNodeId(35, 0));
            return status;
        });
    ASSERT_TRUE(cell.startUp(&server.serverManager).isGood());
    ASSERT_EQ(cell.ns(), 3);

    // One alias per foreign node, each owner told once.
    EXPECT_EQ(cell.aliasCount(), 2u);
    EXPECT_EQ(markerCount(server.root, UaNodeId(1, 2)), 1);
    EXPECT_EQ(markerCount(server.root, UaNodeId(85, 0)), 1);
    auto alias = ReferenceHolder<UaNode>::adopt(cell.getNode(UaNodeId(1, 2)));
    ASSERT_TRUE(alias);
    EXPECT_STREQ(alias->browseName().name().toUtf8(), "Line");
    EXPECT_EQ(alias->typeDefinitionId(), UaNodeId(61, 0));

    // The owner's browse reaches the references kept in namespace 3.
    EXPECT_EQ(forwardNames(server.root, UaNodeId(1, 2)),
              (std::vector<std::string>{"35 NS3|Numeric|10 Robot", "35 NS3|Numeric|11 Conveyor"}));
    EXPECT_EQ(forwardNames(server.root, UaNodeId(85, 0)),
              (std::vector<std::string>{"35 NS3|Numeric|12 Cell"}));
    // And the child names its parent back.
    Browse inverse(UaNodeId(10, 3));
    inverse.direction = OpcUa_BrowseDirection_Inverse;
    BrowseRun run(server.root, inverse);
    const std::vector<Ref> parents = run.all();
    ASSERT_EQ(parents.size(), 1u);
    EXPECT_EQ(parents[0].target, "NS2|Numeric|1");
    EXPECT_EQ(parents[0].browseName, "Line");

    // A reference from the same foreign node by NodeIds reuses the alias.
    ASSERT_TRUE(cell.addUaReference(UaNodeId(1, 2), UaNodeId(12, 3), UaNodeId(47, 0)).isGood());
    EXPECT_EQ(cell.aliasCount(), 2u);
    EXPECT_EQ(markerCount(server.root, UaNodeId(1, 2)), 1);
    EXPECT_EQ(forwardNames(server.root, UaNodeId(1, 2)),
              (std::vector<std::string>{"35 NS3|Numeric|10 Robot", "35 NS3|Numeric|11 Conveyor",
                                        "47 NS3|Numeric|12 Cell"}));

    // Shutting down undoes every connection; the nodes stay until the node manager goes.
    ASSERT_TRUE(cell.shutDown().isGood());
    EXPECT_EQ(cell.aliasCount(), 0u);
    EXPECT_EQ(markerCount(server.root, UaNodeId(1, 2)), 0);
    EXPECT_EQ(markerCount(server.root, UaNodeId(85, 0)), 0);
    EXPECT_TRUE(forwardNames(server.root, UaNodeId(1, 2)).empty());
    auto robot = ReferenceHolder<UaNode>::adopt(cell.getNode(UaNodeId(10, 3)));
    EXPECT_TRUE(robot);

    // A second start takes the old alias node up again instead of failing on its NodeId.
    cellBuilds.push_back([](TestNodeManager& nm)
                         { return nm.addUaReference(UaNodeId(1, 2), UaNodeId(10, 3), UaNodeId(35, 0)); });
    ASSERT_TRUE(cell.startUp(&server.serverManager).isGood());
    EXPECT_EQ(cell.aliasCount(), 1u);
    EXPECT_EQ(markerCount(server.root, UaNodeId(1, 2)), 1);
    const std::vector<std::string> again = forwardNames(server.root, UaNodeId(1, 2));
    EXPECT_EQ(std::count(again.begin(), again.end(), "35 NS3|Numeric|10 Robot"), 2);
}

TEST_F(AliasTest, DeletingAnAliasDisconnectsItAndTheNextReferenceMakesItAgain)
{
    cellBuilds.push_back(
        [](TestNodeManager& nm) {
            return nm.addNodeAndReference(UaNodeId(1, 2), newObject(UaNodeId(10, 3), "Robot"),
                                          UaNodeId(35, 0));
        });
    ASSERT_TRUE(cell.startUp(&server.serverManager).isGood());
    auto alias = ReferenceHolder<UaNode>::adopt(cell.getNode(UaNodeId(1, 2)));
    ASSERT_TRUE(alias);
    ASSERT_TRUE(cell.deleteUaNode(alias.get(), true, true, false).isGood());
    EXPECT_EQ(cell.aliasCount(), 0u);
    EXPECT_EQ(markerCount(server.root, UaNodeId(1, 2)), 0);
    EXPECT_TRUE(forwardNames(server.root, UaNodeId(1, 2)).empty());

    ASSERT_TRUE(cell.addUaReference(UaNodeId(1, 2), UaNodeId(10, 3), UaNodeId(35, 0)).isGood());
    EXPECT_EQ(cell.aliasCount(), 1u);
    EXPECT_EQ(markerCount(server.root, UaNodeId(1, 2)), 1);
    EXPECT_EQ(forwardNames(server.root, UaNodeId(1, 2)),
              (std::vector<std::string>{"35 NS3|Numeric|10 Robot"}));
}

TEST_F(AliasTest, AForeignTargetIsHeldByNodeIdWithTheNodeClassItReads)
{
    cellBuilds.push_back([](TestNodeManager& nm)
                         { return nm.addUaNode(newObject(UaNodeId(10, 3), "Robot")); });
    ASSERT_TRUE(cell.startUp(&server.serverManager).isGood());
    ASSERT_TRUE(cell.addUaReference(UaNodeId(10, 3), UaNodeId(1, 2), UaNodeId(35, 0)).isGood());
    // No alias: the target is named by NodeId, its names read when browsed.
    EXPECT_EQ(cell.aliasCount(), 0u);
    Browse request(UaNodeId(10, 3));
    request.direction = OpcUa_BrowseDirection_Forward;
    request.referenceType = UaNodeId(35, 0);
    BrowseRun run(server.root, request);
    const std::vector<Ref> refs = run.all();
    ASSERT_EQ(refs.size(), 1u);
    EXPECT_EQ(refs[0].target, "NS2|Numeric|1");
    EXPECT_EQ(refs[0].browseName, "Line");
    EXPECT_EQ(refs[0].nodeClass, OpcUa_NodeClass_Object);
    // A target nobody has is refused, and nothing is added.
    EXPECT_EQ(cell.addUaReference(UaNodeId(10, 3), UaNodeId(99, 2), UaNodeId(35, 0)).statusCode(),
              OpcUa_BadNodeIdUnknown);
    EXPECT_EQ(BrowseRun(server.root, request).all().size(), 1u);
}

TEST_F(AliasTest, AnOwnerThatHandsOutNoNodesIsDescribedByReading)
{
    ASSERT_TRUE(cell.startUp(&server.serverManager).isGood());
    ReadOnlyAccess hidden{"urn:test:hidden", [](TestNodeManager& nm)
                          { return nm.addUaNode(newObject(UaNodeId(1, 4), "Vault", 61)); }};
    ASSERT_TRUE(hidden.startUp(&server.serverManager).isGood());
    ASSERT_EQ(hidden.ns(), 4);
    ASSERT_TRUE(cell.addNodeAndReference(UaNodeId(1, 4), newObject(UaNodeId(10, 3), "Key"), UaNodeId(47, 0))
                    .isGood());
    auto alias = ReferenceHolder<UaNode>::adopt(cell.getNode(UaNodeId(1, 4)));
    ASSERT_TRUE(alias);
    EXPECT_STREQ(alias->browseName().name().toUtf8(), "Vault");
    EXPECT_STREQ(alias->displayName(nullptr).text().toUtf8(), "Vault");
    EXPECT_EQ(alias->nodeClass(), OpcUa_NodeClass_Object);
    // Read attributes carry no type definition: an object is taken as BaseObjectType.
    EXPECT_EQ(alias->typeDefinitionId(), UaNodeId(58, 0));
    // The owner was told all the same: its browse reaches the reference.
    EXPECT_EQ(forwardNames(server.root, UaNodeId(1, 4)), (std::vector<std::string>{"47 NS3|Numeric|10 Key"}));
    cell.shutDown();
    EXPECT_TRUE(forwardNames(server.root, UaNodeId(1, 4)).empty());
    hidden.shutDown();
}
