#include "nodemanagementservices.h"

#include <nodemanager.h>
#include <servicecontext.h>

#include <uanodeid.h>
#include <uaqualifiedname.h>
#include <uastructurearrays.h>
#include <uatrace.h>
#include <uavariantarrays.h>

namespace
{
// The NodeId part of an ExpandedNodeId, borrowed: namespace URI and server index are not passed on.
OpcUa_ExpandedNodeId nodeIdPart(const OpcUa_ExpandedNodeId& expanded)
{
    OpcUa_ExpandedNodeId part;
    OpcUa_ExpandedNodeId_Initialize(&part);
    part.NodeId = expanded.NodeId;
    return part;
}

std::string text(const OpcUa_NodeId& nodeId)
{
    return UaNodeId(nodeId).toFullString().toUtf8();
}

// One result per item from handle(item, result) into the response's Results.
template <typename Item, typename Results, typename Response, typename Handle>
UaStatus forEachItem(const Item* items, OpcUa_Int32 count, Results& results, Response& response,
                     Handle handle)
{
    const OpcUa_UInt32 n = items != nullptr && count > 0 ? static_cast<OpcUa_UInt32>(count) : 0;
    const UaStatus created = results.create(n);
    if (created.isNotGood())
        return created;
    for (OpcUa_UInt32 i = 0; i < n; ++i)
        handle(items[i], results[i]);
    response.NoOfResults = static_cast<OpcUa_Int32>(results.length());
    response.Results = results.data();
    results.detach();
    return OpcUa_Good;
}

void traceAddNodesRequest(const OpcUa_AddNodesRequest& request)
{
    UaTrace::traceLevel7("AddNodes Request:");
    UaTrace::traceLevel7("  NoOfNodesToAdd = %d", static_cast<int>(request.NoOfNodesToAdd));
    for (OpcUa_Int32 i = 0; i < request.NoOfNodesToAdd && request.NodesToAdd != nullptr; ++i)
    {
        const OpcUa_AddNodesItem& item = request.NodesToAdd[i];
        UaTrace::traceLevel7("    Node[%d] Parent=%s RefType=%s BrowseName=%s", static_cast<int>(i),
                             text(item.ParentNodeId.NodeId).c_str(), text(item.ReferenceTypeId).c_str(),
                             UaQualifiedName(item.BrowseName).toFullString().toUtf8());
    }
}

void traceAddNodesResponse(const OpcUa_AddNodesResponse& response)
{
    UaTrace::traceLevel7("AddNodes Response:");
    UaTrace::traceLevel7("  NoOfResults = %d", static_cast<int>(response.NoOfResults));
    for (OpcUa_Int32 i = 0; i < response.NoOfResults; ++i)
    {
        const OpcUa_AddNodesResult& result = response.Results[i];
        if (UaStatusCode(result.StatusCode).isGood())
            UaTrace::traceLevel7("    Node[%d] NewNodeId=%s", static_cast<int>(i),
                                 text(result.AddedNodeId).c_str());
        else
            UaTrace::traceLevel7("    Node[%d] Status = 0x%lx", static_cast<int>(i),
                                 static_cast<unsigned long>(result.StatusCode));
    }
}
} // namespace

namespace NodeManagementServices
{
UaStatus addNodes(const ServiceContext& context, NodeManager& root, const OpcUa_AddNodesRequest& request,
                  OpcUa_AddNodesResponse& response)
{
    if (UaTrace::isTraceLevelOn(7))
        traceAddNodesRequest(request);
    UaAddNodesResultArray results;
    const UaStatus status =
        forEachItem(request.NodesToAdd, request.NoOfNodesToAdd, results, response,
                    [&](const OpcUa_AddNodesItem& item, OpcUa_AddNodesResult& result)
                    {
                        OpcUa_NodeId added;
                        OpcUa_NodeId_Initialize(&added);
                        result.StatusCode =
                            root.addNode(context, nodeIdPart(item.ParentNodeId), item.ReferenceTypeId,
                                         nodeIdPart(item.RequestedNewNodeId), item.BrowseName, item.NodeClass,
                                         item.NodeAttributes, nodeIdPart(item.TypeDefinition), added)
                                .statusCode();
                        // A refused item carries no NodeId, whatever the node manager left in it.
                        if (UaStatusCode(result.StatusCode).isGood())
                            result.AddedNodeId = added;
                        else
                            OpcUa_NodeId_Clear(&added);
                    });
    if (status.isGood() && response.NoOfResults > 0 && UaTrace::isTraceLevelOn(7))
        traceAddNodesResponse(response);
    return status;
}

UaStatus addReferences(const ServiceContext& context, NodeManager& root,
                       const OpcUa_AddReferencesRequest& request, OpcUa_AddReferencesResponse& response)
{
    UaStatusCodeArray results;
    return forEachItem(request.ReferencesToAdd, request.NoOfReferencesToAdd, results, response,
                       [&](const OpcUa_AddReferencesItem& item, OpcUa_StatusCode& result)
                       {
                           // The target server is not looked at: only local references exist.
                           OpcUa_String noServerUri;
                           OpcUa_String_Initialize(&noServerUri);
                           result = root.addReference(context, item.SourceNodeId, item.ReferenceTypeId,
                                                      item.IsForward, noServerUri,
                                                      nodeIdPart(item.TargetNodeId), item.TargetNodeClass)
                                        .statusCode();
                       });
}

UaStatus deleteNodes(const ServiceContext& context, NodeManager& root,
                     const OpcUa_DeleteNodesRequest& request, OpcUa_DeleteNodesResponse& response)
{
    UaStatusCodeArray results;
    return forEachItem(
        request.NodesToDelete, request.NoOfNodesToDelete, results, response,
        [&](const OpcUa_DeleteNodesItem& item, OpcUa_StatusCode& result)
        { result = root.deleteNode(context, item.NodeId, item.DeleteTargetReferences).statusCode(); });
}

UaStatus deleteReferences(const ServiceContext& context, NodeManager& root,
                          const OpcUa_DeleteReferencesRequest& request,
                          OpcUa_DeleteReferencesResponse& response)
{
    UaStatusCodeArray results;
    return forEachItem(request.ReferencesToDelete, request.NoOfReferencesToDelete, results, response,
                       [&](const OpcUa_DeleteReferencesItem& item, OpcUa_StatusCode& result)
                       {
                           // Both flags true: no node manager of the server deletes references.
                           result =
                               root.deleteReference(context, item.SourceNodeId, item.ReferenceTypeId,
                                                    OpcUa_True, nodeIdPart(item.TargetNodeId), OpcUa_True)
                                   .statusCode();
                       });
}
} // namespace NodeManagementServices
