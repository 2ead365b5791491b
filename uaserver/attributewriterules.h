#ifndef UASERVER_ATTRIBUTEWRITERULES_H
#define UASERVER_ATTRIBUTEWRITERULES_H

#include <uastatus.h>
#include <uavariant.h>

// The attributes other than Value that a node may let be written, each with the write-mask bit
// that allows it and the one value type it takes.
struct AttributeWriteRule
{
    OpcUa_Int32 attributeId;
    OpcUa_UInt32 writeMaskBit;
    OpcUa_BuiltInType type;
    // An array of the type instead of a scalar.
    bool isArray;
};

namespace AttributeWriteRules
{
// Null for Value, UserWriteMask and the attributes no write reaches.
const AttributeWriteRule* find(OpcUa_Int32 attributeId);
// Good when the write may go ahead: BadNotWritable for an attribute without a rule or, with
// checkWriteMask, a clear bit in writeMask; BadTypeMismatch for a value of another type or shape.
UaStatus check(OpcUa_Int32 attributeId, OpcUa_UInt32 writeMask, const UaVariant& value, bool checkWriteMask);
// Stores a checked value of BrowseName, DisplayName, Description or WriteMask in its field; false
// for every other attribute.
bool applyNameAttribute(OpcUa_Int32 attributeId, const UaVariant& value, UaQualifiedName& browseName,
                        UaLocalizedText& displayName, UaLocalizedText& description, OpcUa_UInt32& writeMask);
} // namespace AttributeWriteRules

#endif
