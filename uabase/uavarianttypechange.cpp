// Changing a variant's built-in type in place, and typed arrays out of variants.
#include "uavariant.h"
#include "uavariantcopy.h"

#include <cstring>
#include <string>

namespace
{
bool failed(OpcUa_StatusCode status)
{
    return (status & 0xC0000000u) != 0;
}

bool isScalarTarget(OpcUa_Byte type)
{
    return type >= OpcUaType_Boolean && type <= OpcUaType_DateTime;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// A scalar variant that borrows one array element; it never owns what it points to.
class ElementView
{
public:
    ElementView(OpcUa_Byte type, const void* element)
    {
        OpcUa_Variant_Initialize(&m_view);
        m_view.Datatype = type;
        switch (type)
        {
        case OpcUaType_Guid:
        case OpcUaType_NodeId:
        case OpcUaType_ExpandedNodeId:
        case OpcUaType_QualifiedName:
        case OpcUaType_LocalizedText:
        case OpcUaType_ExtensionObject:
        case OpcUaType_DataValue:
            // These scalars are held by pointer.
            m_view.Value.NodeId = static_cast<OpcUa_NodeId*>(const_cast<void*>(element));
            break;
        case OpcUaType_Variant:
        case OpcUaType_DiagnosticInfo:
            m_view.Datatype = OpcUaType_Null;
            break;
        default:
            std::memcpy(&m_view.Value, element, VariantCopy::elementSize(type));
            break;
        }
    }
    const OpcUa_Variant& variant() const { return m_view; }

private:
    OpcUa_Variant m_view;
};
} // namespace

// One scalar of this variant converted to a scalar of `target` (1 to 13 or 15) in `out`.
OpcUa_StatusCode UaVariant::scalarTo(OpcUa_BuiltInType target, OpcUa_Variant& out) const
{
    UaVariant result;
    OpcUa_StatusCode status = OpcUa_BadTypeMismatch;
    switch (target)
    {
#define UABASE_CONVERT(TypeName, Method, Setter)                                                             \
    case OpcUaType_##TypeName:                                                                               \
    {                                                                                                        \
        OpcUa_##TypeName value{};                                                                            \
        status = Method(value);                                                                              \
        if (!failed(status))                                                                                 \
            result.Setter(value);                                                                            \
        break;                                                                                               \
    }
        UABASE_CONVERT(Boolean, toBool, setBool)
        UABASE_CONVERT(SByte, toSByte, setSByte)
        UABASE_CONVERT(Byte, toByte, setByte)
        UABASE_CONVERT(Int16, toInt16, setInt16)
        UABASE_CONVERT(UInt16, toUInt16, setUInt16)
        UABASE_CONVERT(Int32, toInt32, setInt32)
        UABASE_CONVERT(UInt32, toUInt32, setUInt32)
        UABASE_CONVERT(Int64, toInt64, setInt64)
        UABASE_CONVERT(UInt64, toUInt64, setUInt64)
        UABASE_CONVERT(Float, toFloat, setFloat)
        UABASE_CONVERT(Double, toDouble, setDouble)
#undef UABASE_CONVERT
    case OpcUaType_String:
        result.setString(toString());
        status = OpcUa_Good;
        break;
    case OpcUaType_DateTime:
    {
        UaDateTime value;
        status = toDateTime(value);
        if (!failed(status))
            result.setDateTime(value);
        break;
    }
    case OpcUaType_ByteString:
    {
        UaByteString value;
        status = toByteString(value);
        if (!failed(status))
            result.setByteString(value, true);
        break;
    }
    default:
        break;
    }
    if (failed(status))
        return status;
    out = result.m_value;
    OpcUa_Variant_Initialize(&result.m_value);
    return OpcUa_Good;
}

// This array converted element by element to an array of `target` (1 to 13) in `out`.
OpcUa_StatusCode UaVariant::arrayTo(OpcUa_BuiltInType target, OpcUa_Variant& out) const
{
    if (!isScalarTarget(target))
        return OpcUa_BadTypeMismatch;
    const OpcUa_Byte source = m_value.Datatype;
    const OpcUa_UInt32 sourceSize = VariantCopy::elementSize(source);
    const OpcUa_UInt32 targetSize = VariantCopy::elementSize(target);
    const OpcUa_Int32 length = m_value.Value.Array.Length;
    OpcUa_Variant result;
    OpcUa_Variant_Initialize(&result);
    result.Datatype = target;
    result.ArrayType = OpcUa_VariantArrayType_Array;
    if (length <= 0 || m_value.Value.Array.Value.Array == nullptr)
    {
        result.Value.Array.Length = length < 0 ? length : 0;
        out = result;
        return OpcUa_Good;
    }
    auto* block =
        static_cast<OpcUa_Byte*>(OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(length) * targetSize));
    if (block == nullptr)
        return OpcUa_BadOutOfMemory;
    std::memset(block, 0, static_cast<std::size_t>(length) * targetSize);
    result.Value.Array.Value.Array = block;
    result.Value.Array.Length = length;
    const auto* elements = static_cast<const OpcUa_Byte*>(m_value.Value.Array.Value.Array);
    for (OpcUa_Int32 i = 0; i < length; ++i)
    {
        ElementView view(source, elements + static_cast<std::size_t>(i) * sourceSize);
        UaVariant element;
        element.m_value = view.variant();
        OpcUa_Variant converted;
        OpcUa_StatusCode status = element.scalarTo(target, converted);
        // The view owns nothing: it must not be cleared.
        OpcUa_Variant_Initialize(&element.m_value);
        if (failed(status))
        {
            OpcUa_Variant_Clear(&result);
            // A String array reports the element's own status; other arrays a type mismatch.
            return source == OpcUaType_String ? status : OpcUa_BadTypeMismatch;
        }
        std::memcpy(block + static_cast<std::size_t>(i) * targetSize, &converted.Value, targetSize);
    }
    out = result;
    return OpcUa_Good;
}

