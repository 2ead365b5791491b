#include <gtest/gtest.h>

#include "recording_channel.h"

using Fixture = InterpreterFixture;

TEST(ExecutorSetters, GroupBuildTakesTheArgumentsInOrder)
{
    Fixture f;
    EXPECT_EQ(runProgram(f.interpreter, "pushc1 pushc2 pushc3 pushc7 popcCfgCreateGrp popcCfgCreateGrp "
                                        "popcCfgCreateGrp popcCfgCreateGrp \npushc9 popcCfgCreateGrp \n"),
              InterpreterState::Finished);
    const auto funk = f.channel.of<CEntryFunk>();
    ASSERT_EQ(funk.size(), 2u);
    EXPECT_EQ(funk[0]->m_code, 20u);
    const std::uint16_t first[8] = {1, 2, 3, 7, 0, 0, 0, 0};
    const std::uint16_t second[8] = {9, 0, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 8; ++i)
    {
        EXPECT_EQ(funk[0]->m_groupAxes[i], first[i]) << i;
        EXPECT_EQ(funk[1]->m_groupAxes[i], second[i]) << i;
    }
}

TEST(ExecutorSetters, RangeRefusalsTable)
{
    std::string nineAxes;
    for (int i = 0; i < 9; ++i)
        nineAxes += "pushc1 ";
    for (int i = 0; i < 9; ++i)
        nineAxes += "popcCfgCreateGrp ";
    struct Case
    {
        std::string text;
        std::uint32_t message;
    } cases[] = {
        {"pushc256 popcCfgCreateGrp \n", 0xC95},
        {"pushc-1 popcCfgCreateGrp \n", 0xC95},
        {nineAxes + "\n", 0xC95},
        {"pushc1 pushc1 pushc-0.5 popcVeloDevAngle \n", 0xC71},
        {"pushc1 pushc-1 pushc0.5 popcVeloDevAngle popcVeloDevAngle \n", 0xC70},
        {"pushc-1 popcVMove \n", 0xCB6},
        {"pushc1 pushc-1 popcVParams \n", 0xCB4},
        {"pushc-1 pushc1 popcVParams popcVParams \n", 0xCB7},
        {"pushc1.5 pushc1 popcVParams popcVParams \n", 0xCB7},
    };
    for (const auto& c : cases)
        expectRefusedBeforeAnyEntry(c.text, c.message, NcError::WordOrRange);
}

TEST(ExecutorSetters, CentreWithoutGroupIndex)
{
    // "popcI " without digits is the centre of the first group.
    Fixture f;
    EXPECT_EQ(runProgram(f.interpreter, "G17 G2 F=100 X11=2 X12=0 pushc1 popcI \n"), InterpreterState::Finished);
    const auto geo = f.channel.of<CEntryGeo_3D>();
    ASSERT_EQ(geo.size(), 1u);
    EXPECT_NEAR(geo[0]->m_centre.GetX(), 1.0, 1e-12);
}
