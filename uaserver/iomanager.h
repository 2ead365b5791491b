#ifndef UASERVER_IOMANAGER_H
#define UASERVER_IOMANAGER_H

#include "iomanagercallback.h"
#include "referencecounter.h"

#include <uanumericrange.h>
#include <uapointerarray.h>
#include <uastatus.h>
#include <uavariantarrays.h>

#include <opcua.h>

#include <vector>

class IOManager;
class ServerManager;
class ServiceContext;
class Session;
class UaNode;
class UaVariable;
class VariableHandle;

using UaVariableArray = UaPointerArray<UaVariable>;

// The type a transaction is begun with.
namespace IOTransactionType
{
constexpr OpcUa_UInt32 Read = 0;
constexpr OpcUa_UInt32 Write = 1;
constexpr OpcUa_UInt32 StartMonitoring = 2;
constexpr OpcUa_UInt32 ModifyMonitoring = 3;
constexpr OpcUa_UInt32 StopMonitoring = 4;
} // namespace IOTransactionType

// What a subscription asks of one monitored item.
struct MonitoringContext
{
    OpcUa_Double samplingInterval = 0.0;
    OpcUa_Double deadband = 0.0;
    // True for an absolute deadband, false for a percent deadband.
    bool isAbsoluteDeadband = false;
    // Set by beginStartMonitoring to a copy of isAbsoluteDeadband: the monitored item applies the
    // absolute deadband itself.
    bool itemAppliesAbsoluteDeadband = false;
    // Null when none.
    const OpcUa_String* pIndexRange = nullptr;
};

// One transaction of one I/O manager, from beginTransaction to the end of its job (or to
// finishTransaction when nothing was queued). It holds a reference to its session and to every
// queued variable, so that both outlive the service call that began it.
class IOTransactionContext
{
public:
    IOTransactionContext(IOManagerCallback* pCallback, const ServiceContext& serviceContext,
                         OpcUa_UInt32 hTransaction, OpcUa_UInt32 countHint,
                         OpcUa_TimestampsToReturn timestampsToReturn, OpcUa_UInt32 transactionType,
                         IOManager* pIOManager);
    virtual ~IOTransactionContext();
    IOTransactionContext(const IOTransactionContext&) = delete;
    IOTransactionContext& operator=(const IOTransactionContext&) = delete;

    IOManagerCallback* callback() const { return m_pCallback; }
    OpcUa_UInt32 hTransaction() const { return m_hTransaction; }
    OpcUa_UInt32 countHint() const { return m_countHint; }
    OpcUa_TimestampsToReturn timestampsToReturn() const { return m_timestampsToReturn; }
    OpcUa_UInt32 transactionType() const { return m_transactionType; }
    OpcUa_UInt32 returnDiagnostics() const { return m_returnDiagnostics; }
    IOManager* ioManager() const { return m_pIOManager; }
    Session* pSession() const { return m_pSession; }
    // The session through its counted base, for objects that keep it beyond the transaction.
    ReferenceCounter* sessionReference() const { return m_sessionReference.get(); }

    // Queues one item; the context adds a reference to the variable. pIndexRange may be null.
    void queueRead(OpcUa_UInt32 callbackHandle, UaVariable* pVariable, const UaNumericRange* pIndexRange);
    void queueWrite(OpcUa_UInt32 callbackHandle, UaVariable* pVariable, const UaDataValue& dataValue);
    // A monitoring item for the transaction's job: a start queues its variable (referenced), a
    // modify and a stop none.
    void queueMonitoring(OpcUa_UInt32 callbackHandle, UaVariable* pVariable, OpcUa_UInt32 itemHandle,
                         OpcUa_Double samplingInterval);
    OpcUa_UInt32 queuedCount() const { return static_cast<OpcUa_UInt32>(m_callbackHandles.size()); }
    bool hasQueuedItems() const { return !m_callbackHandles.empty(); }
    // Trims the queues to the queued count once no more items come.
    void trimQueues();

    OpcUa_UInt32 callbackHandle(OpcUa_UInt32 i) const { return m_callbackHandles[i]; }
    UaVariable* variable(OpcUa_UInt32 i) const { return m_variables[i]; }
    // Null when the item has no index range.
    const UaNumericRange* indexRange(OpcUa_UInt32 i) const;
    const UaDataValue& dataValue(OpcUa_UInt32 i) const { return m_dataValues[i]; }
    OpcUa_UInt32 itemHandle(OpcUa_UInt32 i) const { return m_itemHandles[i]; }
    OpcUa_Double samplingInterval(OpcUa_UInt32 i) const { return m_samplingIntervals[i]; }
    // The queued variables in queue order, as the batch read and write take them.
    void getVariables(UaVariableArray& variables) const;
    void getDataValues(UaDataValueArray& dataValues) const;

private:
    void reserveQueues();

