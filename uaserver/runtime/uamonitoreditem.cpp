#include "uamonitoreditem.h"

#include <variablehandle.h>

#include <uadatetime.h>
#include <uatrace.h>

#include <algorithm>

namespace
{
// Info type "data value" with the overflow bit: values were lost before this one.
constexpr OpcUa_StatusCode kOverflowBits = 0x480;
// A queue keeps storage for this many values when it empties; a larger one gives it back.
constexpr std::size_t kKeptPlaces = 4;

// Copies value into an empty place; a copy that fails leaves the failure as the place's status.
void copyInto(const UaDataValue& value, OpcUa_DataValue& place)
{
    const OpcUa_StatusCode copied = value.copyTo(&place);
    if (OpcUa_IsBad(copied))
        place.StatusCode = copied;
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

DataValueRing::DataValueRing(OpcUa_UInt32 size) : m_limit(size == 0 ? 1 : size) {}

DataValueRing::~DataValueRing()
{
    clear();
}

void DataValueRing::relocate(OpcUa_UInt32 limit, OpcUa_UInt32 storage)
{
    std::vector<OpcUa_DataValue> values(m_count);
    for (OpcUa_UInt32 i = 0; i < m_count; ++i)
        values[i] = slot(i);
    OpcUa_DataValue_Initialize(&m_single);
    m_limit = limit;
    if (limit == 1)
    {
        std::vector<OpcUa_DataValue>().swap(m_slots);
        if (m_count == 1)
            m_single = values[0];
    }
    else
    {
        values.resize(storage);
        m_slots.swap(values);
    }
    m_head = 0;
}

OpcUa_DataValue& DataValueRing::append()
{
    if (m_count == placeCount())
        relocate(m_limit, std::min(m_limit, std::max<OpcUa_UInt32>(2, m_count * 2)));
    return slot(m_count++);
}

bool DataValueRing::dropOldest()
{
    if (m_count == 0)
        return false;
    OpcUa_DataValue_Clear(&slot(0));
    m_head = (m_head + 1) % placeCount();
    --m_count;
    return true;
}

bool DataValueRing::pop(OpcUa_DataValue& value)
{
    if (m_count == 0)
        return false;
    OpcUa_DataValue& oldest = slot(0);
    value = oldest;
    OpcUa_DataValue_Initialize(&oldest);
    m_head = (m_head + 1) % placeCount();
    if (--m_count == 0)
    {
        m_head = 0;
        if (m_slots.size() > kKeptPlaces)
            std::vector<OpcUa_DataValue>().swap(m_slots);
    }
    return true;
}

OpcUa_DataValue* DataValueRing::at(OpcUa_UInt32 position)
{
    if (position >= m_count)
        return nullptr;
    return &slot(position);
}

void DataValueRing::resize(OpcUa_UInt32 size)
{
    const OpcUa_UInt32 limit = size == 0 ? 1 : size;
    while (m_count > limit)
        dropOldest();
    if (limit != m_limit)
        relocate(limit, std::max<OpcUa_UInt32>(2, std::min(limit, m_count)));
}

void DataValueRing::clear()
{
    while (dropOldest())
    {
    }
    m_head = 0;
    std::vector<OpcUa_DataValue>().swap(m_slots);
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

    // A full queue loses a value either way; the subscriber still ends on the newest one. Discarding
    // the oldest marks the oldest value left, which follows the gap; discarding the newest replaces
    // the last queued value, and the new one follows the gap. A queue of one never marks.
    const bool queued = !m_queue.full();
    if (queued)
        copyInto(dataValue, m_queue.append());
    else if (m_discardOldest)
    {
        m_queue.dropOldest();
        copyInto(dataValue, m_queue.append());
        if (m_queue.size() > 1)
            m_queue.at(0)->StatusCode |= kOverflowBits;
    }
    else
    {
        OpcUa_DataValue& newest = *m_queue.at(m_queue.count() - 1);
        OpcUa_DataValue_Clear(&newest);
        copyInto(dataValue, newest);
        if (m_queue.size() > 1)
            newest.StatusCode |= kOverflowBits;
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
    const bool dropped = m_queue.full();
    if (dropped)
        m_queue.dropOldest();
    copyInto(m_lastValue, m_queue.append());
    if (!dropped && m_monitoringMode == OpcUa_MonitoringMode_Reporting)
        m_pOwner->pendingDataNotifications += 1;
}

bool UaMonitoredItemData::popValue(OpcUa_DataValue& value)
{
    return m_queue.pop(value);
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

bool UaMonitoredItemData::claimSampling(const SamplingOperation& operation)
{
    if (m_samplingBusy)
    {
        m_samplingWaiting.push_back(operation);
        return false;
    }
    m_samplingBusy = true;
    m_samplingOnItsWay = operation;
    return true;
}

bool UaMonitoredItemData::isSamplingOnItsWay(OpcUa_UInt32 transactionId, OpcUa_UInt32 index) const
{
    return m_samplingBusy && m_samplingOnItsWay.transactionId == transactionId &&
           m_samplingOnItsWay.index == index;
}

OpcUa_UInt32 UaMonitoredItemData::takeIoHandleForStop()
{
    m_stoppingHandle = m_ioHandle;
    m_ioHandle = 0;
    return m_stoppingHandle;
}

bool UaMonitoredItemData::samplingAnswered(OpcUa_StatusCode status, SamplingOperation& next)
{
    if (!m_samplingOnItsWay.start && OpcUa_IsBad(status))
        m_ioHandle = m_stoppingHandle;
    m_stoppingHandle = 0;
    m_samplingBusy = !m_samplingWaiting.empty();
    if (!m_samplingBusy)
        return false;
    m_samplingOnItsWay = m_samplingWaiting.front();
    m_samplingWaiting.erase(m_samplingWaiting.begin());
    next = m_samplingOnItsWay;
    return true;
}

std::vector<SamplingOperation> UaMonitoredItemData::takeWaitingSampling()
{
    std::vector<SamplingOperation> waiting;
    waiting.swap(m_samplingWaiting);
    return waiting;
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
