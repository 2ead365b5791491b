// The one conversion between device bytes and OPC UA values, both directions in one table.
#include <gkttypes.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace
{
using Bytes = std::vector<OpcUa_Byte>;

UaVariant variantOf(OpcUa_BuiltInType type, double number, const char* text = nullptr)
{
    UaVariant value;
    switch (type)
    {
    case OpcUaType_Boolean:
        value.setBool(number != 0);
        break;
    case OpcUaType_SByte:
        value.setSByte(static_cast<OpcUa_SByte>(number));
        break;
    case OpcUaType_Byte:
        value.setByte(static_cast<OpcUa_Byte>(number));
        break;
    case OpcUaType_Int16:
        value.setInt16(static_cast<OpcUa_Int16>(number));
        break;
    case OpcUaType_UInt16:
        value.setUInt16(static_cast<OpcUa_UInt16>(number));
        break;
    case OpcUaType_Int32:
        value.setInt32(static_cast<OpcUa_Int32>(number));
        break;
    case OpcUaType_UInt32:
        value.setUInt32(static_cast<OpcUa_UInt32>(number));
        break;
    case OpcUaType_Float:
        value.setFloat(static_cast<OpcUa_Float>(number));
        break;
    case OpcUaType_Double:
        value.setDouble(number);
        break;
    case OpcUaType_String:
        value.setString(text);
        break;
    default:
        break;
    }
    return value;
}

struct RoundTrip
{
    const char* name;
    OpcUa_UInt32 gktType;
    Bytes raw;
    // The value read from raw, and written back gives raw again.
    UaVariant value;
};

TEST(GktConversion, DeviceBytesAndValuesConvertBothWays)
{
    UaVariant all64;
    all64.setUInt64(0xFEDCBA9876543210ull);
    const RoundTrip cases[] = {
        {"Boolean", 1, {1}, variantOf(OpcUaType_Boolean, 1)},
        {"signed byte, read as SByte", 2, {0xFE}, variantOf(OpcUaType_SByte, -2)},
        {"Int16", 3, {0x2E, 0xFB}, variantOf(OpcUaType_Int16, -1234)},
        {"Int32", 4, {0xC0, 0x1D, 0xFE, 0xFF}, variantOf(OpcUaType_Int32, -123456)},
        {"Byte", 5, {200}, variantOf(OpcUaType_Byte, 200)},
        {"UInt16", 6, {0x60, 0xEA}, variantOf(OpcUaType_UInt16, 60000)},
        {"UInt32 little-endian", 7, {0x78, 0x56, 0x34, 0x12}, variantOf(OpcUaType_UInt32, 305419896)},
        {"Float", 8, {0x00, 0x00, 0x50, 0x40}, variantOf(OpcUaType_Float, 3.25)},
        {"visible string", 9, {'a', 'b', 0}, variantOf(OpcUaType_String, 0, "ab")},
        {"octet string", 10, {'x', 0}, variantOf(OpcUaType_String, 0, "x")},
        {"Double", 11, {0, 0, 0, 0, 0, 0, 0xF8, 0x3F}, variantOf(OpcUaType_Double, 1.5)},
        {"UInt64 keeps all 64 bits", 27, {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE}, all64},
        {"double word", 40, {0xEF, 0xBE, 0xAD, 0xDE}, variantOf(OpcUaType_UInt32, 0xDEADBEEF)},
        {"bit field as Byte", 48, {1}, variantOf(OpcUaType_Byte, 1)},
        {"eight-bit field as Byte", 55, {129}, variantOf(OpcUaType_Byte, 129)},
    };
    for (const RoundTrip& c : cases)
    {
        SCOPED_TRACE(c.name);
        Bytes readable = c.raw;
        readable.push_back(0);
        const UaDataValue read =
            rawToDataValue(readable.data(), static_cast<OpcUa_UInt32>(c.raw.size()), c.gktType);
        EXPECT_EQ(read.statusCode(), OpcUa_Good);
        EXPECT_EQ(read.value().type(), c.value.type());
        EXPECT_TRUE(read.value() == c.value) << read.value().toString().toUtf8();
        EXPECT_EQ(gktDeclaredType(c.gktType), c.value.type());
        EXPECT_TRUE(read.isSourceTimestampSet() && read.isServerTimestampSet());

        UaDataValue written;
        written.setValue(c.value, false, false);
        Bytes raw;
        EXPECT_EQ(dataValueToRaw(written, c.gktType, raw), OpcUa_Good);
        EXPECT_EQ(raw, c.raw);
    }
}

struct Failure
{
    const char* name;
    OpcUa_UInt32 gktType;
    bool withBytes;
    Bytes raw;
    OpcUa_StatusCode readStatus;
};

TEST(GktConversion, ReadsWithoutAUsableAnswerGiveAStatusAndNoValue)
{
    const Failure cases[] = {
        {"no bytes", 7, false, {}, OpcUa_BadNoData},
        {"unknown type", 99, true, {1, 2, 3, 4}, OpcUa_BadTypeMismatch},
        {"24-bit integer has no declared type", 22, true, {1, 2, 3}, OpcUa_BadTypeMismatch},
        {"56-bit integer has no declared type", 26, true, {1, 2, 3, 4, 5, 6, 7}, OpcUa_BadTypeMismatch},
        {"Int32 answered with two bytes", 4, true, {1, 2}, OpcUa_BadInternalError},
        {"Double answered with no bytes", 11, true, {}, OpcUa_BadInternalError},
    };
    for (const Failure& c : cases)
    {
        SCOPED_TRACE(c.name);
        Bytes buffer = c.raw;
        buffer.resize(8, 0);
        const UaDataValue read = rawToDataValue(c.withBytes ? buffer.data() : nullptr,
                                                static_cast<OpcUa_UInt32>(c.raw.size()), c.gktType);
        EXPECT_EQ(read.statusCode(), c.readStatus);
        EXPECT_TRUE(read.value().isEmpty());
        EXPECT_TRUE(read.isSourceTimestampSet() && read.isServerTimestampSet());
    }
}

TEST(GktConversion, WrittenValuesConvertToTheDeclaredTypeOrFail)
{
    struct Write
    {
        const char* name;
        OpcUa_UInt32 gktType;
        UaVariant value;
        OpcUa_StatusCode status;
        Bytes raw;
    };
    UaVariant array;
    UaStringArray texts;
    texts.create(1);
    array.setStringArray(texts);
    const Write cases[] = {
        {"Double to Int32", 4, variantOf(OpcUaType_Double, 70000.0), OpcUa_Good, {0x70, 0x11, 0x01, 0x00}},
        {"Double out of range for Int32", 4, variantOf(OpcUaType_Double, 1e12), OpcUa_BadOutOfRange, {}},
        {"text to a number", 3, variantOf(OpcUaType_String, 0, "12"), OpcUa_Good, {12, 0}},
        {"number to text", 9, variantOf(OpcUaType_UInt32, 7), OpcUa_Good, {'7', 0}},
        {"array", 9, array, OpcUa_BadTypeMismatch, {}},
        {"unknown type", 99, variantOf(OpcUaType_UInt32, 7), OpcUa_BadNotSupported, {}},
        {"type without declared type", 25, variantOf(OpcUaType_UInt32, 7), OpcUa_BadNotSupported, {}},
    };
    for (const Write& c : cases)
    {
        SCOPED_TRACE(c.name);
        UaDataValue written;
        written.setValue(c.value, false, false);
        Bytes raw{0xAA};
        EXPECT_EQ(dataValueToRaw(written, c.gktType, raw), c.status);
        EXPECT_EQ(raw, c.raw);
    }
}

TEST(GktConversion, TextEndsAtItsFirstZeroOrAtTheBytesRead)
{
    const Bytes raw{'o', 'n', 0, 'x', 'y', 'z'};
    EXPECT_EQ(std::string(rawToDataValue(raw.data(), 6, 10).value().toString().toUtf8()), "on");
    EXPECT_EQ(std::string(rawToDataValue(raw.data() + 3, 2, 9).value().toString().toUtf8()), "xy");
    EXPECT_EQ(gktByteSize(9), 512u);
    EXPECT_EQ(gktByteSize(24), 5u);
    EXPECT_EQ(gktByteSize(99), 0u);
}
} // namespace