    IOManagerCallback* m_pCallback;
    OpcUa_UInt32 m_hTransaction;
    OpcUa_UInt32 m_countHint;
    OpcUa_TimestampsToReturn m_timestampsToReturn;
    OpcUa_UInt32 m_transactionType;
    OpcUa_UInt32 m_returnDiagnostics;
    std::vector<OpcUa_UInt32> m_callbackHandles;
    std::vector<UaVariable*> m_variables;
    std::vector<UaDataValue> m_dataValues;
    std::vector<bool> m_hasIndexRange;
    std::vector<UaNumericRange> m_indexRanges;
    std::vector<OpcUa_UInt32> m_itemHandles;
    std::vector<OpcUa_Double> m_samplingIntervals;
    IOManager* m_pIOManager;
    Session* m_pSession;
    ReferenceHolder<ReferenceCounter> m_sessionReference;
};

// The transaction interface through which the server reads, writes and monitors the values of a
// namespace's nodes. For one service call: beginTransaction, any number of begin calls of the
// transaction's type, finishTransaction. A begin call that returns a good status is answered
// exactly once through the callback, inside the call or later from another thread; one that
// returns a bad status is never answered and the caller takes that status as the item's result.
class IOManager
{
public:
    virtual ~IOManager() = default;

    virtual UaStatus beginTransaction(IOManagerCallback* pCallback, const ServiceContext& serviceContext,
                                      OpcUa_UInt32 hTransaction, OpcUa_UInt32 totalItemCountHint,
                                      OpcUa_Double maxAge, OpcUa_TimestampsToReturn timestampsToReturn,
                                      OpcUa_UInt32 transactionType, OpcUa_Handle& hIOManagerContext) = 0;
    virtual UaStatus beginStartMonitoring(OpcUa_Handle hIOManagerContext, OpcUa_UInt32 callbackHandle,
                                          IOVariableCallback* pIOVariableCallback,
                                          VariableHandle* pVariableHandle,
                                          MonitoringContext& monitoringContext) = 0;
    virtual UaStatus beginModifyMonitoring(OpcUa_Handle hIOManagerContext, OpcUa_UInt32 callbackHandle,
                                           OpcUa_UInt32 hIOVariable,
                                           MonitoringContext& monitoringContext) = 0;
    virtual UaStatus beginStopMonitoring(OpcUa_Handle hIOManagerContext, OpcUa_UInt32 callbackHandle,
                                         OpcUa_UInt32 hIOVariable) = 0;
    virtual UaStatus beginRead(OpcUa_Handle hIOManagerContext, OpcUa_UInt32 callbackHandle,
                               VariableHandle* pVariableHandle, OpcUa_ReadValueId* pReadValueId) = 0;
    virtual UaStatus beginWrite(OpcUa_Handle hIOManagerContext, OpcUa_UInt32 callbackHandle,
                                VariableHandle* pVariableHandle, OpcUa_WriteValue* pWriteValue) = 0;
    virtual UaStatus finishTransaction(OpcUa_Handle hIOManagerContext) = 0;
    // pServerManager may be null.
    virtual UaStatus startUpSampling(ServerManager* pServerManager) = 0;
    // The batch read and write of variable values: one data value, or one status, per variable.
    virtual UaStatus readValues(const UaVariableArray& variables, UaDataValueArray& values) = 0;
    virtual UaStatus writeValues(const UaVariableArray& variables, const UaDataValueArray& values,
                                 UaStatusCodeArray& statuses) = 0;
    // Hooks around attribute access. checkAccessLevel: whether the node checks its access level.
    virtual bool beforeSetAttributeValue(Session* session, UaNode* pNode, OpcUa_Int32 attributeId,
                                         const UaDataValue& dataValue, bool& checkAccessLevel) = 0;
    virtual void afterSetAttributeValue(Session* session, UaNode* pNode, OpcUa_Int32 attributeId,
                                        const UaDataValue& dataValue) = 0;
    virtual void afterGetAttributeValue(Session* session, UaNode* pNode, OpcUa_Int32 attributeId,
                                        UaDataValue& dataValue) = 0;
    virtual UaStatus beforeMonitorAttributeValue(Session* session, UaNode* pNode, OpcUa_Int32 attributeId,
                                                 bool& abortMonitoring) = 0;
    // A cached variable gained or lost monitoring (the transaction type that changed it).
    virtual void variableCacheMonitoringChanged(UaNode* pNode, OpcUa_UInt32 transactionType) = 0;
};

#endif
