#ifndef UABASE_UAVARIANTARRAYS_H
#define UABASE_UAVARIANTARRAYS_H

#include "uastacktypearray.h"

#include <opcua.h>

// Owning arrays of the element types a variant hands out or takes in. Booleans share the byte
// instance (both are one unsigned byte). The byte instance is not called UaByteArray: that name
// belongs to the shared byte block class.
using UaBooleanArray = UaStackTypeArray<OpcUa_Boolean, ClearNothing<OpcUa_Boolean>>;
using UaByteStackArray = UaStackTypeArray<OpcUa_Byte, ClearNothing<OpcUa_Byte>>;
using UaSByteArray = UaStackTypeArray<OpcUa_SByte, ClearNothing<OpcUa_SByte>>;
using UaInt16Array = UaStackTypeArray<OpcUa_Int16, ClearNothing<OpcUa_Int16>>;
using UaUInt16Array = UaStackTypeArray<OpcUa_UInt16, ClearNothing<OpcUa_UInt16>>;
using UaInt32Array = UaStackTypeArray<OpcUa_Int32, ClearNothing<OpcUa_Int32>>;
using UaUInt32Array = UaStackTypeArray<OpcUa_UInt32, ClearNothing<OpcUa_UInt32>>;
using UaInt64Array = UaStackTypeArray<OpcUa_Int64, ClearNothing<OpcUa_Int64>>;
using UaUInt64Array = UaStackTypeArray<OpcUa_UInt64, ClearNothing<OpcUa_UInt64>>;
using UaFloatArray = UaStackTypeArray<OpcUa_Float, ClearNothing<OpcUa_Float>>;
using UaDoubleArray = UaStackTypeArray<OpcUa_Double, ClearNothing<OpcUa_Double>>;
using UaDateTimeArray = UaStackTypeArray<OpcUa_DateTime, ClearNothing<OpcUa_DateTime>>;
using UaGuidArray = UaStackTypeArray<OpcUa_Guid, ClearNothing<OpcUa_Guid>>;
using UaStatusCodeArray = UaStackTypeArray<OpcUa_StatusCode, ClearNothing<OpcUa_StatusCode>>;
using UaStringArray = UaStackTypeArray<OpcUa_String, ClearString>;
using UaByteStringArray = UaStackTypeArray<OpcUa_ByteString, ClearByteString>;
using UaLocalizedTextArray = UaStackTypeArray<OpcUa_LocalizedText, ClearLocalizedText>;
using UaNodeIdArray = UaStackTypeArray<OpcUa_NodeId, ClearNodeId>;
using UaVariantArray = UaStackTypeArray<OpcUa_Variant, ClearVariant>;
using UaDataValueArray = UaStackTypeArray<OpcUa_DataValue, ClearDataValue>;

#endif
