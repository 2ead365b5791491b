#ifndef UASERVER_RUNTIME_SERVICETABLE_H
#define UASERVER_RUNTIME_SERVICETABLE_H

#include <opcua.h>
#include <opcua_transport.h>

class UaServer;

// The services every endpoint of the server offers: a null-terminated table of the stack's
// service records, one per service, static for the life of the process.
OpcUa_ServiceType** uaServerServiceTable();

namespace uaservicetable
{
// A service's entry, called on the running server with the decoded request.
using Entry = OpcUa_StatusCode (*)(UaServer* server, OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                   OpcUa_Void* request, OpcUa_EncodeableType* requestType);

// What every service callback does: checks what the stack passed (BadInvalidArgument, nothing
// sent, when a handle is missing or the request is not of requestTypeId), hands the request to
// entry on the running server (BadInternalError without one) and takes it over from the stack
// unless the entry refused it; a refusal is answered with a fault of its status.
OpcUa_StatusCode invokeService(OpcUa_UInt32 requestTypeId, Entry entry, OpcUa_Endpoint endpoint,
                               OpcUa_Handle context, OpcUa_Void** request, OpcUa_EncodeableType* requestType);

// Answers the request with a ServiceFault of status; the request stays the stack's.
OpcUa_StatusCode sendFault(OpcUa_Endpoint endpoint, OpcUa_Handle* context, OpcUa_Void** request,
                           OpcUa_StatusCode status);

// The begin-invoke function of the row of requestTypeId whose entry is the UaServer member Member.
template <OpcUa_UInt32 RequestTypeId, typename Request,
          OpcUa_StatusCode (UaServer::*Member)(OpcUa_Endpoint, OpcUa_Handle, Request*, OpcUa_EncodeableType*)>
OpcUa_StatusCode beginInvoke(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_Void** request,
                             OpcUa_EncodeableType* requestType)
{
    const Entry entry =
        [](UaServer* server, OpcUa_Endpoint e, OpcUa_Handle c, OpcUa_Void* r, OpcUa_EncodeableType* t)
    { return (server->*Member)(e, c, static_cast<Request*>(r), t); };
    return invokeService(RequestTypeId, entry, endpoint, context, request, requestType);
}
} // namespace uaservicetable

#endif
