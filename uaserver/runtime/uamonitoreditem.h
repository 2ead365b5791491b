#ifndef UASERVER_RUNTIME_UAMONITOREDITEM_H
#define UASERVER_RUNTIME_UAMONITOREDITEM_H

#include <eventmanager.h>
#include <iomanagercallback.h>

#include <uadatavalue.h>
#include <uamutex.h>
#include <uanodeid.h>
#include <uavariantarrays.h>

#include <opcua.h>

#include <atomic>
#include <vector>

class VariableHandle;

// What the items of one subscription share with it: its mutex, under which every item operation
// runs, and the counts of queued notifications that tell it whether a cycle has anything to send.
struct MonitoredItemOwner
{
    UaMutex mutex;
    OpcUa_Int32 pendingDataNotifications = 0;
    OpcUa_Int32 pendingEventNotifications = 0;
    OpcUa_Int32 moreNotificationsPending = 0;
    OpcUa_UInt32 maxEventQueueSize = 1000;
};

// One watched thing of a subscription: a value (UaMonitoredItemData) or the events of a notifier
// (UaMonitoredItemEvent).
class UaMonitoredItem
{
public:
    enum Kind
    {
        Data = 0,
        Event = 1
    };

    UaMonitoredItem(const UaNodeId& nodeId, OpcUa_MonitoringMode monitoringMode, OpcUa_UInt32 clientHandle,
                    OpcUa_Double samplingInterval, MonitoredItemOwner* owner);
    virtual ~UaMonitoredItem();
    UaMonitoredItem(const UaMonitoredItem&) = delete;
    UaMonitoredItem& operator=(const UaMonitoredItem&) = delete;

    // Disabled, Sampling or Reporting.
    static bool isValidMode(OpcUa_MonitoringMode mode)
    {
        return static_cast<OpcUa_UInt32>(mode) <= OpcUa_MonitoringMode_Reporting;
    }

    virtual Kind itemType() const = 0;
    virtual bool hasNotifications() const = 0;
    virtual void setMonitoringMode(OpcUa_MonitoringMode mode);

    OpcUa_MonitoringMode monitoringMode() const { return m_monitoringMode; }
    OpcUa_UInt32 clientHandle() const { return m_clientHandle; }
    void setClientHandle(OpcUa_UInt32 clientHandle) { m_clientHandle = clientHandle; }
    const UaNodeId& nodeId() const { return m_nodeId; }
    OpcUa_Double samplingInterval() const { return m_samplingInterval; }
    void setSamplingInterval(OpcUa_Double interval) { m_samplingInterval = interval; }
    OpcUa_TimestampsToReturn timestampsToReturn() const { return m_timestampsToReturn; }
    void setTimestampsToReturn(OpcUa_TimestampsToReturn timestamps) { m_timestampsToReturn = timestamps; }

    // The items this one triggers (SetTriggering), by MonitoredItemId; the owner's mutex is held.
    std::vector<OpcUa_UInt32>& triggerLinks() { return m_triggerLinks; }
    bool isTriggered() const { return m_triggered; }
    void clearTriggered() { m_triggered = false; }

protected:
    // A notification was queued: an item with links marks itself and the owner.
    void noteTriggered();

    MonitoredItemOwner* m_pOwner;
    OpcUa_MonitoringMode m_monitoringMode;
    bool m_triggered = false;
    std::vector<OpcUa_UInt32> m_triggerLinks;
    UaNodeId m_nodeId;
    OpcUa_UInt32 m_clientHandle;
    OpcUa_Double m_samplingInterval;
    OpcUa_TimestampsToReturn m_timestampsToReturn = OpcUa_TimestampsToReturn_Both;
};

// The value queue of a data item: a size n holds (n, or 1 for 0) values, oldest first. The values
// live in the queue itself (no allocation per value): a queue of one in a place of its own, a
// larger one in storage that grows as values arrive, up to the size, and is given back when a
// queue of more than a few values empties.
class DataValueRing
{
public:
    explicit DataValueRing(OpcUa_UInt32 size);
    ~DataValueRing();
    DataValueRing(const DataValueRing&) = delete;
    DataValueRing& operator=(const DataValueRing&) = delete;

