// Binary decoder: every length and count from the input is checked before it is used.
#include "structure_codec.h"

#include <opcua_binarycodec.hpp>

#include <cstring>

namespace OpcUa
{
namespace
{
// Smallest number of bytes one value of kind takes on the wire (0 when it may take none).
size_t minWireSize(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, int depth = 0)
{
    switch (kind)
    {
    case OpcUaType_Boolean:
    case OpcUaType_SByte:
    case OpcUaType_Byte:
    case OpcUaType_LocalizedText:
    case OpcUaType_DataValue:
    case OpcUaType_Variant:
    case OpcUaType_DiagnosticInfo:
        return 1;
    case OpcUaType_Int16:
    case OpcUaType_UInt16:
    case OpcUaType_NodeId:
    case OpcUaType_ExpandedNodeId:
        return 2;
    case OpcUaType_ExtensionObject:
        return 3;
    case OpcUaType_Int32:
    case OpcUaType_UInt32:
    case OpcUaType_Float:
    case OpcUaType_StatusCode:
    case OpcUaType_String:
    case OpcUaType_ByteString:
    case OpcUaType_XmlElement:
    case OpcUa_FieldKind_Enumeration:
        return 4;
    case OpcUaType_QualifiedName:
        return 6;
    case OpcUaType_Int64:
    case OpcUaType_UInt64:
    case OpcUaType_Double:
    case OpcUaType_DateTime:
        return 8;
    case OpcUaType_Guid:
        return 16;
    case OpcUa_FieldKind_Structure:
    {
        if (type == nullptr || depth > 8)
            return 0;
        if (type->StructureKind != OpcUa_StructureKind_Plain)
            return 4;
        size_t sum = 0;
        for (OpcUa_UInt32 i = 0; i < type->NoOfFields; ++i)
        {
            const OpcUa_FieldDescription& f = type->Fields[i];
            sum += f.IsArray ? 4 : minWireSize(f.Kind, f.FieldType, depth + 1);
        }
        return sum;
    }
    default:
        return 0;
    }
}

// Reads count elements with read (one per call, without a per-element type dispatch) until one
// fails; returns the number of elements it touched (the failed one is left initialised).
template <typename T, typename Read>
OpcUa_Int32 readEach(BinaryDecoder& d, void* block, OpcUa_Int32 count, Read read)
{
    auto* a = static_cast<T*>(block);
    OpcUa_Int32 i = 0;
    while (i < count && d.status() == OpcUa_Good)
        read(&a[i++]);
    return i;
}
} // namespace

BinaryDecoder::BinaryDecoder(const void* data, size_t size, const EncodingLimits& limits)
    : m_data(static_cast<const OpcUa_Byte*>(data)), m_size(data == nullptr ? 0 : size), m_goodEnd(m_size),
      m_limits(limits)
{
    if (m_limits.maxMessageSize > 0 && m_size > static_cast<size_t>(m_limits.maxMessageSize))
        fail(OpcUa_BadEncodingLimitsExceeded);
}

OpcUa_StatusCode BinaryDecoder::fail(OpcUa_StatusCode s)
{
    if (OpcUa_IsGood(m_status))
        m_status = s;
    m_goodEnd = 0;
    return m_status;
}

OpcUa_StatusCode BinaryDecoder::take(size_t count, const OpcUa_Byte** bytes)
{
    if (OpcUa_IsBad(m_status))
        return m_status;
    if (count > m_size - m_pos)
        return fail(OpcUa_BadDecodingError);
    *bytes = m_data + m_pos;
    m_pos += count;
    return OpcUa_Good;
}

OpcUa_StatusCode BinaryDecoder::readRaw(void* bytes, size_t count)
{
    const OpcUa_Byte* p = nullptr;
    OpcUa_StatusCode s = take(count, &p);
    if (OpcUa_IsGood(s) && count > 0)
        std::memcpy(bytes, p, count);
    return s;
}

bool BinaryDecoder::cannotEnter()
{
    if (m_status != OpcUa_Good)
        return false;
    --m_depth; // structures count too, in case one ever holds an array of itself
    fail(OpcUa_BadEncodingLimitsExceeded);
    return false;
}

OpcUa_StatusCode BinaryDecoder::allocate(size_t count, size_t elementSize, void** block)
{
    *block = nullptr;
    uint64_t total = static_cast<uint64_t>(count) * elementSize;
    if (m_limits.maxAlloc > 0 && total > static_cast<uint64_t>(m_limits.maxAlloc))
        return fail(OpcUa_BadEncodingLimitsExceeded);
    if (total > 0xFFFFFFFFu)
        return fail(OpcUa_BadEncodingLimitsExceeded);
    *block = OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(total));
    return *block == nullptr ? fail(OpcUa_BadOutOfMemory) : OpcUa_Good;
}

