#include "uanodebases.h"

#include "attributeids.h"

#include <uatrace.h>

UaStatus browseWithTrace(UaReferenceLists& lists, const UaNodeId& nodeId, const char* className,
                         const char* nodeKind, const ServiceContext& context, BrowseContext& browseContext,
                         UaReferenceDescriptionArray& references)
{
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("--> %s::browse - %s %s", className, nodeKind, nodeId.toFullString().toUtf8());
    const UaStatus status = lists.browseReferences(context, browseContext, references);
    UaTrace::traceLevel6("<-- %s::browse [ret=0x%lx]", className, static_cast<unsigned long>(status.code()));
    return status;
}

namespace
{
bool isScalarOf(const UaVariant& value, OpcUa_BuiltInType type)
{
    return value.type() == type && value.arrayType() == OpcUa_VariantArrayType_Scalar;
}
} // namespace

UaStatus UaPlainAttributes::write(OpcUa_Int32 attributeId, const UaVariant& value, bool checkWriteMask)
{
    OpcUa_UInt32 bit;
    OpcUa_BuiltInType type;
    switch (attributeId)
    {
    case AttributeId::BrowseName:
        bit = WriteMaskBit::BrowseName;
        type = OpcUaType_QualifiedName;
        break;
    case AttributeId::DisplayName:
        bit = WriteMaskBit::DisplayName;
        type = OpcUaType_LocalizedText;
        break;
    case AttributeId::Description:
        bit = WriteMaskBit::Description;
        type = OpcUaType_LocalizedText;
        break;
    case AttributeId::WriteMask:
        bit = WriteMaskBit::WriteMask;
        type = OpcUaType_UInt32;
        break;
    default:
        return OpcUa_BadUserAccessDenied;
    }
    if (checkWriteMask && (writeMask & bit) == 0)
        return OpcUa_BadUserAccessDenied;
    if (!isScalarOf(value, type))
        return OpcUa_BadTypeMismatch;
    switch (attributeId)
    {
    case AttributeId::BrowseName:
        value.toQualifiedName(browseName);
        break;
    case AttributeId::DisplayName:
        value.toLocalizedText(displayName);
        break;
    case AttributeId::Description:
        value.toLocalizedText(description);
        break;
    default:
        value.toUInt32(writeMask);
        break;
    }
    return OpcUa_Good;
}
