#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <thread>

#include "recording_channel.h"

namespace
{
constexpr double Pi = 3.14159265358979323846;

using Fixture = InterpreterFixture;
} // namespace

TEST(ExecutorArithmetic, ResultsTable)
{
    struct Case
    {
        const char* text;
        double expected;
    } cases[] = {
        {"pushc2 pushc3 calc + popcR1\n", 5.0},
        {"pushc10 pushc4 calc - pushc2 calc - popcR1\n", 4.0}, // left to right
        {"pushc2 pushc3 calc + pushc4 calc * popcR1\n", 20.0},
        {"pushc1 pushc0,000002 calc / popcR1\n", 500000.0},
        {"pushc-3,5 popcR1\n", -3.5},
        {"pushc+2.25 popcR1\n", 2.25},
        {"pushc30 calc sin popcR1\n", 0.5},
        {"pushc60 calc cos popcR1\n", 0.5},
        {"pushc45 calc tan popcR1\n", 1.0},
        {"pushc45 calc cot popcR1\n", 1.0},
        {"pushc1 calc asin popcR1\n", Pi / 2},
        {"pushc0 calc acos popcR1\n", Pi / 2},
        {"pushc1 calc atan popcR1\n", Pi / 4},
        {"pushc-3 calc sqr popcR1\n", 9.0},
        {"pushc0 calc sqrt popcR1\n", 0.0},
        {"pushc2,25 calc sqrt popcR1\n", 1.5},
        {"pushc-4 calc abs popcR1\n", 4.0},
        {"pushc4 calc neg popcR1\n", -4.0},
        {"pushc-2.7 calc int popcR1\n", -2.0},
        {"pushc3 pushc7 calc min popcR1\n", 3.0},
        {"pushc3 pushc7 calc max popcR1\n", 7.0},
        {"pushc3 pushc7 calc exchange popcR1\n", 3.0},
        {"pushc9 pushc5 pushc2 calc GetBit popcR1\n", 1.0},
        {"pushc9 pushc5 pushc1 calc GetBit popcR1\n", 0.0},
        {"pushcPI popcR1\n", Pi},
        {"R5=12 pushcR5 popcR1\n", 12.0},
        {"R7=3 R3=42 pushcP7 popcR1\n", 42.0},
        {"R5=8 R1=R5\n", 8.0},
        {"pushc2 popcG4 pushcG4 pushcG4 calc * popcR1\n", 4.0},
        {"F=250 pushcF popcR1\n", 250.0},
        {"S=1200 pushcS popcR1\n", 1200.0},
        {"X2=7,5 pushcX2 popcR1\n", 7.5},
        {"Q3=4 pushcQ3 popcR1\n", 4.0},
    };
    for (const auto& c : cases)
    {
        Fixture f;
        EXPECT_EQ(runProgram(f.interpreter, c.text), InterpreterState::Finished) << c.text;
        EXPECT_NEAR(f.interpreter.getR(1), c.expected, 1e-9) << c.text;
    }
}

TEST(ExecutorArithmetic, ErrorsTable)
{
    const ProgramErrorCase cases[] = {
        {"pushc1 pushc0,0000005 calc /\n", 0xC02, 0x4120},
        {"pushc90 calc tan\n", 0xC5E, 0x4122},
        {"pushc270 calc tan\n", 0xC5E, 0x4122},
        {"pushc0 calc cot\n", 0xC5F, 0x4122},
        {"pushc-0.1 calc sqrt\n", 0xC5D, 0x4122},
        {"pushc1.5 calc asin\n", 0xC60, 0x4122},
        {"pushc-1.5 calc acos\n", 0xC60, 0x4122},
        {"pushc1 calc +\n", 0xC30, 0x4133},
        {"popcR1\n", 0xC30, 0x4133},
        {"pushc1 calc acot\n", 0xC01, 0x4112},
        {"pushc1.2.3 popcR1\n", 0xC01, 0x4112},
        {"pushcR1000\n", 0xC03, 0x4140},
        {"R5=-1 pushcP5\n", 0xC04, 0x4140}, // negative indirect index
        {"R5=1000 pushcP5\n", 0xC04, 0x4140},
        {"pushcX4\n", 0xC07, 0x4143}, // axis outside 1..3
        {"pushcX0\n", 0xC07, 0x4143},
        {"X24=1\n", 0xC07, 0x4143}, // group 2
        {"pushcG30\n", 0xC03, 0x4140},
        {"pushcQ6\n", 0xC0C, 0x4143},
        {"Q0=1\n", 0xC0C, 0x4143},
        {"D256\n", 0xC98, 0x4112},
        {"pushc300 popcD\n", 0xC98, 0x4112},
        {"S2=100\n", 0xC07, 0x4143},
        {"pushc0.001 popcDynOvr\n", 0xC67, 0x4112},
        {"pushc400 popcAutoAccurateStop \n", 0xC77, 0x4112},
        {"pushc-1 popcVeloMin \n", 0xC6F, 0x4112},
        {"pushc-1 popcCircularSmoothing \n", 0xC69, 0x4112},
        {"pushc-1 popcSplineSmoothing \n", 0xC74, 0x4112},
        {"pushc53 popcZS \n", 0xCB5, 0x4112},
        {"bogus\n", 0xC01, 0x4112},
    };
    expectProgramErrors(cases);
}

