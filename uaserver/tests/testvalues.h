// Values the variable and transaction tests write and expect.
#pragma once

#include <uadatavalue.h>
#include <ualocalizedtext.h>
#include <uanodeid.h>
#include <uavariant.h>

#include <cstring>
#include <string>
#include <initializer_list>

namespace testvalues
{
// A one-dimensional array of plain elements of one built-in type.
template <typename Element> UaVariant arrayOf(OpcUa_BuiltInType type, std::initializer_list<Element> values)
{
    OpcUa_Variant v;
    OpcUa_Variant_Initialize(&v);
    v.Datatype = static_cast<OpcUa_Byte>(type);
    v.ArrayType = OpcUa_VariantArrayType_Array;
    v.Value.Array.Length = static_cast<OpcUa_Int32>(values.size());
    const auto bytes = static_cast<OpcUa_UInt32>(values.size() * sizeof(Element));
    v.Value.Array.Value.Array = OpcUa_Memory_Alloc(bytes > 0 ? bytes : 1);
    if (bytes > 0)
        std::memcpy(v.Value.Array.Value.Array, values.begin(), bytes);
    UaVariant result;
    result.attach(v);
    return result;
}

inline UaVariant doubles(std::initializer_list<OpcUa_Double> values)
{
    return arrayOf(OpcUaType_Double, values);
}

inline UaVariant int32s(std::initializer_list<OpcUa_Int32> values)
{
    return arrayOf(OpcUaType_Int32, values);
}

// A data value of that value and status, without time stamps.
inline UaDataValue dataValue(const UaVariant& value, OpcUa_StatusCode status = OpcUa_Good)
{
    UaDataValue result;
    result.setValue(value, false, false);
    result.setStatusCode(status);
    return result;
}
// A field value as a client reads it: numeric NodeIds as "ns=1;i=9", others in full form, localized texts as
// "locale|text", an empty value as "<empty>".
inline std::string fieldText(const UaVariant& value)
{
    if (value.isEmpty())
        return "<empty>";
    UaNodeId nodeId;
    if (value.type() == OpcUaType_NodeId && value.toNodeId(nodeId) == OpcUa_Good)
        return nodeId.identifierType() == OpcUa_IdentifierType_Numeric
                   ? "ns=" + std::to_string(nodeId.namespaceIndex()) +
                         ";i=" + std::to_string(nodeId.identifierNumeric())
                   : std::string(nodeId.toFullString().toUtf8());
    if (value.type() == OpcUaType_LocalizedText)
    {
        UaLocalizedText localized;
        value.toLocalizedText(localized);
        return std::string(localized.locale().toUtf8()) + "|" + localized.text().toUtf8();
    }
    return value.toString().toUtf8();
}
} // namespace testvalues