OpcUa_StatusCode BinaryDecoder::readLength(OpcUa_Int32 limit, OpcUa_Int32* length)
{
    OpcUa_StatusCode s = readInt32(length);
    if (OpcUa_IsBad(s))
        return s;
    if (*length < -1)
        return fail(OpcUa_BadDecodingError);
    if (limit > 0 && *length > limit)
        return fail(OpcUa_BadEncodingLimitsExceeded);
    if (*length > 0 && static_cast<size_t>(*length) > remaining())
        return fail(OpcUa_BadDecodingError);
    return OpcUa_Good;
}

OpcUa_StatusCode BinaryDecoder::readCount(OpcUa_UInt16 kind, OpcUa_Int32* count)
{
    OpcUa_StatusCode s = readInt32(count);
    if (OpcUa_IsBad(s))
        return s;
    if (*count < -1)
        return fail(OpcUa_BadDecodingError);
    if (*count == -1)
        *count = 0;
    if (m_limits.maxArrayLength > 0 && *count > m_limits.maxArrayLength)
        return fail(OpcUa_BadEncodingLimitsExceeded);
    (void)kind;
    return OpcUa_Good;
}

OpcUa_StatusCode BinaryDecoder::readDateTime(OpcUa_DateTime* v)
{
    // The structure holds the low half first: on a little-endian host that is the wire order.
    OpcUa_StatusCode s = readFixed<8>(v);
    if (OpcUa_IsBad(s))
        v->dwLowDateTime = v->dwHighDateTime = 0;
    return s;
}

OpcUa_StatusCode BinaryDecoder::readGuid(OpcUa_Guid* v)
{
    const OpcUa_Byte* p = nullptr;
    if (OpcUa_IsBad(take(16, &p)))
    {
        *v = OpcUa_Guid_Null;
        return m_status;
    }
    std::memcpy(&v->Data1, p, 4);
    std::memcpy(&v->Data2, p + 4, 2);
    std::memcpy(&v->Data3, p + 6, 2);
    std::memcpy(v->Data4, p + 8, 8);
    return OpcUa_Good;
}

OpcUa_StatusCode BinaryDecoder::readStringContent(OpcUa_String* v)
{
    OpcUa_Int32 length = 0;
    if (OpcUa_IsBad(readLength(m_limits.maxStringLength, &length)) || length < 0)
        return m_status;
    void* block = nullptr;
    if (OpcUa_IsBad(allocate(static_cast<size_t>(length) + 1, 1, &block)))
        return m_status;
    auto* text = static_cast<char*>(block);
    const OpcUa_Byte* p = nullptr;
    take(static_cast<size_t>(length), &p); // length was checked against the remaining bytes
    if (length > 0)
        std::memcpy(text, p, static_cast<size_t>(length));
    text[length] = 0;
    v->strContent = text;
    v->uLength = static_cast<OpcUa_UInt32>(length);
    return OpcUa_Good;
}

OpcUa_StatusCode BinaryDecoder::readByteString(OpcUa_ByteString* v)
{
    v->Length = -1;
    v->Data = nullptr;
    OpcUa_Int32 length = 0;
    if (OpcUa_IsBad(readLength(m_limits.maxByteStringLength, &length)) || length < 0)
        return m_status;
    if (length == 0)
    {
        v->Length = 0; // empty, without a block
        return OpcUa_Good;
    }
    void* block = nullptr;
    if (OpcUa_IsBad(allocate(static_cast<size_t>(length), 1, &block)))
        return m_status;
    const OpcUa_Byte* p = nullptr;
    take(static_cast<size_t>(length), &p);
    if (length > 0)
        std::memcpy(block, p, static_cast<size_t>(length));
    v->Data = static_cast<OpcUa_Byte*>(block);
    v->Length = length;
    return OpcUa_Good;
}

