#include "uamonitoreditem.h"

#include <variablehandle.h>

#include <uadatetime.h>
#include <uatrace.h>

namespace
{
// Info type "data value" with the overflow bit: values were lost before this one.
constexpr OpcUa_StatusCode kOverflowBits = 0x480;

OpcUa_DataValue* copyOf(const UaDataValue& value)
{
    return UaDataValue::copyTo(value);
}

void destroy(OpcUa_DataValue* value)
{
    if (value == nullptr)
        return;
    OpcUa_DataValue_Clear(value);
    OpcUa_Memory_Free(value);
}
} // namespace

UaMonitoredItem::UaMonitoredItem(const UaNodeId& nodeId, OpcUa_MonitoringMode monitoringMode,
                                 OpcUa_UInt32 clientHandle, OpcUa_Double samplingInterval,
                                 MonitoredItemOwner* owner)
    : m_pOwner(owner), m_monitoringMode(monitoringMode), m_nodeId(nodeId), m_clientHandle(clientHandle),
      m_samplingInterval(samplingInterval)
{
    if (UaTrace::isTraceLevelOn(7))
        UaTrace::traceLevel7("Ctor UaMonitoredItem");
}

UaMonitoredItem::~UaMonitoredItem()
{
    if (UaTrace::isTraceLevelOn(7))
        UaTrace::traceLevel7("Dtor UaMonitoredItem");
}

void UaMonitoredItem::setMonitoringMode(OpcUa_MonitoringMode mode)
{
    m_monitoringMode = mode;
}

void UaMonitoredItem::noteTriggered()
{
    if (m_triggerLinks.empty())
        return;
    m_triggered = true;
    m_pOwner->moreNotificationsPending += 1;
}

DataValueRing::DataValueRing(OpcUa_UInt32 size) : m_slots((size == 0 ? 1 : size) + 1, nullptr)
{
    m_capacity = static_cast<OpcUa_UInt32>(m_slots.size());
}

DataValueRing::~DataValueRing()
{
    clear();
}

OpcUa_StatusCode DataValueRing::push(OpcUa_DataValue* value)
{
    if ((m_tail + 1) % m_capacity == m_head)
        return OpcUa_BadResourceUnavailable;
    m_slots[m_tail] = value;
    m_tail = (m_tail + 1) % m_capacity;
    return OpcUa_Good;
}

OpcUa_DataValue* DataValueRing::pushOverwrite(OpcUa_DataValue* value)
{
    m_slots[m_tail] = value;
    m_tail = (m_tail + 1) % m_capacity;
    if (m_tail != m_head)
        return nullptr;
    // Full: the oldest value gives way.
    OpcUa_DataValue* oldest = m_slots[m_head];
    m_slots[m_head] = nullptr;
    m_head = (m_head + 1) % m_capacity;
    return oldest;
}

OpcUa_DataValue* DataValueRing::replaceNewest(OpcUa_DataValue* value)
{
    if (m_head == m_tail)
        return nullptr;
    const OpcUa_UInt32 newest = (m_tail + m_capacity - 1) % m_capacity;
    OpcUa_DataValue* replaced = m_slots[newest];
    m_slots[newest] = value;
    return replaced;
}

OpcUa_DataValue* DataValueRing::pop()
{
    if (m_head == m_tail)
        return nullptr;
    OpcUa_DataValue* value = m_slots[m_head];
    m_slots[m_head] = nullptr;
    m_head = (m_head + 1) % m_capacity;
    return value;
}

OpcUa_DataValue* DataValueRing::at(OpcUa_UInt32 position) const
{
    if (position >= count())
        return nullptr;
    return m_slots[(m_head + position) % m_capacity];
}

void DataValueRing::resize(OpcUa_UInt32 size)
{
    const OpcUa_UInt32 capacity = (size == 0 ? 1 : size) + 1;
    if (capacity == m_capacity)
        return;
    while (count() > capacity - 1)
        destroy(pop());
    std::vector<OpcUa_DataValue*> slots(capacity, nullptr);
    OpcUa_UInt32 tail = 0;
    while (OpcUa_DataValue* value = pop())
        slots[tail++] = value;
    m_slots.swap(slots);
    m_capacity = capacity;
    m_head = 0;
    m_tail = tail;
}

