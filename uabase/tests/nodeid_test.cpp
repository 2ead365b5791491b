#include "uabytestring.h"
#include "uaexpandednodeid.h"
#include "uaguid.h"
#include "uanodeid.h"
#include "nodeidcompare.h"
#include "uatextforms.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace
{
UaNodeId opaque(std::vector<OpcUa_Byte> bytes, OpcUa_UInt16 ns = 0)
{
    UaNodeId id;
    id.setNodeId(UaByteString(static_cast<OpcUa_Int32>(bytes.size()), bytes.data()), ns);
    return id;
}

UaNodeId nullOpaque(OpcUa_UInt16 ns = 0)
{
    OpcUa_NodeId raw;
    OpcUa_NodeId_Initialize(&raw);
    raw.IdentifierType = OpcUa_IdentifierType_Opaque;
    raw.NamespaceIndex = ns;
    raw.Identifier.ByteString.Length = -1;
    return UaNodeId(raw);
}

UaNodeId guid(OpcUa_UInt32 data1, OpcUa_UInt16 ns = 0)
{
    OpcUa_Guid g{};
    g.Data1 = data1;
    UaNodeId id;
    id.setNodeId(UaGuid(g), ns);
    return id;
}

} // namespace

TEST(UaNodeId, EqualityAndOrderAgree)
{
    struct Row
    {
        const char* name;
        UaNodeId a;
        UaNodeId b;
        bool equal;
        bool less;
    };
    const std::vector<Row> rows = {
        {"same numeric", UaNodeId(5, 1), UaNodeId(5, 1), true, false},
        {"numeric by value", UaNodeId(4, 1), UaNodeId(5, 1), false, true},
        {"namespace first", UaNodeId(9, 1), UaNodeId(1, 2), false, true},
        {"numeric before string", UaNodeId(9, 9), UaNodeId(UaString("a"), 0), false, true},
        {"string ignores case", UaNodeId(UaString("Motor"), 1), UaNodeId(UaString("MOTOR"), 1), true, false},
        {"string by size first", UaNodeId(UaString("zz"), 1), UaNodeId(UaString("aaa"), 1), false, true},
        {"string at equal size", UaNodeId(UaString("abc"), 1), UaNodeId(UaString("ABD"), 1), false, true},
        {"string before guid", UaNodeId(UaString("x"), 5), guid(1), false, true},
        {"guid by bytes", guid(1), guid(2), false, true},
        {"guid equal", guid(7, 3), guid(7, 3), true, false},
        {"guid before opaque", guid(1), opaque({1}), false, true},
        {"opaque by length", opaque({9}), opaque({1, 1}), false, true},
        {"opaque by bytes", opaque({1, 2}), opaque({1, 3}), false, true},
        {"opaque equal", opaque({0x0A, 0xFF}), opaque({0x0A, 0xFF}), true, false},
        {"opaque empty equal", opaque({}), opaque({}), true, false},
        {"opaque null equal", nullOpaque(), nullOpaque(), true, false},
        {"opaque null before empty", nullOpaque(), opaque({}), false, true},
        {"opaque empty before one byte", opaque({}), opaque({0}), false, true},
    };
    for (const Row& r : rows)
    {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(r.a == r.b, r.equal);
        EXPECT_EQ(r.b == r.a, r.equal);
        EXPECT_EQ(r.a != r.b, !r.equal);
        EXPECT_EQ(r.a < r.b, r.less);
        EXPECT_FALSE(r.a < r.b && r.b < r.a);
        if (r.equal)
        {
            EXPECT_FALSE(r.b < r.a);
        }
        else if (!r.less)
        {
            EXPECT_TRUE(r.b < r.a);
        }
        EXPECT_EQ(r.a == *r.b.toOpcUaNodeId(), r.equal);
    }
}

TEST(UaNodeId, OrderedContainersKeepNullAndEmptyOpaqueIdsApart)
{
    std::map<UaNodeId, int> map;
    map[nullOpaque(1)] = 1;
    map[opaque({}, 1)] = 2;
    map[opaque({0}, 1)] = 3;
    ASSERT_EQ(map.size(), 3u);
    for (const auto& [key, value] : map)
        EXPECT_EQ(map.find(key)->second, value);
    EXPECT_EQ(map.at(opaque({}, 1)), 2);
}

TEST(UaNodeId, NullTest)
{
    EXPECT_TRUE(UaNodeId().isNull());
    EXPECT_TRUE(UaNodeId(0, 0).isNull());
    EXPECT_FALSE(UaNodeId(0, 1).isNull());
    EXPECT_TRUE(UaNodeId(UaString(""), 0).isNull());
    EXPECT_FALSE(UaNodeId(UaString("x"), 0).isNull());
    EXPECT_TRUE(guid(0).isNull());
    EXPECT_FALSE(guid(1).isNull());
    EXPECT_TRUE(nullOpaque().isNull());
    EXPECT_FALSE(opaque({}).isNull());
    EXPECT_FALSE(nullOpaque(1).isNull());
}

