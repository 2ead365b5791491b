#include <gtest/gtest.h>

#include "recording_channel.h"

namespace
{
using Fixture = InterpreterFixture;
} // namespace

TEST(InterpreterStates, WaitIdleResumesOnTheChannelsEvent)
{
    Fixture f;
    f.channel.motion = true;
    const std::string text = "X1=5\nwait_idle R1=1 X1=6\n";
    EXPECT_EQ(runProgram(f.interpreter, text), InterpreterState::WaitingForIdle);
    EXPECT_TRUE(f.interpreter.cursorOnWaitIdle());
    const std::size_t cursor = f.interpreter.cursor();
    EXPECT_EQ(text.compare(cursor, 9, "wait_idle"), 0); // the cursor stays on the word
    EXPECT_EQ(f.interpreter.step(), InterpreterIdleWaitMs);
    EXPECT_EQ(f.interpreter.getState(), InterpreterState::WaitingForIdle);
    EXPECT_EQ(f.interpreter.getR(1), 0.0);
    EXPECT_EQ(f.channel.of<CEntryGeo_3D>().size(), 1u);

    f.interpreter.releaseWait(); // the kernel reports the motion finished
    EXPECT_EQ(resume(f.interpreter), InterpreterState::Finished);
    EXPECT_EQ(f.interpreter.getR(1), 1.0);
    EXPECT_EQ(f.channel.of<CEntryGeo_3D>().size(), 2u);
}

TEST(InterpreterStates, WaitIdlePassesWithoutMotion)
{
    Fixture f;
    EXPECT_EQ(runProgram(f.interpreter, "wait_idle R1=1\n"), InterpreterState::Finished);
    EXPECT_EQ(f.interpreter.getR(1), 1.0);
}

TEST(InterpreterStates, WaitAndFlushThenStop)
{
    Fixture f;
    f.channel.motion = true;
    EXPECT_EQ(runProgram(f.interpreter, "X1=5\nh0\nR1=1\nH5\nR2=1\n"), InterpreterState::WaitingForIdle);
    EXPECT_EQ(f.interpreter.getR(1), 0.0);
    f.channel.motion = false;
    // H5 flushes, sends the stop and waits; once idle the program holds.
    EXPECT_EQ(resume(f.interpreter), InterpreterState::Ready);
    EXPECT_EQ(f.interpreter.getR(1), 1.0);
    EXPECT_EQ(f.interpreter.getR(2), 0.0);
    EXPECT_EQ(f.channel.of<CEntryStop>().size(), 1u);
    f.interpreter.setState(InterpreterState::StartRequested);
    EXPECT_EQ(resume(f.interpreter), InterpreterState::Finished);
    EXPECT_EQ(f.interpreter.getR(2), 1.0);

    Fixture exclusive;
    exclusive.channel.exclusive = true;
    EXPECT_EQ(runProgram(exclusive.interpreter, "H5\n"), InterpreterState::Error);
    EXPECT_TRUE(exclusive.channel.logged(0xC7D));
    EXPECT_EQ(exclusive.interpreter.ncError(), 0x4107u);
}

TEST(InterpreterStates, AlternativeStopIsSentOnce)
{
    Fixture f;
    ASSERT_TRUE(f.interpreter.loadProgramText("H5\nH5\n"));
    f.interpreter.setAlternativeStop(true);
    f.interpreter.setState(InterpreterState::StartRequested);
    EXPECT_EQ(resume(f.interpreter), InterpreterState::Ready);
    f.interpreter.setState(InterpreterState::StartRequested);
    EXPECT_EQ(resume(f.interpreter), InterpreterState::Ready);
    EXPECT_EQ(f.channel.types(), (std::vector<std::uint32_t>{ENTRY_FUNK, ENTRY_STOP}));
    const auto funk = f.channel.of<CEntryFunk>();
    EXPECT_EQ(funk[0]->m_code, 26u);
    EXPECT_EQ(funk[0]->m_arg, 0u);
}

