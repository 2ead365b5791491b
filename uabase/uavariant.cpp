#include "uavariant.h"

#include "nodeidcompare.h"
#include "stackcopy.h"
#include "uavariantcopy.h"

#include <cstring>

UaVariant::UaVariant()
{
    OpcUa_Variant_Initialize(&m_value);
}

UaVariant::~UaVariant()
{
    OpcUa_Variant_Clear(&m_value);
}

UaVariant::UaVariant(const UaVariant& other) : UaVariant()
{
    VariantCopy::copy(other.m_value, m_value);
}

UaVariant& UaVariant::operator=(const UaVariant& other)
{
    return *this = other.m_value;
}

UaVariant::UaVariant(const OpcUa_Variant& other) : UaVariant()
{
    VariantCopy::copy(other, m_value);
}

UaVariant& UaVariant::operator=(const OpcUa_Variant& other)
{
    if (&other == &m_value)
        return *this;
    OpcUa_Variant fresh;
    VariantCopy::copy(other, fresh);
    OpcUa_Variant_Clear(&m_value);
    m_value = fresh;
    return *this;
}

UaVariant::UaVariant(const UaString& value) : UaVariant()
{
    setString(value);
}
UaVariant::UaVariant(OpcUa_Double value) : UaVariant()
{
    setDouble(value);
}
UaVariant::UaVariant(OpcUa_Float value) : UaVariant()
{
    setFloat(value);
}
UaVariant::UaVariant(OpcUa_Int32 value) : UaVariant()
{
    setInt32(value);
}
UaVariant::UaVariant(OpcUa_Int16 value) : UaVariant()
{
    setInt16(value);
}
UaVariant::UaVariant(OpcUa_UInt32 value) : UaVariant()
{
    setUInt32(value);
}
UaVariant::UaVariant(OpcUa_UInt16 value) : UaVariant()
{
    setUInt16(value);
}
UaVariant::UaVariant(bool value) : UaVariant()
{
    setBool(value ? OpcUa_True : OpcUa_False);
}

void UaVariant::attach(OpcUa_Variant& other)
{
    if (&other == &m_value)
        return;
    OpcUa_Variant_Clear(&m_value);
    m_value = other;
}

void UaVariant::copyTo(OpcUa_Variant* target) const
{
    if (target != nullptr)
        VariantCopy::copy(m_value, *target);
}

void UaVariant::clear()
{
    OpcUa_Variant_Clear(&m_value);
}

// ---- setters ----

#define UABASE_VARIANT_SETTER(Name, Type)                                                                    \
    void UaVariant::set##Name(OpcUa_##Type value)                                                            \
    {                                                                                                        \
        OpcUa_Variant_Clear(&m_value);                                                                       \
        m_value.Datatype = OpcUaType_##Type;                                                                 \
        m_value.Value.Type = value;                                                                          \
    }
UABASE_VARIANT_SETTER(Bool, Boolean)
UABASE_VARIANT_SETTER(SByte, SByte)
UABASE_VARIANT_SETTER(Byte, Byte)
UABASE_VARIANT_SETTER(Int16, Int16)
UABASE_VARIANT_SETTER(UInt16, UInt16)
UABASE_VARIANT_SETTER(Int32, Int32)
UABASE_VARIANT_SETTER(UInt32, UInt32)
UABASE_VARIANT_SETTER(Int64, Int64)
UABASE_VARIANT_SETTER(UInt64, UInt64)
UABASE_VARIANT_SETTER(Float, Float)
UABASE_VARIANT_SETTER(Double, Double)
#undef UABASE_VARIANT_SETTER

void UaVariant::setString(const UaString& value)
{
    OpcUa_Variant_Clear(&m_value);
    m_value.Datatype = OpcUaType_String;
    value.copyTo(&m_value.Value.String);
}

void UaVariant::setDateTime(const UaDateTime& value)
{
    OpcUa_Variant_Clear(&m_value);
    m_value.Datatype = OpcUaType_DateTime;
    m_value.Value.DateTime = value;
}

namespace
{
void takeByteString(OpcUa_Variant& target, OpcUa_Byte type, UaByteString& value, bool detach)
{
    OpcUa_Variant_Clear(&target);
    target.Datatype = type;
    if (detach)
        value.detach(&target.Value.ByteString);
    else
        value.copyTo(&target.Value.ByteString);
}
} // namespace

