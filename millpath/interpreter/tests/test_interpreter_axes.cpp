#include <gtest/gtest.h>

#include <cmath>

#include "recording_channel.h"
#include "rotary_target.h"

namespace
{
using Fixture = InterpreterFixture;

// Loads the text, lets the test set requests, then runs it to rest.
template <class Before> InterpreterState runWith(Fixture& f, const std::string& text, Before before)
{
    if (!f.interpreter.loadProgramText(text))
        return InterpreterState::None;
    before(f.interpreter);
    f.interpreter.setState(InterpreterState::StartRequested);
    return resume(f.interpreter);
}
} // namespace

TEST(InterpreterAxes, EntriesAfterTheMotionInTheirOrder)
{
    Fixture f;
    loadMDefinitionText(f.interpreter, "9 8\n4 4\n");
    // PosA[7]=12.5 and WAITP[9;ActPosGT;5] as the translator writes them.
    const std::string text =
        "N5 F=100 G1 X11=5 G4 F=1.5 M9 M4 R800=1 R801=0 H1 SyncWith K3 "
        "pushc7 pushc12.5 popcPOSA popcID pushc5 pushc4 pushc9 popcWAITP popcSOC popcSOCParam1 \n";
    EXPECT_EQ(runWith(f, text,
                      [](CInterpreter& i)
                      {
                          i.requestSpindleTest();
                          i.requestMClear();
                      }),
              InterpreterState::Finished);
    EXPECT_EQ(f.channel.types(), (std::vector<std::uint32_t>{
                                     ENTRY_SETIPOLRULES, ENTRY_FUNK, ENTRY_FUNK, ENTRY_GEO_3D, ENTRY_GEO_1D,
                                     ENTRY_STEPON, ENTRY_DELAYTIME, ENTRY_MFUNK, ENTRY_MFUNK, ENTRY_HVALUE,
                                     ENTRY_SPINDELTEST, ENTRY_MFUNK, ENTRY_CHNSYNC}));
    const auto move = f.channel.of<CEntryGeo_1D>();
    ASSERT_EQ(move.size(), 1u);
    EXPECT_EQ(move[0]->m_axis, 7u);
    EXPECT_EQ(move[0]->m_mode, 1u);
    EXPECT_EQ(move[0]->m_target, 12.5);
    EXPECT_EQ(move[0]->m_velocity, 100.0);
    const auto step = f.channel.of<CEntryStepOn>();
    ASSERT_EQ(step.size(), 1u);
    EXPECT_EQ(step[0]->m_axis, 9u);
    EXPECT_EQ(step[0]->m_mode, 4u);
    EXPECT_EQ(step[0]->m_value, 5.0);
    const auto m = f.channel.of<CEntryMFunk>();
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[2]->m_kind, static_cast<std::uint16_t>(MFunkKind::Clear));
    for (std::int32_t slot : m[2]->m_mNumbers)
        EXPECT_EQ(slot, 255);
    EXPECT_EQ(m[2]->m_blockNo, 5u);
    // Entries without a running number carry 0; the others count on without gaps.
    std::uint32_t next = 0;
    for (const auto& e : f.channel.entries)
    {
        const bool numbered = e->m_type != ENTRY_GEO_1D && e->m_type != ENTRY_STEPON &&
                              e->m_type != ENTRY_SPINDELTEST && e->m_type != ENTRY_CHNSYNC;
        EXPECT_EQ(e->m_entryIdx, numbered ? next++ : 0u) << e->m_type;
    }
}

TEST(InterpreterAxes, StopBetweenSpindleTestAndMClear)
{
    Fixture f;
    EXPECT_EQ(runWith(f, "R800=1 R801=0 H1 SyncWith K3 H5\n",
                      [](CInterpreter& i)
                      {
                          i.requestMClear();
                          i.requestSpindleTest();
                      }),
              InterpreterState::Ready);
    EXPECT_EQ(f.channel.types(), (std::vector<std::uint32_t>{ENTRY_HVALUE, ENTRY_SPINDELTEST, ENTRY_STOP,
                                                             ENTRY_MFUNK, ENTRY_CHNSYNC}));
}

