// The attribute services: Read and Write go to the transaction manager, which answers them once
// the I/O managers of their nodes are done.
#include "operationlimits.h"
#include "pendingiorequests.h"
#include "serviceentryframe.h"
#include "uaserver.h"
#include "uatransactionmanager.h"

OpcUa_StatusCode UaServer::Read(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_ReadRequest* request,
                                OpcUa_EncodeableType* requestType)
{
    ServiceEntryFrame frame(*this, "Read", endpoint, context, request, requestType);
    if (!frame.enter())
        return OpcUa_Good;
    frame.checkOperations(request->NoOfNodesToRead, request->NodesToRead, OperationLimits::kMaxNodesPerRead);
    frame.check(static_cast<OpcUa_UInt32>(request->TimestampsToReturn) > OpcUa_TimestampsToReturn_Neither,
                OpcUa_BadTimestampsToReturnInvalid);
    // A MaxAge that is not a number is not below 0 and passes.
    frame.check(request->MaxAge < 0.0, OpcUa_BadMaxAgeInvalid);
    return frame.handOver<PendingReadRequest>([this](PendingReadRequest* pending)
                                              { return m_pTransactionManager->beginRead(pending); });
}

OpcUa_StatusCode UaServer::Write(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_WriteRequest* request,
                                 OpcUa_EncodeableType* requestType)
{
    ServiceEntryFrame frame(*this, "Write", endpoint, context, request, requestType);
    if (!frame.enter())
        return OpcUa_Good;
    frame.checkOperations(request->NoOfNodesToWrite, request->NodesToWrite,
                          OperationLimits::kMaxNodesPerWrite);
    return frame.handOver<PendingWriteRequest>([this](PendingWriteRequest* pending)
                                               { return m_pTransactionManager->beginWrite(pending); });
}
