#include "value_filler.h"

#include <cstdio>
#include <cstring>

namespace uastacktest
{
namespace
{
size_t sizeOfKind(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type)
{
    if (kind >= 1 && kind <= 25)
        return OpcUa_BuiltInType_GetSize(static_cast<OpcUa_Byte>(kind));
    if (kind == OpcUa_FieldKind_Enumeration)
        return 4;
    return type->AllocationSize;
}

void initKind(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, void* p)
{
    std::memset(p, 0, sizeOfKind(kind, type));
    if (kind == OpcUa_FieldKind_Structure)
        type->Initialize(p);
    else if (kind == OpcUaType_DiagnosticInfo)
        OpcUa_DiagnosticInfo_Initialize(static_cast<OpcUa_DiagnosticInfo*>(p));
    else if (kind == OpcUaType_ByteString || kind == OpcUaType_XmlElement)
        OpcUa_ByteString_Initialize(static_cast<OpcUa_ByteString*>(p));
}

template <typename T> T* allocOne()
{
    return static_cast<T*>(OpcUa_Memory_Alloc(sizeof(T)));
}
} // namespace

uint32_t ValueFiller::next()
{
    m_state ^= m_state << 13;
    m_state ^= m_state >> 17;
    m_state ^= m_state << 5;
    return m_state;
}

void ValueFiller::fillString(OpcUa_String* s)
{
    static const char* texts[] = {"", "a", "Temperature", "\xC3\xA9t\xC3\xA9", "ns=2;s=Device/Entry.7"};
    uint32_t r = next() % 6;
    if (r == 5)
        return; // null string
    OpcUa_String_AttachCopy(s, texts[r]);
}

void ValueFiller::fillByteString(OpcUa_ByteString* b)
{
    uint32_t n = next() % 6;
    if (n == 5)
        return;
    b->Data = static_cast<OpcUa_Byte*>(OpcUa_Memory_Alloc(n));
    for (uint32_t i = 0; i < n; ++i)
        b->Data[i] = static_cast<OpcUa_Byte>(next());
    b->Length = static_cast<OpcUa_Int32>(n);
}

void ValueFiller::fillNodeId(OpcUa_NodeId* n)
{
    switch (next() % 6)
    {
    case 0:
        n->Identifier.Numeric = next() % 256; // two-byte form
        break;
    case 1:
        n->NamespaceIndex = static_cast<OpcUa_UInt16>(next() % 256);
        n->Identifier.Numeric = next() % 65536; // four-byte form
        break;
    case 2:
        n->NamespaceIndex = static_cast<OpcUa_UInt16>(next());
        n->Identifier.Numeric = next();
        break;
    case 3:
        n->IdentifierType = OpcUa_IdentifierType_String;
        n->NamespaceIndex = static_cast<OpcUa_UInt16>(next() % 4);
        OpcUa_String_AttachCopy(&n->Identifier.String, "Modules/Table.1");
        break;
    case 4:
        n->IdentifierType = OpcUa_IdentifierType_Guid;
        n->NamespaceIndex = 1;
        n->Identifier.Guid = allocOne<OpcUa_Guid>();
        OpcUa_Guid_Create(n->Identifier.Guid);
        break;
    default:
        n->IdentifierType = OpcUa_IdentifierType_Opaque;
        n->NamespaceIndex = 3;
        OpcUa_ByteString_Initialize(&n->Identifier.ByteString);
        fillByteString(&n->Identifier.ByteString);
        break;
    }
}

void ValueFiller::fillVariant(OpcUa_Variant* v, int depth)
{
    OpcUa_Variant_Initialize(v);
    uint32_t choice = next() % 8;
    if (depth > 3)
        choice = choice % 2;
    // Element types that may stand in a variant (Variant scalars may not).
    OpcUa_Byte type = static_cast<OpcUa_Byte>(1 + next() % 25);
    switch (choice)
    {
    case 0:
        return; // null
    case 1:
        v->Datatype = OpcUaType_Int32;
        v->Value.Int32 = static_cast<OpcUa_Int32>(next());
        return;
    case 2:
    case 3:
    {
        if (type == OpcUaType_Variant)
            type = OpcUaType_Double;
        v->Datatype = type;
        if (type == OpcUaType_String || type == OpcUaType_ByteString || type == OpcUaType_XmlElement ||
            (OpcUa_BuiltInType_GetSize(type) <= 8 && type != OpcUaType_Guid))
        {
            fillValue(type, nullptr, &v->Value, depth + 1);
            return;
        }
        void* p = OpcUa_Memory_Alloc(OpcUa_BuiltInType_GetSize(type));
        initKind(type, nullptr, p);
        fillValue(type, nullptr, p, depth + 1);
        v->Value.NodeId = static_cast<OpcUa_NodeId*>(p);
        return;
    }
    case 4:
    case 5:
    {
        v->Datatype = type;
        v->ArrayType = OpcUa_VariantArrayType_Array;
        fillArray(type, nullptr, &v->Value.Array.Value.Array, &v->Value.Array.Length, depth + 1);
        return;
    }
    default:
    {
        if (type == OpcUaType_Variant || type == OpcUaType_ExtensionObject || type == OpcUaType_DataValue)
            type = OpcUaType_Float;
        v->Datatype = type;
        v->ArrayType = OpcUa_VariantArrayType_Matrix;
        OpcUa_Int32 dims[2] = {static_cast<OpcUa_Int32>(1 + next() % 3),
                               static_cast<OpcUa_Int32>(1 + next() % 3)};
        OpcUa_Int32 count = dims[0] * dims[1];
        v->Value.Matrix.NoOfDimensions = 2;
        v->Value.Matrix.Dimensions = static_cast<OpcUa_Int32*>(OpcUa_Memory_Alloc(sizeof(dims)));
        std::memcpy(v->Value.Matrix.Dimensions, dims, sizeof(dims));
        size_t size = sizeOfKind(type, nullptr);
        auto* block = static_cast<OpcUa_Byte*>(OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(size * count)));
        for (OpcUa_Int32 i = 0; i < count; ++i)
        {
            initKind(type, nullptr, block + i * size);
            fillValue(type, nullptr, block + i * size, depth + 1);
        }
        v->Value.Matrix.Value.Array = block;
        return;
    }
    }
}

