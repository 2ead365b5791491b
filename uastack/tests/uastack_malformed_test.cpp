// Malformed input: every failure is a clean bad status, nothing is read past the end, nothing leaks
// (the sanitizer build checks the last two).
#include "value_filler.h"

#include <opcua_binarycodec.hpp>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace
{
using Bytes = std::vector<OpcUa_Byte>;

void put32(Bytes& b, int32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<OpcUa_Byte>(static_cast<uint32_t>(v) >> (8 * i)));
}

// The head bytes, a length field, then tail bytes of one value.
Bytes withLength(Bytes head, int32_t length, size_t tail = 0, OpcUa_Byte tailByte = 0)
{
    put32(head, length);
    head.insert(head.end(), tail, tailByte);
    return head;
}

Bytes encodeMessage(OpcUa_EncodeableType* type, uint32_t seed)
{
    void* object = nullptr;
    OpcUa_EncodeableObject_Create(type, &object);
    uastacktest::ValueFiller(seed).fillStructure(type, object);
    OpcUa::BinaryEncoder encoder;
    EXPECT_EQ(OpcUa_Good, encoder.writeMessage(type, object));
    OpcUa_EncodeableObject_Delete(type, &object);
    return Bytes(encoder.data(), encoder.data() + encoder.size());
}

// A ReadResponse that carries every kind of variant, data value and diagnostic info.
Bytes richReadResponse()
{
    OpcUa_ReadResponse response;
    OpcUa_ReadResponse_Initialize(&response);
    const int n = 12;
    response.Results = static_cast<OpcUa_DataValue*>(OpcUa_Memory_Alloc(n * sizeof(OpcUa_DataValue)));
    response.NoOfResults = n;
    for (int i = 0; i < n; ++i)
    {
        OpcUa_DataValue_Initialize(&response.Results[i]);
        uastacktest::ValueFiller(100 + i).fillValue(OpcUaType_DataValue, nullptr, &response.Results[i], 0);
    }
    response.DiagnosticInfos =
        static_cast<OpcUa_DiagnosticInfo*>(OpcUa_Memory_Alloc(2 * sizeof(OpcUa_DiagnosticInfo)));
    response.NoOfDiagnosticInfos = 2;
    for (int i = 0; i < 2; ++i)
    {
        OpcUa_DiagnosticInfo_Initialize(&response.DiagnosticInfos[i]);
        uastacktest::ValueFiller(200 + i).fillValue(OpcUaType_DiagnosticInfo, nullptr,
                                                    &response.DiagnosticInfos[i], 0);
    }
    OpcUa::BinaryEncoder encoder;
    EXPECT_EQ(OpcUa_Good, encoder.writeMessage(&OpcUa_ReadResponse_EncodeableType, &response));
    OpcUa_ReadResponse_Clear(&response);
    return Bytes(encoder.data(), encoder.data() + encoder.size());
}

OpcUa_StatusCode decodeMessage(const Bytes& bytes,
                               const OpcUa::EncodingLimits& limits = OpcUa::EncodingLimits())
{
    OpcUa::BinaryDecoder decoder(bytes.data(), bytes.size(), limits);
    OpcUa_EncodeableType* type = nullptr;
    void* object = nullptr;
    OpcUa_StatusCode status = decoder.readMessage(&type, &object);
    if (OpcUa_IsGood(status))
        OpcUa_EncodeableObject_Delete(type, &object);
    else
        EXPECT_TRUE(type == nullptr && object == nullptr);
    return status;
}

OpcUa_StatusCode decodeVariant(const Bytes& bytes,
                               const OpcUa::EncodingLimits& limits = OpcUa::EncodingLimits())
{
    OpcUa::BinaryDecoder decoder(bytes.data(), bytes.size(), limits);
    OpcUa_Variant v;
    OpcUa_StatusCode status = decoder.readVariant(&v);
    if (OpcUa_IsBad(status))
    {
        OpcUa_Variant empty;
        OpcUa_Variant_Initialize(&empty);
        EXPECT_EQ(0, memcmp(&empty, &v, sizeof(v))); // left owning nothing
    }
    OpcUa_Variant_Clear(&v);
    return status;
}