OpcUa_StatusCode BinaryDecoder::readNodeIdBody(OpcUa_Byte encoding, OpcUa_NodeId* v)
{
    std::memset(v, 0, sizeof(*v));
    if (m_status != OpcUa_Good)
        return m_status;
    // The numeric forms have a fixed size: one bounds check each.
    static constexpr OpcUa_Byte kNumericSize[3] = {1, 3, 6};
    if (encoding <= 0x02)
    {
        const OpcUa_Byte* p = nullptr;
        if (OpcUa_IsGood(take(kNumericSize[encoding], &p)))
            takeNumericNodeId(p, encoding, v);
        return m_status;
    }
    switch (encoding)
    {
    case 0x03:
        readUInt16(&v->NamespaceIndex);
        if (OpcUa_IsGood(readString(&v->Identifier.String)))
            v->IdentifierType = OpcUa_IdentifierType_String;
        break;
    case 0x04:
    {
        readUInt16(&v->NamespaceIndex);
        OpcUa_Guid g;
        if (OpcUa_IsBad(readGuid(&g)))
            break;
        void* block = nullptr;
        if (OpcUa_IsBad(allocate(1, sizeof(OpcUa_Guid), &block)))
            break;
        std::memcpy(block, &g, sizeof(g));
        v->Identifier.Guid = static_cast<OpcUa_Guid*>(block);
        v->IdentifierType = OpcUa_IdentifierType_Guid;
        break;
    }
    case 0x05:
        readUInt16(&v->NamespaceIndex);
        if (OpcUa_IsGood(readByteString(&v->Identifier.ByteString)))
            v->IdentifierType = OpcUa_IdentifierType_Opaque;
        break;
    default:
        fail(OpcUa_BadDecodingError);
        break;
    }
    if (OpcUa_IsBad(m_status))
        OpcUa_NodeId_Clear(v);
    return m_status;
}

OpcUa_StatusCode BinaryDecoder::readNodeIdOther(OpcUa_NodeId* v)
{
    OpcUa_Byte encoding = 0xFF;
    if (OpcUa_IsBad(readByte(&encoding)))
    {
        std::memset(v, 0, sizeof(*v));
        return m_status;
    }
    // The namespace URI and server index flags belong to ExpandedNodeId only.
    return readNodeIdBody(encoding, v);
}

OpcUa_StatusCode BinaryDecoder::readExpandedNodeId(OpcUa_ExpandedNodeId* v)
{
    OpcUa_ExpandedNodeId_Initialize(v);
    OpcUa_Byte encoding = 0;
    if (OpcUa_IsBad(readByte(&encoding)))
        return m_status;
    readNodeIdBody(encoding & 0x3F, &v->NodeId);
    if (encoding & 0x80)
        readString(&v->NamespaceUri);
    if (encoding & 0x40)
        readUInt32(&v->ServerIndex);
    if (OpcUa_IsBad(m_status))
        OpcUa_ExpandedNodeId_Clear(v);
    return m_status;
}

OpcUa_StatusCode BinaryDecoder::readLocalizedText(OpcUa_LocalizedText* v)
{
    std::memset(v, 0, sizeof(*v));
    OpcUa_Byte mask = 0;
    if (OpcUa_IsBad(readByte(&mask)))
        return m_status;
    if (mask & ~0x03)
        return fail(OpcUa_BadDecodingError);
    if (mask & 0x01)
        readString(&v->Locale);
    if (mask & 0x02)
        readString(&v->Text);
    if (OpcUa_IsBad(m_status))
        OpcUa_LocalizedText_Clear(v);
    return m_status;
}