TEST(ExecutorArithmetic, OperandStackHoldsFifty)
{
    std::string fifty, fiftyOne;
    for (int i = 0; i < 50; ++i)
        fifty += "pushc1 ";
    fiftyOne = fifty + "pushc1 ";
    Fixture ok;
    EXPECT_EQ(runProgram(ok.interpreter, fifty + "\n"), InterpreterState::Finished);
    Fixture full;
    EXPECT_EQ(runProgram(full.interpreter, fiftyOne + "\n"), InterpreterState::Error);
    EXPECT_TRUE(full.channel.logged(0xC31));
}

TEST(ExecutorArithmetic, ComparisonsAndTolerance)
{
    struct Case
    {
        const char* relation;
        double a;
        double b;
        int condition;
    } cases[] = {
        {"=", 1.0, 1.0000005, 1}, {"==", 1.0, 1.000002, 0},  {">", 1.0000005, 1.0, 1},
        {">", 1.0, 1.0000005, 0}, {"!=", 1.0, 1.0000005, 0}, {"<>", 1.0, 2.0, 1},
        {">=", 2.0, 2.0, 1},      {"=<", 3.0, 2.0, 0},       {"<", 1.0, 2.0, 1},
        {"!<", 1.0, 2.0, 0},      {"><", 2.0, 2.0, 0},       {"<!", 2.0, 1.0, 1},
    };
    for (const auto& c : cases)
    {
        Fixture f;
        char text[128];
        std::snprintf(text, sizeof(text), "pushc%.7f pushc%.7f calc %s\n", c.a, c.b, c.relation);
        EXPECT_EQ(runProgram(f.interpreter, text), InterpreterState::Finished) << text;
        EXPECT_EQ(f.interpreter.condition(), c.condition) << text;
    }
}

TEST(ExecutorArithmetic, RotationsUseTheCurrentAngles)
{
    Fixture f;
    // RotVec: (1, 0, 0) turned by 90 degrees about Z gives (0, 1, 0).
    EXPECT_EQ(runProgram(f.interpreter,
                         "pushc1 pushc0 pushc0 pushc0 pushc0 pushc90 calc RotVec popcR3 popcR2 popcR1\n"),
              InterpreterState::Finished);
    EXPECT_NEAR(f.interpreter.getR(1), 0.0, 1e-12);
    EXPECT_NEAR(f.interpreter.getR(2), 1.0, 1e-12);
    EXPECT_NEAR(f.interpreter.getR(3), 0.0, 1e-12);
    // With no rotation active Rot and InvRot leave the vector as it is.
    Fixture g;
    EXPECT_EQ(runProgram(g.interpreter, "pushc1 pushc2 pushc3 calc Rot calc InvRot popcR3 popcR2 popcR1\n"),
              InterpreterState::Finished);
    EXPECT_DOUBLE_EQ(g.interpreter.getR(1), 1.0);
    EXPECT_DOUBLE_EQ(g.interpreter.getR(3), 3.0);
}

TEST(ExecutorArithmetic, SharedParametersAcrossInterpreters)
{
    Fixture a;
    Fixture b;
    EXPECT_EQ(runProgram(a.interpreter, "R950=7.5 R10=1\n"), InterpreterState::Finished);
    EXPECT_EQ(runProgram(b.interpreter, "pushcR950 popcR1 pushcR10 popcR2\n"), InterpreterState::Finished);
    EXPECT_DOUBLE_EQ(b.interpreter.getR(1), 7.5);
    EXPECT_DOUBLE_EQ(b.interpreter.getR(2), 0.0); // R10 is per interpreter
    b.interpreter.setR(999, -2.0);
    EXPECT_DOUBLE_EQ(a.interpreter.getR(999), -2.0);
    EXPECT_DOUBLE_EQ(a.interpreter.getR(1000), 0.0);
}

TEST(ExecutorArithmetic, SharedParametersFromSeveralThreads)
{
    // Each thread owns a range of the shared table and checks it reads back
    // what it wrote while the other thread writes its own range.
    auto work = [](int first, double base, bool& ok)
    {
        RecordingChannel channel;
        CCorvantaInterpreter interpreter(channel, 4096, 8);
        for (int round = 0; round < 2000; ++round)
            for (int i = 0; i < 50; ++i)
            {
                interpreter.setR(first + i, base + round);
                if (interpreter.getR(first + i) != base + round)
                    ok = false;
            }
    };
    bool ok1 = true, ok2 = true;
    std::thread t1(work, 900, 1000.0, std::ref(ok1));
    std::thread t2(work, 950, 5000.0, std::ref(ok2));
    t1.join();
    t2.join();
    EXPECT_TRUE(ok1);
    EXPECT_TRUE(ok2);
}