TEST(InterpreterAxes, OneAxisMovesWaitForRoomAxisByAxis)
{
    Fixture f;
    f.channel.room = 1;
    const std::string text = "pushc3 pushc1.5 popcPOSA popcID pushc4 pushc-2 popcPOSA popcID "
                             "pushc3 pushc2.5 popcPOSA popcID pushc5 pushc8 popcPOSA popcID \nR1=1\n";
    EXPECT_EQ(runProgram(f.interpreter, text), InterpreterState::OutputPending);
    EXPECT_EQ(f.interpreter.getR(1), 0.0);
    f.channel.room = 1;
    EXPECT_EQ(resume(f.interpreter), InterpreterState::OutputPending);
    f.channel.room = 10;
    EXPECT_EQ(resume(f.interpreter), InterpreterState::Finished);
    const auto moves = f.channel.of<CEntryGeo_1D>();
    ASSERT_EQ(moves.size(), 3u); // axis 3 was requested twice: the second value holds
    EXPECT_EQ(moves[0]->m_axis, 3u);
    EXPECT_EQ(moves[0]->m_target, 2.5);
    EXPECT_EQ(moves[1]->m_axis, 4u);
    EXPECT_EQ(moves[1]->m_target, -2.0);
    EXPECT_EQ(moves[2]->m_axis, 5u);
    EXPECT_EQ(f.interpreter.getR(1), 1.0);
}

TEST(InterpreterAxes, OneAxisRefusalsTable)
{
    std::string nine;
    for (int axis = 1; axis <= 9; ++axis)
        nine += "pushc" + std::to_string(axis) + " pushc1 popcPOSA popcID ";
    std::string nineWaits;
    for (int axis = 1; axis <= 9; ++axis)
        nineWaits += "pushc1 pushc" + std::to_string(axis) + " popcWAITP popcSOC ";
    struct Case
    {
        std::string text;
        std::uint32_t message;
    } cases[] = {
        {"pushc1 popcID \n", NcMsg::PosaFailed},
        {"pushc0 pushc1 popcPOSA popcID \n", NcMsg::PosaFailed},
        {"pushc256 pushc1 popcPOSA popcID \n", NcMsg::PosaFailed},
        {nine + "\n", NcMsg::PosaFailed},
        {"pushc1 pushc0 popcWAITP \n", 0xC96},
        {"pushc1 pushc256 popcWAITP \n", 0xC96},
        {nineWaits + "\n", 0xC96},
        {"pushc8 pushc3 popcWAITP popcSOC \n", 0xC97},
        {"pushc2.5 pushc3 popcWAITP popcSOC \n", 0xC97},
        {"pushc2 popcSOC \n", NcMsg::UnknownWord},
        {"pushc2 popcSOCParam1 \n", NcMsg::UnknownWord},
    };
    for (const auto& c : cases)
        expectRefusedBeforeAnyEntry(c.text, c.message, NcError::WordOrRange);
    Fixture text;
    runProgram(text.interpreter, "pushc1 popcID \n");
    ASSERT_FALSE(text.channel.messages.empty());
    EXPECT_EQ(text.channel.messages[0].format,
              "Error in channel %d line %d: Unexpected internal error in POSA");
}

TEST(InterpreterAxes, RotaryTargetTable)
{
    struct Case
    {
        double current;
        double programmed;
        double target;
    } cases[] = {
        {350, 10, 370},                  // forward over the full turn
        {350, -10, 10},                  // backward to the same angle
        {10, -350, -10},                 // backward over zero
        {0, 810, 810},                   // two extra turns to 90
        {-30, 10, 10},                   // forward from a negative position
        {370, 10, 370},                  // already there: no move
        {370, -10, 370},  {100, 0, 360}, // forward to the next zero
        {100, 370, 730},                 // forward to 10 with one extra turn
        {725, -5, 725},                  // 725 is already at 5
        {725, -365, 365},                // one turn backward
    };
    for (const auto& c : cases)
        EXPECT_NEAR(RotaryTarget(c.programmed, c.current), c.target, 1e-9)
            << c.current << " " << c.programmed;
}

TEST(InterpreterAxes, ModuloAxesThroughTheWords)
{
    Fixture f;
    // X and Y modulo, Z not; Q2 modulo; incremental values stay incremental.
    const std::string text = "pushc88 popcBwMod pushc89 popcBwMod pushc2 popcBwMod \n"
                             "X11=350 X12=350 X13=350 Q2=350\n"
                             "X11=10 X12=-10 X13=10 Q2=10\n"
                             "G91 X11=20\n";
    EXPECT_EQ(runProgram(f.interpreter, text), InterpreterState::Finished);
    const auto geo = f.channel.of<CEntryGeo_3D>();
    ASSERT_EQ(geo.size(), 3u);
    EXPECT_NEAR(geo[1]->m_target.GetX(), 370.0, 1e-9);
    EXPECT_NEAR(geo[1]->m_target.GetY(), 10.0, 1e-9);
    EXPECT_NEAR(geo[1]->m_target.GetZ(), 10.0, 1e-9);
    EXPECT_NEAR(geo[1]->m_auxTarget[1], 370.0, 1e-9);
    EXPECT_NEAR(geo[2]->m_target.GetX(), 390.0, 1e-9);

    for (const char* bad : {"pushc87 popcBwMod \n", "pushc6 popcBwMod \n", "pushc1.5 popcBwMod \n"})
        expectProgramError(bad, NcMsg::UnknownWord, NcError::WordOrRange);
}

