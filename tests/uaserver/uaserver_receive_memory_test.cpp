// The memory a server process holds for messages still arriving follows its receive budget: many
// connections that each hold most of a large message take the process no further than the budget
// and a fixed overhead, and once they are closed the process is back where it started, round after
// round.
#include "testserver_process.h"
#include "uatcp_raw_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using uaservertest::ProcessMemory;
using uaservertest::TestServerProcess;

namespace
{
constexpr size_t kConnections = 30;
constexpr int kRounds = 3;
constexpr uint32_t kChunkSize = 65536;
// What all connections of the server may hold together, and most of a 4 MB message.
constexpr long kBudgetKb = 64 * 1024;
constexpr size_t kPart = 3840 * 1024;
// Threads, buffers of the connections and the allocator's own keep, above the budget.
constexpr long kOverheadKb = 32 * 1024;
#if defined(__SANITIZE_ADDRESS__)
// The address sanitizer keeps the shadow of pages once mapped, an eighth of the budget.
constexpr long kSanitizerKeepKb = kBudgetKb / 8;
#else
constexpr long kSanitizerKeepKb = 0;
#endif
constexpr long kReturnedWithinKb = 10 * 1024 + kSanitizerKeepKb;

// The address sanitizer's allocator holds freed blocks back for a while; the server is asked to keep
// that short, so that what is measured is the server's own keep. (Its allocator gives large blocks
// back at once, so that there the measure shows the budget's bound, not the keep of glibc's arenas
// that a release build shows.)
std::vector<std::string> sanitizerEnvironment()
{
    const char* asan = std::getenv("ASAN_OPTIONS");
    return {std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") +
            "quarantine_size_mb=1:thread_local_quarantine_size_kb=64:allocator_release_to_os_interval_ms=0"};
}

// One connection that opens a channel and sends most of a message in chunks, or is refused on the way.
void holdPart(uint16_t port, uatcp::test::RawClient& raw)
{
    const uatcp::Bytes body(kChunkSize - 24, 0x5A);
    bool ok = raw.connect(port) && raw.hello(kChunkSize) && raw.open();
    for (size_t sent = 0; ok && sent < kPart; sent += body.size())
        ok = raw.sendMessage('C', body, 7);
}

// Waits until the process's resident memory is at most limitKb; the last value seen.
long settleTo(pid_t pid, long limitKb)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    long resident = ProcessMemory::of(pid).residentKb;
    while (resident > limitKb && std::chrono::steady_clock::now() < deadline)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        resident = ProcessMemory::of(pid).residentKb;
    }
    return resident;
}
} // namespace

TEST(ReceiveMemory, PartialMessagesOfManyConnectionsStayWithinTheBudgetAndGoBackWhenClosed)
{
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the thread sanitizer keeps a shadow of several times every byte the server touched";
#endif
    TestServerProcess server({}, sanitizerEnvironment());
    ASSERT_FALSE(server.url().empty());
    // A first round of as many connections that hold nothing settles what every connection costs
    // anyway (its thread, its buffers, the allocator's share of them).
    {
        std::vector<uatcp::test::RawClient> clients(kConnections);
        for (auto& client : clients)
            ASSERT_TRUE(client.connect(static_cast<uint16_t>(server.port())) && client.hello(kChunkSize) &&
                        client.open());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const long startKb = ProcessMemory::of(server.pid()).residentKb;
    ASSERT_GT(startKb, 0);

    for (int round = 0; round < kRounds; ++round)
    {
        SCOPED_TRACE("round " + std::to_string(round + 1));
        {
            std::vector<uatcp::test::RawClient> clients(kConnections);
            std::vector<std::thread> senders;
            for (auto& client : clients)
                senders.emplace_back([&server, &client]
                                     { holdPart(static_cast<uint16_t>(server.port()), client); });
            for (std::thread& sender : senders)
                sender.join();
            // Every connection holds its part now, or was refused for the budget.
            const ProcessMemory holding = ProcessMemory::of(server.pid());
            EXPECT_LE(holding.peakKb - startKb, kBudgetKb + kOverheadKb)
                << "peak " << holding.peakKb << " KiB, started at " << startKb << " KiB";
        }
        // The connections are closed: what they held goes back to the system.
        const long afterKb = settleTo(server.pid(), startKb + kReturnedWithinKb);
        std::printf("round %d: peak %+ld KiB, %+ld KiB after the connections closed (started at %ld KiB)\n",
                    round + 1, ProcessMemory::of(server.pid()).peakKb - startKb, afterKb - startKb, startKb);
        EXPECT_LE(afterKb - startKb, kReturnedWithinKb)
            << "resident " << afterKb << " KiB after the connections closed, started at " << startKb
            << " KiB";
    }
}
