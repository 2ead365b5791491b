// Binary encoder.
#include "structure_codec.h"

#include <opcua_binarycodec.hpp>

#include <bit>
#include <cstddef>
#include <cstdlib>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "the encoder writes host-order numbers");
// DateTime goes out as one 64-bit number, low half first.
static_assert(sizeof(OpcUa_DateTime) == 8 && offsetof(OpcUa_DateTime, dwLowDateTime) == 0);

namespace OpcUa
{
namespace
{
// Writes count elements with write (no per-element type dispatch) until one fails.
template <typename T, typename Write>
OpcUa_StatusCode writeEach(BinaryEncoder& e, const void* elements, OpcUa_Int32 count, Write write)
{
    const auto* a = static_cast<const T*>(elements);
    for (OpcUa_Int32 i = 0; i < count && e.status() == OpcUa_Good; ++i)
        write(a[i]);
    return e.status();
}
} // namespace

BinaryEncoder::BinaryEncoder(const EncodingLimits& limits)
    : m_limits(limits),
      m_maxSize(limits.maxMessageSize > 0 ? static_cast<size_t>(limits.maxMessageSize) : 0x7FFFFFFF)
{
}

BinaryEncoder::BinaryEncoder(const EncodingLimits& limits, CountingTag) : BinaryEncoder(limits)
{
    m_counting = true;
}

BinaryEncoder BinaryEncoder::counting(const EncodingLimits& limits)
{
    return BinaryEncoder(limits, CountingTag{});
}

BinaryEncoder::~BinaryEncoder()
{
    std::free(m_data);
}

void BinaryEncoder::reset()
{
    m_size = 0;
    m_depth = 0;
    m_status = OpcUa_Good;
    m_fastEnd = m_counting ? 0 : (m_capacity < m_maxSize ? m_capacity : m_maxSize);
}

OpcUa_StatusCode BinaryEncoder::detach(OpcUa_ByteString* out)
{
    if (out == nullptr)
        return OpcUa_BadInvalidArgument;
    OpcUa_ByteString_Initialize(out);
    if (OpcUa_IsBad(m_status))
        return m_status;
    out->Data = static_cast<OpcUa_Byte*>(OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(m_size)));
    if (out->Data == nullptr)
        return OpcUa_BadOutOfMemory;
    if (m_size > 0)
        std::memcpy(out->Data, m_data, m_size);
    out->Length = static_cast<OpcUa_Int32>(m_size);
    reset();
    return OpcUa_Good;
}

OpcUa_StatusCode BinaryEncoder::fail(OpcUa_StatusCode s)
{
    if (OpcUa_IsGood(m_status))
        m_status = s;
    m_fastEnd = 0; // every later write takes the checked path and fails there
    return m_status;
}

OpcUa_StatusCode BinaryEncoder::reserve(size_t count)
{
    if (OpcUa_IsBad(m_status))
        return m_status;
    size_t limit = m_maxSize;
    if (count > limit || m_size > limit - count)
        return fail(OpcUa_BadEncodingLimitsExceeded);
    if (m_counting || m_size + count <= m_capacity)
        return OpcUa_Good;
    size_t capacity = m_capacity == 0 ? 256 : m_capacity;
    while (capacity < m_size + count)
        capacity *= 2;
    auto* p = static_cast<OpcUa_Byte*>(std::realloc(m_data, capacity));
    if (p == nullptr)
        return fail(OpcUa_BadOutOfMemory);
    m_data = p;
    m_capacity = capacity;
    m_fastEnd = capacity < m_maxSize ? capacity : m_maxSize;
    return OpcUa_Good;
}

bool BinaryEncoder::beginArray(const void* elements, OpcUa_Int32 count)
{
    if (elements == nullptr)
    {
        writeInt32(-1);
        return false;
    }
    if (count < 0)
        count = 0;
    if (m_limits.maxArrayLength > 0 && count > m_limits.maxArrayLength)
    {
        fail(OpcUa_BadEncodingLimitsExceeded);
        return false;
    }
    return OpcUa_IsGood(writeInt32(count)) && count > 0 && enter();
}

