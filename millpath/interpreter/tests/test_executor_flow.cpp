#include <gtest/gtest.h>

#include "recording_channel.h"

namespace
{
using Fixture = InterpreterFixture;

std::string repeatLine(const std::string& line, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += line;
    return text;
}
} // namespace

TEST(ExecutorFlow, ForwardJumpOverMoreThanTenLines)
{
    Fixture f;
    const std::string text = "R1=1\ngoto K20\n" + repeatLine("N7 R1=99\n", 12) + "N20 R2=5\nend\n";
    ASSERT_TRUE(f.interpreter.loadProgramText(text));
    f.interpreter.setState(InterpreterState::StartRequested);
    int guard = 0;
    while (f.interpreter.getState() != InterpreterState::JumpPending && guard++ < 100)
        f.interpreter.step();
    ASSERT_EQ(f.interpreter.getState(), InterpreterState::JumpPending);
    // One step examines at most ten lines: the target is further away.
    f.interpreter.step();
    EXPECT_EQ(f.interpreter.getState(), InterpreterState::JumpPending);
    EXPECT_EQ(resume(f.interpreter), InterpreterState::Finished);
    EXPECT_EQ(f.interpreter.getR(1), 1.0);
    EXPECT_EQ(f.interpreter.getR(2), 5.0);
}

TEST(ExecutorFlow, BackwardJumpLoopsOverMoreThanTenLines)
{
    Fixture f;
    const std::string text = "R3=0\nN5 pushcR3 pushc1 calc + popcR3\n" + repeatLine("R9=1\n", 11) +
                             "pushcR3 pushc3 calc >= jumpeol_c goto K-5\nend\n";
    EXPECT_EQ(runProgram(f.interpreter, text), InterpreterState::Finished);
    EXPECT_EQ(f.interpreter.getR(3), 3.0);
}

TEST(ExecutorFlow, JumpsTable)
{
    struct Case
    {
        const char* text;
        double r1;
        double r2;
    } cases[] = {
        {"R1=1 jumpeol R1=2\nR2=4\n", 1, 4},
        {"pushc1 pushc2 calc < jumpeol_c R1=5\nR2=6\n", 0, 6},
        {"pushc3 pushc2 calc < jumpeol_c R1=5\nR2=6\n", 5, 6},
        {"pushc1 pushc2 calc != jumpelse_c goto K30 else R2=6\n", 0, 6},
        {"pushc2 pushc2 calc != jumpelse_c goto K30 else R2=6\nR1=1\nN30 R1=7\n", 7, 0},
        {"R1=1 jumpelse R1=2 else R2=3\n", 1, 3},
        {"R5=30 goto R5\nR1=1\nN30 R2=2\n", 0, 2},
        {"N3 R1=3\nN4 R2=4\n", 3, 4},
    };
    for (const auto& c : cases)
    {
        Fixture f;
        EXPECT_EQ(runProgram(f.interpreter, c.text), InterpreterState::Finished) << c.text;
        EXPECT_EQ(f.interpreter.getR(1), c.r1) << c.text;
        EXPECT_EQ(f.interpreter.getR(2), c.r2) << c.text;
    }
}

TEST(ExecutorFlow, CallsAndRepeatsTable)
{
    const std::string body = "end\nL10 pushcR1 pushc1 calc + popcR1\nreturn\n";
    struct Case
    {
        std::string text;
        double runs;
    } cases[] = {
        {"call10\n" + body, 1},
        {"call10 repeat3\n" + body, 3},
        {"call10 repeat0\n" + body, 1}, // a count of 0 or less runs once
        {"call10 repeat-2\n" + body, 1},
        {"pushc2 pushc10 popcL popcRepeat\n" + body, 2},
        {"pushc0 pushc10 popcL popcRepeat\n" + body, 1},
        {"call20\nend\nL20 call10 repeat2\nreturn\nL10 pushcR1 pushc1 calc + popcR1\nreturn\n", 2},
        {"call10 R2=1\n" + body, 1},
    };
    for (const auto& c : cases)
    {
        Fixture f;
        EXPECT_EQ(runProgram(f.interpreter, c.text), InterpreterState::Finished) << c.text;
        EXPECT_EQ(f.interpreter.getR(1), c.runs) << c.text;
    }
}

TEST(ExecutorFlow, CallFailuresTable)
{
    struct Case
    {
        const char* text;
        int findResult;
        std::uint32_t message;
        std::uint32_t ncError;
    } cases[] = {
        {"return\n", 1, 0xC32, 0x4131},
        {"call77\n", 1, 0xC31, 0x4113},
        {"call10\nend\nL10 call10\n", 1, 0xC31, 0x4112}, // call stack of 20 frames overflows
        {"pushc1 pushc77 popcL popcRepeat\n", 0, 0xC65, 0x4113},
        {"pushc1 pushc77 popcL popcRepeat\n", -1, 0xC66, 0x4113},
        {"pushc1 pushc77 popcL R1=1\n", 1, 0xC01, 0x4112},
        {"goto K99\nN1 R1=1\n", 1, 0xC0B, 0x4112},
        {"N5 R1=1\ngoto K-6\n", 1, 0xC0B, 0x4112},
        {"goto R1000\n", 1, 0xC03, 0x4140},
    };
    for (const auto& c : cases)
        expectProgramError(c.text, c.message, c.ncError,
                           [&](RecordingChannel& channel) { channel.findResult = c.findResult; });
}

// Jump targets and labels taken from values beyond the integer range are
// clamped to it (and so, here, not found), never wrapped into another number.
TEST(ExecutorFlow, TargetsBeyondTheIntegerRangeAreClamped)
{
    struct Case
    {
        const char* text;
        const char* target;
    } cases[] = {
        {"R1=99999999999 goto R1\nN1 R2=1\n", "2147483647"},
        {"R1=-99999999999 goto R1\nN1 R2=1\n", "-2147483647"},
        {"pushc1 pushc99999999999 popcL popcRepeat\n", "2147483647"},
    };
    for (const auto& c : cases)
    {
        Fixture f;
        f.channel.findResult = 0;
        EXPECT_EQ(runProgram(f.interpreter, c.text), InterpreterState::Error) << c.text;
        ASSERT_FALSE(f.channel.messages.empty()) << c.text;
        const NcLogMessage& m = f.channel.messages.back();
        ASSERT_EQ(m.args.size(), 3u) << c.text;
        EXPECT_EQ(m.args[2], c.target) << c.text;
        EXPECT_EQ(f.interpreter.getR(2), 0.0) << c.text;
    }
}

TEST(ExecutorFlow, RepeatFindsLabelThroughChannel)
{
    Fixture f;
    const std::string text = "pushc2 pushc40 popcL popcRepeat\nend\nX pushcR1 pushc1 calc + popcR1\nreturn\n";
    f.channel.extraLabels["L40"] = static_cast<std::int32_t>(text.find("X pushcR1") + 2);
    EXPECT_EQ(runProgram(f.interpreter, text), InterpreterState::Finished);
    EXPECT_EQ(f.interpreter.getR(1), 2.0);
}
