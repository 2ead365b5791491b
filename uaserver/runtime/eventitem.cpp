#include "eventitem.h"

#include "eventmanager.h"

#include <eventdata.h>
#include <standardnodeids.h>

#include <uadatetime.h>
#include <ualocalizedtext.h>
#include <uatrace.h>

namespace
{
void traceEvent(EventData& eventData, Session* pSession)
{
    auto text = [&](OpcUa_UInt32 field) { return eventData.fieldValue(field, pSession).toString(); };
    UaTrace::traceLevel7("  Source=%s SourceId=%s EventType=%s EventId=%s Time=%s Severity=%s",
                         text(BaseEventField::SourceName).toUtf8(), text(BaseEventField::SourceNode).toUtf8(),
                         text(BaseEventField::EventType).toUtf8(), text(BaseEventField::EventId).toUtf8(),
                         text(BaseEventField::Time).toUtf8(), text(BaseEventField::Severity).toUtf8());
}

// The event a refresh sends, answering BaseEventType's fields from the Server object.
class RefreshEventData : public BaseEventTypeData
{
public:
    RefreshEventData(OpcUa_UInt32 eventType, const UaByteString& eventId)
    {
        m_eventType = UaNodeId(eventType, 0);
        setEventId(eventId);
        setSourceNode(UaNodeId(StandardNodeId::Server, 0));
        setSourceName("Server");
        const UaDateTime now = UaDateTime::now();
        setTime(now);
        setReceiveTime(now);
        setMessage(UaLocalizedText());
        setSeverity(500);
    }
};
} // namespace

EventItem::EventItem(const UaNodeId& notifierId, EventManagerBase* pEventManager, Session* pSession,
                     EventItemCallback* pCallback)
    : m_session(pSession), m_filter(notifierId, pEventManager, pSession), m_pCallback(pCallback)
{
}

EventItem::~EventItem() = default;

void EventItem::fireEvent(EventData& eventData)
{
    UaTrace::traceLevel6("--> EventItem::fireEvent [hEventItem = %u]", m_handle);
    eventData.lock();
    if (UaTrace::isTraceLevelOn(7))
        traceEvent(eventData, m_session.get());
    if (!m_filter.evaluate(eventData))
    {
        UaTrace::traceLevel7("  Skipped by event filter");
        eventData.unlock();
        return;
    }
    UaTrace::traceLevel7("  Passed event filter");
    const std::vector<OpcUa_UInt32>& fields = m_filter.selectFields();
    UaVariantArray values;
    values.create(static_cast<OpcUa_UInt32>(fields.size()));
    UaTrace::traceLevel7("  Delivered Values:");
    for (OpcUa_UInt32 i = 0; i < values.length(); ++i)
    {
        const UaVariant value = eventData.fieldValue(fields[i], m_session.get());
        value.copyTo(&values[i]);
        UaTrace::traceLevel7("    [%u] %s", i, value.toString().toUtf8());
    }
    eventData.unlock();
    if (m_pCallback)
        m_pCallback->newEvent(values);
}

void EventItem::sendRefreshEvent(OpcUa_UInt32 eventType, const UaByteString& eventId)
{
    RefreshEventData refresh(eventType, eventId);
    const std::vector<OpcUa_UInt32>& fields = m_filter.selectFields();
    UaVariantArray values;
    values.create(static_cast<OpcUa_UInt32>(fields.size()));
    // Only BaseEventType's fields have values: the refresh event has no others.
    for (OpcUa_UInt32 i = 0; i < values.length(); ++i)
        if (fields[i] != BaseEventField::LocalTime && fields[i] <= BaseEventField::Count)
            refresh.fieldValue(fields[i], m_session.get()).copyTo(&values[i]);
    if (m_pCallback)
        m_pCallback->newEvent(values);
}
