// Binary stream encoder and decoder of the stack (C++ interface for the transport and the tests).
#pragma once

#include <opcua.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

struct _OpcUa_Encoder
{
};
struct _OpcUa_Decoder
{
};

// The hot primitive reads and writes below are meant to melt into their callers (the generated
// per-structure code): the compiler's own inlining limits would keep some of them as calls.
#if defined(__GNUC__)
#define OPCUA_CODEC_INLINE [[gnu::always_inline]] inline
#else
#define OPCUA_CODEC_INLINE inline
#endif

namespace OpcUa
{

// Serializer limits; -1 in the configuration record selects the defaults of opcua_proxystub.h.
struct OPCUA_EXPORT EncodingLimits
{
    int32_t maxAlloc = OPCUA_SERIALIZER_DEFAULT_MAXALLOC;
    int32_t maxStringLength = OPCUA_SERIALIZER_DEFAULT_MAXSTRINGLENGTH;
    int32_t maxByteStringLength = OPCUA_SERIALIZER_DEFAULT_MAXBYTESTRINGLENGTH;
    int32_t maxArrayLength = OPCUA_SERIALIZER_DEFAULT_MAXARRAYLENGTH;
    int32_t maxMessageSize = OPCUA_SERIALIZER_DEFAULT_MAXMESSAGESIZE;
    uint32_t maxDepth = OPCUA_SERIALIZER_MAXRECURSIONDEPTH;

    // The limits of the configuration record now in force.
    static EncodingLimits current();
};

// Writes the binary encoding into a growing buffer of its own. Every write returns Good or the
// first failure (BadEncodingLimitsExceeded past maxMessageSize or another limit,
// BadEncodingError for a value that cannot be encoded, BadOutOfMemory); after a failure
// the encoder keeps failing until reset().
class OPCUA_EXPORT BinaryEncoder : public _OpcUa_Encoder
{
public:
    explicit BinaryEncoder(const EncodingLimits& limits = EncodingLimits::current());
    ~BinaryEncoder();
    BinaryEncoder(const BinaryEncoder&) = delete;
    BinaryEncoder& operator=(const BinaryEncoder&) = delete;

    // A counting encoder writes nothing and only measures (used for GetSize).
    static BinaryEncoder counting(const EncodingLimits& limits = EncodingLimits::current());

    const OpcUa_Byte* data() const { return m_data; }
    size_t size() const { return m_size; }
    OpcUa_StatusCode status() const { return m_status; }
    const EncodingLimits& limits() const { return m_limits; }
    // Drops the content and the failure state (keeps the buffer's storage).
    void reset();
    // Hands the content over as a ByteString (allocated with OpcUa_Memory_Alloc) and resets.
    OpcUa_StatusCode detach(OpcUa_ByteString* out);

