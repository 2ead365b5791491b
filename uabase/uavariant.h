#ifndef UABASE_UAVARIANT_H
#define UABASE_UAVARIANT_H

#include "uabytearray.h"
#include "uabytestring.h"
#include "uadatetime.h"
#include "uaexpandednodeid.h"
#include "uaextensionobject.h"
#include "ualocalizedtext.h"
#include "uanodeid.h"
#include "uanumericrange.h"
#include "uaqualifiedname.h"
#include "uastring.h"
#include "uavariantarrays.h"

#include <opcua.h>

// The library's value holder: exactly one stack variant, owned, so that it can stand wherever the
// stack expects one. Copies are deep.
class UaVariant
{
public:
    UaVariant();
    ~UaVariant();
    UaVariant(const UaVariant& other);
    UaVariant& operator=(const UaVariant& other);
    UaVariant(const OpcUa_Variant& other);
    UaVariant& operator=(const OpcUa_Variant& other);

    UaVariant(const UaString& value);
    UaVariant(OpcUa_Double value);
    UaVariant(OpcUa_Float value);
    UaVariant(OpcUa_Int32 value);
    UaVariant(OpcUa_Int16 value);
    UaVariant(OpcUa_UInt32 value);
    UaVariant(OpcUa_UInt16 value);
    UaVariant(bool value);

    // Clears this variant and takes over the other's contents; the caller must not clear it.
    void attach(OpcUa_Variant& other);
    // A deep copy into a target the caller owns (overwritten without being cleared).
    void copyTo(OpcUa_Variant* target) const;
    void clear();

    operator const OpcUa_Variant*() const { return &m_value; }

    // ---- setters: each clears the old value first ----
    void setBool(OpcUa_Boolean value);
    void setSByte(OpcUa_SByte value);
    void setByte(OpcUa_Byte value);
    void setInt16(OpcUa_Int16 value);
    void setUInt16(OpcUa_UInt16 value);
    void setInt32(OpcUa_Int32 value);
    void setUInt32(OpcUa_UInt32 value);
    void setInt64(OpcUa_Int64 value);
    void setUInt64(OpcUa_UInt64 value);
    void setFloat(OpcUa_Float value);
    void setDouble(OpcUa_Double value);
    void setString(const UaString& value);
    void setDateTime(const UaDateTime& value);
    // detach: the buffer moves into the variant and the source is left empty.
    void setByteString(UaByteString& value, bool detach);
    void setXmlElement(UaByteString& value, bool detach);
    void setNodeId(const UaNodeId& value);
    void setQualifiedName(const UaQualifiedName& value);
    void setLocalizedText(const UaLocalizedText& value);
    // detach: the structure moves into the variant and the source is left empty.
    void setExtensionObject(UaExtensionObject& value, bool detach);
    void setByteArray(const UaByteArray& value);
    void setUInt32Array(UaUInt32Array& value, bool detach);
    void setStringArray(const UaStringArray& value);
    // detach: the variant takes over the array's block, which is left empty.
    void setStringArray(UaStringArray& value, bool detach);
    void setLocalizedTextArray(const UaLocalizedTextArray& value);

    // ---- queries ----
    UaNodeId dataType() const;
    OpcUa_BuiltInType type() const { return static_cast<OpcUa_BuiltInType>(m_value.Datatype); }
    OpcUa_Byte arrayType() const { return m_value.ArrayType; }
    bool isArray() const { return m_value.ArrayType == OpcUa_VariantArrayType_Array; }
    bool isMatrix() const { return m_value.ArrayType == OpcUa_VariantArrayType_Matrix; }
    bool isEmpty() const { return m_value.Datatype == OpcUaType_Null; }
    // -1 scalar, 1 array, the number of dimensions of a matrix, -2 otherwise.
    OpcUa_Int32 valueRank() const;

    // ---- structured reads: BadOutOfRange for anything else ----
    OpcUa_StatusCode toNodeId(UaNodeId& out) const;
    OpcUa_StatusCode toExpandedNodeId(UaExpandedNodeId& out) const;
    OpcUa_StatusCode toLocalizedText(UaLocalizedText& out) const;
    OpcUa_StatusCode toQualifiedName(UaQualifiedName& out) const;
    OpcUa_StatusCode toDateTime(UaDateTime& out) const;