void UaVariant::setByteString(UaByteString& value, bool detach)
{
    takeByteString(m_value, OpcUaType_ByteString, value, detach);
}

void UaVariant::setXmlElement(UaByteString& value, bool detach)
{
    takeByteString(m_value, OpcUaType_XmlElement, value, detach);
}

void UaVariant::setNodeId(const UaNodeId& value)
{
    OpcUa_Variant_Clear(&m_value);
    m_value.Datatype = OpcUaType_NodeId;
    m_value.Value.NodeId = value.clone();
}

void UaVariant::setQualifiedName(const UaQualifiedName& value)
{
    OpcUa_Variant_Clear(&m_value);
    m_value.Datatype = OpcUaType_QualifiedName;
    m_value.Value.QualifiedName = value.clone();
}

void UaVariant::setLocalizedText(const UaLocalizedText& value)
{
    OpcUa_Variant_Clear(&m_value);
    m_value.Datatype = OpcUaType_LocalizedText;
    m_value.Value.LocalizedText = value.clone();
}

void UaVariant::setExtensionObject(UaExtensionObject& value, bool detach)
{
    OpcUa_Variant_Clear(&m_value);
    m_value.Datatype = OpcUaType_ExtensionObject;
    if (!detach)
    {
        m_value.Value.ExtensionObject = value.clone();
        return;
    }
    auto* moved = static_cast<OpcUa_ExtensionObject*>(OpcUa_Memory_Alloc(sizeof(OpcUa_ExtensionObject)));
    if (moved == nullptr)
        return;
    value.detach(moved);
    m_value.Value.ExtensionObject = moved;
}

namespace
{
// An array of `count` elements of `type` copied from `source`; the null variant when it cannot be
// built.
void setArrayCopy(OpcUa_Variant& target, OpcUa_Byte type, const void* source, OpcUa_UInt32 count)
{
    OpcUa_Variant_Clear(&target);
    if (count > 0x7FFFFFFFu)
        return;
    void* block = nullptr;
    if (count > 0 &&
        (VariantCopy::copyElements(type, source, static_cast<OpcUa_Int32>(count), &block) & 0xC0000000u) != 0)
        return;
    target.Datatype = type;
    target.ArrayType = OpcUa_VariantArrayType_Array;
    target.Value.Array.Length = static_cast<OpcUa_Int32>(count);
    target.Value.Array.Value.Array = block;
}

template <typename Array> void setArrayTaken(OpcUa_Variant& target, OpcUa_Byte type, Array& source)
{
    OpcUa_Variant_Clear(&target);
    if (source.length() > 0x7FFFFFFFu)
        return;
    target.Datatype = type;
    target.ArrayType = OpcUa_VariantArrayType_Array;
    target.Value.Array.Length = static_cast<OpcUa_Int32>(source.length());
    target.Value.Array.Value.Array = source.data();
    source.detach();
}
} // namespace

void UaVariant::setByteArray(const UaByteArray& value)
{
    setArrayCopy(m_value, OpcUaType_Byte, value.data(),
                 value.size() > 0 ? static_cast<OpcUa_UInt32>(value.size()) : 0);
}

void UaVariant::setUInt32Array(UaUInt32Array& value, bool detach)
{
    if (detach)
        setArrayTaken(m_value, OpcUaType_UInt32, value);
    else
        setArrayCopy(m_value, OpcUaType_UInt32, value.data(), value.length());
}

void UaVariant::setStringArray(const UaStringArray& value)
{
    setArrayCopy(m_value, OpcUaType_String, value.data(), value.length());
}

void UaVariant::setStringArray(UaStringArray& value, bool detach)
{
    if (detach)
        setArrayTaken(m_value, OpcUaType_String, value);
    else
        setArrayCopy(m_value, OpcUaType_String, value.data(), value.length());
}

void UaVariant::setLocalizedTextArray(const UaLocalizedTextArray& value)
{
    setArrayCopy(m_value, OpcUaType_LocalizedText, value.data(), value.length());
}

// ---- queries ----