TEST(InterpreterStates, StopThatTheGroupCannotTakeIsRetried)
{
    Fixture f;
    f.channel.room = 0;
    EXPECT_EQ(runProgram(f.interpreter, "H5\n"), InterpreterState::StopNotTaken);
    EXPECT_EQ(f.interpreter.step(), InterpreterIdleWaitMs);
    f.channel.room = 10;
    EXPECT_EQ(resume(f.interpreter), InterpreterState::Ready);
    EXPECT_EQ(f.channel.of<CEntryStop>().size(), 1u);
}

TEST(InterpreterStates, LifecycleTable)
{
    Fixture f;
    EXPECT_EQ(f.interpreter.getState(), InterpreterState::Idle);
    ASSERT_TRUE(f.interpreter.loadProgramText("R1=1\nend\nR1=2\n"));
    EXPECT_EQ(f.interpreter.getState(), InterpreterState::Ready);
    EXPECT_EQ(f.interpreter.step(), InterpreterIdleWaitMs); // nothing to do until started
    f.interpreter.setState(InterpreterState::StartRequested);
    EXPECT_EQ(f.interpreter.step(), 0);
    EXPECT_EQ(f.interpreter.getState(), InterpreterState::Started);
    EXPECT_EQ(resume(f.interpreter), InterpreterState::Finished);
    EXPECT_EQ(f.interpreter.getR(1), 1.0); // "end" stops before the last line

    f.interpreter.requestReset();
    EXPECT_EQ(f.interpreter.getState(), InterpreterState::Resetting);
    f.interpreter.step();
    EXPECT_EQ(f.interpreter.getState(), InterpreterState::Ready);

    f.interpreter.requestStop();
    EXPECT_EQ(f.interpreter.getState(), InterpreterState::StopRequested);
    f.interpreter.setState(InterpreterState::StartRequested);
    EXPECT_EQ(f.interpreter.step(), InterpreterIdleWaitMs);
    EXPECT_EQ(f.interpreter.getState(), InterpreterState::StopRequested);
    f.interpreter.requestReset();
    f.interpreter.step();
    EXPECT_EQ(f.interpreter.getState(), InterpreterState::Ready);

    EXPECT_EQ(f.interpreter.setTraceMode(3), 0x70Bu);
    EXPECT_EQ(f.interpreter.setTraceMode(2), 0u);
}

TEST(InterpreterStates, ErrorTurnsIntoAbortedAndBlocksLoading)
{
    Fixture f;
    const std::string text = lineMarker(3) + "N7 bogus\n";
    EXPECT_EQ(runProgram(f.interpreter, text), InterpreterState::Error);
    EXPECT_EQ(f.interpreter.errorLine(), 3);
    ASSERT_FALSE(f.channel.messages.empty());
    EXPECT_EQ(f.channel.messages.back().args[1], "7"); // the block number is the line
    f.interpreter.step();
    EXPECT_EQ(f.interpreter.getState(), InterpreterState::Aborted);
    EXPECT_TRUE(f.interpreter.loadProgramText("R1=1\n"));

    Fixture running;
    running.channel.motion = true;
    runProgram(running.interpreter, "wait_idle\n");
    EXPECT_FALSE(running.interpreter.loadProgramText("R1=1\n"));
}

TEST(InterpreterStates, PrepareGroupFailure)
{
    Fixture f;
    f.channel.prepareError = 0x4105;
    EXPECT_EQ(runProgram(f.interpreter, "R1=1\n"), InterpreterState::Error);
    ASSERT_TRUE(f.channel.logged(0xC73));
    EXPECT_EQ(f.channel.messages.back().args[1], "4105");
    EXPECT_EQ(f.interpreter.getR(1), 0.0);
}