template <typename Fill> inline OpcUa_StatusCode BinaryEncoder::writeFilled(size_t count, Fill fill)
{
    if (m_size + count <= m_fastEnd) [[likely]]
    {
        fill(m_data + m_size);
        m_size += count;
        return OpcUa_Good;
    }
    OpcUa_Byte bytes[64];
    fill(bytes);
    return writeRaw(bytes, count);
}

OpcUa_StatusCode BinaryEncoder::writeRaw(const void* bytes, size_t count)
{
    OpcUa_StatusCode s = reserve(count);
    if (OpcUa_IsBad(s))
        return s;
    if (!m_counting && count > 0)
        std::memcpy(m_data + m_size, bytes, count);
    m_size += count;
    return OpcUa_Good;
}

bool BinaryEncoder::tooDeep()
{
    --m_depth;
    fail(OpcUa_BadEncodingLimitsExceeded);
    return false;
}

OpcUa_StatusCode BinaryEncoder::writeGuid(const OpcUa_Guid& v)
{
    return writeFilled(16,
                       [&](OpcUa_Byte* p)
                       {
                           std::memcpy(p, &v.Data1, 4);
                           std::memcpy(p + 4, &v.Data2, 2);
                           std::memcpy(p + 6, &v.Data3, 2);
                           std::memcpy(p + 8, v.Data4, 8);
                       });
}

OpcUa_StatusCode BinaryEncoder::writeStringContent(const OpcUa_String& v)
{
    if (m_limits.maxStringLength > 0 && v.uLength > static_cast<OpcUa_UInt32>(m_limits.maxStringLength))
        return fail(OpcUa_BadEncodingLimitsExceeded);
    if (v.uLength > 0x7FFFFFFFu)
        return fail(OpcUa_BadEncodingError);
    OpcUa_StatusCode s = writeInt32(static_cast<OpcUa_Int32>(v.uLength));
    return OpcUa_IsGood(s) ? writeRaw(v.strContent, v.uLength) : s;
}

OpcUa_StatusCode BinaryEncoder::writeByteString(const OpcUa_ByteString& v)
{
    if (v.Length < 0)
        return writeInt32(-1);
    if (v.Length > 0 && v.Data == nullptr)
        return fail(OpcUa_BadEncodingError);
    if (m_limits.maxByteStringLength > 0 && v.Length > m_limits.maxByteStringLength)
        return fail(OpcUa_BadEncodingLimitsExceeded);
    OpcUa_StatusCode s = writeInt32(v.Length);
    return OpcUa_IsGood(s) ? writeRaw(v.Data, static_cast<size_t>(v.Length)) : s;
}

OpcUa_StatusCode BinaryEncoder::writeNodeIdBody(const OpcUa_NodeId& v, OpcUa_Byte flags)
{
    switch (v.IdentifierType)
    {
    case OpcUa_IdentifierType_Numeric:
    {
        if (m_size + 7 <= m_fastEnd)
        {
            m_size += putNumericNodeId(m_data + m_size, v.NamespaceIndex, v.Identifier.Numeric, flags);
            return OpcUa_Good;
        }
        OpcUa_Byte b[7];
        return writeRaw(b, putNumericNodeId(b, v.NamespaceIndex, v.Identifier.Numeric, flags));
    }
    case OpcUa_IdentifierType_String:
    case OpcUa_IdentifierType_Guid:
    case OpcUa_IdentifierType_Opaque:
    {
        OpcUa_Byte form = v.IdentifierType == OpcUa_IdentifierType_String ? 0x03
                          : v.IdentifierType == OpcUa_IdentifierType_Guid ? 0x04
                                                                          : 0x05;
        writeFilled(3,
                    [&](OpcUa_Byte* p)
                    {
                        p[0] = static_cast<OpcUa_Byte>(form | flags);
                        std::memcpy(p + 1, &v.NamespaceIndex, 2);
                    });
        if (form == 0x03)
            return writeString(v.Identifier.String);
        if (form == 0x04)
            return writeGuid(v.Identifier.Guid != nullptr ? *v.Identifier.Guid : OpcUa_Guid_Null);
        return writeByteString(v.Identifier.ByteString);
    }
    default:
        return fail(OpcUa_BadEncodingError);
    }
}

