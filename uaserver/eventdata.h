#ifndef UASERVER_EVENTDATA_H
#define UASERVER_EVENTDATA_H

#include <uabytestring.h>
#include <uadatetime.h>
#include <ualocalizedtext.h>
#include <uanodeid.h>
#include <uavariant.h>

#include <opcua.h>

class Session;
class UaNode;

// The field indexes of BaseEventType's fields: the event field registry gives them to these nine
// keys before any other.
namespace BaseEventField
{
constexpr OpcUa_UInt32 EventId = 1;
constexpr OpcUa_UInt32 EventType = 2;
constexpr OpcUa_UInt32 SourceNode = 3;
constexpr OpcUa_UInt32 SourceName = 4;
constexpr OpcUa_UInt32 Time = 5;
constexpr OpcUa_UInt32 ReceiveTime = 6;
constexpr OpcUa_UInt32 LocalTime = 7;
constexpr OpcUa_UInt32 Message = 8;
constexpr OpcUa_UInt32 Severity = 9;
constexpr OpcUa_UInt32 Count = 9;
} // namespace BaseEventField

// One occurrence of an event as the event manager hands it to its items: the value of a field by
// field index, and what a condition keeps for a condition refresh. The event manager never knows
// the concrete class. An event is read during fireEvent only, unless it is retained: a retained
// condition event must stay alive until its condition's next event replaces it (or the event
// manager is gone), because the event manager keeps it for refreshes.
class EventData
{
public:
    EventData() = default;
    virtual ~EventData() = default;
    EventData(const EventData&) = default;
    EventData& operator=(const EventData&) = default;

    // Writes value in every case: empty for a field the event does not have.
    virtual void getFieldData(OpcUa_UInt32 fieldIndex, Session* session, OpcUa_Variant& value) = 0;
    // The value of one field; empty for index 0 (a field that named nothing).
    UaVariant fieldValue(OpcUa_UInt32 fieldIndex, Session* session);
    // Null for an event that is no condition's.
    virtual UaNodeId getConditionNodeId() const { return UaNodeId(); }
    virtual UaNodeId getBranchNodeId() const { return UaNodeId(); }
    virtual bool getRetain() const { return false; }
    // Around the reads of one item.
    virtual void lock() {}
    virtual void unlock() {}

    // 16 bytes of a new GUID followed by the prefix's bytes.
    static void createEventId(const UaByteString& prefix, UaByteString& eventId);
};

using UaEventData = EventData;

// The event data of BaseEventType, which every event type's data extends: the nine fields,
// answered by their fixed indexes.
class BaseEventTypeData : public EventData
{
public:
    BaseEventTypeData();
    ~BaseEventTypeData() override;

    void getFieldData(OpcUa_UInt32 fieldIndex, Session* session, OpcUa_Variant& value) override;
    // The Message as the session sees it; here the stored text.
    virtual void getMessageValue(Session* session, OpcUa_Variant& value);

    // All nine fields of the other event.
    virtual void copyBaseFields(const BaseEventTypeData& other);
    // Time and ReceiveTime, and a new EventId: 16 bytes of a new GUID followed by the prefix.
    virtual void setTimesAndEventId(const UaDateTime& time, const UaDateTime& receiveTime,
                                    const UaByteString& prefix);
    // SourceNode and SourceName from the node; the name without its namespace index.
    virtual void setSource(UaNode* pNode);

    void setEventId(const UaByteString& eventId);
    UaByteString getEventId() const;
    const UaNodeId& getEventType() const { return m_eventType; }
    void setSourceNode(const UaNodeId& sourceNode);
    UaNodeId getSourceNode() const;
    void setSourceName(const UaString& sourceName);
    UaString getSourceName() const;
    void setTime(const UaDateTime& time);
    UaDateTime getTime() const;
    void setReceiveTime(const UaDateTime& receiveTime);
    UaDateTime getReceiveTime() const;
    void setMessage(const UaLocalizedText& message);
    UaLocalizedText getMessage() const;
    void setSeverity(OpcUa_UInt16 severity);
    OpcUa_UInt16 getSeverity() const;

protected:
    UaVariant m_eventId;
    // Each event type's constructor sets its own.
    UaNodeId m_eventType;
    UaVariant m_sourceNode;
    UaVariant m_sourceName;
    UaVariant m_time;
    UaVariant m_receiveTime;
    UaVariant m_localTime;
    UaVariant m_message;
    UaVariant m_severity;
};

#endif
