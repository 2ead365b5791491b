#include "serviceentryframe.h"

#include "operationlimits.h"
#include "pendingservicerequest.h"
#include "uaserver.h"
#include "uasession.h"

#include <uatrace.h>

#include <cstring>

ServiceEntryFrame::ServiceEntryFrame(UaServer& server, const char* service, OpcUa_Endpoint endpoint,
                                     OpcUa_Handle context, OpcUa_Void* request,
                                     OpcUa_EncodeableType* requestType)
    : m_server(server), m_service(service), m_hEndpoint(endpoint), m_hContext(context), m_pRequest(request),
      m_pRequestType(requestType)
{
    if (UaTrace::isTraceLevelOn(4))
        UaTrace::traceLevel4("==> UaServer::%s [Request=%d]", service,
                             static_cast<int>(requestHeader().RequestHandle));
}

bool ServiceEntryFrame::enter()
{
    if (!m_server.isStarted())
    {
        m_status.setStatus(OpcUa_BadInternalError,
                           UaString("UaServer::%1 - UaServer not started").arg(m_service));
        m_server.sendResponse(m_hEndpoint, nullptr, m_hContext, m_pRequest, m_pRequestType,
                              m_status.statusCode(), nullptr, nullptr);
        if (UaTrace::isTraceLevelOn(4))
        {
            // Read alone names the reason in its closing line.
            if (std::strcmp(m_service, "Read") == 0)
                UaTrace::traceLevel4("<== UaServer::Read - UaServer not started");
            else
                UaTrace::traceLevel4("<== UaServer::%s", m_service);
        }
        return false;
    }
    // Without the channel no session is looked up: a lookup would renew the session's last contact.
    OpcUa_UInt32 channelId = 0;
    m_status = OpcUa_Endpoint_GetMessageSecureChannelId(m_hEndpoint, m_hContext, &channelId);
    if (m_status.isGood())
        m_status = m_server.findValidSession(m_hEndpoint, m_hContext, requestHeader(), m_pSession, channelId);
    return true;
}

void ServiceEntryFrame::check(bool fails, OpcUa_StatusCode status)
{
    if (m_status.isGood() && fails)
        m_status = status;
}

void ServiceEntryFrame::checkOperations(OpcUa_Int32 count, const void* array, OpcUa_UInt32 limit)
{
    const OpcUa_StatusCode status = OperationLimits::countStatus(count, array, limit);
    check(status != OpcUa_Good, status);
}

ServiceContext ServiceEntryFrame::serviceContext() const
{
    ServiceContext context;
    context.setSessionAndHeader(m_pSession, requestHeader());
    return context;
}

OpcUa_StatusCode ServiceEntryFrame::refuse()
{
    m_server.sendResponse(m_hEndpoint, m_pSession, m_hContext, m_pRequest, m_pRequestType,
                          m_status.statusCode(), nullptr, nullptr);
    traceClosing(true);
    return OpcUa_Good;
}

OpcUa_StatusCode ServiceEntryFrame::handOver(PendingServiceRequest* pending, const UaStatus& begun)
{
    if (begun.isGood())
    {
        // The answer may already be on its way from another thread.
        traceClosing(false);
        return OpcUa_Good;
    }
    delete pending;
    m_status = begun;
    return refuse();
}

OpcUa_Void* ServiceEntryFrame::beginResponseObject()
{
    if (m_status.isGood())
        m_status = OpcUa_Endpoint_BeginSendResponse(m_hEndpoint, m_hContext, &m_pResponse, &m_pResponseType);
    if (m_status.isGood())
        return m_pResponse;
    OpcUa_EncodeableObject_Delete(m_pResponseType, &m_pResponse);
    return nullptr;
}

OpcUa_StatusCode ServiceEntryFrame::answer(const UaStatus& work, bool resultTraceWhenBad)
{
    m_status = work;
    if (!m_status.isGood())
        OpcUa_EncodeableObject_Delete(m_pResponseType, &m_pResponse);
    m_server.sendResponse(m_hEndpoint, m_pSession, m_hContext, m_pRequest, m_pRequestType,
                          m_status.statusCode(), m_pResponse, m_pResponseType);
    m_pResponse = nullptr;
    traceClosing(resultTraceWhenBad && !m_status.isGood());
    return OpcUa_Good;
}

void ServiceEntryFrame::traceClosing(bool withResult) const
{
    if (!UaTrace::isTraceLevelOn(4))
        return;
    if (withResult)
        UaTrace::traceLevel4("<== UaServer::%s [ServiceResult=0x%lx]", m_service,
                             static_cast<unsigned long>(m_status.statusCode()));
    else
        UaTrace::traceLevel4("<== UaServer::%s", m_service);
}