OpcUa_StatusCode UaVariant::changeType(OpcUa_BuiltInType target, bool toArray)
{
    if (m_value.ArrayType == OpcUa_VariantArrayType_Matrix || m_value.Datatype == OpcUaType_Null)
        return OpcUa_BadTypeMismatch;
    const bool isArrayNow = m_value.ArrayType == OpcUa_VariantArrayType_Array;
    OpcUa_Variant result;
    OpcUa_Variant_Initialize(&result);
    OpcUa_StatusCode status = OpcUa_BadTypeMismatch;

    if (target == m_value.Datatype)
    {
        if (isArrayNow == toArray)
            return OpcUa_Good;
        if (isArrayNow)
            return OpcUa_BadTypeMismatch;
        if (target != OpcUaType_String)
            return OpcUa_BadOutOfRange;
        UaStringArray pieces;
        status = stringArrayFromText(UaString(&m_value.Value.String), pieces);
        if (failed(status))
            return status;
        UaVariant split;
        split.setStringArray(pieces, true);
        attach(split.m_value);
        OpcUa_Variant_Initialize(&split.m_value);
        return OpcUa_Good;
    }

    if (!isArrayNow && !toArray)
        status = (isScalarTarget(target) || target == OpcUaType_ByteString) ? scalarTo(target, result)
                                                                            : OpcUa_BadTypeMismatch;
    else if (isArrayNow && !toArray)
        status = (m_value.Datatype == OpcUaType_Byte && target == OpcUaType_ByteString)
                     ? scalarTo(target, result)
                     : OpcUa_BadTypeMismatch;
    else if (isArrayNow && toArray)
        status = arrayTo(target, result);
    else if (m_value.Datatype == OpcUaType_ByteString && target == OpcUaType_Byte)
    {
        const OpcUa_ByteString& bytes = m_value.Value.ByteString;
        OpcUa_Int32 length = bytes.Data != nullptr && bytes.Length > 0 ? bytes.Length : 0;
        result.Datatype = OpcUaType_Byte;
        result.ArrayType = OpcUa_VariantArrayType_Array;
        result.Value.Array.Length = length;
        status = length > 0 ? VariantCopy::copyElements(OpcUaType_Byte, bytes.Data, length,
                                                        &result.Value.Array.Value.Array)
                            : OpcUa_Good;
    }
    else if (m_value.Datatype == OpcUaType_String && isScalarTarget(target))
    {
        UaStringArray pieces;
        status = stringArrayFromText(UaString(&m_value.Value.String), pieces);
        if (!failed(status))
        {
            UaVariant split;
            split.setStringArray(pieces, true);
            status = split.arrayTo(target, result);
        }
    }
    if (failed(status))
        return status;
    attach(result);
    return OpcUa_Good;
}

