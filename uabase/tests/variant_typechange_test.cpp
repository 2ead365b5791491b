#include "variant_builders.h"
#include "uavariant.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
UaVariant text(const char* s)
{
    return UaVariant(UaString(s));
}
} // namespace

TEST(VariantTypeChange, Table)
{
    struct Case
    {
        const char* name;
        UaVariant value;
        OpcUa_BuiltInType target;
        bool toArray;
        OpcUa_StatusCode status;
        UaVariant expected; // the value afterwards: the old one on failure
    };
    UaVariant scalarUInt64;
    scalarUInt64.setUInt64(18446744073709551615ull);
    UaVariant time;
    time.setDateTime(UaDateTime::fromInt64(0));
    UaDateTime parsed;
    UaDateTime::fromString(UaString("2011-12-01T19:17:23.123Z"), parsed);
    UaVariant parsedTime;
    parsedTime.setDateTime(parsed);
    const Case cases[] = {
        {"empty", UaVariant(), OpcUaType_Int32, false, OpcUa_BadTypeMismatch, UaVariant()},
        {"matrix", emptyMatrix(OpcUaType_Int32), OpcUaType_Double, false, OpcUa_BadTypeMismatch,
         emptyMatrix(OpcUaType_Int32)},
        {"same scalar", UaVariant(OpcUa_Int32(3)), OpcUaType_Int32, false, OpcUa_Good,
         UaVariant(OpcUa_Int32(3))},
        {"same array", arrayOf<OpcUa_Int32>(OpcUaType_Int32, {1}), OpcUaType_Int32, true, OpcUa_Good,
         arrayOf<OpcUa_Int32>(OpcUaType_Int32, {1})},
        {"array to own scalar", arrayOf<OpcUa_Int32>(OpcUaType_Int32, {1}), OpcUaType_Int32, false,
         OpcUa_BadTypeMismatch, arrayOf<OpcUa_Int32>(OpcUaType_Int32, {1})},
        {"scalar to own array", UaVariant(OpcUa_Int32(3)), OpcUaType_Int32, true, OpcUa_BadOutOfRange,
         UaVariant(OpcUa_Int32(3))},
        {"string split", text("{a|b}"), OpcUaType_String, true, OpcUa_Good, stringArray({"a", "b"})},
        {"int to double", UaVariant(OpcUa_Int32(3)), OpcUaType_Double, false, OpcUa_Good, UaVariant(3.0)},
        {"double to byte out of range", UaVariant(300.0), OpcUaType_Byte, false, OpcUa_BadOutOfRange,
         UaVariant(300.0)},
        {"text to int", text("12"), OpcUaType_Int32, false, OpcUa_Good, UaVariant(OpcUa_Int32(12))},
        {"int to text", UaVariant(OpcUa_Int32(-12)), OpcUaType_String, false, OpcUa_Good, text("-12")},
        {"text to time", text("2011-12-01T19:17:23.123Z"), OpcUaType_DateTime, false, OpcUa_Good, parsedTime},
        {"bool to byte", UaVariant(true), OpcUaType_Byte, false, OpcUa_Good,
         []
         {
             UaVariant v;
             v.setByte(1);
             return v;
         }()},
        {"to node id", UaVariant(OpcUa_Int32(3)), OpcUaType_NodeId, false, OpcUa_BadTypeMismatch,
         UaVariant(OpcUa_Int32(3))},
        {"hex text", text("0A1b"), OpcUaType_ByteString, false, OpcUa_Good, byteString("\x0a\x1b")},
        {"odd hex text", text("0A1"), OpcUaType_ByteString, false, OpcUa_BadOutOfRange, text("0A1")},
        {"bad hex digit", text("0G"), OpcUaType_ByteString, false, OpcUa_BadOutOfRange, text("0G")},
        {"byte array to byte string", arrayOf<OpcUa_Byte>(OpcUaType_Byte, {1, 2, 250}), OpcUaType_ByteString,
         false, OpcUa_Good, byteString("\x01\x02\xfa")},
        {"int array to byte string", arrayOf<OpcUa_Int32>(OpcUaType_Int32, {1}), OpcUaType_ByteString, false,
         OpcUa_BadTypeMismatch, arrayOf<OpcUa_Int32>(OpcUaType_Int32, {1})},
        {"byte string to byte array", byteString("\x05\x06"), OpcUaType_Byte, true, OpcUa_Good,
         arrayOf<OpcUa_Byte>(OpcUaType_Byte, {5, 6})},
        {"string to int array", text("{1|2|-3}"), OpcUaType_Int32, true, OpcUa_Good,
         arrayOf<OpcUa_Int32>(OpcUaType_Int32, {1, 2, -3})},
        {"string to int array, bad element", text("{1|x}"), OpcUaType_Int32, true, OpcUa_BadOutOfRange,
         text("{1|x}")},
        {"string without braces to array", text("1|2"), OpcUaType_Int32, true, OpcUa_BadTypeMismatch,
         text("1|2")},
        {"string array to double array", stringArray({"1.5", "2"}), OpcUaType_Double, true, OpcUa_Good,
         arrayOf<OpcUa_Double>(OpcUaType_Double, {1.5, 2.0})},
        {"string array, bad element", stringArray({"1", "300"}), OpcUaType_Byte, true, OpcUa_BadOutOfRange,
         stringArray({"1", "300"})},
        // Numeric arrays convert element by element too.
        {"int array to double array", arrayOf<OpcUa_Int32>(OpcUaType_Int32, {1, -2}), OpcUaType_Double, true,
         OpcUa_Good, arrayOf<OpcUa_Double>(OpcUaType_Double, {1.0, -2.0})},
        {"double array to int array", arrayOf<OpcUa_Double>(OpcUaType_Double, {1.5, -2.5}), OpcUaType_Int32,
         true, OpcUa_Good, arrayOf<OpcUa_Int32>(OpcUaType_Int32, {2, -3})},
        {"int array to string array", arrayOf<OpcUa_Int32>(OpcUaType_Int32, {7, 8}), OpcUaType_String, true,
         OpcUa_Good, stringArray({"7", "8"})},
        {"int array to byte array out of range", arrayOf<OpcUa_Int32>(OpcUaType_Int32, {1, 256}),
         OpcUaType_Byte, true, OpcUa_BadTypeMismatch, arrayOf<OpcUa_Int32>(OpcUaType_Int32, {1, 256})},
        {"empty int array to double array", arrayOf<OpcUa_Int32>(OpcUaType_Int32, {}), OpcUaType_Double, true,
         OpcUa_Good, arrayOf<OpcUa_Double>(OpcUaType_Double, {})},
        {"array to guid array", arrayOf<OpcUa_Int32>(OpcUaType_Int32, {1}), OpcUaType_Guid, true,
         OpcUa_BadTypeMismatch, arrayOf<OpcUa_Int32>(OpcUaType_Int32, {1})},
        {"uint64 to float", scalarUInt64, OpcUaType_Float, false, OpcUa_BadOutOfRange, scalarUInt64},
        {"int to array of other type", UaVariant(OpcUa_Int32(1)), OpcUaType_Double, true,
         OpcUa_BadTypeMismatch, UaVariant(OpcUa_Int32(1))},
    };
    for (const Case& c : cases)
    {
        UaVariant value = c.value;
        EXPECT_EQ(value.changeType(c.target, c.toArray), c.status) << c.name;
        EXPECT_TRUE(value == c.expected) << c.name << ": " << value.toString().toUtf8();
    }
}