UaNodeId UaVariant::dataType() const
{
    if (m_value.Datatype != OpcUaType_ExtensionObject)
        return UaNodeId(m_value.Datatype, 0);
    const OpcUa_ExtensionObject* object = nullptr;
    if (m_value.ArrayType == OpcUa_VariantArrayType_Scalar)
        object = m_value.Value.ExtensionObject;
    else if (m_value.ArrayType == OpcUa_VariantArrayType_Array && m_value.Value.Array.Length > 0)
        object = m_value.Value.Array.Value.ExtensionObjectArray;
    else if (m_value.ArrayType == OpcUa_VariantArrayType_Matrix && m_value.Value.Matrix.NoOfDimensions > 0)
        object = m_value.Value.Matrix.Value.ExtensionObjectArray;
    if (object == nullptr || object->Encoding != OpcUa_ExtensionObjectEncoding_EncodeableObject ||
        object->Body.EncodeableObject.Type == nullptr)
        return UaNodeId(0u, 0);
    return UaNodeId(object->Body.EncodeableObject.Type->TypeId, 0);
}

OpcUa_Int32 UaVariant::valueRank() const
{
    switch (m_value.ArrayType)
    {
    case OpcUa_VariantArrayType_Scalar:
        return -1;
    case OpcUa_VariantArrayType_Array:
        return 1;
    case OpcUa_VariantArrayType_Matrix:
        return m_value.Value.Matrix.NoOfDimensions;
    default:
        return -2;
    }
}

// ---- structured reads ----

namespace
{
bool isScalarOf(const OpcUa_Variant& v, OpcUa_Byte type)
{
    return v.ArrayType == OpcUa_VariantArrayType_Scalar && v.Datatype == type;
}
} // namespace

OpcUa_StatusCode UaVariant::toNodeId(UaNodeId& out) const
{
    if (!isScalarOf(m_value, OpcUaType_NodeId) || m_value.Value.NodeId == nullptr)
        return OpcUa_BadOutOfRange;
    out = UaNodeId(*m_value.Value.NodeId);
    return OpcUa_Good;
}

OpcUa_StatusCode UaVariant::toExpandedNodeId(UaExpandedNodeId& out) const
{
    if (isScalarOf(m_value, OpcUaType_ExpandedNodeId) && m_value.Value.ExpandedNodeId != nullptr)
    {
        out = UaExpandedNodeId(*m_value.Value.ExpandedNodeId);
        return OpcUa_Good;
    }
    if (isScalarOf(m_value, OpcUaType_NodeId) && m_value.Value.NodeId != nullptr)
    {
        out = UaExpandedNodeId(UaNodeId(*m_value.Value.NodeId), UaString(), 0);
        return OpcUa_Good;
    }
    return OpcUa_BadOutOfRange;
}

OpcUa_StatusCode UaVariant::toLocalizedText(UaLocalizedText& out) const
{
    if (isScalarOf(m_value, OpcUaType_LocalizedText) && m_value.Value.LocalizedText != nullptr)
    {
        out = UaLocalizedText(*m_value.Value.LocalizedText);
        return OpcUa_Good;
    }
    if (isScalarOf(m_value, OpcUaType_String))
    {
        out = UaLocalizedText(UaString(), UaString(&m_value.Value.String));
        return OpcUa_Good;
    }
    return OpcUa_BadOutOfRange;
}

OpcUa_StatusCode UaVariant::toQualifiedName(UaQualifiedName& out) const
{
    if (!isScalarOf(m_value, OpcUaType_QualifiedName) || m_value.Value.QualifiedName == nullptr)
        return OpcUa_BadOutOfRange;
    out = UaQualifiedName(*m_value.Value.QualifiedName);
    return OpcUa_Good;
}

OpcUa_StatusCode UaVariant::toDateTime(UaDateTime& out) const
{
    if (m_value.ArrayType != OpcUa_VariantArrayType_Scalar)
        return OpcUa_BadOutOfRange;
    if (m_value.Datatype == OpcUaType_DateTime)
    {
        out = UaDateTime(m_value.Value.DateTime);
        return OpcUa_Good;
    }
    if (m_value.Datatype == OpcUaType_String)
        return UaDateTime::fromString(UaString(&m_value.Value.String), out);
    return OpcUa_BadOutOfRange;
}
