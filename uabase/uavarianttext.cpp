// The one-line text form of variants.
#include "uaguid.h"
#include "uastatus.h"
#include "uatextforms.h"
#include "uavariant.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <string>

namespace
{
// Texts are built in a 256-byte buffer: at most 255 characters.
constexpr std::size_t MaxText = 255;
constexpr std::size_t CutLength = 252;

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...)
{
    char buffer[MaxText + 1];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(buffer, sizeof(buffer), pattern, args);
    va_end(args);
    return buffer;
}

std::string stringText(const OpcUa_String& s)
{
    return s.strContent == nullptr ? std::string() : std::string(s.strContent, s.uLength);
}

std::string dateTimeText(const OpcUa_DateTime& value)
{
    UaString text = UaDateTime(value).toString();
    return std::string(text.toUtf8(), static_cast<std::size_t>(text.size()));
}

std::string guidText(const OpcUa_Guid& guid)
{
    UaString text = UaGuid(guid).toString();
    return std::string(text.toUtf8(), static_cast<std::size_t>(text.size()));
}

bool isDisplayableArrayType(OpcUa_Byte type)
{
    return (type >= OpcUaType_Boolean && type <= OpcUaType_Guid);
}

std::string elementText(OpcUa_Byte type, const OpcUa_VariantArrayUnion& elements, OpcUa_Int32 i)
{
    switch (type)
    {
    case OpcUaType_Boolean:
        return elements.BooleanArray[i] ? "true," : "false,";
    case OpcUaType_SByte:
        return format("%d,", elements.SByteArray[i]);
    case OpcUaType_Int16:
        return format("%d,", elements.Int16Array[i]);
    case OpcUaType_Int32:
        return format("%d,", elements.Int32Array[i]);
    case OpcUaType_Byte:
        return format("%u,", elements.ByteArray[i]);
    case OpcUaType_UInt16:
        return format("%u,", elements.UInt16Array[i]);
    case OpcUaType_UInt32:
        return format("%u,", elements.UInt32Array[i]);
    case OpcUaType_Int64:
        return format("%" PRId64 ",", elements.Int64Array[i]);
    case OpcUaType_UInt64:
        return format("%" PRIu64 ",", elements.UInt64Array[i]);
    case OpcUaType_Float:
        return format("%.6g,", static_cast<double>(elements.FloatArray[i]));
    case OpcUaType_Double:
        return format("%.12g,", elements.DoubleArray[i]);
    case OpcUaType_String:
        return "'" + stringText(elements.StringArray[i]) + "',";
    case OpcUaType_DateTime:
        return "'" + dateTimeText(elements.DateTimeArray[i]) + "',";
    case OpcUaType_Guid:
        return "'" + guidText(elements.GuidArray[i]) + "',";
    default:
        return std::string();
    }
}

UaString arrayText(const OpcUa_Variant& v)
{
    OpcUa_Int32 length = v.Value.Array.Length;
    if (v.Datatype == OpcUaType_Null || length <= 0 || v.Value.Array.Value.Array == nullptr)
        return UaString("{}");
    if (!isDisplayableArrayType(v.Datatype))
        return UaString("This array type cannot be displayed");
    std::string text = "{";
    for (OpcUa_Int32 i = 0; i < length; ++i)
    {
        std::string piece = elementText(v.Datatype, v.Value.Array.Value, i);
        if (text.size() + piece.size() > MaxText)
        {
            // The element that does not fit is cut with the rest, possibly inside it.
            text += piece;
            text.resize(CutLength);
            text += "...";
            return UaString::fromBytes(text.data(), static_cast<int>(text.size()));
        }
        text += piece;
    }
    text.back() = '}';
    return UaString::fromBytes(text.data(), static_cast<int>(text.size()));
}

UaString fromStd(const std::string& text)
{
    return UaString::fromBytes(text.data(), static_cast<int>(text.size()));
}

