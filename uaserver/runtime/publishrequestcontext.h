#ifndef UASERVER_RUNTIME_PUBLISHREQUESTCONTEXT_H
#define UASERVER_RUNTIME_PUBLISHREQUESTCONTEXT_H

#include <servicecontext.h>

#include <uadatetime.h>
#include <uamutex.h>
#include <uavariantarrays.h>

#include <opcua.h>

// One Publish request from its receipt until it is answered: in the session's queue, with a
// subscription, or being answered. It holds the session reference of the service in progress
// (UaSession::startingServiceProcessing); whoever answers or drops it calls
// finishedServiceProcessing and deletes it.
class PublishRequestContext
{
public:
    // Takes request over.
    PublishRequestContext(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_PublishRequest* request,
                          OpcUa_EncodeableType* requestType);
    ~PublishRequestContext();
    PublishRequestContext(const PublishRequestContext&) = delete;
    PublishRequestContext& operator=(const PublishRequestContext&) = delete;

    // The Request handle of the traces.
    OpcUa_UInt32 requestHandle() const
    {
        return m_pRequest != nullptr ? m_pRequest->RequestHeader.RequestHandle : 0;
    }
    // Whether the request's TimeoutHint (0: none) has passed since its receipt.
    bool hasTimedOut() const;

    OpcUa_Endpoint m_hEndpoint;
    OpcUa_Handle m_hContext;
    OpcUa_PublishRequest* m_pRequest;
    OpcUa_EncodeableType* m_pRequestType;
    ServiceContext m_serviceContext;
    UaMutex m_mutex;
    // One per acknowledgement of the request, in request order; they go with the response.
    UaStatusCodeArray m_acknowledgeResults;
    UaDateTime m_receivedAt;
};

#endif
