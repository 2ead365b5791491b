// The node manager of one namespace: its life cycle and the errors it answers, with their traces;
// references and their types; variable and method handles; deleting nodes with their children.
#include "nodemanagertestbed.h"
#include "testaddressspace.h"

#include "browsecontext.h"
#include "methodmanager.h"
#include "uamethodgeneric.h"
#include "uanodeinterfaces.h"
#include "uavariablecache.h"

#include <uatracecapture.h>

#include <optional>

using namespace testbed;

namespace
{
const char* g_uriA = "urn:test:a";

UaObjectPlain* newObject(const UaNodeId& nodeId, const char* name)
{
    return testspace::newObject(nodeId, name);
}

// A server with one node manager in namespace 2 that starts with an object ns=2;i=1 ("Thing").
struct Env
{
    Env()
        : nodeManager(g_uriA,
                      [](TestNodeManager& nm)
                      {
                          UaObjectPlain* thing = newObject(UaNodeId(1, 2), "Thing");
                          const UaStatus status = nm.addUaNode(thing);
                          if (status.isBad())
                              thing->releaseReference();
                          return status;
                      })
    {
    }
    ~Env() { nodeManager.shutDown(); }
    UaStatus start() { return nodeManager.startUp(&server.serverManager); }

    TestServer server;
    TestNodeManager nodeManager;
};

UaStatus browseOnce(NodeManager& nodeManager, const UaNodeId& start, bool withView = false)
{
    OpcUa_BrowseDescription description;
    OpcUa_BrowseDescription_Initialize(&description);
    start.copyTo(&description.NodeId);
    description.BrowseDirection = OpcUa_BrowseDirection_Both;
    description.ResultMask = OpcUa_BrowseResultMask_All;
    OpcUa_ViewDescription view;
    OpcUa_ViewDescription_Initialize(&view);
    UaNodeId(77, 2).copyTo(&view.ViewId);
    BrowseContext context(withView ? &view : nullptr, description, 0);
    UaReferenceDescriptionArray references;
    const UaStatus status = nodeManager.browse(ServiceContext(), context, references);
    OpcUa_ViewDescription_Clear(&view);
    OpcUa_BrowseDescription_Clear(&description);
    return status;
}

UaStatus translateFrom(NodeManager& nodeManager, const UaNodeId& start)
{
    std::vector<std::pair<std::string, OpcUa_UInt32>> targets;
    return testspace::translate(nodeManager, start, {{UaNodeId(35, 0), false, true, UaQualifiedName("x", 2)}},
                                targets);
}

int forwardCount(UaNode* node)
{
    int count = 0;
    for (UaReference* r = node->getUaReferenceLists()->firstForwardReference(); r; r = r->pNextForward())
        ++count;
    return count;
}

struct ErrorCase
{
    const char* name;
    std::function<UaStatus(Env&)> act;
    OpcUa_StatusCode expected;
    // Each line must be traced once at its level.
    std::vector<std::pair<int, std::string>> traces;
};
} // namespace