OpcUa_StatusCode BinaryEncoder::writeExpandedNodeId(const OpcUa_ExpandedNodeId& v)
{
    OpcUa_Byte flags = 0;
    if (v.NamespaceUri.strContent != nullptr)
        flags |= 0x80;
    if (v.ServerIndex != 0)
        flags |= 0x40;
    writeNodeIdBody(v.NodeId, flags);
    if (flags & 0x80)
        writeString(v.NamespaceUri);
    if (flags & 0x40)
        writeUInt32(v.ServerIndex);
    return m_status;
}

OpcUa_StatusCode BinaryEncoder::writeLocalizedText(const OpcUa_LocalizedText& v)
{
    OpcUa_Byte mask = 0;
    if (v.Locale.strContent != nullptr)
        mask |= 0x01;
    if (v.Text.strContent != nullptr)
        mask |= 0x02;
    writeByte(mask);
    if (mask & 0x01)
        writeString(v.Locale);
    if (mask & 0x02)
        writeString(v.Text);
    return m_status;
}

OpcUa_StatusCode BinaryEncoder::writeExtensionObject(const OpcUa_ExtensionObject& v)
{
    if (!enter())
        return m_status;
    switch (v.Encoding)
    {
    case OpcUa_ExtensionObjectEncoding_None:
        writeNodeId(v.TypeId.NodeId); // a plain NodeId on the wire
        writeByte(0x00);
        break;
    case OpcUa_ExtensionObjectEncoding_Binary:
    case OpcUa_ExtensionObjectEncoding_Xml:
        writeNodeId(v.TypeId.NodeId); // a plain NodeId on the wire
        writeByte(v.Encoding == OpcUa_ExtensionObjectEncoding_Binary ? 0x01 : 0x02);
        writeByteString(v.Body.Binary);
        break;
    case OpcUa_ExtensionObjectEncoding_EncodeableObject:
    {
        const OpcUa_EncodeableType* type = v.Body.EncodeableObject.Type;
        if (type == nullptr || v.Body.EncodeableObject.Object == nullptr || type->BinaryEncodingTypeId == 0)
        {
            fail(OpcUa_BadEncodingError);
            break;
        }
        OpcUa_NodeId id;
        OpcUa_NodeId_Initialize(&id);
        id.Identifier.Numeric = type->BinaryEncodingTypeId;
        writeNodeId(id);
        writeByte(0x01);
        size_t lengthAt = m_size;
        writeInt32(0);
        size_t start = m_size;
        writeStructure(type, v.Body.EncodeableObject.Object);
        if (OpcUa_IsGood(m_status))
        {
            size_t length = m_size - start;
            if (length > 0x7FFFFFFF)
                fail(OpcUa_BadEncodingLimitsExceeded);
            else if (!m_counting)
            {
                OpcUa_Int32 l = static_cast<OpcUa_Int32>(length);
                std::memcpy(m_data + lengthAt, &l, 4);
            }
        }
        break;
    }
    default:
        fail(OpcUa_BadEncodingError);
        break;
    }
    leave();
    return m_status;
}

OpcUa_StatusCode BinaryEncoder::writeDataValue(const OpcUa_DataValue& v)
{
    OpcUa_Byte mask = 0;
    if (v.Value.Datatype != OpcUaType_Null)
        mask |= 0x01;
    if (v.StatusCode != OpcUa_Good)
        mask |= 0x02;
    if ((v.SourceTimestamp.dwLowDateTime | v.SourceTimestamp.dwHighDateTime) != 0)
        mask |= 0x04;
    if ((v.ServerTimestamp.dwLowDateTime | v.ServerTimestamp.dwHighDateTime) != 0)
        mask |= 0x08;
    if (v.SourcePicoseconds != 0)
        mask |= 0x10;
    if (v.ServerPicoseconds != 0)
        mask |= 0x20;
    const size_t tail = dataValueTailSize(mask);
    // The frequent forms (no value, or a scalar of fixed size) go out in one write with the fields
    // after the value, when their nesting levels (DataValue, Variant) are within the limit.
    const size_t scalar =
        v.Value.ArrayType == OpcUa_VariantArrayType_Scalar ? fixedScalarSize(v.Value.Datatype) : 0;
    if ((scalar > 0 || !(mask & 0x01)) && m_depth + 2 <= m_limits.maxDepth)
    {
        const size_t value = scalar > 0 ? 1 + scalar : 0;
        return writeFilled(1 + value + tail,
                           [&](OpcUa_Byte* p)
                           {
                               p[0] = mask;
                               if (value > 0)
                               {
                                   p[1] = v.Value.Datatype;
                                   writeFixedScalar(p + 2, v.Value, scalar);
                               }
                               transferDataValueTail(p + 1 + value, mask, v);
                           });
    }
    if (!enter())
        return m_status;
    writeByte(mask);
    if (mask & 0x01)
        writeVariant(v.Value);
    if (tail > 0)
        writeFilled(tail, [&](OpcUa_Byte* p) { transferDataValueTail(p, mask, v); });
    leave();
    return m_status;
}

