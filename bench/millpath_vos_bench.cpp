// The kernel link, measured in one run:
// (a) a Vos read-write round trip between two processes (five kernel records
//     out, the 8-byte answer back) through the client library and the router,
//     against a plain AF_UNIX ping-pong of the same bytes; printed as a ratio;
// (b) generated 20,000-block programs, mixed G1/G2/G3 and lines only, loaded
//     into Millpath and run into the NC kernel simulator (its log off):
//     blocks per second from Start to the end of the program.
//
//   millpath_vos_bench [--round-trips N] [--blocks N] [--rounds N]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "QbVosDllCe.h"
#include "millpath_harness.h"

namespace
{
using Clock = std::chrono::steady_clock;

constexpr ULONG RecordBytes = 156;
constexpr ULONG BatchRecords = 5;
constexpr ULONG RequestData = RecordBytes * BatchRecords;
constexpr ULONG AnswerData = 8;
constexpr USHORT EchoPortNumber = 0x7A00;
constexpr ULONG FeedGroup = 0x3201;
constexpr ULONG FeedOffset = 0x60;
// What the client library puts on the socket: frame length, message header,
// the read-write fields and the data; the answer carries result and length.
constexpr size_t WireRequest = 4 + sizeof(OrxCmd) + 16 + RequestData;
constexpr size_t WireAnswer = 4 + sizeof(OrxCmd) + 8 + AnswerData;

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// ---- (a) the round trip

// The kernel's side of the batch: takes the records, answers count and size.
class EchoServer : public CVosW32
{
public:
    EchoServer() : CVosW32(0, FALSE, nullptr, 0) {}
    ~EchoServer() override { OrxDisconnect(); }
    void VosReadWriteInd(const OrxAddr* addr, ULONG invokeId, ULONG, ULONG, ULONG, ULONG writeLength,
                         const void*) override
    {
        const ULONG answer[2] = {writeLength / RecordBytes, BatchRecords};
        VosReadWriteRes(addr, invokeId, 0, sizeof(answer), answer);
    }
};

int RunEchoServer()
{
    EchoServer port;
    if (!port.OrxConnect(EchoPortNumber, 4096, 80))
        return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    char c;
    while (::read(0, &c, 1) > 0)
    {
    }
    return 0;
}

// Moves all n bytes, read or written.
template <typename Io> bool Fully(Io io, int fd, char* p, size_t n)
{
    while (n > 0)
    {
        const ssize_t done = io(fd, p, n);
        if (done <= 0)
            return false;
        p += done;
        n -= static_cast<size_t>(done);
    }
    return true;
}

bool ReadFully(int fd, char* p, size_t n)
{
    return Fully(::read, fd, p, n);
}

bool WriteFully(int fd, const char* p, size_t n)
{
    return Fully([](int f, char* b, size_t k) { return ::write(f, b, k); }, fd, const_cast<char*>(p), n);
}

// Microseconds per round trip after a tenth as many to warm up; -1 when one fails.
template <typename RoundTrip> double MicrosecondsEach(int count, RoundTrip once)
{
    for (int i = 0; i < count / 10; ++i)
        once();
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i)
        if (!once())
            return -1;
    return Seconds(Clock::now() - start) * 1e6 / count;
}

// Microseconds per plain ping-pong between this process and a forked child.
double PlainRoundTrip(int count)
{
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0)
    {
        ::close(pair[0]);
        std::vector<char> request(WireRequest), answer(WireAnswer, 1);
        while (ReadFully(pair[1], request.data(), request.size()) &&
               WriteFully(pair[1], answer.data(), answer.size()))
        {
        }
        ::_exit(0);
    }
    ::close(pair[1]);
    std::vector<char> request(WireRequest, 2), answer(WireAnswer);
    auto once = [&]
    {
        return WriteFully(pair[0], request.data(), request.size()) &&
               ReadFully(pair[0], answer.data(), answer.size());
    };
    const double us = MicrosecondsEach(count, once);
    ::close(pair[0]);
    ::waitpid(child, nullptr, 0);
    return us;
}

// Microseconds per Vos read-write to a port of a child process.
double VosRoundTrip(int count)
{
    vostest::Child server("millpath_vos_bench", {"--echo-server"});
    if (server.ReadLine() != "ready")
        return -1;
    CVosSync client(0, TRUE, nullptr);
    OrxAddr addr{};
    addr.port = EchoPortNumber;
    std::vector<BYTE> batch(RequestData, 3);
    ULONG answer[2] = {};
    auto once = [&]
    {
        return client.VosSyncReadWriteReq(&addr, FeedGroup, FeedOffset, sizeof(answer), answer, RequestData,
                                          batch.data()) == 0;
    };
    const double us = MicrosecondsEach(count, once);
    server.Finish();
    return us;
}