TEST(UaStackMalformed, EveryTruncationOfValidMessagesIsADecodingError)
{
    std::vector<Bytes> messages = {richReadResponse(), encodeMessage(&OpcUa_ReadRequest_EncodeableType, 5),
                                   encodeMessage(&OpcUa_CreateSessionRequest_EncodeableType, 9),
                                   encodeMessage(&OpcUa_PublishResponse_EncodeableType, 3)};
    for (const Bytes& message : messages)
    {
        ASSERT_EQ(OpcUa_Good, decodeMessage(message));
        for (size_t cut = 0; cut < message.size(); ++cut)
        {
            // A copy of exactly the prefix, so that the sanitizer catches any read past it.
            Bytes prefix(message.begin(), message.begin() + static_cast<long>(cut));
            ASSERT_EQ(OpcUa_BadDecodingError, decodeMessage(prefix)) << "cut at " << cut;
        }
    }
}

struct MalformedCase
{
    const char* name;
    std::function<Bytes()> bytes;
    OpcUa_StatusCode expected;
    OpcUa::EncodingLimits limits;
};

OpcUa::EncodingLimits withLimit(std::function<void(OpcUa::EncodingLimits&)> set)
{
    OpcUa::EncodingLimits l;
    set(l);
    return l;
}

// Variants nested depth times through one-element arrays of variants.
Bytes nestedVariants(int depth)
{
    Bytes b;
    for (int i = 0; i < depth; ++i)
    {
        b.push_back(0x98);
        put32(b, 1);
    }
    b.push_back(0x00);
    return b;
}

// A variant holding a DiagnosticInfo whose inner chain is depth long.
Bytes nestedDiagnostics(int depth)
{
    Bytes b = {0x19};
    for (int i = 0; i < depth; ++i)
        b.push_back(0x40);
    b.push_back(0x00);
    return b;
}

// A variant holding a DataValue holding a variant ... depth levels.
Bytes nestedDataValues(int depth)
{
    Bytes b;
    for (int i = 0; i < depth; ++i)
    {
        b.push_back(0x17); // variant: DataValue scalar
        b.push_back(0x01); // data value: value present
    }
    b.push_back(0x00);
    return b;
}

// ExtensionObjects nested through ContentFilterElement operands (an ExtensionObject array) ...
// carried as LiteralOperand variants: each level adds an ExtensionObject and a Variant.
Bytes nestedExtensionObjects(int depth)
{
    // LiteralOperand (encoding id 597): one Variant field.
    Bytes inner = {0x00};
    for (int i = 0; i < depth; ++i)
    {
        Bytes outer = {0x16, 0x01, 0x00, 0x55, 0x02, 0x01}; // variant ExtensionObject, NodeId i=597, binary
        put32(outer, static_cast<int32_t>(inner.size()));
        outer.insert(outer.end(), inner.begin(), inner.end());
        inner = outer;
    }
    return inner;
}