OpcUa_StatusCode BinaryEncoder::writeDiagnosticInfo(const OpcUa_DiagnosticInfo& v)
{
    if (!enter())
        return m_status;
    OpcUa_Byte mask = 0;
    if (v.SymbolicId != -1)
        mask |= 0x01;
    if (v.NamespaceUri != -1)
        mask |= 0x02;
    if (v.LocalizedText != -1)
        mask |= 0x04;
    if (v.Locale != -1)
        mask |= 0x08;
    if (v.AdditionalInfo.strContent != nullptr)
        mask |= 0x10;
    if (v.InnerStatusCode != OpcUa_Good)
        mask |= 0x20;
    if (v.InnerDiagnosticInfo != nullptr)
        mask |= 0x40;
    writeByte(mask);
    if (mask & 0x01)
        writeInt32(v.SymbolicId);
    if (mask & 0x02)
        writeInt32(v.NamespaceUri);
    if (mask & 0x08)
        writeInt32(v.Locale);
    if (mask & 0x04)
        writeInt32(v.LocalizedText);
    if (mask & 0x10)
        writeString(v.AdditionalInfo);
    if (mask & 0x20)
        writeUInt32(v.InnerStatusCode);
    if (mask & 0x40)
        writeDiagnosticInfo(*v.InnerDiagnosticInfo);
    leave();
    return m_status;
}

OpcUa_StatusCode BinaryEncoder::writeVariantArray(OpcUa_Byte type, const void* elements, OpcUa_Int32 count)
{
    if (count > 0 && elements == nullptr)
        return fail(OpcUa_BadEncodingError);
    if (count < 0)
        count = 0;
    if (m_limits.maxArrayLength > 0 && count > m_limits.maxArrayLength)
        return fail(OpcUa_BadEncodingLimitsExceeded);
    writeInt32(count);
    size_t size = valueSize(type, nullptr);
    const auto* p = static_cast<const OpcUa_Byte*>(elements);
    if (type == OpcUaType_Boolean)
    {
        for (OpcUa_Int32 i = 0; i < count && OpcUa_IsGood(m_status); ++i)
            writeBoolean(p[i]);
        return m_status;
    }
    if (isPlainKind(type) && type != OpcUaType_Guid && type != OpcUaType_DateTime)
        return writeRaw(p, static_cast<size_t>(count) * size);
    switch (type)
    {
    case OpcUaType_String:
        return writeEach<OpcUa_String>(*this, p, count, [this](const auto& e) { writeString(e); });
    case OpcUaType_NodeId:
        return writeEach<OpcUa_NodeId>(*this, p, count, [this](const auto& e) { writeNodeId(e); });
    case OpcUaType_DataValue:
        return writeEach<OpcUa_DataValue>(*this, p, count, [this](const auto& e) { writeDataValue(e); });
    case OpcUaType_Variant:
        return writeEach<OpcUa_Variant>(*this, p, count, [this](const auto& e) { writeVariant(e); });
    default:
        for (OpcUa_Int32 i = 0; i < count && OpcUa_IsGood(m_status); ++i)
            writeValue(type, nullptr, p + static_cast<size_t>(i) * size);
        return m_status;
    }
}

