// Adding and deleting references on both sides, deleting children, and what a node's end does to
// its neighbours' lists.
#include "testaddressspace.h"

using namespace testspace;

namespace
{
std::string nameOf(UaNode* node)
{
    return node ? node->browseName().name().toUtf8() : "-";
}

// The forward list as "type:target" entries.
std::vector<std::string> forwardList(UaNode* node)
{
    std::vector<std::string> entries;
    for (UaReference* r = node->getUaReferenceLists()->firstForwardReference(); r; r = r->pNextForward())
        entries.push_back(std::to_string(r->referenceTypeId().identifierNumeric()) + ":" +
                          nameOf(r->pTargetNode()));
    return entries;
}

// The inverse list as "type:source" entries.
std::vector<std::string> inverseList(UaNode* node)
{
    std::vector<std::string> entries;
    for (UaReference* r = node->getUaReferenceLists()->firstInverseReference(); r; r = r->pNextInverse())
        entries.push_back(std::to_string(r->referenceTypeId().identifierNumeric()) + ":" +
                          nameOf(r->pSourceNode()));
    return entries;
}

void link(UaNode* source, UaNode* target, OpcUa_UInt32 type)
{
    UaReference* reference = createStandardReference(type, source, target);
    source->getUaReferenceLists()->addForwardReference(reference);
    target->getUaReferenceLists()->addInverseReference(reference);
}

using Entries = std::vector<std::string>;

struct DeleteCase
{
    const char* what;
    bool byNodeId;
    OpcUa_UInt32 type;
    bool deleteInverse;
    OpcUa_StatusCode status;
    Entries sourceForward;
    Entries targetInverse;
};

TEST(ReferenceLists, DeletingOneReferenceWithAndWithoutItsInverseSide)
{
    const DeleteCase cases[] = {
        {"by node, both sides", false, 47, true, OpcUa_Good, {"46:T", "47:T"}, {"47:S", "46:S"}},
        {"by NodeId, both sides", true, 47, true, OpcUa_Good, {"46:T", "47:T"}, {"47:S", "46:S"}},
        {"by node, forward side only",
         false,
         47,
         false,
         OpcUa_Good,
         {"46:T", "47:T"},
         {"47:S", "46:S", "47:-"}},
        {"by NodeId, forward side only",
         true,
         46,
         false,
         OpcUa_Good,
         {"47:T", "47:T"},
         {"47:S", "46:-", "47:S"}},
        {"a type it does not have",
         false,
         35,
         true,
         OpcUa_BadTargetNodeIdInvalid,
         {"47:T", "46:T", "47:T"},
         {"47:S", "46:S", "47:S"}},
        {"a type it does not have, by NodeId",
         true,
         35,
         false,
         OpcUa_BadTargetNodeIdInvalid,
         {"47:T", "46:T", "47:T"},
         {"47:S", "46:S", "47:S"}},
    };
    for (const DeleteCase& c : cases)
    {
        SCOPED_TRACE(c.what);
        auto s = ReferenceHolder<UaNode>::adopt(newObject(UaNodeId(UaString("S"), 2), "S"));
        auto t = ReferenceHolder<UaNode>::adopt(newObject(UaNodeId(UaString("T"), 2), "T"));
        // Two HasComponent references to one target: the first one goes.
        link(s.get(), t.get(), 47);
        link(s.get(), t.get(), 46);
        link(s.get(), t.get(), 47);
        UaReferenceLists* lists = s->getUaReferenceLists();
        const UaStatus status =
            c.byNodeId ? lists->deleteReference(t->nodeId(), UaNodeId(c.type, 0), c.deleteInverse)
                       : lists->deleteReference(t.get(), UaNodeId(c.type, 0), c.deleteInverse);
        EXPECT_EQ(status.code(), c.status);
        EXPECT_EQ(forwardList(s.get()), c.sourceForward);
        // A reference left on the inverse side points at neither node; its type stays.
        EXPECT_EQ(inverseList(t.get()), c.targetInverse);
        std::size_t detached = 0;
        for (UaReference* r = t->getUaReferenceLists()->firstInverseReference(); r; r = r->pNextInverse())
            detached += r->pSourceNode() == nullptr && r->pTargetNode() == nullptr;
        EXPECT_EQ(detached, c.status == OpcUa_Good && !c.deleteInverse ? 1u : 0u);
        // Appending still works after the tail may have moved.
        link(s.get(), t.get(), 35);
        EXPECT_EQ(forwardList(s.get()).back(), "35:T");
    }
}

TEST(ReferenceLists, ATargetWithoutListsOrWithoutPointer)
{
    auto s = ReferenceHolder<UaNode>::adopt(newObject(UaNodeId(1, 2), "S"));
    auto* listless = new ListlessNode;
    UaReference* toListless = createStandardReference(47, s.get(), listless);
    s->getUaReferenceLists()->addForwardReference(toListless);
    EXPECT_EQ(s->getUaReferenceLists()->deleteReference(listless, UaNodeId(47, 0), true).code(),
              static_cast<OpcUa_StatusCode>(OpcUa_BadTargetNodeIdInvalid));
    EXPECT_EQ(forwardList(s.get()), Entries{"47:Listless"}) << "the forward list stays as it was";
    EXPECT_TRUE(s->getUaReferenceLists()->deleteReference(listless, UaNodeId(47, 0), false).isGood());
    EXPECT_TRUE(forwardList(s.get()).empty());

    // A reference by NodeId has no inverse side to take it out of.
    s->getUaReferenceLists()->addForwardReference(
        new UaReferenceByNodeId(s.get(), UaNodeId(5, 3), UaNodeId(47, 0), OpcUa_NodeClass_Variable, nullptr));
    EXPECT_EQ(s->getUaReferenceLists()->deleteReference(UaNodeId(6, 3), UaNodeId(47, 0), true).code(),
              static_cast<OpcUa_StatusCode>(OpcUa_BadTargetNodeIdInvalid));
    EXPECT_TRUE(s->getUaReferenceLists()->deleteReference(UaNodeId(5, 3), UaNodeId(47, 0), true).isGood());
    EXPECT_TRUE(forwardList(s.get()).empty());
    listless->releaseReference();
}

TEST(ReferenceLists, EmptyingAListUnlinksTheVeryObjectsEvenWhenDuplicated)
{
    for (bool inSource : {true, false})
    {
        SCOPED_TRACE(inSource);
        auto s = ReferenceHolder<UaNode>::adopt(newObject(UaNodeId(1, 2), "S"));
        auto t = ReferenceHolder<UaNode>::adopt(newObject(UaNodeId(2, 2), "T"));
        auto u = ReferenceHolder<UaNode>::adopt(newObject(UaNodeId(3, 2), "U"));
        link(s.get(), t.get(), 47);
        link(s.get(), u.get(), 47);
        link(s.get(), t.get(), 47);
        link(u.get(), t.get(), 46);
        EXPECT_TRUE(t->getUaReferenceLists()->deleteAllInverseReferences(inSource).isGood());
        EXPECT_TRUE(inverseList(t.get()).empty());
        if (inSource)
        {
            EXPECT_EQ(forwardList(s.get()), Entries{"47:U"});
            EXPECT_TRUE(forwardList(u.get()).empty());
        }
        else
        {
            EXPECT_EQ(forwardList(s.get()), (Entries{"47:-", "47:U", "47:-"}));
            EXPECT_EQ(forwardList(u.get()), Entries{"46:-"});
        }
        // The lists still walk and grow.
        link(s.get(), t.get(), 35);
        EXPECT_EQ(forwardList(s.get()).back(), "35:T");
    }
}

TEST(ReferenceLists, EmptyingTheForwardListWithAndWithoutTheTargets)
{
    for (bool inTarget : {true, false})
    {
        SCOPED_TRACE(inTarget);
        auto s = ReferenceHolder<UaNode>::adopt(newObject(UaNodeId(1, 2), "S"));
        auto t = ReferenceHolder<UaNode>::adopt(newObject(UaNodeId(2, 2), "T"));
        link(s.get(), t.get(), 47);
        link(s.get(), t.get(), 46);
        link(t.get(), s.get(), 35);
        s->getUaReferenceLists()->addForwardReference(new UaReferenceByNodeId(
            s.get(), UaNodeId(5, 3), UaNodeId(47, 0), OpcUa_NodeClass_Variable, nullptr));
        s->getUaReferenceLists()->addForwardReference(new UaReferenceToNodeManager(nullptr));
        EXPECT_TRUE(s->getUaReferenceLists()->deleteAllForwardReferences(inTarget).isGood());
        EXPECT_TRUE(forwardList(s.get()).empty());
        EXPECT_EQ(inverseList(t.get()), inTarget ? Entries{} : (Entries{"46:-", "47:-"}));
        EXPECT_EQ(inverseList(s.get()), Entries{"35:T"});
        link(s.get(), t.get(), 47);
        EXPECT_EQ(forwardList(s.get()), Entries{"47:T"});
    }
}

TEST(ReferenceLists, MarkersOfOneNodeManagerGoFromBothLists)
{
    auto s = ReferenceHolder<UaNode>::adopt(newObject(UaNodeId(1, 2), "S"));
    auto t = ReferenceHolder<UaNode>::adopt(newObject(UaNodeId(2, 2), "T"));
    TestNodeManager first(3);
    TestNodeManager second(4);
    UaReferenceLists* lists = s->getUaReferenceLists();
    lists->addForwardReference(new UaReferenceToNodeManager(&first));
    link(s.get(), t.get(), 47);
    lists->addForwardReference(new UaReferenceToNodeManager(&second));
    lists->addForwardReference(new UaReferenceToNodeManager(&first));
    lists->addInverseReference(new UaReferenceToNodeManager(&first));
    lists->addInverseReference(new UaReferenceToNodeManager(&second));
    EXPECT_TRUE(lists->deleteCrossReferences(&first).isGood());
    EXPECT_EQ(forwardList(s.get()), (Entries{"47:T", "0:-"}));
    EXPECT_EQ(inverseList(s.get()), Entries{"0:-"});
    EXPECT_EQ(lists->deleteCrossReferences(&first).code(),
              static_cast<OpcUa_StatusCode>(OpcUa_BadTargetNodeIdInvalid));
    EXPECT_TRUE(lists->deleteCrossReferences(&second).isGood());
    EXPECT_EQ(forwardList(s.get()), Entries{"47:T"});
    link(s.get(), t.get(), 46);
    EXPECT_EQ(forwardList(s.get()), (Entries{"47:T", "46:T"})) << "the tail moved back";
}

TEST(ReferenceLists, SingleReferenceOperations)
{
    auto s = ReferenceHolder<UaNode>::adopt(newObject(UaNodeId(1, 2), "S"));
    auto t = ReferenceHolder<UaNode>::adopt(newObject(UaNodeId(2, 2), "T"));
    auto u = ReferenceHolder<UaNode>::adopt(newObject(UaNodeId(3, 2), "U"));
    link(s.get(), t.get(), 47);
    link(s.get(), u.get(), 46);
    UaReferenceLists* lists = s->getUaReferenceLists();
    EXPECT_EQ(lists->findTargetByBrowseName(UaQualifiedName("U", 2)), u.get());
    EXPECT_EQ(lists->findTargetByBrowseName(UaQualifiedName("U", 3)), nullptr);

    UaReference* toU = lists->firstForwardReference()->pNextForward();
    EXPECT_EQ(u->getUaReferenceLists()->removeInverseReference(lists->firstForwardReference()).code(),
              static_cast<OpcUa_StatusCode>(OpcUa_BadSourceNodeIdInvalid));
    EXPECT_TRUE(u->getUaReferenceLists()->unlinkInverseReference(toU));
    EXPECT_EQ(toU->pSourceNode(), nullptr);
    EXPECT_FALSE(u->getUaReferenceLists()->unlinkInverseReference(toU));
    EXPECT_TRUE(lists->unlinkForwardReference(toU));
    EXPECT_FALSE(lists->unlinkForwardReference(toU));
    delete toU;
    link(s.get(), u.get(), 35);
    EXPECT_EQ(forwardList(s.get()), (Entries{"47:T", "35:U"}));
}

TEST(ReferenceLists, ANodesEndLeavesItsNeighboursListsSound)
{
    auto s = ReferenceHolder<UaNode>::adopt(newObject(UaNodeId(1, 2), "S"));
    auto t = ReferenceHolder<UaNode>::adopt(newObject(UaNodeId(2, 2), "T"));
    link(s.get(), t.get(), 47);
    link(t.get(), s.get(), 35);
    link(t.get(), t.get(), 45);
    link(s.get(), t.get(), 46);
    const OpcUa_Int32 nodes = UaNodeCounters::uaNode;
    t.reset();
    EXPECT_EQ(UaNodeCounters::uaNode, nodes - 1);
    EXPECT_EQ(forwardList(s.get()), (Entries{"47:-", "46:-"}));
    EXPECT_TRUE(inverseList(s.get()).empty());
    EXPECT_TRUE(s->getUaReferenceLists()->deleteAllForwardReferences(true).isGood());
    EXPECT_TRUE(forwardList(s.get()).empty());
}

// One namespace whose nodes are named by their string NodeId.
class Namespace
{
public:
    void add(const char* name, const char* parent = nullptr, OpcUa_UInt32 type = 47)
    {
        ASSERT_TRUE(m_nodes.addUaNode(newObject(id(name), name)).isGood());
        if (parent)
            link(parent, name, type);
    }
    void link(const char* source, const char* target, OpcUa_UInt32 type = 47)
    {
        ASSERT_TRUE(m_nodes.addUaReference(id(source), id(target), UaNodeId(type, 0)).isGood());
    }
    bool exists(const char* name)
    {
        return ReferenceHolder<UaNode>::adopt(m_nodes.getNode(id(name))).get() != nullptr;
    }
    UaStatus deleteWithChildren(const char* name)
    {
        ReferenceHolder<UaNode> node = ReferenceHolder<UaNode>::adopt(m_nodes.getNode(id(name)));
        return m_nodes.deleteUaNode(node.get(), true, true, true);
    }
    Entries inverse(const char* name)
    {
        return inverseList(ReferenceHolder<UaNode>::adopt(m_nodes.getNode(id(name))).get());
    }

private:
    static UaNodeId id(const char* name) { return UaNodeId(UaString(name), 2); }
    TestNodeManager m_nodes{2};
};

TEST(DeleteChildren, ChildrenGoUnlessAnotherParentKeepsThem)
{
    // Whichever parent came first, deleting one keeps the shared child.
    for (bool deleteFirstParent : {true, false})
    {
        SCOPED_TRACE(deleteFirstParent);
        Namespace space;
        space.add("First");
        space.add("Second");
        space.add("Shared", "First");
        space.link("Second", "Shared", 46);
        space.add("Own", deleteFirstParent ? "First" : "Second");
        space.add("Grandchild", "Own", 46);
        space.add("Organized", deleteFirstParent ? "First" : "Second", 35);
        space.add("Ordered", deleteFirstParent ? "First" : "Second", 49);
        ASSERT_TRUE(space.deleteWithChildren(deleteFirstParent ? "First" : "Second").isGood());
        EXPECT_FALSE(space.exists(deleteFirstParent ? "First" : "Second"));
        EXPECT_TRUE(space.exists("Shared"));
        EXPECT_EQ(space.inverse("Shared"), Entries{deleteFirstParent ? "46:Second" : "47:First"});
        EXPECT_FALSE(space.exists("Own"));
        EXPECT_FALSE(space.exists("Grandchild")) << "children of children go too";
        EXPECT_FALSE(space.exists("Ordered")) << "HasOrderedComponent is a HasChild";
        EXPECT_TRUE(space.exists("Organized")) << "Organizes is no HasChild";
        EXPECT_TRUE(space.inverse("Organized").empty());
    }
}

TEST(DeleteChildren, TwoReferencesFromTheOneParentKeepNothing)
{
    Namespace space;
    space.add("Parent");
    space.add("Child", "Parent", 47);
    space.link("Parent", "Child", 46);
    ASSERT_TRUE(space.deleteWithChildren("Parent").isGood());
    EXPECT_FALSE(space.exists("Child"));
}
} // namespace
