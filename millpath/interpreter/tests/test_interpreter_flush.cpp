#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>

#include "geo3d_obj.h"
#include "recording_channel.h"

namespace
{
using Fixture = InterpreterFixture;

} // namespace

TEST(InterpreterFlush, OrderOfABlockThatSetsSeveralThings)
{
    Fixture f;
    loadMDefinitionText(f.interpreter, "5 2\n9 8\n3 1\n4 4\n");
    const std::string text = lineMarker(12) + "N40 T=3 M9 M5 M3 M4 S=800 F=100 G1 X1=10 R800=7 R801=2 H1\n";
    EXPECT_EQ(runProgram(f.interpreter, text), InterpreterState::Finished);
    EXPECT_EQ(f.channel.types(), (std::vector<std::uint32_t>{
                                     ENTRY_TOOLNR, ENTRY_MFUNK, ENTRY_MFUNK, ENTRY_SETIPOLRULES, ENTRY_FUNK,
                                     ENTRY_SPINDEL, ENTRY_GEO_3D, ENTRY_MFUNK, ENTRY_MFUNK, ENTRY_HVALUE}));
    const auto m = f.channel.of<CEntryMFunk>();
    ASSERT_EQ(m.size(), 4u);
    EXPECT_EQ(m[0]->m_mNumbers[0], 5);
    EXPECT_EQ(m[1]->m_mNumbers[0], 3);
    EXPECT_EQ(m[2]->m_mNumbers[0], 9);
    EXPECT_EQ(m[3]->m_mNumbers[0], 4);
    EXPECT_EQ(f.channel.of<CEntryToolNr>()[0]->m_tool, 3);
    EXPECT_EQ(f.channel.of<CEntrySpindel>()[0]->m_speed, 800.0);
    EXPECT_EQ(f.channel.of<CEntryHValue>()[0]->m_value, 3007); // output 2 (+1) and value 7
    const CEntryGeo_3D* geo = f.channel.of<CEntryGeo_3D>()[0];
    EXPECT_EQ(geo->m_target.GetX(), 10.0);
    EXPECT_EQ(geo->m_feed, 100.0);
    EXPECT_EQ(geo->m_geoType, 0u);
    for (std::size_t i = 0; i < f.channel.entries.size(); ++i)
    {
        const CEntry& e = *f.channel.entries[i];
        EXPECT_EQ(e.m_textIdx, 12u);
        EXPECT_EQ(e.m_blockNo, 40u);
        EXPECT_EQ(e.m_lineIdx, 1u);
        EXPECT_EQ(e.m_entryIdx, i);
    }
}

TEST(InterpreterFlush, HeadersFollowLineMarkersAndBlocks)
{
    Fixture f;
    const std::string text = lineMarker(5) + "N10 X1=1\n" + lineMarker(6) + "N20 X1=2\n" + "G4 F=2.5\n";
    EXPECT_EQ(runProgram(f.interpreter, text), InterpreterState::Finished);
    const auto geo = f.channel.of<CEntryGeo_3D>();
    ASSERT_EQ(geo.size(), 2u);
    EXPECT_EQ(geo[0]->m_textIdx, 5u);
    EXPECT_EQ(geo[1]->m_textIdx, 6u);
    EXPECT_EQ(geo[0]->m_lineIdx, 1u);
    EXPECT_EQ(geo[1]->m_lineIdx, 2u);
    EXPECT_EQ(geo[1]->m_blockNo, 20u);
    EXPECT_EQ(geo[1]->m_start.GetX(), 1.0);
    EXPECT_EQ(geo[1]->m_target.GetX(), 2.0);
    const auto dwell = f.channel.of<CEntryDelayTime>();
    ASSERT_EQ(dwell.size(), 1u);
    EXPECT_EQ(dwell[0]->m_time, 2.5);
}

