#include "eventmanagerbase.h"

#include "contentfilter.h"
#include "eventitem.h"
#include "session.h"

#include <attributeids.h>
#include <eventdata.h>
#include <eventregistry.h>
#include <standardnodeids.h>

#include <uatrace.h>

#include <algorithm>
#include <string>

// What one service call's begin calls share: whom to answer and for which session.
class EventManagerBase::TransactionContext
{
public:
    TransactionContext(EventManagerCallback* pCallback, Session* pSession, OpcUa_UInt32 hTransaction)
        : callback(pCallback), session(pSession), hTransaction(hTransaction)
    {
    }
    virtual ~TransactionContext() = default;

    EventManagerCallback* callback;
    ReferenceHolder<Session> session;
    OpcUa_UInt32 hTransaction;
};

namespace
{
// A filter result that the manager frees after the callback copied what it keeps.
struct FilterResult
{
    FilterResult() { OpcUa_EventFilterResult_Initialize(&result); }
    ~FilterResult() { OpcUa_EventFilterResult_Clear(&result); }
    FilterResult(const FilterResult&) = delete;
    FilterResult& operator=(const FilterResult&) = delete;
    OpcUa_EventFilterResult result;
};
} // namespace

EventManagerBase::EventManagerBase()
{
    m_notifiers[UaNodeId(StandardNodeId::Server, 0)] = std::make_unique<Notifier>();
}

EventManagerBase::~EventManagerBase() = default;

UaStatus EventManagerBase::beginEventTransaction(EventManagerCallback* pCallback,
                                                 const ServiceContext& serviceContext,
                                                 OpcUa_UInt32 hTransaction,
                                                 OpcUa_Handle& hEventManagerContext)
{
    hEventManagerContext = new TransactionContext(pCallback, serviceContext.pSession(), hTransaction);
    return OpcUa_Good;
}

UaStatus EventManagerBase::finishEventTransaction(OpcUa_Handle hEventManagerContext)
{
    delete static_cast<TransactionContext*>(hEventManagerContext);
    return OpcUa_Good;
}

UaStatus EventManagerBase::beginStartMonitoring(OpcUa_Handle hEventManagerContext,
                                                OpcUa_UInt32 callbackHandle,
                                                EventItemCallback* pEventCallback,
                                                EventMonitoringContext& monitoringContext)
{
    UaTrace::traceLevel6("--> EventManagerBase::beginStartMonitoring");
    auto* context = static_cast<TransactionContext*>(hEventManagerContext);
    if (!context)
        return OpcUa_BadInvalidArgument;
    FilterResult filterResult;
    UaStatus status;
    OpcUa_UInt32 hEventItem = 0;
    {
        UaMutexLocker locker(&m_mutex);
        if (m_shutDown)
        {
            UaTrace::traceLevel6(
                "<-- EventManagerBase::beginStartMonitoring [ret=OpcUa_BadInvalidState] - already shut down");
            return OpcUa_BadInvalidState;
        }
        auto item = std::make_unique<EventItem>(monitoringContext.notifierId, this, context->session.get(),
                                                pEventCallback);
        status = item->updateFilter(monitoringContext.pEventFilter, filterResult.result);
        if (status.isGood())
        {
            hEventItem = m_items.add(item.get());
            item.release()->setHandle(hEventItem);
        }
    }
    context->callback->finishStartMonitoring(context->hTransaction, callbackHandle, hEventItem,
                                             monitoringContext.samplingInterval, status,
                                             monitoringContext.pEventFilter ? &filterResult.result : nullptr);
    UaTrace::traceLevel6("<-- EventManagerBase::beginStartMonitoring [ret=0x%lx] hEventItem = %u",
                         static_cast<unsigned long>(status.statusCode()), hEventItem);
    return OpcUa_Good;
}

UaStatus EventManagerBase::beginModifyMonitoring(OpcUa_Handle hEventManagerContext,
                                                 OpcUa_UInt32 callbackHandle, OpcUa_UInt32 hEventItem,
                                                 EventMonitoringContext& monitoringContext)
{
    auto* context = static_cast<TransactionContext*>(hEventManagerContext);
    if (!context)
        return OpcUa_BadInvalidArgument;
    FilterResult filterResult;
    UaStatus status;
    {
        UaMutexLocker locker(&m_mutex);
        EventItem* item = nullptr;
        if (const OpcUa_StatusCode found = findItem(hEventItem, OpcUa_BadInvalidArgument, item);
            OpcUa_IsBad(found))
            return found;
        status = item->updateFilter(monitoringContext.pEventFilter, filterResult.result);
    }
    context->callback->finishModifyMonitoring(
        context->hTransaction, callbackHandle, monitoringContext.samplingInterval, status,
        monitoringContext.pEventFilter ? &filterResult.result : nullptr);
    return OpcUa_Good;
}

