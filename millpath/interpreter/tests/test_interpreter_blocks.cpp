#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "recording_channel.h"

namespace
{
using Fixture = InterpreterFixture;

std::vector<std::uint32_t> funkCodes(const RecordingChannel& channel)
{
    std::vector<std::uint32_t> codes;
    for (const CEntryFunk* f : channel.of<CEntryFunk>())
        codes.push_back(f->m_code);
    return codes;
}

std::vector<int> mNumbers(const CEntryMFunk& entry)
{
    std::vector<int> numbers;
    for (int m : entry.m_mNumbers)
        if (m >= 0)
            numbers.push_back(m);
    return numbers;
}
} // namespace

TEST(InterpreterG, FunctionCodesTable)
{
    struct Case
    {
        const char* text;
        std::vector<std::uint32_t> codes;
    } cases[] = {
        {"G710\n", {0x12C6}},
        {"G700\n", {0x12BC}},
        {"G54\nG54\n", {0x1036}}, // the same code twice gives one entry
        {"G54\nG55\n", {0x1036, 0x1037}},
        {"G1\n", {0x1001}},
        {"G0\n", {0x1000}},
        {"G17\nG18\nG19\n", {0x1011, 0x1012, 0x1013}},
        {"G91\nG90\n", {0x105B, 0x105A}},
        {"G60\n", {0x103C}},
        {"G9\nG9\n", {0x1009, 0x1009}}, // one-shot: raised again in every block
        {"G40\n", {0x1028}},
        {"G42\n", {0x102A}},
        {"G1=70\n", {0x1046}},
        {"G25 G58 G16 G94\n", {}},
        {"cdon\ncpcon\nfconst\nTPM\n", {0x200C, 0x2008, 0x2014, 0x2004}},
        {"P+\nQ-\nR-\n", {0x2002, 0x2003}},
    };
    for (const auto& c : cases)
    {
        Fixture f;
        EXPECT_EQ(runProgram(f.interpreter, c.text), InterpreterState::Finished) << c.text;
        EXPECT_EQ(funkCodes(f.channel), c.codes) << c.text;
    }
}

TEST(InterpreterG, RefusalsTable)
{
    struct Case
    {
        const char* text;
        bool capable;
        std::uint32_t message;
        std::string argument;
    } cases[] = {
        {"G7\n", true, 0xC05, "7"},          {"G2\nG41\n", true, 0xC78, "93"},
        {"G33\nG41\n", true, 0xC78, "93"},   {"G41\nG33\n", true, 0xC78, "33"},
        {"G42\nG931\n", true, 0xC78, "931"}, {"G33\n", false, 0xC79, "33"},
        {"G96\n", false, 0xC79, "96"},       {"G331\n", false, 0xC79, "331"},
        {"G2=1\n", true, 0xC01, "G2"},
    };
    for (const auto& c : cases)
    {
        Fixture f;
        if (c.capable)
        {
            for (int g : {33, 96, 97, 331, 332, 931})
                f.channel.capabilities[g] = true;
        }
        EXPECT_EQ(runProgram(f.interpreter, c.text), InterpreterState::Error) << c.text;
        ASSERT_FALSE(f.channel.messages.empty()) << c.text;
        const NcLogMessage& m = f.channel.messages.back();
        EXPECT_EQ(m.number, c.message) << c.text;
        ASSERT_EQ(m.args.size(), 3u) << c.text;
        EXPECT_EQ(m.args[2], c.argument) << c.text;
        EXPECT_EQ(f.interpreter.ncError(), c.message == 0xC01 ? 0x4112u : 0x4141u) << c.text;
    }
}

TEST(InterpreterG, DistanceUnitsAndPlane)
{
    Fixture f;
    EXPECT_EQ(runProgram(f.interpreter, "G91 X1=5\nX1=5\nG90 X2=2\nG70 X3=1\nG17 G2\n"),
              InterpreterState::Finished);
    EXPECT_DOUBLE_EQ(f.interpreter.block().m_target.GetX(), 10.0);
    EXPECT_DOUBLE_EQ(f.interpreter.block().m_target.GetY(), 2.0);
    EXPECT_DOUBLE_EQ(f.interpreter.block().m_target.GetZ(), 25.4);
    EXPECT_EQ(f.interpreter.block().m_plane, 0);
    EXPECT_EQ(f.interpreter.block().m_ipolMode, 2);
    Fixture g;
    EXPECT_EQ(runProgram(g.interpreter, "G18 G3\n"), InterpreterState::Finished);
    EXPECT_EQ(g.interpreter.block().m_plane, 2);
    EXPECT_TRUE(g.interpreter.block().m_ccw);
}

