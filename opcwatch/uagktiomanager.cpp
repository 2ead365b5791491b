#include "uagktiomanager.h"

#include "gkttypes.h"
#include "uagktnodes.h"

#include <attributeids.h>
#include <servicecontext.h>
#include <variablehandle.h>

#include <uatrace.h>

#include <cmath>
#include <vector>

// The requests of one transaction in their order, each variable handle with a reference held.
class CUaGktIoManager::Transaction : public IOTransactionContext
{
public:
    Transaction(IOManagerCallback* pCallback, const ServiceContext& serviceContext, OpcUa_UInt32 hTransaction,
                OpcUa_UInt32 countHint, OpcUa_Double maxAge, OpcUa_TimestampsToReturn timestampsToReturn,
                OpcUa_UInt32 transactionType, IOManager* pIOManager)
        : IOTransactionContext(pCallback, serviceContext, hTransaction, countHint, timestampsToReturn,
                               transactionType, pIOManager),
          m_maxAge(maxAge)
    {
    }
    ~Transaction() override
    {
        for (VariableHandle* handle : m_handles)
            handle->releaseReference();
    }

    void append(OpcUa_UInt32 callbackHandle, VariableHandle* pHandle, const UaDataValue* pWriteValue)
    {
        pHandle->addReference();
        m_callbackHandles.push_back(callbackHandle);
        m_handles.push_back(pHandle);
        if (pWriteValue)
            m_writeValues.push_back(*pWriteValue);
    }
    std::size_t count() const { return m_handles.size(); }
    OpcUa_UInt32 callbackHandleAt(std::size_t i) const { return m_callbackHandles[i]; }
    // The request's node as a device-profile item; null for any other node.
    CUaGktItem* itemAt(std::size_t i) const { return dynamic_cast<CUaGktItem*>(m_handles[i]->pUaNode()); }
    const UaDataValue& writeValueAt(std::size_t i) const { return m_writeValues[i]; }
    OpcUa_Double maxAge() const { return m_maxAge; }

private:
    OpcUa_Double m_maxAge;
    std::vector<OpcUa_UInt32> m_callbackHandles;
    std::vector<VariableHandle*> m_handles;
    std::vector<UaDataValue> m_writeValues;
};

namespace
{
// The codes that tell that our handle on the device is gone: the connection code, "not open",
// and the platform's own errors of a failed I/O call (small positive numbers).
bool isLostConnection(LONG result)
{
    return static_cast<OpcUa_UInt32>(result) == 0xECAF0200u || result == GKT_E_NOT_OPEN || result > 0;
}

UaDataValue failedValue(OpcUa_StatusCode status)
{
    UaDataValue dataValue;
    dataValue.setStatusCode(status);
    dataValue.setSourceTimestamp(UaDateTime::now());
    dataValue.setServerTimestamp(UaDateTime::now());
    return dataValue;
}
} // namespace

CUaGktIoManager::CUaGktIoManager()
{
    // A missing library leaves the table empty: every access then fails on its own.
    GktApiLoad(&m_api);
    m_watch.Init(this);
    m_watch.Start();
}

CUaGktIoManager::~CUaGktIoManager()
{
    m_watch.Stop();
    m_watch.Shutdown();
    {
        std::lock_guard guard(m_deviceLock);
        if (m_opened && m_api.pfnClose)
            m_api.pfnClose();
        m_opened = false;
    }
    GktApiUnload(&m_api);
}

bool CUaGktIoManager::ensureOpen()
{
    if (!m_opened && m_api.pfnOpen)
        m_opened = m_api.pfnOpen() == 0;
    return m_opened;
}

void CUaGktIoManager::checkConnection(LONG result)
{
    if (!isLostConnection(result))
        return;
    if (m_opened && m_api.pfnClose)
        m_api.pfnClose();
    m_opened = false;
}

OpcUa_UInt32 CUaGktIoManager::GktRead(OpcUa_UInt16 index, OpcUa_Byte subindex, OpcUa_Byte flags,
                                      OpcUa_UInt32 length, void* buffer, OpcUa_UInt32* bytesRead)
{
    std::lock_guard guard(m_deviceLock);
    if (!ensureOpen())
        return OpcUa_BadConnectionRejected;
    if (!m_api.pfnSyncRead)
        return OpcUa_BadUnexpectedError;
    DWORD read = 0;
    const LONG result = m_api.pfnSyncRead(index, subindex, flags, length, buffer, &read);
    checkConnection(result);
    if (bytesRead)
        *bytesRead = read;
    return static_cast<OpcUa_UInt32>(result);
}

