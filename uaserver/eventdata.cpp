#include "eventdata.h"

#include "standardnodeids.h"
#include "uanode.h"

#include <uaguid.h>

#include <cstring>
#include <vector>

void EventData::createEventId(const UaByteString& prefix, UaByteString& eventId)
{
    UaGuid guid;
    guid.create();
    const OpcUa_Guid* raw = guid.toOpcUaGuid();
    // The GUID in its binary encoding: Data1 to Data3 little-endian, then Data4.
    std::vector<OpcUa_Byte> bytes(16);
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<OpcUa_Byte>(raw->Data1 >> (8 * i));
    for (int i = 0; i < 2; ++i)
    {
        bytes[4 + i] = static_cast<OpcUa_Byte>(raw->Data2 >> (8 * i));
        bytes[6 + i] = static_cast<OpcUa_Byte>(raw->Data3 >> (8 * i));
    }
    std::memcpy(bytes.data() + 8, raw->Data4, 8);
    if (prefix.length() > 0)
        bytes.insert(bytes.end(), prefix.data(), prefix.data() + prefix.length());
    eventId.setByteString(static_cast<OpcUa_Int32>(bytes.size()), bytes.data());
}

UaVariant EventData::fieldValue(OpcUa_UInt32 fieldIndex, Session* session)
{
    UaVariant result;
    if (fieldIndex == 0)
        return result;
    OpcUa_Variant value;
    OpcUa_Variant_Initialize(&value);
    getFieldData(fieldIndex, session, value);
    result = UaVariant(value);
    OpcUa_Variant_Clear(&value);
    return result;
}

BaseEventTypeData::BaseEventTypeData() : m_eventType(StandardNodeId::BaseEventType, 0) {}

BaseEventTypeData::~BaseEventTypeData() = default;

void BaseEventTypeData::getFieldData(OpcUa_UInt32 fieldIndex, Session* session, OpcUa_Variant& value)
{
    OpcUa_Variant_Initialize(&value);
    switch (fieldIndex)
    {
    case BaseEventField::EventId:
        m_eventId.copyTo(&value);
        break;
    case BaseEventField::EventType:
    {
        UaVariant type;
        type.setNodeId(m_eventType);
        type.copyTo(&value);
        break;
    }
    case BaseEventField::SourceNode:
        m_sourceNode.copyTo(&value);
        break;
    case BaseEventField::SourceName:
        m_sourceName.copyTo(&value);
        break;
    case BaseEventField::Time:
        m_time.copyTo(&value);
        break;
    case BaseEventField::ReceiveTime:
        m_receiveTime.copyTo(&value);
        break;
    case BaseEventField::LocalTime:
        m_localTime.copyTo(&value);
        break;
    case BaseEventField::Message:
        getMessageValue(session, value);
        break;
    case BaseEventField::Severity:
        m_severity.copyTo(&value);
        break;
    default:
        break;
    }
}

void BaseEventTypeData::getMessageValue(Session*, OpcUa_Variant& value)
{
    m_message.copyTo(&value);
}

void BaseEventTypeData::copyBaseFields(const BaseEventTypeData& other)
{
    m_eventId = other.m_eventId;
    m_eventType = other.m_eventType;
    m_sourceNode = other.m_sourceNode;
    m_sourceName = other.m_sourceName;
    m_time = other.m_time;
    m_receiveTime = other.m_receiveTime;
    m_localTime = other.m_localTime;
    m_message = other.m_message;
    m_severity = other.m_severity;
}

void BaseEventTypeData::setTimesAndEventId(const UaDateTime& time, const UaDateTime& receiveTime,
                                           const UaByteString& prefix)
{
    setTime(time);
    setReceiveTime(receiveTime);
    UaByteString eventId;
    createEventId(prefix, eventId);
    m_eventId.setByteString(eventId, true);
}

void BaseEventTypeData::setSource(UaNode* pNode)
{
    if (!pNode)
        return;
    setSourceNode(pNode->nodeId());
    setSourceName(pNode->browseName().name());
}

void BaseEventTypeData::setEventId(const UaByteString& eventId)
{
    UaByteString copy(eventId);
    m_eventId.setByteString(copy, true);
}

UaByteString BaseEventTypeData::getEventId() const
{
    UaByteString eventId;
    m_eventId.toByteString(eventId);
    return eventId;
}

void BaseEventTypeData::setSourceNode(const UaNodeId& sourceNode)
{
    m_sourceNode.setNodeId(sourceNode);
}

UaNodeId BaseEventTypeData::getSourceNode() const
{
    UaNodeId sourceNode;
    m_sourceNode.toNodeId(sourceNode);
    return sourceNode;
}

void BaseEventTypeData::setSourceName(const UaString& sourceName)
{
    m_sourceName.setString(sourceName);
}

UaString BaseEventTypeData::getSourceName() const
{
    return m_sourceName.type() == OpcUaType_String ? m_sourceName.toString() : UaString();
}

void BaseEventTypeData::setTime(const UaDateTime& time)
{
    m_time.setDateTime(time);
}

UaDateTime BaseEventTypeData::getTime() const
{
    UaDateTime time;
    m_time.toDateTime(time);
    return time;
}

void BaseEventTypeData::setReceiveTime(const UaDateTime& receiveTime)
{
    m_receiveTime.setDateTime(receiveTime);
}

UaDateTime BaseEventTypeData::getReceiveTime() const
{
    UaDateTime receiveTime;
    m_receiveTime.toDateTime(receiveTime);
    return receiveTime;
}

void BaseEventTypeData::setMessage(const UaLocalizedText& message)
{
    m_message.setLocalizedText(message);
}

UaLocalizedText BaseEventTypeData::getMessage() const
{
    UaLocalizedText message;
    m_message.toLocalizedText(message);
    return message;
}

void BaseEventTypeData::setSeverity(OpcUa_UInt16 severity)
{
    m_severity.setUInt16(severity);
}

OpcUa_UInt16 BaseEventTypeData::getSeverity() const
{
    OpcUa_UInt16 severity = 0;
    m_severity.toUInt16(severity);
    return severity;
}
