#include "pendingqueryrequests.h"

#include "uasession.h"

#include <querycontext.h>

template <typename Request> PendingQueryRequest<Request>::~PendingQueryRequest()
{
    delete m_pQueryContext;
}

template <typename Request>
void PendingQueryRequest<Request>::moveQueryResults(OpcUa_Int32& noOfQueryDataSets,
                                                    OpcUa_QueryDataSet*& queryDataSets,
                                                    OpcUa_ByteString& continuationPoint)
{
    noOfQueryDataSets = static_cast<OpcUa_Int32>(m_queryDataSets.length());
    queryDataSets = m_queryDataSets.data();
    m_queryDataSets.detach();
    if (m_pQueryContext != nullptr && !m_pQueryContext->isFinished() && this->session() != nullptr)
    {
        // The session owns the context from now on, also when it cannot park it.
        this->session()->queueQueryContext(m_pQueryContext, continuationPoint);
        m_pQueryContext = nullptr;
    }
}

template class PendingQueryRequest<OpcUa_QueryFirstRequest>;
template class PendingQueryRequest<OpcUa_QueryNextRequest>;

PendingQueryFirstRequest::PendingQueryFirstRequest(OpcUa_Endpoint hEndpoint, OpcUa_Handle hContext,
                                                   OpcUa_EncodeableType* pRequestType, UaSession* session,
                                                   OpcUa_QueryFirstRequest* pRequest,
                                                   QueryContext* queryContext)
    : PendingQueryRequest(hEndpoint, hContext, pRequestType, session, pRequest, queryContext)
{
    OpcUa_ContentFilterResult_Initialize(&m_filterResult);
}

PendingQueryFirstRequest::~PendingQueryFirstRequest()
{
    OpcUa_ContentFilterResult_Clear(&m_filterResult);
}

void PendingQueryFirstRequest::sendResponse()
{
    if (!obtainResponse("QueryFirst"))
        return;
    auto* response = static_cast<OpcUa_QueryFirstResponse*>(m_pResponse);
    fillResponseHeader(response->ResponseHeader, response->NoOfDiagnosticInfos, response->DiagnosticInfos);
    moveQueryResults(response->NoOfQueryDataSets, response->QueryDataSets, response->ContinuationPoint);
    response->NoOfParsingResults = static_cast<OpcUa_Int32>(m_parsingResults.length());
    response->ParsingResults = m_parsingResults.data();
    m_parsingResults.detach();
    OpcUa_ContentFilterResult_Clear(&response->FilterResult);
    response->FilterResult = m_filterResult;
    OpcUa_ContentFilterResult_Initialize(&m_filterResult);
    sendOrCancel("QueryFirst", true);
}

void PendingQueryNextRequest::sendResponse()
{
    if (!obtainResponse("QueryNext"))
        return;
    auto* response = static_cast<OpcUa_QueryNextResponse*>(m_pResponse);
    fillResponseHeader(response->ResponseHeader);
    moveQueryResults(response->NoOfQueryDataSets, response->QueryDataSets,
                     response->RevisedContinuationPoint);
    sendOrCancel("QueryNext", true);
}
