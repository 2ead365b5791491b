#include "deadbandrules.h"

#include "standardnodeids.h"
#include "uanodeinterfaces.h"
#include "uareferencelists.h"

#include <opcua_binarycodec.hpp>

namespace
{
constexpr OpcUa_UInt32 g_rangeBinaryEncoding = 886;

// Low and High of a Range, decoded or in its binary encoding.
bool readRange(const OpcUa_ExtensionObject& body, OpcUa_Double& low, OpcUa_Double& high)
{
    if (body.Encoding == OpcUa_ExtensionObjectEncoding_EncodeableObject && body.Body.EncodeableObject.Type &&
        body.Body.EncodeableObject.Type->TypeId == StandardNodeId::Range &&
        !body.Body.EncodeableObject.Type->NamespaceUri && body.Body.EncodeableObject.Object)
    {
        const auto* range = static_cast<const OpcUa_Range*>(body.Body.EncodeableObject.Object);
        low = range->Low;
        high = range->High;
        return true;
    }
    if (body.Encoding != OpcUa_ExtensionObjectEncoding_Binary || body.TypeId.ServerIndex != 0 ||
        body.TypeId.NodeId.NamespaceIndex != 0 ||
        body.TypeId.NodeId.IdentifierType != OpcUa_IdentifierType_Numeric ||
        body.TypeId.NodeId.Identifier.Numeric != g_rangeBinaryEncoding || body.Body.Binary.Length < 16)
        return false;
    OpcUa::BinaryDecoder decoder(body.Body.Binary.Data, static_cast<size_t>(body.Body.Binary.Length));
    return OpcUa_IsGood(decoder.readDouble(&low)) && OpcUa_IsGood(decoder.readDouble(&high));
}
} // namespace

namespace DeadbandRules
{
bool isNumericDataType(const UaNodeId& dataType)
{
    return dataType.namespaceIndex() == 0 && dataType.identifierType() == OpcUa_IdentifierType_Numeric &&
           dataType.identifierNumeric() >= OpcUaType_SByte &&
           dataType.identifierNumeric() <= OpcUaType_Double;
}

OpcUa_Double euRangeSpan(UaVariable& variable)
{
    UaReferenceLists* lists = variable.getUaReferenceLists();
    UaNode* property = lists ? lists->findTargetByBrowseName(UaQualifiedName("EURange", 0)) : nullptr;
    if (!property || property->nodeClass() != OpcUa_NodeClass_Variable)
        return 0.0;
    const UaDataValue value = static_cast<UaVariable*>(property)->value(nullptr);
    const OpcUa_Variant& held = static_cast<const OpcUa_DataValue*>(value)->Value;
    OpcUa_Double low = 0.0;
    OpcUa_Double high = 0.0;
    if (held.Datatype != OpcUaType_ExtensionObject || held.ArrayType != OpcUa_VariantArrayType_Scalar ||
        !held.Value.ExtensionObject || !readRange(*held.Value.ExtensionObject, low, high))
        return 0.0;
    return low < high ? high - low : 0.0;
}
} // namespace DeadbandRules
