#ifndef UASERVER_HISTORYMANAGER_H
#define UASERVER_HISTORYMANAGER_H

#include <uaservicediagnostics.h>
#include <uastatus.h>
#include <uastructurearrays.h>
#include <uavariantarrays.h>

#include <opcua.h>

class HistoryReadContinuationPoint;
class ServiceContext;
class UaNodeHandle;

// The history operation a node's history handle is asked for, and a history transaction runs.
namespace HistoryOperation
{
constexpr OpcUa_UInt32 ReadEvents = 0;
constexpr OpcUa_UInt32 ReadRaw = 1;
constexpr OpcUa_UInt32 ReadModified = 2;
constexpr OpcUa_UInt32 ReadProcessed = 3;
constexpr OpcUa_UInt32 ReadAtTime = 4;
constexpr OpcUa_UInt32 UpdateData = 5;
constexpr OpcUa_UInt32 DeleteRawModified = 7;
constexpr OpcUa_UInt32 DeleteAtTime = 8;
} // namespace HistoryOperation

// How a history manager answers the items of a history transaction: once per item that a begin
// call accepted, with the transaction id and the item's callback handle (its index plus 1), from
// any thread. Continuation point objects, values and results are handed over.
class HistoryManagerCallback
{
public:
    virtual ~HistoryManagerCallback() = default;

    virtual UaStatus finishHistoryReadData(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                           const UaStatus& status,
                                           HistoryReadContinuationPoint* pContinuationPoint,
                                           UaDataValueArray& dataValues, bool sendNow) = 0;
    virtual UaStatus finishHistoryReadModifiedData(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                                   const UaStatus& status,
                                                   HistoryReadContinuationPoint* pContinuationPoint,
                                                   UaDataValueArray& dataValues, bool sendNow) = 0;
    virtual UaStatus finishHistoryReadEvent(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                            const UaStatus& status,
                                            HistoryReadContinuationPoint* pContinuationPoint,
                                            UaHistoryEventFieldListArray& events, bool sendNow) = 0;
    virtual UaStatus finishHistoryUpdate(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                         const UaStatus& status, UaStatusCodeArray& operationResults,
                                         UaDiagnosticInfos& diagnosticInfos, bool sendNow) = 0;
};

// Whatever keeps the history of nodes. For one service call: beginHistoryTransaction, a begin
// call per item of the transaction's operation, finishHistoryTransaction. A begin call that returns
// a Bad status is never answered; any other is answered exactly once through the callback.
class HistoryManager
{
public:
    virtual ~HistoryManager() = default;

    // operation: the read's, or UpdateData for an update transaction, whose items name their own.
    // pDetails: the request's decoded details (ReadEventDetails, ReadRawModifiedDetails,
    // ReadProcessedDetails or ReadAtTimeDetails) for the reads; null for the updates, whose details
    // come per item.
    virtual UaStatus beginHistoryTransaction(HistoryManagerCallback* pCallback,
                                             const ServiceContext& serviceContext, OpcUa_UInt32 hTransaction,
                                             OpcUa_UInt32 totalItemCountHint, OpcUa_UInt32 operation,
                                             OpcUa_TimestampsToReturn timestampsToReturn,
                                             const OpcUa_Void* pDetails,
                                             OpcUa_Handle& hHistoryManagerContext) = 0;
    // pContinuationPoint: where an earlier read of the node stopped, null for a first read; the
    // manager owns it from now on, also when it refuses the item.
    virtual UaStatus beginHistoryRead(OpcUa_Handle hHistoryManagerContext, OpcUa_UInt32 callbackHandle,
                                      UaNodeHandle* pNodeHandle, const OpcUa_HistoryReadValueId* pNodeToRead,
                                      HistoryReadContinuationPoint* pContinuationPoint) = 0;
    // operation: UpdateData, DeleteRawModified or DeleteAtTime; pDetails: the item's decoded
    // UpdateDataDetails, DeleteRawModifiedDetails or DeleteAtTimeDetails.
    virtual UaStatus beginHistoryUpdate(OpcUa_Handle hHistoryManagerContext, OpcUa_UInt32 callbackHandle,
                                        UaNodeHandle* pNodeHandle, OpcUa_UInt32 operation,
                                        const OpcUa_Void* pDetails) = 0;
    virtual UaStatus finishHistoryTransaction(OpcUa_Handle hHistoryManagerContext) = 0;
};

#endif
