#include "uatransactionmanager.h"

#include "conditionrefreshhandler.h"
#include "methodcallcheck.h"
#include "pendingcallrequest.h"
#include "pendinghistoryrequests.h"
#include "pendingiorequests.h"
#include "registerednode.h"
#include "registeredvariablehandle.h"
#include "uasession.h"

#include <attributeids.h>
#include <historyreadcontinuationpoint.h>
#include <iomanager.h>
#include <methodmanager.h>
#include <nodemanager.h>
#include <serverconfig.h>
#include <servermanagerlink.h>
#include <uathreadpool.h>
#include <variablehandle.h>

#include <uadatetime.h>
#include <uathread.h>
#include <uatrace.h>
#include <uavariant.h>

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace
{
// ConditionRefresh of ConditionType, which the subscription manager serves.
constexpr OpcUa_UInt32 g_conditionType = 2782;
constexpr OpcUa_UInt32 g_conditionRefresh = 3875;

OpcUa_UInt32 countOf(OpcUa_Int32 noOf)
{
    return static_cast<OpcUa_UInt32>(std::max(noOf, 0));
}

std::string nodeText(const OpcUa_NodeId& nodeId)
{
    return UaNodeId(nodeId).toFullString().toUtf8();
}

// The transactions one begin operation opens: one per manager, in the order their first items came.
template <typename Manager> class TransactionList
{
public:
    // The context of manager's transaction; begin(context) opens it at its first item.
    template <typename Begin> OpcUa_Handle contextOf(Manager* manager, Begin begin)
    {
        for (const auto& [known, context] : m_transactions)
        {
            if (known == manager)
                return context;
        }
        OpcUa_Handle context = nullptr;
        begin(context);
        m_transactions.emplace_back(manager, context);
        return context;
    }
    template <typename Finish> void finishAll(Finish finish)
    {
        for (const auto& [manager, context] : m_transactions)
            finish(manager, context);
        m_transactions.clear();
    }

private:
    std::vector<std::pair<Manager*, OpcUa_Handle>> m_transactions;
};

// The decoded structure an extension object carries, null when it carries none.
const OpcUa_Void* decodedBody(const OpcUa_ExtensionObject& extension, OpcUa_UInt32& typeId)
{
    if (extension.Encoding != OpcUa_ExtensionObjectEncoding_EncodeableObject ||
        extension.Body.EncodeableObject.Type == nullptr || extension.Body.EncodeableObject.Object == nullptr)
        return nullptr;
    typeId = extension.Body.EncodeableObject.Type->TypeId;
    return extension.Body.EncodeableObject.Object;
}

// The request whose begin operation runs on this thread, while it runs: its items answered at once
// come back on this thread.
class BeginningOnThisThread
{
public:
    BeginningOnThisThread(const void* manager, OpcUa_UInt32 hTransaction, PendingServiceRequest* request)
        : m_previous(t_current)
    {
        t_current = {manager, hTransaction, request};
    }
    ~BeginningOnThisThread() { t_current = m_previous; }
    BeginningOnThisThread(const BeginningOnThisThread&) = delete;
    BeginningOnThisThread& operator=(const BeginningOnThisThread&) = delete;

    static PendingServiceRequest* request(const void* manager, OpcUa_UInt32 hTransaction)
    {
        return t_current.manager == manager && t_current.hTransaction == hTransaction ? t_current.request
                                                                                      : nullptr;
    }

private:
    struct Current
    {
        const void* manager = nullptr;
        OpcUa_UInt32 hTransaction = 0;
        PendingServiceRequest* request = nullptr;
    };
    static thread_local Current t_current;
    Current m_previous;
};
thread_local BeginningOnThisThread::Current BeginningOnThisThread::t_current;

// Releases the handles of a begin operation when it ends.
template <typename Handle> class HandleList
{
public:
    explicit HandleList(OpcUa_UInt32 count) : m_handles(count, nullptr) {}
    ~HandleList()
    {
        for (Handle* handle : m_handles)
        {
            if (handle != nullptr)
                handle->releaseReference();
        }
    }
    HandleList(const HandleList&) = delete;
    HandleList& operator=(const HandleList&) = delete;

    Handle*& operator[](OpcUa_UInt32 i) { return m_handles[i]; }

private:
    std::vector<Handle*> m_handles;
};
} // namespace

UaTransactionManager::UaTransactionManager(ServerManagerLink* pServerManager,
                                           ConditionRefreshHandler* pCreator)
    : m_pServerManager(pServerManager), m_pCreator(pCreator)
{
    if (UaTrace::isTraceLevelOn(5))
        UaTrace::traceLevel5("Ctor UaTransactionManager");
}

UaTransactionManager::~UaTransactionManager()
{
    shutDown();
    if (UaTrace::isTraceLevelOn(5))
        UaTrace::traceLevel5("Dtor UaTransactionManager");
}

UaStatus UaTransactionManager::startUp()
{
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("--> UaTransactionManager::startUp");
    UaStatus ret;
    if (m_pServerManager == nullptr)
    {
        UaTrace::traceLevel1("UaTransactionManager::startUp - ServerManager not available");
        ret = OpcUa_BadInternalError;
    }
    else
    {
        NodeManager* root = m_pServerManager->getNodeManagerRoot();
        ServerConfig* config = m_pServerManager->getServerConfig();
        if (root == nullptr)
        {
            UaTrace::traceLevel1("UaTransactionManager::startUp - NodeManagerRoot not available");
            ret = OpcUa_BadInternalError;
        }
        else
        {
            UaMutexLocker lock(&m_lock);
            m_pNodeManagerRoot = root;
            m_started = true;
        }
        if (config == nullptr)
        {
            UaTrace::traceLevel1("UaTransactionManager::startUp - ServerConfig not available");
            ret = OpcUa_BadInternalError;
        }
        else
        {
            OpcUa_UInt32 minThreads = 4;
            OpcUa_UInt32 maxThreads = 4;
            OpcUa_UInt32 minSubscriptionThreads = 4;
            OpcUa_UInt32 maxSubscriptionThreads = 4;
            config->getThreadPoolSettings(minThreads, maxThreads, minSubscriptionThreads,
                                          maxSubscriptionThreads);
            minThreads = std::max<OpcUa_UInt32>(minThreads, 1);
            maxThreads = std::max<OpcUa_UInt32>(maxThreads, 1);
            minThreads = std::min(minThreads, maxThreads);
            UaMutexLocker lock(&m_lock);
            // A second start keeps the pool it has: jobs may be on it.
            if (m_pWorkerPool == nullptr)
                m_pWorkerPool = new UaThreadPool(minThreads, maxThreads);
        }
    }
    traceExit("startUp", ret);
    return ret;
}