void DataValueRing::clear()
{
    while (OpcUa_DataValue* value = pop())
        destroy(value);
}

std::atomic<OpcUa_Int32> UaMonitoredItemData::s_instances{0};

UaMonitoredItemData::UaMonitoredItemData(const UaNodeId& nodeId, VariableHandle* variableHandle,
                                         OpcUa_MonitoringMode monitoringMode, OpcUa_UInt32 clientHandle,
                                         OpcUa_Double samplingInterval, MonitoredItemOwner* owner,
                                         OpcUa_UInt32 queueSize, bool discardOldest,
                                         OpcUa_DataChangeTrigger trigger)
    : UaMonitoredItem(nodeId, monitoringMode, clientHandle, samplingInterval, owner),
      m_discardOldest(discardOldest), m_pVariableHandle(variableHandle), m_queue(queueSize),
      m_trigger(trigger)
{
    m_lastValue.setStatusCode(OpcUa_BadWaitingForInitialData);
    s_instances.fetch_add(1);
}

UaMonitoredItemData::~UaMonitoredItemData()
{
    UaMutexLocker lock(&m_pOwner->mutex);
    if (m_pVariableHandle != nullptr)
        m_pVariableHandle->releaseReference();
    m_pVariableHandle = nullptr;
    m_ioHandle = 0;
    m_queue.clear();
    s_instances.fetch_sub(1);
}

void UaMonitoredItemData::setMonitoringMode(OpcUa_MonitoringMode mode)
{
    UaMutexLocker lock(&m_pOwner->mutex);
    if (mode == OpcUa_MonitoringMode_Disabled || m_monitoringMode == OpcUa_MonitoringMode_Disabled)
    {
        m_queue.clear();
        m_lastValue.setStatusCode(OpcUa_BadWaitingForInitialData);
    }
    if (mode == OpcUa_MonitoringMode_Reporting && m_monitoringMode != OpcUa_MonitoringMode_Reporting &&
        m_queue.count() != 0)
        m_pOwner->pendingDataNotifications += 1;
    m_monitoringMode = mode;
}

void UaMonitoredItemData::dataChange(UaDataValue& dataValue)
{
    UaMutexLocker lock(&m_pOwner->mutex);
    if (m_monitoringMode == OpcUa_MonitoringMode_Disabled)
        return;
    const bool sameStatus = dataValue.statusCode() == m_lastValue.statusCode();
    switch (m_trigger)
    {
    case OpcUa_DataChangeTrigger_Status:
        if (sameStatus)
            return;
        break;
    case OpcUa_DataChangeTrigger_StatusValueTimestamp:
        if (dataValue.isEqual(m_lastValue, false) &&
            UaDateTime(dataValue.serverTimestamp()) == UaDateTime(m_lastValue.serverTimestamp()))
            return;
        break;
    default:
        if (dataValue.isEqual(m_lastValue, false))
            return;
        break;
    }
    bool changed = false;
    const OpcUa_Double absolute = m_deadbandType == OpcUa_DeadbandType_Absolute ? m_deadband : 0.0;
    if (UaDataValue::compareWithDeadband(m_lastValue, dataValue, absolute, changed) == OpcUa_Good && !changed)
        return;
    if (UaTrace::isTraceLevelOn(7))
        UaTrace::traceLevel7("<-> UaMonitoredItemData::dataChange ClientHandle=%d Value=%s Status=0x%lx",
                             static_cast<int>(m_clientHandle), dataValue.value().toString().toUtf8(),
                             static_cast<unsigned long>(dataValue.statusCode()));
    noteTriggered();

    OpcUa_DataValue* copy = copyOf(dataValue);
    if (copy == nullptr)
        return;
    // A full queue loses a value either way; the subscriber still ends on the newest one. Discarding
    // the oldest marks the oldest value left, which follows the gap; discarding the newest replaces
    // the last queued value, and the new one follows the gap. A queue of one never marks.
    bool queued = true;
    if (m_discardOldest)
    {
        if (OpcUa_DataValue* oldest = m_queue.pushOverwrite(copy))
        {
            queued = false;
            if (m_queue.size() > 1)
                m_queue.at(0)->StatusCode |= kOverflowBits;
            destroy(oldest);
        }
    }
    else if (m_queue.push(copy) != OpcUa_Good)
    {
        queued = false;
        if (m_queue.size() > 1)
            copy->StatusCode |= kOverflowBits;
        destroy(m_queue.replaceNewest(copy));
    }
    if (queued && m_monitoringMode == OpcUa_MonitoringMode_Reporting)
        m_pOwner->pendingDataNotifications += 1;
    m_lastValue = dataValue;
}

