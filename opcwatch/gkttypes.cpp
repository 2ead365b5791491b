#include "gkttypes.h"

#include <uadatetime.h>

#include <cstring>

namespace
{
struct GktTypeRow
{
    OpcUa_UInt32 gktType;
    OpcUa_UInt32 byteSize;
    OpcUa_BuiltInType declaredType;
};

// Declared and read types agree, so that every polled value converts to its variable's type.
constexpr GktTypeRow kGktTypes[] = {
    {1, 1, OpcUaType_Boolean},   {2, 1, OpcUaType_SByte},   {3, 2, OpcUaType_Int16},
    {4, 4, OpcUaType_Int32},     {5, 1, OpcUaType_Byte},    {6, 2, OpcUaType_UInt16},
    {7, 4, OpcUaType_UInt32},    {8, 4, OpcUaType_Float},   {9, 512, OpcUaType_String},
    {10, 512, OpcUaType_String}, {11, 8, OpcUaType_Double}, {22, 3, OpcUaType_Null},
    {24, 5, OpcUaType_Null},     {25, 6, OpcUaType_Null},   {26, 7, OpcUaType_Null},
    {27, 8, OpcUaType_UInt64},   {40, 4, OpcUaType_UInt32}, {48, 1, OpcUaType_Byte},
    {49, 1, OpcUaType_Byte},     {50, 1, OpcUaType_Byte},   {51, 1, OpcUaType_Byte},
    {52, 1, OpcUaType_Byte},     {53, 1, OpcUaType_Byte},   {54, 1, OpcUaType_Byte},
    {55, 1, OpcUaType_Byte},
};

const GktTypeRow* findType(OpcUa_UInt32 gktType)
{
    for (const GktTypeRow& row : kGktTypes)
        if (row.gktType == gktType)
            return &row;
    return nullptr;
}

// The size of a number of that built-in type in the device's layout; 0 for text.
OpcUa_UInt32 numberSize(OpcUa_BuiltInType type)
{
    switch (type)
    {
    case OpcUaType_Boolean:
    case OpcUaType_SByte:
    case OpcUaType_Byte:
        return 1;
    case OpcUaType_Int16:
    case OpcUaType_UInt16:
        return 2;
    case OpcUaType_Int32:
    case OpcUaType_UInt32:
    case OpcUaType_Float:
        return 4;
    default:
        return 8;
    }
}

template <typename T> T load(const OpcUa_Byte* raw)
{
    T value;
    std::memcpy(&value, raw, sizeof value);
    return value;
}

template <typename T> void store(std::vector<OpcUa_Byte>& raw, T value)
{
    raw.resize(sizeof value);
    std::memcpy(raw.data(), &value, sizeof value);
}

void setNumber(UaVariant& value, OpcUa_BuiltInType type, const OpcUa_Byte* raw)
{
    switch (type)
    {
    case OpcUaType_Boolean:
        value.setBool(raw[0]);
        break;
    case OpcUaType_SByte:
        value.setSByte(load<OpcUa_SByte>(raw));
        break;
    case OpcUaType_Byte:
        value.setByte(raw[0]);
        break;
    case OpcUaType_Int16:
        value.setInt16(load<OpcUa_Int16>(raw));
        break;
    case OpcUaType_UInt16:
        value.setUInt16(load<OpcUa_UInt16>(raw));
        break;
    case OpcUaType_Int32:
        value.setInt32(load<OpcUa_Int32>(raw));
        break;
    case OpcUaType_UInt32:
        value.setUInt32(load<OpcUa_UInt32>(raw));
        break;
    case OpcUaType_Float:
        value.setFloat(load<OpcUa_Float>(raw));
        break;
    case OpcUaType_Double:
        value.setDouble(load<OpcUa_Double>(raw));
        break;
    default:
        value.setUInt64(load<OpcUa_UInt64>(raw));
        break;
    }
}

// The converted value's native bytes; the variant holds the declared type already.
void storeNumber(const OpcUa_Variant& value, std::vector<OpcUa_Byte>& raw)
{
    switch (value.Datatype)
    {
    case OpcUaType_Boolean:
        store(raw, static_cast<OpcUa_Byte>(value.Value.Boolean));
        break;
    case OpcUaType_SByte:
        store(raw, value.Value.SByte);
        break;
    case OpcUaType_Byte:
        store(raw, value.Value.Byte);
        break;
    case OpcUaType_Int16:
        store(raw, value.Value.Int16);
        break;
    case OpcUaType_UInt16:
        store(raw, value.Value.UInt16);
        break;
    case OpcUaType_Int32:
        store(raw, value.Value.Int32);
        break;
    case OpcUaType_UInt32:
        store(raw, value.Value.UInt32);
        break;
    case OpcUaType_Float:
        store(raw, value.Value.Float);
        break;
    case OpcUaType_Double:
        store(raw, value.Value.Double);
        break;
    default:
        store(raw, value.Value.UInt64);
        break;
    }
}
} // namespace

OpcUa_UInt32 gktByteSize(OpcUa_UInt32 gktType)
{
    const GktTypeRow* row = findType(gktType);
    return row ? row->byteSize : 0;
}

OpcUa_BuiltInType gktDeclaredType(OpcUa_UInt32 gktType)
{
    const GktTypeRow* row = findType(gktType);
    return row ? row->declaredType : OpcUaType_Null;
}

UaDataValue rawToDataValue(const OpcUa_Byte* raw, OpcUa_UInt32 length, OpcUa_UInt32 gktType)
{
    UaDataValue dataValue;
    const OpcUa_BuiltInType type = gktDeclaredType(gktType);
    if (!raw)
        dataValue.setStatusCode(OpcUa_BadNoData);
    else if (type == OpcUaType_Null)
        dataValue.setStatusCode(OpcUa_BadTypeMismatch);
    else if (type == OpcUaType_String)
    {
        const auto* text = reinterpret_cast<const char*>(raw);
        UaVariant value;
        value.setString(UaString(std::string(text, strnlen(text, length)).c_str()));
        dataValue.setValue(value, true, false);
    }
    // A short answer of a number would leave bytes nobody delivered in the value.
    else if (length < numberSize(type))
        dataValue.setStatusCode(OpcUa_BadInternalError);
    else
    {
        UaVariant value;
        setNumber(value, type, raw);
        dataValue.setValue(value, true, false);
    }
    dataValue.setSourceTimestamp(UaDateTime::now());
    dataValue.setServerTimestamp(UaDateTime::now());
    return dataValue;
}

OpcUa_StatusCode dataValueToRaw(const UaDataValue& dataValue, OpcUa_UInt32 gktType,
                                std::vector<OpcUa_Byte>& raw)
{
    raw.clear();
    const OpcUa_BuiltInType type = gktDeclaredType(gktType);
    if (type == OpcUaType_Null)
        return OpcUa_BadNotSupported;
    UaVariant value = dataValue.value();
    if (value.isArray())
        return OpcUa_BadTypeMismatch;
    const OpcUa_StatusCode converted = value.changeType(type, false);
    if (OpcUa_IsBad(converted))
        return converted;
    const OpcUa_Variant& native = *static_cast<const OpcUa_Variant*>(value);
    if (type == OpcUaType_String)
    {
        const std::string text = value.toString().toUtf8();
        raw.assign(text.begin(), text.end());
        raw.push_back(0);
    }
    else
        storeNumber(native, raw);
    return OpcUa_Good;
}
