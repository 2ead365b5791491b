#include "uaguid.h"
#include "variant_builders.h"
#include "uavariant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>

namespace
{
std::string text(const UaVariant& v)
{
    return std::string(v.toString().toUtf8());
}

} // namespace

TEST(VariantText, Scalars)
{
    struct Case
    {
        std::function<void(UaVariant&)> set;
        const char* expected;
    };
    const OpcUa_Guid guid{0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};
    const Case cases[] = {
        {[](UaVariant&) {}, ""},
        {[](UaVariant& v) { v.setBool(OpcUa_True); }, "true"},
        {[](UaVariant& v) { v.setBool(OpcUa_False); }, "false"},
        {[](UaVariant& v) { v.setSByte(-128); }, "-128"},
        {[](UaVariant& v) { v.setByte(255); }, "255"},
        {[](UaVariant& v) { v.setInt16(-32768); }, "-32768"},
        {[](UaVariant& v) { v.setUInt16(65535); }, "65535"},
        {[](UaVariant& v) { v.setInt32(-2147483647 - 1); }, "-2147483648"},
        {[](UaVariant& v) { v.setUInt32(4294967295u); }, "4294967295"},
        {[](UaVariant& v) { v.setInt64(-9223372036854775807ll - 1); }, "-9223372036854775808"},
        {[](UaVariant& v) { v.setUInt64(18446744073709551615ull); }, "18446744073709551615"},
        {[](UaVariant& v) { v.setFloat(0.1f); }, "0.1"},
        {[](UaVariant& v) { v.setFloat(1234567.0f); }, "1.23457e+06"},
        {[](UaVariant& v) { v.setDouble(0.1); }, "0.1"},
        {[](UaVariant& v) { v.setDouble(1.0 / 3.0); }, "0.333333333333"},
        {[](UaVariant& v) { v.setDouble(123456789012345.0); }, "1.23456789012e+14"},
        {[](UaVariant& v) { v.setString(UaString(std::string(300, 'x').c_str())); }, nullptr},
        {[](UaVariant& v)
         {
             UaDateTime t;
             UaDateTime::fromString(UaString("2011-12-01T19:17:23.123Z"), t);
             v.setDateTime(t);
         },
         "2011-12-01T19:17:23.123Z"},
        {[&guid](UaVariant& v)
         {
             OpcUa_Variant raw;
             OpcUa_Variant_Initialize(&raw);
             raw.Datatype = OpcUaType_Guid;
             raw.Value.Guid = UaGuid(guid).clone();
             v.attach(raw);
         },
         "12345678-9ABC-DEF0-0102-030405060708"},
        {[](UaVariant& v)
         {
             const OpcUa_Byte bytes[] = {0x0A, 0xFF};
             UaByteString b(2, bytes);
             v.setByteString(b, false);
         },
         "0AFF"},
        {[](UaVariant& v)
         {
             UaByteString b(5, reinterpret_cast<const OpcUa_Byte*>("<a/>x"));
             v.setXmlElement(b, false);
         },
         "<a/>x"},
        {[](UaVariant& v) { v.setNodeId(UaNodeId(5001, 2)); }, "5001"},
        {[](UaVariant& v) { v.setQualifiedName(UaQualifiedName(UaString("Name"), 3)); }, "Name"},
        {[](UaVariant& v) { v.setLocalizedText(UaLocalizedText(UaString("en"), UaString("Hello"))); },
         "Hello"},
        {[](UaVariant& v)
         {
             OpcUa_Variant raw;
             OpcUa_Variant_Initialize(&raw);
             raw.Datatype = OpcUaType_StatusCode;
             raw.Value.StatusCode = OpcUa_BadNodeIdUnknown;
             v.attach(raw);
         },
         "BadNodeIdUnknown"},
        {[](UaVariant& v)
         {
             OpcUa_Variant raw;
             OpcUa_Variant_Initialize(&raw);
             raw.Datatype = OpcUaType_ExtensionObject;
             v.attach(raw);
         },
         ""},
        {[](UaVariant& v)
         {
             UaExtensionObject object;
             auto* range = static_cast<OpcUa_Range*>(object.createBody(&OpcUa_Range_EncodeableType));
             range->Low = 0;
             range->High = 100;
             v.setExtensionObject(object, true);
         },
         "[0.00, 100.00]"},
        {[](UaVariant& v)
         {
             OpcUa_Variant raw;
             OpcUa_Variant_Initialize(&raw);
             raw.Datatype = OpcUaType_DataValue;
             raw.Value.DataValue = static_cast<OpcUa_DataValue*>(OpcUa_Memory_Alloc(sizeof(OpcUa_DataValue)));
             OpcUa_DataValue_Initialize(raw.Value.DataValue);
             v.attach(raw);
         },
         "Type cannot be displayed"},
    };
    for (const Case& c : cases)
    {
        UaVariant v;
        c.set(v);
        if (c.expected == nullptr)
            EXPECT_EQ(text(v), std::string(300, 'x')) << "strings are not cut";
        else
            EXPECT_EQ(text(v), c.expected);
    }
}