OpcUa_UInt32 CUaGktIoManager::GktWrite(OpcUa_UInt16 index, OpcUa_Byte subindex, OpcUa_Byte flags,
                                       OpcUa_UInt32 length, const void* data)
{
    std::lock_guard guard(m_deviceLock);
    if (!ensureOpen())
        return OpcUa_BadConnectionRejected;
    if (!m_api.pfnSyncWrite)
        return OpcUa_BadUnexpectedError;
    const LONG result = m_api.pfnSyncWrite(index, subindex, flags, length, data);
    checkConnection(result);
    return static_cast<OpcUa_UInt32>(result);
}

OpcUa_UInt32 CUaGktIoManager::readSize(const CUaGktItem& item)
{
    return gktByteSize(item.gktType());
}

UaDataValue CUaGktIoManager::readItem(const CUaGktItem& item)
{
    const OpcUa_UInt32 size = readSize(item);
    if (size == 0)
        return failedValue(OpcUa_BadNotImplemented);
    // Zeroed, with room for a terminating zero after the longest text.
    std::vector<OpcUa_Byte> buffer(size + 1, 0);
    OpcUa_UInt32 bytesRead = 0;
    if (GktRead(item.index(), item.subindex(), 0, size, buffer.data(), &bytesRead) != 0)
        return failedValue(OpcUa_BadInternalError);
    return rawToDataValue(buffer.data(), std::min(bytesRead, size), item.gktType());
}

UaStatus CUaGktIoManager::writeItem(Session* session, CUaGktItem& item, const UaDataValue& dataValue)
{
    // The value reaches the cache (and the subscribers) only once the device has taken it.
    UaVariant converted;
    const UaStatus checked = item.checkValue(dataValue, true, converted);
    if (checked.isNotGood())
        return checked;
    std::vector<OpcUa_Byte> raw;
    const OpcUa_StatusCode encoded = dataValueToRaw(dataValue, item.gktType(), raw);
    if (OpcUa_IsNotGood(encoded))
        return encoded;
    const OpcUa_UInt32 result =
        GktWrite(item.index(), item.subindex(), 0, static_cast<OpcUa_UInt32>(raw.size()), raw.data());
    if (result != 0)
        // A device code keeps its own (bad) status; a platform error says the link failed.
        return static_cast<OpcUa_Int32>(result) < 0 ? UaStatus(result)
                                                    : UaStatus(OpcUa_BadCommunicationError);
    return item.setValue(session, dataValue, false);
}

UaStatus CUaGktIoManager::beginTransaction(IOManagerCallback* pCallback, const ServiceContext& serviceContext,
                                           OpcUa_UInt32 hTransaction, OpcUa_UInt32 totalItemCountHint,
                                           OpcUa_Double maxAge, OpcUa_TimestampsToReturn timestampsToReturn,
                                           OpcUa_UInt32 transactionType, OpcUa_Handle& hIOManagerContext)
{
    UaTrace::traceLevel6("--> CUaGktIoManager::beginTransaction");
    hIOManagerContext = new Transaction(pCallback, serviceContext, hTransaction, totalItemCountHint, maxAge,
                                        timestampsToReturn, transactionType, this);
    UaTrace::traceLevel6("<-- CUaGktIoManager::beginTransaction [ret=0x%lx]", 0ul);
    return OpcUa_Good;
}

UaStatus CUaGktIoManager::beginStartMonitoring(OpcUa_Handle hIOManagerContext, OpcUa_UInt32 callbackHandle,
                                               IOVariableCallback* pIOVariableCallback,
                                               VariableHandle* pVariableHandle,
                                               MonitoringContext& monitoringContext)
{
    UaTrace::traceLevel6("--> CUaGktIoManager::beginStartMonitoring");
    auto* transaction = static_cast<Transaction*>(hIOManagerContext);
    if (!transaction)
        return OpcUa_BadInvalidArgument;
    auto samplingInterval = static_cast<OpcUa_Int32>(std::lround(monitoringContext.samplingInterval));
    UaNode* node = pVariableHandle ? pVariableHandle->pUaNode() : nullptr;
    UaStatus status;
    OpcUa_UInt32 hItem = 0;
    if (!node)
        status = OpcUa_BadNodeIdUnknown;
    else if (pVariableHandle->attributeId() != AttributeId::Value ||
             node->nodeClass() != OpcUa_NodeClass_Variable)
        status = OpcUa_BadAttributeIdInvalid;
    else if (auto* item = dynamic_cast<CUaGktItem*>(node))
        status = m_watch.AddItem(item, samplingInterval, pIOVariableCallback, transaction->pSession(),
                                 transaction->sessionReference(), hItem);
    else
        status = OpcUa_BadUnexpectedError;
    if (status.isGood())
        monitoringContext.samplingInterval = samplingInterval;
    UaDataValue noValue;
    transaction->callback()->finishStartMonitoring(transaction->hTransaction(), callbackHandle, hItem,
                                                   samplingInterval, false, noValue, status);
    return OpcUa_Good;
}