OpcUa_StatusCode BinaryDecoder::decodeBody(const OpcUa_EncodeableType* type, OpcUa_Int32 length,
                                           OpcUa_ExtensionObject* v)
{
    // The body is decoded from its own bounded view so that it cannot read past its length.
    BinaryDecoder body(m_data + m_pos, static_cast<size_t>(length), m_limits);
    body.m_depth = m_depth;
    void* object = nullptr;
    OpcUa_StatusCode s = OpcUa_EncodeableObject_Create(const_cast<OpcUa_EncodeableType*>(type), &object);
    if (OpcUa_IsBad(s))
        return fail(s);
    s = body.readStructure(type, object);
    if (OpcUa_IsBad(s))
    {
        OpcUa_EncodeableObject_Delete(const_cast<OpcUa_EncodeableType*>(type), &object);
        return fail(s);
    }
    m_pos += static_cast<size_t>(length); // trailing bytes of a longer body are skipped
    v->TypeId.NodeId.Identifier.Numeric = type->TypeId;
    v->Encoding = OpcUa_ExtensionObjectEncoding_EncodeableObject;
    v->Body.EncodeableObject.Type = const_cast<OpcUa_EncodeableType*>(type);
    v->Body.EncodeableObject.Object = object;
    v->BodySize = length;
    return OpcUa_Good;
}

OpcUa_StatusCode BinaryDecoder::readExtensionObject(OpcUa_ExtensionObject* v)
{
    OpcUa_ExtensionObject_Initialize(v);
    if (!enter())
        return m_status;
    OpcUa_NodeId typeId;
    OpcUa_Byte encoding = 0;
    if (OpcUa_IsGood(readNodeId(&typeId)))
    {
        v->TypeId.NodeId = typeId;
        readByte(&encoding);
    }
    if (OpcUa_IsGood(m_status))
    {
        switch (encoding)
        {
        case 0x00:
            break;
        case 0x01:
        case 0x02:
        {
            const OpcUa_EncodeableType* type = nullptr;
            if (encoding == 0x01 && typeId.IdentifierType == OpcUa_IdentifierType_Numeric &&
                typeId.NamespaceIndex == 0)
                type = OpcUa_EncodeableTypeTable_FindByEncodingId(typeId.Identifier.Numeric);
            if (type != nullptr)
            {
                OpcUa_Int32 length = 0;
                if (OpcUa_IsGood(readLength(m_limits.maxByteStringLength, &length)))
                {
                    if (length < 0)
                        fail(OpcUa_BadDecodingError);
                    else
                        decodeBody(type, length, v);
                }
            }
            else if (OpcUa_IsGood(readByteString(&v->Body.Binary)))
            {
                v->Encoding = encoding == 0x01 ? OpcUa_ExtensionObjectEncoding_Binary
                                               : OpcUa_ExtensionObjectEncoding_Xml;
                v->BodySize = v->Body.Binary.Length < 0 ? 0 : v->Body.Binary.Length;
            }
            break;
        }
        default:
            fail(OpcUa_BadDecodingError);
            break;
        }
    }
    leave();
    if (OpcUa_IsBad(m_status))
        OpcUa_ExtensionObject_Clear(v);
    return m_status;
}

OpcUa_StatusCode BinaryDecoder::readDataValue(OpcUa_DataValue* v)
{
    std::memset(v, 0, sizeof(*v));
    // The frequent form: a scalar of fixed size and the fields after it, all within the bytes left
    // and its two nesting levels (DataValue, Variant) within the limit.
    if (m_pos + 2 <= m_goodEnd && m_depth + 2 <= m_limits.maxDepth)
    {
        const OpcUa_Byte* p = m_data + m_pos;
        const OpcUa_Byte mask = p[0];
        const size_t scalar = (mask & 0xC1) == 0x01 ? fixedScalarSize(p[1]) : 0;
        const size_t total = 2 + scalar + dataValueTailSize(mask);
        if (scalar > 0 && m_pos + total <= m_goodEnd)
        {
            readFixedScalar(p + 2, p[1], scalar, &v->Value);
            transferDataValueTail(p + 2 + scalar, mask, *v);
            m_pos += total;
            return OpcUa_Good;
        }
    }
    if (!enter())
        return m_status;
    OpcUa_Byte mask = 0;
    if (OpcUa_IsGood(readByte(&mask)) && (mask & 0xC0) != 0)
        fail(OpcUa_BadDecodingError);
    if (mask & 0x01)
        readVariant(&v->Value);
    const size_t tail = dataValueTailSize(mask);
    const OpcUa_Byte* p = nullptr;
    if (tail > 0 && OpcUa_IsGood(take(tail, &p)))
        transferDataValueTail(p, mask, *v);
    leave();
    if (OpcUa_IsBad(m_status))
        OpcUa_DataValue_Clear(v);
    return m_status;
}

