// Initialise, clear, copy and compare of the built-in types.
#include "structure_codec.h"

#include <cmath>
#include <cstring>

namespace
{
template <typename T> int orderOf(const T& a, const T& b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

int compareBytes(const OpcUa_Byte* a, OpcUa_Int32 la, const OpcUa_Byte* b, OpcUa_Int32 lb)
{
    bool nullA = la < 0;
    bool nullB = lb < 0;
    if ((la > 0 && a == nullptr) || (lb > 0 && b == nullptr))
        return orderOf(a != nullptr, b != nullptr); // a length without bytes: order it, never read it
    if (nullA || nullB)
        return nullA == nullB ? 0 : (nullA ? -1 : 1);
    OpcUa_Int32 n = la < lb ? la : lb;
    int c = n > 0 ? std::memcmp(a, b, static_cast<size_t>(n)) : 0;
    if (c != 0)
        return c < 0 ? -1 : 1;
    return orderOf(la, lb);
}

template <typename T>
T* duplicate(const T* source, OpcUa_StatusCode (*copy)(const T*, T*), OpcUa_StatusCode* status)
{
    *status = OpcUa_Good;
    if (source == nullptr)
        return nullptr;
    T* p = static_cast<T*>(OpcUa_Memory_Alloc(sizeof(T)));
    if (p == nullptr)
    {
        *status = OpcUa_BadOutOfMemory;
        return nullptr;
    }
    *status = copy(source, p);
    if (OpcUa_IsBad(*status))
    {
        OpcUa_Memory_Free(p);
        return nullptr;
    }
    return p;
}

OpcUa_StatusCode copyGuidPtr(const OpcUa_Guid* s, OpcUa_Guid* t)
{
    *t = *s;
    return OpcUa_Good;
}

int compareFloat(double a, double b)
{
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) == std::isnan(b) ? 0 : (std::isnan(a) ? -1 : 1);
    return orderOf(a, b);
}
} // namespace