template <typename Array, typename Element>
OpcUa_StatusCode UaVariant::toTypedArray(OpcUa_BuiltInType type, Array& out) const
{
    const OpcUa_Variant* source = &m_value;
    UaVariant converted;
    if (m_value.ArrayType == OpcUa_VariantArrayType_Scalar && m_value.Datatype == OpcUaType_String)
    {
        converted = *this;
        OpcUa_StatusCode status = converted.changeType(OpcUaType_String, true);
        if (!failed(status))
            status = converted.changeType(type, true);
        if (failed(status))
            return status;
        source = &converted.m_value;
    }
    else if (m_value.ArrayType != OpcUa_VariantArrayType_Array || m_value.Datatype != type)
        return OpcUa_BadOutOfRange;
    const OpcUa_Int32 length = source->Value.Array.Length;
    void* block = nullptr;
    if (length > 0 && source->Value.Array.Value.Array != nullptr)
    {
        OpcUa_StatusCode status =
            VariantCopy::copyElements(type, source->Value.Array.Value.Array, length, &block);
        if (failed(status))
            return status;
    }
    out.attach(block != nullptr ? static_cast<OpcUa_UInt32>(length) : 0, static_cast<Element*>(block));
    return OpcUa_Good;
}

OpcUa_StatusCode UaVariant::toBoolArray(UaBooleanArray& out) const
{
    return toTypedArray<UaBooleanArray, OpcUa_Boolean>(OpcUaType_Boolean, out);
}
OpcUa_StatusCode UaVariant::toSByteArray(UaSByteArray& out) const
{
    return toTypedArray<UaSByteArray, OpcUa_SByte>(OpcUaType_SByte, out);
}
OpcUa_StatusCode UaVariant::toByteArray(UaByteStackArray& out) const
{
    return toTypedArray<UaByteStackArray, OpcUa_Byte>(OpcUaType_Byte, out);
}
OpcUa_StatusCode UaVariant::toInt16Array(UaInt16Array& out) const
{
    return toTypedArray<UaInt16Array, OpcUa_Int16>(OpcUaType_Int16, out);
}
OpcUa_StatusCode UaVariant::toUInt16Array(UaUInt16Array& out) const
{
    return toTypedArray<UaUInt16Array, OpcUa_UInt16>(OpcUaType_UInt16, out);
}
OpcUa_StatusCode UaVariant::toInt32Array(UaInt32Array& out) const
{
    return toTypedArray<UaInt32Array, OpcUa_Int32>(OpcUaType_Int32, out);
}
OpcUa_StatusCode UaVariant::toUInt32Array(UaUInt32Array& out) const
{
    return toTypedArray<UaUInt32Array, OpcUa_UInt32>(OpcUaType_UInt32, out);
}
OpcUa_StatusCode UaVariant::toInt64Array(UaInt64Array& out) const
{
    return toTypedArray<UaInt64Array, OpcUa_Int64>(OpcUaType_Int64, out);
}
OpcUa_StatusCode UaVariant::toUInt64Array(UaUInt64Array& out) const
{
    return toTypedArray<UaUInt64Array, OpcUa_UInt64>(OpcUaType_UInt64, out);
}
OpcUa_StatusCode UaVariant::toFloatArray(UaFloatArray& out) const
{
    return toTypedArray<UaFloatArray, OpcUa_Float>(OpcUaType_Float, out);
}
OpcUa_StatusCode UaVariant::toDoubleArray(UaDoubleArray& out) const
{
    return toTypedArray<UaDoubleArray, OpcUa_Double>(OpcUaType_Double, out);
}
OpcUa_StatusCode UaVariant::toStringArray(UaStringArray& out) const
{
    return toTypedArray<UaStringArray, OpcUa_String>(OpcUaType_String, out);
}
OpcUa_StatusCode UaVariant::toDateTimeArray(UaDateTimeArray& out) const
{
    return toTypedArray<UaDateTimeArray, OpcUa_DateTime>(OpcUaType_DateTime, out);
}

