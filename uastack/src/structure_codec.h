// Generic operations over values described by a field kind (built-in type id, structure or
// enumeration), used by the generated structure descriptors and the built-in types.
#pragma once

#include <opcua.h>

#include <cstddef>

extern "C" {
extern OpcUa_EncodeableType* const g_OpcUa_KnownEncodeableTypes[];
extern const OpcUa_UInt32 g_OpcUa_KnownEncodeableTypeCount;
}

namespace OpcUa
{
// Storage size of one value of kind (0 for an unknown kind).
size_t valueSize(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type);
void initValue(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, void* value);
void clearValue(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, void* value);
OpcUa_StatusCode copyValue(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, const void* source, void* target);
int compareValue(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, const void* a, const void* b);

// Frees what a structure described by its field table owns, without resetting it (for storage
// that is freed or re-initialised right after).
void releaseStructure(const OpcUa_EncodeableType* type, void* value);

// Arrays of count elements in one OpcUa_Memory_Alloc block.
void clearArray(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, void* elements, OpcUa_Int32 count);
// New block with deep copies (*target null for count <= 0 or a null source).
OpcUa_StatusCode copyArray(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, const void* source, OpcUa_Int32 count,
                           void** target);
int compareArray(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, const void* a, OpcUa_Int32 countA, const void* b,
                 OpcUa_Int32 countB);

// Whether kind is stored as plain bytes that need no clear (numbers, Boolean, DateTime, Guid,
// StatusCode, enumerations).
inline bool isPlainKind(OpcUa_UInt16 kind)
{
    return (kind >= OpcUaType_Boolean && kind <= OpcUaType_Double) || kind == OpcUaType_DateTime ||
           kind == OpcUaType_Guid || kind == OpcUaType_StatusCode || kind == OpcUa_FieldKind_Enumeration;
}

// Whether the initial state of kind is not all zero bytes (ByteString and XmlElement have
// Length -1, DiagnosticInfo -1 indices; structures may contain either).
inline bool needsInit(OpcUa_UInt16 kind)
{
    return kind == OpcUaType_ByteString || kind == OpcUaType_XmlElement || kind == OpcUaType_DiagnosticInfo ||
           kind == OpcUa_FieldKind_Structure;
}

// Whether a variant holds a scalar of type through a pointer (Guid, NodeId, ExpandedNodeId,
// QualifiedName, LocalizedText, ExtensionObject, DataValue, DiagnosticInfo).
inline bool isPointerScalar(OpcUa_Byte type)
{
    switch (type)
    {
    case OpcUaType_Guid:
    case OpcUaType_NodeId:
    case OpcUaType_ExpandedNodeId:
    case OpcUaType_QualifiedName:
    case OpcUaType_LocalizedText:
    case OpcUaType_ExtensionObject:
    case OpcUaType_DataValue:
    case OpcUaType_DiagnosticInfo: return true;
    default: return false;
    }
}

// Whether field f of a structure is on the wire for the structure's EncodingMask or SwitchField
// value selector; sets *matched when it is the selected union member.
inline bool fieldPresent(const OpcUa_EncodeableType* type, const OpcUa_FieldDescription& f, OpcUa_UInt32 selector,
                         bool* matched)
{
    if (type->StructureKind == OpcUa_StructureKind_Plain)
        return true;
    if (type->StructureKind == OpcUa_StructureKind_Union)
    {
        if (static_cast<OpcUa_UInt32>(f.SwitchValue) != selector)
            return false;
        *matched = true;
        return true;
    }
    return f.OptionalBit < 0 || (selector & (1u << f.OptionalBit)) != 0;
}
} // namespace OpcUa
