// The root node manager's register of node managers and its dispatch by namespace index.
#include "servertestbed.h"

#include <methodmanager.h>
#include <nodemanagerwithevents.h>
#include <uavariablecache.h>
#include <uaobjectserver.h>
#include <uatracecapture.h>

#include <memory>
#include <string>
#include <thread>

using namespace servertest;

namespace
{
UaString uriOf(int n)
{
    return UaString(("urn:test:namespace:" + std::to_string(n)).c_str());
}

std::vector<std::string> namespaceArray(NodeManagerRoot& root)
{
    UaStringArray array;
    EXPECT_TRUE(root.getServerObject()->getNamespaceArray(array).isGood());
    std::vector<std::string> uris;
    for (OpcUa_UInt32 i = 0; i < array.length(); ++i)
        uris.push_back(UaString(&array[i]).toUtf8());
    return uris;
}
} // namespace

TEST(NodeManagerRoot, RegistrationGivesIndexesFromTwoAndTheSameIndexBackToTheSameUri)
{
    StartedServer server;
    NodeManagerRoot& root = server.root();
    EXPECT_EQ(root.getNodeManagerByNamespace(0), &root);
    EXPECT_EQ(root.getNodeManagerByNamespace(1),
              static_cast<NodeManager*>(server.serverManager.getNodeManagerNS1()));
    EXPECT_EQ(root.getNodeManagerByNamespace(2), nullptr);
    EXPECT_EQ(namespaceArray(root),
              (std::vector<std::string>{"http://opcfoundation.org/UA/", "urn:test:server"}));

    RecordingNodeManager a, b, c;
    OpcUa_UInt16 index = 0;
    ASSERT_TRUE(root.addNodeManager(&a, "urn:a", index).isGood());
    EXPECT_EQ(index, 2);
    ASSERT_TRUE(root.addNodeManager(&b, "urn:b", index).isGood());
    EXPECT_EQ(index, 3);

    UaTraceCapture trace(6);
    EXPECT_TRUE(root.removeNodeManager(2).isGood());
    EXPECT_EQ(root.getNodeManagerByNamespace(2), nullptr);
    EXPECT_EQ(root.namespaceUri(2), UaString());
    OpcUa_UInt16 found = 0;
    EXPECT_FALSE(root.namespaceIndexOf("urn:a", found));

    ASSERT_TRUE(root.addNodeManager(&c, "urn:a", index).isGood());
    EXPECT_EQ(index, 2);
    EXPECT_TRUE(
        trace.contains(6, "<-- NodeManagerRoot::addNodeManager [ret=Good] - reused old slot index = 2"));
    EXPECT_EQ(root.getNodeManagerByNamespace(2), &c);
    // The reused slot has its URI back in both maps.
    EXPECT_EQ(root.namespaceUri(2), UaString("urn:a"));
    ASSERT_TRUE(root.namespaceIndexOf("urn:a", found));
    EXPECT_EQ(found, 2);

    // A URI registered with a live node manager is a new namespace.
    ASSERT_TRUE(root.addNodeManager(&a, "urn:b", index).isGood());
    EXPECT_EQ(index, 4);
    EXPECT_EQ(root.namespaceCount(), 4);
    EXPECT_EQ(namespaceArray(root).size(), 5u);

    trace.clear();
    for (OpcUa_UInt16 bad : {OpcUa_UInt16(0), OpcUa_UInt16(5)})
        EXPECT_EQ(root.removeNodeManager(bad).statusCode(), OpcUa_BadInvalidArgument);
    EXPECT_EQ(trace.count(6, "<-- NodeManagerRoot::removeNodeManager [ret=OpcUa_BadInternalError] - invalid "
                             "namespace index"),
              2u);
    for (OpcUa_UInt16 i : {OpcUa_UInt16(2), OpcUa_UInt16(3), OpcUa_UInt16(4)})
        root.removeNodeManager(i);
}

