#ifndef UASERVER_RUNTIME_EVENTITEM_H
#define UASERVER_RUNTIME_EVENTITEM_H

#include "eventfilter.h"
#include "session.h"

#include <referencecounter.h>

#include <uabytestring.h>

class EventData;
class EventItemCallback;

// The event manager's side of one event monitored item: its filter, and the delivery of the
// selected fields of each event that passes it. Called under the event manager's lock only.
class EventItem
{
public:
    // Holds a reference to the session.
    EventItem(const UaNodeId& notifierId, EventManagerBase* pEventManager, Session* pSession,
              EventItemCallback* pCallback);
    ~EventItem();
    EventItem(const EventItem&) = delete;
    EventItem& operator=(const EventItem&) = delete;

    UaStatus updateFilter(const OpcUa_EventFilter* pFilter, OpcUa_EventFilterResult& filterResult)
    {
        return m_filter.updateFilter(pFilter, filterResult);
    }
    // Hands the selected fields to the callback when the event passes the filter.
    void fireEvent(EventData& eventData);
    // A RefreshStartEvent, RefreshEndEvent or RefreshRequiredEvent (by its type's numeric id), sent
    // past the where clause and the source check: the Server object reports it.
    void sendRefreshEvent(OpcUa_UInt32 eventType, const UaByteString& eventId);

    OpcUa_UInt32 handle() const { return m_handle; }
    void setHandle(OpcUa_UInt32 handle) { m_handle = handle; }
    const EventFilter& filter() const { return m_filter; }

private:
    OpcUa_UInt32 m_handle = 0;
    ReferenceHolder<Session> m_session;
    EventFilter m_filter;
    EventItemCallback* m_pCallback;
};

#endif
