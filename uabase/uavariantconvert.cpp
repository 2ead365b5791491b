// Range-checked conversions of scalar variants to the numeric types and to Boolean.
#include "uavariant.h"
#include "uavariantparse.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <strings.h>
#include <type_traits>

namespace
{
// A scalar variant's number as the widest type of its kind.
struct Number
{
    enum Kind
    {
        None,
        Signed,
        Unsigned,
        Floating
    } kind = None;
    OpcUa_Int64 s = 0;
    OpcUa_UInt64 u = 0;
    OpcUa_Double d = 0;
};

Number numberOf(const OpcUa_Variant& v)
{
    Number n;
    const OpcUa_VariantUnion& x = v.Value;
    switch (v.Datatype)
    {
    case OpcUaType_Boolean:
        n.kind = Number::Unsigned;
        n.u = x.Boolean != 0 ? 1 : 0;
        break;
    case OpcUaType_SByte:
        n.kind = Number::Signed;
        n.s = x.SByte;
        break;
    case OpcUaType_Int16:
        n.kind = Number::Signed;
        n.s = x.Int16;
        break;
    case OpcUaType_Int32:
        n.kind = Number::Signed;
        n.s = x.Int32;
        break;
    case OpcUaType_Int64:
        n.kind = Number::Signed;
        n.s = x.Int64;
        break;
    case OpcUaType_Byte:
        n.kind = Number::Unsigned;
        n.u = x.Byte;
        break;
    case OpcUaType_UInt16:
        n.kind = Number::Unsigned;
        n.u = x.UInt16;
        break;
    case OpcUaType_UInt32:
        n.kind = Number::Unsigned;
        n.u = x.UInt32;
        break;
    case OpcUaType_UInt64:
        n.kind = Number::Unsigned;
        n.u = x.UInt64;
        break;
    case OpcUaType_Float:
        n.kind = Number::Floating;
        n.d = x.Float;
        break;
    case OpcUaType_Double:
        n.kind = Number::Floating;
        n.d = x.Double;
        break;
    default:
        break;
    }
    return n;
}

const char* textOf(const OpcUa_Variant& v)
{
    if (v.Value.String.strContent == nullptr)
        return "";
    return v.Value.String.strContent;
}

bool textTooLong(const OpcUa_Variant& v)
{
    return v.Value.String.strContent != nullptr && v.Value.String.uLength >= VariantParse::MaxTextBytes;
}

template <typename T> bool signedFits(OpcUa_Int64 value)
{
    if constexpr (std::is_signed_v<T>)
        return value >= std::numeric_limits<T>::min() && value <= std::numeric_limits<T>::max();
    else
        return value >= 0 && static_cast<OpcUa_UInt64>(value) <= std::numeric_limits<T>::max();
}

template <typename T> bool unsignedFits(OpcUa_UInt64 value)
{
    return value <= static_cast<OpcUa_UInt64>(std::numeric_limits<T>::max());
}

// Half-way values round away from zero; the rounded value must lie within T's range. The upper
// bound of a 64-bit type (2^63, 2^64) is not itself representable and is excluded. NaN fails.
template <typename T> bool roundToInteger(OpcUa_Double value, T& out)
{
    const OpcUa_Double rounded = std::trunc(value >= 0 ? value + 0.5 : value - 0.5);
    const OpcUa_Double low = static_cast<OpcUa_Double>(std::numeric_limits<T>::min());
    bool fits = false;
    if constexpr (sizeof(T) == 8)
    {
        const OpcUa_Double bound = std::is_signed_v<T> ? 9223372036854775808.0 : 18446744073709551616.0;
        fits = rounded >= low && rounded < bound;
    }
    else
        fits = rounded >= low && rounded <= static_cast<OpcUa_Double>(std::numeric_limits<T>::max());
    if (!fits)
        return false;
    if constexpr (std::is_signed_v<T>)
        out = static_cast<T>(static_cast<OpcUa_Int64>(rounded));
    else
        out = static_cast<T>(static_cast<OpcUa_UInt64>(rounded));
    return true;
}

template <typename T> OpcUa_StatusCode toInteger(const OpcUa_Variant& v, T& out)
{
    if (v.ArrayType != OpcUa_VariantArrayType_Scalar)
        return OpcUa_BadOutOfRange;
    if (v.Datatype == OpcUaType_String)
    {
        if (textTooLong(v))
            return OpcUa_BadOutOfRange;
        if constexpr (std::is_signed_v<T>)
        {
            OpcUa_Int64 value = 0;
            if (!VariantParse::parseSigned(textOf(v), value) || !signedFits<T>(value))
                return OpcUa_BadOutOfRange;
            out = static_cast<T>(value);
        }
        else
        {
            OpcUa_UInt64 value = 0;
            if (!VariantParse::parseUnsigned(textOf(v), value) || !unsignedFits<T>(value))
                return OpcUa_BadOutOfRange;
            out = static_cast<T>(value);
        }
        return OpcUa_Good;
    }
    Number n = numberOf(v);
    switch (n.kind)
    {
    case Number::Signed:
        if (!signedFits<T>(n.s))
            return OpcUa_BadOutOfRange;
        out = static_cast<T>(n.s);
        return OpcUa_Good;
    case Number::Unsigned:
        if (!unsignedFits<T>(n.u))
            return OpcUa_BadOutOfRange;
        out = static_cast<T>(n.u);
        return OpcUa_Good;
    case Number::Floating:
        return roundToInteger<T>(n.d, out) ? OpcUa_Good : OpcUa_BadOutOfRange;
    default:
        return OpcUa_BadOutOfRange;
    }
}

// Zero, or a magnitude between the smallest normalised and the largest finite single value.
bool fitsFloat(OpcUa_Double value)
{
    OpcUa_Double magnitude = std::fabs(value);
    return value == 0 || (magnitude >= FLT_MIN && magnitude <= FLT_MAX);
}
} // namespace