OpcUa_StatusCode BinaryEncoder::writeVariant(const OpcUa_Variant& v)
{
    if (v.Datatype > OpcUaType_DiagnosticInfo)
        return fail(OpcUa_BadEncodingError);
    if (!enter())
        return m_status;
    OpcUa_Byte type = v.Datatype;
    // Scalars of fixed size (numbers, Boolean, DateTime, StatusCode) go out with their type byte in one
    // write.
    if (const size_t size = fixedScalarSize(type); size > 0 && v.ArrayType == OpcUa_VariantArrayType_Scalar)
    {
        writeFilled(1 + size,
                    [&](OpcUa_Byte* p)
                    {
                        p[0] = type;
                        writeFixedScalar(p + 1, v, size);
                    });
        leave();
        return m_status;
    }
    switch (v.ArrayType)
    {
    case OpcUa_VariantArrayType_Scalar:
        writeByte(type);
        if (isPointerScalar(type))
        {
            // Scalars of these types are held by pointer; a missing one encodes as the null value.
            const void* p = v.Value.NodeId;
            alignas(8) OpcUa_Byte scratch[128];
            static_assert(sizeof(scratch) >= sizeof(OpcUa_ExtensionObject));
            static_assert(sizeof(scratch) >= sizeof(OpcUa_DataValue));
            if (p == nullptr)
            {
                initValue(type, nullptr, scratch);
                p = scratch;
            }
            writeValue(type, nullptr, p);
        }
        else if (type == OpcUaType_Variant)
        {
            fail(OpcUa_BadEncodingError);
        }
        else if (type != OpcUaType_Null)
        {
            writeValue(type, nullptr, &v.Value);
        }
        break;
    case OpcUa_VariantArrayType_Array:
        writeByte(static_cast<OpcUa_Byte>(type | 0x80));
        writeVariantArray(type, v.Value.Array.Value.Array, v.Value.Array.Length);
        break;
    case OpcUa_VariantArrayType_Matrix:
    {
        const OpcUa_VariantMatrixValue& m = v.Value.Matrix;
        if (m.NoOfDimensions <= 0 || m.Dimensions == nullptr)
        {
            fail(OpcUa_BadEncodingError);
            break;
        }
        int64_t count = 1;
        for (OpcUa_Int32 i = 0; i < m.NoOfDimensions; ++i)
        {
            if (m.Dimensions[i] < 0)
                count = -1;
            if (count >= 0)
                count *= m.Dimensions[i];
            if (count > 0x7FFFFFFF)
                count = -1;
            if (count < 0)
                break;
        }
        if (count < 0)
        {
            fail(OpcUa_BadEncodingError);
            break;
        }
        writeByte(static_cast<OpcUa_Byte>(type | 0xC0));
        writeVariantArray(type, m.Value.Array, static_cast<OpcUa_Int32>(count));
        writeVariantArray(OpcUaType_Int32, m.Dimensions, m.NoOfDimensions);
        break;
    }
    default:
        fail(OpcUa_BadEncodingError);
        break;
    }
    leave();
    return m_status;
}

OpcUa_StatusCode BinaryEncoder::writeValue(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type,
                                           const void* value)
{
    switch (kind)
    {
    case OpcUaType_Boolean:
        return writeBoolean(*static_cast<const OpcUa_Boolean*>(value));
    case OpcUaType_SByte:
    case OpcUaType_Byte:
        return writeFixed<1>(value);
    case OpcUaType_Int16:
    case OpcUaType_UInt16:
        return writeFixed<2>(value);
    case OpcUaType_Int32:
    case OpcUaType_UInt32:
    case OpcUaType_Float:
    case OpcUaType_StatusCode:
    case OpcUa_FieldKind_Enumeration:
        return writeFixed<4>(value);
    case OpcUaType_Int64:
    case OpcUaType_UInt64:
    case OpcUaType_Double:
        return writeFixed<8>(value);
    case OpcUaType_String:
        return writeString(*static_cast<const OpcUa_String*>(value));
    case OpcUaType_DateTime:
        return writeDateTime(*static_cast<const OpcUa_DateTime*>(value));
    case OpcUaType_Guid:
        return writeGuid(*static_cast<const OpcUa_Guid*>(value));
    case OpcUaType_ByteString:
    case OpcUaType_XmlElement:
        return writeByteString(*static_cast<const OpcUa_ByteString*>(value));
    case OpcUaType_NodeId:
        return writeNodeId(*static_cast<const OpcUa_NodeId*>(value));
    case OpcUaType_ExpandedNodeId:
        return writeExpandedNodeId(*static_cast<const OpcUa_ExpandedNodeId*>(value));
    case OpcUaType_QualifiedName:
        return writeQualifiedName(*static_cast<const OpcUa_QualifiedName*>(value));
    case OpcUaType_LocalizedText:
        return writeLocalizedText(*static_cast<const OpcUa_LocalizedText*>(value));
    case OpcUaType_ExtensionObject:
        return writeExtensionObject(*static_cast<const OpcUa_ExtensionObject*>(value));
    case OpcUaType_DataValue:
        return writeDataValue(*static_cast<const OpcUa_DataValue*>(value));
    case OpcUaType_Variant:
        return writeVariant(*static_cast<const OpcUa_Variant*>(value));
    case OpcUaType_DiagnosticInfo:
        return writeDiagnosticInfo(*static_cast<const OpcUa_DiagnosticInfo*>(value));
    case OpcUa_FieldKind_Structure:
        return writeStructure(type, value);
    default:
        return fail(OpcUa_BadEncodingError);
    }
}

