// Translated blocks run through the executor: what the stack text computes.
#include <cmath>

#include <gtest/gtest.h>

#include "recording_channel.h"

namespace
{
constexpr double Pi = 3.14159265358979323846;

// Loads part-program source and runs it to its end.
InterpreterState runSource(InterpreterFixture& f, const std::string& source)
{
    EXPECT_EQ(f.interpreter.loadProgramSource(source), 0u) << source;
    return startProgram(f.interpreter);
}
} // namespace

TEST(TranslatorRuns, ParameterValues)
{
    struct Case
    {
        const char* source;
        int r;
        double value;
    } cases[] = {
        {"R1=2,5", 1, 2.5},
        {"R2=2\nR4=10\nR1=R2+3*R4", 1, 50.0}, // strictly left to right: (2 + 3) * 10
        {"R2=4\nR1=R2*2+1", 1, 9.0},
        {"R2=4\nR1=-R2", 1, -4.0},
        {"R3=7\nR4=3\nR5=R3/R4-1", 5, 7.0 / 3.0 - 1.0},
        {"G0 X3 Y4\nR6=X*Y", 6, 12.0},
        {"R2=6\nR6=P2+1\n", 6, 1.0}, // R6 is R(R2) = R6 (0) plus 1
        {"R2=30\nP2=R2*2", 30, 60.0},
        {"R1=3\n@620 R1", 1, 4.0},
        {"R1=3.7\n@621 R1", 1, 2.0},
        {"R2=-9\n@610 R1 R2", 1, 9.0},
        {"R2=3\nR3=-4\n@614 R1 R2 R3", 1, 5.0},
        {"R2=1\n@634 R1 R2", 1, 90.0},
        {"R1=1\nR2=2\n@202 R1 R2", 1, 2.0},
        {"R1=5\n@40 K1 R1\nR1=3\n@42 K1 R1", 1, 5.0},
        {"R9=1\nR4=9\n@200 P4", 9, 0.0},
        {"@372 R7", 7, 1.0},
        {"R1=9\nR2=5\nRToDwordGetBit[R1;R2;2]", 1, 1.0},       // bit 2 of R2 into R1
        {"R1=7\n@121 R1 K5 K30\nR2=1\nN30 R3=R2+10", 3, 10.0}, // 7 == 5 fails: the jump is taken
        {"R1=5\n@121 R1 K5 K30\nR2=1\nN30 R3=R2+10", 3, 11.0}, // holds: no jump
        {"R1=2\n@111 R1 K1 K10 K2 K20\nN10 R5=1\nN20 R6=R5+1", 6, 1.0},
        {"R1=1\n@111 R1 K1 K10 K2 K20\nN10 R5=1\nN20 R6=R5+1", 6, 2.0},
    };
    for (const Case& c : cases)
    {
        InterpreterFixture f;
        EXPECT_EQ(runSource(f, c.source), InterpreterState::Finished) << c.source;
        EXPECT_NEAR(f.interpreter.getR(c.r), c.value, 1e-9) << c.source;
        EXPECT_TRUE(f.channel.messages.empty()) << c.source;
    }
}

TEST(TranslatorRuns, OutputRequestSeesTheOperandValues)
{
    InterpreterFixture f;
    EXPECT_EQ(runSource(f, "R5=3\nR800=7 R801=9\n@361 R5 K2\n"), InterpreterState::Finished);
    const auto values = f.channel.of<CEntryHValue>();
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0]->m_value, 3003); // output 2 (+1 in the thousands), value 3
    EXPECT_EQ(f.interpreter.getR(800), 7.0);
    EXPECT_EQ(f.interpreter.getR(801), 9.0);
}

TEST(TranslatorRuns, IndirectDestinationChecksItsSelector)
{
    // The destination P<n> is checked as the operand P<n> is.
    expectProgramError("R4=1000 pushc0 popcP4 \n", NcMsg::IndirectIndex, NcError::ParameterIndex);
    expectProgramError("R4=-1 pushc0 popcP4 \n", NcMsg::IndirectIndex, NcError::ParameterIndex);
    expectProgramError("pushc0 popcP1000 \n", NcMsg::ParameterIndex, NcError::ParameterIndex);
    InterpreterFixture f;
    EXPECT_EQ(runProgram(f.interpreter, "R4=950 pushc2.5 popcP4 \n"), InterpreterState::Finished);
    EXPECT_EQ(f.interpreter.getR(950), 2.5);
}

TEST(TranslatorRuns, ThreePointCircleFromSource)
{
    // From (10,0) through (0,10) to (-10,0): the centre is the origin and the
    // arc runs half a turn counter-clockwise, whichever of G2 and G3 is modal.
    for (const char* motion : {"G2", "G3"})
    {
        InterpreterFixture f;
        const std::string source =
            std::string("G0 X10 Y0\n") + motion + " CIP X-10 Y0 I-10 J10 F100\nG1 X0 Y-10\n";
        EXPECT_EQ(runSource(f, source), InterpreterState::Finished) << motion;
        const auto geo = f.channel.of<CEntryGeo_3D>();
        ASSERT_EQ(geo.size(), 3u) << motion;
        EXPECT_EQ(geo[1]->m_geoType, 1u);
        EXPECT_NEAR(geo[1]->m_centre.GetX(), 0.0, 1e-9);
        EXPECT_NEAR(geo[1]->m_centre.GetY(), 0.0, 1e-9);
        EXPECT_NEAR(geo[1]->m_radius, 10.0, 1e-9);
        EXPECT_NEAR(geo[1]->m_rotation.GetZ(), Pi, 1e-9);
        EXPECT_NEAR(geo[1]->m_target.GetX(), -10.0, 1e-9);
        // The request holds for its block only.
        EXPECT_EQ(geo[2]->m_geoType, 0u);
        bool circleCode = false;
        for (const auto* fn : f.channel.of<CEntryFunk>())
            circleCode = circleCode || fn->m_code == 0x2001;
        EXPECT_TRUE(circleCode);
    }
    // Without CIP the same words are a centre offset (the centre (0,10)).
    InterpreterFixture plain;
    EXPECT_EQ(runSource(plain, "G0 X10 Y0\nG2 X-10 Y0 I-10 J10 F100\n"), InterpreterState::Finished);
    const auto geo = plain.channel.of<CEntryGeo_3D>();
    ASSERT_EQ(geo.size(), 2u);
    EXPECT_NEAR(geo[1]->m_centre.GetY(), 10.0, 1e-9);
    EXPECT_NEAR(geo[1]->m_rotation.GetZ(), -Pi / 2, 1e-9);
}

TEST(TranslatorRuns, EntriesCarryTheSourceLine)
{
    InterpreterFixture f;
    EXPECT_EQ(runSource(f, "G0 X1\nN20 G1 X2 F100\n"), InterpreterState::Finished);
    const auto geo = f.channel.of<CEntryGeo_3D>();
    ASSERT_EQ(geo.size(), 2u);
    // Line indexes are positions in the text store: "G0 X1\n" takes 6 + 1 + 10 bytes.
    EXPECT_EQ(geo[0]->m_textIdx, 0u);
    EXPECT_EQ(geo[1]->m_textIdx, 17u);
    EXPECT_EQ(geo[1]->m_blockNo, 20u);
    EXPECT_STREQ(f.channel.store.getLine(17), "N20 G1 X2 F100\n");
}