TEST(InterpreterFlush, LimitsAndFeedChecksSendNothingOfTheBlock)
{
    struct Case
    {
        const char* text;
        double minFeed;
        std::uint32_t message;
    } cases[] = {
        {"T=5 S=1000 G1 F=100 X1=100.001\n", 0.0, 0xC00},
        {"T=5 G0 X2=-100.5\n", 0.0, 0xC00},
        {"T=5 G1 X1=5\n", 0.0, 0xC63},
        {"T=5 G1 F=100 X1=5\n", 10.0, 0xC72},
    };
    for (const auto& c : cases)
    {
        Fixture f;
        f.channel.limits = true;
        f.channel.minFeed = c.minFeed;
        EXPECT_EQ(runProgram(f.interpreter, c.text), InterpreterState::Error) << c.text;
        EXPECT_TRUE(f.channel.logged(c.message)) << c.text;
        EXPECT_EQ(f.interpreter.ncError(), 0x4112u) << c.text;
        EXPECT_TRUE(f.channel.entries.empty()) << c.text;
    }
    Fixture inside;
    inside.channel.limits = true;
    EXPECT_EQ(runProgram(inside.interpreter, "G1 F=100 X1=100 X2=-100\n"), InterpreterState::Finished);
    EXPECT_EQ(inside.channel.of<CEntryGeo_3D>().size(), 1u);
}

TEST(InterpreterFlush, SpindleWaitsForRoomAndKeepsItsPlace)
{
    Fixture f;
    f.channel.room = 1;
    EXPECT_EQ(runProgram(f.interpreter, "S=500 G4 F=2\nR1=1\n"), InterpreterState::OutputPending);
    EXPECT_EQ(f.channel.entries.size(), 1u);
    EXPECT_EQ(f.interpreter.step(), InterpreterIdleWaitMs);
    EXPECT_EQ(f.interpreter.getR(1), 0.0); // the next block waits for the flush
    f.channel.room = 100;
    EXPECT_EQ(resume(f.interpreter), InterpreterState::Finished);
    EXPECT_EQ(f.channel.types(), (std::vector<std::uint32_t>{ENTRY_FUNK, ENTRY_SPINDEL, ENTRY_DELAYTIME}));
    for (std::size_t i = 0; i < f.channel.entries.size(); ++i)
        EXPECT_EQ(f.channel.entries[i]->m_entryIdx, i);
    EXPECT_EQ(f.interpreter.getR(1), 1.0);
}

TEST(InterpreterFlush, RefusedEntryStopsWithAnError)
{
    Fixture f;
    f.channel.refuseWith = -1;
    EXPECT_EQ(runProgram(f.interpreter, "S=500\n"), InterpreterState::Error);
    EXPECT_EQ(f.interpreter.ncError(), 0x4112u);
    f.interpreter.step();
    EXPECT_EQ(f.interpreter.getState(), InterpreterState::Aborted);
}

