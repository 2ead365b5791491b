#include "uavariant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace
{
UaVariant text(const char* s)
{
    return UaVariant(UaString(s));
}
UaVariant dbl(double d)
{
    return UaVariant(d);
}
UaVariant i64(OpcUa_Int64 v)
{
    UaVariant r;
    r.setInt64(v);
    return r;
}
UaVariant u64(OpcUa_UInt64 v)
{
    UaVariant r;
    r.setUInt64(v);
    return r;
}

// Runs one conversion; the output starts at a marker value that a failure must leave alone.
template <typename T> struct Result
{
    OpcUa_StatusCode status;
    T value;
};
template <typename T>
Result<T> convert(const UaVariant& v, OpcUa_StatusCode (UaVariant::*to)(T&) const, T marker)
{
    T out = marker;
    OpcUa_StatusCode status = (v.*to)(out);
    if (status != OpcUa_Good)
    {
        EXPECT_EQ(out, marker) << "output written on failure";
    }
    return {status, out};
}

template <typename T> struct Case
{
    UaVariant value;
    OpcUa_StatusCode status;
    T expected;
};

template <typename T>
void runTable(const char* name, OpcUa_StatusCode (UaVariant::*to)(T&) const,
              std::initializer_list<Case<T>> cases, T marker)
{
    for (const Case<T>& c : cases)
    {
        Result<T> r = convert(c.value, to, marker);
        EXPECT_EQ(r.status, c.status) << name << " of " << c.value.toString().toUtf8();
        if (c.status == OpcUa_Good)
        {
            EXPECT_EQ(r.value, c.expected) << name << " of " << c.value.toString().toUtf8();
        }
    }
}
constexpr OpcUa_StatusCode Range = OpcUa_BadOutOfRange;
} // namespace

TEST(VariantConvert, ToSByteRoundsHalfAwayFromZeroAndChecksRange)
{
    runTable<OpcUa_SByte>("toSByte", &UaVariant::toSByte,
                          {{dbl(127.4), OpcUa_Good, 127},
                           {dbl(127.6), Range, 0},
                           {dbl(-2.5), OpcUa_Good, -3},
                           {dbl(2.5), OpcUa_Good, 3},
                           {dbl(-128.0), OpcUa_Good, -128},
                           {dbl(-128.4), OpcUa_Good, -128},
                           {dbl(-128.5), Range, 0},
                           {dbl(127.5), Range, 0},
                           {dbl(std::nan("")), Range, 0},
                           {UaVariant(OpcUa_Int32(127)), OpcUa_Good, 127},
                           {UaVariant(OpcUa_Int32(128)), Range, 0},
                           {UaVariant(OpcUa_Int32(-129)), Range, 0},
                           {i64(0x100000000ll), Range, 0},
                           {UaVariant(true), OpcUa_Good, 1},
                           {text("-128"), OpcUa_Good, -128},
                           {text("200"), Range, 0},
                           {UaVariant(OpcUa_Float(-0.5f)), OpcUa_Good, -1}},
                          42);
}

TEST(VariantConvert, ToInt32FromStringsConsumesTheWholeText)
{
    runTable<OpcUa_Int32>("toInt32", &UaVariant::toInt32,
                          {{text("12"), OpcUa_Good, 12},
                           {text("-12"), OpcUa_Good, -12},
                           {text("12a"), Range, 0},
                           {text(""), Range, 0},
                           {text("2147483647"), OpcUa_Good, 2147483647},
                           {text("2147483648"), Range, 0},
                           {text(std::string(120, '1').c_str()), Range, 0},
                           {text(std::string(99, '0').append("7").c_str()), Range, 0},
                           {text(std::string(98, '0').append("7").c_str()), OpcUa_Good, 7},
                           {u64(0x7FFFFFFFull), OpcUa_Good, 2147483647},
                           {u64(0x80000000ull), Range, 0},
                           {dbl(2147483647.4), OpcUa_Good, 2147483647},
                           {dbl(2147483647.6), Range, 0}},
                          42);
    // Types without a number.
    UaVariant id;
    id.setNodeId(UaNodeId(1, 0));
    OpcUa_Int32 out = 5;
    EXPECT_EQ(id.toInt32(out), Range);
    EXPECT_EQ(UaVariant().toInt32(out), Range);
    EXPECT_EQ(out, 5);
}

