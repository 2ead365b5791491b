// Clients that pipeline Reads and never read the answers, against the test server on the wire:
// another client's Reads keep being answered, and the server gives up on those that do not read.
#include "uaserver_wire.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

using namespace uaserver::wire;

TEST(SlowClients, ClientsThatNeverReadTheirAnswersStallNoOtherClient)
{
    const std::vector<NodeNumber> nodes = benchmarkVariables(900);
    for (int stalled : {1, 4})
    {
        SCOPED_TRACE(testing::Message() << stalled << " clients that never read");
        TestServerProcess server({"--variables", "900"});
        ASSERT_FALSE(server.url().empty());
        Client reader;
        ASSERT_TRUE(reader.open(server.url()));

        // Each pipelines Reads of 900 values until the server stops taking them: their answers
        // fill the sockets and then the connection's output until the server gives up on it.
        std::vector<std::unique_ptr<NonReadingClient>> pipelines;
        for (int c = 0; c < stalled; ++c)
        {
            pipelines.push_back(std::make_unique<NonReadingClient>());
            ASSERT_TRUE(pipelines.back()->open(static_cast<uint16_t>(server.port())));
        }
        std::atomic<int> running{stalled};
        std::vector<std::thread> threads;
        for (auto& pipeline : pipelines)
            threads.emplace_back(
                [&, p = pipeline.get()]
                {
                    for (int i = 0; i < 5000 && p->sendRead(nodes); ++i)
                    {
                    }
                    --running;
                });

        // Meanwhile the other client's Reads keep being answered, each in far less than the send
        // time-out (15 s) that a worker stuck on a stalled socket held them up before; the bound
        // leaves room for a sanitizer build on a busy machine.
        using Clock = std::chrono::steady_clock;
        const auto until = Clock::now() + std::chrono::seconds(120);
        Clock::duration slowest{};
        int reads = 0;
        while (Clock::now() < until && (running > 0 || reads < 20))
        {
            const auto start = Clock::now();
            if (reader.readValues({{0, 2255}, nodes[0]}, 13) != 2)
            {
                ADD_FAILURE() << "a Read of the other client failed";
                break;
            }
            slowest = std::max(slowest, Clock::now() - start);
            ++reads;
        }
        for (std::thread& thread : threads)
            thread.join();
        EXPECT_EQ(running, 0) << "the server stopped taking requests from every client that never read";
        EXPECT_GE(reads, 20);
        EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(slowest).count(), 10000);
    }
}