TEST(InterpreterFlush, FunctionEntriesOfTheSetters)
{
    struct Case
    {
        const char* text;
        std::uint32_t code;
        double value;
        std::int32_t mode;
        std::int32_t word1 = 0;
        double value2 = 0.0;
        double value3 = 0.0;
    } cases[] = {
        {"pushc0.5 popcDynOvr\n", 6, 0.5, 0},
        {"pushc0 popcAutoAccurateStop \n", 17, 0.0, 3},
        {"pushc12 popcAutoAccurateStop \n", 17, 12.0, 1},
        {"pushc4 popcVeloMin \n", 7, 4.0, 0},
        {"pushc0.3 popcCircularSmoothing \n", 16, 0.3, 0},
        {"pushc0.4 popcSplineSmoothing \n", 11, 0.4, 0},
        {"lims=3000\n", 19, 3000.0, 0},
        {"set param GroupVertex(1,0.2)#\n", 16, 0.2, 0},
        {"pushc10 pushc5 pushc0.5 popcVeloDevAngle popcVeloDevAngle popcVeloDevAngle \n", 10, 10, 0, 0, 5,
         0.5},
        {"pushc3 popcVMove \n", 25, 0, 0, 3},
        {"pushc0 pushc2.5 popcVParams popcVParams \n", 11, 2.5, 0},
        {"pushc2 pushc2.5 popcVParams popcVParams \n", 27, 0, 0, 2, 2.5},
    };
    for (const auto& c : cases)
    {
        Fixture f;
        EXPECT_EQ(runProgram(f.interpreter, c.text), InterpreterState::Finished) << c.text;
        const auto funk = f.channel.of<CEntryFunk>();
        ASSERT_EQ(funk.size(), 1u) << c.text;
        EXPECT_EQ(funk[0]->m_code, c.code) << c.text;
        EXPECT_DOUBLE_EQ(funk[0]->m_value1, c.value) << c.text;
        EXPECT_EQ(funk[0]->m_word3, c.mode) << c.text;
        EXPECT_EQ(funk[0]->m_word1, c.word1) << c.text;
        EXPECT_DOUBLE_EQ(funk[0]->m_value2, c.value2) << c.text;
        EXPECT_DOUBLE_EQ(funk[0]->m_value3, c.value3) << c.text;
    }
    Fixture three;
    EXPECT_EQ(runProgram(three.interpreter,
                         "pushc1 pushc2 pushc3 popcPathDynamic popcPathDynamic popcPathDynamic \n"),
              InterpreterState::Finished);
    const auto funk = three.channel.of<CEntryFunk>();
    ASSERT_EQ(funk.size(), 1u);
    EXPECT_EQ(funk[0]->m_code, 5u);
    EXPECT_EQ(funk[0]->m_value1, 1.0);
    EXPECT_EQ(funk[0]->m_value3, 3.0);
}

TEST(InterpreterFlush, MessagesSignalsAndSynchronisation)
{
    Fixture f;
    const std::string text = "MSG level=2 mask=17 size=5 text=Hello\n"
                             "MSG level=3 mask=18 size=40 text=Hi\nR1=4\n"
                             "ORX1(01,a2,FF)\n"
                             "SyncWith K33\n";
    EXPECT_EQ(runProgram(f.interpreter, text), InterpreterState::Finished);
    const auto msg = f.channel.of<CEntryMsg>();
    ASSERT_EQ(msg.size(), 2u);
    EXPECT_EQ(msg[0]->m_number, 17u);
    EXPECT_STREQ(msg[0]->m_text, "Hello");
    EXPECT_STREQ(msg[1]->m_text, "Hi"); // the copy stops at the line end
    EXPECT_TRUE(f.channel.logged(18));
    EXPECT_EQ(f.interpreter.getR(1), 4.0);
    const auto orx = f.channel.of<CEntryORXsignal>();
    ASSERT_EQ(orx.size(), 1u);
    EXPECT_EQ(orx[0]->m_length, 3u);
    EXPECT_EQ(orx[0]->m_data[1], 0xA2);
    EXPECT_EQ(orx[0]->m_data[2], 0xFF);
    const auto sync = f.channel.of<CEntryChnSync>();
    ASSERT_EQ(sync.size(), 1u);
    EXPECT_EQ(sync[0]->m_sync[1], 2u);
    EXPECT_EQ(sync[0]->m_entryIdx, 0u);

    std::string bytes120, bytes121;
    for (int i = 0; i < 120; ++i)
        bytes120 += (i ? ",0a" : "0a");
    bytes121 = bytes120 + ",0b";
    Fixture ok;
    EXPECT_EQ(runProgram(ok.interpreter, "ORX1(" + bytes120 + ")\n"), InterpreterState::Finished);
    EXPECT_EQ(ok.channel.of<CEntryORXsignal>()[0]->m_length, 120u);
    Fixture tooLong;
    EXPECT_EQ(runProgram(tooLong.interpreter, "ORX1(" + bytes121 + ")\n"), InterpreterState::Error);
    EXPECT_TRUE(tooLong.channel.entries.empty());
    Fixture badSync;
    EXPECT_EQ(runProgram(badSync.interpreter, "SyncWith K256\n"), InterpreterState::Error);
}