TEST(UaNodeId, TextForms)
{
    std::vector<OpcUa_Byte> long200(200);
    for (std::size_t i = 0; i < long200.size(); ++i)
        long200[i] = static_cast<OpcUa_Byte>(i);
    std::string digits121;
    std::string digits126;
    const char* hex = "0123456789ABCDEF";
    for (int i = 0; i < 126; ++i)
    {
        std::string pair{hex[i >> 4], hex[i & 15]};
        if (i < 121)
            digits121 += pair;
        digits126 += pair;
    }
    OpcUa_Guid g{0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};
    UaNodeId guidId;
    guidId.setNodeId(UaGuid(g), 4);
    std::string longString(300, 's');

    struct Row
    {
        UaNodeId id;
        std::string full;
        std::string identifier;
    };
    const std::vector<Row> rows = {
        {UaNodeId(5001, 2), "NS2|Numeric|5001", "5001"},
        {UaNodeId(4294967295u, 65535), "NS65535|Numeric|4294967295", "4294967295"},
        {UaNodeId(UaString("Pump.Speed"), 3), "NS3|String|Pump.Speed", "Pump.Speed"},
        {guidId, "NS4|Guid|12345678-9ABC-DEF0-0102-030405060708", "12345678-9ABC-DEF0-0102-030405060708"},
        {opaque({0x0A, 0xFF}), "NS0|Opaque|0x0AFF", "0x0AFF"},
        {opaque({}), "NS0|Opaque|0x", ""},
        {nullOpaque(), "NS0|Opaque|0x", ""},
        {opaque(long200, 1), "NS1|Opaque|0x" + digits121, "0x" + digits126},
        {UaNodeId(UaString(longString.c_str()), 1), ("NS1|String|" + longString).substr(0, 255), longString},
    };
    for (const Row& r : rows)
    {
        SCOPED_TRACE(r.full);
        EXPECT_EQ(std::string(r.id.toFullString().toUtf8()), r.full);
        EXPECT_EQ(std::string(r.id.toString().toUtf8()), r.identifier);
    }
    EXPECT_EQ(std::string(UaExpandedNodeId(UaNodeId(42, 3), UaString("urn:x"), 2).toString().toUtf8()), "42");
}

TEST(UaNodeId, SharingCopyAndDetach)
{
    UaNodeId a(UaString("Tank"), 2);
    UaNodeId b(a);
    EXPECT_EQ(b.toOpcUaNodeId(), a.toOpcUaNodeId());
    EXPECT_EQ(b.identifierString(), UaString("Tank"));
    EXPECT_EQ(b.identifierType(), OpcUa_IdentifierType_String);
    EXPECT_EQ(b.namespaceIndex(), 2);

    OpcUa_NodeId target;
    EXPECT_EQ(a.detach(&target), nullptr); // shared: nothing moves
    b = UaNodeId();
    ASSERT_EQ(a.detach(&target), &target);
    EXPECT_TRUE(a.isNull());
    EXPECT_STREQ(OpcUa_String_GetRawString(&target.Identifier.String), "Tank");
    UaNodeId back(target);
    EXPECT_EQ(back, UaNodeId(UaString("tank"), 2));
    OpcUa_NodeId_Clear(&target);

    OpcUa_NodeId* cloned = back.clone();
    ASSERT_NE(cloned, nullptr);
    EXPECT_TRUE(back == *cloned);
    OpcUa_NodeId_Clear(cloned);
    OpcUa_Memory_Free(cloned);

    OpcUa_NodeId copy;
    back.copyTo(&copy);
    EXPECT_TRUE(back == copy);
    OpcUa_NodeId_Clear(&copy);
    back.copyTo(nullptr);

    UaNodeId numeric;
    numeric.setNodeId(17, 1);
    EXPECT_EQ(numeric.identifierNumeric(), 17u);
    EXPECT_TRUE(numeric.identifierString().isEmpty());
}

TEST(UaNodeId, UnknownIdentifierTypeHasNoTextAndNoEquality)
{
    OpcUa_NodeId raw;
    OpcUa_NodeId_Initialize(&raw);
    raw.IdentifierType = 4;
    EXPECT_TRUE(TextForms::nodeIdFull(raw).isEmpty());
    EXPECT_TRUE(TextForms::nodeIdIdentifier(raw).isEmpty());
    EXPECT_FALSE(NodeIdCompare::equal(raw, raw));
    EXPECT_FALSE(NodeIdCompare::less(raw, raw));
    EXPECT_FALSE(NodeIdCompare::isNull(raw));
}