UaStatus UaTransactionManager::shutDown()
{
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("--> UaTransactionManager::shutDown");
    {
        UaMutexLocker lock(&m_lock);
        m_started = false;
    }
    waitForPendingTransactions();
    UaThreadPool* pool;
    {
        std::unique_lock<UaMutex> lock(m_lock);
        m_pNodeManagerRoot = nullptr;
        // Results that come later are sent in their own thread; a thread handing a request to the
        // pool just now finishes with it first.
        pool = std::exchange(m_pWorkerPool, nullptr);
        m_poolUnused.wait(lock, [this] { return m_poolUsers == 0; });
    }
    delete pool;
    traceExit("shutDown", OpcUa_Good);
    return OpcUa_Good;
}

void UaTransactionManager::waitForPendingTransactions()
{
    for (OpcUa_UInt32 round = 0; round < m_pendingWaitRounds; ++round)
    {
        if (pendingTransactions() == 0)
            return;
        UaThread::sleep(10);
    }
}

OpcUa_UInt32 UaTransactionManager::pendingTransactions() const
{
    return m_transactions.inUse();
}

void UaTransactionManager::workerPoolSizes(OpcUa_UInt32& minThreads, OpcUa_UInt32& maxThreads) const
{
    UaMutexLocker lock(&m_lock);
    minThreads = m_pWorkerPool != nullptr ? m_pWorkerPool->minThreads() : 0;
    maxThreads = m_pWorkerPool != nullptr ? m_pWorkerPool->maxThreads() : 0;
}

OpcUa_UInt32 UaTransactionManager::addTransaction(PendingServiceRequest* pRequest)
{
    return m_transactions.add(pRequest);
}

void UaTransactionManager::transactionFinished(OpcUa_UInt32 hTransaction, PendingServiceRequest* pRequest,
                                               bool sendNow)
{
    if (hTransaction != 0)
        m_transactions.remove(hTransaction);
    UaThreadPool* pool = nullptr;
    if (!sendNow)
    {
        UaMutexLocker lock(&m_lock);
        if (m_pWorkerPool != nullptr)
        {
            pool = m_pWorkerPool;
            ++m_poolUsers;
        }
    }
    if (pool != nullptr)
    {
        const OpcUa_StatusCode added = pool->addJob(pRequest);
        {
            UaMutexLocker lock(&m_lock);
            --m_poolUsers;
        }
        m_poolUnused.notify_all();
        if (OpcUa_IsGood(added))
            return;
    }
    pRequest->sendResponse();
    delete pRequest;
}

void UaTransactionManager::releaseHold(OpcUa_UInt32 hTransaction, PendingServiceRequest* pRequest)
{
    // Completed while the begin operation still held it: answered now, on this thread.
    if (pRequest->releaseHold())
        transactionFinished(hTransaction, pRequest, true);
}

void UaTransactionManager::failRead(OpcUa_UInt32 hTransaction, OpcUa_UInt32 index, const UaStatus& status,
                                    OpcUa_TimestampsToReturn timestampsToReturn, bool sendNow)
{
    UaDataValue value;
    value.setStatusCode(status.statusCode());
    if (timestampsToReturn == OpcUa_TimestampsToReturn_Server ||
        timestampsToReturn == OpcUa_TimestampsToReturn_Both)
        value.setServerTimestamp(UaDateTime::now());
    finishRead(hTransaction, index + 1, value, true, sendNow, status.diagnostics());
}

NodeManager* UaTransactionManager::nodeManagerRoot() const
{
    UaMutexLocker lock(&m_lock);
    return m_pNodeManagerRoot;
}

// ---- Read and Write

template <typename Begin>
UaStatus UaTransactionManager::runTransaction(const char* operation, PendingServiceRequest* pRequest,
                                              OpcUa_StatusCode prepared, Begin begin)
{
    NodeManager* root = nodeManagerRoot();
    const UaStatus status = root == nullptr ? OpcUa_BadInternalError : prepared;
    if (status.isBad())
    {
        traceExit(operation, status);
        return status;
    }
    pRequest->holdOpen();
    const OpcUa_UInt32 hTransaction = addTransaction(pRequest);
    {
        const BeginningOnThisThread beginning(this, hTransaction, pRequest);
        begin(root, hTransaction);
    }
    traceExit(operation, OpcUa_Good);
    releaseHold(hTransaction, pRequest);
    return OpcUa_Good;
}

void UaTransactionManager::traceEntry(const char* operation, OpcUa_Int32 noOfItems)
{
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("--> UaTransactionManager::%s with %d nodes", operation,
                             static_cast<int>(noOfItems));
}

void UaTransactionManager::traceExit(const char* operation, const UaStatus& status)
{
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("<-- UaTransactionManager::%s [ret=0x%lx]", operation,
                             static_cast<unsigned long>(status.statusCode()));
}