TEST(NodeManagerUaNode, LifeCycleAndBadInputAnswerWithTheirStatusAndTrace)
{
    const std::vector<ErrorCase> cases = {
        {"second startUp",
         [](Env& env)
         {
             EXPECT_TRUE(env.start().isGood());
             return env.start();
         },
         OpcUa_BadInternalError,
         {{6, "<-- NodeManagerUaNode::startUp [ret=OpcUa_BadInternalError] - already started"}}},
        {"null server manager",
         [](Env& env) { return env.nodeManager.startUp(nullptr); },
         OpcUa_BadInvalidArgument,
         {{6,
           "<-- NodeManagerUaNode::startUp [ret=OpcUa_BadInvalidArgument] -  passed ServerManager is NULL"}}},
        {"shutDown before startUp",
         [](Env& env) { return env.nodeManager.shutDown(); },
         OpcUa_BadInternalError,
         {{6, "--> NodeManagerUaNode::shutDown NS=0"},
          {6, "<-- NodeManagerUaNode::shutDown [ret=OpcUa_BadInternalError] - not started"}}},
        {"browse before startUp",
         [](Env& env) { return browseOnce(env.nodeManager, UaNodeId(1, 2)); },
         OpcUa_BadInternalError,
         {{1, "<-- NodeManagerUaNode::browse [ret=OpcUa_BadInternalError] - NodeManager not started"}}},
        {"translate before startUp",
         [](Env& env) { return translateFrom(env.nodeManager, UaNodeId(1, 2)); },
         OpcUa_BadInternalError,
         {{1, "<-- NodeManagerUaNode::translateBrowsePathToNodeId [ret=OpcUa_BadInternalError] - NodeManager "
              "not started"}}},
        {"browse with a view",
         [](Env& env)
         {
             env.start();
             return browseOnce(env.nodeManager, UaNodeId(1, 2), true);
         },
         OpcUa_BadViewIdUnknown,
         {}},
        {"browse of an unknown node",
         [](Env& env)
         {
             env.start();
             return browseOnce(env.nodeManager, UaNodeId(99, 2));
         },
         OpcUa_BadNodeIdUnknown,
         {{1, "Error: NodeManagerUaNode::browse [ret=OpcUa_BadNodeIdUnknown] - startingNode NS2|Numeric|99 "
              "not available"}}},
        {"translate from an unknown node",
         [](Env& env)
         {
             env.start();
             return translateFrom(env.nodeManager, UaNodeId(99, 2));
         },
         OpcUa_BadNodeIdUnknown,
         {{1, "Error: NodeManagerUaNode::translateBrowsePathToNodeId [ret=OpcUa_BadNodeIdUnknown] - "
              "startingNode NS2|Numeric|99 not available"}}},
        {"duplicate NodeId",
         [](Env& env)
         {
             env.start();
             UaObjectPlain* second = newObject(UaNodeId(1, 2), "Twin");
             const UaStatus status = env.nodeManager.addUaNode(second);
             second->releaseReference();
             auto kept = ReferenceHolder<UaNode>::adopt(env.nodeManager.getNode(UaNodeId(1, 2)));
             EXPECT_STREQ(kept->browseName().name().toUtf8(), "Thing");
             return status;
         },
         OpcUa_BadNodeIdExists,
         {{1, "Error: NodeManagerUaNode::addUaNode [ret=OpcUa_BadNodeIdExists] - NodeId = NS2|Numeric|1 "
              "already used"}}},
        {"null node",
         [](Env& env) { return env.nodeManager.addUaNode(nullptr); },
         OpcUa_BadInvalidArgument,
         {{1, "Error: NodeManagerUaNode::addUaNode [ret=OpcUa_BadInvalidArgument] - pNewNode is null"}}},
        {"addNodeAndReference rolled back",
         [](Env& env)
         {
             env.start();
             env.nodeManager.addUaNode(newObject(UaNodeId(2, 2), "Taken"));
             UaObjectPlain* again = newObject(UaNodeId(2, 2), "Again");
             const UaStatus status =
                 env.nodeManager.addNodeAndReference(UaNodeId(1, 2), again, UaNodeId(47, 0));
             EXPECT_EQ(again->getUaReferenceLists()->firstInverseReference(), nullptr);
             again->releaseReference();
             auto parent = ReferenceHolder<UaNode>::adopt(env.nodeManager.getNode(UaNodeId(1, 2)));
             EXPECT_EQ(forwardCount(parent.get()), 0);
             return status;
         },
         OpcUa_BadNodeIdExists,
         {{1, "Error: NodeManagerUaNode::addUaNode [ret=OpcUa_BadNodeIdExists] - NodeId = NS2|Numeric|2 "
              "already used"}}},
        {"addNodeAndReference below an unknown parent",
         [](Env& env)
         {
             env.start();
             UaObjectPlain* child = newObject(UaNodeId(3, 2), "Child");
             const UaStatus status =
                 env.nodeManager.addNodeAndReference(UaNodeId(99, 2), child, UaNodeId(47, 0));
             child->releaseReference();
             return status;
         },
         OpcUa_BadNodeIdUnknown,
         {{1, "Error: NodeManagerUaNode::addNodeAndReference [ret=OpcUa_BadNodeIdUnknown] - NodeId = "
              "NS2|Numeric|99"}}},
        {"reference type 44 (Aggregates)",
         [](Env& env)
         {
             env.start();
             env.nodeManager.addUaNode(newObject(UaNodeId(2, 2), "Other"));
             return env.nodeManager.addUaReference(UaNodeId(1, 2), UaNodeId(2, 2), UaNodeId(44, 0));
         },
         OpcUa_BadReferenceTypeIdInvalid,
         {{1, "Error: NodeManagerUaNode::addUaReference [ret=OpcUa_BadReferenceTypeIdInvalid] - ref type "
              "NS0|Numeric|44 not supported"}}},
        {"a foreign reference type that is no ReferenceType node",
         [](Env& env)
         {
             env.start();
             env.nodeManager.addUaNode(newObject(UaNodeId(2, 2), "Other"));
             return env.nodeManager.addUaReference(UaNodeId(1, 2), UaNodeId(2, 2), UaNodeId(1, 2));
         },
         OpcUa_BadReferenceTypeIdInvalid,
         {{1, "Error: NodeManagerUaNode::addUaReference [ret=OpcUa_BadReferenceTypeIdInvalid] - ref type "
              "NS2|Numeric|1 not supported"}}},
        {"null reference ends",
         [](Env& env) { return env.nodeManager.addUaReference(nullptr, nullptr, UaNodeId(47, 0)); },
         OpcUa_BadInvalidArgument,
         {{1,
           "Error: NodeManagerUaNode::addUaReference [ret=OpcUa_BadInvalidArgument] - pSourceNode is null"},
          {1,
           "Error: NodeManagerUaNode::addUaReference [ret=OpcUa_BadInvalidArgument] - pTargetNode is null"}}},
        {"unknown source by NodeId",
         [](Env& env)
         {
             env.start();
             return env.nodeManager.addUaReference(UaNodeId(99, 2), UaNodeId(1, 2), UaNodeId(47, 0));
         },
         OpcUa_BadNodeIdUnknown,
         {{1, "Error: NodeManagerUaNode::addUaReference [ret=OpcUa_BadNodeIdUnknown] - Source node not "
              "available NS2|Numeric|99"}}},
        {"delete a reference of an unknown source",
         [](Env& env)
         {
             env.start();
             return env.nodeManager.deleteUaReference(UaNodeId(99, 2), UaNodeId(1, 2), UaNodeId(47, 0));
         },
         OpcUa_BadNodeIdUnknown,
         {{1, "Error: NodeManagerUaNode::deleteUaReference [ret=OpcUa_BadNodeIdUnknown] - Source node not "
              "available NS2|Numeric|99"}}},
        {"delete a reference with a null target",
         [](Env& env)
         {
             env.start();
             auto thing = ReferenceHolder<UaNode>::adopt(env.nodeManager.getNode(UaNodeId(1, 2)));
             return env.nodeManager.deleteUaReference(thing->getUaReferenceLists(), nullptr, UaNodeId(47, 0));
         },
         OpcUa_BadInvalidArgument,
         {{1, "Error: NodeManagerUaNode::deleteUaReference [ret=OpcUa_BadInvalidArgument] - pTargetNode is "
              "null"}}},
        {"delete a null node",
         [](Env& env) { return env.nodeManager.deleteUaNode(nullptr, true, true, true); },
         OpcUa_BadInvalidArgument,
         {{1, "Error: NodeManagerUaNode::deleteUaNode [ret=OpcUa_BadInvalidArgument] - pNode is null"}}},
        {"delete a node without reference lists",
         [](Env& env)
         {
             testspace::ListlessNode listless;
             return env.nodeManager.deleteUaNode(&listless, true, true, true);
         },
         OpcUa_BadNoDeleteRights,
         {{1, "Error: NodeManagerUaNode::deleteUaNode [ret=OpcUa_BadNoDeleteRights] - pReferenceList not "
              "available"}}},
        {"an alias of its own namespace",
         [](Env& env)
         {
             env.start();
             return env.nodeManager.createNodeManagerAliasNode(UaNodeId(5, 2));
         },
         OpcUa_BadInternalError,
         {{1, "Error: NodeManagerUaNode::createNodeManagerAliasNode [ret=OpcUa_BadInternalError] - wrong "
              "namespace"}}},
        {"an alias of a namespace nobody serves",
         [](Env& env)
         {
             env.start();
             return env.nodeManager.createNodeManagerAliasNode(UaNodeId(1, 7));
         },
         OpcUa_BadNodeIdInvalid,
         {{1, "Error: NodeManagerUaNode::createNodeManagerAliasNode [ret=OpcUa_BadNodeIdInvalid] - No "
              "NodeManager found for NodeId = NS7|Numeric|1"}}},
        {"an alias of a node its owner does not have",
         [](Env& env)
         {
             env.start();
             return env.nodeManager.createNodeManagerAliasNode(UaNodeId(4711, 0));
         },
         OpcUa_BadNodeIdUnknown,
         {{1, "Error: NodeManagerUaNode::createNodeManagerAliasNode [ret=0x80340000] - Read config for "
              "NodeId = NS0|Numeric|4711"}}},
        {"connect an unknown starting node",
         [](Env& env)
         {
             env.start();
             return env.nodeManager.connectStartingNode(UaNodeId(99, 2), &env.server.root, true, false);
         },
         OpcUa_BadNodeIdUnknown,
         {{1, "Error: NodeManagerUaNode::connectStartingNode [ret=OpcUa_BadNodeIdUnknown] - startingNode "
              "NS2|Numeric|99 not available"}}},
        {"a start whose build fails",
         [](Env& env)
         {
             env.nodeManager.addUaNode(newObject(UaNodeId(1, 2), "Early"));
             const UaStatus status = env.start();
             EXPECT_FALSE(env.nodeManager.isStarted());
             EXPECT_EQ(env.server.root.getNodeManagerByNamespace(2), nullptr);
             EXPECT_EQ(env.nodeManager.beforeShutDownCalls, 1);
             return status;
         },
         OpcUa_BadNodeIdExists,
         {{6, "<-- NodeManagerUaNode::startUp NS=2 [ret=0x805e0000]"}}},
        {"a start and a stop",
         [](Env& env)
         {
             EXPECT_TRUE(env.start().isGood());
             EXPECT_EQ(env.server.root.getNodeManagerByNamespace(2), &env.nodeManager);
             const UaStatus status = env.nodeManager.shutDown();
             EXPECT_EQ(env.server.root.getNodeManagerByNamespace(2), nullptr);
             return status;
         },
         OpcUa_Good,
         {{6, "--> NodeManagerUaNode::startUp NsUri = urn:test:a"},
          {6, "<-- NodeManagerUaNode::startUp NS=2 [ret=0x0]"},
          {6, "--> NodeManagerUaNode::shutDown NS=2"},
          {6, "<-- NodeManagerUaNode::shutDown [ret=0x0]"}}},
    };
    for (const ErrorCase& row : cases)
    {
        SCOPED_TRACE(row.name);
        Env env;
        UaTraceCapture trace(7);
        EXPECT_EQ(row.act(env).statusCode(), row.expected);
        for (const auto& [level, text] : row.traces)
            EXPECT_EQ(trace.count(level, text), 1u) << text;
    }
}

