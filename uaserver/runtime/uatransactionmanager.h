#ifndef UASERVER_RUNTIME_UATRANSACTIONMANAGER_H
#define UASERVER_RUNTIME_UATRANSACTIONMANAGER_H

#include <historymanager.h>
#include <iomanagercallback.h>

#include "transactionshards.h"

#include <uamutex.h>
#include <uastatus.h>
#include <uavariantarrays.h>

#include <opcua.h>

#include <condition_variable>

class ConditionRefreshHandler;
class NodeManager;
class PendingCallRequest;
class PendingHistoryReadRequest;
class PendingHistoryUpdateRequest;
class PendingReadRequest;
class PendingServiceRequest;
class PendingWriteRequest;
class ServerManagerLink;
class ServiceContext;
class UaSession;
class UaNodeHandle;
class UaThreadPool;
class VariableHandle;

// Turns a service request that names many nodes into transactions of the node managers that own
// them, collects the item results that come back on any thread, and sends the response once the
// last one is in: in the reporting thread when it asks for that, else on a worker of its pool.
//
// A Read, Write, HistoryRead or HistoryUpdate is in the transaction table, under its transaction
// id, from before its first item is looked up until it is complete; it leaves the table before it
// is handed to the pool. Ids carry a generation: an answer for a transaction that has finished is
// refused, whatever request holds its slot now. A begin operation holds its request open until it
// no longer reads it; a request all of whose items were answered by then (cached values, errors)
// is sent by the begin operation itself, without a hand-over to another thread.
// The mutex guards the table and the pool pointer only; it is never held while calling a node
// manager or sending.
class UaTransactionManager : public HistoryManagerCallback, public IOManagerCallback
{
public:
    // creator: where ConditionRefresh calls go (the subscription manager); may be null.
    UaTransactionManager(ServerManagerLink* pServerManager, ConditionRefreshHandler* pCreator);
    ~UaTransactionManager() override;
    UaTransactionManager(const UaTransactionManager&) = delete;
    UaTransactionManager& operator=(const UaTransactionManager&) = delete;

    UaStatus finishHistoryReadData(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                   const UaStatus& status, HistoryReadContinuationPoint* pContinuationPoint,
                                   UaDataValueArray& dataValues, bool sendNow) override;
    UaStatus finishHistoryReadModifiedData(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                           const UaStatus& status,
                                           HistoryReadContinuationPoint* pContinuationPoint,
                                           UaDataValueArray& dataValues, bool sendNow) override;
    UaStatus finishHistoryReadEvent(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                    const UaStatus& status, HistoryReadContinuationPoint* pContinuationPoint,
                                    UaHistoryEventFieldListArray& events, bool sendNow) override;
    UaStatus finishHistoryUpdate(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                 const UaStatus& status, UaStatusCodeArray& operationResults,
                                 UaDiagnosticInfos& diagnosticInfos, bool sendNow) override;

    // One numeric alias (namespace 99) per node with a variable handle, the NodeId itself for the
    // others.
    virtual UaStatus registerNodes(const ServiceContext& serviceContext, OpcUa_Int32 noOfNodesToRegister,
                                   const OpcUa_NodeId* pNodesToRegister, UaNodeIdArray& registeredNodeIds);
    virtual UaStatus unregisterNodes(const ServiceContext& serviceContext, OpcUa_Int32 noOfNodesToUnregister,
                                     const OpcUa_NodeId* pNodesToUnregister);
    // Queries are not served: BadServiceUnsupported, the request stays the caller's.
    virtual UaStatus beginQuery(PendingServiceRequest* pRequest);

    UaStatus finishRead(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle, UaDataValue& dataValue,
                        bool mayMove, bool sendNow, UaDiagnosticInfo* pDiagnosticInfo) override;
    UaStatus finishWrite(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle, UaStatus& status,
                         bool sendNow) override;
    // Monitoring transactions answer to subscriptions: BadNotImplemented.
    UaStatus finishStartMonitoring(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                   OpcUa_UInt32 samplingItemHandle, OpcUa_Double revisedSamplingInterval,
                                   bool initialValueAvailable, UaDataValue& initialValue,
                                   const UaStatus& status) override;
    UaStatus finishModifyMonitoring(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                    OpcUa_Double revisedSamplingInterval, const UaStatus& status) override;
    UaStatus finishStopMonitoring(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                  UaStatus& status) override;

    // Needs the root node manager and the server configuration, whose pool sizes it takes.
    UaStatus startUp();
    // Waits for the pending transactions (10 s at most), then drops the root and the pool;
    // transactions still pending are answered inline when their last result comes.
    UaStatus shutDown();
    // Returns once the table is empty, or after the wait limit (1000 rounds of 10 ms).
    void waitForPendingTransactions();

    // Good: the manager answers the request. Bad: nothing was started, the request stays the
    // caller's.
    UaStatus beginRead(PendingReadRequest* pRequest);
    UaStatus beginWrite(PendingWriteRequest* pRequest);
    UaStatus beginHistoryRead(PendingHistoryReadRequest* pRequest);
    UaStatus beginHistoryUpdate(PendingHistoryUpdateRequest* pRequest);
    UaStatus beginMethodCall(PendingCallRequest* pRequest);

