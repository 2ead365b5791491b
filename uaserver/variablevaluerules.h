#ifndef UASERVER_VARIABLEVALUERULES_H
#define UASERVER_VARIABLEVALUERULES_H

#include <uadatavalue.h>
#include <uanodeid.h>
#include <uavariant.h>

// The rules the variable classes share for the values they are given.
namespace VariableValueRules
{
// The namespace-0 NodeId of the value's built-in type (i=0 for an empty value).
UaNodeId builtInTypeId(const UaVariant& value);
// The data type a variable takes from its initial value: its built-in type, BaseDataType when empty.
UaNodeId dataTypeOf(const UaVariant& value);
// The value rank a variable takes from its initial value: -1 scalar, 1 array, the dimensions of a
// matrix.
OpcUa_Int32 valueRankOf(const UaVariant& value);
// An empty value that only carries a bad or uncertain status.
bool isEmptyFailure(const UaDataValue& dataValue);
// Stamps the server and the source time with the current time where the value has none.
void stampMissingTimestamps(UaDataValue& dataValue);
} // namespace VariableValueRules

#endif