template <typename Item, typename Fail, typename BeginItem>
void UaTransactionManager::runIoItems(PendingServiceRequest* pRequest, NodeManager* root,
                                      OpcUa_UInt32 hTransaction, const Item* items,
                                      const IoSettings& settings, Fail fail, BeginItem beginItem)
{
    const OpcUa_UInt32 n = pRequest->itemCount();
    UaSession* session = pRequest->session();
    HandleList<VariableHandle> handles(n);
    for (OpcUa_UInt32 i = 0; i < n; ++i)
    {
        const auto attributeId = static_cast<OpcUa_Int32>(items[i].AttributeId);
        handles[i] = RegisteredVariableHandle::resolve(root, session, settings.serviceType, items[i].NodeId,
                                                       attributeId);
        if (handles[i] != nullptr)
            continue;
        UaTrace::traceLevel1("    Node[%d] %s Attribute=%d OpcUa_BadNodeIdUnknown", static_cast<int>(i),
                             nodeText(items[i].NodeId).c_str(), static_cast<int>(attributeId));
        fail(i, UaStatus(OpcUa_BadNodeIdUnknown), false);
    }

    TransactionList<IOManager> transactions;
    for (OpcUa_UInt32 i = 0; i < n; ++i)
    {
        if (handles[i] == nullptr)
            continue;
        IOManager* ioManager = handles[i]->ioManager();
        if (ioManager == nullptr)
        {
            fail(i, UaStatus(OpcUa_BadInternalError), false);
            continue;
        }
        OpcUa_Handle context =
            transactions.contextOf(ioManager,
                                   [&](OpcUa_Handle& opened)
                                   {
                                       ioManager->beginTransaction(
                                           this, pRequest->m_serviceContext, hTransaction, n, settings.maxAge,
                                           settings.timestampsToReturn, settings.transactionType, opened);
                                   });
        const UaStatus begun = beginItem(ioManager, context, i, handles[i]);
        if (begun.isBad())
            fail(i, begun, true);
    }
    transactions.finishAll([](IOManager* ioManager, OpcUa_Handle context)
                           { ioManager->finishTransaction(context); });
}

UaStatus UaTransactionManager::beginRead(PendingReadRequest* pRequest)
{
    OpcUa_ReadRequest& read = *pRequest->request();
    traceEntry("beginRead", read.NoOfNodesToRead);
    return runTransaction(
        "beginRead", pRequest, pRequest->prepareResults(),
        [&](NodeManager* root, OpcUa_UInt32 hTransaction)
        {
            traceReadRequest(read);
            runIoItems(
                pRequest, root, hTransaction, read.NodesToRead,
                IoSettings{0, IOTransactionType::Read, read.MaxAge, read.TimestampsToReturn},
                [&](OpcUa_UInt32 i, const UaStatus& status, bool sendNow)
                { failRead(hTransaction, i, status, read.TimestampsToReturn, sendNow); },
                [&](IOManager* ioManager, OpcUa_Handle context, OpcUa_UInt32 i, VariableHandle* handle)
                { return ioManager->beginRead(context, i + 1, handle, &read.NodesToRead[i]); });
        });
}

UaStatus UaTransactionManager::beginWrite(PendingWriteRequest* pRequest)
{
    OpcUa_WriteRequest& write = *pRequest->request();
    traceEntry("beginWrite", write.NoOfNodesToWrite);
    return runTransaction(
        "beginWrite", pRequest, pRequest->prepareResults(),
        [&](NodeManager* root, OpcUa_UInt32 hTransaction)
        {
            traceWriteRequest(write);
            runIoItems(
                pRequest, root, hTransaction, write.NodesToWrite,
                IoSettings{1, IOTransactionType::Write, 0.0, OpcUa_TimestampsToReturn_Neither},
                [&](OpcUa_UInt32 i, const UaStatus& status, bool)
                {
                    // Failed writes never send from here.
                    UaStatus failed(status);
                    finishWrite(hTransaction, i + 1, failed, false);
                },
                [&](IOManager* ioManager, OpcUa_Handle context, OpcUa_UInt32 i, VariableHandle* handle)
                {
                    if (UaTrace::isTraceLevelOn(7))
                        UaTrace::traceLevel7(
                            "Write Value[%d] %s", static_cast<int>(i),
                            UaVariant(write.NodesToWrite[i].Value.Value).toString().toUtf8());
                    return ioManager->beginWrite(context, i + 1, handle, &write.NodesToWrite[i]);
                });
        });
}

template <typename Request, typename Finish>
UaStatus UaTransactionManager::finishItem(OpcUa_UInt32 hTransaction, bool sendNow, Finish finish)
{
    // An item answered inside the begin operation, on its thread: the request is held open there,
    // so it can neither complete nor go, and needs no look-up.
    if (PendingServiceRequest* beginning = BeginningOnThisThread::request(this, hTransaction))
    {
        auto* request = dynamic_cast<Request*>(beginning);
        if (request == nullptr)
            return OpcUa_BadInvalidArgument;
        finish(*request);
        return OpcUa_Good;
    }
    Request* completed = nullptr;
    {
        // The result is stored under the table's lock: a repeated answer racing with the one that
        // completes the request finds it still there (and completed), never deleted under it.
        const bool found = m_transactions.withObject(hTransaction,
                                                     [&](PendingServiceRequest* pending)
                                                     {
                                                         auto* request = dynamic_cast<Request*>(pending);
                                                         if (request != nullptr && finish(*request))
                                                             completed = request;
                                                         return request != nullptr;
                                                     });
        if (!found)
            return OpcUa_BadInvalidArgument;
    }
    if (completed != nullptr)
        transactionFinished(hTransaction, completed, sendNow);
    return OpcUa_Good;
}

