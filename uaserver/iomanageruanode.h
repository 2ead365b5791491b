#ifndef UASERVER_IOMANAGERUANODE_H
#define UASERVER_IOMANAGERUANODE_H

#include "iojobpool.h"
#include "iomanager.h"

#include <functional>
#include <memory>

class IOSamplingEngine;
class UaVariableCache;

// The I/O manager of node managers whose nodes are UaNodes. Every attribute but a variable's Value,
// and the Value of a cached variable, is answered at once from the node; the Value of any other
// variable is queued and read or written in one batch on a pool thread, through readValues and
// writeValues, which a derived class connects to its data source. A node manager usually derives
// from NodeManagerUaNode and from this class and names itself as the I/O manager of its nodes.
//
// Monitoring goes to the I/O manager's sampling engine: cached values are reported by the variable
// and ticked by a SamplingEngine, other values read in one batch per rate group through readValues.
//
// The I/O manager holds no node lock: each node guards its own attribute access. Its pool must
// have run every queued job before a derived class is destroyed, and a derived class that overrides
// readValues calls stopSampling in its destructor, so that no sampling reaches it half destroyed.
class IOManagerUaNode : public IOManager
{
public:
    IOManagerUaNode();
    ~IOManagerUaNode() override;

    UaStatus beginTransaction(IOManagerCallback* pCallback, const ServiceContext& serviceContext,
                              OpcUa_UInt32 hTransaction, OpcUa_UInt32 totalItemCountHint, OpcUa_Double maxAge,
                              OpcUa_TimestampsToReturn timestampsToReturn, OpcUa_UInt32 transactionType,
                              OpcUa_Handle& hIOManagerContext) override;
    UaStatus beginStartMonitoring(OpcUa_Handle hIOManagerContext, OpcUa_UInt32 callbackHandle,
                                  IOVariableCallback* pIOVariableCallback, VariableHandle* pVariableHandle,
                                  MonitoringContext& monitoringContext) override;
    UaStatus beginModifyMonitoring(OpcUa_Handle hIOManagerContext, OpcUa_UInt32 callbackHandle,
                                   OpcUa_UInt32 hIOVariable, MonitoringContext& monitoringContext) override;
    UaStatus beginStopMonitoring(OpcUa_Handle hIOManagerContext, OpcUa_UInt32 callbackHandle,
                                 OpcUa_UInt32 hIOVariable) override;
    UaStatus beginRead(OpcUa_Handle hIOManagerContext, OpcUa_UInt32 callbackHandle,
                       VariableHandle* pVariableHandle, OpcUa_ReadValueId* pReadValueId) override;
    UaStatus beginWrite(OpcUa_Handle hIOManagerContext, OpcUa_UInt32 callbackHandle,
                        VariableHandle* pVariableHandle, OpcUa_WriteValue* pWriteValue) override;
    // Without queued items the transaction ends here; otherwise its job goes to the pool, or runs
    // on the calling thread when the pool refuses it.
    UaStatus finishTransaction(OpcUa_Handle hIOManagerContext) override;
    UaStatus startUpSampling(ServerManager* pServerManager) override;
    // Every value BadNotImplemented.
    UaStatus readValues(const UaVariableArray& variables, UaDataValueArray& values) override;
    // BadNotImplemented.
    UaStatus writeValues(const UaVariableArray& variables, const UaDataValueArray& values,
                         UaStatusCodeArray& statuses) override;
    // Allowed, with the access level checked.
    bool beforeSetAttributeValue(Session* session, UaNode* pNode, OpcUa_Int32 attributeId,
                                 const UaDataValue& dataValue, bool& checkAccessLevel) override;
    void afterSetAttributeValue(Session* session, UaNode* pNode, OpcUa_Int32 attributeId,
                                const UaDataValue& dataValue) override;
    void afterGetAttributeValue(Session* session, UaNode* pNode, OpcUa_Int32 attributeId,
                                UaDataValue& dataValue) override;
    UaStatus beforeMonitorAttributeValue(Session* session, UaNode* pNode, OpcUa_Int32 attributeId,
                                         bool& abortMonitoring) override;
    void variableCacheMonitoringChanged(UaNode* pNode, OpcUa_UInt32 transactionType) override;

    // Puts the transaction jobs on another pool (not owned; null goes back to the own pool).
    void setJobPool(IOJobPool* pJobPool);
    IOSamplingEngine* samplingEngine() const { return m_pSamplingEngine.get(); }
    // Ends the sampling of values read through readValues; monitoring can not be started after it.
    void stopSampling();
    // The node manager's side of deleting and adding a cached variable: its sampling items wait for
    // a new variable of the same NodeId, and move to it when it comes.
    void parkSamplingItems(UaVariableCache* pVariable);
    void rebindSamplingItems(UaVariableCache* pVariable);

    // Whether the Value of that node is read and written in the batch rather than at once.
    static bool isQueued(UaNode* pNode, OpcUa_Int32 attributeId);
    // A batch answered item by item by produce (variable, out value) → status: a good item gets its
    // value with both timestamps, any other its status with the server timestamp. Good unless the
    // answers can not be made.
    static UaStatus answerEach(const UaVariableArray& variables, UaDataValueArray& values,
                               const std::function<OpcUa_StatusCode(UaVariable*, UaVariant&)>& produce);

private:
    class TransactionJob;

    void runReadJob(IOTransactionContext& context);
    void runWriteJob(IOTransactionContext& context);

    std::unique_ptr<IOThreadPool> m_ownPool;
    IOJobPool* m_pJobPool;
    std::unique_ptr<IOSamplingEngine> m_pSamplingEngine;
};

#endif