void ValueFiller::fillArray(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, void** elements,
                            OpcUa_Int32* count, int depth)
{
    OpcUa_Int32 n = depth > 4 ? 0 : static_cast<OpcUa_Int32>(next() % 4);
    *count = 0;
    *elements = nullptr;
    if (n == 0)
        return;
    size_t size = sizeOfKind(kind, type);
    auto* block = static_cast<OpcUa_Byte*>(OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(size * n)));
    for (OpcUa_Int32 i = 0; i < n; ++i)
    {
        initKind(kind, type, block + i * size);
        fillValue(kind, type, block + i * size, depth + 1);
    }
    *elements = block;
    *count = n;
}

void ValueFiller::fillValue(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, void* p, int depth)
{
    uint32_t r = next();
    switch (kind)
    {
    case OpcUaType_Boolean:
        *static_cast<OpcUa_Boolean*>(p) = r & 1;
        break;
    case OpcUaType_SByte:
    case OpcUaType_Byte:
        *static_cast<OpcUa_Byte*>(p) = static_cast<OpcUa_Byte>(r);
        break;
    case OpcUaType_Int16:
    case OpcUaType_UInt16:
        *static_cast<OpcUa_UInt16*>(p) = static_cast<OpcUa_UInt16>(r);
        break;
    case OpcUaType_Int32:
    case OpcUaType_UInt32:
    case OpcUaType_StatusCode:
        *static_cast<OpcUa_UInt32*>(p) = r;
        break;
    case OpcUa_FieldKind_Enumeration:
        *static_cast<OpcUa_Int32*>(p) = static_cast<OpcUa_Int32>(r % 4);
        break;
    case OpcUaType_Int64:
    case OpcUaType_UInt64:
        *static_cast<OpcUa_UInt64*>(p) = (static_cast<uint64_t>(r) << 32) | next();
        break;
    case OpcUaType_Float:
        *static_cast<OpcUa_Float*>(p) = static_cast<float>(r % 100000) / 8.0f;
        break;
    case OpcUaType_Double:
        *static_cast<OpcUa_Double*>(p) = static_cast<double>(r) / 3.0;
        break;
    case OpcUaType_DateTime:
        *static_cast<OpcUa_DateTime*>(p) = OpcUa_DateTime_FromInt64(133000000000000000LL + r);
        break;
    case OpcUaType_Guid:
        OpcUa_Guid_Create(static_cast<OpcUa_Guid*>(p));
        break;
    case OpcUaType_String:
        fillString(static_cast<OpcUa_String*>(p));
        break;
    case OpcUaType_ByteString:
    case OpcUaType_XmlElement:
        fillByteString(static_cast<OpcUa_ByteString*>(p));
        break;
    case OpcUaType_NodeId:
        fillNodeId(static_cast<OpcUa_NodeId*>(p));
        break;
    case OpcUaType_ExpandedNodeId:
    {
        auto* e = static_cast<OpcUa_ExpandedNodeId*>(p);
        fillNodeId(&e->NodeId);
        if (r & 1)
            OpcUa_String_AttachCopy(&e->NamespaceUri, "urn:example:ns");
        if (r & 2)
            e->ServerIndex = 1 + r % 7;
        break;
    }
    case OpcUaType_QualifiedName:
    {
        auto* q = static_cast<OpcUa_QualifiedName*>(p);
        q->NamespaceIndex = static_cast<OpcUa_UInt16>(r % 5);
        fillString(&q->Name);
        break;
    }
    case OpcUaType_LocalizedText:
    {
        auto* t = static_cast<OpcUa_LocalizedText*>(p);
        fillString(&t->Locale);
        fillString(&t->Text);
        break;
    }
    case OpcUaType_ExtensionObject:
    {
        auto* e = static_cast<OpcUa_ExtensionObject*>(p);
        if (depth > 3 || r % 3 == 0)
            break; // empty
        if (r % 3 == 1)
        {
            // A body of an encoding id nobody knows stays binary.
            e->TypeId.NodeId.NamespaceIndex = 7;
            e->TypeId.NodeId.Identifier.Numeric = 4242;
            e->Encoding = OpcUa_ExtensionObjectEncoding_Binary;
            fillByteString(&e->Body.Binary);
            if (e->Body.Binary.Data == nullptr)
            {
                e->Body.Binary.Data = static_cast<OpcUa_Byte*>(OpcUa_Memory_Alloc(1));
                e->Body.Binary.Length = 0;
            }
            e->BodySize = e->Body.Binary.Length;
            break;
        }
        void* object = nullptr;
        OpcUa_EncodeableObject_CreateExtension(&OpcUa_Argument_EncodeableType, e, &object);
        fillStructure(&OpcUa_Argument_EncodeableType, object, depth + 1);
        break;
    }
    case OpcUaType_DataValue:
    {
        auto* d = static_cast<OpcUa_DataValue*>(p);
        fillVariant(&d->Value, depth + 1);
        if (r & 1)
            d->StatusCode = OpcUa_BadNodeIdUnknown;
        if (r & 2)
            d->SourceTimestamp = OpcUa_DateTime_FromInt64(133000000000000000LL + next());
        if (r & 4)
            d->ServerTimestamp = OpcUa_DateTime_FromInt64(133000000000000000LL + next());
        if (r & 8)
            d->SourcePicoseconds = static_cast<OpcUa_UInt16>(next() % 10000);
        if (r & 16)
            d->ServerPicoseconds = static_cast<OpcUa_UInt16>(next() % 10000);
        break;
    }
    case OpcUaType_Variant:
        fillVariant(static_cast<OpcUa_Variant*>(p), depth + 1);
        break;
    case OpcUaType_DiagnosticInfo:
    {
        auto* d = static_cast<OpcUa_DiagnosticInfo*>(p);
        if (r & 1)
            d->SymbolicId = static_cast<OpcUa_Int32>(next() % 100);
        if (r & 2)
            d->NamespaceUri = 0;
        if (r & 4)
            d->Locale = 2;
        if (r & 8)
            d->LocalizedText = 3;
        if (r & 16)
            fillString(&d->AdditionalInfo);
        if (r & 32)
            d->InnerStatusCode = OpcUa_BadTimeout;
        if ((r & 64) && depth < 4)
        {
            d->InnerDiagnosticInfo = allocOne<OpcUa_DiagnosticInfo>();
            OpcUa_DiagnosticInfo_Initialize(d->InnerDiagnosticInfo);
            fillValue(OpcUaType_DiagnosticInfo, nullptr, d->InnerDiagnosticInfo, depth + 1);
        }
        break;
    }
    case OpcUa_FieldKind_Structure:
        fillStructure(type, p, depth + 1);
        break;
    default:
        break;
    }
}