TEST(InterpreterFlush, HFunctionsTable)
{
    struct Case
    {
        const char* text;
        std::uint32_t message; // 0: no error
        std::uint32_t ncError;
    } cases[] = {
        {"R800=8 R801=0 H1\n", 0, 0},
        {"R800=1 R801=8 H1\n", 0xC07, 0x4144},
        {"R800=1000 R801=1 H1\n", 0xC03, 0x4140},
        {"R800=-3 R801=1 H1\n", 0xC03, 0x4140},
        {"H9\n", 0xC01, 0x4144},
        {"H2=1\n", 0xC01, 0x4112},
    };
    for (const auto& c : cases)
    {
        if (c.message != 0)
        {
            expectProgramError(c.text, c.message, c.ncError);
            continue;
        }
        Fixture ok;
        EXPECT_EQ(runProgram(ok.interpreter, c.text), InterpreterState::Finished) << c.text;
        EXPECT_EQ(ok.channel.of<CEntryHValue>().size(), 1u) << c.text;
    }
    Fixture f;
    f.channel.input = 0x20;
    EXPECT_EQ(runProgram(f.interpreter,
                         "R800=-5 H2 jumpeol_c R1=1\nR800=4 H2 jumpeol_c R2=1\nR800=6 H3 R800=900 H4\n"),
              InterpreterState::Finished);
    EXPECT_EQ(f.interpreter.getR(1), 0.0); // bit 5 set: the rest of the line skipped
    EXPECT_EQ(f.interpreter.getR(2), 1.0);
    EXPECT_EQ(f.channel.of<CEntryToolNr>()[0]->m_tool, 6);
    EXPECT_EQ(f.channel.of<CEntrySpindel>()[0]->m_speed, 900.0);

    // Values beyond the integer range are clamped, not wrapped.
    Fixture big;
    big.channel.input = 0x80000000u;
    EXPECT_EQ(runProgram(big.interpreter, "R800=-99999999999 H3\nR800=99999999999 H2 jumpeol_c R1=1\n"),
              InterpreterState::Finished);
    EXPECT_EQ(big.channel.of<CEntryToolNr>()[0]->m_tool, -2147483647);
    EXPECT_EQ(big.interpreter.getR(1), 1.0); // no bit of the input word that far up
}

// A quarter arc in each plane from the G words to the entry: G3 turns
// right-handedly about the plane's normal and G2 against it, and the arc's
// start tangent, formed from the entry, points the way the tool moves.
TEST(InterpreterFlush, ArcSenseInEveryPlane)
{
    const double q = 3.14159265358979323846 / 2;
    struct Case
    {
        const char* text;
        CVec3d rotation;
        CVec3d startTangent;
    } cases[] = {
        {"G17 G1 F=100 X1=1\nG3 X1=0 X2=1 I=-1\n", CVec3d(0, 0, q), CVec3d(0, 1, 0)},
        {"G17 G1 F=100 X2=1\nG2 X1=1 X2=0 J=-1\n", CVec3d(0, 0, -q), CVec3d(1, 0, 0)},
        {"G19 G1 F=100 X2=1\nG3 X2=0 X3=1 J=-1\n", CVec3d(q, 0, 0), CVec3d(0, 0, 1)},
        {"G19 G1 F=100 X3=1\nG2 X2=1 X3=0 K=-1\n", CVec3d(-q, 0, 0), CVec3d(0, 1, 0)},
        {"G18 G1 F=100 X3=1\nG3 X1=1 X3=0 K=-1\n", CVec3d(0, q, 0), CVec3d(1, 0, 0)},
        {"G18 G1 F=100 X1=1\nG2 radius=1 X1=0 X3=1\n", CVec3d(0, -q, 0), CVec3d(0, 0, 1)},
    };
    for (const auto& c : cases)
    {
        Fixture f;
        EXPECT_EQ(runProgram(f.interpreter, c.text), InterpreterState::Finished) << c.text;
        const auto geo = f.channel.of<CEntryGeo_3D>();
        ASSERT_EQ(geo.size(), 2u) << c.text;
        EXPECT_LT(Distance(geo[1]->m_rotation, c.rotation), 1e-9) << c.text;
        EXPECT_LT(Distance(geo[1]->m_centre, CVec3d(0, 0, 0)), 1e-9) << c.text;
        CVec3d tangent;
        ASSERT_EQ(CGeo3dCircleObj(*geo[1]).StartTangent(tangent), 0) << c.text;
        EXPECT_LT(Distance(tangent, c.startTangent), 1e-9) << c.text;
    }
}

