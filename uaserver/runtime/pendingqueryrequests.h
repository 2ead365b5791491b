#ifndef UASERVER_RUNTIME_PENDINGQUERYREQUESTS_H
#define UASERVER_RUNTIME_PENDINGQUERYREQUESTS_H

#include "pendingservicerequest.h"

#include <uastructurearrays.h>

class QueryContext;

// What QueryFirst and QueryNext share: the query context (owned) and the data sets the query
// service fills. Their senders park an unfinished context on the session as a continuation point.
template <typename Request> class PendingQueryRequest : public PendingRequestOf<Request>
{
public:
    // Takes queryContext (may be null) over.
    PendingQueryRequest(OpcUa_Endpoint hEndpoint, OpcUa_Handle hContext, OpcUa_EncodeableType* pRequestType,
                        UaSession* session, Request* pRequest, QueryContext* queryContext)
        : PendingRequestOf<Request>(hEndpoint, hContext, pRequestType, session, pRequest),
          m_pQueryContext(queryContext)
    {
    }
    ~PendingQueryRequest() override;

    QueryContext* m_pQueryContext;
    UaQueryDataSetArray m_queryDataSets;

protected:
    // Moves the data sets into the response and parks an unfinished context, writing its point.
    void moveQueryResults(OpcUa_Int32& noOfQueryDataSets, OpcUa_QueryDataSet*& queryDataSets,
                          OpcUa_ByteString& continuationPoint);
};

class PendingQueryFirstRequest : public PendingQueryRequest<OpcUa_QueryFirstRequest>
{
public:
    PendingQueryFirstRequest(OpcUa_Endpoint hEndpoint, OpcUa_Handle hContext,
                             OpcUa_EncodeableType* pRequestType, UaSession* session,
                             OpcUa_QueryFirstRequest* pRequest, QueryContext* queryContext);
    ~PendingQueryFirstRequest() override;
    void sendResponse() override;

    UaParsingResultArray m_parsingResults;
    OpcUa_ContentFilterResult m_filterResult;
};

class PendingQueryNextRequest : public PendingQueryRequest<OpcUa_QueryNextRequest>
{
public:
    using PendingQueryRequest::PendingQueryRequest;
    void sendResponse() override;
};

#endif