OpcUa_StatusCode BinaryDecoder::readDiagnosticInfo(OpcUa_DiagnosticInfo* v)
{
    OpcUa_DiagnosticInfo_Initialize(v);
    if (!enter())
        return m_status;
    OpcUa_Byte mask = 0;
    if (OpcUa_IsGood(readByte(&mask)) && (mask & 0x80) != 0)
        fail(OpcUa_BadDecodingError);
    if (mask & 0x01)
        readInt32(&v->SymbolicId);
    if (mask & 0x02)
        readInt32(&v->NamespaceUri);
    if (mask & 0x08)
        readInt32(&v->Locale);
    if (mask & 0x04)
        readInt32(&v->LocalizedText);
    if (mask & 0x10)
        readString(&v->AdditionalInfo);
    if (mask & 0x20)
        readUInt32(&v->InnerStatusCode);
    if ((mask & 0x40) && OpcUa_IsGood(m_status))
    {
        void* block = nullptr;
        if (OpcUa_IsGood(allocate(1, sizeof(OpcUa_DiagnosticInfo), &block)))
        {
            v->InnerDiagnosticInfo = static_cast<OpcUa_DiagnosticInfo*>(block);
            readDiagnosticInfo(v->InnerDiagnosticInfo);
        }
    }
    leave();
    if (OpcUa_IsBad(m_status))
        OpcUa_DiagnosticInfo_Clear(v);
    return m_status;
}

OpcUa_StatusCode BinaryDecoder::readVariantArray(OpcUa_Byte type, OpcUa_Int32 count,
                                                 OpcUa_VariantArrayUnion* out)
{
    out->Array = nullptr;
    if (count <= 0)
        return m_status;
    size_t minimum = minWireSize(type, nullptr);
    if (minimum > 0 && static_cast<size_t>(count) > remaining() / minimum)
        return fail(OpcUa_BadDecodingError);
    size_t size = valueSize(type, nullptr);
    void* block = nullptr;
    if (OpcUa_IsBad(allocate(static_cast<size_t>(count), size, &block)))
        return m_status;
    auto* p = static_cast<OpcUa_Byte*>(block);
    if (type == OpcUaType_Boolean)
    {
        for (OpcUa_Int32 i = 0; i < count; ++i)
            readBoolean(p + i);
    }
    else if (isPlainKind(type))
    {
        readRaw(p, static_cast<size_t>(count) * size);
    }
    else
    {
        OpcUa_Int32 i = 0;
        switch (type)
        {
        case OpcUaType_String:
            i = readEach<OpcUa_String>(*this, block, count, [this](auto* e) { readString(e); });
            break;
        case OpcUaType_NodeId:
            i = readEach<OpcUa_NodeId>(*this, block, count, [this](auto* e) { readNodeId(e); });
            break;
        case OpcUaType_DataValue:
            i = readEach<OpcUa_DataValue>(*this, block, count, [this](auto* e) { readDataValue(e); });
            break;
        case OpcUaType_Variant:
            i = readEach<OpcUa_Variant>(*this, block, count, [this](auto* e) { readVariant(e); });
            break;
        default:
            for (; i < count && OpcUa_IsGood(m_status); ++i)
                readValue(type, nullptr, p + static_cast<size_t>(i) * size);
            break;
        }
        if (OpcUa_IsBad(m_status))
            count = i; // the failed element was left initialised, the ones after it untouched
    }
    if (OpcUa_IsBad(m_status))
    {
        clearArray(type, nullptr, block, isPlainKind(type) ? 0 : count);
        return m_status;
    }
    out->Array = block;
    return OpcUa_Good;
}

