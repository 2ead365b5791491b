#include "coretransactions.h"

#include "iomanager.h"
#include "nodemanager.h"
#include "servermanager.h"
#include "statusnametext.h"
#include "variablehandle.h"

#include <uatrace.h>

#include <vector>

// One read in progress: the caller waits on the semaphore until the last item is answered. Lookups
// by callbacks hold a reference, so a stray answer never meets a freed record.
class CoreTransactions::ReadTransaction : public ReferenceCounter
{
public:
    ReadTransaction(OpcUa_UInt32 itemCount, OpcUa_DataValue* results)
        : m_itemCount(itemCount), m_results(results)
    {
        OpcUa_Semaphore_Create(&m_allAnswered, 0, 1);
    }
    ~ReadTransaction() override { OpcUa_Semaphore_Delete(&m_allAnswered); }

    void store(OpcUa_UInt32 index, UaDataValue& dataValue, bool mayMove)
    {
        bool last;
        {
            UaMutexLocker locker(&m_mutex);
            if (index >= 1 && index <= m_itemCount)
            {
                OpcUa_DataValue& result = m_results[index - 1];
                OpcUa_DataValue_Clear(&result);
                if (!mayMove || dataValue.detachTo(&result) == nullptr)
                    dataValue.copyTo(&result);
            }
            last = ++m_answered == m_itemCount;
        }
        if (last)
            OpcUa_Semaphore_Post(m_allAnswered, 1);
    }

    void waitForAll() { OpcUa_Semaphore_Wait(m_allAnswered); }

private:
    UaMutex m_mutex;
    OpcUa_Semaphore m_allAnswered = nullptr;
    OpcUa_UInt32 m_answered = 0;
    const OpcUa_UInt32 m_itemCount;
    OpcUa_DataValue* m_results;
};

CoreTransactions::CoreTransactions(ServerManager* pOwner) : m_pOwner(pOwner) {}

CoreTransactions::~CoreTransactions()
{
    // Every read waits for its answers before it returns, so no transaction is left here.
    UaMutexLocker locker(&m_mutex);
    for (OpcUa_UInt32 handle = 1; handle <= m_pendingTransactions.count(); ++handle)
        m_pendingTransactions.markPosted(handle);
}

CoreTransactions::ReadTransaction* CoreTransactions::findTransaction(OpcUa_UInt32 hTransaction) const
{
    UaMutexLocker locker(&m_mutex);
    ReadTransaction* transaction = m_pendingTransactions.get(hTransaction);
    if (transaction)
        transaction->addReference();
    return transaction;
}

OpcUa_UInt32 CoreTransactions::pendingCount() const
{
    UaMutexLocker locker(&m_mutex);
    return m_pendingTransactions.inUse();
}

namespace
{
// One I/O manager's share of a read, in the order the I/O managers first occur.
struct ManagerTransaction
{
    IOManager* ioManager;
    OpcUa_Handle context;
    UaStatus began;
};

UaDataValue failedItem(OpcUa_StatusCode status, OpcUa_TimestampsToReturn timestampsToReturn)
{
    UaDataValue value;
    value.setStatusCode(status);
    if (timestampsToReturn == OpcUa_TimestampsToReturn_Server ||
        timestampsToReturn == OpcUa_TimestampsToReturn_Both)
        value.setServerTimestamp(UaDateTime::now());
    return value;
}
} // namespace