TEST(NodeManagerUaNode, ReferenceTypesOfNamespaceZeroComeFromTheFixedList)
{
    Env env;
    ASSERT_TRUE(env.start().isGood());
    // Each accepted type links the two nodes once more; each refused one leaves them alone.
    const OpcUa_UInt32 accepted[] = {35, 36, 37, 38, 39, 40, 41, 45, 46,  47,
                                     48, 49, 50, 51, 52, 53, 54, 56, 9006};
    const OpcUa_UInt32 refused[] = {0, 31, 32, 33, 34, 42, 43, 44, 55, 57, 3065};
    env.nodeManager.addUaNode(newObject(UaNodeId(2, 2), "Other"));
    auto source = ReferenceHolder<UaNode>::adopt(env.nodeManager.getNode(UaNodeId(1, 2)));
    int expected = 0;
    for (OpcUa_UInt32 type : accepted)
    {
        EXPECT_TRUE(
            env.nodeManager.addUaReference(UaNodeId(1, 2), UaNodeId(2, 2), UaNodeId(type, 0)).isGood())
            << type;
        EXPECT_EQ(forwardCount(source.get()), ++expected) << type;
        UaReference* last = source->getUaReferenceLists()->firstForwardReference();
        while (last->pNextForward())
            last = last->pNextForward();
        EXPECT_EQ(last->referenceTypeId(), UaNodeId(type, 0));
    }
    for (OpcUa_UInt32 type : refused)
        EXPECT_EQ(
            env.nodeManager.addUaReference(UaNodeId(1, 2), UaNodeId(2, 2), UaNodeId(type, 0)).statusCode(),
            OpcUa_BadReferenceTypeIdInvalid)
            << type;
    EXPECT_EQ(forwardCount(source.get()), expected);
}