TEST(NodeManagerRoot, TheNinetyEighthFillsTheTableAndTheNextGrowsItPastTheRegisteredNodes)
{
    StartedServer server;
    NodeManagerRoot& root = server.root();
    std::vector<std::unique_ptr<RecordingNodeManager>> managers;
    OpcUa_UInt16 index = 0;
    for (int n = 2; n <= 98; ++n)
    {
        managers.push_back(std::make_unique<RecordingNodeManager>());
        ASSERT_TRUE(root.addNodeManager(managers.back().get(), uriOf(n), index).isGood());
        ASSERT_EQ(index, n);
    }
    managers.push_back(std::make_unique<RecordingNodeManager>());
    ASSERT_TRUE(root.addNodeManager(managers.back().get(), uriOf(100), index).isGood());
    EXPECT_EQ(index, 100);
    const std::vector<std::string> uris = namespaceArray(root);
    ASSERT_EQ(uris.size(), 101u);
    EXPECT_EQ(uris[99], "RegisteredNodes");
    EXPECT_EQ(uris[100], uriOf(100).toUtf8());
    EXPECT_EQ(root.getNodeManagerByNamespace(99), nullptr);
    EXPECT_EQ(root.namespaceUri(99), UaString("RegisteredNodes"));
    EXPECT_EQ(root.getNodeManagerByNamespace(98), managers[96].get());
    EXPECT_EQ(root.getNodeManagerByNamespace(100), managers.back().get());

    // Shutting down refuses every further registration.
    root.beforeShutDown();
    for (const auto& manager : managers)
        EXPECT_EQ(manager->shutDowns.load(), 1);
    UaTraceCapture trace(6);
    RecordingNodeManager late;
    EXPECT_EQ(root.addNodeManager(&late, "urn:late", index).statusCode(), OpcUa_BadInvalidState);
    EXPECT_EQ(index, 0);
    EXPECT_TRUE(trace.contains(
        6, "<-- NodeManagerRoot::addNodeManager [ret=OpcUa_BadInvalidState] - server is shutting down"));
    for (OpcUa_UInt16 i = 2; i <= root.namespaceCount(); ++i)
        root.removeNodeManager(i);
}

TEST(NodeManagerRoot, ReadersDispatchWhileTheTableGrowsAndShrinks)
{
    StartedServer server;
    NodeManagerRoot& root = server.root();
    std::vector<std::unique_ptr<RecordingNodeManager>> managers(150);
    for (auto& manager : managers)
        manager = std::make_unique<RecordingNodeManager>();
    std::atomic<bool> done{false};
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t)
        readers.emplace_back(
            [&]
            {
                while (!done)
                    for (OpcUa_UInt16 i = 0; i <= 160; ++i)
                        if (NodeManager* nodeManager = root.getNodeManagerByNamespace(i);
                            nodeManager && i > 1)
                        {
                            UaNodeId node(1, i);
                            nodeManager->getVariableHandle(nullptr, 0, node.toOpcUaNodeId(), 13);
                        }
            });
    OpcUa_UInt16 index = 0;
    for (size_t n = 0; n < managers.size(); ++n)
    {
        const bool added = root.addNodeManager(managers[n].get(), uriOf(static_cast<int>(n)), index).isGood();
        EXPECT_TRUE(added);
        if (added && n % 3 == 0)
        {
            EXPECT_TRUE(root.removeNodeManager(index).isGood());
        }
    }
    done = true;
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_EQ(root.namespaceCount(), 152);
    for (OpcUa_UInt16 i = 2; i <= root.namespaceCount(); ++i)
        root.removeNodeManager(i);
}

