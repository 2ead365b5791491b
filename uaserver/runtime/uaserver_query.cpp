// The query and history services: the transaction manager answers them, except a QueryNext that
// only releases its continuation point.
#include "operationlimits.h"
#include "pendinghistoryrequests.h"
#include "pendingqueryrequests.h"
#include "serviceentryframe.h"
#include "uaserver.h"
#include "uasession.h"
#include "uatransactionmanager.h"

#include <querycontext.h>

OpcUa_StatusCode UaServer::QueryFirst(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                      OpcUa_QueryFirstRequest* request, OpcUa_EncodeableType* requestType)
{
    ServiceEntryFrame frame(*this, "QueryFirst", endpoint, context, request, requestType);
    if (!frame.enter())
        return OpcUa_Good;
    frame.check(ServiceEntryFrame::isEmpty(request->NoOfNodeTypes, request->NodeTypes), OpcUa_BadNothingToDo);
    if (!frame.isGood())
        return frame.refuse();
    // The context takes the query out of the request; deleting the pending request deletes it.
    auto* pending = new PendingQueryFirstRequest(endpoint, context, requestType, frame.session(), request,
                                                 new QueryContext(*request));
    return frame.handOver(pending, m_pTransactionManager->beginQuery(pending));
}

OpcUa_StatusCode UaServer::QueryNext(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                     OpcUa_QueryNextRequest* request, OpcUa_EncodeableType* requestType)
{
    ServiceEntryFrame frame(*this, "QueryNext", endpoint, context, request, requestType);
    if (!frame.enter())
        return OpcUa_Good;
    if (!frame.isGood())
        return frame.refuse();
    // Taking the point uses it up, whether the query goes on or is released.
    QueryContext* query = frame.session()->getQueryContext(request->ContinuationPoint);
    frame.check(query == nullptr, OpcUa_BadContinuationPointInvalid);
    if (!frame.isGood())
        return frame.refuse();
    if (request->ReleaseContinuationPoint)
    {
        delete query;
        if (frame.beginResponse<OpcUa_QueryNextResponse>() == nullptr)
            return frame.refuse();
        return frame.answer(OpcUa_Good);
    }
    auto* pending =
        new PendingQueryNextRequest(endpoint, context, requestType, frame.session(), request, query);
    return frame.handOver(pending, m_pTransactionManager->beginQuery(pending));
}

OpcUa_StatusCode UaServer::HistoryRead(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                       OpcUa_HistoryReadRequest* request, OpcUa_EncodeableType* requestType)
{
    ServiceEntryFrame frame(*this, "HistoryRead", endpoint, context, request, requestType);
    if (!frame.enter())
        return OpcUa_Good;
    frame.checkOperations(request->NoOfNodesToRead, request->NodesToRead,
                          OperationLimits::kMaxNodesPerHistory);
    frame.check(static_cast<OpcUa_UInt32>(request->TimestampsToReturn) > OpcUa_TimestampsToReturn_Neither,
                OpcUa_BadTimestampsToReturnInvalid);
    return frame.handOver<PendingHistoryReadRequest>(
        [this](PendingHistoryReadRequest* pending)
        { return m_pTransactionManager->beginHistoryRead(pending); });
}

OpcUa_StatusCode UaServer::HistoryUpdate(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                         OpcUa_HistoryUpdateRequest* request,
                                         OpcUa_EncodeableType* requestType)
{
    ServiceEntryFrame frame(*this, "HistoryUpdate", endpoint, context, request, requestType);
    if (!frame.enter())
        return OpcUa_Good;
    frame.checkOperations(request->NoOfHistoryUpdateDetails, request->HistoryUpdateDetails,
                          OperationLimits::kMaxNodesPerHistory);
    return frame.handOver<PendingHistoryUpdateRequest>(
        [this](PendingHistoryUpdateRequest* pending)
        { return m_pTransactionManager->beginHistoryUpdate(pending); });
}