extern "C"
{

    extern OPCUA_EXPORT const OpcUa_Guid OpcUa_Guid_Null;
    const OpcUa_Guid OpcUa_Guid_Null = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

#define OPCUA_PLAIN_BUILTIN(T, CMP)                                                                          \
    OPCUA_EXPORT OpcUa_Void OpcUa_##T##_Initialize(OpcUa_##T* v)                                             \
    {                                                                                                        \
        if (v)                                                                                               \
            std::memset(v, 0, sizeof(*v));                                                                   \
    }                                                                                                        \
    OPCUA_EXPORT OpcUa_Void OpcUa_##T##_Clear(OpcUa_##T* v)                                                  \
    {                                                                                                        \
        if (v)                                                                                               \
            std::memset(v, 0, sizeof(*v));                                                                   \
    }                                                                                                        \
    OPCUA_EXPORT OpcUa_StatusCode OpcUa_##T##_CopyTo(const OpcUa_##T* s, OpcUa_##T* t)                       \
    {                                                                                                        \
        if (!s || !t)                                                                                        \
            return OpcUa_BadInvalidArgument;                                                                 \
        *t = *s;                                                                                             \
        return OpcUa_Good;                                                                                   \
    }                                                                                                        \
    OPCUA_EXPORT OpcUa_Int OpcUa_##T##_Compare(const OpcUa_##T* a, const OpcUa_##T* b)                       \
    {                                                                                                        \
        return CMP;                                                                                          \
    }

    OPCUA_PLAIN_BUILTIN(Boolean, orderOf(*a != 0, *b != 0))
    OPCUA_PLAIN_BUILTIN(SByte, orderOf(*a, *b))
    OPCUA_PLAIN_BUILTIN(Byte, orderOf(*a, *b))
    OPCUA_PLAIN_BUILTIN(Int16, orderOf(*a, *b))
    OPCUA_PLAIN_BUILTIN(UInt16, orderOf(*a, *b))
    OPCUA_PLAIN_BUILTIN(Int32, orderOf(*a, *b))
    OPCUA_PLAIN_BUILTIN(UInt32, orderOf(*a, *b))
    OPCUA_PLAIN_BUILTIN(Int64, orderOf(*a, *b))
    OPCUA_PLAIN_BUILTIN(UInt64, orderOf(*a, *b))
    OPCUA_PLAIN_BUILTIN(Float, compareFloat(*a, *b))
    OPCUA_PLAIN_BUILTIN(Double, compareFloat(*a, *b))
    OPCUA_PLAIN_BUILTIN(StatusCode, orderOf(*a, *b))
    OPCUA_PLAIN_BUILTIN(DateTime, orderOf(OpcUa_DateTime_ToInt64(*a), OpcUa_DateTime_ToInt64(*b)))
    OPCUA_PLAIN_BUILTIN(Guid,
                        [&]
                        {
                            int c = std::memcmp(a, b, sizeof(OpcUa_Guid));
                            return c < 0 ? -1 : (c > 0 ? 1 : 0);
                        }())

    OPCUA_EXPORT OpcUa_Boolean OpcUa_Guid_IsNull(const OpcUa_Guid* v)
    {
        return v == nullptr || std::memcmp(v, &OpcUa_Guid_Null, sizeof(OpcUa_Guid)) == 0;
    }

    OPCUA_EXPORT OpcUa_Boolean OpcUa_DateTime_IsNull(const OpcUa_DateTime* v)
    {
        return v == nullptr || (v->dwLowDateTime == 0 && v->dwHighDateTime == 0);
    }

    OPCUA_EXPORT OpcUa_Int64 OpcUa_DateTime_ToInt64(OpcUa_DateTime v)
    {
        return static_cast<OpcUa_Int64>((static_cast<OpcUa_UInt64>(v.dwHighDateTime) << 32) |
                                        v.dwLowDateTime);
    }

    OPCUA_EXPORT OpcUa_DateTime OpcUa_DateTime_FromInt64(OpcUa_Int64 ticks)
    {
        OpcUa_DateTime d;
        d.dwLowDateTime = static_cast<OpcUa_UInt32>(static_cast<OpcUa_UInt64>(ticks) & 0xFFFFFFFFu);
        d.dwHighDateTime = static_cast<OpcUa_UInt32>(static_cast<OpcUa_UInt64>(ticks) >> 32);
        return d;
    }

    // ---- String ----
    OPCUA_EXPORT OpcUa_Void OpcUa_String_Initialize(OpcUa_String* v)
    {
        if (v)
            std::memset(v, 0, sizeof(*v));
    }
    OPCUA_EXPORT OpcUa_Void OpcUa_String_Clear(OpcUa_String* v)
    {
        if (!v)
            return;
        OpcUa_Memory_Free(v->strContent);
        std::memset(v, 0, sizeof(*v));
    }
    OPCUA_EXPORT OpcUa_StatusCode OpcUa_String_CopyTo(const OpcUa_String* s, OpcUa_String* t)
    {
        if (!s || !t)
            return OpcUa_BadInvalidArgument;
        OpcUa_String_Initialize(t);
        return OpcUa_String_StrnCpy(t, s, OPCUA_STRING_LENDONTCARE);
    }
    OPCUA_EXPORT OpcUa_Int OpcUa_String_Compare(const OpcUa_String* a, const OpcUa_String* b)
    {
        bool nullA = a->strContent == nullptr, nullB = b->strContent == nullptr;
        if (nullA || nullB)
            return nullA == nullB ? 0 : (nullA ? -1 : 1);
        return OpcUa_String_StrnCmp(a, b, OPCUA_STRING_LENDONTCARE, OpcUa_False);
    }

    // ---- ByteString / XmlElement ----
    OPCUA_EXPORT OpcUa_Void OpcUa_ByteString_Initialize(OpcUa_ByteString* v)
    {
        if (!v)
            return;
        v->Length = -1;
        v->Data = nullptr;
    }
    OPCUA_EXPORT OpcUa_Void OpcUa_ByteString_Clear(OpcUa_ByteString* v)
    {
        if (!v)
            return;
        OpcUa_Memory_Free(v->Data);
        OpcUa_ByteString_Initialize(v);
    }
    OPCUA_EXPORT OpcUa_StatusCode OpcUa_ByteString_CopyTo(const OpcUa_ByteString* s, OpcUa_ByteString* t)
    {
        if (!s || !t)
            return OpcUa_BadInvalidArgument;
        OpcUa_ByteString_Initialize(t);
        if (s->Length < 0)
            return OpcUa_Good;
        if (s->Length > 0)
        {
            if (s->Data == nullptr)
                return OpcUa_BadInvalidArgument;
            t->Data = static_cast<OpcUa_Byte*>(OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(s->Length)));
            if (t->Data == nullptr)
                return OpcUa_BadOutOfMemory;
            std::memcpy(t->Data, s->Data, static_cast<size_t>(s->Length));
        }
        t->Length = s->Length; // the empty byte string stays empty, without a block
        return OpcUa_Good;
    }
    OPCUA_EXPORT OpcUa_Int OpcUa_ByteString_Compare(const OpcUa_ByteString* a, const OpcUa_ByteString* b)
    {
        return compareBytes(a->Data, a->Length, b->Data, b->Length);
    }
    OPCUA_EXPORT OpcUa_Void OpcUa_XmlElement_Initialize(OpcUa_XmlElement* v)
    {
        OpcUa_ByteString_Initialize(v);
    }
    OPCUA_EXPORT OpcUa_Void OpcUa_XmlElement_Clear(OpcUa_XmlElement* v)
    {
        OpcUa_ByteString_Clear(v);
    }
    OPCUA_EXPORT OpcUa_StatusCode OpcUa_XmlElement_CopyTo(const OpcUa_XmlElement* s, OpcUa_XmlElement* t)
    {
        return OpcUa_ByteString_CopyTo(s, t);
    }
    OPCUA_EXPORT OpcUa_Int OpcUa_XmlElement_Compare(const OpcUa_XmlElement* a, const OpcUa_XmlElement* b)
    {
        return OpcUa_ByteString_Compare(a, b);
    }

    // ---- NodeId ----
    OPCUA_EXPORT OpcUa_Void OpcUa_NodeId_Initialize(OpcUa_NodeId* v)
    {
        if (v)
            std::memset(v, 0, sizeof(*v));
    }
    OPCUA_EXPORT OpcUa_Void OpcUa_NodeId_Clear(OpcUa_NodeId* v)
    {
        if (!v)
            return;
        switch (v->IdentifierType)
        {
        case OpcUa_IdentifierType_String:
            OpcUa_String_Clear(&v->Identifier.String);
            break;
        case OpcUa_IdentifierType_Guid:
            OpcUa_Memory_Free(v->Identifier.Guid);
            break;
        case OpcUa_IdentifierType_Opaque:
            OpcUa_ByteString_Clear(&v->Identifier.ByteString);
            break;
        default:
            break;
        }
        std::memset(v, 0, sizeof(*v));
    }
    OPCUA_EXPORT OpcUa_StatusCode OpcUa_NodeId_CopyTo(const OpcUa_NodeId* s, OpcUa_NodeId* t)
    {
        if (!s || !t)
            return OpcUa_BadInvalidArgument;
        OpcUa_NodeId_Initialize(t);
        OpcUa_StatusCode status = OpcUa_Good;
        switch (s->IdentifierType)
        {
        case OpcUa_IdentifierType_Numeric:
            t->Identifier.Numeric = s->Identifier.Numeric;
            break;
        case OpcUa_IdentifierType_String:
            status = OpcUa_String_CopyTo(&s->Identifier.String, &t->Identifier.String);
            break;
        case OpcUa_IdentifierType_Guid:
            t->Identifier.Guid = duplicate(s->Identifier.Guid, copyGuidPtr, &status);
            break;
        case OpcUa_IdentifierType_Opaque:
            status = OpcUa_ByteString_CopyTo(&s->Identifier.ByteString, &t->Identifier.ByteString);
            break;
        default:
            return OpcUa_BadInvalidArgument;
        }
        if (OpcUa_IsBad(status))
        {
            OpcUa_NodeId_Initialize(t);
            return status;
        }
        t->IdentifierType = s->IdentifierType;
        t->NamespaceIndex = s->NamespaceIndex;
        return OpcUa_Good;
    }
    OPCUA_EXPORT OpcUa_Int OpcUa_NodeId_Compare(const OpcUa_NodeId* a, const OpcUa_NodeId* b)
    {
        if (a->IdentifierType != b->IdentifierType)
            return orderOf(a->IdentifierType, b->IdentifierType);
        if (a->NamespaceIndex != b->NamespaceIndex)
            return orderOf(a->NamespaceIndex, b->NamespaceIndex);
        switch (a->IdentifierType)
        {
        case OpcUa_IdentifierType_Numeric:
            return orderOf(a->Identifier.Numeric, b->Identifier.Numeric);
        case OpcUa_IdentifierType_String:
            return OpcUa_String_Compare(&a->Identifier.String, &b->Identifier.String);
        case OpcUa_IdentifierType_Guid:
        {
            const OpcUa_Guid* ga = a->Identifier.Guid ? a->Identifier.Guid : &OpcUa_Guid_Null;
            const OpcUa_Guid* gb = b->Identifier.Guid ? b->Identifier.Guid : &OpcUa_Guid_Null;
            return OpcUa_Guid_Compare(ga, gb);
        }
        case OpcUa_IdentifierType_Opaque:
            return OpcUa_ByteString_Compare(&a->Identifier.ByteString, &b->Identifier.ByteString);
        default:
            return 0;
        }
    }
    OPCUA_EXPORT OpcUa_Boolean OpcUa_NodeId_IsNull(const OpcUa_NodeId* v)
    {
        if (v == nullptr)
            return OpcUa_True;
        if (v->NamespaceIndex != 0)
            return OpcUa_False;
        switch (v->IdentifierType)
        {
        case OpcUa_IdentifierType_Numeric:
            return v->Identifier.Numeric == 0;
        case OpcUa_IdentifierType_String:
            return OpcUa_String_IsEmpty(&v->Identifier.String);
        case OpcUa_IdentifierType_Guid:
            return OpcUa_Guid_IsNull(v->Identifier.Guid);
        case OpcUa_IdentifierType_Opaque:
            return v->Identifier.ByteString.Length < 0;
        default:
            return OpcUa_False;
        }
    }

    // ---- ExpandedNodeId ----
    OPCUA_EXPORT OpcUa_Void OpcUa_ExpandedNodeId_Initialize(OpcUa_ExpandedNodeId* v)
    {
        if (v)
            std::memset(v, 0, sizeof(*v));
    }
    OPCUA_EXPORT OpcUa_Void OpcUa_ExpandedNodeId_Clear(OpcUa_ExpandedNodeId* v)
    {
        if (!v)
            return;
        OpcUa_NodeId_Clear(&v->NodeId);
        OpcUa_String_Clear(&v->NamespaceUri);
        v->ServerIndex = 0;
    }
    OPCUA_EXPORT OpcUa_StatusCode OpcUa_ExpandedNodeId_CopyTo(const OpcUa_ExpandedNodeId* s,
                                                              OpcUa_ExpandedNodeId* t)
    {
        if (!s || !t)
            return OpcUa_BadInvalidArgument;
        OpcUa_ExpandedNodeId_Initialize(t);
        OpcUa_StatusCode status = OpcUa_NodeId_CopyTo(&s->NodeId, &t->NodeId);
        if (OpcUa_IsGood(status))
            status = OpcUa_String_CopyTo(&s->NamespaceUri, &t->NamespaceUri);
        if (OpcUa_IsBad(status))
        {
            OpcUa_ExpandedNodeId_Clear(t);
            return status;
        }
        t->ServerIndex = s->ServerIndex;
        return OpcUa_Good;
    }
    OPCUA_EXPORT OpcUa_Int OpcUa_ExpandedNodeId_Compare(const OpcUa_ExpandedNodeId* a,
                                                        const OpcUa_ExpandedNodeId* b)
    {
        if (a->ServerIndex != b->ServerIndex)
            return orderOf(a->ServerIndex, b->ServerIndex);
        int c = OpcUa_String_Compare(&a->NamespaceUri, &b->NamespaceUri);
        return c != 0 ? c : OpcUa_NodeId_Compare(&a->NodeId, &b->NodeId);
    }

    // ---- QualifiedName ----
    OPCUA_EXPORT OpcUa_Void OpcUa_QualifiedName_Initialize(OpcUa_QualifiedName* v)
    {
        if (v)
            std::memset(v, 0, sizeof(*v));
    }
    OPCUA_EXPORT OpcUa_Void OpcUa_QualifiedName_Clear(OpcUa_QualifiedName* v)
    {
        if (!v)
            return;
        OpcUa_String_Clear(&v->Name);
        v->NamespaceIndex = 0;
        v->Reserved = 0;
    }
    OPCUA_EXPORT OpcUa_StatusCode OpcUa_QualifiedName_CopyTo(const OpcUa_QualifiedName* s,
                                                             OpcUa_QualifiedName* t)
    {
        if (!s || !t)
            return OpcUa_BadInvalidArgument;
        OpcUa_QualifiedName_Initialize(t);
        OpcUa_StatusCode status = OpcUa_String_CopyTo(&s->Name, &t->Name);
        if (OpcUa_IsGood(status))
            t->NamespaceIndex = s->NamespaceIndex;
        return status;
    }
    OPCUA_EXPORT OpcUa_Int OpcUa_QualifiedName_Compare(const OpcUa_QualifiedName* a,
                                                       const OpcUa_QualifiedName* b)
    {
        if (a->NamespaceIndex != b->NamespaceIndex)
            return orderOf(a->NamespaceIndex, b->NamespaceIndex);
        return OpcUa_String_Compare(&a->Name, &b->Name);
    }

    // ---- LocalizedText ----
    OPCUA_EXPORT OpcUa_Void OpcUa_LocalizedText_Initialize(OpcUa_LocalizedText* v)
    {
        if (v)
            std::memset(v, 0, sizeof(*v));
    }
    OPCUA_EXPORT OpcUa_Void OpcUa_LocalizedText_Clear(OpcUa_LocalizedText* v)
    {
        if (!v)
            return;
        OpcUa_String_Clear(&v->Locale);
        OpcUa_String_Clear(&v->Text);
    }
    OPCUA_EXPORT OpcUa_StatusCode OpcUa_LocalizedText_CopyTo(const OpcUa_LocalizedText* s,
                                                             OpcUa_LocalizedText* t)
    {
        if (!s || !t)
            return OpcUa_BadInvalidArgument;
        OpcUa_LocalizedText_Initialize(t);
        OpcUa_StatusCode status = OpcUa_String_CopyTo(&s->Locale, &t->Locale);
        if (OpcUa_IsGood(status))
            status = OpcUa_String_CopyTo(&s->Text, &t->Text);
        if (OpcUa_IsBad(status))
            OpcUa_LocalizedText_Clear(t);
        return status;
    }
    OPCUA_EXPORT OpcUa_Int OpcUa_LocalizedText_Compare(const OpcUa_LocalizedText* a,
                                                       const OpcUa_LocalizedText* b)
    {
        int c = OpcUa_String_Compare(&a->Locale, &b->Locale);
        return c != 0 ? c : OpcUa_String_Compare(&a->Text, &b->Text);
    }

    // ---- ExtensionObject ----
    OPCUA_EXPORT OpcUa_Void OpcUa_ExtensionObject_Initialize(OpcUa_ExtensionObject* v)
    {
        if (v)
            std::memset(v, 0, sizeof(*v));
    }
    OPCUA_EXPORT OpcUa_Void OpcUa_ExtensionObject_Clear(OpcUa_ExtensionObject* v)
    {
        if (!v)
            return;
        OpcUa_ExpandedNodeId_Clear(&v->TypeId);
        switch (v->Encoding)
        {
        case OpcUa_ExtensionObjectEncoding_Binary:
        case OpcUa_ExtensionObjectEncoding_Xml:
            OpcUa_ByteString_Clear(&v->Body.Binary);
            break;
        case OpcUa_ExtensionObjectEncoding_EncodeableObject:
            OpcUa_EncodeableObject_Delete(v->Body.EncodeableObject.Type, &v->Body.EncodeableObject.Object);
            break;
        default:
            break;
        }
        std::memset(v, 0, sizeof(*v));
    }
    OPCUA_EXPORT OpcUa_StatusCode OpcUa_ExtensionObject_CopyTo(const OpcUa_ExtensionObject* s,
                                                               OpcUa_ExtensionObject* t)
    {
        if (!s || !t)
            return OpcUa_BadInvalidArgument;
        OpcUa_ExtensionObject_Initialize(t);
        OpcUa_StatusCode status = OpcUa_ExpandedNodeId_CopyTo(&s->TypeId, &t->TypeId);
        if (OpcUa_IsBad(status))
            return status;
        switch (s->Encoding)
        {
        case OpcUa_ExtensionObjectEncoding_None:
            break;
        case OpcUa_ExtensionObjectEncoding_Binary:
        case OpcUa_ExtensionObjectEncoding_Xml:
            status = OpcUa_ByteString_CopyTo(&s->Body.Binary, &t->Body.Binary);
            break;
        case OpcUa_ExtensionObjectEncoding_EncodeableObject:
        {
            OpcUa_EncodeableType* type = s->Body.EncodeableObject.Type;
            if (type == nullptr || s->Body.EncodeableObject.Object == nullptr)
                break;
            void* object = nullptr;
            status = OpcUa_EncodeableObject_Create(type, &object);
            if (OpcUa_IsGood(status))
            {
                status = OpcUa_EncodeableObject_CopyTo(type, s->Body.EncodeableObject.Object, object);
                if (OpcUa_IsBad(status))
                    OpcUa_EncodeableObject_Delete(type, &object);
            }
            t->Body.EncodeableObject.Type = type;
            t->Body.EncodeableObject.Object = object;
            break;
        }
        default:
            status = OpcUa_BadInvalidArgument;
            break;
        }
        t->Encoding = s->Encoding;
        if (OpcUa_IsBad(status))
        {
            OpcUa_ExtensionObject_Clear(t);
            return status;
        }
        t->BodySize = s->BodySize;
        return OpcUa_Good;
    }
    OPCUA_EXPORT OpcUa_Int OpcUa_ExtensionObject_Compare(const OpcUa_ExtensionObject* a,
                                                         const OpcUa_ExtensionObject* b)
    {
        if (a->Encoding != b->Encoding)
            return orderOf(a->Encoding, b->Encoding);
        int c = OpcUa_ExpandedNodeId_Compare(&a->TypeId, &b->TypeId);
        if (c != 0)
            return c;
        switch (a->Encoding)
        {
        case OpcUa_ExtensionObjectEncoding_Binary:
        case OpcUa_ExtensionObjectEncoding_Xml:
            return OpcUa_ByteString_Compare(&a->Body.Binary, &b->Body.Binary);
        case OpcUa_ExtensionObjectEncoding_EncodeableObject:
        {
            if (a->Body.EncodeableObject.Type != b->Body.EncodeableObject.Type)
                return orderOf(reinterpret_cast<uintptr_t>(a->Body.EncodeableObject.Type),
                               reinterpret_cast<uintptr_t>(b->Body.EncodeableObject.Type));
            const void* oa = a->Body.EncodeableObject.Object;
            const void* ob = b->Body.EncodeableObject.Object;
            if (oa == nullptr || ob == nullptr)
                return oa == ob ? 0 : (oa == nullptr ? -1 : 1);
            return OpcUa_EncodeableObject_Compare(a->Body.EncodeableObject.Type, oa, ob);
        }
        default:
            return 0;
        }
    }

    // ---- DataValue ----
    OPCUA_EXPORT OpcUa_Void OpcUa_DataValue_Initialize(OpcUa_DataValue* v)
    {
        if (v)
            std::memset(v, 0, sizeof(*v));
    }
    OPCUA_EXPORT OpcUa_Void OpcUa_DataValue_Clear(OpcUa_DataValue* v)
    {
        if (!v)
            return;
        OpcUa_Variant_Clear(&v->Value);
        std::memset(v, 0, sizeof(*v));
    }
    OPCUA_EXPORT OpcUa_StatusCode OpcUa_DataValue_CopyTo(const OpcUa_DataValue* s, OpcUa_DataValue* t)
    {
        if (!s || !t)
            return OpcUa_BadInvalidArgument;
        OpcUa_DataValue_Initialize(t);
        OpcUa_StatusCode status = OpcUa_Variant_CopyTo(&s->Value, &t->Value);
        if (OpcUa_IsBad(status))
            return status;
        t->StatusCode = s->StatusCode;
        t->SourceTimestamp = s->SourceTimestamp;
        t->ServerTimestamp = s->ServerTimestamp;
        t->SourcePicoseconds = s->SourcePicoseconds;
        t->ServerPicoseconds = s->ServerPicoseconds;
        return OpcUa_Good;
    }
    OPCUA_EXPORT OpcUa_Int OpcUa_DataValue_Compare(const OpcUa_DataValue* a, const OpcUa_DataValue* b)
    {
        if (a->StatusCode != b->StatusCode)
            return orderOf(a->StatusCode, b->StatusCode);
        int c = OpcUa_DateTime_Compare(&a->SourceTimestamp, &b->SourceTimestamp);
        if (c == 0)
            c = OpcUa_DateTime_Compare(&a->ServerTimestamp, &b->ServerTimestamp);
        if (c == 0)
            c = orderOf(a->SourcePicoseconds, b->SourcePicoseconds);
        if (c == 0)
            c = orderOf(a->ServerPicoseconds, b->ServerPicoseconds);
        return c != 0 ? c : OpcUa_Variant_Compare(&a->Value, &b->Value);
    }

    // ---- DiagnosticInfo ----
    OPCUA_EXPORT OpcUa_Void OpcUa_DiagnosticInfo_Initialize(OpcUa_DiagnosticInfo* v)
    {
        if (!v)
            return;
        std::memset(v, 0, sizeof(*v));
        v->SymbolicId = v->NamespaceUri = v->Locale = v->LocalizedText = -1;
    }
    OPCUA_EXPORT OpcUa_Void OpcUa_DiagnosticInfo_Clear(OpcUa_DiagnosticInfo* v)
    {
        if (!v)
            return;
        OpcUa_String_Clear(&v->AdditionalInfo);
        if (v->InnerDiagnosticInfo != nullptr)
        {
            OpcUa_DiagnosticInfo_Clear(v->InnerDiagnosticInfo);
            OpcUa_Memory_Free(v->InnerDiagnosticInfo);
        }
        OpcUa_DiagnosticInfo_Initialize(v);
    }
    OPCUA_EXPORT OpcUa_StatusCode OpcUa_DiagnosticInfo_CopyTo(const OpcUa_DiagnosticInfo* s,
                                                              OpcUa_DiagnosticInfo* t)
    {
        if (!s || !t)
            return OpcUa_BadInvalidArgument;
        OpcUa_DiagnosticInfo_Initialize(t);
        OpcUa_StatusCode status = OpcUa_String_CopyTo(&s->AdditionalInfo, &t->AdditionalInfo);
        if (OpcUa_IsGood(status))
            t->InnerDiagnosticInfo = duplicate(s->InnerDiagnosticInfo, OpcUa_DiagnosticInfo_CopyTo, &status);
        if (OpcUa_IsBad(status))
        {
            OpcUa_DiagnosticInfo_Clear(t);
            return status;
        }
        t->SymbolicId = s->SymbolicId;
        t->NamespaceUri = s->NamespaceUri;
        t->Locale = s->Locale;
        t->LocalizedText = s->LocalizedText;
        t->InnerStatusCode = s->InnerStatusCode;
        return OpcUa_Good;
    }
    OPCUA_EXPORT OpcUa_Int OpcUa_DiagnosticInfo_Compare(const OpcUa_DiagnosticInfo* a,
                                                        const OpcUa_DiagnosticInfo* b)
    {
        int c = orderOf(a->SymbolicId, b->SymbolicId);
        if (c == 0)
            c = orderOf(a->NamespaceUri, b->NamespaceUri);
        if (c == 0)
            c = orderOf(a->Locale, b->Locale);
        if (c == 0)
            c = orderOf(a->LocalizedText, b->LocalizedText);
        if (c == 0)
            c = orderOf(a->InnerStatusCode, b->InnerStatusCode);
        if (c == 0)
            c = OpcUa_String_Compare(&a->AdditionalInfo, &b->AdditionalInfo);
        if (c != 0)
            return c;
        const OpcUa_DiagnosticInfo* ia = a->InnerDiagnosticInfo;
        const OpcUa_DiagnosticInfo* ib = b->InnerDiagnosticInfo;
        if (ia == nullptr || ib == nullptr)
            return ia == ib ? 0 : (ia == nullptr ? -1 : 1);
        return OpcUa_DiagnosticInfo_Compare(ia, ib);
    }

    // ---- Variant ----
    OPCUA_EXPORT OpcUa_Void OpcUa_Variant_Initialize(OpcUa_Variant* v)
    {
        if (v)
            std::memset(v, 0, sizeof(*v));
    }

    static void clearScalarPointer(OpcUa_Byte type, void* p)
    {
        if (p == nullptr)
            return;
        OpcUa::clearValue(type, nullptr, p);
        OpcUa_Memory_Free(p);
    }

    OPCUA_EXPORT OpcUa_Void OpcUa_Variant_Clear(OpcUa_Variant* v)
    {
        if (!v)
            return;
        OpcUa_Byte type = v->Datatype;
        if (v->ArrayType == OpcUa_VariantArrayType_Array)
        {
            OpcUa::clearArray(type, nullptr, v->Value.Array.Value.Array, v->Value.Array.Length);
        }
        else if (v->ArrayType == OpcUa_VariantArrayType_Matrix)
        {
            OpcUa_Int32 count = 1;
            bool any = v->Value.Matrix.NoOfDimensions > 0 && v->Value.Matrix.Dimensions != nullptr;
            for (OpcUa_Int32 i = 0; any && i < v->Value.Matrix.NoOfDimensions; ++i)
            {
                OpcUa_Int32 d = v->Value.Matrix.Dimensions[i];
                if (d <= 0 || count > OpcUa_Int32_Max / d)
                {
                    count = d <= 0 ? 0 : OpcUa_Int32_Max;
                    break;
                }
                count *= d;
            }
            if (!any)
                count = 0;
            if (v->Value.Matrix.Value.Array != nullptr && count > 0)
                OpcUa::clearArray(type, nullptr, v->Value.Matrix.Value.Array, count);
            else
                OpcUa_Memory_Free(v->Value.Matrix.Value.Array);
            OpcUa_Memory_Free(v->Value.Matrix.Dimensions);
        }
        else
        {
            switch (type)
            {
            case OpcUaType_String:
                OpcUa_String_Clear(&v->Value.String);
                break;
            case OpcUaType_ByteString:
            case OpcUaType_XmlElement:
                OpcUa_ByteString_Clear(&v->Value.ByteString);
                break;
            default:
                if (OpcUa::isPointerScalar(type))
                    clearScalarPointer(type, v->Value.NodeId);
                break;
            }
        }
        std::memset(v, 0, sizeof(*v));
    }

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_Variant_CopyTo(const OpcUa_Variant* s, OpcUa_Variant* t)
    {
        if (!s || !t)
            return OpcUa_BadInvalidArgument;
        OpcUa_Variant_Initialize(t);
        OpcUa_Byte type = s->Datatype;
        if (type > OpcUaType_DiagnosticInfo)
            return OpcUa_BadInvalidArgument;
        OpcUa_StatusCode status = OpcUa_Good;
        OpcUa_Variant r;
        OpcUa_Variant_Initialize(&r);
        if (s->ArrayType == OpcUa_VariantArrayType_Scalar)
        {
            switch (type)
            {
            case OpcUaType_String:
                status = OpcUa_String_CopyTo(&s->Value.String, &r.Value.String);
                break;
            case OpcUaType_ByteString:
            case OpcUaType_XmlElement:
                status = OpcUa_ByteString_CopyTo(&s->Value.ByteString, &r.Value.ByteString);
                break;
            case OpcUaType_Variant:
                return OpcUa_BadInvalidArgument;
            default:
            {
                if (!OpcUa::isPointerScalar(type))
                {
                    r.Value = s->Value;
                    break;
                }
                const void* p = s->Value.NodeId;
                if (p == nullptr)
                    break;
                size_t size = OpcUa::valueSize(type, nullptr);
                void* q = OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(size));
                if (q == nullptr)
                {
                    status = OpcUa_BadOutOfMemory;
                    break;
                }
                status = OpcUa::copyValue(type, nullptr, p, q);
                if (OpcUa_IsBad(status))
                    OpcUa_Memory_Free(q);
                else
                    r.Value.NodeId = static_cast<OpcUa_NodeId*>(q);
                break;
            }
            }
        }
        else if (s->ArrayType == OpcUa_VariantArrayType_Array)
        {
            status = OpcUa::copyArray(type, nullptr, s->Value.Array.Value.Array, s->Value.Array.Length,
                                      &r.Value.Array.Value.Array);
            r.Value.Array.Length =
                (OpcUa_IsGood(status) && s->Value.Array.Value.Array != nullptr) ? s->Value.Array.Length : 0;
        }
        else if (s->ArrayType == OpcUa_VariantArrayType_Matrix)
        {
            const OpcUa_VariantMatrixValue& m = s->Value.Matrix;
            OpcUa_Int32 count = 0;
            if (m.NoOfDimensions > 0 && m.Dimensions != nullptr)
            {
                r.Value.Matrix.Dimensions = static_cast<OpcUa_Int32*>(
                    OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(m.NoOfDimensions) * sizeof(OpcUa_Int32)));
                if (r.Value.Matrix.Dimensions == nullptr)
                    return OpcUa_BadOutOfMemory;
                std::memcpy(r.Value.Matrix.Dimensions, m.Dimensions,
                            static_cast<size_t>(m.NoOfDimensions) * sizeof(OpcUa_Int32));
                r.Value.Matrix.NoOfDimensions = m.NoOfDimensions;
                count = 1;
                for (OpcUa_Int32 i = 0; i < m.NoOfDimensions; ++i)
                {
                    OpcUa_Int32 d = m.Dimensions[i];
                    if (d <= 0)
                    {
                        count = 0;
                        break;
                    }
                    if (count > OpcUa_Int32_Max / d)
                    {
                        OpcUa_Memory_Free(r.Value.Matrix.Dimensions);
                        return OpcUa_BadInvalidArgument;
                    }
                    count *= d;
                }
            }
            r.ArrayType = OpcUa_VariantArrayType_Matrix;
            r.Datatype = type;
            status = OpcUa::copyArray(type, nullptr, m.Value.Array, count, &r.Value.Matrix.Value.Array);
        }
        else
        {
            return OpcUa_BadInvalidArgument;
        }
        r.Datatype = type;
        r.ArrayType = s->ArrayType;
        if (OpcUa_IsBad(status))
        {
            OpcUa_Variant_Clear(&r);
            return status;
        }
        *t = r;
        return OpcUa_Good;
    }

    OPCUA_EXPORT OpcUa_Int OpcUa_Variant_Compare(const OpcUa_Variant* a, const OpcUa_Variant* b)
    {
        if (a->Datatype != b->Datatype)
            return orderOf(a->Datatype, b->Datatype);
        if (a->ArrayType != b->ArrayType)
            return orderOf(a->ArrayType, b->ArrayType);
        OpcUa_Byte type = a->Datatype;
        if (type == OpcUaType_Null)
            return 0;
        if (a->ArrayType == OpcUa_VariantArrayType_Array)
            return OpcUa::compareArray(type, nullptr, a->Value.Array.Value.Array, a->Value.Array.Length,
                                       b->Value.Array.Value.Array, b->Value.Array.Length);
        if (a->ArrayType == OpcUa_VariantArrayType_Matrix)
        {
            const OpcUa_VariantMatrixValue& ma = a->Value.Matrix;
            const OpcUa_VariantMatrixValue& mb = b->Value.Matrix;
            int c = compareBytes(reinterpret_cast<const OpcUa_Byte*>(ma.Dimensions),
                                 ma.Dimensions ? ma.NoOfDimensions * 4 : -1,
                                 reinterpret_cast<const OpcUa_Byte*>(mb.Dimensions),
                                 mb.Dimensions ? mb.NoOfDimensions * 4 : -1);
            if (c != 0)
                return c;
            OpcUa_Int32 count = ma.NoOfDimensions > 0 ? 1 : 0;
            for (OpcUa_Int32 i = 0; i < ma.NoOfDimensions && ma.Dimensions; ++i)
                count = ma.Dimensions[i] <= 0 ? 0 : count * ma.Dimensions[i];
            return OpcUa::compareArray(type, nullptr, ma.Value.Array, count, mb.Value.Array, count);
        }
        switch (type)
        {
        case OpcUaType_String:
        case OpcUaType_ByteString:
        case OpcUaType_XmlElement:
            return OpcUa::compareValue(type, nullptr, &a->Value.String, &b->Value.String);
        default:
        {
            if (!OpcUa::isPointerScalar(type))
                return OpcUa::compareValue(type, nullptr, &a->Value, &b->Value);
            const void* pa = a->Value.NodeId;
            const void* pb = b->Value.NodeId;
            if (pa == nullptr || pb == nullptr)
                return pa == pb ? 0 : (pa == nullptr ? -1 : 1);
            return OpcUa::compareValue(type, nullptr, pa, pb);
        }
        }
    }

} // extern "C"