TEST(InterpreterM, DefinitionFilesAndFlagsAroundTheMotion)
{
    TempFolder dir;
    dir.write("m_defs.t00", "/ common definitions\n5 2 7 8\n7 8\n8 8\n200 2 1\n9 8\n3 1\n4 4\n");
    dir.write("m_defs.t01", "9 2\n"); // the channel's file overrides M9
    Fixture f;
    ASSERT_TRUE(f.interpreter.loadMDefinitions(dir.str()));
    EXPECT_EQ(f.interpreter.mDefinitionFlags(9), 2);
    EXPECT_EQ(f.interpreter.mDefinitionFlags(7), 8);
    EXPECT_EQ(f.interpreter.mDefinitionFlags(5), 2);
    EXPECT_EQ(runProgram(f.interpreter, "F=100 G1 X1=1 M7 M8\nX1=2 M5 M3 M4\n"), InterpreterState::Finished);

    // After the first motion M7 and M8 are set; block 2: M7 and M8 reset
    // before its motion, M5 set, M3 tested, the motion, then M4 tested.
    std::vector<std::uint32_t> second;
    const auto& entries = f.channel.entries;
    std::size_t i = 0;
    while (i < entries.size() && entries[i]->m_type != ENTRY_GEO_3D)
        ++i;
    ASSERT_LT(i, entries.size());
    for (++i; i < entries.size(); ++i)
        second.push_back(entries[i]->m_type);
    EXPECT_EQ(second, (std::vector<std::uint32_t>{ENTRY_MFUNK, ENTRY_MFUNK, ENTRY_MFUNK, ENTRY_MFUNK,
                                                  ENTRY_GEO_3D, ENTRY_MFUNK}));
    const auto m = f.channel.of<CEntryMFunk>();
    ASSERT_EQ(m.size(), 5u);
    EXPECT_EQ(m[0]->m_kind, 1); // block 1: M7, M8 set after the motion
    EXPECT_EQ(mNumbers(*m[0]), (std::vector<int>{7, 8}));
    EXPECT_EQ(m[1]->m_kind, 2);
    EXPECT_EQ(mNumbers(*m[1]), (std::vector<int>{7, 8}));
    EXPECT_EQ(m[2]->m_kind, 1);
    EXPECT_EQ(mNumbers(*m[2]), (std::vector<int>{5}));
    EXPECT_EQ(m[3]->m_kind, 3);
    EXPECT_EQ(mNumbers(*m[3]), (std::vector<int>{3}));
    EXPECT_EQ(m[4]->m_kind, 3);
    EXPECT_EQ(mNumbers(*m[4]), (std::vector<int>{4}));
}

TEST(InterpreterM, CancelListIgnoresNumbersOutsideTheTable)
{
    TempFolder dir;
    dir.write("m_defs.t00", "6 2 160 300 -5 3\n3 8\n");
    Fixture f;
    ASSERT_TRUE(f.interpreter.loadMDefinitions(dir.str()));
    EXPECT_EQ(runProgram(f.interpreter, "M6\n"), InterpreterState::Finished);
    const auto m = f.channel.of<CEntryMFunk>();
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0]->m_kind, 2);
    EXPECT_EQ(mNumbers(*m[0]), (std::vector<int>{3}));
    EXPECT_EQ(mNumbers(*m[1]), (std::vector<int>{6}));
}

TEST(InterpreterM, NineNumbersOfOneKindGiveTwoEntries)
{
    TempFolder dir;
    std::string defs;
    for (int m = 10; m < 19; ++m)
        defs += std::to_string(m) + " 2\n";
    dir.write("m_defs.t00", defs);
    Fixture f;
    ASSERT_TRUE(f.interpreter.loadMDefinitions(dir.str()));
    EXPECT_EQ(runProgram(f.interpreter, "M10 M11 M12 M13 M14 M15 M16 M17 M18\n"), InterpreterState::Finished);
    const auto m = f.channel.of<CEntryMFunk>();
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(mNumbers(*m[0]), (std::vector<int>{10, 11, 12, 13, 14, 15, 16, 17}));
    EXPECT_EQ(mNumbers(*m[1]), (std::vector<int>{18}));
}

TEST(InterpreterM, RefusalsTable)
{
    TempFolder dir;
    dir.write("m_defs.t00", "5 2\n");
    struct Case
    {
        bool load;
        const char* text;
    } cases[] = {{true, "M200\n"}, {true, "M160\n"}, {false, "M5\n"}, {true, "pushc170 popcMFunc\n"}};
    for (const auto& c : cases)
    {
        Fixture f;
        if (c.load)
        {
            ASSERT_TRUE(f.interpreter.loadMDefinitions(dir.str()));
        }
        EXPECT_EQ(runProgram(f.interpreter, c.text), InterpreterState::Error) << c.text;
        EXPECT_TRUE(f.channel.logged(0xC06) || f.channel.logged(0xC64)) << c.text;
        EXPECT_TRUE(f.channel.entries.empty()) << c.text;
    }
    Fixture missing;
    EXPECT_FALSE(missing.interpreter.loadMDefinitions(dir.str() + "/absent"));
}
