// The node-management services: every item goes to the node manager of its namespace, answered at
// once.
#include "nodemanagementservices.h"
#include "operationlimits.h"
#include "serviceentryframe.h"
#include "uaserver.h"

OpcUa_StatusCode UaServer::AddNodes(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                    OpcUa_AddNodesRequest* request, OpcUa_EncodeableType* requestType)
{
    ServiceEntryFrame frame(*this, "AddNodes", endpoint, context, request, requestType);
    if (!frame.enter())
        return OpcUa_Good;
    frame.checkOperations(request->NoOfNodesToAdd, request->NodesToAdd,
                          OperationLimits::kMaxNodesPerNodeManagement);
    auto* response = frame.beginResponse<OpcUa_AddNodesResponse>();
    if (response == nullptr)
        return frame.refuse();
    return frame.answer(
        NodeManagementServices::addNodes(frame.serviceContext(), *m_pNodeManagerRoot, *request, *response));
}

OpcUa_StatusCode UaServer::AddReferences(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                         OpcUa_AddReferencesRequest* request,
                                         OpcUa_EncodeableType* requestType)
{
    ServiceEntryFrame frame(*this, "AddReferences", endpoint, context, request, requestType);
    if (!frame.enter())
        return OpcUa_Good;
    frame.checkOperations(request->NoOfReferencesToAdd, request->ReferencesToAdd,
                          OperationLimits::kMaxNodesPerNodeManagement);
    auto* response = frame.beginResponse<OpcUa_AddReferencesResponse>();
    if (response == nullptr)
        return frame.refuse();
    return frame.answer(NodeManagementServices::addReferences(frame.serviceContext(), *m_pNodeManagerRoot,
                                                              *request, *response));
}

OpcUa_StatusCode UaServer::DeleteNodes(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                       OpcUa_DeleteNodesRequest* request, OpcUa_EncodeableType* requestType)
{
    ServiceEntryFrame frame(*this, "DeleteNodes", endpoint, context, request, requestType);
    if (!frame.enter())
        return OpcUa_Good;
    frame.checkOperations(request->NoOfNodesToDelete, request->NodesToDelete,
                          OperationLimits::kMaxNodesPerNodeManagement);
    auto* response = frame.beginResponse<OpcUa_DeleteNodesResponse>();
    if (response == nullptr)
        return frame.refuse();
    return frame.answer(NodeManagementServices::deleteNodes(frame.serviceContext(), *m_pNodeManagerRoot,
                                                            *request, *response));
}

OpcUa_StatusCode UaServer::DeleteReferences(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                            OpcUa_DeleteReferencesRequest* request,
                                            OpcUa_EncodeableType* requestType)
{
    ServiceEntryFrame frame(*this, "DeleteReferences", endpoint, context, request, requestType);
    if (!frame.enter())
        return OpcUa_Good;
    frame.checkOperations(request->NoOfReferencesToDelete, request->ReferencesToDelete,
                          OperationLimits::kMaxNodesPerNodeManagement);
    auto* response = frame.beginResponse<OpcUa_DeleteReferencesResponse>();
    if (response == nullptr)
        return frame.refuse();
    return frame.answer(NodeManagementServices::deleteReferences(frame.serviceContext(), *m_pNodeManagerRoot,
                                                                 *request, *response));
}
