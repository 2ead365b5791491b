// Variants built from their raw stack form, for shapes the typed setters do not make.
#pragma once

#include "uavariant.h"

#include <cstring>

// A one-dimensional array of `length` zeroed elements of the built-in type.
inline OpcUa_Variant rawArray(OpcUa_Byte type, OpcUa_Int32 length)
{
    OpcUa_Variant raw;
    OpcUa_Variant_Initialize(&raw);
    raw.Datatype = type;
    raw.ArrayType = OpcUa_VariantArrayType_Array;
    raw.Value.Array.Length = length;
    OpcUa_UInt32 size = OpcUa_BuiltInType_GetSize(type);
    raw.Value.Array.Value.Array = OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(length) * size);
    std::memset(raw.Value.Array.Value.Array, 0, static_cast<std::size_t>(length) * size);
    return raw;
}

// A variant that takes over the raw value.
inline UaVariant attached(OpcUa_Variant& raw)
{
    UaVariant v;
    v.attach(raw);
    return v;
}

// A matrix of the type without dimensions or elements.
inline UaVariant emptyMatrix(OpcUa_Byte type)
{
    OpcUa_Variant raw;
    OpcUa_Variant_Initialize(&raw);
    raw.Datatype = type;
    raw.ArrayType = OpcUa_VariantArrayType_Matrix;
    return attached(raw);
}
