// Two namespaces that keep references of each other's nodes, browsed and translated from several
// threads while their nodes are deleted and added again between the pages of a browse.
#include "testaddressspace.h"

#include <atomic>
#include <thread>

using namespace testspace;

namespace
{
constexpr int g_children = 24;
constexpr int g_foreignChildren = 12;

UaNodeId childId(const char* owner, int i, OpcUa_UInt16 ns)
{
    return UaNodeId(UaString((std::string(owner) + "-" + std::to_string(i)).c_str()), ns);
}

class Mesh
{
public:
    Mesh()
    {
        m_reader.addNodeManager(m_ns0, 0);
        m_reader.addNodeManager(m_a, 2);
        m_reader.addNodeManager(m_b, 3);
        m_ns0.addUaNode(new UaObjectTypeSimple("BaseObjectType", UaNodeId(58, 0), "en", false));
        m_a.addUaNode(newObject(m_xa, "XA"));
        m_b.addUaNode(newObject(m_xb, "XB"));
        // Each namespace keeps references of the other's node, so a browse of either calls the other.
        m_b.addAlias(m_xa, "XA", m_a);
        m_a.addAlias(m_xb, "XB", m_b);
        for (int i = 0; i < g_children; ++i)
        {
            addChild(m_a, m_xa, childId("a", i, 2));
            addChild(m_b, m_xb, childId("b", i, 3));
        }
        for (int i = 0; i < g_foreignChildren; ++i)
        {
            addChild(m_b, m_xa, childId("ba", i, 3));
            addChild(m_a, m_xb, childId("ab", i, 2));
        }
    }

    static void addChild(TestNodeManager& nodeManager, const UaNodeId& parent, const UaNodeId& id)
    {
        nodeManager.addUaNode(newObject(id, id.toString().toUtf8()));
        nodeManager.addUaReference(parent, id, UaNodeId(47, 0));
    }

    // Deletes a child and adds a new node under its NodeId again.
    static void replaceChild(TestNodeManager& nodeManager, const UaNodeId& parent, const UaNodeId& id)
    {
        ReferenceHolder<UaNode> node = ReferenceHolder<UaNode>::adopt(nodeManager.getNode(id));
        if (node)
            nodeManager.deleteUaNode(node.get(), true, true, false);
        node.reset();
        addChild(nodeManager, parent, id);
    }

    TestNodeManager m_ns0{0};
    TestNodeManager m_a{2};
    TestNodeManager m_b{3};
    TestReader m_reader;
    const UaNodeId m_xa{UaString("XA"), 2};
    const UaNodeId m_xb{UaString("XB"), 3};
};

TEST(BrowseConcurrency, NamespacesBrowsingIntoEachOtherWhileNodesComeAndGo)
{
    Mesh mesh;
    std::atomic<bool> stop{false};
    std::atomic<int> badPages{0};
    std::atomic<int> emptyTargets{0};
    std::atomic<int> browses{0};

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back(
            [&, t]
            {
                for (int round = 0; round < 60; ++round)
                {
                    const bool fromA = (round + t) % 2 == 0;
                    Browse request;
                    request.node = fromA ? mesh.m_xa : mesh.m_xb;
                    request.maxReferences = 5;
                    BrowseRun run(fromA ? static_cast<NodeManager&>(mesh.m_a) : mesh.m_b, request);
                    std::vector<Ref> page;
                    do
                    {
                        if (!run.page(page).isGood())
                            ++badPages;
                        for (const Ref& ref : page)
                            if (ref.target.empty() && ref.type != 40)
                                ++emptyTargets;
                    } while (run.hasMore());
                    ++browses;
                    std::vector<std::pair<std::string, OpcUa_UInt32>> targets;
                    translate(fromA ? static_cast<NodeManager&>(mesh.m_a) : mesh.m_b, request.node,
                              {PathElement{UaNodeId(47, 0), false, true,
                                           UaQualifiedName(fromA ? "ba-3" : "ab-3", fromA ? 3 : 2)}},
                              targets);
                }
            });
    for (int t = 0; t < 2; ++t)
        threads.emplace_back(
            [&, t]
            {
                for (int i = 0; !stop; i = (i + 1) % g_foreignChildren)
                {
                    if (t == 0)
                    {
                        Mesh::replaceChild(mesh.m_a, mesh.m_xa, childId("a", i, 2));
                        Mesh::replaceChild(mesh.m_b, mesh.m_xa, childId("ba", i, 3));
                    }
                    else
                    {
                        Mesh::replaceChild(mesh.m_b, mesh.m_xb, childId("b", i, 3));
                        Mesh::replaceChild(mesh.m_a, mesh.m_xb, childId("ab", i, 2));
                    }
                    std::this_thread::yield();
                }
            });
    for (int t = 0; t < 4; ++t)
        threads[t].join();
    stop = true;
    for (std::size_t t = 4; t < threads.size(); ++t)
        threads[t].join();

    EXPECT_EQ(browses, 240);
    EXPECT_EQ(badPages, 0);
    EXPECT_EQ(emptyTargets, 0);

    // At rest every reference is there again, on both sides.
    for (bool fromA : {true, false})
    {
        Browse request;
        request.node = fromA ? mesh.m_xa : mesh.m_xb;
        request.direction = OpcUa_BrowseDirection_Forward;
        const std::vector<Ref> refs =
            BrowseRun(fromA ? static_cast<NodeManager&>(mesh.m_a) : mesh.m_b, request).all();
        EXPECT_EQ(refs.size(), static_cast<std::size_t>(1 + g_children + g_foreignChildren));
    }
}
} // namespace