UaStatus CUaGktIoManager::beginModifyMonitoring(OpcUa_Handle, OpcUa_UInt32, OpcUa_UInt32, MonitoringContext&)
{
    UaTrace::traceLevel6("--> CUaGktIoManager::beginModifyMonitoring");
    UaTrace::traceLevel6("<-- CUaGktIoManager::beginModifyMonitoring [ret=OpcUa_BadNotImplemented]");
    return OpcUa_BadNotImplemented;
}

UaStatus CUaGktIoManager::beginStopMonitoring(OpcUa_Handle hIOManagerContext, OpcUa_UInt32 callbackHandle,
                                              OpcUa_UInt32 hIOVariable)
{
    UaTrace::traceLevel6("--> CUaGktIoManager::beginStopMonitoring");
    auto* transaction = static_cast<Transaction*>(hIOManagerContext);
    if (!transaction)
    {
        UaTrace::traceLevel1("CUaGktIoManager::beginStopMonitoring() hIOManagerContext == NULL "
                             "[ret=OpcUa_BadInvalidArgument]");
        return OpcUa_BadInvalidArgument;
    }
    UaStatus status = m_watch.RemoveItem(hIOVariable);
    transaction->callback()->finishStopMonitoring(transaction->hTransaction(), callbackHandle, status);
    UaTrace::traceLevel6("<-- CUaGktIoManager::beginStopMonitoring [ret=0x%08x]",
                         static_cast<unsigned>(status.statusCode()));
    return status;
}

UaStatus CUaGktIoManager::beginRead(OpcUa_Handle hIOManagerContext, OpcUa_UInt32 callbackHandle,
                                    VariableHandle* pVariableHandle, OpcUa_ReadValueId*)
{
    auto* transaction = static_cast<Transaction*>(hIOManagerContext);
    if (!transaction || !pVariableHandle)
        return OpcUa_BadInvalidArgument;
    transaction->append(callbackHandle, pVariableHandle, nullptr);
    return OpcUa_Good;
}

UaStatus CUaGktIoManager::beginWrite(OpcUa_Handle hIOManagerContext, OpcUa_UInt32 callbackHandle,
                                     VariableHandle* pVariableHandle, OpcUa_WriteValue* pWriteValue)
{
    auto* transaction = static_cast<Transaction*>(hIOManagerContext);
    if (!transaction || !pVariableHandle || !pWriteValue)
        return OpcUa_BadInvalidArgument;
    const UaDataValue value(pWriteValue->Value);
    transaction->append(callbackHandle, pVariableHandle, &value);
    return OpcUa_Good;
}

UaStatus CUaGktIoManager::finishTransaction(OpcUa_Handle hIOManagerContext)
{
    UaTrace::traceLevel6("--> CUaGktIoManager::finishTransaction");
    auto* transaction = static_cast<Transaction*>(hIOManagerContext);
    if (!transaction)
        return OpcUa_BadInternalError;
    UaStatus result;
    switch (transaction->transactionType())
    {
    case IOTransactionType::Read:
        read(*transaction);
        break;
    case IOTransactionType::Write:
        write(*transaction);
        result = OpcUa_BadNotImplemented;
        break;
    case IOTransactionType::StartMonitoring:
    case IOTransactionType::ModifyMonitoring:
    case IOTransactionType::StopMonitoring:
        break;
    default:
        result = OpcUa_BadInternalError;
        break;
    }
    delete transaction;
    UaTrace::traceLevel6("<-- CUaGktIoManager::finishTransaction [ret=0x%lx]",
                         static_cast<unsigned long>(result.statusCode()));
    return result;
}

void CUaGktIoManager::read(Transaction& transaction)
{
    // Every read goes to the device, whatever the maximum age; the cache is not touched.
    for (std::size_t i = 0; i < transaction.count(); ++i)
    {
        const CUaGktItem* item = transaction.itemAt(i);
        UaDataValue dataValue = item ? readItem(*item) : failedValue(OpcUa_BadInternalError);
        transaction.callback()->finishRead(transaction.hTransaction(), transaction.callbackHandleAt(i),
                                           dataValue, true, false, nullptr);
    }
}

void CUaGktIoManager::write(Transaction& transaction)
{
    for (std::size_t i = 0; i < transaction.count(); ++i)
    {
        CUaGktItem* item = transaction.itemAt(i);
        UaStatus status = item ? writeItem(transaction.pSession(), *item, transaction.writeValueAt(i))
                               : UaStatus(OpcUa_BadInternalError);
        transaction.callback()->finishWrite(transaction.hTransaction(), transaction.callbackHandleAt(i),
                                            status, false);
    }
}