    OPCUA_CODEC_INLINE OpcUa_StatusCode writeBoolean(OpcUa_Boolean v)
    {
        OpcUa_Byte b = v ? 1 : 0;
        return writeFixed<1>(&b);
    }
    OPCUA_CODEC_INLINE OpcUa_StatusCode writeSByte(OpcUa_SByte v) { return writeFixed<1>(&v); }
    OPCUA_CODEC_INLINE OpcUa_StatusCode writeByte(OpcUa_Byte v) { return writeFixed<1>(&v); }
    OPCUA_CODEC_INLINE OpcUa_StatusCode writeInt16(OpcUa_Int16 v) { return writeFixed<2>(&v); }
    OPCUA_CODEC_INLINE OpcUa_StatusCode writeUInt16(OpcUa_UInt16 v) { return writeFixed<2>(&v); }
    OPCUA_CODEC_INLINE OpcUa_StatusCode writeInt32(OpcUa_Int32 v) { return writeFixed<4>(&v); }
    OPCUA_CODEC_INLINE OpcUa_StatusCode writeUInt32(OpcUa_UInt32 v) { return writeFixed<4>(&v); }
    OPCUA_CODEC_INLINE OpcUa_StatusCode writeInt64(OpcUa_Int64 v) { return writeFixed<8>(&v); }
    OPCUA_CODEC_INLINE OpcUa_StatusCode writeUInt64(OpcUa_UInt64 v) { return writeFixed<8>(&v); }
    OPCUA_CODEC_INLINE OpcUa_StatusCode writeFloat(OpcUa_Float v) { return writeFixed<4>(&v); }
    OPCUA_CODEC_INLINE OpcUa_StatusCode writeDouble(OpcUa_Double v) { return writeFixed<8>(&v); }
    OPCUA_CODEC_INLINE OpcUa_StatusCode writeString(const OpcUa_String& v)
    {
        return v.strContent == nullptr ? writeInt32(-1) : writeStringContent(v);
    }
    OPCUA_CODEC_INLINE OpcUa_StatusCode writeDateTime(const OpcUa_DateTime& v) { return writeFixed<8>(&v); }
    OpcUa_StatusCode writeGuid(const OpcUa_Guid& v);
    OpcUa_StatusCode writeByteString(const OpcUa_ByteString& v);
    OpcUa_StatusCode writeXmlElement(const OpcUa_XmlElement& v) { return writeByteString(v); }
    OPCUA_CODEC_INLINE OpcUa_StatusCode writeNodeId(const OpcUa_NodeId& v)
    {
        // Numeric ones inline when the longest numeric form fits.
        if (v.IdentifierType == OpcUa_IdentifierType_Numeric && m_size + 7 <= m_fastEnd) [[likely]]
        {
            m_size += putNumericNodeId(m_data + m_size, v.NamespaceIndex, v.Identifier.Numeric, 0);
            return OpcUa_Good;
        }
        return writeNodeIdBody(v, 0);
    }
    OpcUa_StatusCode writeExpandedNodeId(const OpcUa_ExpandedNodeId& v);
    OpcUa_StatusCode writeStatusCode(OpcUa_StatusCode v) { return writeUInt32(v); }
    OPCUA_CODEC_INLINE OpcUa_StatusCode writeQualifiedName(const OpcUa_QualifiedName& v)
    {
        writeUInt16(v.NamespaceIndex);
        return writeString(v.Name);
    }
    OpcUa_StatusCode writeLocalizedText(const OpcUa_LocalizedText& v);
    OpcUa_StatusCode writeExtensionObject(const OpcUa_ExtensionObject& v);
    OpcUa_StatusCode writeDataValue(const OpcUa_DataValue& v);
    OpcUa_StatusCode writeVariant(const OpcUa_Variant& v);
    OpcUa_StatusCode writeDiagnosticInfo(const OpcUa_DiagnosticInfo& v);
    // Raw bytes (no length prefix).
    OpcUa_StatusCode writeRaw(const void* bytes, size_t count);

    // One value of a field kind (built-in type id, or a structure/enumeration of opcua_encodeable.h).
    OpcUa_StatusCode writeValue(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, const void* value);
    // Int32 count (-1 for a null pointer) and the elements.
    OpcUa_StatusCode writeArray(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, const void* elements,
                                OpcUa_Int32 count);
    // A structure of type, through its descriptor's Encode.
    OpcUa_StatusCode writeStructure(const OpcUa_EncodeableType* type, const void* value);
    // The fields of a structure from its descriptor's field table (the generic Encode).
    OpcUa_StatusCode writeStructureFields(const OpcUa_EncodeableType* type, const void* value);
    // Bracket of a structure's own field writes (generated encoders): counts its nesting.
    bool enterStructure() { return enter(); }
    OpcUa_StatusCode leaveStructure()
    {
        leave();
        return m_status;
    }
    // Start of an array whose elements the caller writes (generated encoders): the count (-1 for
    // a null pointer) after the limit check. True when count elements follow; they are one
    // nesting level deeper, closed by leaveStructure() after the last.
    bool beginArray(const void* elements, OpcUa_Int32 count);
    // A service message: the NodeId of the type's binary encoding, then the structure.
    OpcUa_StatusCode writeMessage(const OpcUa_EncodeableType* type, const void* value);