UaStatus EventManagerBase::beginStopMonitoring(OpcUa_Handle hEventManagerContext, OpcUa_UInt32 callbackHandle,
                                               OpcUa_UInt32 hEventItem)
{
    auto* context = static_cast<TransactionContext*>(hEventManagerContext);
    if (!context)
        return OpcUa_BadInvalidArgument;
    {
        UaMutexLocker locker(&m_mutex);
        if (m_shutDown)
            return OpcUa_BadInvalidState;
        if (!m_items.remove(hEventItem))
            return OpcUa_BadInvalidArgument;
    }
    context->callback->finishStopMonitoring(context->hTransaction, callbackHandle, UaStatus(OpcUa_Good));
    return OpcUa_Good;
}

UaStatus EventManagerBase::beginConditionRefresh(const ServiceContext&, OpcUa_UInt32 hEventItem,
                                                 const UaByteString& refreshStartEventId,
                                                 const UaByteString& refreshEndEventId)
{
    UaMutexLocker locker(&m_mutex);
    EventItem* item = nullptr;
    if (const OpcUa_StatusCode found = findItem(hEventItem, OpcUa_BadMonitoredItemIdInvalid, item);
        OpcUa_IsBad(found))
        return found;
    if (refreshStartEventId.length() > 0)
        item->sendRefreshEvent(StandardNodeId::RefreshStartEventType, refreshStartEventId);
    for (auto& [conditionId, condition] : m_conditions)
    {
        if (condition.event)
            item->fireEvent(*condition.event);
        for (auto& [branchId, branch] : condition.branches)
            item->fireEvent(*branch);
    }
    if (refreshEndEventId.length() > 0)
        item->sendRefreshEvent(StandardNodeId::RefreshEndEventType, refreshEndEventId);
    return OpcUa_Good;
}

UaStatus EventManagerBase::sendRefreshRequired(OpcUa_UInt32 hEventItem)
{
    UaMutexLocker locker(&m_mutex);
    EventItem* item = nullptr;
    if (const OpcUa_StatusCode found = findItem(hEventItem, OpcUa_BadMonitoredItemIdInvalid, item);
        OpcUa_IsBad(found))
        return found;
    UaByteString eventId;
    createEventId(UaByteString(), eventId);
    item->sendRefreshEvent(StandardNodeId::RefreshRequiredEventType, eventId);
    return OpcUa_Good;
}

OpcUa_StatusCode EventManagerBase::findItem(OpcUa_UInt32 hEventItem, OpcUa_StatusCode unknown,
                                            EventItem*& item) const
{
    if (m_shutDown)
        return OpcUa_BadInvalidState;
    item = m_items.get(hEventItem);
    return item ? static_cast<OpcUa_StatusCode>(OpcUa_Good) : unknown;
}

void EventManagerBase::shutDown()
{
    UaMutexLocker locker(&m_mutex);
    if (m_shutDown)
        UaTrace::traceLevel6("<-- EventManagerBase::shutDown - already shut down");
    m_shutDown = true;
}

void EventManagerBase::fireEvent(EventData& eventData)
{
    UaMutexLocker locker(&m_mutex);
    if (m_shutDown)
    {
        UaTrace::traceLevel6("<-- EventManagerBase::fireEvent - already shut down");
        return;
    }
    keepCondition(eventData);
    for (OpcUa_UInt32 handle = 1; handle <= m_items.count(); ++handle)
        if (EventItem* item = m_items.get(handle))
            item->fireEvent(eventData);
}

void EventManagerBase::keepCondition(EventData& eventData)
{
    const UaNodeId conditionId = eventData.getConditionNodeId();
    if (conditionId.isNull())
        return;
    const UaNodeId branchId = eventData.getBranchNodeId();
    if (eventData.getRetain())
    {
        Condition& condition = m_conditions[conditionId];
        if (branchId.isNull())
            condition.event = &eventData;
        else
            condition.branches[branchId] = &eventData;
        return;
    }
    auto found = m_conditions.find(conditionId);
    if (found == m_conditions.end())
        return;
    if (branchId.isNull())
        found->second.event = nullptr;
    else
        found->second.branches.erase(branchId);
    if (!found->second.event && found->second.branches.empty())
        m_conditions.erase(found);
}

void EventManagerBase::addNotifier(const UaNodeId& parentNotifierId, const UaNodeId& notifierId)
{
    UaMutexLocker locker(&m_mutex);
    if (m_shutDown || m_notifiers.count(notifierId) != 0)
        return;
    auto parent = m_notifiers.find(parentNotifierId);
    if (parent == m_notifiers.end())
        return;
    parent->second->children.push_back(notifierId);
    auto entry = std::make_unique<Notifier>();
    entry->parentId = parentNotifierId;
    m_notifiers[notifierId] = std::move(entry);
}