TEST(VariantText, Arrays)
{
    EXPECT_EQ(text(int32Array({1, 2, 3})), "{1,2,3}");
    EXPECT_EQ(text(int32Array({})), "{}");
    EXPECT_EQ(text(int32Array({-5})), "{-5}");
    EXPECT_EQ(text(stringArray({"a", "b"})), "{'a','b'}");

    UaUInt32Array u;
    u.create(2);
    u[0] = 7;
    u[1] = 4294967295u;
    UaVariant unsignedArray;
    unsignedArray.setUInt32Array(u, false);
    EXPECT_EQ(text(unsignedArray), "{7,4294967295}");

    UaLocalizedTextArray texts;
    texts.create(1);
    UaVariant textArray;
    textArray.setLocalizedTextArray(texts);
    EXPECT_EQ(text(textArray), "This array type cannot be displayed");

    UaByteArray bytes("\x01\x02", 2);
    UaVariant byteArray;
    byteArray.setByteArray(bytes);
    EXPECT_EQ(text(byteArray), "{1,2}");
}

TEST(VariantText, LongArraysAreCutAt255Characters)
{
    // 200 elements "1000," are 1000 characters: cut to 252 and "...".
    OpcUa_Variant raw = rawArray(OpcUaType_Int32, 200);
    for (int i = 0; i < 200; ++i)
        raw.Value.Array.Value.Int32Array[i] = 1000;
    UaVariant v = attached(raw);
    std::string shown = text(v);
    ASSERT_EQ(shown.size(), 255u);
    EXPECT_EQ(shown.substr(252), "...");
    // "{" then 50 whole elements end at 251; the cut falls inside element 51.
    std::string expected = "{";
    for (int i = 0; i < 51; ++i)
        expected += "1000,";
    EXPECT_EQ(shown, expected.substr(0, 252) + "...");

    // A text that fits exactly: "{" + 63 × "100," with the last comma replaced = 253 characters.
    UaInt32Array fits;
    fits.create(63);
    for (int i = 0; i < 63; ++i)
        fits[i] = 100;
    OpcUa_Variant exact;
    OpcUa_Variant_Initialize(&exact);
    exact.Datatype = OpcUaType_Int32;
    exact.ArrayType = OpcUa_VariantArrayType_Array;
    exact.Value.Array.Length = 63;
    exact.Value.Array.Value.Int32Array = fits.data();
    fits.detach();
    UaVariant whole;
    whole.attach(exact);
    std::string wholeText = text(whole);
    EXPECT_EQ(wholeText.size(), 253u);
    EXPECT_EQ(wholeText.back(), '}');

    // One long string element: cut inside it.
    std::string shownLong = text(stringArray({"ab", std::string(400, 'z').c_str()}));
    EXPECT_EQ(shownLong, ("{'ab','" + std::string(400, 'z')).substr(0, 252) + "...");
}

TEST(VariantText, MatrixAndFullForms)
{
    UaVariant matrix = emptyMatrix(OpcUaType_Int32);
    EXPECT_EQ(text(matrix), "Matrix cannot be displayed");

    UaVariant id;
    id.setNodeId(UaNodeId(5001, 2));
    EXPECT_STREQ(id.toFullString().toUtf8(), "NS2|Numeric|5001");
    UaVariant name;
    name.setQualifiedName(UaQualifiedName(UaString("Name"), 3));
    EXPECT_STREQ(name.toFullString().toUtf8(), "ns=3|Name");
    UaVariant localized;
    localized.setLocalizedText(UaLocalizedText(UaString("en"), UaString("Hello")));
    EXPECT_STREQ(localized.toFullString().toUtf8(), "en|Hello");
    EXPECT_STREQ(int32Array({1, 2}).toFullString().toUtf8(), "{1,2}");
}