    static BinaryEncoder* from(OpcUa_Encoder* e) { return static_cast<BinaryEncoder*>(e); }

private:
    struct CountingTag
    {
    };
    BinaryEncoder(const EncodingLimits& limits, CountingTag);
    OpcUa_StatusCode fail(OpcUa_StatusCode s);
    OpcUa_StatusCode reserve(size_t count);
    template <size_t N> OPCUA_CODEC_INLINE OpcUa_StatusCode writeFixed(const void* bytes)
    {
        // m_fastEnd is 0 after a failure and in a counting encoder: those take the checked path.
        if (m_size + N <= m_fastEnd) [[likely]]
        {
            std::memcpy(m_data + m_size, bytes, N);
            m_size += N;
            return OpcUa_Good;
        }
        return writeRaw(bytes, N);
    }
    OpcUa_StatusCode writeNodeIdBody(const OpcUa_NodeId& v, OpcUa_Byte extraFlags);
    // The most compact numeric NodeId form at p (room for 7 bytes); returns its size.
    OPCUA_CODEC_INLINE static size_t putNumericNodeId(OpcUa_Byte* p, OpcUa_UInt16 ns, OpcUa_UInt32 id,
                                                      OpcUa_Byte flags)
    {
        if (ns == 0 && id <= 0xFF)
        {
            p[0] = flags;
            p[1] = static_cast<OpcUa_Byte>(id);
            return 2;
        }
        if (ns <= 0xFF && id <= 0xFFFF)
        {
            p[0] = static_cast<OpcUa_Byte>(0x01 | flags);
            p[1] = static_cast<OpcUa_Byte>(ns);
            p[2] = static_cast<OpcUa_Byte>(id);
            p[3] = static_cast<OpcUa_Byte>(id >> 8);
            return 4;
        }
        p[0] = static_cast<OpcUa_Byte>(0x02 | flags);
        std::memcpy(p + 1, &ns, 2);
        std::memcpy(p + 3, &id, 4);
        return 7;
    }
    OpcUa_StatusCode writeStringContent(const OpcUa_String& v);
    // Writes count bytes that fill(OpcUa_Byte*) puts in place, straight into the buffer when it
    // has room (a gathered copy would stall on reading back freshly stored bytes).
    template <typename Fill> OpcUa_StatusCode writeFilled(size_t count, Fill fill);
    OpcUa_StatusCode writeVariantArray(OpcUa_Byte type, const void* elements, OpcUa_Int32 count);
    OPCUA_CODEC_INLINE bool enter()
    {
        if (++m_depth > m_limits.maxDepth) [[unlikely]]
            return tooDeep();
        return true;
    }
    bool tooDeep();
    void leave() { --m_depth; }

    EncodingLimits m_limits;
    OpcUa_Byte* m_data = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
    size_t m_fastEnd = 0; // writes up to here need no growth and stay within maxMessageSize
    size_t m_maxSize = 0;
    bool m_counting = false;
    uint32_t m_depth = 0;
    OpcUa_StatusCode m_status = OpcUa_Good;
};

// Reads the binary encoding from a buffer it does not own. Lengths and counts from the input are
// checked against the remaining bytes and the limits before anything is allocated. A failed read
// returns BadDecodingError (malformed or truncated input) or BadEncodingLimitsExceeded, and leaves
// its output initialised and owning nothing; the decoder then keeps failing.
class OPCUA_EXPORT BinaryDecoder : public _OpcUa_Decoder
{
public:
    BinaryDecoder(const void* data, size_t size, const EncodingLimits& limits = EncodingLimits::current());
    BinaryDecoder(const BinaryDecoder&) = delete;
    BinaryDecoder& operator=(const BinaryDecoder&) = delete;

    size_t position() const { return m_pos; }
    size_t remaining() const { return m_size - m_pos; }
    OpcUa_StatusCode status() const { return m_status; }
    const EncodingLimits& limits() const { return m_limits; }