UaStatus UaTransactionManager::finishRead(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                          UaDataValue& dataValue, bool mayMove, bool sendNow,
                                          UaDiagnosticInfo* pDiagnosticInfo)
{
    return finishItem<PendingReadRequest>(
        hTransaction, sendNow,
        [&](PendingReadRequest& request)
        { return request.finishRead(callbackHandle, dataValue, mayMove, pDiagnosticInfo); });
}

UaStatus UaTransactionManager::finishWrite(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                           UaStatus& status, bool sendNow)
{
    return finishItem<PendingWriteRequest>(hTransaction, sendNow,
                                           [&](PendingWriteRequest& request)
                                           { return request.finishWrite(callbackHandle, status); });
}

UaStatus UaTransactionManager::finishStartMonitoring(OpcUa_UInt32, OpcUa_UInt32, OpcUa_UInt32, OpcUa_Double,
                                                     bool, UaDataValue&, const UaStatus&)
{
    return OpcUa_BadNotImplemented;
}

UaStatus UaTransactionManager::finishModifyMonitoring(OpcUa_UInt32, OpcUa_UInt32, OpcUa_Double,
                                                      const UaStatus&)
{
    return OpcUa_BadNotImplemented;
}

UaStatus UaTransactionManager::finishStopMonitoring(OpcUa_UInt32, OpcUa_UInt32, UaStatus&)
{
    return OpcUa_BadNotImplemented;
}

void UaTransactionManager::traceReadRequest(const OpcUa_ReadRequest& request) const
{
    if (!UaTrace::isTraceLevelOn(7))
        return;
    UaTrace::traceLevel7("Read Request [Request=%d]:", static_cast<int>(request.RequestHeader.RequestHandle));
    UaTrace::traceLevel7("  MaxAge             = %f ms", request.MaxAge);
    switch (request.TimestampsToReturn)
    {
    case OpcUa_TimestampsToReturn_Source:
        UaTrace::traceLevel7("  TimestampsToReturn = Source");
        break;
    case OpcUa_TimestampsToReturn_Server:
        UaTrace::traceLevel7("  TimestampsToReturn = Server");
        break;
    case OpcUa_TimestampsToReturn_Both:
        UaTrace::traceLevel7("  TimestampsToReturn = Both");
        break;
    case OpcUa_TimestampsToReturn_Neither:
        UaTrace::traceLevel7("  TimestampsToReturn = Neither");
        break;
    default:
        UaTrace::traceLevel7("  TimestampsToReturn has invalid value = %d",
                             static_cast<int>(request.TimestampsToReturn));
        break;
    }
    UaTrace::traceLevel7("  NoOfNodesToRead = %d", static_cast<int>(request.NoOfNodesToRead));
    for (OpcUa_Int32 i = 0; i < request.NoOfNodesToRead; ++i)
        UaTrace::traceLevel7("    Node[%d] %s Attribute=%d", static_cast<int>(i),
                             nodeText(request.NodesToRead[i].NodeId).c_str(),
                             static_cast<int>(request.NodesToRead[i].AttributeId));
}

void UaTransactionManager::traceWriteRequest(const OpcUa_WriteRequest& request) const
{
    if (!UaTrace::isTraceLevelOn(7))
        return;
    UaTrace::traceLevel7("Write Request [Request=%d]:",
                         static_cast<int>(request.RequestHeader.RequestHandle));
    UaTrace::traceLevel7("  NoOfNodesToWrite = %d", static_cast<int>(request.NoOfNodesToWrite));
    for (OpcUa_Int32 i = 0; i < request.NoOfNodesToWrite; ++i)
    {
        const OpcUa_WriteValue& item = request.NodesToWrite[i];
        UaTrace::traceLevel7("    Node[%d] %s Atr=%d Val=%s", static_cast<int>(i),
                             nodeText(item.NodeId).c_str(), static_cast<int>(item.AttributeId),
                             UaVariant(item.Value.Value).toString().toUtf8());
    }
}

// ---- RegisterNodes, UnregisterNodes, Query

UaStatus UaTransactionManager::registerNodes(const ServiceContext& serviceContext,
                                             OpcUa_Int32 noOfNodesToRegister,
                                             const OpcUa_NodeId* pNodesToRegister,
                                             UaNodeIdArray& registeredNodeIds)
{
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("--> UaTransactionManager::registerNodes");
    const OpcUa_UInt32 n = pNodesToRegister != nullptr ? countOf(noOfNodesToRegister) : 0;
    const OpcUa_StatusCode created = registeredNodeIds.create(n);
    if (OpcUa_IsBad(created))
        return created;
    NodeManager* root = nodeManagerRoot();
    auto* session = dynamic_cast<UaSession*>(serviceContext.pSession());
    // The nodes with a handle are registered together: the session takes all its new ones, or, past
    // its bound, none. The others are answered with their own NodeId.
    std::vector<RegisteredNode*> entries;
    std::vector<OpcUa_UInt32> registeredAt;
    for (OpcUa_UInt32 i = 0; i < n; ++i)
    {
        const OpcUa_NodeId& nodeId = pNodesToRegister[i];
        VariableHandle* handle = root != nullptr && session != nullptr
                                     ? root->getVariableHandle(session, 3, &nodeId, AttributeId::Value)
                                     : nullptr;
        if (handle == nullptr)
            continue;
        // The entry keeps the handle's reference.
        entries.push_back(new RegisteredNode(UaNodeId(nodeId), new RegisteredVariableHandle(handle)));
        registeredAt.push_back(i);
    }
    std::vector<OpcUa_UInt32> aliases;
    if (!entries.empty())
    {
        const UaStatus registered = session->registerNodes(entries, aliases);
        if (registered.isBad())
        {
            UaTrace::traceLevel1("Error: UaTransactionManager::registerNodes - %u nodes more would pass the "
                                 "session's %u registrations [ret=0x%lx]",
                                 static_cast<unsigned>(entries.size()),
                                 static_cast<unsigned>(UaSession::kMaxRegisteredNodes),
                                 static_cast<unsigned long>(registered.statusCode()));
            registeredNodeIds.clear();
            return registered;
        }
    }
    size_t next = 0;
    for (OpcUa_UInt32 i = 0; i < n; ++i)
    {
        if (next < registeredAt.size() && registeredAt[next] == i)
        {
            registeredNodeIds[i].NamespaceIndex = RegisteredVariableHandle::aliasNamespace;
            registeredNodeIds[i].IdentifierType = OpcUa_IdentifierType_Numeric;
            registeredNodeIds[i].Identifier.Numeric = aliases[next++];
        }
        else
            OpcUa_NodeId_CopyTo(&pNodesToRegister[i], &registeredNodeIds[i]);
    }
    return OpcUa_Good;
}

