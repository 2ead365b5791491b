// Initialise, clear, copy and compare of generated structures through their field tables.
#include "structure_codec.h"

#include <opcua_binarycodec.hpp>

#include <cstring>

namespace
{
inline OpcUa_Byte* at(void* base, OpcUa_UInt32 offset)
{
    return static_cast<OpcUa_Byte*>(base) + offset;
}
inline const OpcUa_Byte* at(const void* base, OpcUa_UInt32 offset)
{
    return static_cast<const OpcUa_Byte*>(base) + offset;
}
// Frees what a field owns; the caller re-initialises the whole structure afterwards, so the
// common kinds skip resetting themselves.
void releaseValue(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, void* p)
{
    switch (kind)
    {
    case OpcUaType_String:
        OpcUa_Memory_Free(static_cast<OpcUa_String*>(p)->strContent);
        break;
    case OpcUaType_QualifiedName:
        OpcUa_Memory_Free(static_cast<OpcUa_QualifiedName*>(p)->Name.strContent);
        break;
    case OpcUaType_NodeId:
        if (static_cast<OpcUa_NodeId*>(p)->IdentifierType != OpcUa_IdentifierType_Numeric)
            OpcUa_NodeId_Clear(static_cast<OpcUa_NodeId*>(p));
        break;
    case OpcUa_FieldKind_Structure:
        if (type->Fields != nullptr)
            OpcUa::releaseStructure(type, p);
        else
            type->Clear(p);
        break;
    default:
        OpcUa::clearValue(kind, type, p);
        break;
    }
}

inline bool hasSelector(const OpcUa_EncodeableType* type)
{
    return type->StructureKind != OpcUa_StructureKind_Plain;
}
} // namespace

namespace OpcUa
{
void releaseStructure(const OpcUa_EncodeableType* type, void* value)
{
    for (OpcUa_UInt32 i = 0; i < type->NoOfFields; ++i)
    {
        const OpcUa_FieldDescription& f = type->Fields[i];
        if (f.IsArray)
        {
            void** elements = reinterpret_cast<void**>(at(value, f.Offset));
            clearArray(f.Kind, f.FieldType, *elements,
                       *reinterpret_cast<OpcUa_Int32*>(at(value, f.CountOffset)));
            *elements = nullptr;
        }
        else if (!isPlainKind(f.Kind))
        {
            releaseValue(f.Kind, f.FieldType, at(value, f.Offset));
        }
    }
}
} // namespace OpcUa

