// Encodeable objects and the table of known types.
#include "structure_codec.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <string_view>

namespace
{
struct TypeTable
{
    std::unordered_map<OpcUa_UInt32, OpcUa_EncodeableType*> byTypeId;
    std::unordered_map<OpcUa_UInt32, OpcUa_EncodeableType*> byEncodingId;
    std::unordered_map<std::string_view, OpcUa_EncodeableType*> byName;

    TypeTable()
    {
        for (OpcUa_UInt32 i = 0; i < g_OpcUa_KnownEncodeableTypeCount; ++i)
        {
            OpcUa_EncodeableType* t = g_OpcUa_KnownEncodeableTypes[i];
            byTypeId.emplace(t->TypeId, t);
            byEncodingId.emplace(t->BinaryEncodingTypeId, t);
            byName.emplace(t->TypeName, t);
        }
    }
};

const TypeTable& table()
{
    static const TypeTable t;
    return t;
}

template <typename Map, typename Key> OpcUa_EncodeableType* find(const Map& map, const Key& key)
{
    auto it = map.find(key);
    return it == map.end() ? nullptr : it->second;
}
} // namespace

extern "C"
{

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_EncodeableObject_Create(OpcUa_EncodeableType* type,
                                                                OpcUa_Void** object)
    {
        if (object == nullptr)
            return OpcUa_BadInvalidArgument;
        *object = nullptr;
        if (type == nullptr)
            return OpcUa_BadInvalidArgument;
        void* p = OpcUa_Memory_Alloc(type->AllocationSize);
        if (p == nullptr)
            return OpcUa_BadOutOfMemory;
        type->Initialize(p);
        *object = p;
        return OpcUa_Good;
    }

    OPCUA_EXPORT OpcUa_Void OpcUa_EncodeableObject_Delete(OpcUa_EncodeableType* type, OpcUa_Void** object)
    {
        if (object == nullptr || *object == nullptr)
            return;
        if (type != nullptr)
            type->Clear(*object);
        OpcUa_Memory_Free(*object);
        *object = nullptr;
    }

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_EncodeableObject_CreateExtension(OpcUa_EncodeableType* type,
                                                                         OpcUa_ExtensionObject* extension,
                                                                         OpcUa_Void** object)
    {
        if (object != nullptr)
            *object = nullptr;
        if (type == nullptr || extension == nullptr)
            return OpcUa_BadInvalidArgument;
        void* p = nullptr;
        OpcUa_StatusCode status = OpcUa_EncodeableObject_Create(type, &p);
        if (OpcUa_IsBad(status))
            return status;
        OpcUa_ExtensionObject_Clear(extension);
        extension->TypeId.NodeId.IdentifierType = OpcUa_IdentifierType_Numeric;
        extension->TypeId.NodeId.Identifier.Numeric = type->TypeId;
        extension->Encoding = OpcUa_ExtensionObjectEncoding_EncodeableObject;
        extension->Body.EncodeableObject.Type = type;
        extension->Body.EncodeableObject.Object = p;
        if (object != nullptr)
            *object = p;
        return OpcUa_Good;
    }

    OPCUA_EXPORT OpcUa_EncodeableType* OpcUa_EncodeableTypeTable_FindByTypeId(OpcUa_UInt32 typeId)
    {
        return find(table().byTypeId, typeId);
    }

    OPCUA_EXPORT OpcUa_EncodeableType* OpcUa_EncodeableTypeTable_FindByEncodingId(OpcUa_UInt32 encodingId)
    {
        return find(table().byEncodingId, encodingId);
    }

    OPCUA_EXPORT OpcUa_EncodeableType* OpcUa_EncodeableTypeTable_FindByName(const OpcUa_CharA* typeName)
    {
        if (typeName == nullptr)
            return nullptr;
        return find(table().byName, std::string_view(typeName));
    }

    OPCUA_EXPORT OpcUa_EncodeableType* const* OpcUa_EncodeableTypeTable_GetAll(OpcUa_UInt32* count)
    {
        if (count != nullptr)
            *count = g_OpcUa_KnownEncodeableTypeCount;
        return g_OpcUa_KnownEncodeableTypes;
    }

} // extern "C"