// ---- (b) programs through Millpath into the simulator

// Each block starts where the one before ended: lines along a zig-zag, or a
// line and two half circles (clockwise, counter-clockwise) in turn.
std::string Program(const std::string& name, int blocks, bool mixed)
{
    std::string text = "%" + name + "\nN1 G17 G90 G1 F6000 X0 Y0\n";
    for (int i = 1; i <= blocks; ++i)
    {
        const std::string x = "X" + std::to_string(10 * i);
        if (!mixed)
            text += "G1 " + x + (i % 2 ? " Y10\n" : " Y0\n");
        else if (i % 3 == 1)
            text += "G1 " + x + " Y0\n";
        else
            text += (i % 3 == 2 ? "G2 " : "G3 ") + x + " Y0 I5 J0\n";
    }
    return text + "M30\n";
}

struct ProgramRun
{
    double blocksPerSecond = 0;
    double loadSeconds = 0;
    std::uint32_t records = 0;
};

ProgramRun RunProgram(mptest::Device& device, const std::string& name, int blocks)
{
    ProgramRun run;
    const std::uint32_t before = device.RecordCount();
    const auto loadStart = Clock::now();
    if (device.Load(name) != 0)
        return run;
    run.loadSeconds = Seconds(Clock::now() - loadStart);
    const auto start = Clock::now();
    if (device.StartProgram() != 0)
        return run;
    // Polled often enough not to blur the figure, seldom enough not to load the service.
    int state = 0;
    while ((state = device.State()) != 12 && state != 11 && Clock::now() - start < std::chrono::minutes(5))
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const double seconds = Seconds(Clock::now() - start);
    if (state == 12)
        run.blocksPerSecond = blocks / seconds;
    run.records = device.RecordCount() - before;
    return run;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "--echo-server")
        return RunEchoServer();
    int roundTrips = 20000;
    int blocks = 20000;
    int rounds = 3;
    for (int i = 1; i + 1 < argc; i += 2)
    {
        const std::string arg = argv[i];
        const int value = std::atoi(argv[i + 1]);
        if (arg == "--round-trips")
            roundTrips = value;
        else if (arg == "--blocks")
            blocks = value;
        else if (arg == "--rounds")
            rounds = value;
    }
    // The harness finds the sample project beside the programs.
    std::filesystem::current_path(std::filesystem::canonical("/proc/self/exe").parent_path());
    double load[3] = {};
    ::getloadavg(load, 3);
    std::printf("load average %.1f %.1f %.1f\n", load[0], load[1], load[2]);

    // The plain ping-pong forks before any thread of the library runs.
    double plain = 1e300;
    for (int r = 0; r < rounds; ++r)
        plain = std::min(plain, PlainRoundTrip(roundTrips));
    double vosUs = 1e300;
    {
        vostest::DeviceRoot root;
        for (int r = 0; r < rounds; ++r)
            vosUs = std::min(vosUs, VosRoundTrip(roundTrips));
    }
    std::printf("(a) round trip, %zu bytes out, %zu back: plain AF_UNIX %.2f us, Vos %.2f us, ratio %.2f "
                "(goal <= 3)\n",
                WireRequest, WireAnswer, plain, vosUs, vosUs / plain);

    mptest::Device device;
    device.StartSim({"--no-log", "--size", "4000000"});
    device.StartMillpath();
    while (device.State() < 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    struct Kind
    {
        const char* name;
        bool mixed;
        double goal;
    } kinds[] = {{"mixed.nc", true, 4000}, {"lines.nc", false, 30000}};
    for (const Kind& kind : kinds)
    {
        std::ofstream(device.Project() + "/" + kind.name) << Program(kind.name, blocks, kind.mixed);
        ProgramRun best;
        for (int r = 0; r < rounds; ++r)
        {
            const ProgramRun run = RunProgram(device, kind.name, blocks);
            if (run.blocksPerSecond > best.blocksPerSecond)
                best = run;
        }
        std::printf("(b) %-9s %d blocks: %.0f blocks/s from Start to the end (load %.2f s, %u records); "
                    "goal %.0f blocks/s\n",
                    kind.name, blocks, best.blocksPerSecond, best.loadSeconds, best.records, kind.goal);
    }
    return 0;
}