TEST(InterpreterStates, MarkersStopAndTrace)
{
    Fixture f;
    f.interpreter.setStopAtMarker(true);
    EXPECT_EQ(runProgram(f.interpreter, "\x83\x02\x83R1=1\n"), InterpreterState::StoppedAtMarker);
    EXPECT_EQ(f.interpreter.getR(1), 0.0);
    f.interpreter.setState(InterpreterState::StartRequested);
    EXPECT_EQ(resume(f.interpreter), InterpreterState::Finished);
    EXPECT_EQ(f.interpreter.getR(1), 1.0);

    Fixture t;
    t.interpreter.setTraceMode(2);
    EXPECT_EQ(runProgram(t.interpreter, lineMarker(9) + "R1=1\n"), InterpreterState::Finished);
    ASSERT_TRUE(t.channel.logged(0x601));
    EXPECT_EQ(t.channel.messages[0].args[1], "line 9");

    Fixture n;
    n.interpreter.setTraceMode(1);
    std::string text;
    for (int i = 100; i < 110; ++i)
        text += "N" + std::to_string(i) + "\n";
    EXPECT_EQ(runProgram(n.interpreter, text), InterpreterState::Finished);
    ASSERT_TRUE(n.channel.logged(0x601));
    EXPECT_EQ(n.channel.messages[0].args[1], " N100 N101 N102 N103 N104 N105 N106 N107 N108");
}

TEST(InterpreterStates, BlockSearchEndsAtItsLabel)
{
    struct Case
    {
        int kind;
        std::int64_t target;
        bool endsAtLabel;
    } cases[] = {{1, 4, true}, {1, 5, false}, {2, 2, true}, {2, 3, false}};
    for (const auto& c : cases)
    {
        Fixture f;
        f.interpreter.setBlockSearch(c.kind, c.target);
        ASSERT_TRUE(f.interpreter.blockSearchActive());
        EXPECT_EQ(runProgram(f.interpreter, lineMarker(3) + "R1=1\n" + lineMarker(4) + "L17 R2=1\n"),
                  InterpreterState::Finished);
        EXPECT_EQ(f.interpreter.blockSearchActive(), !c.endsAtLabel) << c.kind << " " << c.target;
        EXPECT_EQ(f.interpreter.restartLine(), c.endsAtLabel ? 4 : -1);
    }
}

TEST(InterpreterStates, ResetSendsClearEntry)
{
    Fixture f;
    ASSERT_TRUE(f.interpreter.loadProgramText("N5 R1=1\n"));
    EXPECT_TRUE(f.interpreter.resetAndSend());
    const auto m = f.channel.of<CEntryMFunk>();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0]->m_kind, 99);
    EXPECT_EQ(m[0]->m_mNumbers[7], 255);
    EXPECT_EQ(m[0]->m_textIdx, 0u);
    EXPECT_EQ(m[0]->m_blockNo, 0u);
    f.channel.room = 0;
    EXPECT_FALSE(f.interpreter.resetAndSend());
    EXPECT_EQ(f.interpreter.getState(), InterpreterState::Ready);
}

TEST(InterpreterStates, SetBitChecksItsIndex)
{
    Fixture f;
    std::uint8_t bits[2] = {0, 0};
    struct Case
    {
        int bit;
        bool ok;
    } cases[] = {{0, true}, {9, true}, {15, true}, {16, false}, {-1, false}};
    for (const auto& c : cases)
        EXPECT_EQ(f.interpreter.setBit(bits, 2, c.bit), c.ok) << c.bit;
    EXPECT_EQ(bits[0], 0x01);
    EXPECT_EQ(bits[1], 0x82);
    EXPECT_FALSE(f.interpreter.setBit(nullptr, 2, 0));
}

// A release for an earlier batch comes before the wait is armed: neither an
// "h0" nor a "wait_idle" may pass on it while the group still moves.
TEST(InterpreterStates, EarlierReleaseDoesNotPassALaterWait)
{
    for (const char* wait : {"h0", "wait_idle"})
    {
        SCOPED_TRACE(wait);
        Fixture f;
        f.channel.motion = true;
        f.interpreter.releaseWait(); // event 0 of a batch fed before the program
        const std::string text = std::string("X1=5\n") + wait + "\nR1=1\n";
        EXPECT_EQ(runProgram(f.interpreter, text), InterpreterState::WaitingForIdle);
        EXPECT_EQ(f.interpreter.step(), InterpreterIdleWaitMs);
        EXPECT_EQ(f.interpreter.getState(), InterpreterState::WaitingForIdle);
        EXPECT_EQ(f.interpreter.getR(1), 0.0);

        f.interpreter.releaseWait(); // the batch of this block is done
        EXPECT_EQ(resume(f.interpreter), InterpreterState::Finished);
        EXPECT_EQ(f.interpreter.getR(1), 1.0);
    }
}
