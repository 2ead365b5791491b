// Known byte sequences of the built-in types, including the compact NodeId and the Variant forms.
#include <opcua_binarycodec.hpp>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace
{
using Bytes = std::vector<OpcUa_Byte>;

union AnyValue
{
    OpcUa_Boolean boolean;
    OpcUa_Int32 int32;
    OpcUa_Double dbl;
    OpcUa_String string;
    OpcUa_DateTime dateTime;
    OpcUa_Guid guid;
    OpcUa_ByteString byteString;
    OpcUa_NodeId nodeId;
    OpcUa_ExpandedNodeId expandedNodeId;
    OpcUa_QualifiedName qualifiedName;
    OpcUa_LocalizedText localizedText;
    OpcUa_ExtensionObject extensionObject;
    OpcUa_DataValue dataValue;
    OpcUa_Variant variant;
    OpcUa_DiagnosticInfo diagnosticInfo;
};

void clearKind(OpcUa_UInt16 kind, AnyValue* v)
{
    switch (kind)
    {
    case OpcUaType_String:
        OpcUa_String_Clear(&v->string);
        break;
    case OpcUaType_ByteString:
        OpcUa_ByteString_Clear(&v->byteString);
        break;
    case OpcUaType_NodeId:
        OpcUa_NodeId_Clear(&v->nodeId);
        break;
    case OpcUaType_ExpandedNodeId:
        OpcUa_ExpandedNodeId_Clear(&v->expandedNodeId);
        break;
    case OpcUaType_QualifiedName:
        OpcUa_QualifiedName_Clear(&v->qualifiedName);
        break;
    case OpcUaType_LocalizedText:
        OpcUa_LocalizedText_Clear(&v->localizedText);
        break;
    case OpcUaType_ExtensionObject:
        OpcUa_ExtensionObject_Clear(&v->extensionObject);
        break;
    case OpcUaType_DataValue:
        OpcUa_DataValue_Clear(&v->dataValue);
        break;
    case OpcUaType_Variant:
        OpcUa_Variant_Clear(&v->variant);
        break;
    case OpcUaType_DiagnosticInfo:
        OpcUa_DiagnosticInfo_Clear(&v->diagnosticInfo);
        break;
    default:
        break;
    }
}

template <typename T> T* newValue()
{
    return static_cast<T*>(OpcUa_Memory_Alloc(sizeof(T)));
}

OpcUa_Guid sampleGuid()
{
    return OpcUa_Guid{0x72962B91, 0xFA75, 0x4AE6, {0x8D, 0x28, 0xB4, 0x04, 0xDC, 0x7D, 0xAF, 0x63}};
}

struct KnownEncoding
{
    const char* name;
    OpcUa_UInt16 kind;
    std::function<void(AnyValue&)> make;
    Bytes bytes;
};

std::vector<KnownEncoding> knownEncodings()
{
    return {
        {"BooleanTrue", OpcUaType_Boolean, [](AnyValue& v) { v.boolean = 1; }, {0x01}},
        {"Int32Negative", OpcUaType_Int32, [](AnyValue& v) { v.int32 = -2; }, {0xFE, 0xFF, 0xFF, 0xFF}},
        {"DoubleOne", OpcUaType_Double, [](AnyValue& v) { v.dbl = 1.0; }, {0, 0, 0, 0, 0, 0, 0xF0, 0x3F}},
        {"StringNull",
         OpcUaType_String,
         [](AnyValue& v) { OpcUa_String_Initialize(&v.string); },
         {0xFF, 0xFF, 0xFF, 0xFF}},
        {"StringEmpty",
         OpcUaType_String,
         [](AnyValue& v) { OpcUa_String_AttachCopy(&v.string, ""); },
         {0, 0, 0, 0}},
        {"StringUtf8",
         OpcUaType_String,
         [](AnyValue& v) { OpcUa_String_AttachCopy(&v.string, "a\xC3\xA9"); },
         {3, 0, 0, 0, 0x61, 0xC3, 0xA9}},
        {"DateTime",
         OpcUaType_DateTime,
         [](AnyValue& v) { v.dateTime = OpcUa_DateTime_FromInt64(0x0102030405060708LL); },
         {8, 7, 6, 5, 4, 3, 2, 1}},
        {"Guid",
         OpcUaType_Guid,
         [](AnyValue& v) { v.guid = sampleGuid(); },
         {0x91, 0x2B, 0x96, 0x72, 0x75, 0xFA, 0xE6, 0x4A, 0x8D, 0x28, 0xB4, 0x04, 0xDC, 0x7D, 0xAF, 0x63}},
        {"ByteStringNull",
         OpcUaType_ByteString,
         [](AnyValue& v) { OpcUa_ByteString_Initialize(&v.byteString); },
         {0xFF, 0xFF, 0xFF, 0xFF}},
        {"ByteStringEmptyWithoutBlock",
         OpcUaType_ByteString,
         [](AnyValue& v) { v.byteString.Length = 0; },
         {0, 0, 0, 0}},
        {"NodeIdTwoByte",
         OpcUaType_NodeId,
         [](AnyValue& v) { v.nodeId.Identifier.Numeric = 72; },
         {0x00, 0x48}},
        {"NodeIdFourByte",
         OpcUaType_NodeId,
         [](AnyValue& v)
         {
             v.nodeId.NamespaceIndex = 5;
             v.nodeId.Identifier.Numeric = 1025;
         },
         {0x01, 0x05, 0x01, 0x04}},
        {"NodeIdNumeric",
         OpcUaType_NodeId,
         [](AnyValue& v)
         {
             v.nodeId.NamespaceIndex = 1;
             v.nodeId.Identifier.Numeric = 70000;
         },
         {0x02, 0x01, 0x00, 0x70, 0x11, 0x01, 0x00}},
        {"NodeIdNamespaceAbove255",
         OpcUaType_NodeId,
         [](AnyValue& v)
         {
             v.nodeId.NamespaceIndex = 256;
             v.nodeId.Identifier.Numeric = 1;
         },
         {0x02, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00}},
        {"NodeIdString",
         OpcUaType_NodeId,
         [](AnyValue& v)
         {
             v.nodeId.IdentifierType = OpcUa_IdentifierType_String;
             v.nodeId.NamespaceIndex = 1;
             OpcUa_String_AttachCopy(&v.nodeId.Identifier.String, "Hot");
         },
         {0x03, 0x01, 0x00, 0x03, 0x00, 0x00, 0x00, 0x48, 0x6F, 0x74}},
        {"NodeIdGuid",
         OpcUaType_NodeId,
         [](AnyValue& v)
         {
             v.nodeId.IdentifierType = OpcUa_IdentifierType_Guid;
             v.nodeId.NamespaceIndex = 2;
             v.nodeId.Identifier.Guid = newValue<OpcUa_Guid>();
             *v.nodeId.Identifier.Guid = sampleGuid();
         },
         {0x04, 0x02, 0x00, 0x91, 0x2B, 0x96, 0x72, 0x75, 0xFA, 0xE6, 0x4A, 0x8D, 0x28, 0xB4, 0x04, 0xDC,
          0x7D, 0xAF, 0x63}},
        {"NodeIdOpaque",
         OpcUaType_NodeId,
         [](AnyValue& v)
         {
             v.nodeId.IdentifierType = OpcUa_IdentifierType_Opaque;
             v.nodeId.NamespaceIndex = 3;
             v.nodeId.Identifier.ByteString.Data = newValue<OpcUa_Byte[2]>()[0];
             v.nodeId.Identifier.ByteString.Data[0] = 0xAB;
             v.nodeId.Identifier.ByteString.Data[1] = 0xCD;
             v.nodeId.Identifier.ByteString.Length = 2;
         },
         {0x05, 0x03, 0x00, 0x02, 0x00, 0x00, 0x00, 0xAB, 0xCD}},
        {"ExpandedNodeIdUriAndServer",
         OpcUaType_ExpandedNodeId,
         [](AnyValue& v)
         {
             v.expandedNodeId.NodeId.Identifier.Numeric = 72;
             OpcUa_String_AttachCopy(&v.expandedNodeId.NamespaceUri, "u");
             v.expandedNodeId.ServerIndex = 2;
         },
         {0xC0, 0x48, 0x01, 0x00, 0x00, 0x00, 0x75, 0x02, 0x00, 0x00, 0x00}},
        {"QualifiedName",
         OpcUaType_QualifiedName,
         [](AnyValue& v)
         {
             v.qualifiedName.NamespaceIndex = 2;
             OpcUa_String_AttachCopy(&v.qualifiedName.Name, "N");
         },
         {0x02, 0x00, 0x01, 0x00, 0x00, 0x00, 0x4E}},
        {"LocalizedTextBoth",
         OpcUaType_LocalizedText,
         [](AnyValue& v)
         {
             OpcUa_String_AttachCopy(&v.localizedText.Locale, "en");
             OpcUa_String_AttachCopy(&v.localizedText.Text, "Hi");
         },
         {0x03, 0x02, 0, 0, 0, 0x65, 0x6E, 0x02, 0, 0, 0, 0x48, 0x69}},
        {"LocalizedTextTextOnly",
         OpcUaType_LocalizedText,
         [](AnyValue& v) { OpcUa_String_AttachCopy(&v.localizedText.Text, "Hi"); },
         {0x02, 0x02, 0, 0, 0, 0x48, 0x69}},
        {"ExtensionObjectEmpty", OpcUaType_ExtensionObject, [](AnyValue&) {}, {0x00, 0x00, 0x00}},
        {"ExtensionObjectUnknownBodyKept",
         OpcUaType_ExtensionObject,
         [](AnyValue& v)
         {
             v.extensionObject.TypeId.NodeId.NamespaceIndex = 3;
             v.extensionObject.TypeId.NodeId.Identifier.Numeric = 12345;
             v.extensionObject.Encoding = OpcUa_ExtensionObjectEncoding_Binary;
             v.extensionObject.Body.Binary.Data = newValue<OpcUa_Byte[3]>()[0];
             memcpy(v.extensionObject.Body.Binary.Data, "\xAA\xBB\xCC", 3);
             v.extensionObject.Body.Binary.Length = 3;
             v.extensionObject.BodySize = 3;
         },
         {0x01, 0x03, 0x39, 0x30, 0x01, 0x03, 0, 0, 0, 0xAA, 0xBB, 0xCC}},
        {"VariantNull", OpcUaType_Variant, [](AnyValue&) {}, {0x00}},
        {"VariantInt32",
         OpcUaType_Variant,
         [](AnyValue& v)
         {
             v.variant.Datatype = OpcUaType_Int32;
             v.variant.Value.Int32 = 5;
         },
         {0x06, 0x05, 0x00, 0x00, 0x00}},
        {"VariantNodeIdScalar",
         OpcUaType_Variant,
         [](AnyValue& v)
         {
             v.variant.Datatype = OpcUaType_NodeId;
             v.variant.Value.NodeId = newValue<OpcUa_NodeId>();
             OpcUa_NodeId_Initialize(v.variant.Value.NodeId);
             v.variant.Value.NodeId->Identifier.Numeric = 85;
         },
         {0x11, 0x00, 0x55}},
        {"VariantUInt16Array",
         OpcUaType_Variant,
         [](AnyValue& v)
         {
             v.variant.Datatype = OpcUaType_UInt16;
             v.variant.ArrayType = OpcUa_VariantArrayType_Array;
             v.variant.Value.Array.Length = 2;
             v.variant.Value.Array.Value.UInt16Array = newValue<OpcUa_UInt16[2]>()[0];
             v.variant.Value.Array.Value.UInt16Array[0] = 1;
             v.variant.Value.Array.Value.UInt16Array[1] = 2;
         },
         {0x85, 0x02, 0, 0, 0, 0x01, 0x00, 0x02, 0x00}},
        {"VariantStringArrayWithNullElement",
         OpcUaType_Variant,
         [](AnyValue& v)
         {
             v.variant.Datatype = OpcUaType_String;
             v.variant.ArrayType = OpcUa_VariantArrayType_Array;
             v.variant.Value.Array.Length = 2;
             auto* s = static_cast<OpcUa_String*>(OpcUa_Memory_Alloc(2 * sizeof(OpcUa_String)));
             OpcUa_String_Initialize(&s[0]);
             OpcUa_String_Initialize(&s[1]);
             OpcUa_String_AttachCopy(&s[1], "x");
             v.variant.Value.Array.Value.StringArray = s;
         },
         {0x8C, 0x02, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0, 0, 0, 0x78}},
        {"VariantByteMatrix",
         OpcUaType_Variant,
         [](AnyValue& v)
         {
             v.variant.Datatype = OpcUaType_Byte;
             v.variant.ArrayType = OpcUa_VariantArrayType_Matrix;
             v.variant.Value.Matrix.NoOfDimensions = 2;
             v.variant.Value.Matrix.Dimensions = newValue<OpcUa_Int32[2]>()[0];
             v.variant.Value.Matrix.Dimensions[0] = 2;
             v.variant.Value.Matrix.Dimensions[1] = 2;
             v.variant.Value.Matrix.Value.ByteArray = newValue<OpcUa_Byte[4]>()[0];
             memcpy(v.variant.Value.Matrix.Value.ByteArray, "\x01\x02\x03\x04", 4);
         },
         {0xC3, 0x04, 0, 0, 0, 1, 2, 3, 4, 0x02, 0, 0, 0, 0x02, 0, 0, 0, 0x02, 0, 0, 0}},
        {"VariantArrayOfVariants",
         OpcUaType_Variant,
         [](AnyValue& v)
         {
             v.variant.Datatype = OpcUaType_Variant;
             v.variant.ArrayType = OpcUa_VariantArrayType_Array;
             v.variant.Value.Array.Length = 1;
             auto* inner = newValue<OpcUa_Variant>();
             OpcUa_Variant_Initialize(inner);
             inner->Datatype = OpcUaType_Boolean;
             inner->Value.Boolean = 1;
             v.variant.Value.Array.Value.VariantArray = inner;
         },
         {0x98, 0x01, 0, 0, 0, 0x01, 0x01}},
        {"DataValueValueSourceTimeServerPicoseconds",
         OpcUaType_DataValue,
         [](AnyValue& v)
         {
             v.dataValue.Value.Datatype = OpcUaType_Byte;
             v.dataValue.Value.Value.Byte = 7;
             v.dataValue.SourceTimestamp = OpcUa_DateTime_FromInt64(1);
             v.dataValue.ServerPicoseconds = 9;
         },
         {0x25, 0x03, 0x07, 1, 0, 0, 0, 0, 0, 0, 0, 0x09, 0x00}},
        {"DataValueStatusOnly",
         OpcUaType_DataValue,
         [](AnyValue& v) { v.dataValue.StatusCode = OpcUa_BadNodeIdUnknown; },
         {0x02, 0x00, 0x00, 0x34, 0x80}},
        {"DiagnosticInfoNested",
         OpcUaType_DiagnosticInfo,
         [](AnyValue& v)
         {
             OpcUa_DiagnosticInfo_Initialize(&v.diagnosticInfo);
             v.diagnosticInfo.SymbolicId = 1;
             v.diagnosticInfo.Locale = 0;
             v.diagnosticInfo.InnerDiagnosticInfo = newValue<OpcUa_DiagnosticInfo>();
             OpcUa_DiagnosticInfo_Initialize(v.diagnosticInfo.InnerDiagnosticInfo);
             v.diagnosticInfo.InnerDiagnosticInfo->InnerStatusCode = OpcUa_BadTimeout;
         },
         {0x49, 0x01, 0, 0, 0, 0x00, 0, 0, 0, 0x20, 0x00, 0x00, 0x0A, 0x80}},
    };
}

class UaStackKnownEncoding : public ::testing::TestWithParam<KnownEncoding>
{
};

TEST_P(UaStackKnownEncoding, EncodesToTheBytesAndDecodesBackToAnEqualValue)
{
    const KnownEncoding& c = GetParam();
    AnyValue value;
    memset(&value, 0, sizeof(value));
    c.make(value);

    OpcUa::BinaryEncoder encoder;
    ASSERT_EQ(OpcUa_Good, encoder.writeValue(c.kind, nullptr, &value));
    EXPECT_EQ(c.bytes, Bytes(encoder.data(), encoder.data() + encoder.size()));

    AnyValue decoded;
    OpcUa::BinaryDecoder decoder(c.bytes.data(), c.bytes.size());
    ASSERT_EQ(OpcUa_Good, decoder.readValue(c.kind, nullptr, &decoded));
    EXPECT_EQ(0u, decoder.remaining());
    OpcUa::BinaryEncoder again;
    ASSERT_EQ(OpcUa_Good, again.writeValue(c.kind, nullptr, &decoded));
    EXPECT_EQ(c.bytes, Bytes(again.data(), again.data() + again.size()));
    clearKind(c.kind, &decoded);
    clearKind(c.kind, &value);
}

INSTANTIATE_TEST_SUITE_P(BuiltIns, UaStackKnownEncoding, ::testing::ValuesIn(knownEncodings()),
                         [](const ::testing::TestParamInfo<KnownEncoding>& i)
                         { return std::string(i.param.name); });

TEST(UaStackDecoding, NonZeroBooleanBytesDecodeAsTrue)
{
    const OpcUa_Byte bytes[] = {0x02};
    OpcUa::BinaryDecoder decoder(bytes, sizeof(bytes));
    OpcUa_Boolean b = 0;
    ASSERT_EQ(OpcUa_Good, decoder.readBoolean(&b));
    EXPECT_EQ(OpcUa_True, b);
}

TEST(UaStackDecoding, ExtensionObjectWithAKnownEncodingIdIsDecodedIntoItsStructure)
{
    // Range {Low 1.0, High 2.0} under its encoding id 886 (four-byte NodeId form).
    const OpcUa_Byte bytes[] = {0x01, 0x00, 0x76, 0x03, 0x01, 0x10, 0, 0, 0, 0, 0, 0,   0,
                                0,    0,    0xF0, 0x3F, 0,    0,    0, 0, 0, 0, 0, 0x40};
    OpcUa::BinaryDecoder decoder(bytes, sizeof(bytes));
    OpcUa_ExtensionObject e;
    ASSERT_EQ(OpcUa_Good, decoder.readExtensionObject(&e));
    ASSERT_EQ(OpcUa_ExtensionObjectEncoding_EncodeableObject, e.Encoding);
    ASSERT_EQ(&OpcUa_Range_EncodeableType, e.Body.EncodeableObject.Type);
    auto* range = static_cast<OpcUa_Range*>(e.Body.EncodeableObject.Object);
    EXPECT_EQ(1.0, range->Low);
    EXPECT_EQ(2.0, range->High);
    EXPECT_EQ(884u, e.TypeId.NodeId.Identifier.Numeric);
    OpcUa_ExtensionObject_Clear(&e);
}

TEST(UaStackEncoding, MessageLimitStopsTheEncoderCleanly)
{
    OpcUa::EncodingLimits limits;
    limits.maxMessageSize = 8;
    OpcUa::BinaryEncoder encoder(limits);
    OpcUa_String s;
    OpcUa_String_Initialize(&s);
    OpcUa_String_AttachCopy(&s, "longer than eight");
    EXPECT_EQ(OpcUa_BadEncodingLimitsExceeded, encoder.writeString(s));
    EXPECT_EQ(OpcUa_BadEncodingLimitsExceeded, encoder.writeInt32(1));
    encoder.reset();
    EXPECT_EQ(OpcUa_Good, encoder.writeInt32(1));
    OpcUa_String_Clear(&s);
}
} // namespace

