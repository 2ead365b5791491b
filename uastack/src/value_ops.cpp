// Generic initialise, clear, copy and compare by field kind, and of arrays of such values.
#include "structure_codec.h"

#include <cstddef>
#include <cstring>

static_assert(offsetof(OpcUa_DataValue, Value) == 0, "a DataValue's clear reaches its Variant at its start");

namespace
{
using InitFn = void (*)(void*);
using ClearFn = void (*)(void*);
using CopyFn = OpcUa_StatusCode (*)(const void*, void*);
using CompareFn = int (*)(const void*, const void*);

struct BuiltInOps
{
    size_t size;
    InitFn init;
    ClearFn clear;
    CopyFn copy;
    CompareFn compare;
};

// Typed operations behind untyped entry points (a call through a mismatched pointer type is not allowed).
template <typename T, void (*F)(T*)> void untyped(void* p)
{
    F(static_cast<T*>(p));
}
template <typename T, OpcUa_StatusCode (*F)(const T*, T*)>
OpcUa_StatusCode untypedCopy(const void* s, void* t)
{
    return F(static_cast<const T*>(s), static_cast<T*>(t));
}
template <typename T, OpcUa_Int (*F)(const T*, const T*)> int untypedCompare(const void* a, const void* b)
{
    return F(static_cast<const T*>(a), static_cast<const T*>(b));
}

#define OPS(T)                                                                                               \
    {                                                                                                        \
        sizeof(OpcUa_##T), untyped<OpcUa_##T, OpcUa_##T##_Initialize>,                                       \
            untyped<OpcUa_##T, OpcUa_##T##_Clear>, untypedCopy<OpcUa_##T, OpcUa_##T##_CopyTo>,               \
            untypedCompare<OpcUa_##T, OpcUa_##T##_Compare>                                                   \
    }

const BuiltInOps g_ops[26] = {{0, nullptr, nullptr, nullptr, nullptr},
                              OPS(Boolean),
                              OPS(SByte),
                              OPS(Byte),
                              OPS(Int16),
                              OPS(UInt16),
                              OPS(Int32),
                              OPS(UInt32),
                              OPS(Int64),
                              OPS(UInt64),
                              OPS(Float),
                              OPS(Double),
                              OPS(String),
                              OPS(DateTime),
                              OPS(Guid),
                              OPS(ByteString),
                              OPS(XmlElement),
                              OPS(NodeId),
                              OPS(ExpandedNodeId),
                              OPS(StatusCode),
                              OPS(QualifiedName),
                              OPS(LocalizedText),
                              OPS(ExtensionObject),
                              OPS(DataValue),
                              OPS(Variant),
                              OPS(DiagnosticInfo)};
} // namespace

namespace OpcUa
{
size_t valueSize(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type)
{
    if (kind >= 1 && kind <= 25)
        return g_ops[kind].size;
    if (kind == OpcUa_FieldKind_Enumeration)
        return sizeof(OpcUa_Int32);
    if (kind == OpcUa_FieldKind_Structure && type != nullptr)
        return type->AllocationSize;
    return 0;
}

void initValue(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, void* value)
{
    if (kind >= 1 && kind <= 25)
        g_ops[kind].init(value);
    else if (kind == OpcUa_FieldKind_Structure)
        type->Initialize(value);
    else if (kind == OpcUa_FieldKind_Enumeration)
        std::memset(value, 0, sizeof(OpcUa_Int32));
}

void clearValue(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, void* value)
{
    if (kind >= 1 && kind <= 25)
        g_ops[kind].clear(value);
    else if (kind == OpcUa_FieldKind_Structure)
        type->Clear(value);
    else if (kind == OpcUa_FieldKind_Enumeration)
        std::memset(value, 0, sizeof(OpcUa_Int32));
}

OpcUa_StatusCode copyValue(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, const void* source,
                           void* target)
{
    if (kind >= 1 && kind <= 25)
        return g_ops[kind].copy(source, target);
    if (kind == OpcUa_FieldKind_Structure)
        return OpcUa_EncodeableObject_CopyTo(const_cast<OpcUa_EncodeableType*>(type), source, target);
    if (kind == OpcUa_FieldKind_Enumeration)
    {
        std::memcpy(target, source, sizeof(OpcUa_Int32));
        return OpcUa_Good;
    }
    return OpcUa_BadInvalidArgument;
}

int compareValue(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, const void* a, const void* b)
{
    if (kind >= 1 && kind <= 25)
        return g_ops[kind].compare(a, b);
    if (kind == OpcUa_FieldKind_Structure)
        return OpcUa_EncodeableObject_Compare(const_cast<OpcUa_EncodeableType*>(type), a, b);
    if (kind == OpcUa_FieldKind_Enumeration)
        return OpcUa_Int32_Compare(static_cast<const OpcUa_Int32*>(a), static_cast<const OpcUa_Int32*>(b));
    return 0;
}

void clearArray(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, void* elements, OpcUa_Int32 count)
{
    if (elements == nullptr)
        return;
    // The block is freed right after: the frequent kinds only free what their elements own.
    if (kind == OpcUaType_String)
    {
        for (OpcUa_Int32 i = 0; i < count; ++i)
            OpcUa_Memory_Free(static_cast<OpcUa_String*>(elements)[i].strContent);
    }
    else if (kind == OpcUaType_DataValue || kind == OpcUaType_Variant)
    {
        size_t size = kind == OpcUaType_DataValue ? sizeof(OpcUa_DataValue) : sizeof(OpcUa_Variant);
        for (OpcUa_Int32 i = 0; i < count; ++i)
        {
            // DataValue starts with its Variant.
            auto* v = reinterpret_cast<OpcUa_Variant*>(static_cast<OpcUa_Byte*>(elements) +
                                                       static_cast<size_t>(i) * size);
            if (!variantOwnsNothing(*v))
                OpcUa_Variant_Clear(v);
        }
    }
    else if (!isPlainKind(kind))
    {
        size_t size = valueSize(kind, type);
        auto* p = static_cast<OpcUa_Byte*>(elements);
        // The block is freed right after, so generic structures only release what they own.
        bool generic = kind == OpcUa_FieldKind_Structure && type->Fields != nullptr;
        for (OpcUa_Int32 i = 0; i < count; ++i)
        {
            if (generic)
                releaseStructure(type, p + static_cast<size_t>(i) * size);
            else
                clearValue(kind, type, p + static_cast<size_t>(i) * size);
        }
    }
    OpcUa_Memory_Free(elements);
}

OpcUa_StatusCode copyArray(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, const void* source,
                           OpcUa_Int32 count, void** target)
{
    *target = nullptr;
    if (source == nullptr || count <= 0)
        return OpcUa_Good;
    size_t size = valueSize(kind, type);
    if (size == 0)
        return OpcUa_BadInvalidArgument;
    if (static_cast<uint64_t>(count) * size > 0xFFFFFFFFu)
        return OpcUa_BadOutOfMemory;
    auto* block = static_cast<OpcUa_Byte*>(OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(count * size)));
    if (block == nullptr)
        return OpcUa_BadOutOfMemory;
    if (isPlainKind(kind))
    {
        std::memcpy(block, source, count * size);
        *target = block;
        return OpcUa_Good;
    }
    const auto* from = static_cast<const OpcUa_Byte*>(source);
    for (OpcUa_Int32 i = 0; i < count; ++i)
    {
        OpcUa_StatusCode status = copyValue(kind, type, from + i * size, block + i * size);
        if (OpcUa_IsBad(status))
        {
            // Earlier elements are complete copies; the failed one was left owning nothing.
            for (OpcUa_Int32 j = 0; j < i; ++j)
                clearValue(kind, type, block + j * size);
            OpcUa_Memory_Free(block);
            return status;
        }
    }
    *target = block;
    return OpcUa_Good;
}

int compareArray(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, const void* a, OpcUa_Int32 countA,
                 const void* b, OpcUa_Int32 countB)
{
    if (a == nullptr || countA < 0)
        countA = 0;
    if (b == nullptr || countB < 0)
        countB = 0;
    if (countA != countB)
        return countA < countB ? -1 : 1;
    size_t size = valueSize(kind, type);
    const auto* pa = static_cast<const OpcUa_Byte*>(a);
    const auto* pb = static_cast<const OpcUa_Byte*>(b);
    for (OpcUa_Int32 i = 0; i < countA; ++i)
    {
        int c = compareValue(kind, type, pa + i * size, pb + i * size);
        if (c != 0)
            return c;
    }
    return 0;
}
} // namespace OpcUa

extern "C" OPCUA_EXPORT OpcUa_UInt32 OpcUa_BuiltInType_GetSize(OpcUa_Byte type)
{
    return type <= 25 ? static_cast<OpcUa_UInt32>(g_ops[type].size) : 0;
}
