#include "pendingservicerequest.h"

#include "uasession.h"

#include <uastatus.h>
#include <uatrace.h>

PendingServiceRequest::PendingServiceRequest(OpcUa_Endpoint hEndpoint, OpcUa_Handle hContext,
                                             OpcUa_EncodeableType* pRequestType, UaSession* session,
                                             OpcUa_Void* pRequest)
    : m_hEndpoint(hEndpoint), m_hContext(hContext), m_pRequestType(pRequestType), m_pRequest(pRequest),
      m_pSession(session)
{
    m_serviceContext.setSessionAndHeader(session, requestHeader());
}

PendingServiceRequest::~PendingServiceRequest()
{
    OpcUa_EncodeableObject_Delete(m_pResponseType, &m_pResponse);
    releaseDiagnosticInfos();
}

OpcUa_UInt32 PendingServiceRequest::requestHandle() const
{
    return m_pRequest != nullptr ? requestHeader().RequestHandle : 0;
}

bool PendingServiceRequest::wantsOperationDiagnostics() const
{
    return m_serviceContext.returnDiagnostics() >= 0x20;
}

OpcUa_StatusCode PendingServiceRequest::prepareItems(OpcUa_UInt32 itemCount)
{
    UaMutexLocker lock(&m_mutex);
    m_itemCount = itemCount;
    releaseDiagnosticInfos();
    return wantsOperationDiagnostics() ? m_diagnosticInfos.create(itemCount) : OpcUa_Good;
}

void PendingServiceRequest::setDiagnosticInfo(OpcUa_UInt32 index, UaDiagnosticInfo* diagnosticInfo)
{
    if (diagnosticInfo == nullptr || index >= m_diagnosticInfos.length())
        return;
    diagnosticInfo->addReference();
    if (m_diagnosticInfos[index] != nullptr)
        m_diagnosticInfos[index]->release();
    m_diagnosticInfos[index] = diagnosticInfo;
}

void PendingServiceRequest::holdOpen()
{
    UaMutexLocker lock(&m_mutex);
    m_held = true;
}

bool PendingServiceRequest::releaseHold()
{
    UaMutexLocker lock(&m_mutex);
    m_held = false;
    return completesLocked();
}

OpcUa_UInt32 PendingServiceRequest::finishedCount()
{
    UaMutexLocker lock(&m_mutex);
    return m_finishedCount;
}

bool PendingServiceRequest::countFinishedLocked()
{
    ++m_finishedCount;
    return completesLocked();
}

bool PendingServiceRequest::completesLocked()
{
    // Once only, whatever further results a misbehaving manager reports.
    if (m_completed || m_held || m_finishedCount < m_itemCount)
        return false;
    m_completed = true;
    return true;
}

void PendingServiceRequest::releaseDiagnosticInfos()
{
    for (OpcUa_UInt32 i = 0; i < m_diagnosticInfos.length(); ++i)
    {
        if (m_diagnosticInfos[i] != nullptr)
            m_diagnosticInfos[i]->release();
    }
    m_diagnosticInfos.clear();
}

bool PendingServiceRequest::obtainResponse(const char* service)
{
    if (m_pResponse != nullptr)
        return true;
    const OpcUa_StatusCode begun =
        OpcUa_Endpoint_BeginSendResponse(m_hEndpoint, m_hContext, &m_pResponse, &m_pResponseType);
    if (OpcUa_IsGood(begun))
        return true;
    m_pResponse = nullptr;
    m_pResponseType = nullptr;
    OpcUa_EncodeableObject_Delete(m_pRequestType, &m_pRequest);
    if (UaTrace::isTraceLevelOn(1))
        UaTrace::traceLevel1("Send Response for %s failed at BeginSendResponse [Result=0x%lx]", service,
                             static_cast<unsigned long>(begun));
    // The stack still holds the request: cancelled with the failure, the client gets a fault while
    // its channel lives. The service ends here too, or the session would count it (and stay
    // referenced) for ever.
    OpcUa_Endpoint_CancelSendResponse(m_hEndpoint, begun, nullptr, &m_hContext);
    if (m_pSession != nullptr)
        m_pSession->finishedServiceProcessing();
    return false;
}

void PendingServiceRequest::fillResponseHeader(OpcUa_ResponseHeader& header)
{
    UaStatus(OpcUa_Good).fillResponseHeader(requestHeader(), header);
}

void PendingServiceRequest::fillResponseHeader(OpcUa_ResponseHeader& header, OpcUa_Int32& noOfDiagnosticInfos,
                                               OpcUa_DiagnosticInfo*& diagnosticInfos)
{
    fillResponseHeader(header);
    if (m_diagnosticInfos.length() == 0)
        return;
    UaDiagnosticInfos built;
    OpcUa_Boolean hasDiagnostics = OpcUa_False;
    buildDiagnosticInfos(m_serviceContext.returnDiagnostics(), m_diagnosticInfos, built, hasDiagnostics,
                         header);
    if (!hasDiagnostics)
        return;
    noOfDiagnosticInfos = static_cast<OpcUa_Int32>(built.length());
    diagnosticInfos = built.data();
    built.detach();
}

void PendingServiceRequest::sendOrCancel(const char* service, bool namedCancel)
{
    const int handle = static_cast<int>(requestHandle());
    if (m_pSession != nullptr && !m_pSession->secureChannelStillValid())
    {
        if (UaTrace::isTraceLevelOn(4))
        {
            if (namedCancel)
                UaTrace::traceLevel4("CALL  Cancel Response for %s - Secure Channel is invalid [Request=%d]",
                                     service, handle);
            else
                UaTrace::traceLevel4("CALL  Cancel Response - Secure Channel is invalid [Request=%d]",
                                     handle);
        }
        // Status 0: nothing is sent on a channel that is gone.
        OpcUa_Endpoint_CancelSendResponse(m_hEndpoint, OpcUa_Good, nullptr, &m_hContext);
    }
    else
    {
        if (UaTrace::isTraceLevelOn(4))
            UaTrace::traceLevel4(
                "CALL  Send Response for %s [Request=%d][ServiceResult=0x%lx]", service, handle,
                static_cast<unsigned long>(static_cast<OpcUa_ResponseHeader*>(m_pResponse)->ServiceResult));
        OpcUa_Endpoint_EndSendResponse(m_hEndpoint, &m_hContext, OpcUa_Good, m_pResponse, m_pResponseType);
    }
    if (UaTrace::isTraceLevelOn(4))
        UaTrace::traceLevel4("CLEAN Send Response for %s", service);
    if (m_pSession != nullptr)
        m_pSession->finishedServiceProcessing();
    OpcUa_EncodeableObject_Delete(m_pResponseType, &m_pResponse);
    OpcUa_EncodeableObject_Delete(m_pRequestType, &m_pRequest);
    if (UaTrace::isTraceLevelOn(4))
        UaTrace::traceLevel4("DONE  Send Response for %s", service);
}
