#include "variant_builders.h"
#include "uavariant.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
UaVariant byteStringArray(const std::vector<std::string>& values)
{
    OpcUa_Variant raw;
    OpcUa_Variant_Initialize(&raw);
    raw.Datatype = OpcUaType_ByteString;
    raw.ArrayType = OpcUa_VariantArrayType_Array;
    raw.Value.Array.Length = static_cast<OpcUa_Int32>(values.size());
    raw.Value.Array.Value.ByteStringArray = static_cast<OpcUa_ByteString*>(
        OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(values.size() * sizeof(OpcUa_ByteString))));
    for (std::size_t i = 0; i < values.size(); ++i)
        UaByteString(static_cast<OpcUa_Int32>(values[i].size()),
                     reinterpret_cast<const OpcUa_Byte*>(values[i].data()))
            .copyTo(&raw.Value.Array.Value.ByteStringArray[i]);
    UaVariant v;
    v.attach(raw);
    return v;
}

struct GetCase
{
    const char* name;
    UaVariant value;
    const char* range;
    OpcUa_StatusCode status;
    UaVariant expected;
};

UaVariant nodeIdArray()
{
    OpcUa_Variant raw = rawArray(OpcUaType_NodeId, 2);
    UaNodeId(UaString("a"), 1).copyTo(&raw.Value.Array.Value.NodeIdArray[0]);
    UaNodeId(UaString("b"), 1).copyTo(&raw.Value.Array.Value.NodeIdArray[1]);
    return attached(raw);
}
} // namespace

TEST(VariantRange, GetRange)
{
    UaVariant matrix = emptyMatrix(OpcUaType_Int32);
    UaLocalizedTextArray texts;
    texts.create(2);
    UaVariant textArray;
    textArray.setLocalizedTextArray(texts);
    UaVariant oneNodeId;
    {
        OpcUa_Variant raw = rawArray(OpcUaType_NodeId, 1);
        UaNodeId(UaString("b"), 1).copyTo(&raw.Value.Array.Value.NodeIdArray[0]);
        oneNodeId.attach(raw);
    }
    const GetCase cases[] = {
        {"char", UaVariant(UaString("Hello")), "1", OpcUa_Good, UaVariant(UaString("e"))},
        {"chars", UaVariant(UaString("Hello")), "1:3", OpcUa_Good, UaVariant(UaString("ell"))},
        {"chars cut", UaVariant(UaString("Hello")), "3:10", OpcUa_Good, UaVariant(UaString("lo"))},
        {"huge upper bound", UaVariant(UaString("Hello")), "0:4294967295", OpcUa_Good,
         UaVariant(UaString("Hello"))},
        {"beyond", UaVariant(UaString("Hello")), "5", OpcUa_BadIndexRangeNoData, UaVariant()},
        {"by character", UaVariant(UaString("\xC3\xA4\xC3\xB6\xC3\xBC")), "1:2", OpcUa_Good,
         UaVariant(UaString("\xC3\xB6\xC3\xBC"))},
        {"two dimensions on a scalar", UaVariant(UaString("Hello")), "1,1", OpcUa_BadIndexRangeNoData,
         UaVariant()},
        {"bytes", byteString("abcde"), "1:2", OpcUa_Good, byteString("bc")},
        {"byte", byteString("abcde"), "4", OpcUa_Good, byteString("e")},
        {"bytes cut", byteString("abcde"), "4:9", OpcUa_Good, byteString("e")},
        {"bytes beyond", byteString("abcde"), "5:6", OpcUa_BadIndexRangeNoData, UaVariant()},
        {"other scalar", UaVariant(OpcUa_Int32(5)), "0", OpcUa_BadIndexRangeNoData, UaVariant()},
        {"array", int32Array({1, 2, 3, 4, 5}), "1:3", OpcUa_Good, int32Array({2, 3, 4})},
        {"array element", int32Array({1, 2, 3, 4, 5}), "4", OpcUa_Good, int32Array({5})},
        {"array cut", int32Array({1, 2, 3, 4, 5}), "3:9", OpcUa_Good, int32Array({4, 5})},
        {"array huge upper bound", int32Array({1, 2}), "0:4294967295", OpcUa_Good, int32Array({1, 2})},
        {"array beyond", int32Array({1, 2, 3}), "3", OpcUa_BadIndexRangeNoData, UaVariant()},
        {"array two dimensions", int32Array({1, 2, 3}), "0,0", OpcUa_BadIndexRangeNoData, UaVariant()},
        {"string array", stringArray({"abc", "de", "f"}), "1:2", OpcUa_Good, stringArray({"de", "f"})},
        {"string array two dimensions", stringArray({"abc", "de", "f"}), "0:2,1:2", OpcUa_Good,
         stringArray({"bc", "e", ""})},
        {"string array single", stringArray({"abc", "de", "f"}), "1,0", OpcUa_Good, stringArray({"d"})},
        {"byte string array two dimensions", byteStringArray({"abc", "de"}), "0:1,2", OpcUa_Good,
         byteStringArray({"c", ""})},
        {"node ids", nodeIdArray(), "1", OpcUa_Good, oneNodeId},
        {"unsupported array", textArray, "0", OpcUa_BadIndexRangeNoData, UaVariant()},
        {"matrix", matrix, "0", OpcUa_BadIndexRangeNoData, UaVariant()},
    };
    for (const GetCase& c : cases)
    {
        UaNumericRange range;
        ASSERT_EQ(range.parse(UaString(c.range)), OpcUa_Good) << c.name;
        OpcUa_Variant out;
        OpcUa_Variant_Initialize(&out);
        EXPECT_EQ(c.value.getRange(range, &out), c.status) << c.name;
        UaVariant result;
        result.attach(out);
        if (c.status == OpcUa_Good)
        {
            EXPECT_TRUE(result == c.expected) << c.name << ": " << result.toString().toUtf8();
        }
        else
        {
            EXPECT_TRUE(result.isEmpty()) << c.name;
        }
    }
    OpcUa_Variant out;
    OpcUa_Variant_Initialize(&out);
    EXPECT_EQ(UaVariant(UaString("x")).getRange(UaNumericRange(), &out), OpcUa_BadIndexRangeInvalid);
}

