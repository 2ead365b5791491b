#ifndef UASERVER_RUNTIME_EVENTMANAGER_H
#define UASERVER_RUNTIME_EVENTMANAGER_H

#include <servicecontext.h>

#include <uabytestring.h>
#include <uanodeid.h>
#include <uastatus.h>
#include <uavariantarrays.h>

#include <opcua.h>

// How an event manager answers the monitoring transactions of a subscription: once per item that a
// begin call accepted, after the manager's lock is released. A filter result is lent for the call
// only; the receiver copies what it keeps.
class EventManagerCallback
{
public:
    virtual ~EventManagerCallback() = default;

    // hEventItem is 0 for an item that was not started; pFilterResult is null when the filter
    // produced none.
    virtual UaStatus finishStartMonitoring(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                           OpcUa_UInt32 hEventItem, OpcUa_Double revisedSamplingInterval,
                                           const UaStatus& status,
                                           const OpcUa_EventFilterResult* pFilterResult) = 0;
    virtual UaStatus finishModifyMonitoring(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                            OpcUa_Double revisedSamplingInterval, const UaStatus& status,
                                            const OpcUa_EventFilterResult* pFilterResult) = 0;
    virtual UaStatus finishStopMonitoring(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                          const UaStatus& status) = 0;
};

// The event monitored item as its event managers reach it: the selected field values of each event
// that passed its filter.
class EventItemCallback
{
public:
    virtual ~EventItemCallback() = default;

    // One value per select clause; the callback takes the values over (the array is left empty).
    // Called with the event manager's lock held.
    virtual void newEvent(UaVariantArray& eventFields) = 0;
};

// What a subscription asks of one event monitored item.
struct EventMonitoringContext
{
    // The node the item monitors (its notifier).
    UaNodeId notifierId;
    OpcUa_Double samplingInterval = 0.0;
    // Null for a filter without select clauses and where clause.
    const OpcUa_EventFilter* pEventFilter = nullptr;
};

// The interface in which the subscription layer and the node managers hand event managers around.
// For one service call: beginEventTransaction, any number of begin calls, finishEventTransaction.
// A begin call that returns a good status is answered exactly once through the callback; one that
// returns a bad status is never answered.
class EventManager
{
public:
    virtual ~EventManager() = default;

    virtual UaStatus beginEventTransaction(EventManagerCallback* pCallback,
                                           const ServiceContext& serviceContext, OpcUa_UInt32 hTransaction,
                                           OpcUa_Handle& hEventManagerContext) = 0;
    virtual UaStatus beginStartMonitoring(OpcUa_Handle hEventManagerContext, OpcUa_UInt32 callbackHandle,
                                          EventItemCallback* pEventCallback,
                                          EventMonitoringContext& monitoringContext) = 0;
    virtual UaStatus beginModifyMonitoring(OpcUa_Handle hEventManagerContext, OpcUa_UInt32 callbackHandle,
                                           OpcUa_UInt32 hEventItem,
                                           EventMonitoringContext& monitoringContext) = 0;
    virtual UaStatus beginStopMonitoring(OpcUa_Handle hEventManagerContext, OpcUa_UInt32 callbackHandle,
                                         OpcUa_UInt32 hEventItem) = 0;
    virtual UaStatus finishEventTransaction(OpcUa_Handle hEventManagerContext) = 0;
    // Replays the retained conditions to one item, between a start and an end event whose EventIds
    // the caller gives (an empty one leaves that event out).
    virtual UaStatus beginConditionRefresh(const ServiceContext& /*serviceContext*/,
                                           OpcUa_UInt32 /*hEventItem*/,
                                           const UaByteString& /*refreshStartEventId*/,
                                           const UaByteString& /*refreshEndEventId*/)
    {
        return OpcUa_Good;
    }
    // Tells one item that it has missed events and should refresh.
    virtual UaStatus sendRefreshRequired(OpcUa_UInt32 /*hEventItem*/) { return OpcUa_Good; }
};

#endif
