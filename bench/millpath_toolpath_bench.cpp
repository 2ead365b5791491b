// Blocks per second of a generated program of 20,000 line and arc blocks with a
// corner at each, run in this process from the interpreter through the
// transformer chain into the prepared-entry table, which a second thread
// drains: (a) without correction, (b) with G41 D1, (c) with G41 and a
// rounding or chamfer announced at each corner. The rounds alternate; the
// program ends with the ratios b/a and c/a of the best rates.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include <gtest/gtest.h> // the interpreter test channel checks with it

#include "fake_trans_host.h"
#include "recording_channel.h"
#include "transformer.h"

namespace
{
constexpr int Blocks = 20000;
constexpr int Rounds = 5;

enum class Kind
{
    Plain,
    Corrected,
    Corners
};

// A zig-zag of lines and arcs: every junction is a corner.
std::string Program(Kind kind)
{
    std::string text = "N1 G17 G90 G1 F600 X0 Y0\n";
    text += kind == Kind::Plain ? "N2 X0 Y10\n" : "N2 G41 D1 X0 Y10\n";
    for (int i = 0; i < Blocks; ++i)
    {
        const int x = 10 * (i + 1);
        const int y = i % 2 == 0 ? 0 : 10;
        const std::string point = "X" + std::to_string(x) + " Y" + std::to_string(y);
        // Quarter arcs up about the point above their start, lines down.
        std::string block = i % 2 == 1 ? "G3 " + point + " I0 J10" : "G1 " + point;
        if (kind == Kind::Corners)
            block += i % 2 == 0 ? " RND=1" : " CHR=1";
        text += block + "\n";
    }
    text += kind == Kind::Plain ? "G1 X0 Y-10\n" : "G40 G1 X0 Y-10\n";
    return text; // no M30: it would ask a kernel for the channel state
}

// Wakes the other thread: the chain after a drain, the drainer after a push.
struct Handoff
{
    std::mutex lock;
    std::condition_variable changed;

    void Signal() { changed.notify_all(); }
    void Wait()
    {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait_for(hold, std::chrono::microseconds(200));
    }
};

// The channel: entries go into the chain, which this thread moves on.
class ChainChannel : public RecordingChannel
{
public:
    ChainChannel(CTransformer& transformer, bool corners, Handoff& handoff)
        : m_transformer(transformer), m_corners(corners), m_handoff(handoff)
    {
    }

    int addEntry(CEntry* entry) override
    {
        for (;;)
        {
            const int taken =
                m_corners ? m_transformer.ChamferStage().Accept(entry) : m_transformer.ChannelPassOn(entry);
            if (taken == 1)
                break;
            if (taken < 0)
            {
                failed = true;
                return AddEntry::Taken;
            }
            Move();
        }
        if (m_transformer.Count() > 40)
            Move();
        return AddEntry::Taken;
    }
    void Move()
    {
        int done = 0;
        m_transformer.Process(0, done);
        m_handoff.Signal();
        if (!done) // the prepared-entry table is full: wait for the drainer
            m_handoff.Wait();
    }

    bool failed = false;

private:
    CTransformer& m_transformer;
    bool m_corners;
    Handoff& m_handoff;
};

double BlocksPerSecond(Kind kind, const std::string& program)
{
    FakeTransHost host;
    host.tools[1] = {1, 1.0};
    host.state = 12; // nothing waits for a successor that the interpreter could still make
    CTransformer transformer(host);
    Handoff handoff;
    ChainChannel channel(transformer, kind == Kind::Corners, handoff);
    CCorvantaInterpreter interpreter(channel, 8 * 1024 * 1024, 64);
    std::atomic<bool> running{true};
    std::atomic<long> drained{0};
    std::thread drain(
        [&]
        {
            CEntry* entry = nullptr;
            while (running || !host.output->IsEmpty())
            {
                if (host.output->Pop(entry))
                {
                    delete entry;
                    ++drained;
                    handoff.Signal();
                }
                else
                    handoff.Wait();
            }
        });
    const auto start = std::chrono::steady_clock::now();
    const bool loaded = interpreter.loadProgramSource(program) == 0;
    if (loaded)
    {
        interpreter.setState(InterpreterState::StartRequested);
        while (interpreter.getState() != InterpreterState::Error && interpreter.step() == 0)
        {
        }
        while (interpreter.getState() != InterpreterState::Error && !transformer.IsIdle() &&
               !channel.failed && host.errors.empty())
            channel.Move();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    running = false;
    drain.join();
    if (!loaded || interpreter.getState() == InterpreterState::Error || channel.failed ||
        !host.errors.empty())
    {
        std::fprintf(stderr, "run %d failed (state %d, %zu chain errors)\n", static_cast<int>(kind),
                     static_cast<int>(interpreter.getState()), host.errors.size());
        for (const NcLogMessage& m : channel.messages)
        {
            std::fprintf(stderr, "  message %u", m.number);
            for (const std::string& a : m.args)
                std::fprintf(stderr, " %s", a.c_str());
            std::fprintf(stderr, "\n");
        }
        return 0.0;
    }
    return Blocks / seconds;
}
} // namespace

int main()
{
    const Kind kinds[] = {Kind::Plain, Kind::Corrected, Kind::Corners};
    const char* names[] = {"(a) G40, no announcements", "(b) G41 D1",
                           "(c) G41 D1, RND or CHR at each corner"};
    std::string programs[3];
    for (int k = 0; k < 3; ++k)
        programs[k] = Program(kinds[k]);
    double best[3] = {0.0, 0.0, 0.0};
    for (int round = 0; round < Rounds; ++round)
        for (int k = 0; k < 3; ++k)
            best[k] = std::max(best[k], BlocksPerSecond(kinds[k], programs[k]));
    for (int k = 0; k < 3; ++k)
        std::printf("%-40s %12.0f blocks/s\n", names[k], best[k]);
    if (best[0] > 0.0)
        std::printf("ratio b/a: %.3f\nratio c/a: %.3f\n", best[1] / best[0], best[2] / best[0]);
    return best[0] > 0.0 && best[1] > 0.0 && best[2] > 0.0 ? 0 : 1;
}
