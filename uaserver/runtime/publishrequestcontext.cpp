#include "publishrequestcontext.h"

PublishRequestContext::PublishRequestContext(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                             OpcUa_PublishRequest* request, OpcUa_EncodeableType* requestType)
    : m_hEndpoint(endpoint), m_hContext(context), m_pRequest(request), m_pRequestType(requestType),
      m_receivedAt(UaDateTime::now())
{
}

PublishRequestContext::~PublishRequestContext()
{
    OpcUa_Void* request = m_pRequest;
    OpcUa_EncodeableObject_Delete(m_pRequestType, &request);
}

bool PublishRequestContext::hasTimedOut() const
{
    const OpcUa_UInt32 timeoutHint = m_pRequest != nullptr ? m_pRequest->RequestHeader.TimeoutHint : 0;
    if (timeoutHint == 0)
        return false;
    const OpcUa_Int64 waited = (UaDateTime::now().toInt64() - m_receivedAt.toInt64()) / 10000;
    return waited > static_cast<OpcUa_Int64>(timeoutHint);
}