UaStatus CoreTransactions::read(const ServiceContext& serviceContext, OpcUa_Double maxAge,
                                OpcUa_TimestampsToReturn timestampsToReturn,
                                const UaPointerArray<VariableHandle>& variableHandles,
                                const UaReadValueIdArray& nodesToRead, UaDataValueArray& results)
{
    const OpcUa_UInt32 count = nodesToRead.length();
    if (count == 0)
    {
        UaTrace::traceLevel6("<-- CoreTransactions::read [ret=OpcUa_BadNothingToDo]");
        return OpcUa_BadNothingToDo;
    }
    const OpcUa_StatusCode created = results.create(count);
    if (OpcUa_IsBad(created))
        return created;
    auto transaction = ReferenceHolder<ReadTransaction>::adopt(new ReadTransaction(count, results.data()));
    OpcUa_UInt32 hTransaction;
    {
        UaMutexLocker locker(&m_mutex);
        hTransaction = m_pendingTransactions.add(transaction.get());
    }

    auto answerAtOnce = [&](OpcUa_UInt32 index, OpcUa_StatusCode status)
    {
        UaDataValue value = failedItem(status, timestampsToReturn);
        finishRead(hTransaction, index, value, true, false, nullptr);
    };
    std::vector<ManagerTransaction> managers;
    for (OpcUa_UInt32 i = 0; i < count; ++i)
    {
        VariableHandle* handle = i < variableHandles.length() ? variableHandles[i] : nullptr;
        if (!handle)
        {
            answerAtOnce(i + 1, OpcUa_BadNodeIdUnknown);
            continue;
        }
        IOManager* ioManager = handle->ioManager();
        if (!ioManager)
        {
            answerAtOnce(i + 1, OpcUa_BadInternalError);
            continue;
        }
        ManagerTransaction* manager = nullptr;
        for (ManagerTransaction& known : managers)
            if (known.ioManager == ioManager)
                manager = &known;
        if (!manager)
        {
            managers.push_back({ioManager, nullptr, OpcUa_Good});
            manager = &managers.back();
            manager->began =
                ioManager->beginTransaction(this, serviceContext, hTransaction, count, maxAge,
                                            timestampsToReturn, IOTransactionType::Read, manager->context);
        }
        // A transaction that could not begin fails its items instead of leaving them unanswered.
        UaStatus status = manager->began;
        if (status.isNotBad())
            status = ioManager->beginRead(manager->context, i + 1, handle,
                                          const_cast<OpcUa_ReadValueId*>(&nodesToRead[i]));
        if (status.isBad())
            answerAtOnce(i + 1, status.statusCode());
    }
    for (ManagerTransaction& manager : managers)
        if (manager.began.isNotBad())
            manager.ioManager->finishTransaction(manager.context);

    transaction->waitForAll();
    {
        UaMutexLocker locker(&m_mutex);
        m_pendingTransactions.markPosted(hTransaction);
    }
    UaTrace::traceLevel6("<-- CoreTransactions::read [ret=%s]", statusNameText(OpcUa_Good).c_str());
    return OpcUa_Good;
}

UaStatus CoreTransactions::readByNodeIds(const ServiceContext& serviceContext, OpcUa_Double maxAge,
                                         OpcUa_TimestampsToReturn timestampsToReturn,
                                         const UaReadValueIdArray& nodesToRead, UaDataValueArray& results)
{
    UaTrace::traceLevel6("--> CoreTransactions::read with NodeIds");
    NodeManager* root = m_pOwner ? m_pOwner->getNodeManagerRoot() : nullptr;
    UaPointerArray<VariableHandle> handles;
    UaStatus status = handles.create(nodesToRead.length());
    if (status.isGood() && root)
        for (OpcUa_UInt32 i = 0; i < nodesToRead.length(); ++i)
            handles[i] = root->getVariableHandle(serviceContext.pSession(), 0, &nodesToRead[i].NodeId,
                                                 static_cast<OpcUa_Int32>(nodesToRead[i].AttributeId));
    if (status.isGood())
        status = read(serviceContext, maxAge, timestampsToReturn, handles, nodesToRead, results);
    for (OpcUa_UInt32 i = 0; i < handles.length(); ++i)
        if (handles[i])
            handles[i]->releaseReference();
    UaTrace::traceLevel6("<-- CoreTransactions::read with NodeIds [ret=%s]",
                         statusNameText(status.statusCode()).c_str());
    return status;
}

UaStatus CoreTransactions::finishRead(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                      UaDataValue& dataValue, bool mayMove, bool, UaDiagnosticInfo*)
{
    auto transaction = ReferenceHolder<ReadTransaction>::adopt(findTransaction(hTransaction));
    if (!transaction)
        return OpcUa_BadInvalidArgument;
    transaction->store(callbackHandle, dataValue, mayMove);
    return OpcUa_Good;
}

UaStatus CoreTransactions::finishWrite(OpcUa_UInt32, OpcUa_UInt32, UaStatus&, bool)
{
    return OpcUa_BadNotImplemented;
}

// The server starts no monitoring of its own yet, so no transaction id names a monitoring entry.
UaStatus CoreTransactions::finishStartMonitoring(OpcUa_UInt32, OpcUa_UInt32, OpcUa_UInt32, OpcUa_Double, bool,
                                                 UaDataValue&, const UaStatus&)
{
    return OpcUa_BadInvalidArgument;
}

UaStatus CoreTransactions::finishModifyMonitoring(OpcUa_UInt32, OpcUa_UInt32, OpcUa_Double, const UaStatus&)
{
    return OpcUa_BadInvalidArgument;
}

UaStatus CoreTransactions::finishStopMonitoring(OpcUa_UInt32, OpcUa_UInt32, UaStatus&)
{
    return OpcUa_BadInvalidArgument;
}
