// Sessions against the test server on the wire, as raw peers that pipeline their requests: every
// request around a CloseSession is answered, and a flood of CreateSession keeps no client out.
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

// Channels that pipeline CreateSession and never activate fill the session table over and over;
// a client that activates 50 ms after its CreateSession gets in every time all the same.
TEST(SessionsOnTheWire, AClientActivatingSoonGetsInWhileChannelsFloodCreateSession)
{
    TestServerProcess server({});
    ASSERT_FALSE(server.url().empty());
    const auto port = static_cast<uint16_t>(server.port());
    constexpr int kFlooders = 20;
    constexpr int kBatch = 10;
    constexpr int kAttempts = 30;
    constexpr int kTableSize = 100; // the test server's
    const auto until = Clock::now() + std::chrono::seconds(30);
    std::atomic<bool> stop{false};
    std::atomic<int> floodSessions{0};
    std::vector<std::thread> flooders;
    for (int f = 0; f < kFlooders; ++f)
        flooders.emplace_back(
            [&]
            {
                PipelinedSession flood;
                if (!flood.connect(port))
                    return;
                for (int batch = 0; batch < 20000 && !stop && Clock::now() < until; ++batch)
                {
                    for (int i = 0; i < kBatch; ++i)
                        if (flood.sendCreateSession() == 0)
                            return;
                    for (int i = 0; i < kBatch; ++i)
                    {
                        PipelinedSession::Answer answer;
                        if (!flood.read(answer, 10000))
                            return;
                        if (OpcUa_IsGood(answer.serviceResult()))
                            ++floodSessions;
                    }
                }
            });
    // The table (100 sessions) is full of the flood's before the client comes.
    while (floodSessions < kTableSize && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    PipelinedSession client;
    ASSERT_TRUE(client.connect(port));
    int admitted = 0;
    for (int attempt = 0; attempt < kAttempts; ++attempt)
    {
        const OpcUa_StatusCode created = client.createSession();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const OpcUa_StatusCode activated = OpcUa_IsGood(created) ? client.activateSession() : created;
        EXPECT_EQ(OpcUa_Good, activated) << "attempt " << attempt;
        if (OpcUa_IsGood(activated))
        {
            ++admitted;
            PipelinedSession::Answer closed;
            const uint32_t close = client.sendCloseSession();
            ASSERT_TRUE(close != 0 && client.read(closed));
        }
    }
    const int flooded = floodSessions.load();
    stop = true;
    for (std::thread& flooder : flooders)
        flooder.join();
    EXPECT_EQ(kAttempts, admitted) << "while the flood made " << flooded << " sessions";
    EXPECT_GE(flooded, kTableSize);
}