TEST(InterpreterAxes, RotationAnglesAndTheStartPoint)
{
    Fixture f;
    const std::string text = "X11=10\n"
                             "arot X13=90\n"
                             "X11=10 X12=5\n"
                             "rot X13=30\narot X13=15\n"
                             "X12=6\n";
    EXPECT_EQ(runProgram(f.interpreter, text), InterpreterState::Finished);
    const auto geo = f.channel.of<CEntryGeo_3D>();
    ASSERT_EQ(geo.size(), 3u); // the rotation blocks move nothing
    EXPECT_EQ(geo[0]->m_rotFlags[2], 0u);
    EXPECT_EQ(geo[0]->m_start.GetX(), 0.0);
    // The axis words after the rotation block are targets again; the start
    // point (10, 0, 0) is turned by 90 degrees about Z.
    EXPECT_NEAR(geo[1]->m_start.GetX(), 0.0, 1e-12);
    EXPECT_NEAR(geo[1]->m_start.GetY(), 10.0, 1e-12);
    EXPECT_EQ(geo[1]->m_target.GetX(), 10.0);
    EXPECT_EQ(geo[1]->m_target.GetY(), 5.0);
    EXPECT_EQ(geo[1]->m_rotAngles.GetZ(), 90.0);
    EXPECT_EQ(geo[1]->m_rotFlags[2], 1u);
    EXPECT_EQ(geo[1]->m_rotFlags[0], 0u);
    // "rot" sets the angle, "arot" adds to it.
    EXPECT_EQ(geo[2]->m_rotAngles.GetZ(), 45.0);
    EXPECT_NEAR(geo[2]->m_start.GetX(), 10.0 * std::cos(M_PI / 4) - 5.0 * std::sin(M_PI / 4), 1e-12);
    EXPECT_NEAR(geo[2]->m_start.GetY(), 10.0 * std::sin(M_PI / 4) + 5.0 * std::cos(M_PI / 4), 1e-12);
}

TEST(InterpreterAxes, ScaleFactorsScaleAxisAndCentreWords)
{
    Fixture f;
    const std::string text = "pushc2 pushc0.5 pushc1 popcScale popcScale popcScale \n"
                             "X11=3 X12=4 X13=5\n"
                             "G17 G2 F=100 X11=4 X12=4 I=0.5\n";
    EXPECT_EQ(runProgram(f.interpreter, text), InterpreterState::Finished);
    const auto geo = f.channel.of<CEntryGeo_3D>();
    ASSERT_EQ(geo.size(), 2u);
    EXPECT_EQ(geo[0]->m_target.GetX(), 6.0);
    EXPECT_EQ(geo[0]->m_target.GetY(), 2.0);
    EXPECT_EQ(geo[0]->m_target.GetZ(), 5.0);
    // From (6, 2) to (8, 2) about the centre one (scaled) unit to the right.
    EXPECT_EQ(geo[1]->m_target.GetX(), 8.0);
    EXPECT_NEAR(geo[1]->m_centre.GetX(), 7.0, 1e-12);
    EXPECT_NEAR(geo[1]->m_radius, 1.0, 1e-12);

    expectRefusedBeforeAnyEntry("pushc1 pushc-1 pushc1 popcScale popcScale popcScale \n", 0xCA4,
                                NcError::WordOrRange);
    expectProgramError("pushc-1 popcSeg \n", 0xCA4, NcError::WordOrRange);
}

TEST(InterpreterAxes, ResetInARotationBlockLeavesAxisWordsTargets)
{
    Fixture f;
    f.channel.motion = true;
    EXPECT_EQ(runProgram(f.interpreter, "arot X13=90 wait_idle X11=5\n"), InterpreterState::WaitingForIdle);
    f.interpreter.requestReset();
    f.interpreter.step();
    f.channel.motion = false;
    EXPECT_EQ(runProgram(f.interpreter, "X11=5\n"), InterpreterState::Finished);
    const auto geo = f.channel.of<CEntryGeo_3D>();
    ASSERT_EQ(geo.size(), 1u);
    EXPECT_EQ(geo[0]->m_target.GetX(), 5.0);
    EXPECT_EQ(geo[0]->m_rotAngles.GetZ(), 90.0); // the angle itself stays in force
}