UaStatus UaTransactionManager::unregisterNodes(const ServiceContext& serviceContext,
                                               OpcUa_Int32 noOfNodesToUnregister,
                                               const OpcUa_NodeId* pNodesToUnregister)
{
    auto* session = dynamic_cast<UaSession*>(serviceContext.pSession());
    if (session == nullptr || pNodesToUnregister == nullptr)
        return OpcUa_Good;
    for (OpcUa_UInt32 i = 0; i < countOf(noOfNodesToUnregister); ++i)
    {
        if (RegisteredVariableHandle::isAlias(pNodesToUnregister[i]))
            session->unregisterNode(pNodesToUnregister[i].Identifier.Numeric);
    }
    return OpcUa_Good;
}

UaStatus UaTransactionManager::beginQuery(PendingServiceRequest*)
{
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("--> UaTransactionManager::beginQuery");
    UaTrace::traceLevel1("Error: Default implementation does not support Query yet");
    return OpcUa_BadServiceUnsupported;
}

// ---- Call

UaStatus UaTransactionManager::beginMethodCall(PendingCallRequest* pRequest)
{
    const OpcUa_CallRequest& call = *pRequest->request();
    traceEntry("beginMethodCall", call.NoOfMethodsToCall);
    traceCallRequest(call);
    NodeManager* root = nodeManagerRoot();
    const UaStatus prepared = root != nullptr ? pRequest->prepareResults() : OpcUa_BadInternalError;
    if (prepared.isBad())
        return prepared;
    const OpcUa_UInt32 n = pRequest->itemCount();
    UaSession* session = pRequest->session();
    pRequest->holdOpen();
    for (OpcUa_UInt32 i = 0; i < n; ++i)
    {
        const OpcUa_CallMethodRequest& method = call.MethodsToCall[i];
        UaStatus lookup;
        ReferenceHolder<MethodHandle> handle = ReferenceHolder<MethodHandle>::adopt(
            root->getMethodHandle(session, &method.ObjectId, &method.MethodId, lookup));
        UaStatus status;
        UaStatusCodeArray inputArgumentResults;
        if (!handle && isConditionRefresh(method))
        {
            status = conditionRefresh(i, pRequest->m_serviceContext, method);
            // One Good result for the subscription id argument when the refresh started.
            if (status.isGood())
                inputArgumentResults.create(1);
        }
        else if (!handle)
        {
            // A null handle with a status that is not Bad must not read as success.
            status = lookup.isBad() ? lookup : UaStatus(OpcUa_BadNodeIdUnknown);
            UaTrace::traceLevel1(
                "Error: UaTransactionManager::beginMethodCall - Call[%d] failed - can not get "
                "MethodHandle [ret=0x%lx]",
                static_cast<int>(i), static_cast<unsigned long>(status.statusCode()));
        }
        else if (handle->methodManager() == nullptr)
        {
            UaTrace::traceLevel1(
                "Error: UaTransactionManager::beginMethodCall - Call[%d] failed - MethodManager "
                "in MethodHandle is NULL",
                static_cast<int>(i));
            status = OpcUa_BadInternalError;
        }
        else
        {
            // The request's arguments, lent to the method manager for the call.
            UaVariantArray inputArguments;
            inputArguments.attach(countOf(method.NoOfInputArguments), method.InputArguments);
            // Checked here, not left to each object: a method runs only on an object it belongs
            // to, and only with the argument types it declares.
            status =
                MethodCallCheck::checkOwnership(*root, UaNodeId(method.ObjectId), UaNodeId(method.MethodId));
            if (status.isGood())
                status = MethodCallCheck::checkArguments(*root, UaNodeId(method.MethodId), inputArguments,
                                                         inputArgumentResults);
            if (status.isGood())
                status = handle->methodManager()->beginCall(pRequest, pRequest->m_serviceContext, i + 1,
                                                            handle.get(), inputArguments);
            inputArguments.detach();
            if (!status.isBad())
                continue;
            UaTrace::traceLevel1("Error: UaTransactionManager::beginMethodCall - Call[%d] failed "
                                 "MethodManager::beginCall [ret=0x%lx]",
                                 static_cast<int>(i), static_cast<unsigned long>(status.statusCode()));
        }
        UaDiagnosticInfos noDiagnostics;
        UaVariantArray noOutputs;
        pRequest->callFinished(i + 1, inputArgumentResults, noDiagnostics, noOutputs, status);
    }
    releaseHold(0, pRequest);
    return OpcUa_Good;
}

bool UaTransactionManager::isConditionRefresh(const OpcUa_CallMethodRequest& method)
{
    const auto isNs0 = [](const OpcUa_NodeId& nodeId, OpcUa_UInt32 id)
    {
        return nodeId.IdentifierType == OpcUa_IdentifierType_Numeric && nodeId.NamespaceIndex == 0 &&
               nodeId.Identifier.Numeric == id;
    };
    return isNs0(method.ObjectId, g_conditionType) && isNs0(method.MethodId, g_conditionRefresh);
}

