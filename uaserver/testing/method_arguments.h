// The InputArguments property a method declares its arguments with, for test namespaces and
// doubles of the address space.
#pragma once

#include <uavariablecache.h>

#include <uavariant.h>

#include <opcua.h>

#include <utility>
#include <vector>

namespace uaserver::testing
{
// A property "InputArguments" whose value lists one Argument per (namespace-0 data type, value
// rank); the caller holds the creating reference.
inline UaPropertyCache*
inputArgumentsProperty(const UaNodeId& nodeId,
                       const std::vector<std::pair<OpcUa_UInt32, OpcUa_Int32>>& arguments)
{
    OpcUa_Variant value;
    OpcUa_Variant_Initialize(&value);
    value.Datatype = OpcUaType_ExtensionObject;
    value.ArrayType = OpcUa_VariantArrayType_Array;
    value.Value.Array.Length = static_cast<OpcUa_Int32>(arguments.size());
    value.Value.Array.Value.ExtensionObjectArray = static_cast<OpcUa_ExtensionObject*>(
        OpcUa_Memory_Alloc(sizeof(OpcUa_ExtensionObject) * (arguments.size() + 1)));
    for (std::size_t i = 0; i < arguments.size(); ++i)
    {
        OpcUa_ExtensionObject& entry = value.Value.Array.Value.ExtensionObjectArray[i];
        OpcUa_ExtensionObject_Initialize(&entry);
        OpcUa_Void* body = nullptr;
        OpcUa_EncodeableObject_CreateExtension(&OpcUa_Argument_EncodeableType, &entry, &body);
        auto* argument = static_cast<OpcUa_Argument*>(body);
        UaNodeId(arguments[i].first, 0).copyTo(&argument->DataType);
        argument->ValueRank = arguments[i].second;
    }
    UaVariant variant(value);
    OpcUa_Variant_Clear(&value);
    return new UaPropertyCache("InputArguments", nodeId, variant, 1, "en");
}
} // namespace uaserver::testing