OpcUa_StatusCode BinaryEncoder::writeArray(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type,
                                           const void* elements, OpcUa_Int32 count)
{
    if (elements == nullptr)
        return writeInt32(-1);
    if (kind >= 1 && kind <= 25)
        return writeVariantArray(static_cast<OpcUa_Byte>(kind), elements, count);
    if (count < 0)
        count = 0;
    if (m_limits.maxArrayLength > 0 && count > m_limits.maxArrayLength)
        return fail(OpcUa_BadEncodingLimitsExceeded);
    writeInt32(count);
    size_t size = valueSize(kind, type);
    if (kind == OpcUa_FieldKind_Enumeration)
        return writeRaw(elements, static_cast<size_t>(count) * size);
    const auto* p = static_cast<const OpcUa_Byte*>(elements);
    for (OpcUa_Int32 i = 0; i < count && OpcUa_IsGood(m_status); ++i)
        writeValue(kind, type, p + static_cast<size_t>(i) * size);
    return m_status;
}

OpcUa_StatusCode BinaryEncoder::writeStructure(const OpcUa_EncodeableType* type, const void* value)
{
    if (type == nullptr || value == nullptr)
        return fail(OpcUa_BadInvalidArgument);
    if (type->Encode == nullptr)
        return writeStructureFields(type, value);
    OpcUa_StatusCode s = type->Encode(const_cast<void*>(value), this);
    return OpcUa_IsBad(s) ? fail(s) : m_status;
}

OpcUa_StatusCode BinaryEncoder::writeStructureFields(const OpcUa_EncodeableType* type, const void* value)
{
    if (type == nullptr || value == nullptr)
        return fail(OpcUa_BadInvalidArgument);
    if (!enter())
        return m_status;
    const auto* base = static_cast<const OpcUa_Byte*>(value);
    OpcUa_UInt32 selector = 0;
    if (type->StructureKind != OpcUa_StructureKind_Plain)
    {
        std::memcpy(&selector, base, 4);
        writeUInt32(selector);
    }
    bool unionMatched = type->StructureKind != OpcUa_StructureKind_Union || selector == 0;
    for (OpcUa_UInt32 i = 0; i < type->NoOfFields && OpcUa_IsGood(m_status); ++i)
    {
        const OpcUa_FieldDescription& f = type->Fields[i];
        if (!fieldPresent(type, f, selector, &unionMatched))
            continue;
        if (f.IsArray)
            writeArray(f.Kind, f.FieldType, *reinterpret_cast<void* const*>(base + f.Offset),
                       *reinterpret_cast<const OpcUa_Int32*>(base + f.CountOffset));
        else
            writeValue(f.Kind, f.FieldType, base + f.Offset);
    }
    leave();
    if (!unionMatched)
        fail(OpcUa_BadEncodingError);
    return m_status;
}

OpcUa_StatusCode BinaryEncoder::writeMessage(const OpcUa_EncodeableType* type, const void* value)
{
    if (type == nullptr || value == nullptr || type->BinaryEncodingTypeId == 0)
        return fail(OpcUa_BadInvalidArgument);
    OpcUa_NodeId id;
    OpcUa_NodeId_Initialize(&id);
    id.Identifier.Numeric = type->BinaryEncodingTypeId;
    writeNodeId(id);
    return writeStructure(type, value);
}

} // namespace OpcUa
