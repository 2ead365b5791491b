// The monitored-item services of a subscription: items are created, changed, switched and deleted
// here and started, modified and stopped on the I/O managers and event managers that serve them;
// the managers answer through the subscription's callbacks, and the last answer of a request
// sends its response.
#include "uasubscription.h"

#include "pendingmonitoreditemrequests.h"
#include "registeredvariablehandle.h"
#include "uasession.h"

#include <deadbandrules.h>
#include <uanodeinterfaces.h>
#include <iomanager.h>
#include <nodemanager.h>
#include <uathreadpool.h>
#include <variablehandle.h>

#include <uatrace.h>

#include <algorithm>
#include <map>

namespace
{
constexpr OpcUa_UInt32 kEventNotifierAttribute = 12;
constexpr OpcUa_UInt32 kMaxAttributeId = 22;
// The low bits of a callback handle are the item's place in its request (from 1), the high bits
// the slot of the event manager that answers for it.
constexpr OpcUa_UInt32 kSlotShift = 24;
constexpr OpcUa_UInt32 kIndexMask = (1u << kSlotShift) - 1;
// An event item reports no queue size.
constexpr OpcUa_UInt32 kEventQueueSize = 0xFFFFFFFF;

OpcUa_UInt32 callbackHandleOf(OpcUa_UInt32 index, OpcUa_UInt32 slot)
{
    return (index + 1) | (slot << kSlotShift);
}

bool isFilterOf(const OpcUa_ExtensionObject& filter, const OpcUa_EncodeableType& type)
{
    return filter.Encoding == OpcUa_ExtensionObjectEncoding_EncodeableObject &&
           filter.Body.EncodeableObject.Type != nullptr &&
           filter.Body.EncodeableObject.Type->TypeId == type.TypeId;
}

bool hasFilter(const OpcUa_ExtensionObject& filter)
{
    return filter.Encoding != OpcUa_ExtensionObjectEncoding_None;
}

// What a data item's filter asks for; no filter is StatusValue without a deadband.
struct DataChangeSettings
{
    OpcUa_DataChangeTrigger trigger = OpcUa_DataChangeTrigger_StatusValue;
    OpcUa_UInt32 deadbandType = OpcUa_DeadbandType_None;
    OpcUa_Double deadband = 0.0;
};

// Good with the filter's settings, or the status that refuses it. A filter the item could not apply
// as asked is refused rather than accepted and ignored.
OpcUa_StatusCode readDataChangeFilter(const OpcUa_ExtensionObject& filter, DataChangeSettings& settings)
{
    settings = DataChangeSettings();
    if (!hasFilter(filter))
        return OpcUa_Good;
    if (!isFilterOf(filter, OpcUa_DataChangeFilter_EncodeableType))
        return OpcUa_BadFilterNotAllowed;
    const auto* change = static_cast<const OpcUa_DataChangeFilter*>(filter.Body.EncodeableObject.Object);
    if (static_cast<OpcUa_UInt32>(change->Trigger) > OpcUa_DataChangeTrigger_StatusValueTimestamp)
        return OpcUa_BadMonitoredItemFilterInvalid;
    switch (change->DeadbandType)
    {
    case OpcUa_DeadbandType_None:
        break;
    case OpcUa_DeadbandType_Absolute:
    case OpcUa_DeadbandType_Percent:
        // Negative, NaN, or a percentage beyond the whole range.
        if (!(change->DeadbandValue >= 0.0) ||
            (change->DeadbandType == OpcUa_DeadbandType_Percent && change->DeadbandValue > 100.0))
            return OpcUa_BadDeadbandFilterInvalid;
        settings.deadband = change->DeadbandValue;
        break;
    default:
        return OpcUa_BadDeadbandFilterInvalid;
    }
    settings.trigger = change->Trigger;
    settings.deadbandType = change->DeadbandType;
    return OpcUa_Good;
}

// A percent deadband is a share of the variable's EURange: a node without one cannot take it, whatever
// its I/O manager would do.
OpcUa_StatusCode checkDeadbandTarget(VariableHandle* handle, const DataChangeSettings& settings)
{
    if (settings.deadbandType != OpcUa_DeadbandType_Percent)
        return OpcUa_Good;
    UaNode* node = handle != nullptr ? handle->pUaNode() : nullptr;
    if (node == nullptr || node->nodeClass() != OpcUa_NodeClass_Variable ||
        DeadbandRules::euRangeSpan(*static_cast<UaVariable*>(node)) <= 0.0)
        return OpcUa_BadFilterNotAllowed;
    return OpcUa_Good;
}

// The monitoring asked of an I/O manager for a data item.
MonitoringContext monitoringOf(const UaMonitoredItemData& item, OpcUa_Double samplingInterval)
{
    MonitoringContext monitoring;
    monitoring.samplingInterval = samplingInterval;
    monitoring.deadband = item.deadband();
    monitoring.isAbsoluteDeadband = item.deadbandType() != OpcUa_DeadbandType_Percent;
    return monitoring;
}

// Called after an answer, which may have ended the subscription's last transaction and with it the
// subscription: it reads nothing of it.
void traceFinished(const char* operation, const char* kind, OpcUa_UInt32 subscriptionId,
                   OpcUa_UInt32 transactionId)
{
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("UaSubscription::%s - Finished %s transaction [SubID=%d] [TransactionID=%d]",
                             operation, kind, static_cast<int>(subscriptionId),
                             static_cast<int>(transactionId));
}

// An event item selects at least one field: without any it would deliver events that say nothing.
bool isUsableEventFilter(const OpcUa_ExtensionObject& filter)
{
    return isFilterOf(filter, OpcUa_EventFilter_EncodeableType) &&
           static_cast<const OpcUa_EventFilter*>(filter.Body.EncodeableObject.Object)->NoOfSelectClauses > 0;
}
} // namespace

// One monitored-item request in progress, or the internal start or stop of close and of a late
// event manager: every item is answered once, when the last of its managers has answered.
struct UaSubscription::Transaction
{
    // What an item's final answer does to it: a good stop of a deletion removes it, a failed start
    // of a creation too.
    enum Removal
    {
        Keep,
        RemoveStopped,
        RemoveFailed
    };