UaString scalarText(const OpcUa_Variant& v)
{
    const OpcUa_VariantUnion& x = v.Value;
    switch (v.Datatype)
    {
    case OpcUaType_Null:
        return UaString();
    case OpcUaType_Boolean:
        return UaString(x.Boolean ? "true" : "false");
    case OpcUaType_SByte:
        return fromStd(format("%d", x.SByte));
    case OpcUaType_Int16:
        return fromStd(format("%d", x.Int16));
    case OpcUaType_Int32:
        return fromStd(format("%d", x.Int32));
    case OpcUaType_Byte:
        return fromStd(format("%u", x.Byte));
    case OpcUaType_UInt16:
        return fromStd(format("%u", x.UInt16));
    case OpcUaType_UInt32:
        return fromStd(format("%u", x.UInt32));
    case OpcUaType_Int64:
        return fromStd(format("%" PRId64, x.Int64));
    case OpcUaType_UInt64:
        return fromStd(format("%" PRIu64, x.UInt64));
    case OpcUaType_Float:
        return fromStd(format("%.6g", static_cast<double>(x.Float)));
    case OpcUaType_Double:
        return fromStd(format("%.12g", x.Double));
    case OpcUaType_String:
        return UaString(&x.String);
    case OpcUaType_DateTime:
        return UaDateTime(x.DateTime).toString();
    case OpcUaType_Guid:
        return x.Guid != nullptr ? UaGuid(*x.Guid).toString() : UaString();
    case OpcUaType_ByteString:
        return UaByteArray(x.ByteString).toHex(false);
    case OpcUaType_XmlElement:
        return x.XmlElement.Length > 0 && x.XmlElement.Data != nullptr
                   ? UaString::fromBytes(reinterpret_cast<const char*>(x.XmlElement.Data),
                                         x.XmlElement.Length)
                   : UaString();
    case OpcUaType_NodeId:
        return x.NodeId != nullptr ? TextForms::nodeIdIdentifier(*x.NodeId) : UaString();
    case OpcUaType_ExpandedNodeId:
        return x.ExpandedNodeId != nullptr ? TextForms::nodeIdIdentifier(x.ExpandedNodeId->NodeId)
                                           : UaString();
    case OpcUaType_StatusCode:
        return UaStatusCode::toString(x.StatusCode);
    case OpcUaType_QualifiedName:
        return x.QualifiedName != nullptr ? UaString(&x.QualifiedName->Name) : UaString();
    case OpcUaType_LocalizedText:
        return x.LocalizedText != nullptr ? UaString(&x.LocalizedText->Text) : UaString();
    case OpcUaType_ExtensionObject:
        return x.ExtensionObject != nullptr ? TextForms::extensionObject(*x.ExtensionObject) : UaString();
    default:
        return UaString("Type cannot be displayed");
    }
}
} // namespace

UaString UaVariant::toString() const
{
    switch (m_value.ArrayType)
    {
    case OpcUa_VariantArrayType_Scalar:
        return scalarText(m_value);
    case OpcUa_VariantArrayType_Array:
        return arrayText(m_value);
    default:
        return UaString("Matrix cannot be displayed");
    }
}

UaString UaVariant::toFullString() const
{
    if (m_value.ArrayType == OpcUa_VariantArrayType_Scalar)
    {
        const OpcUa_VariantUnion& x = m_value.Value;
        switch (m_value.Datatype)
        {
        case OpcUaType_NodeId:
            if (x.NodeId != nullptr)
                return TextForms::nodeIdFull(*x.NodeId);
            break;
        case OpcUaType_ExpandedNodeId:
            if (x.ExpandedNodeId != nullptr)
                return TextForms::nodeIdFull(x.ExpandedNodeId->NodeId);
            break;
        case OpcUaType_QualifiedName:
            if (x.QualifiedName != nullptr)
                return TextForms::qualifiedName(*x.QualifiedName);
            break;
        case OpcUaType_LocalizedText:
            if (x.LocalizedText != nullptr)
                return UaLocalizedText(*x.LocalizedText).toFullString();
            break;
        default:
            break;
        }
    }
    return toString();
}

OpcUa_StatusCode UaVariant::stringArrayFromText(const UaString& text, UaStringArray& out)
{
    if (text.length() < 3)
        return OpcUa_BadOutOfRange;
    const char* bytes = text.toUtf8();
    std::size_t size = static_cast<std::size_t>(text.size());
    if (bytes[0] != '{' || bytes[size - 1] != '}')
        return OpcUa_BadTypeMismatch;
    std::string inner(bytes + 1, size - 2);
    std::size_t count = 1;
    for (char c : inner)
        count += c == '|' ? 1 : 0;
    UaStringArray pieces;
    OpcUa_StatusCode status = pieces.create(static_cast<OpcUa_UInt32>(count));
    if ((status & 0xC0000000u) != 0)
        return status;
    std::size_t start = 0;
    for (OpcUa_UInt32 i = 0; i < count; ++i)
    {
        std::size_t end = inner.find('|', start);
        if (end == std::string::npos)
            end = inner.size();
        UaString::fromBytes(inner.data() + start, static_cast<int>(end - start)).copyTo(&pieces[i]);
        start = end + 1;
    }
    out.attach(pieces.length(), pieces.data());
    pieces.detach();
    return OpcUa_Good;
}