OpcUa_StatusCode BinaryDecoder::readVariant(OpcUa_Variant* v)
{
    std::memset(v, 0, sizeof(*v));
    if (!enter())
        return m_status;
    OpcUa_Byte mask = 0;
    readByte(&mask);
    OpcUa_Byte type = mask & 0x3F;
    // Scalars of fixed size (numbers, Boolean, DateTime, StatusCode): one bounds check, no call.
    if (const size_t size = fixedScalarSize(mask); size > 0 && m_status == OpcUa_Good)
    {
        const OpcUa_Byte* p = nullptr;
        if (OpcUa_IsGood(take(size, &p)))
            readFixedScalar(p, type, size, v);
        leave();
        return m_status;
    }
    if (OpcUa_IsGood(m_status) && (type > OpcUaType_DiagnosticInfo || ((mask & 0x40) && !(mask & 0x80))))
        fail(OpcUa_BadDecodingError);
    if (OpcUa_IsGood(m_status) && (mask & 0x80))
    {
        OpcUa_Int32 count = 0;
        OpcUa_VariantArrayUnion elements;
        elements.Array = nullptr;
        if (type == OpcUaType_Null)
            fail(OpcUa_BadDecodingError);
        else if (OpcUa_IsGood(readCount(type, &count)))
            readVariantArray(type, count, &elements);
        if (OpcUa_IsGood(m_status))
        {
            v->Datatype = type;
            v->ArrayType = OpcUa_VariantArrayType_Array;
            v->Value.Array.Length = count;
            v->Value.Array.Value = elements;
        }
        if (OpcUa_IsGood(m_status) && (mask & 0x40))
        {
            OpcUa_Int32 dimCount = 0;
            OpcUa_VariantArrayUnion dims;
            dims.Array = nullptr;
            if (OpcUa_IsGood(readCount(OpcUaType_Int32, &dimCount)))
                readVariantArray(OpcUaType_Int32, dimCount, &dims);
            if (OpcUa_IsGood(m_status))
            {
                int64_t product = dimCount > 0 ? 1 : -1;
                for (OpcUa_Int32 i = 0; i < dimCount && product >= 0; ++i)
                {
                    if (dims.Int32Array[i] < 0)
                        product = -1;
                    else
                        product *= dims.Int32Array[i];
                    if (product > 0x7FFFFFFF)
                        product = -1;
                }
                if (product != count)
                {
                    OpcUa_Memory_Free(dims.Array);
                    fail(OpcUa_BadDecodingError);
                }
                else
                {
                    v->ArrayType = OpcUa_VariantArrayType_Matrix;
                    v->Value.Matrix.NoOfDimensions = dimCount;
                    v->Value.Matrix.Dimensions = dims.Int32Array;
                    v->Value.Matrix.Value = elements;
                }
            }
        }
    }
    else if (OpcUa_IsGood(m_status))
    {
        if (type == OpcUaType_Variant)
        {
            fail(OpcUa_BadDecodingError);
        }
        else if (isPointerScalar(type))
        {
            void* block = nullptr;
            if (OpcUa_IsGood(allocate(1, valueSize(type, nullptr), &block)))
            {
                initValue(type, nullptr, block);
                v->Datatype = type;
                v->Value.NodeId = static_cast<OpcUa_NodeId*>(block);
                readValue(type, nullptr, block);
            }
        }
        else if (type != OpcUaType_Null)
        {
            v->Datatype = type;
            readValue(type, nullptr, &v->Value);
        }
    }
    leave();
    if (OpcUa_IsBad(m_status))
        OpcUa_Variant_Clear(v);
    return m_status;
}

