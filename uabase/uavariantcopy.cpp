#include "uavariantcopy.h"

#include "stackcopy.h"

#include <cstring>

namespace VariantCopy
{
namespace
{
bool failed(OpcUa_StatusCode status)
{
    return (status & 0xC0000000u) != 0;
}

// A newly allocated, initialised copy of a structure; null source stays null.
template <typename T, typename CopyFn> OpcUa_StatusCode duplicate(const T* source, T** target, CopyFn copyFn)
{
    *target = nullptr;
    if (source == nullptr)
        return OpcUa_Good;
    auto* fresh = static_cast<T*>(OpcUa_Memory_Alloc(sizeof(T)));
    if (fresh == nullptr)
        return OpcUa_BadOutOfMemory;
    std::memset(static_cast<void*>(fresh), 0, sizeof(T));
    OpcUa_StatusCode status = copyFn(source, fresh);
    if (failed(status))
    {
        OpcUa_Memory_Free(fresh);
        return status;
    }
    *target = fresh;
    return OpcUa_Good;
}

OpcUa_StatusCode copyDataValueElement(const OpcUa_DataValue* s, OpcUa_DataValue* t)
{
    return copyDataValue(*s, *t);
}
OpcUa_StatusCode copyGuid(const OpcUa_Guid* s, OpcUa_Guid* t)
{
    *t = *s;
    return OpcUa_Good;
}

} // namespace

OpcUa_Int64 matrixElementCount(const OpcUa_VariantMatrixValue& matrix)
{
    if (matrix.NoOfDimensions < 1 || matrix.Dimensions == nullptr)
        return 0;
    OpcUa_Int64 count = 1;
    for (OpcUa_Int32 i = 0; i < matrix.NoOfDimensions; ++i)
    {
        if (matrix.Dimensions[i] < 1)
            return 0;
        count *= matrix.Dimensions[i];
        if (count > 0x7FFFFFFF)
            return -1;
    }
    return count;
}

namespace
{
OpcUa_StatusCode copyScalar(const OpcUa_Variant& source, OpcUa_Variant& target)
{
    const OpcUa_VariantUnion& s = source.Value;
    OpcUa_VariantUnion& t = target.Value;
    switch (source.Datatype)
    {
    case OpcUaType_String:
        return OpcUa_String_CopyTo(&s.String, &t.String);
    case OpcUaType_ByteString:
    case OpcUaType_XmlElement:
        OpcUa_ByteString_Initialize(&t.ByteString);
        return StackCopy::copyByteString(&s.ByteString, &t.ByteString);
    case OpcUaType_Guid:
        return duplicate(s.Guid, &t.Guid, copyGuid);
    case OpcUaType_NodeId:
        return duplicate(s.NodeId, &t.NodeId, StackCopy::copyNodeId);
    case OpcUaType_ExpandedNodeId:
        return duplicate(s.ExpandedNodeId, &t.ExpandedNodeId, OpcUa_ExpandedNodeId_CopyTo);
    case OpcUaType_QualifiedName:
        return duplicate(s.QualifiedName, &t.QualifiedName, OpcUa_QualifiedName_CopyTo);
    case OpcUaType_LocalizedText:
        return duplicate(s.LocalizedText, &t.LocalizedText, OpcUa_LocalizedText_CopyTo);
    case OpcUaType_ExtensionObject:
        return duplicate(s.ExtensionObject, &t.ExtensionObject, StackCopy::copyExtensionObject);
    case OpcUaType_DataValue:
        return duplicate(s.DataValue, &t.DataValue, copyDataValueElement);
    default:
        t = s;
        return OpcUa_Good;
    }
}
} // namespace

OpcUa_UInt32 elementSize(OpcUa_Byte type)
{
    switch (type)
    {
    case OpcUaType_Boolean:
        return sizeof(OpcUa_Boolean);
    case OpcUaType_SByte:
        return sizeof(OpcUa_SByte);
    case OpcUaType_Byte:
        return sizeof(OpcUa_Byte);
    case OpcUaType_Int16:
        return sizeof(OpcUa_Int16);
    case OpcUaType_UInt16:
        return sizeof(OpcUa_UInt16);
    case OpcUaType_Int32:
        return sizeof(OpcUa_Int32);
    case OpcUaType_UInt32:
        return sizeof(OpcUa_UInt32);
    case OpcUaType_Int64:
        return sizeof(OpcUa_Int64);
    case OpcUaType_UInt64:
        return sizeof(OpcUa_UInt64);
    case OpcUaType_Float:
        return sizeof(OpcUa_Float);
    case OpcUaType_Double:
        return sizeof(OpcUa_Double);
    case OpcUaType_String:
        return sizeof(OpcUa_String);
    case OpcUaType_DateTime:
        return sizeof(OpcUa_DateTime);
    case OpcUaType_Guid:
        return sizeof(OpcUa_Guid);
    case OpcUaType_ByteString:
        return sizeof(OpcUa_ByteString);
    case OpcUaType_XmlElement:
        return sizeof(OpcUa_XmlElement);
    case OpcUaType_NodeId:
        return sizeof(OpcUa_NodeId);
    case OpcUaType_ExpandedNodeId:
        return sizeof(OpcUa_ExpandedNodeId);
    case OpcUaType_StatusCode:
        return sizeof(OpcUa_StatusCode);
    case OpcUaType_QualifiedName:
        return sizeof(OpcUa_QualifiedName);
    case OpcUaType_LocalizedText:
        return sizeof(OpcUa_LocalizedText);
    case OpcUaType_ExtensionObject:
        return sizeof(OpcUa_ExtensionObject);
    case OpcUaType_DataValue:
        return sizeof(OpcUa_DataValue);
    case OpcUaType_Variant:
        return sizeof(OpcUa_Variant);
    default:
        return 0;
    }
}

void clearElement(OpcUa_Byte type, void* element)
{
    if (element == nullptr)
        return;
    switch (type)
    {
    case OpcUaType_String:
        OpcUa_String_Clear(static_cast<OpcUa_String*>(element));
        break;
    case OpcUaType_ByteString:
    case OpcUaType_XmlElement:
        OpcUa_ByteString_Clear(static_cast<OpcUa_ByteString*>(element));
        break;
    case OpcUaType_NodeId:
        OpcUa_NodeId_Clear(static_cast<OpcUa_NodeId*>(element));
        break;
    case OpcUaType_ExpandedNodeId:
        OpcUa_ExpandedNodeId_Clear(static_cast<OpcUa_ExpandedNodeId*>(element));
        break;
    case OpcUaType_QualifiedName:
        OpcUa_QualifiedName_Clear(static_cast<OpcUa_QualifiedName*>(element));
        break;
    case OpcUaType_LocalizedText:
        OpcUa_LocalizedText_Clear(static_cast<OpcUa_LocalizedText*>(element));
        break;
    case OpcUaType_ExtensionObject:
        OpcUa_ExtensionObject_Clear(static_cast<OpcUa_ExtensionObject*>(element));
        break;
    case OpcUaType_DataValue:
        OpcUa_DataValue_Clear(static_cast<OpcUa_DataValue*>(element));
        break;
    case OpcUaType_Variant:
        OpcUa_Variant_Clear(static_cast<OpcUa_Variant*>(element));
        break;
    default:
        break;
    }
    std::memset(element, 0, elementSize(type));
}

OpcUa_StatusCode copyElement(OpcUa_Byte type, const void* source, void* target)
{
    switch (type)
    {
    case OpcUaType_String:
        return OpcUa_String_CopyTo(static_cast<const OpcUa_String*>(source),
                                   static_cast<OpcUa_String*>(target));
    case OpcUaType_ByteString:
    case OpcUaType_XmlElement:
        OpcUa_ByteString_Initialize(static_cast<OpcUa_ByteString*>(target));
        return StackCopy::copyByteString(static_cast<const OpcUa_ByteString*>(source),
                                         static_cast<OpcUa_ByteString*>(target));
    case OpcUaType_NodeId:
        OpcUa_NodeId_Initialize(static_cast<OpcUa_NodeId*>(target));
        return StackCopy::copyNodeId(static_cast<const OpcUa_NodeId*>(source),
                                     static_cast<OpcUa_NodeId*>(target));
    case OpcUaType_ExpandedNodeId:
        return OpcUa_ExpandedNodeId_CopyTo(static_cast<const OpcUa_ExpandedNodeId*>(source),
                                           static_cast<OpcUa_ExpandedNodeId*>(target));
    case OpcUaType_QualifiedName:
        return OpcUa_QualifiedName_CopyTo(static_cast<const OpcUa_QualifiedName*>(source),
                                          static_cast<OpcUa_QualifiedName*>(target));
    case OpcUaType_LocalizedText:
        return OpcUa_LocalizedText_CopyTo(static_cast<const OpcUa_LocalizedText*>(source),
                                          static_cast<OpcUa_LocalizedText*>(target));
    case OpcUaType_ExtensionObject:
        OpcUa_ExtensionObject_Initialize(static_cast<OpcUa_ExtensionObject*>(target));
        return StackCopy::copyExtensionObject(static_cast<const OpcUa_ExtensionObject*>(source),
                                              static_cast<OpcUa_ExtensionObject*>(target));
    case OpcUaType_DataValue:
        return copyDataValue(*static_cast<const OpcUa_DataValue*>(source),
                             *static_cast<OpcUa_DataValue*>(target));
    case OpcUaType_Variant:
        return copy(*static_cast<const OpcUa_Variant*>(source), *static_cast<OpcUa_Variant*>(target));
    default:
        std::memcpy(target, source, elementSize(type));
        return OpcUa_Good;
    }
}

OpcUa_StatusCode copyElements(OpcUa_Byte type, const void* source, OpcUa_Int32 count, void** block)
{
    *block = nullptr;
    OpcUa_UInt32 size = elementSize(type);
    if (size == 0 || count < 1)
        return OpcUa_BadInvalidArgument;
    if (source == nullptr)
        return OpcUa_BadInvalidArgument;
    OpcUa_UInt64 bytes = static_cast<OpcUa_UInt64>(count) * size;
    if (bytes > 0xFFFFFFFFull)
        return OpcUa_BadOutOfMemory;
    auto* fresh = static_cast<OpcUa_Byte*>(OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(bytes)));
    if (fresh == nullptr)
        return OpcUa_BadOutOfMemory;
    std::memset(fresh, 0, static_cast<std::size_t>(bytes));
    const auto* from = static_cast<const OpcUa_Byte*>(source);
    for (OpcUa_Int32 i = 0; i < count; ++i)
    {
        OpcUa_StatusCode status = copyElement(type, from + static_cast<std::size_t>(i) * size,
                                              fresh + static_cast<std::size_t>(i) * size);
        if (failed(status))
        {
            for (OpcUa_Int32 k = 0; k <= i; ++k)
                clearElement(type, fresh + static_cast<std::size_t>(k) * size);
            OpcUa_Memory_Free(fresh);
            return status;
        }
    }
    *block = fresh;
    return OpcUa_Good;
}