TEST(InterpreterFlush, BlockGeometryBeforeTheEntry)
{
    Fixture f;
    EXPECT_EQ(runProgram(f.interpreter, "G17 G2 F=100 X1=2 X2=0 I=1\nG1 ang=45 X1=12\n"),
              InterpreterState::Finished);
    const auto geo = f.channel.of<CEntryGeo_3D>();
    ASSERT_EQ(geo.size(), 2u);
    EXPECT_EQ(geo[0]->m_geoType, 1u);
    EXPECT_NEAR(geo[0]->m_centre.GetX(), 1.0, 1e-12);
    EXPECT_NEAR(geo[0]->m_radius, 1.0, 1e-12);
    EXPECT_NEAR(std::fabs(geo[0]->m_rotation.GetZ()), 3.14159265358979323846, 1e-9);
    EXPECT_EQ(geo[0]->m_helixRise, 0.0);
    // From (2, 0) at 45 degrees to X 12: Y becomes 10.
    EXPECT_NEAR(geo[1]->m_target.GetY(), 10.0, 1e-9);

    Fixture helix;
    EXPECT_EQ(runProgram(helix.interpreter, "G17 G3 F=100 X1=2 X2=0 X3=4 I=1\n"), InterpreterState::Finished);
    const auto turn = helix.channel.of<CEntryGeo_3D>();
    ASSERT_EQ(turn.size(), 1u);
    EXPECT_EQ(turn[0]->m_geoType, 2u);
    EXPECT_NEAR(turn[0]->m_helixRise, 4.0 / 3.14159265358979323846, 1e-9); // half a turn rising 4

    Fixture noCentre;
    EXPECT_EQ(runProgram(noCentre.interpreter, "G2 F=100 X1=2\n"), InterpreterState::Error);
    EXPECT_TRUE(noCentre.channel.logged(0xC27));
    EXPECT_EQ(noCentre.interpreter.ncError(), 0x4121u);
    EXPECT_TRUE(noCentre.channel.entries.empty()); // refused before any entry of the block
}

TEST(InterpreterFlush, ZeroShiftMovesTheTarget)
{
    Fixture f;
    f.interpreter.setZeroPoint(0, 2, 100.0);
    f.interpreter.setZeroPoint(1, 2, -5.0);
    EXPECT_EQ(runProgram(f.interpreter, "G55 X1=1 X2=1\nG53 X1=2\n"), InterpreterState::Finished);
    const auto geo = f.channel.of<CEntryGeo_3D>();
    ASSERT_EQ(geo.size(), 2u);
    EXPECT_EQ(geo[0]->m_target.GetX(), 101.0);
    EXPECT_EQ(geo[0]->m_target.GetY(), -4.0);
    EXPECT_EQ(geo[0]->m_zeroShift.GetX(), 100.0);
    EXPECT_EQ(geo[1]->m_start.GetX(), 101.0);
    EXPECT_EQ(geo[1]->m_target.GetX(), 2.0);
}

TEST(InterpreterFlush, SignalWithoutRoomRunsAgain)
{
    Fixture f;
    f.channel.room = 0;
    EXPECT_EQ(runProgram(f.interpreter, "ORX1(05) R1=1\n"), InterpreterState::Running);
    EXPECT_EQ(f.interpreter.getR(1), 0.0);
    EXPECT_EQ(f.interpreter.step(), InterpreterIdleWaitMs);
    f.channel.room = 5;
    EXPECT_EQ(resume(f.interpreter), InterpreterState::Finished);
    EXPECT_EQ(f.channel.of<CEntryORXsignal>().size(), 1u);
    EXPECT_EQ(f.interpreter.getR(1), 1.0);
}