OpcUa_StatusCode BinaryDecoder::readValue(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, void* value)
{
    switch (kind)
    {
    case OpcUaType_Boolean:
        return readBoolean(static_cast<OpcUa_Boolean*>(value));
    case OpcUaType_SByte:
    case OpcUaType_Byte:
        return readFixed<1>(value);
    case OpcUaType_Int16:
    case OpcUaType_UInt16:
        return readFixed<2>(value);
    case OpcUaType_Int32:
    case OpcUaType_UInt32:
    case OpcUaType_Float:
    case OpcUaType_StatusCode:
    case OpcUa_FieldKind_Enumeration:
        return readFixed<4>(value);
    case OpcUaType_Int64:
    case OpcUaType_UInt64:
    case OpcUaType_Double:
        return readFixed<8>(value);
    case OpcUaType_String:
        return readString(static_cast<OpcUa_String*>(value));
    case OpcUaType_DateTime:
        return readDateTime(static_cast<OpcUa_DateTime*>(value));
    case OpcUaType_Guid:
        return readGuid(static_cast<OpcUa_Guid*>(value));
    case OpcUaType_ByteString:
    case OpcUaType_XmlElement:
        return readByteString(static_cast<OpcUa_ByteString*>(value));
    case OpcUaType_NodeId:
        return readNodeId(static_cast<OpcUa_NodeId*>(value));
    case OpcUaType_ExpandedNodeId:
        return readExpandedNodeId(static_cast<OpcUa_ExpandedNodeId*>(value));
    case OpcUaType_QualifiedName:
        return readQualifiedName(static_cast<OpcUa_QualifiedName*>(value));
    case OpcUaType_LocalizedText:
        return readLocalizedText(static_cast<OpcUa_LocalizedText*>(value));
    case OpcUaType_ExtensionObject:
        return readExtensionObject(static_cast<OpcUa_ExtensionObject*>(value));
    case OpcUaType_DataValue:
        return readDataValue(static_cast<OpcUa_DataValue*>(value));
    case OpcUaType_Variant:
        return readVariant(static_cast<OpcUa_Variant*>(value));
    case OpcUaType_DiagnosticInfo:
        return readDiagnosticInfo(static_cast<OpcUa_DiagnosticInfo*>(value));
    case OpcUa_FieldKind_Structure:
        return readStructure(type, value);
    default:
        return fail(OpcUa_BadDecodingError);
    }
}

OpcUa_StatusCode BinaryDecoder::readArray(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type,
                                          void** elements, OpcUa_Int32* count)
{
    *elements = nullptr;
    *count = 0;
    OpcUa_Int32 n = 0;
    if (OpcUa_IsBad(readCount(kind, &n)) || n == 0)
        return m_status;
    if (kind >= 1 && kind <= 25)
    {
        OpcUa_VariantArrayUnion out;
        if (OpcUa_IsGood(readVariantArray(static_cast<OpcUa_Byte>(kind), n, &out)))
        {
            *elements = out.Array;
            *count = n;
        }
        return m_status;
    }
    size_t minimum = minWireSize(kind, type);
    if (minimum > 0 && static_cast<size_t>(n) > remaining() / minimum)
        return fail(OpcUa_BadDecodingError);
    size_t size = valueSize(kind, type);
    void* block = nullptr;
    if (size == 0)
        return fail(OpcUa_BadDecodingError);
    if (OpcUa_IsBad(allocate(static_cast<size_t>(n), size, &block)))
        return m_status;
    auto* p = static_cast<OpcUa_Byte*>(block);
    if (kind == OpcUa_FieldKind_Enumeration)
    {
        readRaw(p, static_cast<size_t>(n) * size);
    }
    else
    {
        OpcUa_Int32 i = 0;
        for (; i < n && OpcUa_IsGood(m_status); ++i)
            readValue(kind, type, p + static_cast<size_t>(i) * size);
        if (OpcUa_IsBad(m_status))
            n = i; // the failed element was left initialised, the ones after it untouched
    }
    if (OpcUa_IsBad(m_status))
    {
        clearArray(kind, type, block, kind == OpcUa_FieldKind_Enumeration ? 0 : n);
        return m_status;
    }
    *elements = block;
    *count = n;
    return OpcUa_Good;
}

bool BinaryDecoder::beginStructureArray(const OpcUa_EncodeableType* type, void** block, OpcUa_Int32* count)
{
    *block = nullptr;
    *count = 0;
    OpcUa_Int32 n = 0;
    if (OpcUa_IsBad(readCount(OpcUa_FieldKind_Structure, &n)) || n == 0)
        return false;
    size_t minimum = minWireSize(OpcUa_FieldKind_Structure, type);
    if (minimum > 0 && static_cast<size_t>(n) > remaining() / minimum)
    {
        fail(OpcUa_BadDecodingError);
        return false;
    }
    if (OpcUa_IsBad(allocate(static_cast<size_t>(n), type->AllocationSize, block)))
        return false;
    if (!enter())
    {
        OpcUa_Memory_Free(*block);
        *block = nullptr;
        return false;
    }
    *count = n;
    return true;
}