UaDataValue UaMonitoredItemData::lastValue() const
{
    UaMutexLocker lock(&m_pOwner->mutex);
    return m_lastValue;
}

void UaMonitoredItemData::requeueLastValue()
{
    UaMutexLocker lock(&m_pOwner->mutex);
    if (m_lastValue.statusCode() == OpcUa_BadWaitingForInitialData)
        return;
    OpcUa_DataValue* copy = copyOf(m_lastValue);
    if (copy == nullptr)
        return;
    if (OpcUa_DataValue* oldest = m_queue.pushOverwrite(copy))
    {
        destroy(oldest);
        return;
    }
    if (m_monitoringMode == OpcUa_MonitoringMode_Reporting)
        m_pOwner->pendingDataNotifications += 1;
}

OpcUa_DataValue* UaMonitoredItemData::popValue()
{
    UaMutexLocker lock(&m_pOwner->mutex);
    return m_queue.pop();
}

void UaMonitoredItemData::setQueueSize(OpcUa_UInt32 size)
{
    UaMutexLocker lock(&m_pOwner->mutex);
    m_queue.resize(size);
}

void UaMonitoredItemData::setDiscardOldest(bool discardOldest)
{
    UaMutexLocker lock(&m_pOwner->mutex);
    m_discardOldest = discardOldest;
}

void UaMonitoredItemData::setDeadband(OpcUa_UInt32 deadbandType, OpcUa_Double deadband)
{
    UaMutexLocker lock(&m_pOwner->mutex);
    m_deadbandType = deadbandType;
    m_deadband = deadbandType == OpcUa_DeadbandType_None ? 0.0 : deadband;
}

void UaMonitoredItemData::setTrigger(OpcUa_DataChangeTrigger trigger)
{
    UaMutexLocker lock(&m_pOwner->mutex);
    m_trigger = trigger;
}

void UaMonitoredItemData::setIoHandle(OpcUa_UInt32 ioHandle)
{
    UaMutexLocker lock(&m_pOwner->mutex);
    m_ioHandle = ioHandle;
}

std::atomic<OpcUa_Int32> UaMonitoredItemEvent::s_instances{0};

UaMonitoredItemEvent::UaMonitoredItemEvent(const UaNodeId& notifier,
                                           const std::vector<EventManager*>& eventManagers,
                                           OpcUa_MonitoringMode monitoringMode, OpcUa_UInt32 clientHandle,
                                           OpcUa_Double samplingInterval, OpcUa_EventFilter* filter,
                                           MonitoredItemOwner* owner)
    : UaMonitoredItem(notifier, monitoringMode, clientHandle, samplingInterval, owner),
      m_eventManagers(eventManagers), m_eventManagerHandles(eventManagers.size(), 0)
{
    OpcUa_EventFilter_Initialize(&m_filter);
    if (filter != nullptr)
    {
        m_filter = *filter;
        OpcUa_EventFilter_Initialize(filter);
    }
    s_instances.fetch_add(1);
}

UaMonitoredItemEvent::~UaMonitoredItemEvent()
{
    UaMutexLocker lock(&m_pOwner->mutex);
    clearEvents();
    OpcUa_EventFilter_Clear(&m_filter);
    s_instances.fetch_sub(1);
}

void UaMonitoredItemEvent::clearEvents()
{
    for (UaVariantArray* fields : m_events)
        delete fields;
    m_events.clear();
}