TEST(NodeManagerUaNode, AReferenceTypeOfAnotherNamespaceIsTheReferenceTypeNode)
{
    Env env;
    ASSERT_TRUE(env.start().isGood());
    // A reference type of namespace 2 whose super type is HasComponent's node in namespace 0.
    auto* hasComponentNode = new UaReferenceTypePlain(UaNodeId(47, 0), UaQualifiedName("HasComponent", 0),
                                                      UaLocalizedText("", "HasComponent"), UaLocalizedText(),
                                                      false, false, UaLocalizedText(), nullptr);
    ASSERT_TRUE(env.server.root.addUaNode(hasComponentNode).isGood());
    ASSERT_TRUE(env.nodeManager
                    .addUaNode(new UaReferenceTypePlain(UaNodeId(9, 2), UaQualifiedName("HasGear", 2),
                                                        UaLocalizedText("", "HasGear"), UaLocalizedText(),
                                                        false, false, UaLocalizedText(), hasComponentNode))
                    .isGood());
    env.nodeManager.addUaNode(newObject(UaNodeId(2, 2), "Gear"));
    ASSERT_TRUE(env.nodeManager.addUaReference(UaNodeId(1, 2), UaNodeId(2, 2), UaNodeId(9, 2)).isGood());

    auto source = ReferenceHolder<UaNode>::adopt(env.nodeManager.getNode(UaNodeId(1, 2)));
    UaReference* reference = source->getUaReferenceLists()->firstForwardReference();
    ASSERT_NE(reference, nullptr);
    EXPECT_EQ(reference->referenceTypeId(), UaNodeId(9, 2));
    EXPECT_TRUE(reference->isSubtypeOf(UaNodeId(47, 0)));
    // The type node is held by the reference: deleting it from the table keeps it alive for it.
    auto typeNode = ReferenceHolder<UaNode>::adopt(env.nodeManager.getNode(UaNodeId(9, 2)));
    const OpcUa_Int32 withoutReference = typeNode->referenceCount();
    ASSERT_TRUE(env.nodeManager.deleteUaReference(UaNodeId(1, 2), UaNodeId(2, 2), UaNodeId(9, 2)).isGood());
    EXPECT_EQ(typeNode->referenceCount(), withoutReference - 1);
}