    OpcUa_UInt32 count() const { return m_count; }
    OpcUa_UInt32 size() const { return m_limit; }
    bool full() const { return m_count == m_limit; }
    // The empty place after the newest value, for the caller to fill; the queue must not be full.
    OpcUa_DataValue& append();
    // Empties the place of the oldest value; false when empty.
    bool dropOldest();
    // Moves the oldest value into value (which must own nothing); false when empty.
    bool pop(OpcUa_DataValue& value);
    // 0 is the oldest; null beyond the count.
    OpcUa_DataValue* at(OpcUa_UInt32 position);
    // Keeps the newest values that fit.
    void resize(OpcUa_UInt32 size);
    void clear();

private:
    OpcUa_DataValue* places() { return m_limit == 1 ? &m_single : m_slots.data(); }
    OpcUa_UInt32 placeCount() const { return m_limit == 1 ? 1 : static_cast<OpcUa_UInt32>(m_slots.size()); }
    OpcUa_DataValue& slot(OpcUa_UInt32 position) { return places()[(m_head + position) % placeCount()]; }
    // Moves the values, oldest first, to the front of the places of a queue of the given size
    // (storage of `storage` places when that is more than one).
    void relocate(OpcUa_UInt32 limit, OpcUa_UInt32 storage);

    // Zero-filled where no value is held.
    OpcUa_DataValue m_single{};
    std::vector<OpcUa_DataValue> m_slots;
    OpcUa_UInt32 m_limit;
    OpcUa_UInt32 m_head = 0;
    OpcUa_UInt32 m_count = 0;
};

// A start or a stop of a data item's sampling, as the operation index of subscription transaction
// transactionId.
struct SamplingOperation
{
    bool start = false;
    OpcUa_UInt32 transactionId = 0;
    OpcUa_UInt32 index = 0;
};

class UaMonitoredItemData : public UaMonitoredItem, public IOVariableCallback
{
public:
    // Takes the caller's reference to variableHandle.
    UaMonitoredItemData(const UaNodeId& nodeId, VariableHandle* variableHandle,
                        OpcUa_MonitoringMode monitoringMode, OpcUa_UInt32 clientHandle,
                        OpcUa_Double samplingInterval, MonitoredItemOwner* owner, OpcUa_UInt32 queueSize,
                        bool discardOldest, OpcUa_DataChangeTrigger trigger);
    ~UaMonitoredItemData() override;

    Kind itemType() const override { return Data; }
    bool hasNotifications() const override { return m_queue.count() != 0; }
    void setMonitoringMode(OpcUa_MonitoringMode mode) override;

    // A sampled value: filtered by trigger and deadband, then queued.
    void dataChange(UaDataValue& dataValue) override;
    UaDataValue lastValue() const override;
    // Queues the last value again (a transferred subscription's new client has not seen it).
    void requeueLastValue();

    // Moves the oldest queued value into value (which must own nothing); false when none. The
    // caller holds the owner's mutex (a publish takes it once for all its items).
    bool popValue(OpcUa_DataValue& value);
    void setQueueSize(OpcUa_UInt32 size);
    OpcUa_UInt32 queueSize() const { return m_queue.size(); }
    void setDiscardOldest(bool discardOldest);
    // The deadband of the item's filter (OpcUa_DeadbandType and its value). The item applies an
    // absolute one itself; a percent one is measured against the variable's range by its I/O manager.
    void setDeadband(OpcUa_UInt32 deadbandType, OpcUa_Double deadband);
    OpcUa_UInt32 deadbandType() const { return m_deadbandType; }
    OpcUa_Double deadband() const { return m_deadband; }
    void setTrigger(OpcUa_DataChangeTrigger trigger);
    void setIoHandle(OpcUa_UInt32 ioHandle);
    OpcUa_UInt32 ioHandle() const { return m_ioHandle; }