TEST(VariantTypeChange, TypedArraysOut)
{
    UaInt32Array ints;
    EXPECT_EQ(arrayOf<OpcUa_Int32>(OpcUaType_Int32, {4, 5}).toInt32Array(ints), OpcUa_Good);
    ASSERT_EQ(ints.length(), 2u);
    EXPECT_EQ(ints[1], 5);

    UaDoubleArray doubles;
    EXPECT_EQ(text("{1.5|-2}").toDoubleArray(doubles), OpcUa_Good);
    ASSERT_EQ(doubles.length(), 2u);
    EXPECT_EQ(doubles[0], 1.5);
    EXPECT_EQ(doubles[1], -2.0);

    UaStringArray texts;
    EXPECT_EQ(text("{x|y}").toStringArray(texts), OpcUa_Good);
    ASSERT_EQ(texts.length(), 2u);
    EXPECT_STREQ(UaString(&texts[1]).toUtf8(), "y");

    UaBooleanArray flags;
    EXPECT_EQ(text("{true|0|false}").toBoolArray(flags), OpcUa_Good);
    ASSERT_EQ(flags.length(), 3u);
    EXPECT_EQ(flags[0], OpcUa_True);
    EXPECT_EQ(flags[1], OpcUa_False);
    EXPECT_EQ(flags[2], OpcUa_False);

    UaUInt64Array big;
    EXPECT_EQ(text("{18446744073709551615}").toUInt64Array(big), OpcUa_Good);
    ASSERT_EQ(big.length(), 1u);
    EXPECT_EQ(big[0], 18446744073709551615ull);

    // Other shapes and types leave the output alone.
    UaInt16Array untouched;
    untouched.create(1);
    untouched[0] = 77;
    EXPECT_EQ(arrayOf<OpcUa_Int32>(OpcUaType_Int32, {1}).toInt16Array(untouched), OpcUa_BadOutOfRange);
    EXPECT_EQ(UaVariant(OpcUa_Int16(1)).toInt16Array(untouched), OpcUa_BadOutOfRange);
    ASSERT_EQ(untouched.length(), 1u);
    EXPECT_EQ(untouched[0], 77);

    UaByteString b;
    EXPECT_EQ(arrayOf<OpcUa_Byte>(OpcUaType_Byte, {9}).toByteString(b), OpcUa_Good);
    EXPECT_EQ(b.length(), 1);
    EXPECT_EQ(UaVariant(1.0).toByteString(b), OpcUa_BadOutOfRange);
    EXPECT_EQ(b.length(), 1);
}