UaStatus UaTransactionManager::conditionRefresh(OpcUa_UInt32 index, const ServiceContext& serviceContext,
                                                const OpcUa_CallMethodRequest& method)
{
    const bool oneScalarUInt32 = method.NoOfInputArguments == 1 && method.InputArguments != nullptr &&
                                 method.InputArguments[0].Datatype == OpcUaType_UInt32 &&
                                 method.InputArguments[0].ArrayType == OpcUa_VariantArrayType_Scalar;
    if (!oneScalarUInt32)
    {
        UaTrace::traceLevel1(
            "Error: UaTransactionManager::beginMethodCall - Call[%d] for Refresh failed based on "
            "invalid subscription id parameter",
            static_cast<int>(index));
        return OpcUa_BadInvalidArgument;
    }
    if (m_pCreator == nullptr)
    {
        UaTrace::traceLevel1(
            "Error: UaTransactionManager::beginMethodCall - Call[%d] for Refresh failed - no "
            "subscription manager",
            static_cast<int>(index));
        return OpcUa_BadInternalError;
    }
    return m_pCreator->beginConditionRefresh(serviceContext, method.InputArguments[0].Value.UInt32);
}

void UaTransactionManager::traceCallRequest(const OpcUa_CallRequest& request) const
{
    if (!UaTrace::isTraceLevelOn(7))
        return;
    UaTrace::traceLevel7("Call Request:");
    UaTrace::traceLevel7("  NoOfMethodsToCall = %d", static_cast<int>(request.NoOfMethodsToCall));
    for (OpcUa_Int32 i = 0; i < request.NoOfMethodsToCall; ++i)
    {
        const OpcUa_CallMethodRequest& method = request.MethodsToCall[i];
        UaTrace::traceLevel7("    Method %d:", static_cast<int>(i));
        UaTrace::traceLevel7("      ObjectId = %s", nodeText(method.ObjectId).c_str());
        UaTrace::traceLevel7("      MethodId = %s", nodeText(method.MethodId).c_str());
        UaTrace::traceLevel7("      NoOfInputArguments = %d", static_cast<int>(method.NoOfInputArguments));
        for (OpcUa_Int32 j = 0; j < method.NoOfInputArguments; ++j)
            UaTrace::traceLevel7("        InputArgutment[%d] = %s", static_cast<int>(j),
                                 UaVariant(method.InputArguments[j]).toString().toUtf8());
    }
}

// ---- HistoryRead and HistoryUpdate

UaNodeHandle* UaTransactionManager::historyHandle(NodeManager* root, UaSession* session,
                                                  OpcUa_UInt32 operation, const OpcUa_NodeId& nodeId,
                                                  UaStatus& status)
{
    UaNodeHandle* handle = nullptr;
    if (!RegisteredVariableHandle::isAlias(nodeId))
        handle = root->getHistoryVariableHandle(session, operation, &nodeId, status);
    else
    {
        UaNodeId registeredNodeId;
        ReferenceHolder<ReferenceCounter> registeredHandle;
        if (session != nullptr &&
            session->registeredNode(nodeId.Identifier.Numeric, registeredNodeId, registeredHandle))
            handle =
                root->getHistoryVariableHandle(session, operation, registeredNodeId.toOpcUaNodeId(), status);
    }
    if (handle != nullptr || (status.isBad() && status.statusCode() != OpcUa_BadNodeIdUnknown))
        return handle;
    // No history here: for a node that is there the client learns that the operation is not
    // supported, rather than that its node does not exist. Service type 0: as a read finds it.
    VariableHandle* found = RegisteredVariableHandle::resolve(root, session, 0, nodeId,
                                                              static_cast<OpcUa_Int32>(AttributeId::NodeId));
    if (found != nullptr)
    {
        found->releaseReference();
        status = OpcUa_BadHistoryOperationUnsupported;
    }
    return nullptr;
}

void UaTransactionManager::failHistoryRead(OpcUa_UInt32 hTransaction, OpcUa_UInt32 index,
                                           OpcUa_UInt32 operation, const UaStatus& status)
{
    if (operation == HistoryOperation::ReadEvents)
    {
        UaHistoryEventFieldListArray noEvents;
        finishHistoryReadEvent(hTransaction, index + 1, status, nullptr, noEvents, false);
    }
    else
    {
        UaDataValueArray noValues;
        finishHistoryReadData(hTransaction, index + 1, status, nullptr, noValues, false);
    }
}

UaStatus UaTransactionManager::beginHistoryRead(PendingHistoryReadRequest* pRequest)
{
    const OpcUa_HistoryReadRequest& read = *pRequest->request();
    traceEntry("beginHistoryRead", read.NoOfNodesToRead);
    // The details decide the operation before the request enters the table.
    OpcUa_UInt32 typeId = 0;
    const OpcUa_Void* details = decodedBody(read.HistoryReadDetails, typeId);
    // Details missing or of another type are the client's fault in the standard's own words.
    if (details == nullptr)
    {
        if (UaTrace::isTraceLevelOn(6))
            UaTrace::traceLevel6(
                "<-- UaTransactionManager::beginHistoryRead [ret=OpcUa_BadHistoryOperationInvalid]");
        return OpcUa_BadHistoryOperationInvalid;
    }
    OpcUa_UInt32 operation;
    switch (typeId)
    {
    case OpcUaId_ReadEventDetails:
        operation = HistoryOperation::ReadEvents;
        break;
    case OpcUaId_ReadRawModifiedDetails:
        operation = static_cast<const OpcUa_ReadRawModifiedDetails*>(details)->IsReadModified
                        ? HistoryOperation::ReadModified
                        : HistoryOperation::ReadRaw;
        break;
    case OpcUaId_ReadProcessedDetails:
        operation = HistoryOperation::ReadProcessed;
        break;
    case OpcUaId_ReadAtTimeDetails:
        operation = HistoryOperation::ReadAtTime;
        break;
    default:
        if (UaTrace::isTraceLevelOn(6))
            UaTrace::traceLevel6("<-- UaTransactionManager::beginHistoryRead "
                                 "[ret=OpcUa_BadHistoryOperationInvalid] unknown type");
        return OpcUa_BadHistoryOperationInvalid;
    }
    return runTransaction("beginHistoryRead", pRequest, pRequest->prepareResults(),
                          [&](NodeManager* root, OpcUa_UInt32 hTransaction)
                          { beginHistoryReadItems(pRequest, root, hTransaction, operation, details); });
}