    // The starts and stops of the item's sampling reach its I/O manager one at a time, in the order
    // asked: a stop needs the handle that the start before it answers with, and the item is freed
    // only when no operation is on its way, so no sampling item of the manager outlives it. The
    // caller holds the owner's mutex.
    // Makes operation the one on its way (true), or queues it behind that one (false).
    bool claimSampling(const SamplingOperation& operation);
    bool isSamplingOnItsWay(OpcUa_UInt32 transactionId, OpcUa_UInt32 index) const;
    // A stop on its way takes the handle over.
    OpcUa_UInt32 takeIoHandleForStop();
    // The operation on its way was answered (a failed stop gives the handle back); the next waiting
    // one, if any, is on its way from now on.
    bool samplingAnswered(OpcUa_StatusCode status, SamplingOperation& next);
    // The item goes: the operations that wait behind the one on its way, which will not run.
    std::vector<SamplingOperation> takeWaitingSampling();
    VariableHandle* variableHandle() const { return m_pVariableHandle; }

    static OpcUa_Int32 instanceCount() { return s_instances.load(); }
    // The live count the server's object statistics show.
    static std::atomic<OpcUa_Int32>* instanceCounter() { return &s_instances; }

private:
    bool m_discardOldest;
    VariableHandle* m_pVariableHandle;
    OpcUa_UInt32 m_ioHandle = 0;
    bool m_samplingBusy = false;
    SamplingOperation m_samplingOnItsWay;
    OpcUa_UInt32 m_stoppingHandle = 0;
    std::vector<SamplingOperation> m_samplingWaiting;
    UaDataValue m_lastValue;
    DataValueRing m_queue;
    OpcUa_UInt32 m_deadbandType = OpcUa_DeadbandType_None;
    OpcUa_Double m_deadband = 0.0;
    OpcUa_DataChangeTrigger m_trigger;

    static std::atomic<OpcUa_Int32> s_instances;
};

class UaMonitoredItemEvent : public UaMonitoredItem, public EventItemCallback
{
public:
    // Takes filter over (the caller's copy is left initialised).
    UaMonitoredItemEvent(const UaNodeId& notifier, const std::vector<EventManager*>& eventManagers,
                         OpcUa_MonitoringMode monitoringMode, OpcUa_UInt32 clientHandle,
                         OpcUa_Double samplingInterval, OpcUa_EventFilter* filter, MonitoredItemOwner* owner);
    ~UaMonitoredItemEvent() override;

    Kind itemType() const override { return Event; }
    bool hasNotifications() const override { return !m_events.empty(); }
    void setMonitoringMode(OpcUa_MonitoringMode mode) override;

    // Takes the fields over (eventFields is left empty).
    void newEvent(UaVariantArray& eventFields) override;
    // Moves at most maxCount queued events, oldest first, into fields (the caller's); the rest stay.
    OpcUa_UInt32 takeEvents(OpcUa_UInt32 maxCount, std::vector<OpcUa_EventFieldList>& fields);
    OpcUa_UInt32 eventCapacity() const { return m_capacity; }

    // 1-based index of the manager's slot.
    OpcUa_UInt32 registerEventManager(EventManager* eventManager);
    void setEventManagerHandle(OpcUa_UInt32 handle, OpcUa_UInt32 index);
    void unregisterEventManager(OpcUa_UInt32 index);
    std::vector<EventManager*> eventManagers() const { return m_eventManagers; }
    std::vector<OpcUa_UInt32> eventManagerHandles() const { return m_eventManagerHandles; }
    // Replaces the filter, taking the new one over.
    void setEventFilter(OpcUa_EventFilter* filter);
    const OpcUa_EventFilter& eventFilter() const { return m_filter; }

    static OpcUa_Int32 instanceCount() { return s_instances.load(); }
    // The live count the server's object statistics show.
    static std::atomic<OpcUa_Int32>* instanceCounter() { return &s_instances; }

private:
    void clearEvents();

    std::vector<EventManager*> m_eventManagers;
    std::vector<OpcUa_UInt32> m_eventManagerHandles;
    // Queued field lists, oldest first; m_capacity grows as the owner's limit allows.
    std::vector<UaVariantArray*> m_events;
    OpcUa_UInt32 m_capacity = 0;
    OpcUa_EventFilter m_filter;

    static std::atomic<OpcUa_Int32> s_instances;
};

#endif