TEST(VariantTypeChange, NumericPromotion)
{
    struct Case
    {
        UaVariant a;
        UaVariant b;
        OpcUa_BuiltInType typeA;
        OpcUa_BuiltInType typeB;
    };
    UaVariant byteValue;
    byteValue.setByte(2);
    UaVariant text1(UaString("1"));
    const Case cases[] = {
        {UaVariant(OpcUa_UInt16(1)), UaVariant(OpcUa_Int32(-1)), OpcUaType_Int64, OpcUaType_Int64},
        {byteValue, UaVariant(OpcUa_Float(1.5f)), OpcUaType_Double, OpcUaType_Double},
        {UaVariant(OpcUa_UInt16(1)), UaVariant(OpcUa_UInt32(7)), OpcUaType_UInt64, OpcUaType_UInt64},
        {UaVariant(true), byteValue, OpcUaType_UInt64, OpcUaType_UInt64},
        {UaVariant(OpcUa_Int32(1)), UaVariant(OpcUa_Int32(2)), OpcUaType_Int32, OpcUaType_Int32},
        {UaVariant(OpcUa_Int32(1)), text1, OpcUaType_Int32, OpcUaType_String},
    };
    for (const Case& c : cases)
    {
        UaVariant a = c.a;
        UaVariant b = c.b;
        UaVariant::promoteNumericTypes(a, b);
        EXPECT_EQ(a.type(), c.typeA) << c.a.toString().toUtf8() << " / " << c.b.toString().toUtf8();
        EXPECT_EQ(b.type(), c.typeB) << c.a.toString().toUtf8() << " / " << c.b.toString().toUtf8();
        OpcUa_Double x = 0;
        OpcUa_Double y = 0;
        if (a.toDouble(x) == OpcUa_Good && c.a.toDouble(y) == OpcUa_Good)
        {
            EXPECT_EQ(x, y) << "the value survives";
        }
    }
    // After promotion a Byte and a Float compare by value.
    UaVariant a = byteValue;
    UaVariant b(OpcUa_Float(1.5f));
    UaVariant::promoteNumericTypes(a, b);
    EXPECT_TRUE(a > b);
}