void UaMonitoredItemEvent::setMonitoringMode(OpcUa_MonitoringMode mode)
{
    UaMutexLocker lock(&m_pOwner->mutex);
    if (mode == OpcUa_MonitoringMode_Disabled || m_monitoringMode == OpcUa_MonitoringMode_Disabled)
        clearEvents();
    if (mode == OpcUa_MonitoringMode_Reporting && m_monitoringMode != OpcUa_MonitoringMode_Reporting &&
        !m_events.empty())
        m_pOwner->pendingEventNotifications += 1;
    m_monitoringMode = mode;
}

void UaMonitoredItemEvent::newEvent(UaVariantArray& eventFields)
{
    UaMutexLocker lock(&m_pOwner->mutex);
    if (m_monitoringMode == OpcUa_MonitoringMode_Disabled)
        return;
    noteTriggered();
    if (m_events.size() >= m_capacity)
    {
        const OpcUa_UInt32 limit = m_pOwner->maxEventQueueSize;
        if (m_capacity == 0)
            m_capacity = 10;
        else if (limit > m_capacity + 100)
            m_capacity += 100;
        else if (limit > m_capacity + 10)
            m_capacity += 10;
        else
            return;
    }
    auto* fields = new UaVariantArray;
    fields->attach(eventFields.length(), eventFields.data());
    eventFields.detach();
    m_events.push_back(fields);
    m_pOwner->pendingEventNotifications += 1;
}

OpcUa_UInt32 UaMonitoredItemEvent::takeEvents(OpcUa_UInt32 maxCount,
                                              std::vector<OpcUa_EventFieldList>& fields)
{
    UaMutexLocker lock(&m_pOwner->mutex);
    const OpcUa_UInt32 taken = std::min<OpcUa_UInt32>(maxCount, static_cast<OpcUa_UInt32>(m_events.size()));
    for (OpcUa_UInt32 i = 0; i < taken; ++i)
    {
        OpcUa_EventFieldList list;
        OpcUa_EventFieldList_Initialize(&list);
        list.ClientHandle = m_clientHandle;
        list.NoOfEventFields = static_cast<OpcUa_Int32>(m_events[i]->length());
        list.EventFields = m_events[i]->data();
        m_events[i]->detach();
        delete m_events[i];
        fields.push_back(list);
    }
    m_events.erase(m_events.begin(), m_events.begin() + taken);
    return taken;
}

OpcUa_UInt32 UaMonitoredItemEvent::registerEventManager(EventManager* eventManager)
{
    UaMutexLocker lock(&m_pOwner->mutex);
    for (size_t i = 0; i < m_eventManagers.size(); ++i)
    {
        if (m_eventManagers[i] == nullptr)
        {
            m_eventManagers[i] = eventManager;
            m_eventManagerHandles[i] = 0;
            return static_cast<OpcUa_UInt32>(i + 1);
        }
    }
    m_eventManagers.push_back(eventManager);
    m_eventManagerHandles.push_back(0);
    return static_cast<OpcUa_UInt32>(m_eventManagers.size());
}

void UaMonitoredItemEvent::setEventManagerHandle(OpcUa_UInt32 handle, OpcUa_UInt32 index)
{
    UaMutexLocker lock(&m_pOwner->mutex);
    if (index >= 1 && index <= m_eventManagerHandles.size())
        m_eventManagerHandles[index - 1] = handle;
}

void UaMonitoredItemEvent::unregisterEventManager(OpcUa_UInt32 index)
{
    UaMutexLocker lock(&m_pOwner->mutex);
    if (index < 1 || index > m_eventManagers.size())
        return;
    m_eventManagers[index - 1] = nullptr;
    m_eventManagerHandles[index - 1] = 0;
}

void UaMonitoredItemEvent::setEventFilter(OpcUa_EventFilter* filter)
{
    UaMutexLocker lock(&m_pOwner->mutex);
    OpcUa_EventFilter_Clear(&m_filter);
    m_filter = *filter;
    OpcUa_EventFilter_Initialize(filter);
}