extern "C"
{

    OPCUA_EXPORT OpcUa_Void OpcUa_Structure_Initialize(const OpcUa_EncodeableType* type, OpcUa_Void* value)
    {
        if (type == nullptr || value == nullptr)
            return;
        std::memset(value, 0, type->AllocationSize);
        for (OpcUa_UInt32 i = 0; i < type->NoOfFields; ++i)
        {
            const OpcUa_FieldDescription& f = type->Fields[i];
            if (!f.IsArray && OpcUa::needsInit(f.Kind))
                OpcUa::initValue(f.Kind, f.FieldType, at(value, f.Offset));
        }
    }

    OPCUA_EXPORT OpcUa_Void OpcUa_Structure_Clear(const OpcUa_EncodeableType* type, OpcUa_Void* value)
    {
        if (type == nullptr || value == nullptr)
            return;
        OpcUa::releaseStructure(type, value);
        OpcUa_Structure_Initialize(type, value);
    }

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_Structure_GetSize(const OpcUa_EncodeableType* type, OpcUa_Void* value,
                                                          OpcUa_Encoder* encoder, OpcUa_Int32* size)
    {
        if (type == nullptr || value == nullptr || size == nullptr)
            return OpcUa_BadInvalidArgument;
        OpcUa::EncodingLimits limits = encoder != nullptr ? OpcUa::BinaryEncoder::from(encoder)->limits()
                                                          : OpcUa::EncodingLimits::current();
        OpcUa::BinaryEncoder counter = OpcUa::BinaryEncoder::counting(limits);
        OpcUa_StatusCode status = counter.writeStructure(type, value);
        *size = OpcUa_IsGood(status) ? static_cast<OpcUa_Int32>(counter.size()) : -1;
        return status;
    }

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_Structure_Encode(const OpcUa_EncodeableType* type, OpcUa_Void* value,
                                                         OpcUa_Encoder* encoder)
    {
        if (encoder == nullptr)
            return OpcUa_BadInvalidArgument;
        return OpcUa::BinaryEncoder::from(encoder)->writeStructureFields(type, value);
    }

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_Structure_Decode(const OpcUa_EncodeableType* type, OpcUa_Void* value,
                                                         OpcUa_Decoder* decoder)
    {
        if (decoder == nullptr)
            return OpcUa_BadInvalidArgument;
        return OpcUa::BinaryDecoder::from(decoder)->readStructureFields(type, value);
    }

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_EncodeableObject_CopyTo(OpcUa_EncodeableType* type,
                                                                const OpcUa_Void* source, OpcUa_Void* target)
    {
        if (type == nullptr || source == nullptr || target == nullptr)
            return OpcUa_BadInvalidArgument;
        type->Initialize(target);
        if (hasSelector(type))
            std::memcpy(target, source, sizeof(OpcUa_UInt32));
        for (OpcUa_UInt32 i = 0; i < type->NoOfFields; ++i)
        {
            const OpcUa_FieldDescription& f = type->Fields[i];
            OpcUa_StatusCode status;
            if (f.IsArray)
            {
                void* const* from = reinterpret_cast<void* const*>(at(source, f.Offset));
                OpcUa_Int32 count = *reinterpret_cast<const OpcUa_Int32*>(at(source, f.CountOffset));
                void* elements = nullptr;
                status = OpcUa::copyArray(f.Kind, f.FieldType, *from, count, &elements);
                if (OpcUa_IsGood(status) && elements != nullptr)
                {
                    *reinterpret_cast<void**>(at(target, f.Offset)) = elements;
                    *reinterpret_cast<OpcUa_Int32*>(at(target, f.CountOffset)) = count;
                }
            }
            else
            {
                status = OpcUa::copyValue(f.Kind, f.FieldType, at(source, f.Offset), at(target, f.Offset));
            }
            if (OpcUa_IsBad(status))
            {
                type->Clear(target);
                return status;
            }
        }
        return OpcUa_Good;
    }

    OPCUA_EXPORT OpcUa_Int OpcUa_EncodeableObject_Compare(OpcUa_EncodeableType* type, const OpcUa_Void* a,
                                                          const OpcUa_Void* b)
    {
        if (type == nullptr || a == nullptr || b == nullptr)
            return a == b ? 0 : (a == nullptr ? -1 : 1);
        OpcUa_UInt32 selector = 0;
        if (hasSelector(type))
        {
            int c = OpcUa_UInt32_Compare(static_cast<const OpcUa_UInt32*>(a),
                                         static_cast<const OpcUa_UInt32*>(b));
            if (c != 0)
                return c;
            std::memcpy(&selector, a, sizeof(selector));
        }
        bool matched = false;
        for (OpcUa_UInt32 i = 0; i < type->NoOfFields; ++i)
        {
            const OpcUa_FieldDescription& f = type->Fields[i];
            // Only what is on the wire takes part: absent optional fields and other union members do not.
            if (!OpcUa::fieldPresent(type, f, selector, &matched))
                continue;
            int c;
            if (f.IsArray)
                c = OpcUa::compareArray(f.Kind, f.FieldType, *reinterpret_cast<void* const*>(at(a, f.Offset)),
                                        *reinterpret_cast<const OpcUa_Int32*>(at(a, f.CountOffset)),
                                        *reinterpret_cast<void* const*>(at(b, f.Offset)),
                                        *reinterpret_cast<const OpcUa_Int32*>(at(b, f.CountOffset)));
            else
                c = OpcUa::compareValue(f.Kind, f.FieldType, at(a, f.Offset), at(b, f.Offset));
            if (c != 0)
                return c;
        }
        return 0;
    }

} // extern "C"
