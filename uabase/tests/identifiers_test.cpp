#include "uabytearray.h"
#include "uabytestring.h"
#include "uaextensionobject.h"
#include "uaguid.h"
#include "ualocalizedtext.h"
#include "uaqualifiedname.h"
#include "uatextforms.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(UaQualifiedName, NullEqualityAndText)
{
    EXPECT_TRUE(UaQualifiedName().isNull());
    EXPECT_TRUE(UaQualifiedName(UaString(""), 0).isNull());
    EXPECT_FALSE(UaQualifiedName(UaString(""), 1).isNull());
    EXPECT_EQ(UaQualifiedName(UaString("Pump"), 3), UaQualifiedName(UaString("PUMP"), 3));
    EXPECT_NE(UaQualifiedName(UaString("Pump"), 3), UaQualifiedName(UaString("Pump"), 2));
    EXPECT_NE(UaQualifiedName(UaString("Pump"), 3), UaQualifiedName(UaString("Pumps"), 3));
    UaQualifiedName name(UaString("Pump"), 3);
    EXPECT_STREQ(name.toFullString().toUtf8(), "ns=3|Pump");
    EXPECT_STREQ(name.toString().toUtf8(), "Pump");

    UaQualifiedName copy(name);
    name.setQualifiedName(UaString("Other"), 1);
    EXPECT_STREQ(copy.toFullString().toUtf8(), "ns=3|Pump");
    OpcUa_QualifiedName raw;
    copy.copyTo(&raw);
    EXPECT_EQ(UaQualifiedName(raw), copy);
    OpcUa_QualifiedName_Clear(&raw);
}

TEST(UaLocalizedText, NullEqualityAndText)
{
    EXPECT_TRUE(UaLocalizedText().isNull());
    UaLocalizedText text(UaString("en"), UaString("Pump"));
    EXPECT_FALSE(text.isNull());
    EXPECT_EQ(text, UaLocalizedText(UaString("EN"), UaString("pump")));
    EXPECT_NE(text, UaLocalizedText(UaString("de"), UaString("Pump")));
    EXPECT_STREQ(text.toString().toUtf8(), "Pump");
    EXPECT_STREQ(text.toFullString().toUtf8(), "en|Pump");
    EXPECT_STREQ(UaLocalizedText(UaString("%2"), UaString("x")).toFullString().toUtf8(), "%2|x");
    text.setLocalizedText(UaString(), UaString("only"));
    EXPECT_TRUE(text.locale().isEmpty());
    OpcUa_LocalizedText* cloned = text.clone();
    ASSERT_NE(cloned, nullptr);
    EXPECT_EQ(UaLocalizedText(*cloned), text);
    OpcUa_LocalizedText_Clear(cloned);
    OpcUa_Memory_Free(cloned);
}

TEST(UaByteString, EqualityCopyDetachAttach)
{
    const OpcUa_Byte bytes[] = {1, 2, 3};
    UaByteString a(3, bytes);
    UaByteString b(a);
    EXPECT_NE(a.data(), b.data());
    EXPECT_EQ(a, b);
    EXPECT_NE(a, UaByteString(2, bytes));
    EXPECT_EQ(UaByteString(0, nullptr), UaByteString(0, nullptr));
    EXPECT_EQ(UaByteString(0, bytes).data(), nullptr);

    OpcUa_ByteString withBlock{0, static_cast<OpcUa_Byte*>(OpcUa_Memory_Alloc(1))};
    UaByteString empty;
    empty.attach(&withBlock);
    EXPECT_NE(empty, UaByteString(0, nullptr)); // a null and a present block differ

    OpcUa_ByteString handed = *a.toOpcUaByteString();
    a.detach();
    EXPECT_EQ(a.length(), -1);
    EXPECT_EQ(a.data(), nullptr);
    UaByteString taker;
    taker.attach(&handed);
    EXPECT_EQ(taker, b);
}