TEST(VariantConvert, UnsignedTextRefusesSignsAndReachesTheFullRange)
{
    runTable<OpcUa_UInt64>("toUInt64", &UaVariant::toUInt64,
                           {{text("18446744073709551615"), OpcUa_Good, 18446744073709551615ull},
                            {text("9223372036854775808"), OpcUa_Good, 9223372036854775808ull},
                            {text("18446744073709551616"), Range, 0},
                            {text("-1"), Range, 0},
                            {text("+1"), Range, 0},
                            {text(" -1"), Range, 0},
                            {i64(-1), Range, 0},
                            {dbl(18446744073709551616.0), Range, 0},
                            {dbl(18446744073709549568.0), OpcUa_Good, 18446744073709549568ull},
                            {dbl(-0.4), OpcUa_Good, 0},
                            {dbl(-0.5), Range, 0}},
                           7);
    runTable<OpcUa_UInt32>("toUInt32", &UaVariant::toUInt32,
                           {{text("4294967295"), OpcUa_Good, 4294967295u},
                            {text("4294967296"), Range, 0},
                            {text("-1"), Range, 0},
                            {text("-0"), Range, 0}},
                           7);
    runTable<OpcUa_Byte>("toByte", &UaVariant::toByte,
                         {{text("255"), OpcUa_Good, 255}, {text("256"), Range, 0}, {text("-1"), Range, 0}},
                         7);
}

TEST(VariantConvert, FloatingToSixtyFourBitUsesExclusiveUpperBounds)
{
    runTable<OpcUa_Int64>(
        "toInt64", &UaVariant::toInt64,
        {{dbl(9223372036854775808.0), Range, 0},
         {dbl(9223372036854774784.0), OpcUa_Good, 9223372036854774784ll},
         {dbl(-9223372036854775808.0), OpcUa_Good, std::numeric_limits<OpcUa_Int64>::min()},
         {dbl(-9223372036854777856.0), Range, 0},
         {dbl(INFINITY), Range, 0},
         {UaVariant(OpcUa_Float(9223372036854775808.0f)), Range, 0},
         {text("-9223372036854775808"), OpcUa_Good, std::numeric_limits<OpcUa_Int64>::min()},
         {text("9223372036854775808"), Range, 0},
         {u64(9223372036854775808ull), Range, 0}},
        7);
}

TEST(VariantConvert, ToFloatAndToDouble)
{
    runTable<OpcUa_Float>("toFloat", &UaVariant::toFloat,
                          {{dbl(0.0), OpcUa_Good, 0.0f},
                           {dbl(1.5), OpcUa_Good, 1.5f},
                           {dbl(3.4028234663852886e+38), OpcUa_Good, 3.4028234663852886e+38f},
                           {dbl(3.5e+38), Range, 0},
                           {dbl(1.0e-40), Range, 0},
                           {dbl(-1.1754943508222875e-38), OpcUa_Good, -1.1754943508222875e-38f},
                           {u64(1), Range, 0},
                           {i64(-3), OpcUa_Good, -3.0f},
                           {UaVariant(true), OpcUa_Good, 1.0f},
                           {text("2.5"), OpcUa_Good, 2.5f},
                           {text("1e39"), Range, 0},
                           {text("2.5x"), Range, 0}},
                          9.0f);
    runTable<OpcUa_Double>("toDouble", &UaVariant::toDouble,
                           {{u64(18446744073709551615ull), OpcUa_Good, 18446744073709551615.0},
                            {UaVariant(OpcUa_Float(0.5f)), OpcUa_Good, 0.5},
                            {text("-1e300"), OpcUa_Good, -1e300},
                            {text("1e400"), Range, 0},
                            {text("abc"), Range, 0},
                            {text(""), Range, 0},
                            {UaVariant(OpcUa_UInt16(65535)), OpcUa_Good, 65535.0}},
                           9.0);
}

