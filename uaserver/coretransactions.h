#ifndef UASERVER_CORETRANSACTIONS_H
#define UASERVER_CORETRANSACTIONS_H

#include "handletable.h"
#include "iomanagercallback.h"
#include "nodeattributereader.h"

#include <uamutex.h>
#include <uapointerarray.h>
#include <uastructurearrays.h>

class ServerManager;
class VariableHandle;

// The server's own reads of attributes of any namespace: the items are split by the I/O manager
// that serves them, each I/O manager runs one read transaction, and the caller waits until every
// item is answered, on whatever thread the answers come. It is the process's attribute reader for
// the browse and translate walks.
class CoreTransactions : public IOManagerCallback, public NodeAttributeReader
{
public:
    // pOwner gives the root node manager that finds the handles of readByNodeIds.
    explicit CoreTransactions(ServerManager* pOwner);
    ~CoreTransactions() override;

    // One result per item, in order; item i is answered under the 1-based index i + 1. An item
    // without handle is BadNodeIdUnknown, one whose handle names no I/O manager BadInternalError.
    // No items: BadNothingToDo.
    UaStatus read(const ServiceContext& serviceContext, OpcUa_Double maxAge,
                  OpcUa_TimestampsToReturn timestampsToReturn,
                  const UaPointerArray<VariableHandle>& variableHandles,
                  const UaReadValueIdArray& nodesToRead, UaDataValueArray& results);
    // Asks the root node manager for the handles, reads, and releases them.
    UaStatus readByNodeIds(const ServiceContext& serviceContext, OpcUa_Double maxAge,
                           OpcUa_TimestampsToReturn timestampsToReturn, const UaReadValueIdArray& nodesToRead,
                           UaDataValueArray& results) override;

    // An unknown transaction is BadInvalidArgument; an index outside the items stores nothing but
    // still counts as an answer.
    UaStatus finishRead(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle, UaDataValue& dataValue,
                        bool mayMove, bool sendNow, UaDiagnosticInfo* pDiagnosticInfo) override;
    // The server reads only; nothing else is ever begun with this callback.
    UaStatus finishWrite(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle, UaStatus& status,
                         bool sendNow) override;
    UaStatus finishStartMonitoring(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                   OpcUa_UInt32 samplingItemHandle, OpcUa_Double revisedSamplingInterval,
                                   bool initialValueAvailable, UaDataValue& initialValue,
                                   const UaStatus& status) override;
    UaStatus finishModifyMonitoring(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                    OpcUa_Double revisedSamplingInterval, const UaStatus& status) override;
    UaStatus finishStopMonitoring(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                  UaStatus& status) override;

    // Read transactions in progress.
    OpcUa_UInt32 pendingCount() const;

private:
    class ReadTransaction;

    // The transaction with a reference added; null when the id names none.
    ReadTransaction* findTransaction(OpcUa_UInt32 hTransaction) const;

    ServerManager* m_pOwner;
    mutable UaMutex m_mutex;
    HandleTable<ReadTransaction> m_pendingTransactions;
};

#endif
