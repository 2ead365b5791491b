#include "variant_builders.h"
#include "uaguid.h"
#include "uavariant.h"

#include <opcua_binarycodec.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

namespace
{
UaVariant rangeObject(double low, double high)
{
    UaExtensionObject object;
    auto* range = static_cast<OpcUa_Range*>(object.createBody(&OpcUa_Range_EncodeableType));
    range->Low = low;
    range->High = high;
    UaVariant v;
    v.setExtensionObject(object, true);
    return v;
}

// The Range structure as an encoded (binary) body.
UaVariant encodedRange(double low, double high)
{
    OpcUa::BinaryEncoder encoder;
    OpcUa_Range range{low, high};
    EXPECT_EQ(encoder.writeStructure(&OpcUa_Range_EncodeableType, &range), OpcUa_Good);
    OpcUa_Variant raw;
    OpcUa_Variant_Initialize(&raw);
    raw.Datatype = OpcUaType_ExtensionObject;
    raw.Value.ExtensionObject =
        static_cast<OpcUa_ExtensionObject*>(OpcUa_Memory_Alloc(sizeof(OpcUa_ExtensionObject)));
    OpcUa_ExtensionObject_Initialize(raw.Value.ExtensionObject);
    raw.Value.ExtensionObject->Encoding = OpcUa_ExtensionObjectEncoding_Binary;
    raw.Value.ExtensionObject->TypeId.NodeId.Identifier.Numeric = OpcUaId_Range_Encoding_DefaultBinary;
    encoder.detach(&raw.Value.ExtensionObject->Body.Binary);
    return attached(raw);
}

UaVariant guidValue(OpcUa_Byte last)
{
    OpcUa_Variant raw;
    OpcUa_Variant_Initialize(&raw);
    raw.Datatype = OpcUaType_Guid;
    raw.Value.Guid = UaGuid(OpcUa_Guid{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, last}}).clone();
    return attached(raw);
}

UaVariant byteStringValue(const char* bytes)
{
    UaByteString b(3, reinterpret_cast<const OpcUa_Byte*>(bytes));
    UaVariant v;
    v.setByteString(b, true);
    return v;
}

UaVariant nodeIdValue(OpcUa_UInt16 namespaceIndex)
{
    UaVariant v;
    v.setNodeId(UaNodeId(UaString("Motor"), namespaceIndex));
    return v;
}

UaVariant opaqueNodeIdValue(const char* bytes)
{
    UaNodeId id;
    id.setNodeId(UaByteString(2, reinterpret_cast<const OpcUa_Byte*>(bytes)), 1);
    UaVariant v;
    v.setNodeId(id);
    return v;
}

UaVariant expandedNodeIdValue(const char* uri)
{
    OpcUa_Variant raw;
    OpcUa_Variant_Initialize(&raw);
    raw.Datatype = OpcUaType_ExpandedNodeId;
    raw.Value.ExpandedNodeId = UaExpandedNodeId(UaNodeId(7, 1), UaString(uri), 0).clone();
    return attached(raw);
}

UaVariant qualifiedNameValue(const char* name)
{
    UaVariant v;
    v.setQualifiedName(UaQualifiedName(UaString(name), 1));
    return v;
}

UaVariant localizedTextValue(const char* locale)
{
    UaVariant v;
    v.setLocalizedText(UaLocalizedText(UaString(locale), UaString("Hi")));
    return v;
}

UaVariant stringArrayValue(const char* last)
{
    UaStringArray a;
    a.create(3);
    UaString("x").copyTo(&a[0]);
    UaString(last).copyTo(&a[2]);
    UaVariant v;
    v.setStringArray(a, true);
    return v;
}

UaVariant localizedTextArrayValue(const char* text)
{
    UaLocalizedTextArray a;
    a.create(2);
    UaLocalizedText(UaString("en"), UaString(text)).copyTo(&a[1]);
    UaVariant v;
    v.setLocalizedTextArray(a);
    return v;
}

UaVariant variantArrayValue(OpcUa_Int32 second)
{
    OpcUa_Variant raw = rawArray(OpcUaType_Variant, 2);
    UaVariant(UaString("inner")).copyTo(&raw.Value.Array.Value.VariantArray[0]);
    UaVariant(second).copyTo(&raw.Value.Array.Value.VariantArray[1]);
    return attached(raw);
}