void EventManagerBase::addNotifierSource(const UaNodeId& notifierId, const UaNodeId& sourceId)
{
    UaMutexLocker locker(&m_mutex);
    auto notifier = m_notifiers.find(notifierId);
    if (!m_shutDown && notifier != m_notifiers.end())
        notifier->second->sources.insert(sourceId);
}

void EventManagerBase::removeNotifier(const UaNodeId& notifierId)
{
    UaMutexLocker locker(&m_mutex);
    auto notifier = m_notifiers.find(notifierId);
    if (m_shutDown || notifier == m_notifiers.end())
        return;
    auto parent = m_notifiers.find(notifier->second->parentId);
    if (parent != m_notifiers.end())
    {
        std::vector<UaNodeId>& siblings = parent->second->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), notifierId), siblings.end());
    }
    removeNotifierTree(notifierId);
}

void EventManagerBase::removeNotifierTree(const UaNodeId& notifierId)
{
    auto notifier = m_notifiers.find(notifierId);
    if (notifier == m_notifiers.end())
        return;
    const std::vector<UaNodeId> children = notifier->second->children;
    m_notifiers.erase(notifier);
    for (const UaNodeId& child : children)
        removeNotifierTree(child);
}

bool EventManagerBase::isNotifier(const UaNodeId& notifierId)
{
    UaMutexLocker locker(&m_mutex);
    return !m_shutDown && m_notifiers.count(notifierId) != 0;
}

bool EventManagerBase::isAllEventsNotifier(const UaNodeId&)
{
    return false;
}

bool EventManagerBase::isNotifierSource(const UaNodeId& notifierId, const UaNodeId& sourceId, EventData&)
{
    UaMutexLocker locker(&m_mutex);
    return !m_shutDown && isSourceBelow(notifierId, sourceId);
}

bool EventManagerBase::isSourceBelow(const UaNodeId& notifierId, const UaNodeId& sourceId) const
{
    auto notifier = m_notifiers.find(notifierId);
    if (notifier == m_notifiers.end())
        return false;
    if (notifierId == sourceId || notifier->second->sources.count(sourceId) != 0)
        return true;
    return std::any_of(notifier->second->children.begin(), notifier->second->children.end(),
                       [&](const UaNodeId& child) { return isSourceBelow(child, sourceId); });
}

bool EventManagerBase::registerEventType(const UaNodeId& superTypeId, const UaNodeId& newTypeId)
{
    return EventRegistry::registerEventType(superTypeId, newTypeId);
}

OpcUa_UInt32 EventManagerBase::registerEventField(const UaString& key)
{
    return EventRegistry::registerEventField(key);
}

OpcUa_UInt32 EventManagerBase::getFieldIndex(const SimpleAttributeOperand& operand, UaStatus& status)
{
    const std::vector<UaQualifiedName>& path = operand.browsePath();
    if (operand.attributeId() == AttributeId::Value && !path.empty())
    {
        std::string key;
        for (std::size_t i = 0; i < path.size(); ++i)
            key += (i > 0 ? "/" : "") + std::string(EventRegistry::fieldKey(path[i]).toUtf8());
        const OpcUa_UInt32 index = EventRegistry::findEventField(UaString(key.c_str()));
        if (index != 0)
        {
            status = OpcUa_Good;
            return index;
        }
        UaTrace::traceLevel1("Error: EventManagerBase::getFieldIndex - Requested path %s not found",
                             key.c_str());
        status = OpcUa_BadNotFound;
        return 0;
    }
    if (operand.attributeId() == AttributeId::NodeId && path.empty())
    {
        const OpcUa_UInt32 index = EventRegistry::findEventField(EventRegistry::conditionNodeIdKey());
        status = index != 0 ? OpcUa_Good : OpcUa_BadNotFound;
        if (index == 0)
            UaTrace::traceLevel1("Error: EventManagerBase::getFieldIndex - Requested path %s not found",
                                 EventRegistry::conditionNodeIdKey());
        return index;
    }
    UaTrace::traceLevel1("Error: EventManagerBase::getFieldIndex - Requested attribute %d not supported",
                         static_cast<int>(operand.attributeId()));
    status = OpcUa_BadAttributeIdInvalid;
    return 0;
}

void EventManagerBase::createEventId(const UaByteString& prefix, UaByteString& eventId)
{
    EventData::createEventId(prefix, eventId);
}

OpcUa_UInt32 EventManagerBase::itemCount() const
{
    UaMutexLocker locker(&m_mutex);
    return m_items.inUse();
}

std::vector<EventData*> EventManagerBase::retainedEvents() const
{
    UaMutexLocker locker(&m_mutex);
    std::vector<EventData*> events;
    for (const auto& [conditionId, condition] : m_conditions)
    {
        if (condition.event)
            events.push_back(condition.event);
        for (const auto& [branchId, branch] : condition.branches)
            events.push_back(branch);
    }
    return events;
}
