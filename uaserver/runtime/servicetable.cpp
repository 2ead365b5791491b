// The stack's service table of the server: one record per service, in a fixed order, each
// reaching its UaServer entry through one callback body.
#include "servicetable.h"

#include "uaserver.h"

namespace uaservicetable
{
OpcUa_StatusCode sendFault(OpcUa_Endpoint endpoint, OpcUa_Handle* context, OpcUa_Void** request,
                           OpcUa_StatusCode status)
{
    if (request == nullptr || *request == nullptr)
        return OpcUa_Bad;
    OpcUa_Void* response = nullptr;
    OpcUa_EncodeableType* responseType = nullptr;
    // Only the response context is wanted: the fault takes the response's place.
    OpcUa_StatusCode result = OpcUa_Endpoint_BeginSendResponse(endpoint, *context, &response, &responseType);
    if (response != nullptr)
        OpcUa_EncodeableObject_Delete(responseType, &response);
    if (OpcUa_IsBad(result))
        return result;
    OpcUa_Void* fault = nullptr;
    OpcUa_EncodeableType* faultType = nullptr;
    result = OpcUa_ServerApi_CreateFault(static_cast<OpcUa_RequestHeader*>(*request), status, nullptr,
                                         nullptr, nullptr, &fault, &faultType);
    if (OpcUa_IsBad(result))
        result = OpcUa_Endpoint_CancelSendResponse(endpoint, result, nullptr, context);
    else
        result = OpcUa_Endpoint_EndSendResponse(endpoint, context, OpcUa_Good, fault, faultType);
    if (fault != nullptr && faultType != nullptr)
        OpcUa_EncodeableObject_Delete(faultType, &fault);
    return result;
}

OpcUa_StatusCode invokeService(OpcUa_UInt32 requestTypeId, Entry entry, OpcUa_Endpoint endpoint,
                               OpcUa_Handle context, OpcUa_Void** request, OpcUa_EncodeableType* requestType)
{
    if (endpoint == nullptr || context == nullptr || request == nullptr || *request == nullptr ||
        requestType == nullptr || requestType->TypeId != requestTypeId)
        return OpcUa_BadInvalidArgument;
    // An endpoint still open while no server runs gets a fault rather than a null server.
    UaServer* server = UaServer::running();
    const OpcUa_StatusCode result =
        server != nullptr ? entry(server, endpoint, context, *request, requestType) : OpcUa_BadInternalError;
    if (OpcUa_IsNotBad(result))
    {
        *request = nullptr;
        return result & 0xFFFF0000u;
    }
    return sendFault(endpoint, &context, request, result);
}
} // namespace uaservicetable

namespace
{
using uaservicetable::beginInvoke;

#define UASERVER_SERVICE_ROW(Service)                                                                        \
    OpcUa_ServiceType Service##Row = {                                                                       \
        OpcUaId_##Service##Request, &OpcUa_##Service##Response_EncodeableType,                               \
        &beginInvoke<OpcUaId_##Service##Request, OpcUa_##Service##Request, &UaServer::Service>, nullptr};

// Discovery and sessions.
UASERVER_SERVICE_ROW(FindServers)
UASERVER_SERVICE_ROW(GetEndpoints)
UASERVER_SERVICE_ROW(CreateSession)
UASERVER_SERVICE_ROW(ActivateSession)
UASERVER_SERVICE_ROW(CloseSession)
UASERVER_SERVICE_ROW(Cancel)
// Node management.
UASERVER_SERVICE_ROW(AddNodes)
UASERVER_SERVICE_ROW(AddReferences)
UASERVER_SERVICE_ROW(DeleteNodes)
UASERVER_SERVICE_ROW(DeleteReferences)
// View and query.
UASERVER_SERVICE_ROW(Browse)
UASERVER_SERVICE_ROW(BrowseNext)
UASERVER_SERVICE_ROW(QueryFirst)
UASERVER_SERVICE_ROW(QueryNext)
UASERVER_SERVICE_ROW(TranslateBrowsePathsToNodeIds)
UASERVER_SERVICE_ROW(RegisterNodes)
UASERVER_SERVICE_ROW(UnregisterNodes)
// Attributes and history.
UASERVER_SERVICE_ROW(Read)
UASERVER_SERVICE_ROW(Write)
UASERVER_SERVICE_ROW(HistoryRead)
UASERVER_SERVICE_ROW(HistoryUpdate)
// Methods.
UASERVER_SERVICE_ROW(Call)
// Monitored items and subscriptions.
UASERVER_SERVICE_ROW(CreateMonitoredItems)
UASERVER_SERVICE_ROW(ModifyMonitoredItems)
UASERVER_SERVICE_ROW(SetMonitoringMode)
UASERVER_SERVICE_ROW(SetTriggering)
UASERVER_SERVICE_ROW(DeleteMonitoredItems)
UASERVER_SERVICE_ROW(CreateSubscription)
UASERVER_SERVICE_ROW(ModifySubscription)
UASERVER_SERVICE_ROW(SetPublishingMode)
UASERVER_SERVICE_ROW(Publish)
UASERVER_SERVICE_ROW(Republish)
UASERVER_SERVICE_ROW(TransferSubscriptions)
UASERVER_SERVICE_ROW(DeleteSubscriptions)

#undef UASERVER_SERVICE_ROW

// In the order of the services' rows; a request of a type not listed is refused by the stack
// with BadServiceUnsupported.
OpcUa_ServiceType* serviceTable[] = {&FindServersRow,
                                     &GetEndpointsRow,
                                     &CreateSessionRow,
                                     &ActivateSessionRow,
                                     &CloseSessionRow,
                                     &CancelRow,
                                     &AddNodesRow,
                                     &AddReferencesRow,
                                     &DeleteNodesRow,
                                     &DeleteReferencesRow,
                                     &BrowseRow,
                                     &BrowseNextRow,
                                     &QueryFirstRow,
                                     &QueryNextRow,
                                     &TranslateBrowsePathsToNodeIdsRow,
                                     &RegisterNodesRow,
                                     &UnregisterNodesRow,
                                     &ReadRow,
                                     &WriteRow,
                                     &HistoryReadRow,
                                     &HistoryUpdateRow,
                                     &CallRow,
                                     &CreateMonitoredItemsRow,
                                     &ModifyMonitoredItemsRow,
                                     &SetMonitoringModeRow,
                                     &SetTriggeringRow,
                                     &DeleteMonitoredItemsRow,
                                     &CreateSubscriptionRow,
                                     &ModifySubscriptionRow,
                                     &SetPublishingModeRow,
                                     &PublishRow,
                                     &RepublishRow,
                                     &TransferSubscriptionsRow,
                                     &DeleteSubscriptionsRow,
                                     nullptr};
} // namespace

OpcUa_ServiceType** uaServerServiceTable()
{
    return serviceTable;
}
