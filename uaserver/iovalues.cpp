#include "iovalues.h"

#include "attributeids.h"

#include <uastatus.h>
#include <uastring.h>

namespace IOValues
{
bool hasText(const OpcUa_String& text)
{
    return OpcUa_String_StrLen(&text) > 0;
}

void failValue(UaDataValue& dataValue, OpcUa_StatusCode status)
{
    dataValue.setValue(UaVariant(), false, false);
    dataValue.setStatusCode(status);
}

void cutToRange(UaDataValue& dataValue, const UaNumericRange& range)
{
    if (UaStatusCode(dataValue.statusCode()).isBad())
        return;
    OpcUa_Variant part;
    OpcUa_Variant_Initialize(&part);
    const OpcUa_StatusCode cut = dataValue.value().getRange(range, &part);
    if (OpcUa_IsBad(cut))
    {
        failValue(dataValue, cut);
        return;
    }
    dataValue.setValue(part, true, false);
    OpcUa_Variant_Clear(&part);
}

void applyIndexRange(UaDataValue& dataValue, OpcUa_UInt32 attributeId, const OpcUa_String& indexRange)
{
    if (!hasText(indexRange) || UaStatusCode(dataValue.statusCode()).isBad())
        return;
    if (attributeId != AttributeId::Value && attributeId != AttributeId::ArrayDimensions)
    {
        failValue(dataValue, OpcUa_BadIndexRangeInvalid);
        return;
    }
    UaNumericRange range;
    const OpcUa_StatusCode parsed = range.parse(UaString(&indexRange));
    if (OpcUa_IsBad(parsed))
        failValue(dataValue, parsed);
    else
        cutToRange(dataValue, range);
}
} // namespace IOValues
