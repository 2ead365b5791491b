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
    EXPECT_EQ(runProgram(f.interpreter, "G17 G2 F=100 X11=2 X12=0 pushc1 popcI \n"),
              InterpreterState::Finished);
    const auto geo = f.channel.of<CEntryGeo_3D>();
    ASSERT_EQ(geo.size(), 1u);
    EXPECT_NEAR(geo[0]->m_centre.GetX(), 1.0, 1e-12);

    // As for the word: a component outside the plane is refused unless the
    // plane check is off.
    expectProgramError("G17 G2 F=100 X11=2 X12=0 pushc1 popcI pushc0.5 popcK \n", NcMsg::UnknownWord,
                       NcError::WordOrRange);
    Fixture off;
    EXPECT_EQ(runProgram(off.interpreter,
                         "set lineflag CIPaktiv G17 G2 F=100 X11=2 X12=0 pushc1 popcI pushc0.5 popcK \n"),
              InterpreterState::Finished);
    EXPECT_TRUE(off.channel.messages.empty());
}

TEST(ExecutorSetters, ToolParametersWriteAndReadTheToolTable)
{
    Fixture f;
    // ToolParam(5;3;2.5), ToolParam(5;0;7), then toolParam(5;3;R20).
    EXPECT_EQ(runProgram(f.interpreter, "pushc5 pushc3 pushc2.5 popcToolP3 popcToolP2 popcToolP1 \n"
                                        "pushc5 pushc0 pushc7 popcToolP3 popcToolP2 popcToolP1 \n"
                                        "pushc5 pushc3 pushc20 popcToolRP3 popcToolP2 popcToolP1 \n"),
              InterpreterState::Finished);
    EXPECT_EQ(f.interpreter.tools().record(5).m_data[1], 2.5); // field 3 is tool data 2
    EXPECT_EQ(f.interpreter.tools().record(5).m_type, 7);
    EXPECT_EQ(f.interpreter.getR(20), 2.5);
    EXPECT_TRUE(f.channel.messages.empty());

    const ProgramErrorCase cases[] = {
        {"pushc5 pushc16 pushc1 popcToolP3 popcToolP2 \n", 0xC99, NcError::WordOrRange},
        {"pushc5 pushc-1 pushc1 popcToolRP3 popcToolP2 \n", 0xC9A, NcError::WordOrRange},
        {"pushc0 pushc3 pushc1 popcToolP3 popcToolP2 popcToolP1 \n", 0xC99, NcError::WordOrRange},
        {"pushc256 pushc3 pushc1 popcToolRP3 popcToolP2 popcToolP1 \n", 0xC9A, NcError::WordOrRange},
        {"pushc5 pushc1 pushc1.5 popcToolP3 popcToolP2 popcToolP1 \n", 0xC99, NcError::WordOrRange},
        {"pushc5 pushc1 pushc70000 popcToolP3 popcToolP2 popcToolP1 \n", 0xC99, NcError::WordOrRange},
        {"pushc5 pushc3 pushc1000 popcToolRP3 popcToolP2 popcToolP1 \n", NcMsg::ParameterIndex,
         NcError::ParameterIndex},
        {"pushc3 popcToolP2 \n", NcMsg::UnknownWord, NcError::WordOrRange},
        {"pushc5 pushc3 popcToolP3 popcToolP1 \n", NcMsg::UnknownWord, NcError::WordOrRange},
    };
    expectProgramErrors(cases);
}

TEST(ExecutorSetters, ToolCorrectionChangesWithItsData)
{
    struct Case
    {
        const char* text;
        int changed;
    } cases[] = {
        {"D1\nD1 wait_idle\n", 0},
        {"D1\nD2 wait_idle\n", 1},
        {"D1\npushc1 pushc4 pushc9 popcToolP3 popcToolP2 popcToolP1 \nD1 wait_idle\n", 1},
    };
    for (const auto& c : cases)
    {
        Fixture f;
        f.channel.motion = true;
        EXPECT_EQ(runProgram(f.interpreter, c.text), InterpreterState::WaitingForIdle) << c.text;
        EXPECT_EQ(f.interpreter.block().m_changedCount, c.changed) << c.text;
    }
}