OpcUa_StatusCode copyDataValue(const OpcUa_DataValue& source, OpcUa_DataValue& target)
{
    OpcUa_DataValue_Initialize(&target);
    OpcUa_StatusCode status = copy(source.Value, target.Value);
    if (failed(status))
        return status;
    target.StatusCode = source.StatusCode;
    target.SourceTimestamp = source.SourceTimestamp;
    target.ServerTimestamp = source.ServerTimestamp;
    target.SourcePicoseconds = source.SourcePicoseconds;
    target.ServerPicoseconds = source.ServerPicoseconds;
    return OpcUa_Good;
}

OpcUa_StatusCode copy(const OpcUa_Variant& source, OpcUa_Variant& target)
{
    if (&source == &target)
        return OpcUa_BadInvalidArgument;
    OpcUa_Variant_Initialize(&target);
    OpcUa_Variant result;
    OpcUa_Variant_Initialize(&result);
    OpcUa_Byte type = source.Datatype;
    OpcUa_StatusCode status = OpcUa_Good;
    switch (source.ArrayType)
    {
    case OpcUa_VariantArrayType_Scalar:
        if (type > OpcUaType_DataValue)
            return OpcUa_Good;
        result.Datatype = type;
        status = copyScalar(source, result);
        break;
    case OpcUa_VariantArrayType_Array:
        // An array without elements keeps its type and length; elements of type 0 or of a type
        // above Variant cannot be copied.
        if (source.Value.Array.Length > 0 && (type == OpcUaType_Null || type > OpcUaType_Variant))
            return OpcUa_Good;
        result.Datatype = type;
        result.ArrayType = OpcUa_VariantArrayType_Array;
        result.Value.Array.Length = source.Value.Array.Length;
        if (source.Value.Array.Length > 0)
            status = copyElements(type, source.Value.Array.Value.Array, source.Value.Array.Length,
                                  &result.Value.Array.Value.Array);
        break;
    case OpcUa_VariantArrayType_Matrix:
    {
        const OpcUa_VariantMatrixValue& m = source.Value.Matrix;
        OpcUa_Int64 count = matrixElementCount(m);
        if (count != 0 && (type == OpcUaType_Null || type > OpcUaType_Variant))
            return OpcUa_Good;
        if (count < 0)
            return OpcUa_BadOutOfMemory;
        result.Datatype = type;
        result.ArrayType = OpcUa_VariantArrayType_Matrix;
        result.Value.Matrix.NoOfDimensions = m.NoOfDimensions;
        if (m.NoOfDimensions > 0 && m.Dimensions != nullptr)
        {
            std::size_t bytes = static_cast<std::size_t>(m.NoOfDimensions) * sizeof(OpcUa_Int32);
            result.Value.Matrix.Dimensions =
                static_cast<OpcUa_Int32*>(OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(bytes)));
            if (result.Value.Matrix.Dimensions == nullptr)
                return OpcUa_BadOutOfMemory;
            std::memcpy(result.Value.Matrix.Dimensions, m.Dimensions, bytes);
        }
        else
            result.Value.Matrix.NoOfDimensions = 0;
        if (count > 0)
            status = copyElements(type, m.Value.Array, static_cast<OpcUa_Int32>(count),
                                  &result.Value.Matrix.Value.Array);
        break;
    }
    default:
        return OpcUa_Good;
    }
    if (failed(status))
    {
        OpcUa_Variant_Clear(&result);
        return status;
    }
    target = result;
    return OpcUa_Good;
}
} // namespace VariantCopy