TEST(VariantConvert, ToBool)
{
    struct Case
    {
        UaVariant value;
        OpcUa_StatusCode status;
        OpcUa_Boolean expected;
    };
    UaVariant id;
    id.setNodeId(UaNodeId(1, 0));
    const Case cases[] = {
        {text("FALSE"), OpcUa_Good, OpcUa_False},    {text("false"), OpcUa_Good, OpcUa_False},
        {text("0"), OpcUa_Good, OpcUa_False},        {text("no"), OpcUa_Good, OpcUa_True},
        {text("00"), OpcUa_Good, OpcUa_True},        {text(""), OpcUa_Good, OpcUa_True},
        {text("falsey"), OpcUa_Good, OpcUa_True},    {dbl(0.0), OpcUa_Good, OpcUa_False},
        {dbl(std::nan("")), OpcUa_Good, OpcUa_True}, {i64(0), OpcUa_Good, OpcUa_False},
        {u64(1ull << 40), OpcUa_Good, OpcUa_True},   {UaVariant(false), OpcUa_Good, OpcUa_False},
        {id, OpcUa_BadTypeMismatch, OpcUa_True},
    };
    for (const Case& c : cases)
    {
        OpcUa_Boolean out = 7;
        EXPECT_EQ(c.value.toBool(out), c.status) << c.value.toString().toUtf8();
        EXPECT_EQ(out, c.expected) << c.value.toString().toUtf8();
    }
    UaUInt32Array values;
    values.create(1);
    UaVariant array;
    array.setUInt32Array(values, true);
    OpcUa_Boolean out = 7;
    EXPECT_EQ(array.toBool(out), OpcUa_BadOutOfRange);
    EXPECT_EQ(out, 7);
}

TEST(VariantConvert, StructuredReads)
{
    UaVariant id;
    id.setNodeId(UaNodeId(UaString("Motor"), 2));
    UaNodeId nodeId;
    EXPECT_EQ(id.toNodeId(nodeId), OpcUa_Good);
    EXPECT_TRUE(nodeId == UaNodeId(UaString("Motor"), 2));
    UaExpandedNodeId expanded;
    EXPECT_EQ(id.toExpandedNodeId(expanded), OpcUa_Good);
    EXPECT_TRUE(expanded.nodeId() == UaNodeId(UaString("Motor"), 2));
    EXPECT_EQ(expanded.serverIndex(), 0u);

    UaLocalizedText localized;
    EXPECT_EQ(text("hello").toLocalizedText(localized), OpcUa_Good);
    EXPECT_STREQ(localized.text().toUtf8(), "hello");
    EXPECT_TRUE(localized.locale().isEmpty());
    UaQualifiedName name;
    EXPECT_EQ(text("hello").toQualifiedName(name), OpcUa_BadOutOfRange);
    EXPECT_EQ(dbl(1).toNodeId(nodeId), OpcUa_BadOutOfRange);

    UaDateTime time;
    EXPECT_EQ(text("2011-12-01T19:17:23.123Z").toDateTime(time), OpcUa_Good);
    EXPECT_STREQ(time.toString().toUtf8(), "2011-12-01T19:17:23.123Z");
    UaDateTime kept = time;
    EXPECT_TRUE((text("not a time").toDateTime(time) & 0x80000000u) != 0);
    EXPECT_TRUE(time == kept);
    EXPECT_EQ(dbl(1).toDateTime(time), OpcUa_BadOutOfRange);

    EXPECT_EQ(id.dataType(), UaNodeId(OpcUaType_NodeId, 0));
    EXPECT_EQ(id.valueRank(), -1);
    UaExtensionObject object;
    object.createBody(&OpcUa_Range_EncodeableType);
    UaVariant structure;
    structure.setExtensionObject(object, false);
    EXPECT_EQ(structure.dataType(), UaNodeId(OpcUaId_Range, 0));
}