std::vector<MalformedCase> malformedVariants()
{
    OpcUa::EncodingLimits defaults;
    return {
        {"UnknownBuiltInType", [] { return Bytes{0x1A}; }, OpcUa_BadDecodingError, defaults},
        {"ScalarVariantInVariant",
         [] {
             return Bytes{0x18, 0x00};
         },
         OpcUa_BadDecodingError, defaults},
        {"DimensionsWithoutArray",
         [] {
             return Bytes{0x46, 0, 0, 0, 0};
         },
         OpcUa_BadDecodingError, defaults},
        {"ArrayOfNullType",
         [] {
             return Bytes{0x80, 0, 0, 0, 0};
         },
         OpcUa_BadDecodingError, defaults},
        {"NegativeArrayLength", [] { return withLength({0x86}, -2); }, OpcUa_BadDecodingError, defaults},
        {"ArrayLongerThanTheInput", [] { return withLength({0x86}, 60000); }, OpcUa_BadDecodingError,
         defaults},
        {"ArrayOverTheLengthLimit", [] { return withLength({0x83}, 70000); }, OpcUa_BadEncodingLimitsExceeded,
         defaults},
        {"ArrayOverTheAllocationLimit", [] { return withLength({0x86}, 100, 400); },
         OpcUa_BadEncodingLimitsExceeded, withLimit([](auto& l) { l.maxAlloc = 64; })},
        {"StringNegativeLength", [] { return withLength({0x0C}, -7); }, OpcUa_BadDecodingError, defaults},
        {"StringHugeLength", [] { return withLength({0x0C}, 0x7FFFFFF0); }, OpcUa_BadEncodingLimitsExceeded,
         defaults},
        {"StringLongerThanTheInput", [] { return withLength({0x0C}, 1000, 1, 'x'); }, OpcUa_BadDecodingError,
         defaults},
        {"StringOverItsLimit", [] { return withLength({0x0C}, 5, 5, 'x'); }, OpcUa_BadEncodingLimitsExceeded,
         withLimit([](auto& l) { l.maxStringLength = 4; })},
        {"ByteStringOverItsLimit", [] { return withLength({0x0F}, 5, 5, 1); },
         OpcUa_BadEncodingLimitsExceeded, withLimit([](auto& l) { l.maxByteStringLength = 4; })},
        {"MatrixDimensionsDisagreeWithLength",
         []
         {
             Bytes b{0xC3};
             put32(b, 2);
             b.push_back(1);
             b.push_back(2);
             put32(b, 1);
             put32(b, 3);
             return b;
         },
         OpcUa_BadDecodingError, defaults},
        {"MatrixNegativeDimension",
         []
         {
             Bytes b{0xC3};
             put32(b, 0);
             put32(b, 2);
             put32(b, -1);
             put32(b, 0);
             return b;
         },
         OpcUa_BadDecodingError, defaults},
        {"NodeIdUnknownEncoding",
         [] {
             return Bytes{0x11, 0x06, 0x00};
         },
         OpcUa_BadDecodingError, defaults},
        {"NodeIdWithExpandedFlags",
         [] {
             return Bytes{0x11, 0x80, 0x01};
         },
         OpcUa_BadDecodingError, defaults},
        {"LocalizedTextUnknownMaskBits",
         [] {
             return Bytes{0x15, 0x04};
         },
         OpcUa_BadDecodingError, defaults},
        {"DataValueUnknownMaskBits",
         [] {
             return Bytes{0x17, 0x40};
         },
         OpcUa_BadDecodingError, defaults},
        {"DiagnosticInfoUnknownMaskBits",
         [] {
             return Bytes{0x19, 0x80};
         },
         OpcUa_BadDecodingError, defaults},
        {"ExtensionObjectUnknownBodyEncoding",
         [] {
             return Bytes{0x16, 0x00, 0x00, 0x03};
         },
         OpcUa_BadDecodingError, defaults},
        {"KnownBodyShorterThanItsStructure",
         [] {
             return withLength({0x16, 0x01, 0x00, 0x76, 0x03, 0x01}, 8, 16);
         },
         OpcUa_BadDecodingError, defaults},
        {"KnownBodyLengthNegative",
         [] {
             return withLength({0x16, 0x01, 0x00, 0x76, 0x03, 0x01}, -1);
         },
         OpcUa_BadDecodingError, defaults},
        {"VariantsNestedBeyondTheLimit", [] { return nestedVariants(70); }, OpcUa_BadEncodingLimitsExceeded,
         defaults},
        {"DiagnosticInfosNestedBeyondTheLimit", [] { return nestedDiagnostics(70); },
         OpcUa_BadEncodingLimitsExceeded, defaults},
        {"DataValuesNestedBeyondTheLimit", [] { return nestedDataValues(40); },
         OpcUa_BadEncodingLimitsExceeded, defaults},
        {"ExtensionObjectsNestedBeyondTheLimit", [] { return nestedExtensionObjects(40); },
         OpcUa_BadEncodingLimitsExceeded, defaults},
        {"InputLargerThanTheMessageLimit", [] { return Bytes(100, 0); }, OpcUa_BadEncodingLimitsExceeded,
         withLimit([](auto& l) { l.maxMessageSize = 64; })},
    };
}