    // ---- conversions: out is left unwritten on failure (toBool writes true first) ----
    OpcUa_StatusCode toBool(OpcUa_Boolean& out) const;
    OpcUa_StatusCode toSByte(OpcUa_SByte& out) const;
    OpcUa_StatusCode toByte(OpcUa_Byte& out) const;
    OpcUa_StatusCode toInt16(OpcUa_Int16& out) const;
    OpcUa_StatusCode toUInt16(OpcUa_UInt16& out) const;
    OpcUa_StatusCode toInt32(OpcUa_Int32& out) const;
    OpcUa_StatusCode toUInt32(OpcUa_UInt32& out) const;
    OpcUa_StatusCode toInt64(OpcUa_Int64& out) const;
    OpcUa_StatusCode toUInt64(OpcUa_UInt64& out) const;
    OpcUa_StatusCode toFloat(OpcUa_Float& out) const;
    OpcUa_StatusCode toDouble(OpcUa_Double& out) const;

    // ---- text ----
    // One line, arrays cut at 255 characters; never fails.
    UaString toString() const;
    // The long form of scalar NodeIds, ExpandedNodeIds, QualifiedNames and LocalizedTexts.
    UaString toFullString() const;
    // "{a|b|c}" into its element strings.
    static OpcUa_StatusCode stringArrayFromText(const UaString& text, UaStringArray& out);

    // ---- comparison ----
    bool operator==(const UaVariant& other) const;
    // The same equality on two stack variants, without copying them.
    static bool isSame(const OpcUa_Variant& a, const OpcUa_Variant& b);
    bool operator!=(const UaVariant& other) const { return !(*this == other); }
    // Only scalars of one built-in type are ordered; everything else compares false.
    bool operator<(const UaVariant& other) const;
    bool operator>(const UaVariant& other) const;
    bool operator<=(const UaVariant& other) const;
    bool operator>=(const UaVariant& other) const;

    // ---- index ranges ----
    OpcUa_StatusCode getRange(const UaNumericRange& range, OpcUa_Variant* out) const;
    OpcUa_StatusCode setRange(const UaNumericRange& range, const UaVariant& newValue);

    // ---- type change and typed arrays ----
    // Converts in place; on failure the old value stays.
    OpcUa_StatusCode changeType(OpcUa_BuiltInType target, bool toArray);
    OpcUa_StatusCode toBoolArray(UaBooleanArray& out) const;
    OpcUa_StatusCode toSByteArray(UaSByteArray& out) const;
    OpcUa_StatusCode toByteArray(UaByteStackArray& out) const;
    OpcUa_StatusCode toInt16Array(UaInt16Array& out) const;
    OpcUa_StatusCode toUInt16Array(UaUInt16Array& out) const;
    OpcUa_StatusCode toInt32Array(UaInt32Array& out) const;
    OpcUa_StatusCode toUInt32Array(UaUInt32Array& out) const;
    OpcUa_StatusCode toInt64Array(UaInt64Array& out) const;
    OpcUa_StatusCode toUInt64Array(UaUInt64Array& out) const;
    OpcUa_StatusCode toFloatArray(UaFloatArray& out) const;
    OpcUa_StatusCode toDoubleArray(UaDoubleArray& out) const;
    OpcUa_StatusCode toStringArray(UaStringArray& out) const;
    OpcUa_StatusCode toDateTimeArray(UaDateTimeArray& out) const;
    OpcUa_StatusCode toByteString(UaByteString& out) const;
    // Scalars of two different types among Boolean..Double are brought to one type for a
    // comparison: UInt64 when both are unsigned, Int64 when neither is floating point, else Double.
    static void promoteNumericTypes(UaVariant& a, UaVariant& b);

private:
    friend class UaDataValue;
    template <typename Array, typename Element>
    OpcUa_StatusCode toTypedArray(OpcUa_BuiltInType type, Array& out) const;
    OpcUa_StatusCode scalarTo(OpcUa_BuiltInType target, OpcUa_Variant& out) const;
    OpcUa_StatusCode arrayTo(OpcUa_BuiltInType target, OpcUa_Variant& out) const;

    OpcUa_Variant m_value;
};

#endif
