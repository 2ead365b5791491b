// The services the server core hands on: TranslateBrowsePathsToNodeIds to the translation of the
// view services and Call to the transaction manager.
#include "uaserver.h"

#include "operationlimits.h"
#include "pendingcallrequest.h"
#include "uasession.h"
#include "uatransactionmanager.h"

#include <servicecontext.h>

#include <uatrace.h>

OpcUa_StatusCode UaServer::TranslateBrowsePathsToNodeIds(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                                         OpcUa_TranslateBrowsePathsToNodeIdsRequest* request,
                                                         OpcUa_EncodeableType* requestType)
{
    if (!beginService("TranslateBrowsePathsToNodeIds", endpoint, context, request, requestType))
        return OpcUa_Good;
    UaSession* session = nullptr;
    OpcUa_UInt32 channelId = 0;
    OpcUa_StatusCode result = findValidSession(endpoint, context, request->RequestHeader, session, channelId);
    if (OpcUa_IsGood(result))
        result = OperationLimits::countStatus(request->NoOfBrowsePaths, request->BrowsePaths,
                                              OperationLimits::kMaxBrowsePathsPerTranslate);
    OpcUa_Void* response = nullptr;
    OpcUa_EncodeableType* responseType = nullptr;
    if (OpcUa_IsGood(result))
        result = OpcUa_Endpoint_BeginSendResponse(endpoint, context, &response, &responseType);
    if (OpcUa_IsGood(result))
    {
        ServiceContext serviceContext;
        serviceContext.setSessionAndHeader(session, request->RequestHeader);
        result =
            translateBrowsePathsToNodeIds(serviceContext, request,
                                          static_cast<OpcUa_TranslateBrowsePathsToNodeIdsResponse*>(response))
                .statusCode();
        // A failed translation is answered by a fault in place of the begun response.
        if (OpcUa_IsNotGood(result))
            OpcUa_EncodeableObject_Delete(responseType, &response);
    }
    sendResponse(endpoint, session, context, request, requestType, result, response, responseType);
    traceServiceExit("TranslateBrowsePathsToNodeIds", result);
    return OpcUa_Good;
}

OpcUa_StatusCode UaServer::Call(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_CallRequest* request,
                                OpcUa_EncodeableType* requestType)
{
    if (!beginService("Call", endpoint, context, request, requestType))
        return OpcUa_Good;
    UaSession* session = nullptr;
    OpcUa_UInt32 channelId = 0;
    OpcUa_StatusCode result = findValidSession(endpoint, context, request->RequestHeader, session, channelId);
    if (OpcUa_IsGood(result))
        result = OperationLimits::countStatus(request->NoOfMethodsToCall, request->MethodsToCall,
                                              OperationLimits::kMaxMethodsPerCall);
    if (OpcUa_IsGood(result))
    {
        // The transaction answers once every method is done; it takes the request and the
        // session's service count over.
        auto* call = new PendingCallRequest(endpoint, context, requestType, session, request);
        result = m_pTransactionManager->beginMethodCall(call).statusCode();
        if (OpcUa_IsNotBad(result))
        {
            traceServiceExit("Call", OpcUa_Good);
            return OpcUa_Good;
        }
        delete call;
    }
    sendResponse(endpoint, session, context, request, requestType, result, nullptr, nullptr);
    traceServiceExit("Call", result);
    return OpcUa_Good;
}