class UaStackMalformedVariant : public ::testing::TestWithParam<MalformedCase>
{
};

TEST_P(UaStackMalformedVariant, GivesTheRightBadCodeAndOwnsNothing)
{
    const MalformedCase& c = GetParam();
    EXPECT_EQ(c.expected, decodeVariant(c.bytes(), c.limits));
}

INSTANTIATE_TEST_SUITE_P(Inputs, UaStackMalformedVariant, ::testing::ValuesIn(malformedVariants()),
                         [](const ::testing::TestParamInfo<MalformedCase>& i)
                         { return std::string(i.param.name); });

TEST(UaStackMalformed, NestingJustWithinTheLimitDecodes)
{
    EXPECT_EQ(OpcUa_Good, decodeVariant(nestedVariants(60)));
    EXPECT_EQ(OpcUa_Good, decodeVariant(nestedDiagnostics(60)));
    EXPECT_EQ(OpcUa_Good, decodeVariant(nestedExtensionObjects(20)));
}

TEST(UaStackMalformed, MessagesWithUnknownEncodingIdsOrBadCountsAreRefused)
{
    Bytes unknown = {0x02, 0x00, 0x00};
    put32(unknown, 999999);
    EXPECT_EQ(OpcUa_BadDecodingError, decodeMessage(unknown));

    OpcUa::BinaryDecoder decoder(unknown.data(), unknown.size());
    OpcUa_EncodeableType* type = nullptr;
    void* object = nullptr;
    OpcUa_UInt32 id = 0;
    EXPECT_EQ(OpcUa_BadDecodingError, decoder.readMessage(&type, &object, &id));
    EXPECT_EQ(999999u, id);

    // ReadRequest: header, MaxAge, TimestampsToReturn, then a count of nodes over the limit.
    Bytes request = encodeMessage(&OpcUa_ReadRequest_EncodeableType, 1);
    OpcUa::BinaryDecoder probe(request.data(), request.size());
    OpcUa_EncodeableType* t = nullptr;
    void* r = nullptr;
    ASSERT_EQ(OpcUa_Good, probe.readMessage(&t, &r));
    auto* read = static_cast<OpcUa_ReadRequest*>(r);
    for (OpcUa_Int32 i = 0; i < read->NoOfNodesToRead; ++i)
        OpcUa_ReadValueId_Clear(&read->NodesToRead[i]);
    read->NoOfNodesToRead = 0;
    OpcUa_Memory_Free(read->NodesToRead);
    read->NodesToRead = nullptr;
    OpcUa::BinaryEncoder encoder;
    ASSERT_EQ(OpcUa_Good, encoder.writeMessage(t, r));
    OpcUa_EncodeableObject_Delete(t, &r);
    Bytes head(encoder.data(), encoder.data() + encoder.size() - 4); // without the -1 count

    Bytes over = head;
    put32(over, 70000);
    EXPECT_EQ(OpcUa_BadEncodingLimitsExceeded, decodeMessage(over));
    Bytes beyondInput = head;
    put32(beyondInput, 65000);
    EXPECT_EQ(OpcUa_BadDecodingError, decodeMessage(beyondInput));
    Bytes negative = head;
    put32(negative, -3);
    EXPECT_EQ(OpcUa_BadDecodingError, decodeMessage(negative));
}
} // namespace