    // Transactions in the table.
    OpcUa_UInt32 pendingTransactions() const;
    // The pool's sizes; 0 and 0 without a pool.
    void workerPoolSizes(OpcUa_UInt32& minThreads, OpcUa_UInt32& maxThreads) const;
    // The rounds of 10 ms that shutDown waits for pending transactions (tests shorten it).
    void setPendingWaitRounds(OpcUa_UInt32 rounds) { m_pendingWaitRounds = rounds; }

private:
    // What a Read and a Write pass to their I/O transactions.
    struct IoSettings
    {
        OpcUa_UInt32 serviceType;
        OpcUa_UInt32 transactionType;
        OpcUa_Double maxAge;
        OpcUa_TimestampsToReturn timestampsToReturn;
    };

    NodeManager* nodeManagerRoot() const;
    // The frame of a begin operation whose request enters the table: with its results prepared
    // (prepared: their status) the request is held open and entered, begin(root, hTransaction)
    // hands its items over, and the hold ends. Bad, traced and with nothing entered, without a root
    // node manager.
    template <typename Begin>
    UaStatus runTransaction(const char* operation, PendingServiceRequest* pRequest, OpcUa_StatusCode prepared,
                            Begin begin);
    static void traceEntry(const char* operation, OpcUa_Int32 noOfItems);
    static void traceExit(const char* operation, const UaStatus& status);
    // A manager's result for an item of the Request under hTransaction: finish(request) stores it,
    // true when that completed the request, which is then sent. BadInvalidArgument without such a
    // request.
    template <typename Request, typename Finish>
    UaStatus finishItem(OpcUa_UInt32 hTransaction, bool sendNow, Finish finish);
    // The same for a HistoryRead item; its continuation point is deleted when there is no request.
    template <typename Finish>
    UaStatus finishHistoryReadItem(OpcUa_UInt32 hTransaction, bool sendNow,
                                   HistoryReadContinuationPoint* pContinuationPoint, Finish finish);
    // The items of a Read or Write: looked up, grouped into one transaction per I/O manager in the
    // order their first items come, handed over with beginItem(manager, context, index, handle);
    // fail(index, status, sendNow) reports an item that failed on the way.
    template <typename Item, typename Fail, typename BeginItem>
    void runIoItems(PendingServiceRequest* pRequest, NodeManager* root, OpcUa_UInt32 hTransaction,
                    const Item* items, const IoSettings& settings, Fail fail, BeginItem beginItem);
    // Enters a request in the table; its transaction id.
    OpcUa_UInt32 addTransaction(PendingServiceRequest* pRequest);
    // Sends a completed request: handed to the pool unless sendNow (or without a pool, or when the
    // pool refuses it), else sent in this thread and deleted. The request leaves the table first
    // (id 0: it never was in it).
    void transactionFinished(OpcUa_UInt32 hTransaction, PendingServiceRequest* pRequest, bool sendNow);
    // Ends the begin operation's hold on a request; one that completed meanwhile is sent here, on
    // the thread that received it, as nothing of it waits any longer.
    void releaseHold(OpcUa_UInt32 hTransaction, PendingServiceRequest* pRequest);

    // The node's history handle; null with the reason in status (BadHistoryOperationUnsupported for
    // a node that is there but keeps no history; Good or BadNodeIdUnknown for an unknown one).
    UaNodeHandle* historyHandle(NodeManager* root, UaSession* session, OpcUa_UInt32 operation,
                                const OpcUa_NodeId& nodeId, UaStatus& status);
    // Reports a read item that failed before an I/O manager took it.
    void failRead(OpcUa_UInt32 hTransaction, OpcUa_UInt32 index, const UaStatus& status,
                  OpcUa_TimestampsToReturn timestampsToReturn, bool sendNow);
    // Reports a history item without data: released, or failed with lookup's status when it is
    // Bad and BadNodeIdUnknown otherwise (traced).
    void failHistoryRead(OpcUa_UInt32 hTransaction, OpcUa_UInt32 index, OpcUa_UInt32 operation,
                         const UaStatus& status);
    void failHistoryItem(OpcUa_UInt32 hTransaction, OpcUa_UInt32 index, const OpcUa_NodeId& nodeId,
                         const UaStatus& lookup, OpcUa_UInt32 operation, bool isUpdate);
    // The items of a HistoryRead or HistoryUpdate entered under hTransaction.
    void beginHistoryReadItems(PendingHistoryReadRequest* pRequest, NodeManager* root,
                               OpcUa_UInt32 hTransaction, OpcUa_UInt32 operation, const OpcUa_Void* details);
    void beginHistoryUpdateItems(PendingHistoryUpdateRequest* pRequest, NodeManager* root,
                                 OpcUa_UInt32 hTransaction);
    static bool isConditionRefresh(const OpcUa_CallMethodRequest& method);
    // ConditionRefresh through the creator; the call's status.
    UaStatus conditionRefresh(OpcUa_UInt32 index, const ServiceContext& serviceContext,
                              const OpcUa_CallMethodRequest& method);
    void traceReadRequest(const OpcUa_ReadRequest& request) const;
    void traceWriteRequest(const OpcUa_WriteRequest& request) const;
    void traceCallRequest(const OpcUa_CallRequest& request) const;

    bool m_started = false;
    ServerManagerLink* m_pServerManager;
    NodeManager* m_pNodeManagerRoot = nullptr;
    ConditionRefreshHandler* m_pCreator;
    UaThreadPool* m_pWorkerPool = nullptr;
    mutable UaMutex m_lock;
    // Guards itself.
    TransactionShards<PendingServiceRequest> m_transactions;
    // Threads handing a request to the pool just now: the pool is not deleted under them.
    OpcUa_UInt32 m_poolUsers = 0;
    std::condition_variable_any m_poolUnused;
    OpcUa_UInt32 m_pendingWaitRounds = 1000;
};

#endif
