// The view services: Browse, BrowseNext, the translation of browse paths, RegisterNodes and
// UnregisterNodes, all answered at once.
#include "operationlimits.h"
#include "serviceentryframe.h"
#include "uaserver.h"
#include "viewservices.h"

OpcUa_StatusCode UaServer::Browse(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_BrowseRequest* request,
                                  OpcUa_EncodeableType* requestType)
{
    ServiceEntryFrame frame(*this, "Browse", endpoint, context, request, requestType);
    if (!frame.enter())
        return OpcUa_Good;
    frame.checkOperations(request->NoOfNodesToBrowse, request->NodesToBrowse,
                          OperationLimits::kMaxNodesPerBrowse);
    auto* response = frame.beginResponse<OpcUa_BrowseResponse>();
    if (response == nullptr)
        return frame.refuse();
    return frame.answer(ViewServices::browse(frame.serviceContext(), *m_pNodeManagerRoot, *m_pServerManager,
                                             *request, *response),
                        true);
}

OpcUa_StatusCode UaServer::BrowseNext(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                      OpcUa_BrowseNextRequest* request, OpcUa_EncodeableType* requestType)
{
    ServiceEntryFrame frame(*this, "BrowseNext", endpoint, context, request, requestType);
    if (!frame.enter())
        return OpcUa_Good;
    frame.checkOperations(request->NoOfContinuationPoints, request->ContinuationPoints,
                          OperationLimits::kMaxNodesPerBrowse);
    auto* response = frame.beginResponse<OpcUa_BrowseNextResponse>();
    if (response == nullptr)
        return frame.refuse();
    return frame.answer(
        ViewServices::browseNext(frame.serviceContext(), *m_pNodeManagerRoot, *request, *response), true);
}

UaStatus UaServer::translateBrowsePathsToNodeIds(const ServiceContext& serviceContext,
                                                 const OpcUa_TranslateBrowsePathsToNodeIdsRequest* request,
                                                 OpcUa_TranslateBrowsePathsToNodeIdsResponse* response)
{
    return ViewServices::translateBrowsePaths(serviceContext, *m_pNodeManagerRoot, *request, *response);
}

OpcUa_StatusCode UaServer::RegisterNodes(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                         OpcUa_RegisterNodesRequest* request,
                                         OpcUa_EncodeableType* requestType)
{
    ServiceEntryFrame frame(*this, "RegisterNodes", endpoint, context, request, requestType);
    if (!frame.enter())
        return OpcUa_Good;
    frame.checkOperations(request->NoOfNodesToRegister, request->NodesToRegister,
                          OperationLimits::kMaxNodesPerRegister);
    auto* response = frame.beginResponse<OpcUa_RegisterNodesResponse>();
    if (response == nullptr)
        return frame.refuse();
    return frame.answer(
        ViewServices::registerNodes(frame.serviceContext(), *m_pTransactionManager, *request, *response));
}

OpcUa_StatusCode UaServer::UnregisterNodes(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                           OpcUa_UnregisterNodesRequest* request,
                                           OpcUa_EncodeableType* requestType)
{
    ServiceEntryFrame frame(*this, "UnregisterNodes", endpoint, context, request, requestType);
    if (!frame.enter())
        return OpcUa_Good;
    frame.checkOperations(request->NoOfNodesToUnregister, request->NodesToUnregister,
                          OperationLimits::kMaxNodesPerRegister);
    if (frame.beginResponse<OpcUa_UnregisterNodesResponse>() == nullptr)
        return frame.refuse();
    return frame.answer(
        ViewServices::unregisterNodes(frame.serviceContext(), *m_pTransactionManager, *request));
}