void UaTransactionManager::beginHistoryReadItems(PendingHistoryReadRequest* pRequest, NodeManager* root,
                                                 OpcUa_UInt32 hTransaction, OpcUa_UInt32 operation,
                                                 const OpcUa_Void* details)
{
    const OpcUa_HistoryReadRequest& read = *pRequest->request();
    const OpcUa_UInt32 n = pRequest->itemCount();
    UaSession* session = pRequest->session();

    HandleList<UaNodeHandle> handles(n);
    for (OpcUa_UInt32 i = 0; i < n; ++i)
    {
        const OpcUa_HistoryReadValueId& item = read.NodesToRead[i];
        UaStatus lookup;
        handles[i] = historyHandle(root, session, operation, item.NodeId, lookup);
        if (handles[i] == nullptr)
            failHistoryItem(hTransaction, i, item.NodeId, lookup, operation, false);
    }

    TransactionList<HistoryManager> transactions;
    for (OpcUa_UInt32 i = 0; i < n; ++i)
    {
        if (handles[i] == nullptr)
            continue;
        const OpcUa_HistoryReadValueId& item = read.NodesToRead[i];
        HistoryManager* historyManager = handles[i]->historyManager();
        if (historyManager == nullptr)
        {
            failHistoryItem(hTransaction, i, item.NodeId, OpcUa_BadInternalError, operation, false);
            continue;
        }
        HistoryReadContinuationPoint* continuationPoint = nullptr;
        if (item.ContinuationPoint.Length > 0)
        {
            continuationPoint =
                session != nullptr ? session->getHistoryReadCP(item.ContinuationPoint) : nullptr;
            if (continuationPoint == nullptr)
            {
                failHistoryItem(hTransaction, i, item.NodeId, OpcUa_BadContinuationPointInvalid, operation,
                                false);
                continue;
            }
        }
        if (read.ReleaseContinuationPoints)
        {
            // Released: nothing is read.
            delete continuationPoint;
            failHistoryRead(hTransaction, i, operation, OpcUa_Good);
            continue;
        }
        OpcUa_Handle context = transactions.contextOf(
            historyManager,
            [&](OpcUa_Handle& opened)
            {
                historyManager->beginHistoryTransaction(this, pRequest->m_serviceContext, hTransaction, n,
                                                        operation, read.TimestampsToReturn, details, opened);
            });
        const UaStatus begun =
            historyManager->beginHistoryRead(context, i + 1, handles[i], &item, continuationPoint);
        if (begun.isBad())
            failHistoryItem(hTransaction, i, item.NodeId, begun, operation, false);
    }
    transactions.finishAll([](HistoryManager* historyManager, OpcUa_Handle context)
                           { historyManager->finishHistoryTransaction(context); });
}

void UaTransactionManager::failHistoryItem(OpcUa_UInt32 hTransaction, OpcUa_UInt32 index,
                                           const OpcUa_NodeId& nodeId, const UaStatus& lookup,
                                           OpcUa_UInt32 operation, bool isUpdate)
{
    // A failed lookup names its status; a handle missing without one is an unknown node.
    const UaStatus status = lookup.isBad() ? lookup : UaStatus(OpcUa_BadNodeIdUnknown);
    // The statuses the trace names; any other goes by its number.
    const char* name = nullptr;
    switch (status.statusCode())
    {
    case OpcUa_BadNodeIdUnknown:
        name = "OpcUa_BadNodeIdUnknown";
        break;
    case OpcUa_BadInternalError:
        name = "OpcUa_BadInternalError";
        break;
    case OpcUa_BadHistoryOperationInvalid:
        name = "OpcUa_BadHistoryOperationInvalid";
        break;
    case OpcUa_BadHistoryOperationUnsupported:
        name = "OpcUa_BadHistoryOperationUnsupported";
        break;
    default:
        break;
    }
    if (name != nullptr)
        UaTrace::traceLevel1("   Node[%d] %s [ret=%s]", static_cast<int>(index), nodeText(nodeId).c_str(),
                             name);
    else
        UaTrace::traceLevel1("   Node[%d] %s [ret=0x%lx]", static_cast<int>(index), nodeText(nodeId).c_str(),
                             static_cast<unsigned long>(status.statusCode()));
    if (!isUpdate)
    {
        failHistoryRead(hTransaction, index, operation, status);
        return;
    }
    UaStatusCodeArray noResults;
    UaDiagnosticInfos noDiagnostics;
    finishHistoryUpdate(hTransaction, index + 1, status, noResults, noDiagnostics, false);
}

UaStatus UaTransactionManager::beginHistoryUpdate(PendingHistoryUpdateRequest* pRequest)
{
    traceEntry("beginHistoryUpdate", pRequest->request()->NoOfHistoryUpdateDetails);
    return runTransaction("beginHistoryUpdate", pRequest, pRequest->prepareResults(),
                          [&](NodeManager* root, OpcUa_UInt32 hTransaction)
                          { beginHistoryUpdateItems(pRequest, root, hTransaction); });
}

