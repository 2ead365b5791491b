#ifndef UABASE_UANODEID_H
#define UABASE_UANODEID_H

#include "uasharedhandle.h"
#include "uastring.h"

#include <opcua.h>

#include <atomic>

class UaByteString;
class UaGuid;

struct UaNodeIdRecord
{
    OpcUa_NodeId nodeId;
    std::atomic<OpcUa_UInt32> refCount;
    static UaNodeIdRecord* empty();
    static void destroy(UaNodeIdRecord* record);
};

// Shared NodeId: copies share one record. String identifiers compare without regard to case.
class UaNodeId : public UaSharedHandle<UaNodeIdRecord>
{
public:
    UaNodeId();
    UaNodeId(OpcUa_UInt32 numeric, OpcUa_UInt16 namespaceIndex);
    UaNodeId(const UaString& identifier, OpcUa_UInt16 namespaceIndex);
    UaNodeId(const OpcUa_NodeId& other);

    void setNodeId(OpcUa_UInt32 numeric, OpcUa_UInt16 namespaceIndex);
    void setNodeId(const UaString& identifier, OpcUa_UInt16 namespaceIndex);
    void setNodeId(const UaGuid& identifier, OpcUa_UInt16 namespaceIndex);
    void setNodeId(const UaByteString& opaque, OpcUa_UInt16 namespaceIndex);

    OpcUa_IdentifierType identifierType() const;
    OpcUa_UInt16 namespaceIndex() const { return m_record->nodeId.NamespaceIndex; }
    OpcUa_UInt32 identifierNumeric() const;
    UaString identifierString() const;
    const OpcUa_NodeId* toOpcUaNodeId() const { return &m_record->nodeId; }
    bool isNull() const;

    bool operator==(const UaNodeId& other) const;
    bool operator!=(const UaNodeId& other) const { return !(*this == other); }
    bool operator==(const OpcUa_NodeId& other) const;
    bool operator!=(const OpcUa_NodeId& other) const { return !(*this == other); }
    bool operator<(const UaNodeId& other) const;

    void copyTo(OpcUa_NodeId* target) const;
    OpcUa_NodeId* clone() const;
    // Moves the NodeId into target when this handle alone holds it (the handle becomes the null
    // NodeId); returns null and moves nothing when the record is shared.
    OpcUa_NodeId* detach(OpcUa_NodeId* target);

    // The identifier alone ("5001", the string, the GUID text, "0x0AFF").
    UaString toString() const;
    // "NS2|Numeric|5001" and the like.
    UaString toFullString() const;

private:
    static UaNodeIdRecord* newRecord(OpcUa_IdentifierType type, OpcUa_UInt16 namespaceIndex);
};

#endif