void ValueFiller::fillStructure(const OpcUa_EncodeableType* type, void* value, int depth)
{
    auto* base = static_cast<OpcUa_Byte*>(value);
    OpcUa_UInt32 selector = 0;
    if (type->StructureKind == OpcUa_StructureKind_OptionalFields)
        selector = next();
    else if (type->StructureKind == OpcUa_StructureKind_Union && type->NoOfFields > 0)
        selector = static_cast<OpcUa_UInt32>(type->Fields[next() % type->NoOfFields].SwitchValue);
    if (type->StructureKind != OpcUa_StructureKind_Plain)
        std::memcpy(base, &selector, 4);
    for (OpcUa_UInt32 i = 0; i < type->NoOfFields; ++i)
    {
        const OpcUa_FieldDescription& f = type->Fields[i];
        if (type->StructureKind == OpcUa_StructureKind_Union &&
            static_cast<OpcUa_UInt32>(f.SwitchValue) != selector)
            continue;
        if (f.OptionalBit >= 0 && (selector & (1u << f.OptionalBit)) == 0)
            continue;
        if (f.IsArray)
            fillArray(f.Kind, f.FieldType, reinterpret_cast<void**>(base + f.Offset),
                      reinterpret_cast<OpcUa_Int32*>(base + f.CountOffset), depth + 1);
        else
            fillValue(f.Kind, f.FieldType, base + f.Offset, depth);
    }
}
} // namespace uastacktest
