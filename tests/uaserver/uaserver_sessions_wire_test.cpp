// Sessions against the test server on the wire, as raw peers that pipeline their requests: every
// request around a CloseSession is answered.
#include "uaserver_wire.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

using namespace uaserver::wire;
using Clock = std::chrono::steady_clock;

namespace
{
constexpr NodeNumber kCurrentTime{0, 2258};
}

// Read of 500 values, CloseSession and a Read sent back to back on one session, round after round
// from a few clients at once: each request gets exactly one answer on the channel that stays open.
TEST(SessionsOnTheWire, EveryRequestPipelinedAroundCloseSessionIsAnswered)
{
    TestServerProcess server({});
    ASSERT_FALSE(server.url().empty());
    const std::vector<NodeNumber> many(500, kCurrentTime);
    constexpr int kClients = 4;
    constexpr int kRounds = 100;
    const auto until = Clock::now() + std::chrono::seconds(5);
    std::atomic<int> rounds{0};
    std::atomic<int> unanswered{0};
    std::atomic<int> wrong{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c)
        clients.emplace_back(
            [&]
            {
                PipelinedSession session;
                if (!session.connect(static_cast<uint16_t>(server.port())))
                {
                    ++wrong;
                    return;
                }
                for (int round = 0; round < kRounds && Clock::now() < until; ++round)
                {
                    if (OpcUa_IsBad(session.createSession()) || OpcUa_IsBad(session.activateSession()))
                    {
                        ++wrong;
                        return;
                    }
                    const uint32_t bigRead = session.sendRead(many);
                    const uint32_t close = session.sendCloseSession();
                    const uint32_t lateRead = session.sendRead({kCurrentTime});
                    std::set<uint32_t> waiting{bigRead, close, lateRead};
                    while (!waiting.empty())
                    {
                        PipelinedSession::Answer answer;
                        if (!session.read(answer, 5000))
                        {
                            unanswered += static_cast<int>(waiting.size());
                            return;
                        }
                        if (waiting.erase(answer.requestId) != 1)
                            ++wrong; // an answer twice, or to nothing asked
                        else if (answer.requestId == close && OpcUa_IsBad(answer.serviceResult()))
                            ++wrong;
                        else if (answer.requestId == bigRead && OpcUa_IsGood(answer.serviceResult()) &&
                                 static_cast<OpcUa_ReadResponse*>(answer.message)->NoOfResults != 500)
                            ++wrong;
                    }
                    ++rounds;
                }
            });
    for (std::thread& client : clients)
        client.join();
    EXPECT_EQ(0, unanswered.load()) << "after " << rounds.load() << " whole rounds";
    EXPECT_EQ(0, wrong.load());
    EXPECT_GT(rounds.load(), 0);
    Client after;
    ASSERT_TRUE(after.open(server.url()));
    EXPECT_EQ(1, after.readValues({kCurrentTime}, 13));
}
