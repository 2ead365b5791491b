#ifndef UASERVER_RUNTIME_EVENTFILTER_H
#define UASERVER_RUNTIME_EVENTFILTER_H

#include "contentfilter.h"

#include <uanodeid.h>
#include <uastatus.h>

#include <opcua.h>

#include <vector>

class EventData;
class EventManagerBase;
class Session;

// The filter of one event monitored item: its select clauses resolved to event fields, and its
// where clause as a tree, checked operator by operator when the filter is set and evaluated for
// each event. Items on the Server object (or on a notifier the event manager says sees all)
// accept events of every source; the others only those whose SourceNode lies below their notifier.
class EventFilter
{
public:
    EventFilter(const UaNodeId& notifierId, EventManagerBase* pEventManager, Session* pSession);
    ~EventFilter();
    EventFilter(const EventFilter&) = delete;
    EventFilter& operator=(const EventFilter&) = delete;

    // Replaces select clauses and where clause (a null filter clears both) and fills the result:
    // one status per select clause (a clause that does not resolve still lets the item be made) and
    // one element result per where-clause element. BadEventFilterInvalid for a where clause that
    // is refused, BadNotImplemented for InView and RelatedTo.
    UaStatus updateFilter(const OpcUa_EventFilter* pFilter, OpcUa_EventFilterResult& filterResult);
    // Whether the event comes from a source of the notifier and passes the where clause.
    bool evaluate(EventData& eventData) const;

    // The field index of each select clause; 0 for one that did not resolve.
    const std::vector<OpcUa_UInt32>& selectFields() const { return m_selectFields; }
    const ContentFilter& whereClause() const { return m_whereClause; }
    Session* session() const { return m_pSession; }
    const UaNodeId& notifierId() const { return m_notifierId; }
    bool acceptsAll() const { return m_acceptAll; }

private:
    class Evaluation;

    OpcUa_StatusCode checkElement(ContentFilterElement& element, OpcUa_ContentFilterElementResult& result);

    UaNodeId m_notifierId;
    EventManagerBase* m_pEventManager;
    Session* m_pSession;
    bool m_acceptAll;
    std::vector<OpcUa_UInt32> m_selectFields;
    ContentFilter m_whereClause;
};

#endif
