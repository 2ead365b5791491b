#ifndef UASERVER_RUNTIME_EVENTMANAGERBASE_H
#define UASERVER_RUNTIME_EVENTMANAGERBASE_H

#include "eventmanager.h"

#include <handletable.h>

#include <uamutex.h>

#include <map>
#include <memory>
#include <set>

class EventData;
class EventItem;
class SimpleAttributeOperand;

// The base of every event manager: the event items that clients create on notifier nodes, the
// notifier tree (rooted at the Server object) that decides which sources an item sees, and the
// last retained event of each condition and branch for condition refreshes. One mutex covers all of
// it; events are delivered under it, so an item never sees two events of one manager at once,
// while the answers of start, modify and stop go out after it is released.
class EventManagerBase : public EventManager
{
public:
    EventManagerBase();
    ~EventManagerBase() override;

    UaStatus beginEventTransaction(EventManagerCallback* pCallback, const ServiceContext& serviceContext,
                                   OpcUa_UInt32 hTransaction, OpcUa_Handle& hEventManagerContext) override;
    UaStatus beginStartMonitoring(OpcUa_Handle hEventManagerContext, OpcUa_UInt32 callbackHandle,
                                  EventItemCallback* pEventCallback,
                                  EventMonitoringContext& monitoringContext) override;
    UaStatus beginModifyMonitoring(OpcUa_Handle hEventManagerContext, OpcUa_UInt32 callbackHandle,
                                   OpcUa_UInt32 hEventItem,
                                   EventMonitoringContext& monitoringContext) override;
    UaStatus beginStopMonitoring(OpcUa_Handle hEventManagerContext, OpcUa_UInt32 callbackHandle,
                                 OpcUa_UInt32 hEventItem) override;
    UaStatus finishEventTransaction(OpcUa_Handle hEventManagerContext) override;
    UaStatus beginConditionRefresh(const ServiceContext& serviceContext, OpcUa_UInt32 hEventItem,
                                   const UaByteString& refreshStartEventId,
                                   const UaByteString& refreshEndEventId) override;
    UaStatus sendRefreshRequired(OpcUa_UInt32 hEventItem) override;

    // From now on every operation refuses with BadInvalidState or does nothing.
    virtual void shutDown();
    // Keeps or drops the event of a condition for refreshes, then hands the event to every item in
    // handle order. A retained event must stay alive until its condition's next event replaces it.
    virtual void fireEvent(EventData& eventData);

    // The notifier tree: a notifier's items see the events of the notifier itself, of its sources
    // and of every notifier below it.
    virtual void addNotifier(const UaNodeId& parentNotifierId, const UaNodeId& notifierId);
    virtual void addNotifierSource(const UaNodeId& notifierId, const UaNodeId& sourceId);
    // Removes the notifier and everything below it.
    virtual void removeNotifier(const UaNodeId& notifierId);
    virtual bool isNotifier(const UaNodeId& notifierId);
    // Whether an item on the notifier sees every event of this manager; none does here.
    virtual bool isAllEventsNotifier(const UaNodeId& notifierId);
    virtual bool isNotifierSource(const UaNodeId& notifierId, const UaNodeId& sourceId, EventData& eventData);

    // The process-wide registries (EventRegistry) under the names event managers know them by.
    static bool registerEventType(const UaNodeId& superTypeId, const UaNodeId& newTypeId);
    static OpcUa_UInt32 registerEventField(const UaString& key);
    // The field a select clause or filter operand names: a browse path below attribute Value, or
    // the condition's NodeId (attribute NodeId, empty path). 0 with BadNotFound or
    // BadAttributeIdInvalid when it names none.
    static OpcUa_UInt32 getFieldIndex(const SimpleAttributeOperand& operand, UaStatus& status);
    static void createEventId(const UaByteString& prefix, UaByteString& eventId);

    // For diagnostics: the item count and the condition events a refresh would replay, in order.
    OpcUa_UInt32 itemCount() const;
    std::vector<EventData*> retainedEvents() const;

private:
    class TransactionContext;
    struct Notifier
    {
        UaNodeId parentId;
        std::vector<UaNodeId> children;
        std::set<UaNodeId> sources;
    };
    struct Condition
    {
        EventData* event = nullptr;
        std::map<UaNodeId, EventData*> branches;
    };

    // Under m_mutex: BadInvalidState after shut down, unknown for a handle without item.
    OpcUa_StatusCode findItem(OpcUa_UInt32 hEventItem, OpcUa_StatusCode unknown, EventItem*& item) const;
    void removeNotifierTree(const UaNodeId& notifierId);
    bool isSourceBelow(const UaNodeId& notifierId, const UaNodeId& sourceId) const;
    void keepCondition(EventData& eventData);

    mutable UaMutex m_mutex;
    HandleTable<EventItem> m_items;
    std::map<UaNodeId, std::unique_ptr<Notifier>> m_notifiers;
    std::map<UaNodeId, Condition> m_conditions;
    bool m_shutDown = false;
};

#endif