UaVariant dataValueArrayValue(OpcUa_StatusCode status)
{
    OpcUa_Variant raw = rawArray(OpcUaType_DataValue, 1);
    UaVariant(UaString("v")).copyTo(&raw.Value.Array.Value.DataValueArray[0].Value);
    raw.Value.Array.Value.DataValueArray[0].StatusCode = status;
    return attached(raw);
}

UaVariant extensionObjectArrayValue(double high)
{
    OpcUa_Variant raw = rawArray(OpcUaType_ExtensionObject, 1);
    UaVariant object = rangeObject(1, high);
    OpcUa_ExtensionObject_CopyTo(static_cast<const OpcUa_Variant*>(object)->Value.ExtensionObject,
                                 &raw.Value.Array.Value.ExtensionObjectArray[0]);
    return attached(raw);
}

// A 2x2 string matrix whose last element is the given text.
UaVariant stringMatrixValue(const char* last)
{
    OpcUa_Variant raw = rawArray(OpcUaType_String, 4);
    UaString(last).copyTo(&raw.Value.Array.Value.StringArray[3]);
    OpcUa_VariantArrayUnion elements = raw.Value.Array.Value;
    raw.ArrayType = OpcUa_VariantArrayType_Matrix;
    raw.Value.Matrix.NoOfDimensions = 2;
    raw.Value.Matrix.Dimensions = static_cast<OpcUa_Int32*>(OpcUa_Memory_Alloc(2 * sizeof(OpcUa_Int32)));
    raw.Value.Matrix.Dimensions[0] = 2;
    raw.Value.Matrix.Dimensions[1] = 2;
    raw.Value.Matrix.Value = elements;
    return attached(raw);
}

// Values of every structured kind, each with a sibling that differs.
struct Sample
{
    const char* name;
    std::function<UaVariant()> make;
    std::function<UaVariant()> other;
};

std::vector<Sample> samples()
{
    return {
        {"String", [] { return UaVariant(UaString("text")); }, [] { return UaVariant(UaString("Text")); }},
        {"Guid", [] { return guidValue(11); }, [] { return guidValue(12); }},
        {"ByteString", [] { return byteStringValue("abc"); }, [] { return byteStringValue("abd"); }},
        {"NodeId", [] { return nodeIdValue(2); }, [] { return nodeIdValue(3); }},
        {"OpaqueNodeId", [] { return opaqueNodeIdValue("\x0a\xff"); },
         [] { return opaqueNodeIdValue("\x0a\xfe"); }},
        {"ExpandedNodeId", [] { return expandedNodeIdValue("urn:x"); },
         [] { return expandedNodeIdValue("urn:y"); }},
        {"QualifiedName", [] { return qualifiedNameValue("Name"); },
         [] { return qualifiedNameValue("Other"); }},
        {"LocalizedText", [] { return localizedTextValue("en"); }, [] { return localizedTextValue("de"); }},
        {"DecodedExtensionObject", [] { return rangeObject(0, 100); }, [] { return rangeObject(0, 101); }},
        {"EncodedExtensionObject", [] { return encodedRange(1, 2); }, [] { return encodedRange(1, 3); }},
        {"StringArray", [] { return stringArrayValue("y"); }, [] { return stringArrayValue("z"); }},
        {"LocalizedTextArray", [] { return localizedTextArrayValue("one"); },
         [] { return localizedTextArrayValue("two"); }},
        {"VariantArray", [] { return variantArrayValue(5); }, [] { return variantArrayValue(6); }},
        {"DataValueArray", [] { return dataValueArrayValue(OpcUa_Good); },
         [] { return dataValueArrayValue(OpcUa_BadInternalError); }},
        {"ExtensionObjectArray", [] { return extensionObjectArrayValue(2); },
         [] { return extensionObjectArrayValue(3); }},
        {"StringMatrix", [] { return stringMatrixValue("a"); }, [] { return stringMatrixValue("b"); }},
    };
}
} // namespace