namespace
{
TEST(UaStackEncoding, ExtensionObjectTypeIdGoesOnTheWireAsAPlainNodeId)
{
    OpcUa_ExtensionObject e;
    OpcUa_ExtensionObject_Initialize(&e);
    e.TypeId.NodeId.Identifier.Numeric = 72;
    OpcUa_String_AttachCopy(&e.TypeId.NamespaceUri, "urn:elsewhere");
    e.TypeId.ServerIndex = 3;
    OpcUa::BinaryEncoder encoder;
    ASSERT_EQ(OpcUa_Good, encoder.writeExtensionObject(e));
    EXPECT_EQ((std::vector<OpcUa_Byte>{0x00, 0x48, 0x00}),
              std::vector<OpcUa_Byte>(encoder.data(), encoder.data() + encoder.size()));
    OpcUa_ExtensionObject_Clear(&e);
}
} // namespace

namespace
{
TEST(UaStackByteString, EmptyAndNullStayApartThroughCopyAndCompare)
{
    OpcUa_ByteString empty{0, nullptr};
    OpcUa_ByteString null;
    OpcUa_ByteString_Initialize(&null);
    EXPECT_EQ(-1, null.Length);
    EXPECT_NE(0, OpcUa_ByteString_Compare(&empty, &null));
    OpcUa_ByteString copy;
    ASSERT_EQ(OpcUa_Good, OpcUa_ByteString_CopyTo(&empty, &copy));
    EXPECT_EQ(0, copy.Length);
    EXPECT_EQ(0, OpcUa_ByteString_Compare(&empty, &copy));
    OpcUa_ByteString_Clear(&copy);
    ASSERT_EQ(OpcUa_Good, OpcUa_ByteString_CopyTo(&null, &copy));
    EXPECT_EQ(-1, copy.Length);
    OpcUa_ByteString broken{3, nullptr};
    EXPECT_EQ(OpcUa_BadInvalidArgument, OpcUa_ByteString_CopyTo(&broken, &copy));
    OpcUa::BinaryEncoder encoder;
    EXPECT_EQ(OpcUa_BadEncodingError, encoder.writeByteString(broken));
}
} // namespace
