#ifndef UABASE_UAVARIANTCOPY_H
#define UABASE_UAVARIANTCOPY_H

#include <opcua.h>

// Deep copies of variants and data values, and of element blocks of the array types a variant
// can hold (built-in types 1 to 24).
namespace VariantCopy
{
// Bytes of one element of an array of that type; 0 for type 0 and types above 24.
OpcUa_UInt32 elementSize(OpcUa_Byte type);

// Elements of a matrix: the product of its dimension lengths; 0 without dimensions or with a
// length below 1, -1 when the product exceeds the 32-bit signed range.
OpcUa_Int64 matrixElementCount(const OpcUa_VariantMatrixValue& matrix);

// Copies into a target that owns nothing (it is overwritten). Types the variant cannot hold
// leave the null variant; on failure the target is the null variant and Bad is returned.
OpcUa_StatusCode copy(const OpcUa_Variant& source, OpcUa_Variant& target);
OpcUa_StatusCode copyDataValue(const OpcUa_DataValue& source, OpcUa_DataValue& target);

// A new block with deep copies of `count` elements (count above 0), or Bad and null.
OpcUa_StatusCode copyElements(OpcUa_Byte type, const void* source, OpcUa_Int32 count, void** block);
// Deep copy of one element into a zero-filled or cleared target slot.
OpcUa_StatusCode copyElement(OpcUa_Byte type, const void* source, void* target);
// Empties one element (the slot is left zero-filled).
void clearElement(OpcUa_Byte type, void* element);
} // namespace VariantCopy

#endif
