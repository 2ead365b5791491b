// The node-management services' work: every item reaches the node manager of its namespace through
// the root, with the NodeId part of its ExpandedNodeIds, and only a Good item carries a NodeId.
#include "nodemanagementservices.h"
#include "servertestbed.h"

#include <querycontext.h>

#include <uatracecapture.h>

#include <fake_endpoint.h>

#include <cstring>
#include <vector>

using namespace servertest;
using uaserver::testing::newMessage;

namespace
{
// Records what arrives and answers item by item from a list; always hands back a NodeId.
class ItemNodeManager : public RecordingNodeManager
{
public:
    UaStatus addNode(const ServiceContext&, const OpcUa_ExpandedNodeId& parentNodeId, const OpcUa_NodeId&,
                     const OpcUa_ExpandedNodeId&, const OpcUa_QualifiedName&, OpcUa_NodeClass,
                     const OpcUa_ExtensionObject&, const OpcUa_ExpandedNodeId&,
                     OpcUa_NodeId& addedNodeId) override
    {
        parents.push_back(parentNodeId);
        UaNodeId(500 + static_cast<OpcUa_UInt32>(parents.size()), 2).copyTo(&addedNodeId);
        return next();
    }
    UaStatus deleteReference(const ServiceContext&, const OpcUa_NodeId&, const OpcUa_NodeId&,
                             OpcUa_Boolean isForward, const OpcUa_ExpandedNodeId& targetNodeId,
                             OpcUa_Boolean deleteBidirectional) override
    {
        flags.push_back({isForward, deleteBidirectional});
        targetServerIndexes.push_back(targetNodeId.ServerIndex);
        return next();
    }

    UaStatus next() { return answers.at(calls++); }

    std::vector<OpcUa_StatusCode> answers;
    std::size_t calls = 0;
    std::vector<OpcUa_ExpandedNodeId> parents; // borrowed from the request while it lives
    std::vector<std::pair<OpcUa_Boolean, OpcUa_Boolean>> flags;
    std::vector<OpcUa_UInt32> targetServerIndexes;
};

template <typename T> struct Owned
{
    explicit Owned(OpcUa_EncodeableType& t) : type(&t), value(newMessage<T>(t)) {}
    ~Owned() { OpcUa_EncodeableObject_Delete(type, reinterpret_cast<OpcUa_Void**>(&value)); }
    T* operator->() { return value; }
    OpcUa_EncodeableType* type;
    T* value;
};

template <typename T> T* allocate(OpcUa_Int32 n)
{
    auto* items = static_cast<T*>(OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(n * sizeof(T))));
    std::memset(static_cast<void*>(items), 0, static_cast<std::size_t>(n) * sizeof(T));
    return items;
}
} // namespace