TEST(NodeManagerUaNode, VariableHandlesNameTheIOManagerAndHoldTheNode)
{
    Env env;
    auto* cached = new UaDataVariableCache("Speed", UaNodeId(5, 2), UaVariant(1.5), 3, "en");
    env.nodeManager.addUaNode(cached);
    env.nodeManager.addUaNode(newObject(UaNodeId(6, 2), "Box"));
    const OpcUa_NodeId speed = *UaNodeId(5, 2).toOpcUaNodeId();
    const OpcUa_NodeId box = *UaNodeId(6, 2).toOpcUaNodeId();
    {
        UaTraceCapture trace(1);
        EXPECT_EQ(env.nodeManager.getVariableHandle(nullptr, 0, &speed, 13), nullptr);
        EXPECT_TRUE(
            trace.contains(1, "Error: NodeManagerUaNode::getVariableHandle - NodeManager not started"));
    }
    ASSERT_TRUE(env.start().isGood());

    // The Value of a cached variable is its own handle, made once; it counts as the variable.
    const OpcUa_Int32 before = cached->referenceCount();
    VariableHandle* first = env.nodeManager.getVariableHandle(nullptr, 0, &speed, 13);
    VariableHandle* second = env.nodeManager.getVariableHandle(nullptr, 1, &speed, 13);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first->ioManager(), static_cast<IOManager*>(&env.nodeManager));
    EXPECT_EQ(first->pUaNode(), cached);
    EXPECT_EQ(cached->referenceCount(), before + 2);
    first->releaseReference();
    second->releaseReference();
    EXPECT_EQ(cached->referenceCount(), before);

    // Any other attribute, or a node that is no variable, gets a new handle holding the node.
    struct HandleCase
    {
        const OpcUa_NodeId* nodeId;
        OpcUa_Int32 attributeId;
        UaNode* node;
    };
    auto boxNode = ReferenceHolder<UaNode>::adopt(env.nodeManager.getNode(UaNodeId(6, 2)));
    for (const HandleCase& c : {HandleCase{&speed, 4, cached}, HandleCase{&box, 13, boxNode.get()},
                                HandleCase{&box, 3, boxNode.get()}})
    {
        const OpcUa_Int32 held = c.node->referenceCount();
        VariableHandle* handle = env.nodeManager.getVariableHandle(nullptr, 0, c.nodeId, c.attributeId);
        ASSERT_NE(handle, nullptr);
        EXPECT_NE(handle, static_cast<UaVariableCache*>(cached)->getVariableHandle());
        cached->releaseReference();
        EXPECT_EQ(handle->attributeId(), c.attributeId);
        EXPECT_EQ(handle->pUaNode(), c.node);
        EXPECT_EQ(c.node->referenceCount(), held + 1);
        handle->releaseReference();
        EXPECT_EQ(c.node->referenceCount(), held);
    }
    // Unknown, foreign and missing NodeIds get none, untraced.
    const OpcUa_NodeId unknown = *UaNodeId(99, 2).toOpcUaNodeId();
    const OpcUa_NodeId foreign = *UaNodeId(5, 3).toOpcUaNodeId();
    UaTraceCapture trace(1);
    EXPECT_EQ(env.nodeManager.getVariableHandle(nullptr, 0, &unknown, 13), nullptr);
    EXPECT_EQ(env.nodeManager.getVariableHandle(nullptr, 0, &foreign, 13), nullptr);
    EXPECT_EQ(env.nodeManager.getVariableHandle(nullptr, 0, nullptr, 13), nullptr);
    EXPECT_TRUE(trace.lines().empty());
}