TEST(UaByteArray, HexAndSharing)
{
    UaByteArray bytes("\x01\xAB", 2);
    EXPECT_STREQ(bytes.toHex(true).toUtf8(), "01 AB");
    EXPECT_STREQ(bytes.toHex(false).toUtf8(), "01AB");
    EXPECT_TRUE(UaByteArray().toHex(true).isEmpty());
    EXPECT_EQ(UaByteArray().data(), nullptr);

    UaByteArray copy(bytes);
    EXPECT_EQ(static_cast<const UaByteArray&>(copy).data(), static_cast<const UaByteArray&>(bytes).data());
    copy.data()[0] = 0x7F; // a change gives the copy a block of its own
    EXPECT_STREQ(bytes.toHex(false).toUtf8(), "01AB");
    EXPECT_STREQ(copy.toHex(false).toUtf8(), "7FAB");
    ASSERT_TRUE(copy.resize(4));
    EXPECT_STREQ(copy.toHex(true).toUtf8(), "7F AB 00 00");
    ASSERT_TRUE(copy.resize(1));
    EXPECT_EQ(copy.size(), 1);
    EXPECT_FALSE(copy.resize(-1));

    const OpcUa_Byte raw[] = {0xDE, 0xAD};
    OpcUa_ByteString stack{2, const_cast<OpcUa_Byte*>(raw)};
    EXPECT_STREQ(UaByteArray(stack).toHex(false).toUtf8(), "DEAD");
}

TEST(UaGuid, CreateCompareAndText)
{
    UaGuid a;
    EXPECT_TRUE(a.isNull());
    EXPECT_STREQ(a.toString().toUtf8(), "00000000-0000-0000-0000-000000000000");
    a.create();
    EXPECT_FALSE(a.isNull());
    UaGuid b;
    b.create();
    EXPECT_NE(a, b);
    EXPECT_EQ(UaGuid(*a.toOpcUaGuid()), a);
    EXPECT_EQ(a.toString().size(), 36);
}

TEST(TextForms, ServerStates)
{
    const char* names[] = {"Running",  "Failed", "NoConfiguration",   "Suspended",
                           "Shutdown", "Test",   "CommunicationFault"};
    for (int state = 0; state < 7; ++state)
    {
        std::string expected = std::string("Server State ") + names[state];
        EXPECT_EQ(std::string(TextForms::serverState(state).toUtf8()), expected);
        EXPECT_EQ(std::string(TextForms::redundantServerState(state, UaString("urn:a")).toUtf8()),
                  expected + " (Id=urn:a)");
    }
    EXPECT_STREQ(TextForms::serverState(9).toUtf8(), "Server State Unknown");
    EXPECT_STREQ(TextForms::serverState(-1).toUtf8(), "Server State Unknown");
    EXPECT_STREQ(TextForms::redundantServerState(9, UaString("s1")).toUtf8(), "Server State Unkown (Id=s1)");
}

TEST(UaExtensionObject, DisplayTextsOfDecodedBodies)
{
    UaExtensionObject range;
    auto* r = static_cast<OpcUa_Range*>(range.createBody(&OpcUa_Range_EncodeableType));
    ASSERT_NE(r, nullptr);
    r->Low = 0;
    r->High = 100;
    EXPECT_STREQ(range.toString().toUtf8(), "[0.00, 100.00]");

    UaExtensionObject status;
    auto* s = static_cast<OpcUa_ServerStatusDataType*>(
        status.createBody(&OpcUa_ServerStatusDataType_EncodeableType));
    ASSERT_NE(s, nullptr);
    OpcUa_Int32 outOfRange = 9; // as a peer may send it
    std::memcpy(&s->State, &outOfRange, sizeof(outOfRange));
    EXPECT_STREQ(status.toString().toUtf8(), "Server State Unknown");
    s->State = static_cast<decltype(s->State)>(0);
    EXPECT_STREQ(status.toString().toUtf8(), "Server State Running");

    UaExtensionObject build;
    auto* b = static_cast<OpcUa_BuildInfo*>(build.createBody(&OpcUa_BuildInfo_EncodeableType));
    ASSERT_NE(b, nullptr);
    UaString("urn:product").copyTo(&b->ProductUri);
    EXPECT_STREQ(build.toString().toUtf8(), "urn:product");

    UaExtensionObject redundant;
    auto* rs = static_cast<OpcUa_RedundantServerDataType*>(
        redundant.createBody(&OpcUa_RedundantServerDataType_EncodeableType));
    ASSERT_NE(rs, nullptr);
    UaString("srv2").copyTo(&rs->ServerId);
    rs->ServerState = static_cast<decltype(rs->ServerState)>(4);
    EXPECT_STREQ(redundant.toString().toUtf8(), "Server State Shutdown (Id=srv2)");

    UaExtensionObject other;
    ASSERT_NE(other.createBody(&OpcUa_ReadValueId_EncodeableType), nullptr);
    EXPECT_STREQ(other.toString().toUtf8(), "Type can not be displayed");
    EXPECT_TRUE(UaExtensionObject().toString().isEmpty());
}