TEST(VariantRange, SetRange)
{
    struct Case
    {
        const char* name;
        UaVariant value;
        const char* range;
        UaVariant newValue;
        OpcUa_StatusCode status;
        UaVariant expected; // the value afterwards (unchanged on failure)
    };
    const Case cases[] = {
        {"char", UaVariant(UaString("Hello")), "1", UaVariant(UaString("a")), OpcUa_Good,
         UaVariant(UaString("Hallo"))},
        {"chars", UaVariant(UaString("Hello")), "1:2", UaVariant(UaString("ip")), OpcUa_Good,
         UaVariant(UaString("Hiplo"))},
        {"by character", UaVariant(UaString("a\xC3\xA4z")), "1", UaVariant(UaString("\xC3\xB6")), OpcUa_Good,
         UaVariant(UaString("a\xC3\xB6z"))},
        {"wrong length", UaVariant(UaString("Hello")), "1", UaVariant(UaString("ab")),
         OpcUa_BadIndexRangeNoData, UaVariant(UaString("Hello"))},
        {"beyond", UaVariant(UaString("Hello")), "4:5", UaVariant(UaString("ab")), OpcUa_BadIndexRangeNoData,
         UaVariant(UaString("Hello"))},
        {"huge upper bound", UaVariant(UaString("Hello")), "0:4294967295", UaVariant(UaString("ab")),
         OpcUa_BadIndexRangeNoData, UaVariant(UaString("Hello"))},
        {"type mismatch", UaVariant(UaString("Hello")), "1", byteString("a"), OpcUa_BadTypeMismatch,
         UaVariant(UaString("Hello"))},
        {"bytes", byteString("abcde"), "3:4", byteString("XY"), OpcUa_Good, byteString("abcXY")},
        {"array", int32Array({1, 2, 3, 4, 5}), "1:2", int32Array({8, 9}), OpcUa_Good,
         int32Array({1, 8, 9, 4, 5})},
        {"array element", int32Array({1, 2, 3}), "2", int32Array({7}), OpcUa_Good, int32Array({1, 2, 7})},
        {"array count mismatch", int32Array({1, 2, 3}), "1:2", int32Array({8}), OpcUa_BadIndexRangeNoData,
         int32Array({1, 2, 3})},
        {"array beyond", int32Array({1, 2, 3}), "2:3", int32Array({8, 9}), OpcUa_BadIndexRangeNoData,
         int32Array({1, 2, 3})},
        {"string array", stringArray({"abc", "de", "f"}), "0:1", stringArray({"x", "y"}), OpcUa_Good,
         stringArray({"x", "y", "f"})},
        {"string array two dimensions", stringArray({"abc", "de", "f"}), "0:1,0", stringArray({"X", "Y"}),
         OpcUa_Good, stringArray({"Xbc", "Ye", "f"})},
        {"string array inner beyond", stringArray({"abc", "de", "f"}), "1:2,1", stringArray({"X", "Y"}),
         OpcUa_BadIndexRangeNoData, stringArray({"abc", "de", "f"})},
        {"byte string array two dimensions", byteStringArray({"abc", "de"}), "0:1,0:1",
         byteStringArray({"XY", "ZW"}), OpcUa_Good, byteStringArray({"XYc", "ZW"})},
        {"int array two dimensions", int32Array({1, 2}), "0,0", int32Array({1}), OpcUa_BadIndexRangeNoData,
         int32Array({1, 2})},
        {"other scalar", UaVariant(OpcUa_Int32(1)), "0", UaVariant(OpcUa_Int32(2)), OpcUa_BadIndexRangeNoData,
         UaVariant(OpcUa_Int32(1))},
    };
    for (const Case& c : cases)
    {
        UaNumericRange range;
        ASSERT_EQ(range.parse(UaString(c.range)), OpcUa_Good) << c.name;
        UaVariant value = c.value;
        EXPECT_EQ(value.setRange(range, c.newValue), c.status) << c.name;
        EXPECT_TRUE(value == c.expected) << c.name << ": " << value.toString().toUtf8();
    }
    UaVariant value(UaString("x"));
    EXPECT_EQ(value.setRange(UaNumericRange(), UaVariant(UaString("y"))), OpcUa_BadIndexRangeInvalid);
}
