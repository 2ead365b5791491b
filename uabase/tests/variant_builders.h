// Variants the tests build again and again, some from their raw stack form for shapes
// the typed setters do not make.
#pragma once

#include "uavariant.h"

#include <cstring>
#include <string>
#include <vector>

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

// A one-dimensional array of the values, stored as the built-in type.
template <typename T> UaVariant arrayOf(OpcUa_Byte type, const std::vector<T>& values)
{
    OpcUa_Variant raw;
    OpcUa_Variant_Initialize(&raw);
    raw.Datatype = type;
    raw.ArrayType = OpcUa_VariantArrayType_Array;
    raw.Value.Array.Length = static_cast<OpcUa_Int32>(values.size());
    if (!values.empty())
    {
        raw.Value.Array.Value.Array =
            OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(values.size() * sizeof(T)));
        std::memcpy(raw.Value.Array.Value.Array, values.data(), values.size() * sizeof(T));
    }
    return attached(raw);
}

inline UaVariant int32Array(const std::vector<OpcUa_Int32>& values)
{
    return arrayOf<OpcUa_Int32>(OpcUaType_Int32, values);
}

inline UaVariant byteString(const std::string& bytes)
{
    UaByteString b(static_cast<OpcUa_Int32>(bytes.size()), reinterpret_cast<const OpcUa_Byte*>(bytes.data()));
    UaVariant v;
    v.setByteString(b, true);
    return v;
}

inline UaVariant stringArray(const std::vector<std::string>& values)
{
    UaStringArray a;
    a.create(static_cast<OpcUa_UInt32>(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i)
        UaString::fromBytes(values[i].data(), static_cast<int>(values[i].size()))
            .copyTo(&a[static_cast<OpcUa_UInt32>(i)]);
    UaVariant v;
    v.setStringArray(a, true);
    return v;
}
