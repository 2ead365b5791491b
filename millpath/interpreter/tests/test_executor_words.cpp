#include <gtest/gtest.h>

#include "recording_channel.h"

using Fixture = InterpreterFixture;

TEST(ExecutorWords, AcceptedWordsTable)
{
    // Each line must run to the end without an error.
    const char* lines[] = {
        "deldtg dynovr=0.5 PlanAxis=2 rnd=1 chf=2 chr=1,5 SF=10 seg=3 norm \n",
        "cftcp cfc cfin cdof cpcof fconst flin RotExOn RotExOff DIAMOF TPM\n",
        "ZeroShiftIncOn ZeroShiftIncOff ToolOffsetIncOn ToolOffsetIncOff transmit trafoof\n",
        "TRANSMIT TRAFOOF\n",
        "sync_to 3 sync_from 1 QPos ssbreak\n",
        "set param mirror X Z\nset lineflag CIPaktiv\n",
        "T0=5 T=6 T7 D=3 D4 H1=3\n",
        "pushc1 popcBwMod pushc0.5 popcRadiusPrec pushc2 popcSeg pushc10 popcSF pushc0.5 popcVeloReductionC1 "
        "\n",
        "pushc1 popcChf pushc1 popcChr pushc1 popcRnd pushc54 popcZS pushc5 popcLims\n",
        "arot X1=10\n",
    };
    for (const char* line : lines)
    {
        Fixture f;
        EXPECT_EQ(runProgram(f.interpreter, line), InterpreterState::Finished) << line;
        EXPECT_TRUE(f.channel.messages.empty()) << line;
    }
}

TEST(ExecutorWords, RefusedWordsTable)
{
    const ProgramErrorCase cases[] = {
        {"sync_to 0\n", 0xC01, 0x4112},
        {"T1=5\n", 0xC01, 0x4112},
        {"F2=5\n", 0xC01, 0x4112},
        {"G17 K=1\n", 0xC01, 0x4112},
        {"X1=2 radius=5\n", 0xC01, 0x4112},
        {"getPathAxesPos R1 R2 R950\n", 0xC03, 0x4140},
        {"pushc1 pushc2 pushc3 pushc8 popcAxDyn \n", 0xC9B, 0x4112},
        {"pushc-1 pushc2 pushc3 pushc1 popcAxDyn popcAxDyn popcAxDyn popcAxDyn \n", 0xC9C, 0x4112},
        {"set param GroupDynamics(1,1,-2,3)\n", 0xC6A, 0x4112},
        {"set param GroupVertex(2,1)\n", 0xC01, 0x4112},
        {"else\n", 0xC01, 0x4112},
    };
    expectProgramErrors(cases);
}

