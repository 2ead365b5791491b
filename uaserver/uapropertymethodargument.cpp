#include "uapropertymethodargument.h"

#include <uavariant.h>

namespace
{
constexpr OpcUa_UInt32 kArgumentDataType = 296;
constexpr OpcUa_Byte kCurrentRead = 1;

const char* browseNameText(UaPropertyMethodArgument::Direction direction)
{
    return direction == UaPropertyMethodArgument::Direction::Input ? "InputArguments" : "OutputArguments";
}

UaVariant argumentArray(const std::vector<UaMethodArgument>& arguments)
{
    OpcUa_Variant value;
    OpcUa_Variant_Initialize(&value);
    value.Datatype = OpcUaType_ExtensionObject;
    value.ArrayType = OpcUa_VariantArrayType_Array;
    value.Value.Array.Length = static_cast<OpcUa_Int32>(arguments.size());
    // One entry more than needed, so that a method without arguments still gets an array.
    value.Value.Array.Value.ExtensionObjectArray = static_cast<OpcUa_ExtensionObject*>(
        OpcUa_Memory_Alloc(sizeof(OpcUa_ExtensionObject) * (arguments.size() + 1)));
    if (value.Value.Array.Value.ExtensionObjectArray == nullptr)
        value.Value.Array.Length = 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(value.Value.Array.Length); ++i)
    {
        OpcUa_ExtensionObject& entry = value.Value.Array.Value.ExtensionObjectArray[i];
        OpcUa_ExtensionObject_Initialize(&entry);
        OpcUa_Void* body = nullptr;
        OpcUa_EncodeableObject_CreateExtension(&OpcUa_Argument_EncodeableType, &entry, &body);
        auto* argument = static_cast<OpcUa_Argument*>(body);
        if (argument == nullptr)
            continue;
        arguments[i].name.copyTo(&argument->Name);
        arguments[i].dataType.copyTo(&argument->DataType);
        argument->ValueRank = arguments[i].valueRank;
        arguments[i].description.copyTo(&argument->Description);
    }
    UaVariant variant;
    variant.attach(value);
    return variant;
}
} // namespace

UaPropertyMethodArgument::UaPropertyMethodArgument(const UaNodeId& nodeId, Direction direction,
                                                   const std::vector<UaMethodArgument>& arguments,
                                                   const UaString& defaultLocaleId)
    : UaPropertyCache(browseNameText(direction), nodeId, argumentArray(arguments), kCurrentRead,
                      defaultLocaleId)
{
    UaDataVariableCache::setDataType(UaNodeId(kArgumentDataType, 0));
}

UaQualifiedName UaPropertyMethodArgument::browseName() const
{
    return UaQualifiedName(m_name, 0);
}
