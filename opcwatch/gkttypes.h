// The Gkt data types as the server sees them, and the one conversion between a device's raw
// bytes and OPC UA values that reads, writes and the polling watch share.
#pragma once

#include <uadatavalue.h>
#include <uavariant.h>

#include <opcua.h>

#include <cstdint>
#include <vector>

// Bytes a read asks the device for; 0 for a type the server does not know.
OpcUa_UInt32 gktByteSize(OpcUa_UInt32 gktType);
// The built-in type a variable of that Gkt type announces, reads and takes; OpcUaType_Null for
// the types without one (the 24- to 56-bit integers and unknown types).
OpcUa_BuiltInType gktDeclaredType(OpcUa_UInt32 gktType);

// The device's answer (little-endian, length bytes) as a data value with fresh source and server
// timestamps: BadNoData without bytes, BadTypeMismatch for a type without declared type,
// BadInternalError when a fixed-size type comes back short. Text ends at the first zero byte.
UaDataValue rawToDataValue(const OpcUa_Byte* raw, OpcUa_UInt32 length, OpcUa_UInt32 gktType);
// The written value converted to the declared type and laid out for the device; text gets its
// terminating zero. BadNotSupported for a type without declared type, or the conversion's
// status; raw is left empty on failure.
OpcUa_StatusCode dataValueToRaw(const UaDataValue& dataValue, OpcUa_UInt32 gktType,
                                std::vector<OpcUa_Byte>& raw);