TEST(VariantCopy, DeepCopiesOutliveTheOriginalAndCompareEqual)
{
    for (const Sample& s : samples())
    {
        UaVariant copy;
        OpcUa_Variant raw;
        {
            UaVariant original = s.make();
            copy = original;
            original.copyTo(&raw);
            UaVariant constructed(original);
            EXPECT_TRUE(constructed == original) << s.name;
            EXPECT_TRUE(original == s.make()) << s.name << ": equal by value, not by pointer";
            EXPECT_FALSE(original == s.other()) << s.name;
            EXPECT_TRUE(original != s.other()) << s.name;
        }
        // The original is gone: the copies own their own storage.
        EXPECT_TRUE(copy == s.make()) << s.name;
        UaVariant fromRaw;
        fromRaw.attach(raw);
        EXPECT_TRUE(fromRaw == s.make()) << s.name;
        EXPECT_EQ(copy.toString(), s.make().toString()) << s.name;
        const UaVariant& self = copy;
        copy = self; // self-assignment keeps the value
        EXPECT_TRUE(copy == s.make()) << s.name;
    }
}

TEST(VariantCopy, DecodedAndEncodedExtensionObjectsOfOneValueAreEqual)
{
    EXPECT_TRUE(rangeObject(3, 4) == encodedRange(3, 4));
    EXPECT_FALSE(rangeObject(3, 4) == encodedRange(3, 5));
}

TEST(VariantCopy, ByteStringsKeepEmptyAndNullApart)
{
    OpcUa_Variant raw;
    OpcUa_Variant_Initialize(&raw);
    raw.Datatype = OpcUaType_ByteString;
    raw.Value.ByteString.Length = 0;
    UaVariant empty(raw);
    EXPECT_EQ(static_cast<const OpcUa_Variant*>(empty)->Value.ByteString.Length, 0);
    raw.Value.ByteString.Length = -1;
    UaVariant null(raw);
    EXPECT_EQ(static_cast<const OpcUa_Variant*>(null)->Value.ByteString.Length, -1);
    EXPECT_FALSE(empty == null);
}

TEST(VariantCopy, UncopyableTypesBecomeNull)
{
    struct Case
    {
        OpcUa_Byte type;
        OpcUa_Byte arrayType;
        OpcUa_Int32 length;
        bool keptAsArray;
    };
    const Case cases[] = {{OpcUaType_DiagnosticInfo, OpcUa_VariantArrayType_Scalar, 0, false},
                          {OpcUaType_Variant, OpcUa_VariantArrayType_Scalar, 0, false},
                          {OpcUaType_DiagnosticInfo, OpcUa_VariantArrayType_Array, 1, false},
                          {OpcUaType_Null, OpcUa_VariantArrayType_Array, 2, false},
                          {OpcUaType_Null, OpcUa_VariantArrayType_Array, 0, true},
                          {OpcUaType_Int32, OpcUa_VariantArrayType_Array, -1, true}};
    for (const Case& c : cases)
    {
        OpcUa_Variant raw;
        OpcUa_Variant_Initialize(&raw);
        raw.Datatype = c.type;
        raw.ArrayType = c.arrayType;
        if (c.arrayType == OpcUa_VariantArrayType_Array && c.length > 0)
        {
            raw.Value.Array.Length = c.length;
            OpcUa_UInt32 bytes = static_cast<OpcUa_UInt32>(c.length) * OpcUa_BuiltInType_GetSize(c.type);
            raw.Value.Array.Value.Array = bytes > 0 ? OpcUa_Memory_Alloc(bytes) : nullptr;
            if (bytes > 0)
                std::memset(raw.Value.Array.Value.Array, 0, bytes);
        }
        else if (c.arrayType == OpcUa_VariantArrayType_Array)
            raw.Value.Array.Length = c.length;
        UaVariant source;
        source.attach(raw);
        UaVariant copy(source);
        if (c.keptAsArray)
        {
            EXPECT_TRUE(copy.isArray()) << int(c.type);
            EXPECT_EQ(copy.type(), c.type);
            EXPECT_EQ(static_cast<const OpcUa_Variant*>(copy)->Value.Array.Length, c.length);
            EXPECT_TRUE(copy == source);
        }
        else
        {
            EXPECT_TRUE(copy.isEmpty()) << int(c.type);
            EXPECT_EQ(copy.arrayType(), OpcUa_VariantArrayType_Scalar) << int(c.type);
        }
    }
    // A matrix without dimensions keeps its type and has no elements.
    OpcUa_Variant raw;
    OpcUa_Variant_Initialize(&raw);
    raw.Datatype = OpcUaType_Double;
    raw.ArrayType = OpcUa_VariantArrayType_Matrix;
    UaVariant matrix(raw);
    EXPECT_TRUE(matrix.isMatrix());
    EXPECT_EQ(matrix.type(), OpcUaType_Double);
    EXPECT_EQ(matrix.valueRank(), 0);
}