TEST(NodeManagerRoot, CallsGoToTheNodeManagerOfTheirNamespace)
{
    StartedServer server;
    NodeManagerRoot& root = server.root();
    RecordingNodeManager other;
    OpcUa_UInt16 index = 0;
    ASSERT_TRUE(root.addNodeManager(&other, "urn:other", index).isGood());
    ASSERT_EQ(index, 2);

    UaReferenceDescriptionArray references;
    struct BrowseCase
    {
        UaNodeId node;
        OpcUa_UInt32 direction;
        OpcUa_StatusCode result;
        int dispatched;
    };
    const BrowseCase browses[] = {
        {UaNodeId(84, 0), 3, OpcUa_BadBrowseDirectionInvalid, 0},
        {UaNodeId(99999, 0), 0, OpcUa_BadNodeIdUnknown, 0},
        {UaNodeId(1, 7), 0, OpcUa_BadNodeIdInvalid, 0},
        {UaNodeId(1, 2), 2, OpcUa_Good, 1},
        {UaNodeId(84, 0), 0, OpcUa_Good, 0},
    };
    for (const BrowseCase& c : browses)
    {
        SCOPED_TRACE(c.node.toFullString().toUtf8());
        const int before = other.browses;
        BrowseRequest request(c.node, c.direction);
        EXPECT_EQ(request.run(root, references).statusCode(), c.result);
        EXPECT_EQ(other.browses - before, c.dispatched);
    }
    EXPECT_EQ(references.length(), 3u);

    UaStatus result;
    UaNodeId unknownNamespace(1, 7);
    EXPECT_EQ(root.getVariableHandle(nullptr, 0, unknownNamespace.toOpcUaNodeId(), 13), nullptr);
    EXPECT_EQ(root.getHistoryHandle(nullptr, 1, unknownNamespace.toOpcUaNodeId(), result), nullptr);
    EXPECT_EQ(result.statusCode(), OpcUa_BadNodeIdInvalid);
    EXPECT_EQ(root.getHistoryHandle(nullptr, 1, UaNodeId(2255, 0).toOpcUaNodeId(), result), nullptr);
    EXPECT_EQ(result.statusCode(), OpcUa_BadNodeIdUnknown);
    EXPECT_EQ(root.getMethodHandle(nullptr, unknownNamespace.toOpcUaNodeId(),
                                   unknownNamespace.toOpcUaNodeId(), result),
              nullptr);
    EXPECT_EQ(result.statusCode(), OpcUa_BadNodeIdInvalid);
    EXPECT_EQ(root.getNode(unknownNamespace), nullptr);
    UaNodeId inOther(5, 2);
    root.getVariableHandle(nullptr, 0, inOther.toOpcUaNodeId(), 13);
    EXPECT_EQ(other.variableHandles, 1);

    // Namespace-0 method handles: the object must be a known Object, the method a known Method.
    struct MethodCase
    {
        UaNodeId object;
        UaNodeId method;
        OpcUa_StatusCode result;
    };
    const MethodCase methods[] = {
        {UaNodeId(99999, 0), UaNodeId(2255, 0), OpcUa_BadNodeIdUnknown},
        {UaNodeId(2253, 0), UaNodeId(99999, 0), OpcUa_BadMethodInvalid},
        {UaNodeId(2255, 0), UaNodeId(2254, 0), OpcUa_BadNodeIdUnknown},
        {UaNodeId(2253, 0), UaNodeId(2254, 0), OpcUa_BadMethodInvalid},
    };
    for (const MethodCase& c : methods)
    {
        EXPECT_EQ(root.getMethodHandle(nullptr, c.object.toOpcUaNodeId(), c.method.toOpcUaNodeId(), result),
                  nullptr);
        EXPECT_EQ(result.statusCode(), c.result) << c.object.toFullString().toUtf8();
    }

    // Clients never extend or change namespace 0, but may put their own nodes below its folders.
    OpcUa_ExpandedNodeId parent, requested, none;
    OpcUa_ExpandedNodeId_Initialize(&parent);
    OpcUa_ExpandedNodeId_Initialize(&requested);
    OpcUa_ExpandedNodeId_Initialize(&none);
    UaNodeId(85, 0).copyTo(&parent.NodeId);
    OpcUa_QualifiedName name;
    OpcUa_QualifiedName_Initialize(&name);
    OpcUa_ExtensionObject attributes;
    OpcUa_ExtensionObject_Initialize(&attributes);
    OpcUa_NodeId organizes, added;
    UaNodeId(35, 0).copyTo(&organizes);
    OpcUa_NodeId_Initialize(&added);
    const ServiceContext context;
    EXPECT_EQ(root.addNode(context, parent, organizes, requested, name, OpcUa_NodeClass_Object, attributes,
                           none, added)
                  .statusCode(),
              OpcUa_BadUserAccessDenied);
    UaNodeId(17, 2).copyTo(&requested.NodeId);
    EXPECT_TRUE(root.addNode(context, parent, organizes, requested, name, OpcUa_NodeClass_Object, attributes,
                             none, added)
                    .isGood());
    EXPECT_EQ(other.addNodes, 1);
    UaNodeId(17, 7).copyTo(&requested.NodeId);
    EXPECT_EQ(root.addNode(context, parent, organizes, requested, name, OpcUa_NodeClass_Object, attributes,
                           none, added)
                  .statusCode(),
              OpcUa_BadNodeIdInvalid);
    OpcUa_NodeId target;
    UaNodeId(2253, 0).copyTo(&target);
    EXPECT_EQ(root.deleteNode(context, target, OpcUa_True).statusCode(), OpcUa_BadUserAccessDenied);
    UaNodeId(17, 2).copyTo(&target);
    EXPECT_TRUE(root.deleteNode(context, target, OpcUa_True).isGood());
    EXPECT_EQ(other.deleteNodes, 1);
    OpcUa_ExpandedNodeId_Clear(&requested);
    OpcUa_ExpandedNodeId_Clear(&parent);
    root.removeNodeManager(2);
}