TEST(VariantText, StringArrayFromText)
{
    struct Case
    {
        const char* text;
        OpcUa_StatusCode status;
        std::vector<std::string> pieces;
    };
    const Case cases[] = {
        {"{a|b|c}", OpcUa_Good, {"a", "b", "c"}}, {"{a}", OpcUa_Good, {"a"}},
        {"{a||b}", OpcUa_Good, {"a", "", "b"}},   {"{|}", OpcUa_Good, {"", ""}},
        {"{}", OpcUa_BadOutOfRange, {}},          {"", OpcUa_BadOutOfRange, {}},
        {"a|b}", OpcUa_BadTypeMismatch, {}},      {"{a|b", OpcUa_BadTypeMismatch, {}},
        {"{a}x", OpcUa_BadTypeMismatch, {}},
    };
    for (const Case& c : cases)
    {
        UaStringArray out;
        EXPECT_EQ(UaVariant::stringArrayFromText(UaString(c.text), out), c.status) << c.text;
        ASSERT_EQ(out.length(), c.pieces.size()) << c.text;
        for (std::size_t i = 0; i < c.pieces.size(); ++i)
            EXPECT_EQ(UaString(&out[static_cast<OpcUa_UInt32>(i)]).toUtf8(), c.pieces[i]) << c.text;
    }
}

TEST(VariantText, ArrayElementFormats)
{
    struct Case
    {
        OpcUa_Byte type;
        std::function<void(OpcUa_VariantArrayUnion&)> fill; // two elements
        const char* expected;
    };
    UaDateTime time;
    UaDateTime::fromString(UaString("2011-12-01T19:17:23.123Z"), time);
    const Case cases[] = {
        {OpcUaType_Boolean, [](auto& a) { a.BooleanArray[0] = OpcUa_True; }, "{true,false}"},
        {OpcUaType_SByte, [](auto& a) { a.SByteArray[0] = -1; }, "{-1,0}"},
        {OpcUaType_Int16, [](auto& a) { a.Int16Array[1] = -300; }, "{0,-300}"},
        {OpcUaType_UInt16, [](auto& a) { a.UInt16Array[1] = 65535; }, "{0,65535}"},
        {OpcUaType_Int64, [](auto& a) { a.Int64Array[0] = -9223372036854775807ll - 1; },
         "{-9223372036854775808,0}"},
        {OpcUaType_UInt64, [](auto& a) { a.UInt64Array[0] = 18446744073709551615ull; },
         "{18446744073709551615,0}"},
        {OpcUaType_Float,
         [](auto& a)
         {
             a.FloatArray[0] = 0.1f;
             a.FloatArray[1] = 2.5f;
         },
         "{0.1,2.5}"},
        {OpcUaType_Double, [](auto& a) { a.DoubleArray[0] = 1.0 / 3.0; }, "{0.333333333333,0}"},
        {OpcUaType_DateTime,
         [&time](auto& a)
         {
             a.DateTimeArray[0] = time;
             a.DateTimeArray[1] = time;
         },
         "{'2011-12-01T19:17:23.123Z','2011-12-01T19:17:23.123Z'}"},
        {OpcUaType_Guid, [](auto&) {},
         "{'00000000-0000-0000-0000-000000000000','00000000-0000-0000-0000-000000000000'}"},
        {OpcUaType_String, [](auto& a) { UaString("x").copyTo(&a.StringArray[1]); }, "{'','x'}"},
        {OpcUaType_StatusCode, [](auto&) {}, "This array type cannot be displayed"},
        {OpcUaType_DataValue, [](auto&) {}, "This array type cannot be displayed"},
        {OpcUaType_NodeId, [](auto&) {}, "This array type cannot be displayed"},
    };
    for (const Case& c : cases)
    {
        OpcUa_Variant raw = rawArray(c.type, 2);
        if (c.type == OpcUaType_DataValue)
        {
            OpcUa_DataValue_Initialize(&raw.Value.Array.Value.DataValueArray[0]);
            OpcUa_DataValue_Initialize(&raw.Value.Array.Value.DataValueArray[1]);
        }
        c.fill(raw.Value.Array.Value);
        UaVariant v;
        v.attach(raw);
        EXPECT_EQ(text(v), c.expected) << int(c.type);
    }
}