    Transaction(Removal what, PendingMonitoredItemsRequest* pending, OpcUa_UInt32 count)
        : removal(what), request(pending), itemIds(count, 0), outstanding(count, 1),
          statuses(count, OpcUa_Good), filterResults(count), open(count)
    {
        for (OpcUa_ExtensionObject& filterResult : filterResults)
            OpcUa_ExtensionObject_Initialize(&filterResult);
    }
    ~Transaction()
    {
        for (OpcUa_ExtensionObject& filterResult : filterResults)
            OpcUa_ExtensionObject_Clear(&filterResult);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Keeps the first filter result of item index, or a failing manager's in place of a good one's,
    // so the client sees why its filter was refused.
    void keepFilterResult(OpcUa_UInt32 index, const OpcUa_EventFilterResult* result, OpcUa_StatusCode status)
    {
        OpcUa_ExtensionObject& kept = filterResults[index];
        const bool empty = kept.Encoding == OpcUa_ExtensionObjectEncoding_None;
        if (result == nullptr || (!empty && (OpcUa_IsBad(statuses[index]) || OpcUa_IsGood(status))))
            return;
        OpcUa_ExtensionObject_Clear(&kept);
        OpcUa_Void* body = nullptr;
        if (OpcUa_IsBad(OpcUa_EncodeableObject_CreateExtension(&OpcUa_EventFilterResult_EncodeableType, &kept,
                                                               &body)))
            return;
        OpcUa_EncodeableObject_CopyTo(&OpcUa_EventFilterResult_EncodeableType,
                                      const_cast<OpcUa_EventFilterResult*>(result), body);
    }

    Removal removal;
    PendingMonitoredItemsRequest* request;
    std::vector<OpcUa_UInt32> itemIds;
    std::vector<OpcUa_UInt32> outstanding;
    std::vector<OpcUa_StatusCode> statuses;
    // The event managers' filter results, moved into the response's results.
    std::vector<OpcUa_ExtensionObject> filterResults;
    OpcUa_UInt32 open;
    // The begin operation still reads the request: its last answer cannot send it yet.
    bool held = true;
};

// The manager transactions one begin operation opens, each once, and finishes at its end.
class UaSubscription::ManagerCalls
{
public:
    ManagerCalls(UaSubscription* subscription, const ServiceContext& context, OpcUa_UInt32 transactionId,
                 OpcUa_UInt32 count, OpcUa_TimestampsToReturn timestamps, OpcUa_UInt32 ioType)
        : m_pSubscription(subscription), m_context(context), m_transactionId(transactionId), m_count(count),
          m_timestamps(timestamps), m_ioType(ioType)
    {
    }
    ~ManagerCalls()
    {
        for (auto& [manager, handle] : m_io)
        {
            if (handle != nullptr)
                manager->finishTransaction(handle);
        }
        for (auto& [manager, handle] : m_events)
        {
            if (handle != nullptr)
                manager->finishEventTransaction(handle);
        }
    }