OpcUa_StatusCode UaVariant::toSByte(OpcUa_SByte& out) const
{
    return toInteger(m_value, out);
}
OpcUa_StatusCode UaVariant::toByte(OpcUa_Byte& out) const
{
    return toInteger(m_value, out);
}
OpcUa_StatusCode UaVariant::toInt16(OpcUa_Int16& out) const
{
    return toInteger(m_value, out);
}
OpcUa_StatusCode UaVariant::toUInt16(OpcUa_UInt16& out) const
{
    return toInteger(m_value, out);
}
OpcUa_StatusCode UaVariant::toInt32(OpcUa_Int32& out) const
{
    return toInteger(m_value, out);
}
OpcUa_StatusCode UaVariant::toUInt32(OpcUa_UInt32& out) const
{
    return toInteger(m_value, out);
}
OpcUa_StatusCode UaVariant::toInt64(OpcUa_Int64& out) const
{
    return toInteger(m_value, out);
}
OpcUa_StatusCode UaVariant::toUInt64(OpcUa_UInt64& out) const
{
    return toInteger(m_value, out);
}

OpcUa_StatusCode UaVariant::toFloat(OpcUa_Float& out) const
{
    if (m_value.ArrayType != OpcUa_VariantArrayType_Scalar)
        return OpcUa_BadOutOfRange;
    OpcUa_Double value = 0;
    switch (m_value.Datatype)
    {
    case OpcUaType_UInt64:
        return OpcUa_BadOutOfRange;
    case OpcUaType_Float:
        out = m_value.Value.Float;
        return OpcUa_Good;
    case OpcUaType_Double:
        value = m_value.Value.Double;
        break;
    case OpcUaType_String:
        if (textTooLong(m_value) || !VariantParse::parseDouble(textOf(m_value), value))
            return OpcUa_BadOutOfRange;
        break;
    default:
    {
        Number n = numberOf(m_value);
        if (n.kind == Number::Signed)
            out = static_cast<OpcUa_Float>(n.s);
        else if (n.kind == Number::Unsigned)
            out = static_cast<OpcUa_Float>(n.u);
        else
            return OpcUa_BadOutOfRange;
        return OpcUa_Good;
    }
    }
    if (!fitsFloat(value))
        return OpcUa_BadOutOfRange;
    out = static_cast<OpcUa_Float>(value);
    return OpcUa_Good;
}

OpcUa_StatusCode UaVariant::toDouble(OpcUa_Double& out) const
{
    if (m_value.ArrayType != OpcUa_VariantArrayType_Scalar)
        return OpcUa_BadOutOfRange;
    if (m_value.Datatype == OpcUaType_String)
    {
        OpcUa_Double value = 0;
        if (textTooLong(m_value) || !VariantParse::parseDouble(textOf(m_value), value))
            return OpcUa_BadOutOfRange;
        out = value;
        return OpcUa_Good;
    }
    Number n = numberOf(m_value);
    switch (n.kind)
    {
    case Number::Signed:
        out = static_cast<OpcUa_Double>(n.s);
        return OpcUa_Good;
    case Number::Unsigned:
        out = static_cast<OpcUa_Double>(n.u);
        return OpcUa_Good;
    case Number::Floating:
        out = n.d;
        return OpcUa_Good;
    default:
        return OpcUa_BadOutOfRange;
    }
}

OpcUa_StatusCode UaVariant::toBool(OpcUa_Boolean& out) const
{
    if (m_value.ArrayType != OpcUa_VariantArrayType_Scalar)
        return OpcUa_BadOutOfRange;
    out = OpcUa_True;
    if (m_value.Datatype == OpcUaType_String)
    {
        const char* text = textOf(m_value);
        std::size_t size = m_value.Value.String.strContent != nullptr ? m_value.Value.String.uLength : 0;
        if ((size == 1 && text[0] == '0') || (size == 5 && strncasecmp(text, "false", 5) == 0))
            out = OpcUa_False;
        return OpcUa_Good;
    }
    Number n = numberOf(m_value);
    switch (n.kind)
    {
    case Number::Signed:
        out = n.s != 0 ? OpcUa_True : OpcUa_False;
        return OpcUa_Good;
    case Number::Unsigned:
        out = n.u != 0 ? OpcUa_True : OpcUa_False;
        return OpcUa_Good;
    // NaN is not equal to 0 and gives true.
    case Number::Floating:
        out = n.d == 0 ? OpcUa_False : OpcUa_True;
        return OpcUa_Good;
    default:
        return OpcUa_BadTypeMismatch;
    }
}
