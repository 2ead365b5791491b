#include "variablevaluerules.h"

#include "standardnodeids.h"

#include <uastatus.h>

namespace VariableValueRules
{
UaNodeId builtInTypeId(const UaVariant& value)
{
    return UaNodeId(static_cast<OpcUa_UInt32>(value.type()), 0);
}

UaNodeId dataTypeOf(const UaVariant& value)
{
    return value.isEmpty() ? UaNodeId(StandardNodeId::BaseDataType, 0) : builtInTypeId(value);
}

OpcUa_Int32 valueRankOf(const UaVariant& value)
{
    const OpcUa_Int32 rank = value.valueRank();
    return rank < -1 ? -1 : rank;
}

bool isEmptyFailure(const UaDataValue& dataValue)
{
    // Read in place: the value is not copied for the test.
    return static_cast<const OpcUa_DataValue*>(dataValue)->Value.Datatype == OpcUaType_Null &&
           UaStatusCode(dataValue.statusCode()).isNotGood();
}

void stampMissingTimestamps(UaDataValue& dataValue)
{
    if (dataValue.isServerTimestampSet() && dataValue.isSourceTimestampSet())
        return;
    const UaDateTime now = UaDateTime::now();
    if (!dataValue.isServerTimestampSet())
        dataValue.setServerTimestamp(now);
    if (!dataValue.isSourceTimestampSet())
        dataValue.setSourceTimestamp(now);
}
} // namespace VariableValueRules