namespace
{
// An object whose methods a method manager of its own executes.
class MachineObject : public UaObjectPlain
{
public:
    MachineObject(const UaNodeId& nodeId, MethodManager* methodManager)
        : UaObjectPlain(nodeId, UaQualifiedName("Machine", nodeId.namespaceIndex()),
                        UaLocalizedText("", "Machine"), UaLocalizedText(), UaNodeId(58, 0), 0),
          m_methodManager(methodManager)
    {
    }
    MethodManager* getMethodManager(UaMethod*) const override { return m_methodManager; }

private:
    MethodManager* m_methodManager;
};

class StartMethodManager : public MethodManager
{
public:
    UaStatus beginCall(MethodCallCallback*, const ServiceContext&, OpcUa_UInt32, MethodHandle*,
                       const UaVariantArray&) override
    {
        return OpcUa_Good;
    }
};
} // namespace

TEST(NodeManagerUaNode, MethodHandlesResolveObjectAndMethodOrSayWhyNot)
{
    Env env;
    StartMethodManager methodManager;
    ASSERT_TRUE(env.start().isGood());
    env.nodeManager.addUaNode(new MachineObject(UaNodeId(10, 2), &methodManager));
    env.nodeManager.addUaNode(new MachineObject(UaNodeId(11, 2), nullptr));
    env.nodeManager.addUaNode(new UaMethodGeneric("Start", UaNodeId(12, 2), "en"));
    // A method of namespace 0 that the local object executes.
    ASSERT_TRUE(env.server.root.addUaNode(new UaMethodGeneric("Reset", UaNodeId(3000, 0), "en")).isGood());

    struct MethodCase
    {
        const char* name;
        std::optional<UaNodeId> object;
        UaNodeId method;
        OpcUa_StatusCode expected;
        std::string trace;
    };
    const std::vector<MethodCase> cases = {
        {"local method", UaNodeId(10, 2), UaNodeId(12, 2), OpcUa_Good, ""},
        {"method of namespace 0", UaNodeId(10, 2), UaNodeId(3000, 0), OpcUa_Good, ""},
        {"null object", std::nullopt, UaNodeId(12, 2), OpcUa_BadNodeIdUnknown,
         "Error: NodeManagerUaNode::getMethodHandle [ret=OpcUa_BadNodeIdUnknown] - object NodeId is null"},
        {"object of another namespace", UaNodeId(10, 0), UaNodeId(12, 2), OpcUa_BadNodeIdUnknown,
         "Error: NodeManagerUaNode::getMethodHandle [ret=OpcUa_BadNodeIdUnknown] - object NodeId "
         "NS0|Numeric|10 wrong namespace"},
        {"unknown object", UaNodeId(99, 2), UaNodeId(12, 2), OpcUa_BadNodeIdUnknown,
         "Error: NodeManagerUaNode::getMethodHandle [ret=OpcUa_BadNodeIdUnknown] - object NodeId "
         "NS2|Numeric|99 is unknown"},
        {"unknown method", UaNodeId(10, 2), UaNodeId(98, 2), OpcUa_BadMethodInvalid,
         "Error: NodeManagerUaNode::getMethodHandle [ret=OpcUa_BadMethodInvalid] - method NodeId "
         "NS2|Numeric|98 is unknown"},
        {"object that is a method", UaNodeId(12, 2), UaNodeId(12, 2), OpcUa_BadNodeIdUnknown,
         "Error: NodeManagerUaNode::getMethodHandle [ret=OpcUa_BadNodeIdUnknown] - object NodeId "
         "NS2|Numeric|12 is not Object node class"},
        {"method that is an object", UaNodeId(10, 2), UaNodeId(11, 2), OpcUa_BadMethodInvalid,
         "Error: NodeManagerUaNode::getMethodHandle [ret=OpcUa_BadMethodInvalid] - method NodeId "
         "NS2|Numeric|11 is not Method node class"},
        {"object without method manager", UaNodeId(11, 2), UaNodeId(12, 2), OpcUa_BadMethodInvalid,
         "Error: NodeManagerUaNode::getMethodHandle [ret=OpcUa_BadMethodInvalid] - object returned nor "
         "method handel for method NS2|Numeric|12"},
    };
    for (const MethodCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        UaTraceCapture trace(1);
        UaStatus result = OpcUa_BadUnexpectedError;
        MethodHandle* handle = env.nodeManager.getMethodHandle(
            nullptr, c.object ? c.object->toOpcUaNodeId() : nullptr, c.method.toOpcUaNodeId(), result);
        EXPECT_EQ(result.statusCode(), c.expected);
        EXPECT_EQ(handle != nullptr, c.expected == OpcUa_Good);
        if (!c.trace.empty())
        {
            EXPECT_EQ(trace.count(1, c.trace), 1u);
        }
        if (!handle)
            continue;
        // The handle counts both nodes and gives both back.
        UaNode* object = handle->pObject();
        UaNode* method = handle->pMethod();
        EXPECT_EQ(object->nodeId(), *c.object);
        EXPECT_EQ(method->nodeId(), c.method);
        EXPECT_EQ(handle->methodManager(), &methodManager);
        const OpcUa_Int32 objectHeld = object->referenceCount();
        const OpcUa_Int32 methodHeld = method->referenceCount();
        handle->releaseReference();
        EXPECT_EQ(object->referenceCount(), objectHeld - 1);
        EXPECT_EQ(method->referenceCount(), methodHeld - 1);
    }
}