bool BinaryDecoder::enterStructure(const OpcUa_EncodeableType* type, void* value)
{
    // Zero bytes are safe to clear for every kind, and each field's reader sets its initial state
    // before it reads; a failure clears back to the proper initial state.
    std::memset(value, 0, type->AllocationSize);
    if (!enter()) // structures count too, in case one ever holds an array of itself
    {
        type->Initialize(value);
        return false;
    }
    return true;
}

OpcUa_StatusCode BinaryDecoder::leaveStructure(const OpcUa_EncodeableType* type, void* value)
{
    leave();
    if (OpcUa_IsBad(m_status))
        type->Clear(value);
    return m_status;
}

OpcUa_StatusCode BinaryDecoder::readStructure(const OpcUa_EncodeableType* type, void* value)
{
    if (type == nullptr || value == nullptr)
        return fail(OpcUa_BadInvalidArgument);
    if (type->Decode == nullptr)
        return readStructureFields(type, value);
    OpcUa_StatusCode s = type->Decode(value, this);
    return OpcUa_IsBad(s) ? fail(s) : m_status;
}

OpcUa_StatusCode BinaryDecoder::readStructureFields(const OpcUa_EncodeableType* type, void* value)
{
    if (type == nullptr || value == nullptr)
        return fail(OpcUa_BadInvalidArgument);
    if (!enterStructure(type, value))
        return m_status;
    auto* base = static_cast<OpcUa_Byte*>(value);
    OpcUa_UInt32 selector = 0;
    if (type->StructureKind != OpcUa_StructureKind_Plain && OpcUa_IsGood(readUInt32(&selector)))
        std::memcpy(base, &selector, 4);
    bool unionMatched = type->StructureKind != OpcUa_StructureKind_Union || selector == 0;
    for (OpcUa_UInt32 i = 0; i < type->NoOfFields && OpcUa_IsGood(m_status); ++i)
    {
        const OpcUa_FieldDescription& f = type->Fields[i];
        if (!fieldPresent(type, f, selector, &unionMatched))
            continue;
        if (f.IsArray)
            readArray(f.Kind, f.FieldType, reinterpret_cast<void**>(base + f.Offset),
                      reinterpret_cast<OpcUa_Int32*>(base + f.CountOffset));
        else
            readValue(f.Kind, f.FieldType, base + f.Offset);
    }
    if (OpcUa_IsGood(m_status) && !unionMatched)
        fail(OpcUa_BadDecodingError);
    return leaveStructure(type, value);
}

OpcUa_StatusCode BinaryDecoder::readMessage(OpcUa_EncodeableType** type, void** object,
                                            OpcUa_UInt32* encodingId)
{
    if (type == nullptr || object == nullptr)
        return OpcUa_BadInvalidArgument;
    *type = nullptr;
    *object = nullptr;
    if (encodingId != nullptr)
        *encodingId = 0;
    OpcUa_NodeId id;
    if (OpcUa_IsBad(readNodeId(&id)))
        return m_status;
    OpcUa_EncodeableType* t = nullptr;
    if (id.IdentifierType == OpcUa_IdentifierType_Numeric && id.NamespaceIndex == 0)
    {
        if (encodingId != nullptr)
            *encodingId = id.Identifier.Numeric;
        t = OpcUa_EncodeableTypeTable_FindByEncodingId(id.Identifier.Numeric);
    }
    OpcUa_NodeId_Clear(&id);
    if (t == nullptr)
        return fail(OpcUa_BadDecodingError);
    void* p = nullptr;
    OpcUa_StatusCode s = OpcUa_EncodeableObject_Create(t, &p);
    if (OpcUa_IsBad(s))
        return fail(s);
    if (OpcUa_IsBad(readStructure(t, p)))
    {
        OpcUa_EncodeableObject_Delete(t, &p);
        return m_status;
    }
    *type = t;
    *object = p;
    return OpcUa_Good;
}

} // namespace OpcUa
