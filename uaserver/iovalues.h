#ifndef UASERVER_IOVALUES_H
#define UASERVER_IOVALUES_H

#include <uadatavalue.h>
#include <uanumericrange.h>

// What the I/O manager and its sampling do to a data value before it is answered.
namespace IOValues
{
// Leaves the time stamps and replaces value and status.
void failValue(UaDataValue& dataValue, OpcUa_StatusCode status);
// Cuts a good value to the index range; a value that cannot be cut is emptied and carries why.
void cutToRange(UaDataValue& dataValue, const UaNumericRange& range);
// The index range of a read answered at once: only Value and ArrayDimensions can be cut, and a
// range that does not parse fails the value.
void applyIndexRange(UaDataValue& dataValue, OpcUa_UInt32 attributeId, const OpcUa_String& indexRange);
bool hasText(const OpcUa_String& text);
} // namespace IOValues

#endif