TEST(NodeManagerUaNode, DeletingANodeTakesItsChildrenThatHaveNoOtherParent)
{
    Env env;
    ASSERT_TRUE(env.start().isGood());
    // 1 Thing -HasComponent-> 20 Motor -HasProperty-> 21 Speed; Motor -Organizes-> 22 Manual;
    // 23 Spare is a component of Motor and of 24 Store.
    NodeManagerUaNode& nm = env.nodeManager;
    ASSERT_TRUE(nm.addNodeAndReference(UaNodeId(1, 2), newObject(UaNodeId(20, 2), "Motor"), UaNodeId(47, 0))
                    .isGood());
    ASSERT_TRUE(nm.addNodeAndReference(UaNodeId(20, 2),
                                       new UaPropertyCache("Speed", UaNodeId(21, 2), UaVariant(0.0), 1, "en"),
                                       UaNodeId(46, 0))
                    .isGood());
    ASSERT_TRUE(nm.addNodeAndReference(UaNodeId(20, 2), newObject(UaNodeId(22, 2), "Manual"), UaNodeId(35, 0))
                    .isGood());
    ASSERT_TRUE(nm.addNodeAndReference(UaNodeId(1, 2), newObject(UaNodeId(24, 2), "Store"), UaNodeId(35, 0))
                    .isGood());
    ASSERT_TRUE(nm.addNodeAndReference(UaNodeId(20, 2), newObject(UaNodeId(23, 2), "Spare"), UaNodeId(47, 0))
                    .isGood());
    ASSERT_TRUE(nm.addUaReference(UaNodeId(24, 2), UaNodeId(23, 2), UaNodeId(47, 0)).isGood());

    auto motor = ReferenceHolder<UaNode>::adopt(nm.getNode(UaNodeId(20, 2)));
    auto speed = ReferenceHolder<UaNode>::adopt(nm.getNode(UaNodeId(21, 2)));
    ASSERT_TRUE(nm.deleteUaNode(motor.get(), true, true, true).isGood());

    const std::vector<std::pair<OpcUa_UInt32, bool>> remaining = {{1, true},  {20, false}, {21, false},
                                                                  {22, true}, {23, true},  {24, true}};
    for (const auto& [id, present] : remaining)
    {
        auto node = ReferenceHolder<UaNode>::adopt(nm.getNode(UaNodeId(id, 2)));
        EXPECT_EQ(node.get() != nullptr, present) << id;
    }
    // The parent lost its reference; the deleted child left its parent's list and holds none.
    auto thing = ReferenceHolder<UaNode>::adopt(nm.getNode(UaNodeId(1, 2)));
    for (UaReference* r = thing->getUaReferenceLists()->firstForwardReference(); r; r = r->pNextForward())
        EXPECT_NE(r->pTargetNode(), motor.get());
    EXPECT_EQ(speed->getUaReferenceLists()->firstInverseReference(), nullptr);
    // The caller's references are all that is left of the deleted nodes.
    EXPECT_EQ(motor->referenceCount(), 1);
    EXPECT_EQ(speed->referenceCount(), 1);
}