OpcUa_StatusCode UaVariant::toByteString(UaByteString& out) const
{
    if (m_value.ArrayType == OpcUa_VariantArrayType_Scalar &&
        (m_value.Datatype == OpcUaType_ByteString || m_value.Datatype == OpcUaType_XmlElement))
    {
        out = UaByteString(m_value.Value.ByteString);
        return OpcUa_Good;
    }
    if (m_value.ArrayType == OpcUa_VariantArrayType_Array && m_value.Datatype == OpcUaType_Byte)
    {
        OpcUa_Int32 length = m_value.Value.Array.Value.Array != nullptr ? m_value.Value.Array.Length : 0;
        out = UaByteString(length > 0 ? length : 0, m_value.Value.Array.Value.ByteArray);
        return OpcUa_Good;
    }
    if (m_value.ArrayType == OpcUa_VariantArrayType_Scalar && m_value.Datatype == OpcUaType_String)
    {
        const OpcUa_String& text = m_value.Value.String;
        OpcUa_UInt32 size = text.strContent != nullptr ? text.uLength : 0;
        if (size % 2 != 0)
            return OpcUa_BadOutOfRange;
        std::string bytes(size / 2, '\0');
        for (OpcUa_UInt32 i = 0; i < size; i += 2)
        {
            int high = hexValue(text.strContent[i]);
            int low = hexValue(text.strContent[i + 1]);
            if (high < 0 || low < 0)
                return OpcUa_BadOutOfRange;
            bytes[i / 2] = static_cast<char>(high * 16 + low);
        }
        out = UaByteString(static_cast<OpcUa_Int32>(bytes.size()),
                           reinterpret_cast<const OpcUa_Byte*>(bytes.data()));
        return OpcUa_Good;
    }
    return OpcUa_BadOutOfRange;
}

void UaVariant::promoteNumericTypes(UaVariant& a, UaVariant& b)
{
    const OpcUa_Byte ta = a.m_value.Datatype;
    const OpcUa_Byte tb = b.m_value.Datatype;
    if (a.m_value.ArrayType != OpcUa_VariantArrayType_Scalar ||
        b.m_value.ArrayType != OpcUa_VariantArrayType_Scalar || ta == tb || ta < OpcUaType_Boolean ||
        ta > OpcUaType_Double || tb < OpcUaType_Boolean || tb > OpcUaType_Double)
        return;
    auto isUnsigned = [](OpcUa_Byte t) { return t <= OpcUaType_UInt64 && t % 2 == 1; };
    auto isFloating = [](OpcUa_Byte t) { return t >= OpcUaType_Float; };
    OpcUa_BuiltInType common = OpcUaType_Double;
    if (isUnsigned(ta) && isUnsigned(tb))
        common = OpcUaType_UInt64;
    else if (!isFloating(ta) && !isFloating(tb))
        common = OpcUaType_Int64;
    a.changeType(common, false);
    b.changeType(common, false);
}
