#include "uanodeid.h"
#include "nodeidcompare.h"
#include "stackcopy.h"
#include "uabytestring.h"
#include "uaguid.h"
#include "uatextforms.h"

#include <new>
#include <utility>

UaNodeId::Record* UaNodeId::nullRecord()
{
    // Created once and never freed: it keeps a reference of its own.
    static Record* record = [] {
        auto* r = new Record;
        OpcUa_NodeId_Initialize(&r->nodeId);
        r->refCount.store(1);
        return r;
    }();
    return record;
}

UaNodeId::Record* UaNodeId::newRecord(OpcUa_IdentifierType type, OpcUa_UInt16 namespaceIndex)
{
    auto* record = new (std::nothrow) Record;
    if (record == nullptr)
        return nullptr;
    OpcUa_NodeId_Initialize(&record->nodeId);
    record->nodeId.IdentifierType = static_cast<OpcUa_UInt16>(type);
    record->nodeId.NamespaceIndex = namespaceIndex;
    record->refCount.store(1);
    return record;
}

void UaNodeId::release(Record* record)
{
    if (record->refCount.fetch_sub(1) == 1)
    {
        OpcUa_NodeId_Clear(&record->nodeId);
        delete record;
    }
}

void UaNodeId::replace(Record* record)
{
    if (record == nullptr)
        return;
    Record* old = m_record;
    m_record = record;
    release(old);
}

UaNodeId::UaNodeId() : m_record(nullRecord()) { m_record->refCount.fetch_add(1); }

UaNodeId::UaNodeId(OpcUa_UInt32 numeric, OpcUa_UInt16 namespaceIndex) : UaNodeId()
{
    setNodeId(numeric, namespaceIndex);
}

UaNodeId::UaNodeId(const UaString& identifier, OpcUa_UInt16 namespaceIndex) : UaNodeId()
{
    setNodeId(identifier, namespaceIndex);
}

UaNodeId::UaNodeId(const OpcUa_NodeId& other) : UaNodeId()
{
    Record* record = newRecord(OpcUa_IdentifierType_Numeric, 0);
    if (record == nullptr)
        return;
    if ((StackCopy::copyNodeId(&other, &record->nodeId) & 0xC0000000u) != 0)
    {
        release(record);
        return;
    }
    replace(record);
}

UaNodeId::UaNodeId(const UaNodeId& other) : m_record(other.m_record) { m_record->refCount.fetch_add(1); }

UaNodeId::UaNodeId(UaNodeId&& other) noexcept : UaNodeId() { std::swap(m_record, other.m_record); }

UaNodeId& UaNodeId::operator=(const UaNodeId& other)
{
    other.m_record->refCount.fetch_add(1);
    replace(other.m_record);
    return *this;
}

UaNodeId& UaNodeId::operator=(UaNodeId&& other) noexcept
{
    std::swap(m_record, other.m_record);
    return *this;
}

UaNodeId::~UaNodeId() { release(m_record); }

void UaNodeId::setNodeId(OpcUa_UInt32 numeric, OpcUa_UInt16 namespaceIndex)
{
    Record* record = newRecord(OpcUa_IdentifierType_Numeric, namespaceIndex);
    if (record == nullptr)
        return;
    record->nodeId.Identifier.Numeric = numeric;
    replace(record);
}

void UaNodeId::setNodeId(const UaString& identifier, OpcUa_UInt16 namespaceIndex)
{
    Record* record = newRecord(OpcUa_IdentifierType_String, namespaceIndex);
    if (record == nullptr)
        return;
    identifier.copyTo(&record->nodeId.Identifier.String);
    replace(record);
}

void UaNodeId::setNodeId(const UaGuid& identifier, OpcUa_UInt16 namespaceIndex)
{
    Record* record = newRecord(OpcUa_IdentifierType_Guid, namespaceIndex);
    if (record == nullptr)
        return;
    OpcUa_Guid* guid = identifier.clone();
    if (guid == nullptr)
    {
        release(record);
        return;
    }
    record->nodeId.Identifier.Guid = guid;
    replace(record);
}

void UaNodeId::setNodeId(const UaByteString& opaque, OpcUa_UInt16 namespaceIndex)
{
    Record* record = newRecord(OpcUa_IdentifierType_Opaque, namespaceIndex);
    if (record == nullptr)
        return;
    opaque.copyTo(&record->nodeId.Identifier.ByteString);
    replace(record);
}

OpcUa_IdentifierType UaNodeId::identifierType() const
{
    return static_cast<OpcUa_IdentifierType>(m_record->nodeId.IdentifierType);
}

OpcUa_UInt32 UaNodeId::identifierNumeric() const
{
    return m_record->nodeId.IdentifierType == OpcUa_IdentifierType_Numeric ? m_record->nodeId.Identifier.Numeric : 0;
}

UaString UaNodeId::identifierString() const
{
    if (m_record->nodeId.IdentifierType != OpcUa_IdentifierType_String)
        return UaString();
    return UaString(&m_record->nodeId.Identifier.String);
}

bool UaNodeId::isNull() const { return NodeIdCompare::isNull(m_record->nodeId); }

bool UaNodeId::operator==(const UaNodeId& other) const
{
    return m_record == other.m_record || NodeIdCompare::equal(m_record->nodeId, other.m_record->nodeId);
}

bool UaNodeId::operator==(const OpcUa_NodeId& other) const { return NodeIdCompare::equal(m_record->nodeId, other); }

bool UaNodeId::operator<(const UaNodeId& other) const
{
    return m_record != other.m_record && NodeIdCompare::less(m_record->nodeId, other.m_record->nodeId);
}

void UaNodeId::copyTo(OpcUa_NodeId* target) const { StackCopy::copyTo(m_record->nodeId, target); }

OpcUa_NodeId* UaNodeId::clone() const { return StackCopy::clone(m_record->nodeId); }

OpcUa_NodeId* UaNodeId::detach(OpcUa_NodeId* target)
{
    if (target == nullptr || m_record == nullRecord() || m_record->refCount.load() != 1)
        return nullptr;
    *target = m_record->nodeId;
    OpcUa_NodeId_Initialize(&m_record->nodeId);
    Record* old = m_record;
    m_record = nullRecord();
    m_record->refCount.fetch_add(1);
    release(old);
    return target;
}

UaString UaNodeId::toString() const { return TextForms::nodeIdIdentifier(m_record->nodeId); }

UaString UaNodeId::toFullString() const { return TextForms::nodeIdFull(m_record->nodeId); }
