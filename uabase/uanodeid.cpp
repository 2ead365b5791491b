#include "uanodeid.h"
#include "nodeidcompare.h"
#include "stackcopy.h"
#include "uabytestring.h"
#include "uaguid.h"
#include "uatextforms.h"

#include <new>
#include <utility>

UaNodeIdRecord* UaNodeIdRecord::empty()
{
    // The null NodeId.
    static UaNodeIdRecord* record = []
    {
        auto* r = new UaNodeIdRecord;
        OpcUa_NodeId_Initialize(&r->nodeId);
        r->refCount.store(kImmortalRefCount);
        return r;
    }();
    return record;
}

void UaNodeIdRecord::destroy(UaNodeIdRecord* record)
{
    OpcUa_NodeId_Clear(&record->nodeId);
    delete record;
}

UaNodeIdRecord* UaNodeId::newRecord(OpcUa_IdentifierType type, OpcUa_UInt16 namespaceIndex)
{
    auto* record = new (std::nothrow) UaNodeIdRecord;
    if (record == nullptr)
        return nullptr;
    OpcUa_NodeId_Initialize(&record->nodeId);
    record->nodeId.IdentifierType = static_cast<OpcUa_UInt16>(type);
    record->nodeId.NamespaceIndex = namespaceIndex;
    record->refCount.store(1);
    return record;
}

UaNodeId::UaNodeId() = default;

UaNodeId::UaNodeId(OpcUa_UInt32 numeric, OpcUa_UInt16 namespaceIndex)
{
    setNodeId(numeric, namespaceIndex);
}

UaNodeId::UaNodeId(const UaString& identifier, OpcUa_UInt16 namespaceIndex)
{
    setNodeId(identifier, namespaceIndex);
}

UaNodeId::UaNodeId(const OpcUa_NodeId& other)
{
    UaNodeIdRecord* record = newRecord(OpcUa_IdentifierType_Numeric, 0);
    if (record == nullptr)
        return;
    if ((StackCopy::copyNodeId(&other, &record->nodeId) & 0xC0000000u) != 0)
    {
        release(record);
        return;
    }
    adopt(record);
}

void UaNodeId::setNodeId(OpcUa_UInt32 numeric, OpcUa_UInt16 namespaceIndex)
{
    UaNodeIdRecord* record = newRecord(OpcUa_IdentifierType_Numeric, namespaceIndex);
    if (record == nullptr)
        return;
    record->nodeId.Identifier.Numeric = numeric;
    adopt(record);
}

void UaNodeId::setNodeId(const UaString& identifier, OpcUa_UInt16 namespaceIndex)
{
    UaNodeIdRecord* record = newRecord(OpcUa_IdentifierType_String, namespaceIndex);
    if (record == nullptr)
        return;
    identifier.copyTo(&record->nodeId.Identifier.String);
    adopt(record);
}

void UaNodeId::setNodeId(const UaGuid& identifier, OpcUa_UInt16 namespaceIndex)
{
    UaNodeIdRecord* record = newRecord(OpcUa_IdentifierType_Guid, namespaceIndex);
    if (record == nullptr)
        return;
    OpcUa_Guid* guid = identifier.clone();
    if (guid == nullptr)
    {
        release(record);
        return;
    }
    record->nodeId.Identifier.Guid = guid;
    adopt(record);
}

void UaNodeId::setNodeId(const UaByteString& opaque, OpcUa_UInt16 namespaceIndex)
{
    UaNodeIdRecord* record = newRecord(OpcUa_IdentifierType_Opaque, namespaceIndex);
    if (record == nullptr)
        return;
    opaque.copyTo(&record->nodeId.Identifier.ByteString);
    adopt(record);
}

OpcUa_IdentifierType UaNodeId::identifierType() const
{
    return static_cast<OpcUa_IdentifierType>(m_record->nodeId.IdentifierType);
}

OpcUa_UInt32 UaNodeId::identifierNumeric() const
{
    return m_record->nodeId.IdentifierType == OpcUa_IdentifierType_Numeric
               ? m_record->nodeId.Identifier.Numeric
               : 0;
}

UaString UaNodeId::identifierString() const
{
    if (m_record->nodeId.IdentifierType != OpcUa_IdentifierType_String)
        return UaString();
    return UaString(&m_record->nodeId.Identifier.String);
}

bool UaNodeId::isNull() const
{
    return NodeIdCompare::isNull(m_record->nodeId);
}

bool UaNodeId::operator==(const UaNodeId& other) const
{
    return m_record == other.m_record || NodeIdCompare::equal(m_record->nodeId, other.m_record->nodeId);
}

bool UaNodeId::operator==(const OpcUa_NodeId& other) const
{
    return NodeIdCompare::equal(m_record->nodeId, other);
}

bool UaNodeId::operator<(const UaNodeId& other) const
{
    return m_record != other.m_record && NodeIdCompare::less(m_record->nodeId, other.m_record->nodeId);
}

void UaNodeId::copyTo(OpcUa_NodeId* target) const
{
    StackCopy::copyTo(m_record->nodeId, target);
}

OpcUa_NodeId* UaNodeId::clone() const
{
    return StackCopy::clone(m_record->nodeId);
}

OpcUa_NodeId* UaNodeId::detach(OpcUa_NodeId* target)
{
    if (target == nullptr || m_record == UaNodeIdRecord::empty() || m_record->refCount.load() != 1)
        return nullptr;
    *target = m_record->nodeId;
    OpcUa_NodeId_Initialize(&m_record->nodeId);
    adopt(sharedEmpty());
    return target;
}

UaString UaNodeId::toString() const
{
    return TextForms::nodeIdIdentifier(m_record->nodeId);
}

UaString UaNodeId::toFullString() const
{
    return TextForms::nodeIdFull(m_record->nodeId);
}