namespace
{
// Lets nothing named "Secret" be browsed and hides references to "Hidden" nodes.
class SecretFilter : public UaBrowseFilter
{
public:
    bool isBrowsable(Session*, const BrowseContext&, UaNode* startingNode) override
    {
        return std::string(startingNode->browseName().name().toUtf8()) != "Secret";
    }
    bool isReferenceVisible(Session*, const UaNodeId&, UaNode* farNode) override
    {
        return !farNode || std::string(farNode->browseName().name().toUtf8()) != "Hidden";
    }
};
} // namespace

TEST(NodeManagerUaNode, ABrowseFilterKeepsNodesAndReferencesFromTheSession)
{
    Env env;
    ASSERT_TRUE(env.start().isGood());
    SecretFilter filter;
    env.nodeManager.setBrowseFilter(&filter);
    NodeManagerUaNode& nm = env.nodeManager;
    ASSERT_TRUE(nm.addNodeAndReference(UaNodeId(1, 2), newObject(UaNodeId(2, 2), "Secret"), UaNodeId(47, 0))
                    .isGood());
    ASSERT_TRUE(nm.addNodeAndReference(UaNodeId(1, 2), newObject(UaNodeId(3, 2), "Hidden"), UaNodeId(47, 0))
                    .isGood());
    ASSERT_TRUE(nm.addNodeAndReference(UaNodeId(2, 2), newObject(UaNodeId(4, 2), "Inside"), UaNodeId(47, 0))
                    .isGood());

    testspace::Browse request(UaNodeId(1, 2));
    request.direction = OpcUa_BrowseDirection_Forward;
    request.referenceType = UaNodeId(47, 0);
    std::vector<std::string> seen;
    for (const testspace::Ref& ref : testspace::BrowseRun(env.server.root, request).all())
        seen.push_back(ref.browseName);
    EXPECT_EQ(seen, std::vector<std::string>{"Secret"});
    // The secret node itself browses as empty, and successfully.
    testspace::BrowseRun secret(env.server.root, testspace::Browse(UaNodeId(2, 2)));
    std::vector<testspace::Ref> refs;
    EXPECT_TRUE(secret.page(refs).isGood());
    EXPECT_TRUE(refs.empty());
    env.nodeManager.setBrowseFilter(nullptr);
    EXPECT_EQ(testspace::BrowseRun(env.server.root, testspace::Browse(UaNodeId(2, 2))).all().size(), 3u);
}
