// Equality and order of variants, as the filter operators and data values use them.
#include "nodeidcompare.h"
#include "uaguid.h"
#include "uavariant.h"
#include "uavariantcopy.h"

#include <opcua_binarycodec.hpp>

#include <cstring>

namespace
{
bool sameBytes(const OpcUa_String& a, const OpcUa_String& b)
{
    OpcUa_UInt32 la = a.strContent != nullptr ? a.uLength : 0;
    OpcUa_UInt32 lb = b.strContent != nullptr ? b.uLength : 0;
    return la == lb && (la == 0 || std::memcmp(a.strContent, b.strContent, la) == 0);
}

bool sameByteString(const OpcUa_ByteString& a, const OpcUa_ByteString& b)
{
    if (a.Length != b.Length)
        return false;
    if (a.Data == nullptr || b.Data == nullptr)
        return a.Data == b.Data;
    return a.Length <= 0 || std::memcmp(a.Data, b.Data, static_cast<std::size_t>(a.Length)) == 0;
}

// Extension objects are equal when their binary encodings are: decoded bodies compare by value.
// The comparison is not bound by the message limits of the wire.
bool sameExtensionObject(const OpcUa_ExtensionObject& a, const OpcUa_ExtensionObject& b)
{
    if (&a == &b)
        return true;
    OpcUa::EncodingLimits limits = OpcUa::EncodingLimits::current();
    limits.maxAlloc = limits.maxStringLength = limits.maxByteStringLength = limits.maxArrayLength =
        limits.maxMessageSize = 0x7FFFFFFF;
    OpcUa::BinaryEncoder encodedA(limits);
    OpcUa::BinaryEncoder encodedB(limits);
    if ((encodedA.writeExtensionObject(a) & 0xC0000000u) != 0 ||
        (encodedB.writeExtensionObject(b) & 0xC0000000u) != 0)
        return false;
    return encodedA.size() == encodedB.size() &&
           (encodedA.size() == 0 || std::memcmp(encodedA.data(), encodedB.data(), encodedA.size()) == 0);
}

template <typename T, typename Equal> bool samePointee(const T* a, const T* b, Equal equal)
{
    if (a == nullptr || b == nullptr)
        return a == b;
    return equal(*a, *b);
}

bool sameVariant(const OpcUa_Variant& a, const OpcUa_Variant& b);

bool sameDataValue(const OpcUa_DataValue& a, const OpcUa_DataValue& b)
{
    return a.StatusCode == b.StatusCode && sameVariant(a.Value, b.Value);
}

bool sameExpandedNodeId(const OpcUa_ExpandedNodeId& a, const OpcUa_ExpandedNodeId& b)
{
    return a.ServerIndex == b.ServerIndex && sameBytes(a.NamespaceUri, b.NamespaceUri) &&
           NodeIdCompare::equal(a.NodeId, b.NodeId);
}

// One element of an array of `type` against another.
bool sameElement(OpcUa_Byte type, const void* a, const void* b)
{
    switch (type)
    {
    case OpcUaType_Boolean:
        return *static_cast<const OpcUa_Boolean*>(a) == *static_cast<const OpcUa_Boolean*>(b);
    case OpcUaType_SByte:
        return *static_cast<const OpcUa_SByte*>(a) == *static_cast<const OpcUa_SByte*>(b);
    case OpcUaType_Byte:
        return *static_cast<const OpcUa_Byte*>(a) == *static_cast<const OpcUa_Byte*>(b);
    case OpcUaType_Int16:
        return *static_cast<const OpcUa_Int16*>(a) == *static_cast<const OpcUa_Int16*>(b);
    case OpcUaType_UInt16:
        return *static_cast<const OpcUa_UInt16*>(a) == *static_cast<const OpcUa_UInt16*>(b);
    case OpcUaType_Int32:
        return *static_cast<const OpcUa_Int32*>(a) == *static_cast<const OpcUa_Int32*>(b);
    case OpcUaType_UInt32:
    case OpcUaType_StatusCode:
        return *static_cast<const OpcUa_UInt32*>(a) == *static_cast<const OpcUa_UInt32*>(b);
    case OpcUaType_Int64:
        return *static_cast<const OpcUa_Int64*>(a) == *static_cast<const OpcUa_Int64*>(b);
    case OpcUaType_UInt64:
        return *static_cast<const OpcUa_UInt64*>(a) == *static_cast<const OpcUa_UInt64*>(b);
    case OpcUaType_Float:
        return *static_cast<const OpcUa_Float*>(a) == *static_cast<const OpcUa_Float*>(b);
    case OpcUaType_Double:
        return *static_cast<const OpcUa_Double*>(a) == *static_cast<const OpcUa_Double*>(b);
    case OpcUaType_DateTime:
        return UaDateTime(*static_cast<const OpcUa_DateTime*>(a)) ==
               UaDateTime(*static_cast<const OpcUa_DateTime*>(b));
    case OpcUaType_String:
        return sameBytes(*static_cast<const OpcUa_String*>(a), *static_cast<const OpcUa_String*>(b));
    case OpcUaType_Guid:
        return UaGuid(*static_cast<const OpcUa_Guid*>(a)) == UaGuid(*static_cast<const OpcUa_Guid*>(b));
    case OpcUaType_ByteString:
    case OpcUaType_XmlElement:
        return sameByteString(*static_cast<const OpcUa_ByteString*>(a),
                              *static_cast<const OpcUa_ByteString*>(b));
    case OpcUaType_NodeId:
        return NodeIdCompare::equal(*static_cast<const OpcUa_NodeId*>(a),
                                    *static_cast<const OpcUa_NodeId*>(b));
    case OpcUaType_ExpandedNodeId:
        return sameExpandedNodeId(*static_cast<const OpcUa_ExpandedNodeId*>(a),
                                  *static_cast<const OpcUa_ExpandedNodeId*>(b));
    case OpcUaType_QualifiedName:
        return UaQualifiedName(*static_cast<const OpcUa_QualifiedName*>(a)) ==
               UaQualifiedName(*static_cast<const OpcUa_QualifiedName*>(b));
    case OpcUaType_LocalizedText:
        return UaLocalizedText(*static_cast<const OpcUa_LocalizedText*>(a)) ==
               UaLocalizedText(*static_cast<const OpcUa_LocalizedText*>(b));
    case OpcUaType_ExtensionObject:
        return sameExtensionObject(*static_cast<const OpcUa_ExtensionObject*>(a),
                                   *static_cast<const OpcUa_ExtensionObject*>(b));
    case OpcUaType_DataValue:
        return sameDataValue(*static_cast<const OpcUa_DataValue*>(a),
                             *static_cast<const OpcUa_DataValue*>(b));
    case OpcUaType_Variant:
        return sameVariant(*static_cast<const OpcUa_Variant*>(a), *static_cast<const OpcUa_Variant*>(b));
    default:
        return true;
    }
}

bool sameElements(OpcUa_Byte type, const void* a, const void* b, OpcUa_Int64 count)
{
    OpcUa_UInt32 size = VariantCopy::elementSize(type);
    if (size == 0 || count <= 0)
        return true;
    if (a == nullptr || b == nullptr)
        return a == b;
    const auto* pa = static_cast<const OpcUa_Byte*>(a);
    const auto* pb = static_cast<const OpcUa_Byte*>(b);
    for (OpcUa_Int64 i = 0; i < count; ++i)
    {
        if (!sameElement(type, pa + i * size, pb + i * size))
            return false;
    }
    return true;
}

bool sameScalar(const OpcUa_Variant& a, const OpcUa_Variant& b)
{
    const OpcUa_VariantUnion& x = a.Value;
    const OpcUa_VariantUnion& y = b.Value;
    switch (a.Datatype)
    {
    case OpcUaType_Null:
        return true;
    case OpcUaType_Guid:
        return samePointee(x.Guid, y.Guid,
                           [](auto& p, auto& q) { return sameElement(OpcUaType_Guid, &p, &q); });
    case OpcUaType_NodeId:
        return samePointee(x.NodeId, y.NodeId, NodeIdCompare::equal);
    case OpcUaType_ExpandedNodeId:
        return samePointee(x.ExpandedNodeId, y.ExpandedNodeId, sameExpandedNodeId);
    case OpcUaType_QualifiedName:
        return samePointee(x.QualifiedName, y.QualifiedName,
                           [](auto& p, auto& q) { return sameElement(OpcUaType_QualifiedName, &p, &q); });
    case OpcUaType_LocalizedText:
        return samePointee(x.LocalizedText, y.LocalizedText,
                           [](auto& p, auto& q) { return sameElement(OpcUaType_LocalizedText, &p, &q); });
    case OpcUaType_ExtensionObject:
        return samePointee(x.ExtensionObject, y.ExtensionObject, sameExtensionObject);
    case OpcUaType_DataValue:
        return samePointee(x.DataValue, y.DataValue, sameDataValue);
    case OpcUaType_Variant:
    case OpcUaType_DiagnosticInfo:
        return x.NodeId == y.NodeId;
    default:
        return sameElement(a.Datatype, &x, &y);
    }
}

bool isStructuredElement(OpcUa_Byte type)
{
    switch (type)
    {
    case OpcUaType_String:
    case OpcUaType_Guid:
    case OpcUaType_ByteString:
    case OpcUaType_XmlElement:
    case OpcUaType_NodeId:
    case OpcUaType_ExpandedNodeId:
    case OpcUaType_QualifiedName:
    case OpcUaType_LocalizedText:
    case OpcUaType_DataValue:
        return true;
    default:
        return false;
    }
}

bool sameMatrix(const OpcUa_Variant& a, const OpcUa_Variant& b)
{
    const OpcUa_VariantMatrixValue& x = a.Value.Matrix;
    const OpcUa_VariantMatrixValue& y = b.Value.Matrix;
    if (x.NoOfDimensions != y.NoOfDimensions)
        return false;
    if (x.NoOfDimensions > 0 && (x.Dimensions == nullptr || y.Dimensions == nullptr))
        return x.Dimensions == y.Dimensions;
    for (OpcUa_Int32 i = 0; i < x.NoOfDimensions; ++i)
    {
        if (x.Dimensions[i] != y.Dimensions[i])
            return false;
    }
    OpcUa_Int64 count = VariantCopy::matrixElementCount(x);
    if (count < 0)
        return false;
    OpcUa_UInt32 size = VariantCopy::elementSize(a.Datatype);
    if (count == 0 || size == 0 || x.Value.Array == nullptr || y.Value.Array == nullptr)
        return x.Value.Array == y.Value.Array || count == 0 || size == 0;
    if (std::memcmp(x.Value.Array, y.Value.Array, static_cast<std::size_t>(count) * size) == 0)
        return true;
    return isStructuredElement(a.Datatype) && sameElements(a.Datatype, x.Value.Array, y.Value.Array, count);
}

bool sameVariant(const OpcUa_Variant& a, const OpcUa_Variant& b)
{
    if (a.Datatype != b.Datatype || a.ArrayType != b.ArrayType)
        return false;
    switch (a.ArrayType)
    {
    case OpcUa_VariantArrayType_Scalar:
        return sameScalar(a, b);
    case OpcUa_VariantArrayType_Array:
        if (a.Value.Array.Length != b.Value.Array.Length)
            return false;
        return a.Datatype == OpcUaType_Null || sameElements(a.Datatype, a.Value.Array.Value.Array,
                                                            b.Value.Array.Value.Array, a.Value.Array.Length);
    case OpcUa_VariantArrayType_Matrix:
        return sameMatrix(a, b);
    default:
        return false;
    }
}

enum class Order
{
    Less,
    Equal,
    Greater,
    None
};

template <typename T> Order orderOf(T a, T b)
{
    if (a < b)
        return Order::Less;
    if (b < a)
        return Order::Greater;
    if (a == b)
        return Order::Equal;
    return Order::None; // NaN
}

Order compare(const OpcUa_Variant& a, const OpcUa_Variant& b)
{
    if (a.ArrayType != OpcUa_VariantArrayType_Scalar || b.ArrayType != OpcUa_VariantArrayType_Scalar ||
        a.Datatype != b.Datatype)
        return Order::None;
    const OpcUa_VariantUnion& x = a.Value;
    const OpcUa_VariantUnion& y = b.Value;
    switch (a.Datatype)
    {
    case OpcUaType_Boolean:
        return orderOf(x.Boolean, y.Boolean);
    case OpcUaType_Byte:
        return orderOf(x.Byte, y.Byte);
    case OpcUaType_SByte:
        return orderOf(x.SByte, y.SByte);
    case OpcUaType_Int16:
        return orderOf(x.Int16, y.Int16);
    case OpcUaType_Int32:
        return orderOf(x.Int32, y.Int32);
    case OpcUaType_Int64:
        return orderOf(x.Int64, y.Int64);
    case OpcUaType_UInt16:
        return orderOf(x.UInt16, y.UInt16);
    case OpcUaType_UInt32:
        return orderOf(x.UInt32, y.UInt32);
    case OpcUaType_UInt64:
        return orderOf(x.UInt64, y.UInt64);
    case OpcUaType_StatusCode:
        return orderOf(x.StatusCode, y.StatusCode);
    case OpcUaType_Float:
        return orderOf(x.Float, y.Float);
    case OpcUaType_Double:
        return orderOf(x.Double, y.Double);
    case OpcUaType_String:
    {
        UaString sa(&x.String);
        UaString sb(&y.String);
        if (sa < sb)
            return Order::Less;
        return sa == sb ? Order::Equal : Order::Greater;
    }
    case OpcUaType_DateTime:
    {
        UaDateTime da(x.DateTime);
        UaDateTime db(y.DateTime);
        if (da < db)
            return Order::Less;
        return da == db ? Order::Equal : Order::Greater;
    }
    default:
        return Order::None;
    }
}
} // namespace

bool UaVariant::operator==(const UaVariant& other) const
{
    return sameVariant(m_value, other.m_value);
}

bool UaVariant::isSame(const OpcUa_Variant& a, const OpcUa_Variant& b)
{
    return sameVariant(a, b);
}

bool UaVariant::operator<(const UaVariant& other) const
{
    return compare(m_value, other.m_value) == Order::Less;
}

bool UaVariant::operator>(const UaVariant& other) const
{
    return compare(m_value, other.m_value) == Order::Greater;
}

bool UaVariant::operator<=(const UaVariant& other) const
{
    Order order = compare(m_value, other.m_value);
    return order == Order::Less || order == Order::Equal;
}

bool UaVariant::operator>=(const UaVariant& other) const
{
    Order order = compare(m_value, other.m_value);
    return order == Order::Greater || order == Order::Equal;
}