TEST(VariantCopy, NumbersCompareByValue)
{
    EXPECT_TRUE(UaVariant(OpcUa_Int32(5)) == UaVariant(OpcUa_Int32(5)));
    EXPECT_FALSE(UaVariant(OpcUa_Int32(5)) == UaVariant(OpcUa_UInt32(5))) << "different types";
    EXPECT_FALSE(UaVariant(std::nan("")) == UaVariant(std::nan("")));
    EXPECT_TRUE(UaVariant(0.0) == UaVariant(-0.0));
    EXPECT_TRUE(UaVariant() == UaVariant());
    UaVariant a;
    a.setNodeId(UaNodeId(UaString("Motor"), 1));
    UaVariant b;
    b.setNodeId(UaNodeId(UaString("MOTOR"), 1));
    EXPECT_TRUE(a == b) << "string node ids compare without case";
    EXPECT_FALSE(UaVariant(UaString("Motor")) == UaVariant(UaString("MOTOR")));
}

TEST(VariantCopy, Ordering)
{
    UaVariant int64;
    int64.setInt64(3);
    struct Case
    {
        UaVariant a;
        UaVariant b;
        bool less, greater, lessEqual, greaterEqual;
    };
    UaDateTime early;
    UaDateTime::fromString(UaString("2000-01-01T00:00:00Z"), early);
    UaVariant earlyTime;
    earlyTime.setDateTime(early);
    UaVariant lateTime;
    lateTime.setDateTime(UaDateTime::now());
    UaVariant bigUnsigned;
    bigUnsigned.setUInt64(0x8000000000000000ull);
    UaVariant smallUnsigned;
    smallUnsigned.setUInt64(1);
    UaVariant negative;
    negative.setInt64(-1);
    const Case cases[] = {
        {UaVariant(OpcUa_Int32(5)), int64, false, false, false, false},
        {UaVariant(UaString("b")), UaVariant(UaString("aa")), true, false, true, false},
        {UaVariant(UaString("ab")), UaVariant(UaString("ab")), false, false, true, true},
        {UaVariant(std::nan("")), UaVariant(1.0), false, false, false, false},
        {UaVariant(OpcUa_Float(2)), UaVariant(OpcUa_Float(1)), false, true, false, true},
        {bigUnsigned, smallUnsigned, false, true, false, true},
        {negative, int64, true, false, true, false},
        {earlyTime, lateTime, true, false, true, false},
        {UaVariant(true), UaVariant(false), false, true, false, true},
        {rangeObject(1, 2), rangeObject(1, 2), false, false, false, false},
    };
    for (const Case& c : cases)
    {
        std::string label = std::string(c.a.toString().toUtf8()) + " ? " + c.b.toString().toUtf8();
        EXPECT_EQ(c.a < c.b, c.less) << label;
        EXPECT_EQ(c.a > c.b, c.greater) << label;
        EXPECT_EQ(c.a <= c.b, c.lessEqual) << label;
        EXPECT_EQ(c.a >= c.b, c.greaterEqual) << label;
    }
}

TEST(VariantCopy, SettersTakeOverOrCopy)
{
    UaByteString bytes(2, reinterpret_cast<const OpcUa_Byte*>("hi"));
    UaVariant copied;
    copied.setByteString(bytes, false);
    EXPECT_EQ(bytes.length(), 2);
    UaVariant taken;
    taken.setByteString(bytes, true);
    EXPECT_EQ(bytes.data(), nullptr);
    EXPECT_TRUE(copied == taken);

    UaUInt32Array values;
    values.create(2);
    values[1] = 9;
    UaVariant array;
    array.setUInt32Array(values, true);
    EXPECT_EQ(values.length(), 0u);
    EXPECT_EQ(array.toString(), UaString("{0,9}"));

    UaExtensionObject object;
    object.createBody(&OpcUa_Range_EncodeableType);
    UaVariant structure;
    structure.setExtensionObject(object, true);
    EXPECT_EQ(object.encoding(), OpcUa_ExtensionObjectEncoding_None);
    EXPECT_EQ(structure.type(), OpcUaType_ExtensionObject);
}
