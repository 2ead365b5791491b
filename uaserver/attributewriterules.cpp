#include "attributewriterules.h"

#include "attributeids.h"

namespace
{
const AttributeWriteRule g_rules[] = {
    {AttributeId::BrowseName, 0x00000004, OpcUaType_QualifiedName, false},
    {AttributeId::DisplayName, 0x00000040, OpcUaType_LocalizedText, false},
    {AttributeId::Description, 0x00000020, OpcUaType_LocalizedText, false},
    {AttributeId::WriteMask, 0x00100000, OpcUaType_UInt32, false},
    {AttributeId::DataType, 0x00000010, OpcUaType_NodeId, false},
    {AttributeId::ValueRank, 0x00080000, OpcUaType_Int32, false},
    {AttributeId::ArrayDimensions, 0x00000002, OpcUaType_UInt32, true},
    {AttributeId::AccessLevel, 0x00000001, OpcUaType_Byte, false},
    {AttributeId::UserAccessLevel, 0x00010000, OpcUaType_Byte, false},
    {AttributeId::MinimumSamplingInterval, 0x00001000, OpcUaType_Double, false},
    {AttributeId::Historizing, 0x00000200, OpcUaType_Boolean, false},
};
} // namespace

namespace AttributeWriteRules
{
const AttributeWriteRule* find(OpcUa_Int32 attributeId)
{
    for (const AttributeWriteRule& rule : g_rules)
        if (rule.attributeId == attributeId)
            return &rule;
    return nullptr;
}

UaStatus check(OpcUa_Int32 attributeId, OpcUa_UInt32 writeMask, const UaVariant& value, bool checkWriteMask)
{
    // An attribute no rule lets be written, or whose bit the node's WriteMask leaves clear, is not
    // writable whoever asks; a user's rights are refused elsewhere.
    const AttributeWriteRule* rule = find(attributeId);
    if (!rule || (checkWriteMask && (writeMask & rule->writeMaskBit) == 0))
        return OpcUa_BadNotWritable;
    const OpcUa_Byte shape = rule->isArray ? OpcUa_VariantArrayType_Array : OpcUa_VariantArrayType_Scalar;
    if (value.type() != rule->type || value.arrayType() != shape)
        return OpcUa_BadTypeMismatch;
    return OpcUa_Good;
}

bool applyNameAttribute(OpcUa_Int32 attributeId, const UaVariant& value, UaQualifiedName& browseName,
                        UaLocalizedText& displayName, UaLocalizedText& description, OpcUa_UInt32& writeMask)
{
    switch (attributeId)
    {
    case AttributeId::BrowseName:
        value.toQualifiedName(browseName);
        return true;
    case AttributeId::DisplayName:
        value.toLocalizedText(displayName);
        return true;
    case AttributeId::Description:
        value.toLocalizedText(description);
        return true;
    case AttributeId::WriteMask:
        value.toUInt32(writeMask);
        return true;
    default:
        return false;
    }
}
} // namespace AttributeWriteRules