TEST(ExecutorWords, ValuesReachTheBlockAndEntries)
{
    Fixture f;
    f.channel.axisPositions[0] = 1.5;
    f.channel.axisPositions[2] = -3.0;
    EXPECT_EQ(runProgram(f.interpreter, "getPathAxesPos R1 R2 R3\nset lineflag CIPaktiv\nG17 K=1\n"),
              InterpreterState::Finished);
    EXPECT_EQ(f.interpreter.getR(1), 1.5);
    EXPECT_EQ(f.interpreter.getR(3), -3.0);

    Fixture diameter;
    EXPECT_EQ(runProgram(diameter.interpreter, "DIAMON X1=10\n"), InterpreterState::Finished);
    EXPECT_EQ(diameter.channel.of<CEntryGeo_3D>()[0]->m_target.GetX(), 5.0);

    Fixture q;
    EXPECT_EQ(runProgram(q.interpreter, "G91 Q1=2\nQ1=3\n"), InterpreterState::Finished);
    EXPECT_EQ(q.channel.of<CEntryGeo_3D>().back()->m_auxTarget[0], 5.0);
    EXPECT_EQ(q.channel.of<CEntryGeo_3D>().back()->m_geoType, 3u); // additional axes only
    Fixture qpos;
    EXPECT_EQ(runProgram(qpos.interpreter, "QPos G91 Q1=2\nQ1=3\n"), InterpreterState::Finished);
    EXPECT_EQ(qpos.channel.of<CEntryGeo_3D>().back()->m_auxTarget[0], 3.0);

    Fixture feed;
    EXPECT_EQ(runProgram(feed.interpreter, "G95 F=0.2 G1 X1=1\nG94 G700 F=10 X1=1\n"),
              InterpreterState::Finished);
    const auto geo = feed.channel.of<CEntryGeo_3D>();
    ASSERT_EQ(geo.size(), 2u);
    EXPECT_DOUBLE_EQ(geo[0]->m_feed, 0.2);
    EXPECT_EQ(geo[0]->m_feedMode, 4u);
    EXPECT_DOUBLE_EQ(geo[1]->m_feed, 254.0);
    EXPECT_DOUBLE_EQ(geo[1]->m_target.GetX(), 25.4);

    Fixture dyn;
    EXPECT_EQ(runProgram(dyn.interpreter,
                         "pushc1 pushc2 pushc3 pushc4 popcAxDyn popcAxDyn popcAxDyn popcAxDyn \n"
                         "TangDesc PA1=0 PA2=1 AA=3 ATF=1 OA=90 /TangDesc \n"),
              InterpreterState::Finished);
    const auto funk = dyn.channel.of<CEntryFunk>();
    ASSERT_EQ(funk.size(), 2u);
    EXPECT_EQ(funk[0]->m_code, 22u);
    EXPECT_EQ(funk[0]->m_word1, 4);
    EXPECT_EQ(funk[0]->m_value2, 1.0);
    EXPECT_EQ(funk[0]->m_value4, 3.0);
    EXPECT_EQ(funk[1]->m_code, 23u);
    EXPECT_EQ(funk[1]->m_word1, 1);
    EXPECT_EQ(funk[1]->m_word2, 3);
    EXPECT_EQ(funk[1]->m_value2, 90.0);
    EXPECT_EQ(funk[1]->m_vector.GetZ(), 1.0); // the X-Y plane
}

TEST(ExecutorWords, CornerAnnouncementsQueueFunction24)
{
    struct Case
    {
        const char* program;
        int kind; // 0: nothing announced
        double size;
    } cases[] = {
        {"chf=7.5 G1 F=100 X1=10\n", 2, 7.5},      {"chr=5 G1 F=100 X1=10\n", 1, 5.0},
        {"rnd=5 G1 F=100 X1=10\n", 3, 5.0},        {"pushc4 popcChf G1 F=100 X1=10\n", 2, 4.0},
        {"pushc3 popcChr G1 F=100 X1=10\n", 1, 3}, {"pushc2 popcRnd G1 F=100 X1=10\n", 3, 2.0},
        {"rnd=0 G1 F=100 X1=10\n", 0, 0.0},        {"chr=0 G1 F=100 X1=10\n", 0, 0.0},
    };
    for (const Case& c : cases)
    {
        Fixture f;
        EXPECT_EQ(runProgram(f.interpreter, c.program), InterpreterState::Finished) << c.program;
        EXPECT_TRUE(f.channel.messages.empty()) << c.program;
        std::vector<const CEntryFunk*> announced;
        for (const CEntryFunk* funk : f.channel.of<CEntryFunk>())
            if (funk->m_code == 24)
                announced.push_back(funk);
        if (c.kind == 0)
        {
            EXPECT_TRUE(announced.empty()) << c.program;
            continue;
        }
        ASSERT_EQ(announced.size(), 1u) << c.program;
        EXPECT_EQ(announced[0]->m_word1, c.kind) << c.program;
        EXPECT_EQ(announced[0]->m_value2, c.size) << c.program;
        // The announcement goes out before the block's geometry.
        std::size_t funkAt = 0, geoAt = f.channel.entries.size();
        for (std::size_t i = 0; i < f.channel.entries.size(); ++i)
        {
            if (f.channel.entries[i].get() == announced[0])
                funkAt = i;
            if (f.channel.entries[i]->m_type == ENTRY_GEO_3D)
                geoAt = std::min(geoAt, i);
        }
        EXPECT_LT(funkAt, geoAt) << c.program;
    }
}