    OPCUA_CODEC_INLINE OpcUa_StatusCode readBoolean(OpcUa_Boolean* v)
    {
        OpcUa_Byte b = 0;
        OpcUa_StatusCode s = readFixed<1>(&b);
        *v = b != 0 ? OpcUa_True : OpcUa_False;
        return s;
    }
    OPCUA_CODEC_INLINE OpcUa_StatusCode readSByte(OpcUa_SByte* v) { return readFixed<1>(v); }
    OPCUA_CODEC_INLINE OpcUa_StatusCode readByte(OpcUa_Byte* v) { return readFixed<1>(v); }
    OPCUA_CODEC_INLINE OpcUa_StatusCode readInt16(OpcUa_Int16* v) { return readFixed<2>(v); }
    OPCUA_CODEC_INLINE OpcUa_StatusCode readUInt16(OpcUa_UInt16* v) { return readFixed<2>(v); }
    OPCUA_CODEC_INLINE OpcUa_StatusCode readInt32(OpcUa_Int32* v) { return readFixed<4>(v); }
    OPCUA_CODEC_INLINE OpcUa_StatusCode readUInt32(OpcUa_UInt32* v) { return readFixed<4>(v); }
    OPCUA_CODEC_INLINE OpcUa_StatusCode readInt64(OpcUa_Int64* v) { return readFixed<8>(v); }
    OPCUA_CODEC_INLINE OpcUa_StatusCode readUInt64(OpcUa_UInt64* v) { return readFixed<8>(v); }
    OPCUA_CODEC_INLINE OpcUa_StatusCode readFloat(OpcUa_Float* v) { return readFixed<4>(v); }
    OPCUA_CODEC_INLINE OpcUa_StatusCode readDouble(OpcUa_Double* v) { return readFixed<8>(v); }
    OPCUA_CODEC_INLINE OpcUa_StatusCode readString(OpcUa_String* v)
    {
        std::memset(v, 0, sizeof(*v));
        if (m_pos + 4 <= m_goodEnd) [[likely]]
        {
            OpcUa_Int32 length;
            std::memcpy(&length, m_data + m_pos, 4);
            if (length == -1) // the null string, frequent enough to skip the call
            {
                m_pos += 4;
                return OpcUa_Good;
            }
        }
        return readStringContent(v);
    }
    OpcUa_StatusCode readDateTime(OpcUa_DateTime* v);
    OpcUa_StatusCode readGuid(OpcUa_Guid* v);
    OpcUa_StatusCode readByteString(OpcUa_ByteString* v);
    OpcUa_StatusCode readXmlElement(OpcUa_XmlElement* v) { return readByteString(v); }
    OPCUA_CODEC_INLINE OpcUa_StatusCode readNodeId(OpcUa_NodeId* v)
    {
        // The numeric forms inline when the longest of them fits in the remaining bytes.
        if (m_pos + 7 <= m_goodEnd && m_data[m_pos] <= 0x02) [[likely]]
        {
            std::memset(v, 0, sizeof(*v));
            m_pos += 1 + takeNumericNodeId(m_data + m_pos + 1, m_data[m_pos], v);
            return OpcUa_Good;
        }
        return readNodeIdOther(v);
    }
    OpcUa_StatusCode readExpandedNodeId(OpcUa_ExpandedNodeId* v);
    OpcUa_StatusCode readStatusCode(OpcUa_StatusCode* v) { return readUInt32(v); }
    OPCUA_CODEC_INLINE OpcUa_StatusCode readQualifiedName(OpcUa_QualifiedName* v)
    {
        std::memset(v, 0, sizeof(*v));
        readUInt16(&v->NamespaceIndex);
        readString(&v->Name); // owns nothing when it fails
        if (m_status != OpcUa_Good)
            v->NamespaceIndex = 0;
        return m_status;
    }
    OpcUa_StatusCode readLocalizedText(OpcUa_LocalizedText* v);
    OpcUa_StatusCode readExtensionObject(OpcUa_ExtensionObject* v);
    OpcUa_StatusCode readDataValue(OpcUa_DataValue* v);
    OpcUa_StatusCode readVariant(OpcUa_Variant* v);
    OpcUa_StatusCode readDiagnosticInfo(OpcUa_DiagnosticInfo* v);
    // count raw bytes.
    OpcUa_StatusCode readRaw(void* bytes, size_t count);