TEST(NodeManagerRoot, SessionEventsReachEveryNodeManagerPastAFailingOne)
{
    StartedServer server;
    NodeManagerRoot& root = server.root();
    RecordingNodeManager failing, good;
    failing.answer = OpcUa_BadInternalError;
    OpcUa_UInt16 index = 0;
    root.addNodeManager(&failing, "urn:failing", index);
    root.addNodeManager(&good, "urn:good", index);
    UaTraceCapture trace(6);
    EXPECT_TRUE(root.sessionOpened(nullptr).isGood());
    EXPECT_EQ(failing.sessionsOpened, 1);
    EXPECT_EQ(good.sessionsOpened, 1);
    EXPECT_EQ(trace.texts(), (std::vector<std::string>{
                                 "--> NodeManagerRoot::sessionOpened",
                                 "Error calling NodeManager::sessionOpened for NsIndex=2 [ret=0x80020000]",
                                 "<-- NodeManagerRoot::sessionOpened"}));
    root.removeNodeManager(2);
    root.removeNodeManager(3);
}

TEST(NodeManagerRoot, CurrentTimeIsTheOnlyValueReadAndNothingIsWritten)
{
    StartedServer server;
    NodeManagerRoot& root = server.root();
    UaNode* startTime = root.getNode(UaNodeId(2139, 0));
    ASSERT_NE(startTime, nullptr);
    auto* currentTime = new UaDataVariableCache("CurrentTime", UaNodeId(2258, 0), UaVariant(), 1, "en");
    UaVariableArray variables;
    variables.create(3);
    variables[0] = static_cast<UaVariable*>(startTime);
    variables[1] = currentTime;
    UaDataValueArray values;
    ASSERT_TRUE(root.readValues(variables, values).isGood());
    ASSERT_EQ(values.length(), 3u);
    EXPECT_EQ(values[0].StatusCode, OpcUa_BadInternalError);
    EXPECT_EQ(values[1].StatusCode, OpcUa_Good);
    EXPECT_EQ(values[1].Value.Datatype, OpcUaType_DateTime);
    EXPECT_NE(values[1].SourceTimestamp.dwHighDateTime, 0u);
    EXPECT_EQ(values[2].StatusCode, OpcUa_BadInternalError);
    EXPECT_NE(values[2].ServerTimestamp.dwHighDateTime, 0u);
    UaStatusCodeArray statuses;
    ASSERT_TRUE(root.writeValues(variables, values, statuses).isGood());
    ASSERT_EQ(statuses.length(), 3u);
    for (OpcUa_UInt32 i = 0; i < statuses.length(); ++i)
        EXPECT_EQ(statuses[i], OpcUa_BadNotWritable);
    startTime->releaseReference();
    currentTime->releaseReference();
}

TEST(NodeManagerRoot, SuperTypesAreCollectedUpTheHierarchy)
{
    StartedServer server;
    UaNodeIdArray superTypes;
    ASSERT_TRUE(server.root().collectSuperTypes(UaNodeId(294, 0), superTypes).isGood());
    ASSERT_EQ(superTypes.length(), 2u);
    EXPECT_EQ(UaNodeId(superTypes[0]), UaNodeId(13, 0));
    EXPECT_EQ(UaNodeId(superTypes[1]), UaNodeId(24, 0));
    EXPECT_EQ(server.root().collectSuperTypes(UaNodeId(99999, 0), superTypes).statusCode(),
              OpcUa_BadNodeIdUnknown);
    EXPECT_EQ(superTypes.length(), 0u);
}