void UaTransactionManager::beginHistoryUpdateItems(PendingHistoryUpdateRequest* pRequest, NodeManager* root,
                                                   OpcUa_UInt32 hTransaction)
{
    const OpcUa_HistoryUpdateRequest& update = *pRequest->request();
    const OpcUa_UInt32 n = pRequest->itemCount();
    UaSession* session = pRequest->session();

    struct Item
    {
        const OpcUa_Void* details = nullptr;
        OpcUa_UInt32 operation = 0;
        const OpcUa_NodeId* nodeId = nullptr;
    };
    std::vector<Item> items(n);
    HandleList<UaNodeHandle> handles(n);
    OpcUa_NodeId nullNodeId;
    OpcUa_NodeId_Initialize(&nullNodeId);
    for (OpcUa_UInt32 i = 0; i < n; ++i)
    {
        OpcUa_UInt32 typeId = 0;
        Item& item = items[i];
        item.details = decodedBody(update.HistoryUpdateDetails[i], typeId);
        // Each of the three details begins with the NodeId it updates.
        switch (item.details != nullptr ? typeId : 0)
        {
        case OpcUaId_UpdateDataDetails:
            item.operation = HistoryOperation::UpdateData;
            item.nodeId = &static_cast<const OpcUa_UpdateDataDetails*>(item.details)->NodeId;
            break;
        case OpcUaId_DeleteRawModifiedDetails:
            item.operation = HistoryOperation::DeleteRawModified;
            item.nodeId = &static_cast<const OpcUa_DeleteRawModifiedDetails*>(item.details)->NodeId;
            break;
        case OpcUaId_DeleteAtTimeDetails:
            item.operation = HistoryOperation::DeleteAtTime;
            item.nodeId = &static_cast<const OpcUa_DeleteAtTimeDetails*>(item.details)->NodeId;
            break;
        default:
            failHistoryItem(hTransaction, i, nullNodeId, OpcUa_BadHistoryOperationInvalid, 0, true);
            continue;
        }
        UaStatus lookup;
        handles[i] = historyHandle(root, session, item.operation, *item.nodeId, lookup);
        if (handles[i] == nullptr)
            failHistoryItem(hTransaction, i, *item.nodeId, lookup, item.operation, true);
    }

    TransactionList<HistoryManager> transactions;
    for (OpcUa_UInt32 i = 0; i < n; ++i)
    {
        if (handles[i] == nullptr)
            continue;
        HistoryManager* historyManager = handles[i]->historyManager();
        if (historyManager == nullptr)
        {
            failHistoryItem(hTransaction, i, *items[i].nodeId, OpcUa_BadInternalError, items[i].operation,
                            true);
            continue;
        }
        OpcUa_Handle context = transactions.contextOf(
            historyManager,
            [&](OpcUa_Handle& opened)
            {
                historyManager->beginHistoryTransaction(this, pRequest->m_serviceContext, hTransaction, n,
                                                        HistoryOperation::UpdateData,
                                                        OpcUa_TimestampsToReturn_Neither, nullptr, opened);
            });
        const UaStatus begun = historyManager->beginHistoryUpdate(context, i + 1, handles[i],
                                                                  items[i].operation, items[i].details);
        if (begun.isBad())
            failHistoryItem(hTransaction, i, *items[i].nodeId, begun, items[i].operation, true);
    }
    transactions.finishAll([](HistoryManager* historyManager, OpcUa_Handle context)
                           { historyManager->finishHistoryTransaction(context); });
}

template <typename Finish>
UaStatus UaTransactionManager::finishHistoryReadItem(OpcUa_UInt32 hTransaction, bool sendNow,
                                                     HistoryReadContinuationPoint* pContinuationPoint,
                                                     Finish finish)
{
    const UaStatus found = finishItem<PendingHistoryReadRequest>(hTransaction, sendNow, finish);
    // The point was handed over: nobody else deletes it.
    if (found.isBad())
        delete pContinuationPoint;
    return found;
}

UaStatus UaTransactionManager::finishHistoryReadData(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                                     const UaStatus& status,
                                                     HistoryReadContinuationPoint* pContinuationPoint,
                                                     UaDataValueArray& dataValues, bool sendNow)
{
    return finishHistoryReadItem(
        hTransaction, sendNow, pContinuationPoint,
        [&](PendingHistoryReadRequest& request)
        { return request.finishHistoryReadData(callbackHandle, status, pContinuationPoint, dataValues); });
}

UaStatus UaTransactionManager::finishHistoryReadModifiedData(OpcUa_UInt32 hTransaction,
                                                             OpcUa_UInt32 callbackHandle,
                                                             const UaStatus& status,
                                                             HistoryReadContinuationPoint* pContinuationPoint,
                                                             UaDataValueArray& dataValues, bool sendNow)
{
    return finishHistoryReadItem(hTransaction, sendNow, pContinuationPoint,
                                 [&](PendingHistoryReadRequest& request) {
                                     return request.finishHistoryReadModifiedData(
                                         callbackHandle, status, pContinuationPoint, dataValues);
                                 });
}

UaStatus UaTransactionManager::finishHistoryReadEvent(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                                      const UaStatus& status,
                                                      HistoryReadContinuationPoint* pContinuationPoint,
                                                      UaHistoryEventFieldListArray& events, bool sendNow)
{
    return finishHistoryReadItem(
        hTransaction, sendNow, pContinuationPoint,
        [&](PendingHistoryReadRequest& request)
        { return request.finishHistoryReadEvent(callbackHandle, status, pContinuationPoint, events); });
}

UaStatus UaTransactionManager::finishHistoryUpdate(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                                   const UaStatus& status,
                                                   UaStatusCodeArray& operationResults,
                                                   UaDiagnosticInfos& diagnosticInfos, bool sendNow)
{
    return finishItem<PendingHistoryUpdateRequest>(
        hTransaction, sendNow,
        [&](PendingHistoryUpdateRequest& request)
        { return request.finishHistoryUpdate(callbackHandle, status, operationResults, diagnosticInfos); });
}