    // Null with the failure in status when the manager refused the transaction.
    OpcUa_Handle io(IOManager* manager, OpcUa_StatusCode& status)
    {
        auto found = m_io.find(manager);
        if (found == m_io.end())
        {
            OpcUa_Handle handle = nullptr;
            const UaStatus begun = manager->beginTransaction(m_pSubscription, m_context, m_transactionId,
                                                             m_count, 0, m_timestamps, m_ioType, handle);
            found = m_io.emplace(manager, begun.isGood() ? handle : nullptr).first;
            m_ioStatus[manager] = begun.statusCode();
        }
        status = m_ioStatus[manager];
        return found->second;
    }
    OpcUa_Handle events(EventManager* manager, OpcUa_StatusCode& status)
    {
        auto found = m_events.find(manager);
        if (found == m_events.end())
        {
            OpcUa_Handle handle = nullptr;
            const UaStatus begun =
                manager->beginEventTransaction(m_pSubscription, m_context, m_transactionId, handle);
            found = m_events.emplace(manager, begun.isGood() ? handle : nullptr).first;
            m_eventStatus[manager] = begun.statusCode();
        }
        status = m_eventStatus[manager];
        return found->second;
    }

private:
    UaSubscription* m_pSubscription;
    const ServiceContext& m_context;
    OpcUa_UInt32 m_transactionId;
    OpcUa_UInt32 m_count;
    OpcUa_TimestampsToReturn m_timestamps;
    OpcUa_UInt32 m_ioType;
    std::map<IOManager*, OpcUa_Handle> m_io;
    std::map<IOManager*, OpcUa_StatusCode> m_ioStatus;
    std::map<EventManager*, OpcUa_Handle> m_events;
    std::map<EventManager*, OpcUa_StatusCode> m_eventStatus;
};

OpcUa_UInt32 UaSubscription::openTransaction(PendingMonitoredItemsRequest* request, const char* operation,
                                             int removal, const char* kind, UaStatus& result)
{
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("--> UaSubscription::%s [SubID=%d] with %d nodes", operation,
                             static_cast<int>(subscriptionId()),
                             static_cast<int>(request->requestItemCount()));
    UaMutexLocker lock(&m_items.mutex);
    result = OpcUa_Good;
    if (m_state == CLOSED || m_isClosed)
    {
        UaTrace::traceLevel6(
            "<-- UaSubscription::%s [ret=OpcUa_BadSubscriptionIdInvalid] - Subscription in CLOSED "
            "state",
            operation);
        result = OpcUa_BadSubscriptionIdInvalid;
        return 0;
    }
    if (request->session() != m_pSession)
    {
        UaTrace::traceLevel6("<-- UaSubscription::%s [ret=OpcUa_BadSessionIdInvalid]", operation);
        result = OpcUa_BadSessionIdInvalid;
        return 0;
    }
    const OpcUa_StatusCode prepared = request->prepareResults();
    if (OpcUa_IsBad(prepared))
    {
        result = prepared;
        return 0;
    }
    return registerTransaction(
        new Transaction(static_cast<Transaction::Removal>(removal), request, request->requestItemCount()),
        kind);
}

UaStatus UaSubscription::closeTransaction(OpcUa_UInt32 transactionId, const char* operation)
{
    releaseTransaction(transactionId);
    UaTrace::traceLevel6("<-- UaSubscription::%s [ret=0x%lx]", operation, 0ul);
    return OpcUa_Good;
}

OpcUa_UInt32 UaSubscription::registerTransaction(Transaction* transaction, const char* kind)
{
    OpcUa_UInt32 id = ++m_lastTransactionId;
    while (id == 0 || m_transactions.count(id) != 0)
        id = ++m_lastTransactionId;
    m_transactions[id] = transaction;
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("    Started %s transaction [SubID=%d] [TransactionID=%d]", kind,
                             static_cast<int>(m_subscriptionId), static_cast<int>(id));
    return id;
}

void UaSubscription::releaseTransaction(OpcUa_UInt32 transactionId)
{
    Transaction* done = nullptr;
    {
        UaMutexLocker lock(&m_items.mutex);
        auto found = m_transactions.find(transactionId);
        if (found == m_transactions.end())
            return;
        found->second->held = false;
        if (found->second->open == 0)
        {
            done = found->second;
            m_transactions.erase(found);
            ++m_completing;
        }
    }
    if (done != nullptr)
        complete(done);
}

void UaSubscription::complete(Transaction* transaction)
{
    PendingMonitoredItemsRequest* request = transaction->request;
    delete transaction;
    if (request != nullptr)
    {
        monitoredItemsDone(request);
        UaThreadPool* pool;
        {
            UaMutexLocker lock(&m_items.mutex);
            pool = m_pThreadPool;
        }
        if (pool == nullptr || OpcUa_IsBad(pool->addJob(request)))
        {
            request->sendResponse();
            delete request;
        }
    }
    // Notified under the mutex: a waiter (the destructor among them) goes on only once this
    // thread no longer touches the subscription.
    UaMutexLocker lock(&m_items.mutex);
    --m_completing;
    m_transactionsLeft.notify_all();
}

UaStatus UaSubscription::answer(OpcUa_UInt32 transactionId, OpcUa_UInt32 callbackHandle,
                                OpcUa_StatusCode status,
                                const std::function<void(UaMonitoredItem&, OpcUa_UInt32 slot)>& apply,
                                const OpcUa_EventFilterResult* filterResult)
{
    Transaction* done = nullptr;
    // What the answer sets going once the mutex is let go: the item's next start or stop, and the
    // answers of those that waited on an item that went.
    SamplingOperation next;
    UaMonitoredItemData* nextItem = nullptr;
    std::vector<SamplingOperation> abandoned;
    {
        UaMutexLocker lock(&m_items.mutex);
        auto found = m_transactions.find(transactionId);
        if (found == m_transactions.end())
            return OpcUa_BadInvalidArgument;
        Transaction& transaction = *found->second;
        const OpcUa_UInt32 index = (callbackHandle & kIndexMask) - 1;
        if (index >= transaction.itemIds.size() || transaction.outstanding[index] == 0)
            return OpcUa_BadInvalidArgument;
        const OpcUa_UInt32 id = transaction.itemIds[index];
        UaMonitoredItem* item = monitoredItem(id);
        transaction.keepFilterResult(index, filterResult, status);
        if (OpcUa_IsGood(transaction.statuses[index]))
            transaction.statuses[index] = status;
        if (item != nullptr && OpcUa_IsGood(status) && apply)
            apply(*item, callbackHandle >> kSlotShift);
        auto* sampled = item != nullptr && item->itemType() == UaMonitoredItem::Data
                            ? static_cast<UaMonitoredItemData*>(item)
                            : nullptr;
        if (sampled != nullptr && !sampled->isSamplingOnItsWay(transactionId, index))
            sampled = nullptr;
        if (--transaction.outstanding[index] == 0)
        {
            itemAnswered(transaction, index, abandoned);
            --transaction.open;
        }
        if (sampled != nullptr && monitoredItem(id) == sampled && sampled->samplingAnswered(status, next))
            nextItem = sampled;
        // An operation that waited on a removed item answers for no item: its id may be a new item's.
        for (const SamplingOperation& operation : abandoned)
        {
            auto waiting = m_transactions.find(operation.transactionId);
            if (waiting != m_transactions.end())
                waiting->second->itemIds[operation.index] = 0;
        }
        if (nextItem != nullptr || !abandoned.empty())
            ++m_completing;
        if (transaction.open == 0 && !transaction.held)
        {
            done = found->second;
            m_transactions.erase(found);
            ++m_completing;
        }
    }
    if (nextItem != nullptr || !abandoned.empty())
    {
        for (const SamplingOperation& operation : abandoned)
            answerAtOnce(operation.transactionId, operation.index, OpcUa_BadMonitoredItemIdInvalid);
        if (nextItem != nullptr)
            runSampling(next, nextItem);
        // As in complete: the subscription stays until this thread no longer touches it.
        UaMutexLocker lock(&m_items.mutex);
        --m_completing;
        m_transactionsLeft.notify_all();
    }
    if (done != nullptr)
        complete(done);
    return OpcUa_Good;
}

void UaSubscription::itemAnswered(Transaction& transaction, OpcUa_UInt32 index,
                                  std::vector<SamplingOperation>& abandoned)
{
    const OpcUa_UInt32 id = transaction.itemIds[index];
    UaMonitoredItem* item = monitoredItem(id);
    OpcUa_StatusCode status = transaction.statuses[index];
    if (item == nullptr && id != 0 && OpcUa_IsGood(status))
        status = OpcUa_BadInternalError;
    OpcUa_Double interval = 0;
    OpcUa_UInt32 queueSize = 0;
    if (item != nullptr)
    {
        interval = item->samplingInterval();
        queueSize = item->itemType() == UaMonitoredItem::Data
                        ? static_cast<UaMonitoredItemData*>(item)->queueSize()
                        : kEventQueueSize;
    }
    const bool remove =
        item != nullptr && ((transaction.removal == Transaction::RemoveStopped && OpcUa_IsGood(status)) ||
                            (transaction.removal == Transaction::RemoveFailed && OpcUa_IsBad(status)));
    if (transaction.request != nullptr)
    {
        transaction.request->setResult(index, status, remove ? 0 : id, interval, queueSize);
        transaction.request->setFilterResult(index, transaction.filterResults[index]);
    }
    if (remove)
    {
        if (item->itemType() == UaMonitoredItem::Data)
            abandoned = static_cast<UaMonitoredItemData*>(item)->takeWaitingSampling();
        deleteMonitoredItem(id);
    }
}

void UaSubscription::answerAtOnce(OpcUa_UInt32 transactionId, OpcUa_UInt32 index, OpcUa_StatusCode status)
{
    answer(transactionId, callbackHandleOf(index, 0), status, nullptr);
}

UaStatus UaSubscription::beginCreateMonitoredItems(PendingCreateMonitoredItemsRequest* request)
{
    const OpcUa_CreateMonitoredItemsRequest& message = *request->request();
    const OpcUa_UInt32 count = request->requestItemCount();
    UaStatus result;
    const OpcUa_UInt32 transactionId = openTransaction(request, "beginCreateMonitoredItems",
                                                       Transaction::RemoveFailed, "StartMonitoring", result);
    if (transactionId == 0)
        return result;
    UaMutexLocker lock(&m_items.mutex);
    UaSession* session = m_pSession;
    const OpcUa_Double publishingInterval = m_publishingInterval;
    const OpcUa_UInt32 maxDataQueueSize = m_maxDataQueueSize;
    lock.unlock();

    {
        ManagerCalls calls(this, request->m_serviceContext, transactionId, count, message.TimestampsToReturn,
                           IOTransactionType::StartMonitoring);
        for (OpcUa_UInt32 i = 0; i < count; ++i)
        {
            const OpcUa_MonitoredItemCreateRequest& create = message.ItemsToCreate[i];
            const OpcUa_ReadValueId& target = create.ItemToMonitor;
            const OpcUa_MonitoringParameters& parameters = create.RequestedParameters;
            const OpcUa_Double interval =
                parameters.SamplingInterval < 0 ? publishingInterval : parameters.SamplingInterval;
            OpcUa_StatusCode refused = OpcUa_Good;
            if (!OpcUa_String_IsNull(&target.DataEncoding.Name) &&
                OpcUa_String_StrLen(&target.DataEncoding.Name) > 0)
                refused = OpcUa_BadDataEncodingUnsupported;
            else if (target.AttributeId == 0 || target.AttributeId > kMaxAttributeId)
                refused = OpcUa_BadAttributeIdInvalid;
            else if (!UaMonitoredItem::isValidMode(create.MonitoringMode))
                refused = OpcUa_BadMonitoringModeInvalid;
            else if (target.AttributeId == kEventNotifierAttribute && !isUsableEventFilter(parameters.Filter))
                refused = OpcUa_BadEventFilterInvalid;
            if (OpcUa_IsBad(refused))
            {
                answerAtOnce(transactionId, i, refused);
                continue;
            }
            UaMonitoredItem* item =
                target.AttributeId == kEventNotifierAttribute
                    ? createEventItem(session, create, interval, refused)
                    : createDataItem(session, create, interval, maxDataQueueSize, refused);
            if (item == nullptr)
            {
                answerAtOnce(transactionId, i, refused);
                continue;
            }
            item->setTimestampsToReturn(message.TimestampsToReturn);
            {
                // Its start is on its way before anyone can find the item: a stop waits for it.
                UaMutexLocker itemLock(&m_items.mutex);
                takeTurn(item, true, transactionId, i);
            }
            const OpcUa_UInt32 id = addMonitoredItem(item, &refused);
            if (id == 0)
            {
                delete item;
                answerAtOnce(transactionId, i, refused);
                continue;
            }
            {
                UaMutexLocker itemLock(&m_items.mutex);
                m_transactions[transactionId]->itemIds[i] = id;
            }
            startItem(calls, transactionId, i, item);
        }
    }
    return closeTransaction(transactionId, "beginCreateMonitoredItems");
}

UaMonitoredItem* UaSubscription::createDataItem(UaSession* session,
                                                const OpcUa_MonitoredItemCreateRequest& create,
                                                OpcUa_Double interval, OpcUa_UInt32 maxQueueSize,
                                                OpcUa_StatusCode& refused)
{
    const OpcUa_ReadValueId& target = create.ItemToMonitor;
    const OpcUa_MonitoringParameters& parameters = create.RequestedParameters;
    DataChangeSettings settings;
    refused = readDataChangeFilter(parameters.Filter, settings);
    if (OpcUa_IsBad(refused))
        return nullptr;
    // Service type 2: monitoring.
    VariableHandle* handle = RegisteredVariableHandle::resolve(m_pNodeManagerRoot, session, 2, target.NodeId,
                                                               static_cast<OpcUa_Int32>(target.AttributeId));
    if (handle == nullptr)
    {
        refused = OpcUa_BadNodeIdUnknown;
        return nullptr;
    }
    refused = checkDeadbandTarget(handle, settings);
    if (OpcUa_IsBad(refused))
    {
        handle->releaseReference();
        return nullptr;
    }
    const OpcUa_UInt32 queueSize = std::min(parameters.QueueSize, maxQueueSize);
    auto* item = new UaMonitoredItemData(UaNodeId(target.NodeId), handle, create.MonitoringMode,
                                         parameters.ClientHandle, interval, &m_items, queueSize,
                                         parameters.DiscardOldest != OpcUa_False, settings.trigger);
    item->setDeadband(settings.deadbandType, settings.deadband);
    return item;
}

UaMonitoredItem* UaSubscription::createEventItem(UaSession* session,
                                                 const OpcUa_MonitoredItemCreateRequest& create,
                                                 OpcUa_Double interval, OpcUa_StatusCode& refused)
{
    const OpcUa_ReadValueId& target = create.ItemToMonitor;
    const OpcUa_MonitoringParameters& parameters = create.RequestedParameters;
    const auto* filter =
        static_cast<const OpcUa_EventFilter*>(parameters.Filter.Body.EncodeableObject.Object);
    UaPointerArray<EventManager> managers;
    const UaStatus gathered =
        m_pNodeManagerRoot != nullptr
            ? m_pNodeManagerRoot->getEventManagers(session, &target.NodeId, filter, managers)
            : UaStatus(OpcUa_BadMonitoredItemFilterUnsupported);
    if (gathered.isBad())
    {
        refused = gathered.statusCode();
        return nullptr;
    }
    std::vector<EventManager*> serving;
    for (OpcUa_UInt32 i = 0; i < managers.length(); ++i)
    {
        if (managers[i] != nullptr)
            serving.push_back(managers[i]);
    }
    if (serving.empty())
    {
        refused = OpcUa_BadMonitoredItemFilterUnsupported;
        return nullptr;
    }
    OpcUa_EventFilter copy;
    OpcUa_EventFilter_Initialize(&copy);
    OpcUa_EncodeableObject_CopyTo(&OpcUa_EventFilter_EncodeableType, filter, &copy);
    auto* item = new UaMonitoredItemEvent(UaNodeId(target.NodeId), serving, create.MonitoringMode,
                                          parameters.ClientHandle, interval, &copy, &m_items);
    OpcUa_EventFilter_Clear(&copy);
    return item;
}

bool UaSubscription::takeTurn(UaMonitoredItem* item, bool start, OpcUa_UInt32 transactionId,
                              OpcUa_UInt32 index)
{
    if (item->itemType() != UaMonitoredItem::Data)
        return true;
    return static_cast<UaMonitoredItemData*>(item)->claimSampling({start, transactionId, index});
}

void UaSubscription::runSampling(const SamplingOperation& operation, UaMonitoredItemData* item)
{
    UaSession* owner = session();
    {
        ServiceContext context;
        OpcUa_RequestHeader header;
        OpcUa_RequestHeader_Initialize(&header);
        context.setSession(owner, header);
        ManagerCalls calls(this, context, operation.transactionId, 1, OpcUa_TimestampsToReturn_Both,
                           operation.start ? IOTransactionType::StartMonitoring
                                           : IOTransactionType::StopMonitoring);
        if (operation.start)
            startItem(calls, operation.transactionId, operation.index, item);
        else
            stopItem(calls, operation.transactionId, operation.index, item);
    }
    if (owner != nullptr)
        owner->releaseReference();
}

void UaSubscription::startItem(ManagerCalls& calls, OpcUa_UInt32 transactionId, OpcUa_UInt32 index,
                               UaMonitoredItem* item)
{
    if (item->monitoringMode() == OpcUa_MonitoringMode_Disabled)
    {
        answerAtOnce(transactionId, index, OpcUa_Good);
        return;
    }
    if (item->itemType() == UaMonitoredItem::Data)
    {
        auto* data = static_cast<UaMonitoredItemData*>(item);
        IOManager* manager = data->variableHandle()->ioManager();
        OpcUa_StatusCode status = OpcUa_BadNodeIdUnknown;
        OpcUa_Handle context = manager != nullptr ? calls.io(manager, status) : nullptr;
        if (context != nullptr)
        {
            MonitoringContext monitoring = monitoringOf(*data, item->samplingInterval());
            status = manager
                         ->beginStartMonitoring(context, callbackHandleOf(index, 0), data,
                                                data->variableHandle(), monitoring)
                         .statusCode();
        }
        if (OpcUa_IsBad(status))
            answerAtOnce(transactionId, index, status);
        return;
    }
    auto* events = static_cast<UaMonitoredItemEvent*>(item);
    const std::vector<EventManager*> managers = events->eventManagers();
    if (managers.empty())
    {
        answerAtOnce(transactionId, index, OpcUa_Good);
        return;
    }
    {
        UaMutexLocker lock(&m_items.mutex);
        m_transactions[transactionId]->outstanding[index] = static_cast<OpcUa_UInt32>(managers.size());
    }
    for (OpcUa_UInt32 slot = 0; slot < managers.size(); ++slot)
        startEventMonitoring(calls, transactionId, index, slot, managers[slot], events);
}

void UaSubscription::startEventMonitoring(ManagerCalls& calls, OpcUa_UInt32 transactionId, OpcUa_UInt32 index,
                                          OpcUa_UInt32 slot, EventManager* manager,
                                          UaMonitoredItemEvent* item)
{
    // A slot whose manager has gone has nothing to start.
    OpcUa_StatusCode status = OpcUa_Good;
    OpcUa_Handle context = manager != nullptr ? calls.events(manager, status) : nullptr;
    if (context != nullptr)
    {
        EventMonitoringContext monitoring;
        monitoring.notifierId = item->nodeId();
        monitoring.samplingInterval = item->samplingInterval();
        monitoring.pEventFilter = &item->eventFilter();
        status = manager->beginStartMonitoring(context, callbackHandleOf(index, slot), item, monitoring)
                     .statusCode();
    }
    if (manager == nullptr || OpcUa_IsBad(status))
        answer(transactionId, callbackHandleOf(index, slot), status, nullptr);
}

UaStatus UaSubscription::finishStartMonitoring(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                               OpcUa_UInt32 samplingItemHandle,
                                               OpcUa_Double revisedSamplingInterval,
                                               bool initialValueAvailable, UaDataValue& initialValue,
                                               const UaStatus& status)
{
    const OpcUa_UInt32 subscriptionId = tracedSubscriptionId();
    const UaStatus result = answer(hTransaction, callbackHandle, status.statusCode(),
                                   [&](UaMonitoredItem& item, OpcUa_UInt32)
                                   {
                                       auto& data = static_cast<UaMonitoredItemData&>(item);
                                       data.setSamplingInterval(revisedSamplingInterval);
                                       data.setIoHandle(samplingItemHandle);
                                       if (initialValueAvailable)
                                           data.dataChange(initialValue);
                                   });
    traceFinished("finishStartMonitoring", "StartMonitoring", subscriptionId, hTransaction);
    return result;
}

UaStatus UaSubscription::finishStartMonitoring(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                               OpcUa_UInt32 hEventItem, OpcUa_Double revisedSamplingInterval,
                                               const UaStatus& status,
                                               const OpcUa_EventFilterResult* pFilterResult)
{
    const OpcUa_UInt32 subscriptionId = tracedSubscriptionId();
    const UaStatus result = answer(
        hTransaction, callbackHandle, status.statusCode(),
        [&](UaMonitoredItem& item, OpcUa_UInt32 slot)
        {
            auto& events = static_cast<UaMonitoredItemEvent&>(item);
            events.setSamplingInterval(revisedSamplingInterval);
            events.setEventManagerHandle(hEventItem, slot + 1);
        },
        pFilterResult);
    traceFinished("finishStartMonitoring", "StartMonitoring", subscriptionId, hTransaction);
    return result;
}

UaStatus UaSubscription::finishModifyMonitoring(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                                OpcUa_Double revisedSamplingInterval, const UaStatus& status)
{
    return answer(hTransaction, callbackHandle, status.statusCode(),
                  [&](UaMonitoredItem& item, OpcUa_UInt32)
                  { item.setSamplingInterval(revisedSamplingInterval); });
}

UaStatus UaSubscription::finishModifyMonitoring(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                                OpcUa_Double revisedSamplingInterval, const UaStatus& status,
                                                const OpcUa_EventFilterResult* pFilterResult)
{
    return answer(
        hTransaction, callbackHandle, status.statusCode(),
        [&](UaMonitoredItem& item, OpcUa_UInt32) { item.setSamplingInterval(revisedSamplingInterval); },
        pFilterResult);
}

UaStatus UaSubscription::finishStopMonitoring(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                              UaStatus& status)
{
    return answer(hTransaction, callbackHandle, status.statusCode(), nullptr);
}

UaStatus UaSubscription::finishStopMonitoring(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                              const UaStatus& status)
{
    return answer(hTransaction, callbackHandle, status.statusCode(), nullptr);
}

OpcUa_UInt32 UaSubscription::tracedSubscriptionId()
{
    return UaTrace::isTraceLevelOn(6) ? subscriptionId() : 0;
}

UaStatus UaSubscription::beginModifyMonitoredItems(PendingModifyMonitoredItemsRequest* request)
{
    const OpcUa_ModifyMonitoredItemsRequest& message = *request->request();
    const OpcUa_UInt32 count = request->requestItemCount();
    UaStatus result;
    const OpcUa_UInt32 transactionId =
        openTransaction(request, "beginModifyMonitoredItems", Transaction::Keep, "ModifyMonitoring", result);
    if (transactionId == 0)
        return result;
    UaMutexLocker lock(&m_items.mutex);
    const OpcUa_Double publishingInterval = m_publishingInterval;
    const OpcUa_UInt32 maxDataQueueSize = m_maxDataQueueSize;
    lock.unlock();
    {
        ManagerCalls calls(this, request->m_serviceContext, transactionId, count, message.TimestampsToReturn,
                           IOTransactionType::ModifyMonitoring);
        for (OpcUa_UInt32 i = 0; i < count; ++i)
        {
            const OpcUa_MonitoredItemModifyRequest& modify = message.ItemsToModify[i];
            const OpcUa_MonitoringParameters& parameters = modify.RequestedParameters;
            const OpcUa_Double interval =
                parameters.SamplingInterval < 0 ? publishingInterval : parameters.SamplingInterval;
            UaMutexLocker itemLock(&m_items.mutex);
            UaMonitoredItem* item = monitoredItem(modify.MonitoredItemId);
            if (item == nullptr)
            {
                itemLock.unlock();
                answerAtOnce(transactionId, i, OpcUa_BadMonitoredItemIdInvalid);
                continue;
            }
            m_transactions[transactionId]->itemIds[i] = modify.MonitoredItemId;
            item->setTimestampsToReturn(message.TimestampsToReturn);
            item->setClientHandle(parameters.ClientHandle);
            if (item->itemType() == UaMonitoredItem::Data)
            {
                auto* data = static_cast<UaMonitoredItemData*>(item);
                // A refused filter leaves the item as it was; without a filter it keeps its own.
                DataChangeSettings settings;
                OpcUa_StatusCode refused = readDataChangeFilter(parameters.Filter, settings);
                if (OpcUa_IsGood(refused) && hasFilter(parameters.Filter))
                    refused = checkDeadbandTarget(data->variableHandle(), settings);
                if (OpcUa_IsBad(refused))
                {
                    itemLock.unlock();
                    answerAtOnce(transactionId, i, refused);
                    continue;
                }
                if (hasFilter(parameters.Filter))
                {
                    data->setTrigger(settings.trigger);
                    data->setDeadband(settings.deadbandType, settings.deadband);
                }
                data->setQueueSize(std::min(parameters.QueueSize, maxDataQueueSize));
                data->setDiscardOldest(parameters.DiscardOldest != OpcUa_False);
                data->setSamplingInterval(interval);
                const OpcUa_MonitoringMode mode = data->monitoringMode();
                IOManager* manager =
                    data->variableHandle() != nullptr ? data->variableHandle()->ioManager() : nullptr;
                itemLock.unlock();
                if (mode == OpcUa_MonitoringMode_Disabled || manager == nullptr)
                {
                    answerAtOnce(transactionId, i, OpcUa_Good);
                    continue;
                }
                OpcUa_StatusCode status = OpcUa_Good;
                OpcUa_Handle context = calls.io(manager, status);
                if (context != nullptr)
                {
                    MonitoringContext monitoring = monitoringOf(*data, interval);
                    status = manager
                                 ->beginModifyMonitoring(context, callbackHandleOf(i, 0), data->ioHandle(),
                                                         monitoring)
                                 .statusCode();
                }
                if (OpcUa_IsBad(status))
                    answerAtOnce(transactionId, i, status);
                continue;
            }
            auto* events = static_cast<UaMonitoredItemEvent*>(item);
            if (!isUsableEventFilter(parameters.Filter))
            {
                itemLock.unlock();
                answerAtOnce(transactionId, i, OpcUa_BadEventFilterInvalid);
                continue;
            }
            OpcUa_EventFilter copy;
            OpcUa_EventFilter_Initialize(&copy);
            OpcUa_EncodeableObject_CopyTo(&OpcUa_EventFilter_EncodeableType,
                                          parameters.Filter.Body.EncodeableObject.Object, &copy);
            events->setEventFilter(&copy);
            events->setSamplingInterval(interval);
            const std::vector<EventManager*> managers = events->eventManagers();
            const std::vector<OpcUa_UInt32> handles = events->eventManagerHandles();
            const bool disabled = events->monitoringMode() == OpcUa_MonitoringMode_Disabled;
            if (!disabled)
                m_transactions[transactionId]->outstanding[i] = static_cast<OpcUa_UInt32>(managers.size());
            itemLock.unlock();
            if (disabled || managers.empty())
            {
                answerAtOnce(transactionId, i, OpcUa_Good);
                continue;
            }
            for (OpcUa_UInt32 slot = 0; slot < managers.size(); ++slot)
            {
                OpcUa_StatusCode status = OpcUa_BadInvalidArgument;
                OpcUa_Handle context =
                    managers[slot] != nullptr ? calls.events(managers[slot], status) : nullptr;
                if (context != nullptr)
                {
                    EventMonitoringContext monitoring;
                    monitoring.notifierId = events->nodeId();
                    monitoring.samplingInterval = interval;
                    monitoring.pEventFilter = &events->eventFilter();
                    status = managers[slot]
                                 ->beginModifyMonitoring(context, callbackHandleOf(i, slot), handles[slot],
                                                         monitoring)
                                 .statusCode();
                }
                if (OpcUa_IsBad(status))
                    answer(transactionId, callbackHandleOf(i, slot), status, nullptr);
            }
        }
    }
    return closeTransaction(transactionId, "beginModifyMonitoredItems");
}

void UaSubscription::stopItem(ManagerCalls& calls, OpcUa_UInt32 transactionId, OpcUa_UInt32 index,
                              UaMonitoredItem* item)
{
    if (item->itemType() == UaMonitoredItem::Data)
    {
        auto* data = static_cast<UaMonitoredItemData*>(item);
        IOManager* manager =
            data->variableHandle() != nullptr ? data->variableHandle()->ioManager() : nullptr;
        OpcUa_UInt32 handle;
        {
            UaMutexLocker lock(&m_items.mutex);
            handle = data->takeIoHandleForStop();
        }
        // Never started, or stopped before: the manager holds nothing for the item.
        if (manager == nullptr || handle == 0)
        {
            answerAtOnce(transactionId, index, OpcUa_Good);
            return;
        }
        OpcUa_StatusCode status = OpcUa_Good;
        OpcUa_Handle context = calls.io(manager, status);
        if (context != nullptr)
            status = manager->beginStopMonitoring(context, callbackHandleOf(index, 0), handle).statusCode();
        if (OpcUa_IsBad(status))
            answerAtOnce(transactionId, index, status);
        return;
    }
    auto* events = static_cast<UaMonitoredItemEvent*>(item);
    const std::vector<EventManager*> managers = events->eventManagers();
    const std::vector<OpcUa_UInt32> handles = events->eventManagerHandles();
    {
        UaMutexLocker lock(&m_items.mutex);
        m_transactions[transactionId]->outstanding[index] = std::max<OpcUa_UInt32>(1, managers.size());
    }
    if (managers.empty())
    {
        answerAtOnce(transactionId, index, OpcUa_Good);
        return;
    }
    for (OpcUa_UInt32 slot = 0; slot < managers.size(); ++slot)
    {
        OpcUa_StatusCode status = OpcUa_Good;
        OpcUa_Handle context = managers[slot] != nullptr ? calls.events(managers[slot], status) : nullptr;
        if (context != nullptr)
            status = managers[slot]
                         ->beginStopMonitoring(context, callbackHandleOf(index, slot), handles[slot])
                         .statusCode();
        // A manager that is gone has nothing left to stop.
        if (managers[slot] == nullptr || OpcUa_IsBad(status))
            answer(transactionId, callbackHandleOf(index, slot),
                   managers[slot] == nullptr ? OpcUa_Good : status, nullptr);
    }
}

UaStatus UaSubscription::beginSetMonitoringMode(PendingSetMonitoringModeRequest* request)
{
    const OpcUa_SetMonitoringModeRequest& message = *request->request();
    const OpcUa_UInt32 count = request->requestItemCount();
    const bool disabling = message.MonitoringMode == OpcUa_MonitoringMode_Disabled;
    UaStatus result;
    const OpcUa_UInt32 transactionId =
        openTransaction(request, "beginSetMonitoringMode", Transaction::Keep,
                        disabling ? "StopMonitoring" : "StartMonitoring", result);
    if (transactionId == 0)
        return result;
    {
        ManagerCalls calls(
            this, request->m_serviceContext, transactionId, count, OpcUa_TimestampsToReturn_Both,
            disabling ? IOTransactionType::StopMonitoring : IOTransactionType::StartMonitoring);
        for (OpcUa_UInt32 i = 0; i < count; ++i)
        {
            const OpcUa_UInt32 id = message.MonitoredItemIds[i];
            UaMutexLocker itemLock(&m_items.mutex);
            UaMonitoredItem* item = monitoredItem(id);
            if (item == nullptr)
            {
                itemLock.unlock();
                answerAtOnce(transactionId, i, OpcUa_BadMonitoredItemIdInvalid);
                continue;
            }
            m_transactions[transactionId]->itemIds[i] = id;
            const OpcUa_MonitoringMode previous = item->monitoringMode();
            item->setMonitoringMode(message.MonitoringMode);
            // Unchanged, or between Sampling and Reporting: the managers need not hear of it.
            const bool wasDisabled = previous == OpcUa_MonitoringMode_Disabled;
            const bool unchanged = previous == message.MonitoringMode || (!wasDisabled && !disabling);
            const bool now = !unchanged && takeTurn(item, !disabling, transactionId, i);
            itemLock.unlock();
            if (unchanged)
                answerAtOnce(transactionId, i, OpcUa_GoodNoData);
            else if (!now)
                continue;
            else if (disabling)
                stopItem(calls, transactionId, i, item);
            else
                startItem(calls, transactionId, i, item);
        }
    }
    return closeTransaction(transactionId, "beginSetMonitoringMode");
}

UaStatus UaSubscription::beginDeleteMonitoredItems(PendingDeleteMonitoredItemsRequest* request)
{
    const OpcUa_DeleteMonitoredItemsRequest& message = *request->request();
    const OpcUa_UInt32 count = request->requestItemCount();
    UaStatus result;
    const OpcUa_UInt32 transactionId = openTransaction(request, "beginDeleteMonitoredItems",
                                                       Transaction::RemoveStopped, "StopMonitoring", result);
    if (transactionId == 0)
        return result;
    {
        ManagerCalls calls(this, request->m_serviceContext, transactionId, count,
                           OpcUa_TimestampsToReturn_Both, IOTransactionType::StopMonitoring);
        for (OpcUa_UInt32 i = 0; i < count; ++i)
            stopById(calls, transactionId, i, message.MonitoredItemIds[i]);
    }
    return closeTransaction(transactionId, "beginDeleteMonitoredItems");
}

void UaSubscription::stopById(ManagerCalls& calls, OpcUa_UInt32 transactionId, OpcUa_UInt32 index,
                              OpcUa_UInt32 id)
{
    UaMutexLocker lock(&m_items.mutex);
    UaMonitoredItem* item = monitoredItem(id);
    if (item == nullptr)
    {
        lock.unlock();
        answerAtOnce(transactionId, index, OpcUa_BadMonitoredItemIdInvalid);
        return;
    }
    m_transactions[transactionId]->itemIds[index] = id;
    // A disabled data item may still have a stop on its way: its deletion waits for it too.
    const bool disabled =
        item->monitoringMode() == OpcUa_MonitoringMode_Disabled && item->itemType() != UaMonitoredItem::Data;
    const bool now = disabled || takeTurn(item, false, transactionId, index);
    lock.unlock();
    if (disabled)
        answerAtOnce(transactionId, index, OpcUa_Good);
    else if (now)
        stopItem(calls, transactionId, index, item);
}

void UaSubscription::stopAllItems(UaSession* session)
{
    std::vector<OpcUa_UInt32> ids;
    {
        UaMutexLocker lock(&m_items.mutex);
        for (OpcUa_UInt32 i = 0; i < m_monitoredItems.size(); ++i)
        {
            if (m_monitoredItems[i] != nullptr)
                ids.push_back(i + 1);
        }
    }
    if (ids.empty())
        return;
    const auto count = static_cast<OpcUa_UInt32>(ids.size());
    OpcUa_UInt32 transactionId;
    {
        UaMutexLocker lock(&m_items.mutex);
        transactionId = registerTransaction(new Transaction(Transaction::RemoveStopped, nullptr, count),
                                            "internal StopMonitoring");
    }
    ServiceContext context;
    OpcUa_RequestHeader header;
    OpcUa_RequestHeader_Initialize(&header);
    context.setSession(session, header);
    {
        ManagerCalls calls(this, context, transactionId, count, OpcUa_TimestampsToReturn_Both,
                           IOTransactionType::StopMonitoring);
        for (OpcUa_UInt32 i = 0; i < count; ++i)
            stopById(calls, transactionId, i, ids[i]);
    }
    releaseTransaction(transactionId);
}

void UaSubscription::dynamicEventManagerRegistered(EventManager* eventManager)
{
    std::vector<std::pair<OpcUa_UInt32, OpcUa_UInt32>> started; // item id, slot
    UaSession* session;
    {
        UaMutexLocker lock(&m_items.mutex);
        if (m_isClosed || m_pSession == nullptr)
            return;
        for (OpcUa_UInt32 i = 0; i < m_monitoredItems.size(); ++i)
        {
            UaMonitoredItem* item = m_monitoredItems[i];
            if (item == nullptr || item->itemType() != UaMonitoredItem::Event)
                continue;
            auto* events = static_cast<UaMonitoredItemEvent*>(item);
            // An announcement that comes after the item was made may name a manager it has already:
            // a second start would deliver each event twice.
            const std::vector<EventManager*> managers = events->eventManagers();
            if (std::find(managers.begin(), managers.end(), eventManager) != managers.end())
                continue;
            const OpcUa_UInt32 slot = events->registerEventManager(eventManager);
            if (item->monitoringMode() != OpcUa_MonitoringMode_Disabled)
                started.emplace_back(i + 1, slot - 1);
        }
        if (started.empty())
        {
            UaTrace::traceLevel6(
                "<-- UaSubscription::dynamicEventManagerRegistered - no event monitored items activate");
            return;
        }
        session = m_pSession;
        session->addReference();
    }
    const auto count = static_cast<OpcUa_UInt32>(started.size());
    OpcUa_UInt32 transactionId;
    {
        UaMutexLocker lock(&m_items.mutex);
        auto* transaction = new Transaction(Transaction::Keep, nullptr, count);
        for (OpcUa_UInt32 i = 0; i < count; ++i)
            transaction->itemIds[i] = started[i].first;
        transactionId = registerTransaction(transaction, "StartMonitoring");
    }
    ServiceContext context;
    OpcUa_RequestHeader header;
    OpcUa_RequestHeader_Initialize(&header);
    context.setSession(session, header);
    {
        ManagerCalls calls(this, context, transactionId, count, OpcUa_TimestampsToReturn_Both,
                           IOTransactionType::StartMonitoring);
        for (OpcUa_UInt32 i = 0; i < count; ++i)
        {
            UaMonitoredItemEvent* item;
            {
                UaMutexLocker lock(&m_items.mutex);
                item = static_cast<UaMonitoredItemEvent*>(monitoredItem(started[i].first));
            }
            if (item == nullptr)
                answerAtOnce(transactionId, i, OpcUa_BadMonitoredItemIdInvalid);
            else
                startEventMonitoring(calls, transactionId, i, started[i].second, eventManager, item);
        }
    }
    releaseTransaction(transactionId);
    session->releaseReference();
}
