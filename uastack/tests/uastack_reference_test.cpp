// Status code constants and the generated type table, checked against the standard's own lists
// where they are at hand.
#include <opcua.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>

namespace
{
TEST(UaStackStatusCode, SeverityTestsFollowTheTopTwoBits)
{
    EXPECT_TRUE(OpcUa_IsGood(OpcUa_Good));
    EXPECT_TRUE(OpcUa_IsGood(OpcUa_GoodNonCriticalTimeout));
    EXPECT_TRUE(OpcUa_IsNotGood(OpcUa_UncertainInitialValue));
    EXPECT_TRUE(OpcUa_IsUncertain(OpcUa_UncertainInitialValue));
    EXPECT_FALSE(OpcUa_IsBad(OpcUa_UncertainInitialValue));
    EXPECT_TRUE(OpcUa_IsBad(OpcUa_BadNodeIdUnknown));
    EXPECT_TRUE(OpcUa_IsNotGood(OpcUa_BadNodeIdUnknown));
    EXPECT_FALSE(OpcUa_IsUncertain(OpcUa_BadNodeIdUnknown));
    EXPECT_EQ(0x80340000u, OpcUa_BadNodeIdUnknown);
    EXPECT_EQ(0x80AB0000u, OpcUa_BadInvalidArgument);
    EXPECT_EQ(0x81070000u, OpcUa_BadTooManyPosts);
    EXPECT_EQ(0x81040000u, OpcUa_BadExtensibleParameterInvalid);
    EXPECT_EQ(0x81090000u, OpcUa_BadFileNotFound);
}

std::map<std::string, unsigned long> generatedCodes()
{
    std::map<std::string, unsigned long> codes;
    std::ifstream in(UASTACK_GENERATED_DIR "/opcua_statuscodes.h");
    std::regex line(R"(#define OpcUa_(\w+) 0x([0-9A-F]{8})u)");
    std::string text;
    std::smatch m;
    while (std::getline(in, text))
        if (std::regex_match(text, m, line))
            codes[m[1]] = std::stoul(m[2], nullptr, 16);
    return codes;
}

TEST(UaStackStatusCode, TableHoldsEveryStandardCodeWithItsNumber)
{
    const std::filesystem::path csv = UASTACK_REFERENCE_DIR "/StatusCode.csv";
    if (!std::filesystem::exists(csv))
        GTEST_SKIP() << "reference list not present: " << csv;
    std::map<std::string, unsigned long> codes = generatedCodes();
    ASSERT_GT(codes.size(), 200u);
    std::ifstream in(csv);
    std::string row;
    int checked = 0;
    while (std::getline(in, row))
    {
        size_t a = row.find(','), b = row.find(',', a + 1);
        if (a == std::string::npos || b == std::string::npos)
            continue;
        std::string name = row.substr(0, a);
        unsigned long value = std::stoul(row.substr(a + 1, b - a - 1), nullptr, 16);
        ASSERT_TRUE(codes.count(name)) << name;
        EXPECT_EQ(value, codes[name]) << name;
        ++checked;
    }
    EXPECT_GT(checked, 200);
}

TEST(UaStackTypeTable, TypeAndEncodingIdsAgreeWithTheStandardList)
{
    const std::filesystem::path csv = UASTACK_REFERENCE_DIR "/NodeIds.csv";
    if (!std::filesystem::exists(csv))
        GTEST_SKIP() << "reference list not present: " << csv;
    std::map<std::string, unsigned long> ids;
    std::ifstream in(csv);
    std::string row;
    while (std::getline(in, row))
    {
        size_t a = row.find(','), b = row.find(',', a + 1);
        if (a != std::string::npos && b != std::string::npos)
            ids[row.substr(0, a)] = std::stoul(row.substr(a + 1, b - a - 1));
    }
    OpcUa_UInt32 count = 0;
    OpcUa_EncodeableType* const* types = OpcUa_EncodeableTypeTable_GetAll(&count);
    OpcUa_UInt32 compared = 0;
    std::string newer; // types of a later release than the list
    for (OpcUa_UInt32 i = 0; i < count; ++i)
    {
        std::string name = types[i]->TypeName;
        if (!ids.count(name))
        {
            newer += name + " ";
            continue;
        }
        EXPECT_EQ(ids[name], types[i]->TypeId) << name;
        EXPECT_EQ(ids[name + "_Encoding_DefaultBinary"], types[i]->BinaryEncodingTypeId) << name;
        ++compared;
    }
    RecordProperty("newer", newer);
    EXPECT_GT(compared, count * 9 / 10) << "not in the list: " << newer;
}
} // namespace