TEST(NodeManagementServices, AddNodesPassesTheParentsNodeIdAndKeepsNodeIdsOfGoodItemsOnly)
{
    ItemNodeManager items;
    StartedServer server;
    OpcUa_UInt16 ns = 0;
    ASSERT_TRUE(server.root().addNodeManager(&items, "urn:test:items", ns).isGood());
    ASSERT_EQ(ns, 2);
    items.answers = {OpcUa_BadUserAccessDenied, OpcUa_Good, OpcUa_UncertainInitialValue};

    Owned<OpcUa_AddNodesRequest> request(OpcUa_AddNodesRequest_EncodeableType);
    request->NoOfNodesToAdd = 4;
    request->NodesToAdd = allocate<OpcUa_AddNodesItem>(4);
    for (OpcUa_Int32 i = 0; i < 4; ++i)
    {
        OpcUa_AddNodesItem& item = request->NodesToAdd[i];
        UaNodeId(10 + static_cast<OpcUa_UInt32>(i), ns).copyTo(&item.ParentNodeId.NodeId);
        UaNodeId(35, 0).copyTo(&item.ReferenceTypeId);
    }
    // A parent on another server: its NodeId part alone goes on.
    request->NodesToAdd[0].ParentNodeId.ServerIndex = 3;
    UaString("urn:elsewhere").copyTo(&request->NodesToAdd[0].ParentNodeId.NamespaceUri);
    // A parent in a namespace without node manager never reaches one.
    request->NodesToAdd[3].ParentNodeId.NodeId.NamespaceIndex = 77;

    UaTraceCapture trace(7);
    Owned<OpcUa_AddNodesResponse> response(OpcUa_AddNodesResponse_EncodeableType);
    EXPECT_TRUE(
        NodeManagementServices::addNodes(ServiceContext(), server.root(), *request.value, *response.value)
            .isGood());

    ASSERT_EQ(items.parents.size(), 3u);
    EXPECT_EQ(items.parents[0].ServerIndex, 0u);
    EXPECT_EQ(OpcUa_String_StrLen(&items.parents[0].NamespaceUri), 0u);
    EXPECT_EQ(UaNodeId(items.parents[0].NodeId), UaNodeId(10, ns));
    struct Expected
    {
        OpcUa_StatusCode status;
        UaNodeId added;
    } expected[] = {{OpcUa_BadUserAccessDenied, UaNodeId()},
                    {OpcUa_Good, UaNodeId(502, 2)},
                    {OpcUa_UncertainInitialValue, UaNodeId()},
                    {OpcUa_BadNodeIdInvalid, UaNodeId()}};
    ASSERT_EQ(response->NoOfResults, 4);
    for (int i = 0; i < 4; ++i)
    {
        EXPECT_EQ(response->Results[i].StatusCode, expected[i].status) << i;
        EXPECT_EQ(UaNodeId(response->Results[i].AddedNodeId), expected[i].added) << i;
    }
    EXPECT_EQ(response->NoOfDiagnosticInfos, 0);
    EXPECT_TRUE(trace.contains(7, "AddNodes Request:"));
    EXPECT_TRUE(trace.contains(7, "  NoOfNodesToAdd = 4"));
    EXPECT_TRUE(
        trace.contains(7, "    Node[0] Parent=NS2|Numeric|10 RefType=NS0|Numeric|35 BrowseName=ns=0|"));
    EXPECT_TRUE(trace.contains(7, "    Node[1] NewNodeId=NS2|Numeric|502"));
    EXPECT_TRUE(trace.contains(7, "    Node[0] Status = 0x801f0000"));
}

