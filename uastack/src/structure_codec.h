// Generic operations over values described by a field kind (built-in type id, structure or
// enumeration), used by the generated structure descriptors and the built-in types.
#pragma once

#include <opcua.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

extern "C"
{
    extern OpcUa_EncodeableType* const g_OpcUa_KnownEncodeableTypes[];
    extern const OpcUa_UInt32 g_OpcUa_KnownEncodeableTypeCount;
}

namespace OpcUa
{
// Storage size of one value of kind (0 for an unknown kind).
size_t valueSize(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type);
void initValue(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, void* value);
void clearValue(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, void* value);
OpcUa_StatusCode copyValue(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, const void* source,
                           void* target);
int compareValue(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, const void* a, const void* b);

// Frees what a structure described by its field table owns, without resetting it (for storage
// that is freed or re-initialised right after).
void releaseStructure(const OpcUa_EncodeableType* type, void* value);

// Arrays of count elements in one OpcUa_Memory_Alloc block.
void clearArray(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, void* elements, OpcUa_Int32 count);
// New block with deep copies (*target null for count <= 0 or a null source).
OpcUa_StatusCode copyArray(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, const void* source,
                           OpcUa_Int32 count, void** target);
int compareArray(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, const void* a, OpcUa_Int32 countA,
                 const void* b, OpcUa_Int32 countB);

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
    case OpcUaType_DiagnosticInfo:
        return true;
    default:
        return false;
    }
}

// Whether a variant holds nothing that its clear would free (a null value or a scalar held in place
// that owns no block).
inline bool variantOwnsNothing(const OpcUa_Variant& v)
{
    // Null, the numbers, Boolean, DateTime and StatusCode (a Guid scalar is held by pointer).
    constexpr uint32_t kHeldInPlace = (1u << OpcUaType_Null) | (((1u << (OpcUaType_Double + 1)) - 1) & ~1u) |
                                      (1u << OpcUaType_DateTime) | (1u << OpcUaType_StatusCode);
    return v.ArrayType == OpcUa_VariantArrayType_Scalar && v.Datatype < 32 &&
           ((kHeldInPlace >> v.Datatype) & 1u) != 0;
}

// Wire size of the value of a Variant scalar of fixed size (numbers, Boolean, DateTime, StatusCode);
// 0 for every other type byte (also ones with array flags).
inline size_t fixedScalarSize(unsigned type)
{
    static constexpr OpcUa_Byte kSize[20] = {0, 1, 1, 1, 2, 2, 4, 4, 8, 8, 4, 8, 0, 8, 0, 0, 0, 0, 0, 4};
    return type < sizeof(kSize) ? kSize[type] : 0;
}

// Such a scalar from or to the wire (p: the value's bytes after the type byte).
inline void readFixedScalar(const OpcUa_Byte* p, OpcUa_Byte type, size_t size, OpcUa_Variant* v)
{
    v->Datatype = type;
    if (type == OpcUaType_Boolean)
        v->Value.Boolean = p[0] != 0 ? OpcUa_True : OpcUa_False;
    else if (size == 8)
        std::memcpy(&v->Value, p, 8);
    else
        std::memcpy(&v->Value, p, size);
}
inline void writeFixedScalar(OpcUa_Byte* p, const OpcUa_Variant& v, size_t size)
{
    if (v.Datatype == OpcUaType_Boolean)
        p[0] = v.Value.Boolean ? 1 : 0;
    else if (size == 8)
        std::memcpy(p, &v.Value, 8);
    else
        std::memcpy(p, &v.Value, size);
}

// The DataValue fields after the value have fixed sizes: their wire size for an encoding mask, and
// their transfer in wire order.
inline size_t dataValueTailSize(OpcUa_Byte mask)
{
    static constexpr auto kSize = []
    {
        std::array<OpcUa_Byte, 32> size{};
        for (unsigned bits = 0; bits < size.size(); ++bits) // the mask bits 0x02 to 0x20
            size[bits] = static_cast<OpcUa_Byte>(((bits & 0x01) ? 4 : 0) + ((bits & 0x02) ? 8 : 0) +
                                                 ((bits & 0x04) ? 8 : 0) + ((bits & 0x08) ? 2 : 0) +
                                                 ((bits & 0x10) ? 2 : 0));
        return size;
    }();
    return kSize[(mask >> 1) & 0x1F];
}
template <typename Bytes, typename Value>
inline void transferDataValueTail(Bytes p, OpcUa_Byte mask, Value& v)
{
    // Copies in the direction the pointer types allow: wire -> value or value -> wire.
    auto move = [&](auto& field, size_t size)
    {
        if constexpr (std::is_const_v<std::remove_pointer_t<Bytes>>)
            std::memcpy(&field, p, size);
        else
            std::memcpy(p, &field, size);
        p += size;
    };
    if (mask & 0x02)
        move(v.StatusCode, 4);
    if (mask & 0x04)
        move(v.SourceTimestamp, 8);
    if (mask & 0x10)
        move(v.SourcePicoseconds, 2);
    if (mask & 0x08)
        move(v.ServerTimestamp, 8);
    if (mask & 0x20)
        move(v.ServerPicoseconds, 2);
}

// Whether field f of a structure is on the wire for the structure's EncodingMask or SwitchField
// value selector; sets *matched when it is the selected union member.
inline bool fieldPresent(const OpcUa_EncodeableType* type, const OpcUa_FieldDescription& f,
                         OpcUa_UInt32 selector, bool* matched)
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
