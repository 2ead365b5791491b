// The I/O manager of the device-profile variables: their Value goes to and from the device
// through its own Profilelink binding when a transaction finishes, item by item; monitoring goes
// to the polling watch it owns. Every other attribute never reaches it.
#pragma once

#include "gktapi.h"
#include "uagktwatch.h"

#include <iomanager.h>

#include <mutex>

class CUaGktItem;

class CUaGktIoManager : public IOManager
{
public:
    // Binds Profilelink (a failed load leaves every device access failing) and starts the watch.
    // The device is opened by the first access.
    CUaGktIoManager();
    // Stops and shuts the watch down, closes the device when it was opened, unloads the binding.
    ~CUaGktIoManager() override;
    CUaGktIoManager(const CUaGktIoManager&) = delete;
    CUaGktIoManager& operator=(const CUaGktIoManager&) = delete;

    UaStatus beginTransaction(IOManagerCallback* pCallback, const ServiceContext& serviceContext,
                              OpcUa_UInt32 hTransaction, OpcUa_UInt32 totalItemCountHint, OpcUa_Double maxAge,
                              OpcUa_TimestampsToReturn timestampsToReturn, OpcUa_UInt32 transactionType,
                              OpcUa_Handle& hIOManagerContext) override;
    // Registers the item with the watch and answers at once, with the revised interval of 500 ms.
    UaStatus beginStartMonitoring(OpcUa_Handle hIOManagerContext, OpcUa_UInt32 callbackHandle,
                                  IOVariableCallback* pIOVariableCallback, VariableHandle* pVariableHandle,
                                  MonitoringContext& monitoringContext) override;
    // The interval of a monitored item cannot change: BadNotImplemented.
    UaStatus beginModifyMonitoring(OpcUa_Handle hIOManagerContext, OpcUa_UInt32 callbackHandle,
                                   OpcUa_UInt32 hIOVariable, MonitoringContext& monitoringContext) override;
    UaStatus beginStopMonitoring(OpcUa_Handle hIOManagerContext, OpcUa_UInt32 callbackHandle,
                                 OpcUa_UInt32 hIOVariable) override;
    // Queue the request; the device is reached by finishTransaction.
    UaStatus beginRead(OpcUa_Handle hIOManagerContext, OpcUa_UInt32 callbackHandle,
                       VariableHandle* pVariableHandle, OpcUa_ReadValueId* pReadValueId) override;
    UaStatus beginWrite(OpcUa_Handle hIOManagerContext, OpcUa_UInt32 callbackHandle,
                        VariableHandle* pVariableHandle, OpcUa_WriteValue* pWriteValue) override;
    // Reads or writes every queued item and answers each; a read transaction gives Good, a write
    // transaction BadNotImplemented (each item's own status goes to the callback).
    UaStatus finishTransaction(OpcUa_Handle hIOManagerContext) override;

    UaStatus startUpSampling(ServerManager*) override { return OpcUa_Good; }
    UaStatus readValues(const UaVariableArray&, UaDataValueArray&) override
    {
        return OpcUa_BadNotImplemented;
    }
    UaStatus writeValues(const UaVariableArray&, const UaDataValueArray&, UaStatusCodeArray&) override
    {
        return OpcUa_BadNotImplemented;
    }
    bool beforeSetAttributeValue(Session*, UaNode*, OpcUa_Int32, const UaDataValue&,
                                 bool& checkAccessLevel) override
    {
        checkAccessLevel = true;
        return true;
    }
    void afterSetAttributeValue(Session*, UaNode*, OpcUa_Int32, const UaDataValue&) override {}
    void afterGetAttributeValue(Session*, UaNode*, OpcUa_Int32, UaDataValue&) override {}
    UaStatus beforeMonitorAttributeValue(Session*, UaNode*, OpcUa_Int32, bool& abortMonitoring) override
    {
        abortMonitoring = false;
        return OpcUa_Good;
    }
    void variableCacheMonitoringChanged(UaNode*, OpcUa_UInt32) override {}

    // One device access through the binding: 0 or Profilelink's failure code;
    // BadConnectionRejected when the device cannot be opened, BadUnexpectedError without the
    // export. A lost connection closes the device, so that the next access opens it again.
    OpcUa_UInt32 GktRead(OpcUa_UInt16 index, OpcUa_Byte subindex, OpcUa_Byte flags, OpcUa_UInt32 length,
                         void* buffer, OpcUa_UInt32* bytesRead);
    OpcUa_UInt32 GktWrite(OpcUa_UInt16 index, OpcUa_Byte subindex, OpcUa_Byte flags, OpcUa_UInt32 length,
                          const void* data);

    // The item's value as the device has it now (the cache is left alone): BadNotImplemented for a
    // type the server does not know, BadInternalError when the read fails.
    UaDataValue readItem(const CUaGktItem& item);
    // Checks the value against the item, writes it to the device and, once the device took it,
    // stores it in the item: the status of the first step that failed, else Good.
    UaStatus writeItem(Session* session, CUaGktItem& item, const UaDataValue& dataValue);
    // Bytes a read of the item asks for; 0 for an unknown type.
    static OpcUa_UInt32 readSize(const CUaGktItem& item);

    CUaGktWatch& watch() { return m_watch; }

private:
    class Transaction;

    // Under the device lock: opens the device when it is not open; false when that fails.
    bool ensureOpen();
    // Under the device lock: a result that says the device is gone closes our use of it.
    void checkConnection(LONG result);
    void read(Transaction& transaction);
    void write(Transaction& transaction);

    GktApiTable m_api;
    CUaGktWatch m_watch;
    bool m_opened = false;
    // Serialises every call through the binding and guards m_opened: stack threads and the watch
    // share the device.
    std::mutex m_deviceLock;
};