TEST(UaExtensionObject, CopiesDecodedBodiesOfEveryType)
{
    UaExtensionObject range;
    auto* r = static_cast<OpcUa_Range*>(range.createBody(&OpcUa_Range_EncodeableType));
    ASSERT_NE(r, nullptr);
    r->High = 5.5;
    UaExtensionObject copy(range);
    ASSERT_EQ(copy.dataTypeId(), range.dataTypeId());
    EXPECT_NE(copy.body(), range.body());
    EXPECT_EQ(static_cast<OpcUa_Range*>(copy.body())->High, 5.5);

    // A structure the server neither shows nor builds keeps its content too, deep-copied.
    UaExtensionObject other;
    auto* readValueId = static_cast<OpcUa_ReadValueId*>(other.createBody(&OpcUa_ReadValueId_EncodeableType));
    ASSERT_NE(readValueId, nullptr);
    readValueId->AttributeId = 13;
    UaString("1:2").copyTo(&readValueId->IndexRange);
    UaExtensionObject kept(other);
    ASSERT_EQ(kept.encoding(), OpcUa_ExtensionObjectEncoding_EncodeableObject);
    ASSERT_EQ(kept.dataTypeId(), other.dataTypeId());
    ASSERT_NE(kept.body(), other.body());
    const auto* copied = static_cast<const OpcUa_ReadValueId*>(kept.body());
    EXPECT_EQ(copied->AttributeId, 13u);
    EXPECT_STREQ(UaString(&copied->IndexRange).toUtf8(), "1:2");
    EXPECT_NE(OpcUa_String_GetRawString(&copied->IndexRange),
              OpcUa_String_GetRawString(&readValueId->IndexRange));

    OpcUa_ExtensionObject binary;
    OpcUa_ExtensionObject_Initialize(&binary);
    binary.Encoding = OpcUa_ExtensionObjectEncoding_Binary;
    binary.TypeId.NodeId.Identifier.Numeric = 887;
    binary.Body.Binary.Length = 2;
    binary.Body.Binary.Data = static_cast<OpcUa_Byte*>(OpcUa_Memory_Alloc(2));
    binary.Body.Binary.Data[0] = 0xAA;
    binary.Body.Binary.Data[1] = 0xBB;
    UaExtensionObject encoded(binary);
    OpcUa_ExtensionObject_Clear(&binary);
    const OpcUa_ExtensionObject* binaryKept = encoded.toOpcUaExtensionObject();
    EXPECT_EQ(binaryKept->Encoding, OpcUa_ExtensionObjectEncoding_Binary);
    ASSERT_EQ(binaryKept->Body.Binary.Length, 2);
    EXPECT_EQ(binaryKept->Body.Binary.Data[1], 0xBB);
    EXPECT_EQ(binaryKept->TypeId.NodeId.Identifier.Numeric, 887u);
    EXPECT_TRUE(encoded.toString().isEmpty());
}