TEST(NodeManagementServices, EveryItemOfTheOtherThreeIsTriedAndDeleteReferencesPassesBothFlagsTrue)
{
    ItemNodeManager items;
    StartedServer server;
    OpcUa_UInt16 ns = 0;
    ASSERT_TRUE(server.root().addNodeManager(&items, "urn:test:items", ns).isGood());
    items.answers = {OpcUa_BadUserAccessDenied, OpcUa_Good};

    Owned<OpcUa_DeleteReferencesRequest> request(OpcUa_DeleteReferencesRequest_EncodeableType);
    request->NoOfReferencesToDelete = 2;
    request->ReferencesToDelete = allocate<OpcUa_DeleteReferencesItem>(2);
    for (int i = 0; i < 2; ++i)
    {
        UaNodeId(1, ns).copyTo(&request->ReferencesToDelete[i].SourceNodeId);
        request->ReferencesToDelete[i].TargetNodeId.ServerIndex = 4;
    }
    Owned<OpcUa_DeleteReferencesResponse> response(OpcUa_DeleteReferencesResponse_EncodeableType);
    EXPECT_TRUE(NodeManagementServices::deleteReferences(ServiceContext(), server.root(), *request.value,
                                                         *response.value)
                    .isGood());
    ASSERT_EQ(response->NoOfResults, 2);
    EXPECT_EQ(response->Results[0], OpcUa_BadUserAccessDenied);
    EXPECT_EQ(response->Results[1], OpcUa_Good);
    using Flags = std::pair<OpcUa_Boolean, OpcUa_Boolean>;
    EXPECT_EQ(items.flags, (std::vector<Flags>{{OpcUa_True, OpcUa_True}, {OpcUa_True, OpcUa_True}}));
    EXPECT_EQ(items.targetServerIndexes, (std::vector<OpcUa_UInt32>{0, 0}));

    // Namespace 0 refuses every item of AddReferences and DeleteNodes; each gets its own status.
    Owned<OpcUa_AddReferencesRequest> add(OpcUa_AddReferencesRequest_EncodeableType);
    add->NoOfReferencesToAdd = 3;
    add->ReferencesToAdd = allocate<OpcUa_AddReferencesItem>(3);
    UaNodeId(1, 9).copyTo(&add->ReferencesToAdd[2].SourceNodeId);
    Owned<OpcUa_AddReferencesResponse> added(OpcUa_AddReferencesResponse_EncodeableType);
    EXPECT_TRUE(
        NodeManagementServices::addReferences(ServiceContext(), server.root(), *add.value, *added.value)
            .isGood());
    ASSERT_EQ(added->NoOfResults, 3);
    EXPECT_EQ(std::vector<OpcUa_StatusCode>(added->Results, added->Results + 3),
              (std::vector<OpcUa_StatusCode>{OpcUa_BadUserAccessDenied, OpcUa_BadUserAccessDenied,
                                             OpcUa_BadNodeIdInvalid}));

    Owned<OpcUa_DeleteNodesRequest> remove(OpcUa_DeleteNodesRequest_EncodeableType);
    remove->NoOfNodesToDelete = 2;
    remove->NodesToDelete = allocate<OpcUa_DeleteNodesItem>(2);
    UaNodeId(85, 0).copyTo(&remove->NodesToDelete[0].NodeId);
    UaNodeId(2253, 0).copyTo(&remove->NodesToDelete[1].NodeId);
    Owned<OpcUa_DeleteNodesResponse> removed(OpcUa_DeleteNodesResponse_EncodeableType);
    EXPECT_TRUE(
        NodeManagementServices::deleteNodes(ServiceContext(), server.root(), *remove.value, *removed.value)
            .isGood());
    ASSERT_EQ(removed->NoOfResults, 2);
    EXPECT_EQ(removed->Results[0], OpcUa_BadUserAccessDenied);
    EXPECT_EQ(removed->Results[1], OpcUa_BadUserAccessDenied);
}

TEST(QueryContext, TakesViewNodeTypesAndFilterFromTheRequest)
{
    Owned<OpcUa_QueryFirstRequest> request(OpcUa_QueryFirstRequest_EncodeableType);
    UaNodeId(77, 2).copyTo(&request->View.ViewId);
    request->NoOfNodeTypes = 2;
    request->NodeTypes = allocate<OpcUa_NodeTypeDescription>(2);
    UaNodeId(58, 0).copyTo(&request->NodeTypes[1].TypeDefinitionNode.NodeId);
    request->Filter.NoOfElements = 1;
    request->Filter.Elements = allocate<OpcUa_ContentFilterElement>(1);
    request->Filter.Elements[0].FilterOperator = OpcUa_FilterOperator_IsNull;
    request->MaxDataSetsToReturn = 5;
    request->MaxReferencesToReturn = 6;

    QueryContext context(*request.value);
    // The request no longer holds them: deleting it frees nothing of the context (ASan).
    EXPECT_EQ(request->NodeTypes, nullptr);
    EXPECT_EQ(request->NoOfNodeTypes, 0);
    EXPECT_EQ(request->Filter.Elements, nullptr);
    EXPECT_TRUE(UaNodeId(request->View.ViewId).isNull());
    EXPECT_EQ(UaNodeId(context.view().ViewId), UaNodeId(77, 2));
    ASSERT_EQ(context.noOfNodeTypes(), 2);
    EXPECT_EQ(UaNodeId(context.nodeTypes()[1].TypeDefinitionNode.NodeId), UaNodeId(58, 0));
    ASSERT_EQ(context.filter().NoOfElements, 1);
    EXPECT_EQ(context.filter().Elements[0].FilterOperator, OpcUa_FilterOperator_IsNull);
    EXPECT_EQ(context.maxDataSetsToReturn(), 5u);
    EXPECT_EQ(context.maxReferencesToReturn(), 6u);
}