    OpcUa_StatusCode readValue(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, void* value);
    // Reads a count and the elements into a new block (*elements null and *count 0 for an empty or
    // null array).
    OpcUa_StatusCode readArray(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, void** elements,
                               OpcUa_Int32* count);
    // A structure of type into an uninitialised value, through its descriptor's Decode.
    OpcUa_StatusCode readStructure(const OpcUa_EncodeableType* type, void* value);
    // The fields from the descriptor's field table (the generic Decode).
    OpcUa_StatusCode readStructureFields(const OpcUa_EncodeableType* type, void* value);
    // Bracket of a structure's own field reads (generated decoders): enterStructure zero-fills the
    // value and counts its nesting (false: the value is initialised and the read fails);
    // leaveStructure clears the value when a read failed and returns the status.
    bool enterStructure(const OpcUa_EncodeableType* type, void* value);
    OpcUa_StatusCode leaveStructure(const OpcUa_EncodeableType* type, void* value);
    // Nesting bracket of a value whose reader sets every field itself, also after a failure
    // (generated decoders): false when the read already failed or the nesting is too deep.
    bool enterLevel() { return enter(); }
    void leaveLevel() { leave(); }
    // Start of an array of structures of type that the caller reads element by element (generated
    // decoders): the count is checked against the limits and the remaining bytes, and a block for
    // the elements allocated (uninitialised). True when count > 0 elements follow, one nesting
    // level deeper (close with leaveLevel() after the last, also after a failure).
    bool beginStructureArray(const OpcUa_EncodeableType* type, void** block, OpcUa_Int32* count);
    // A service message: the encoding NodeId, looked up in the type table, then a new object of that
    // type. BadDecodingError for an unknown encoding id (*encodingId, when given, receives the id
    // read: 0 when it is not numeric in namespace 0).
    OpcUa_StatusCode readMessage(OpcUa_EncodeableType** type, void** object,
                                 OpcUa_UInt32* encodingId = nullptr);

    static BinaryDecoder* from(OpcUa_Decoder* d) { return static_cast<BinaryDecoder*>(d); }

private:
    OpcUa_StatusCode fail(OpcUa_StatusCode s);
    OpcUa_StatusCode take(size_t count, const OpcUa_Byte** bytes);
    template <size_t N> OPCUA_CODEC_INLINE OpcUa_StatusCode readFixed(void* bytes)
    {
        if (m_pos + N <= m_goodEnd) [[likely]]
        {
            std::memcpy(bytes, m_data + m_pos, N);
            m_pos += N;
            return OpcUa_Good;
        }
        return readRaw(bytes, N);
    }
    OpcUa_StatusCode readNodeIdBody(OpcUa_Byte encoding, OpcUa_NodeId* v);
    OpcUa_StatusCode readNodeIdOther(OpcUa_NodeId* v);
    // The identifier of numeric form 0, 1 or 2 from p into a zeroed v; returns the bytes it took.
    OPCUA_CODEC_INLINE static size_t takeNumericNodeId(const OpcUa_Byte* p, OpcUa_Byte form, OpcUa_NodeId* v)
    {
        if (form == 0x00)
        {
            v->Identifier.Numeric = p[0];
            return 1;
        }
        if (form == 0x01)
        {
            v->NamespaceIndex = p[0];
            v->Identifier.Numeric = static_cast<OpcUa_UInt32>(p[1] | (p[2] << 8));
            return 3;
        }
        std::memcpy(&v->NamespaceIndex, p, 2);
        std::memcpy(&v->Identifier.Numeric, p + 2, 4);
        return 6;
    }
    OpcUa_StatusCode readStringContent(OpcUa_String* v);
    OpcUa_StatusCode readLength(OpcUa_Int32 limit, OpcUa_Int32* length);
    OpcUa_StatusCode readCount(OpcUa_UInt16 kind, OpcUa_Int32* count);
    OpcUa_StatusCode allocate(size_t count, size_t elementSize, void** block);
    OpcUa_StatusCode readVariantArray(OpcUa_Byte type, OpcUa_Int32 count, OpcUa_VariantArrayUnion* out);
    OpcUa_StatusCode decodeBody(const OpcUa_EncodeableType* type, OpcUa_Int32 length,
                                OpcUa_ExtensionObject* v);
    OPCUA_CODEC_INLINE bool enter()
    {
        if (m_status != OpcUa_Good || ++m_depth > m_limits.maxDepth) [[unlikely]]
            return cannotEnter();
        return true;
    }
    bool cannotEnter();
    void leave() { --m_depth; }

    const OpcUa_Byte* m_data;
    size_t m_size;
    size_t m_goodEnd; // m_size while the status is good, else 0: one compare in the fast paths
    size_t m_pos = 0;
    EncodingLimits m_limits;
    uint32_t m_depth = 0;
    OpcUa_StatusCode m_status = OpcUa_Good;
};

} // namespace OpcUa
