// Sessions under several threads (run under ThreadSanitizer too): lookups racing the periodic
// check and CloseSession, and a session moving to another channel while the old one closes.
#include "runtime_fakes.h"

#include <browsecontext.h>

#include <opcua_testclock.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace runtimetest;

namespace
{
class SessionConcurrencyTest : public ::testing::Test
{
protected:
    SessionConcurrencyTest()
    {
        server.config.sessionFactory = [](OpcUa_Int32 id, const UaNodeId& token) -> Session*
        { return new UaSession(static_cast<OpcUa_UInt32>(id), token); };
        manager = std::make_unique<SessionManager>();
        manager->startUp(&server.config, &server.root);
    }

    // A new session activated on channel; the manager holds it alone.
    UaSession* open(OpcUa_UInt32 channel, OpcUa_Double timeout)
    {
        Session* session = nullptr;
        OpcUa_Double revised = 0;
        EXPECT_TRUE(
            manager->createSession(UaString("s"), UaByteString(), timeout, revised, session).isGood());
        UaStringArray locales;
        EXPECT_TRUE(
            manager->activateSession(session->authenticationToken(), channel, nullptr, locales).isGood());
        session->releaseReference();
        return static_cast<UaSession*>(session);
    }

    TestServerManager server;
    std::unique_ptr<SessionManager> manager;
};

TEST_F(SessionConcurrencyTest, ALookedUpSessionOutlivesThePurgeAndCloseSession)
{
    OpcUa::TestClock clock;
    manager = std::make_unique<SessionManager>();
    manager->startUp(&server.config, &server.root);
    manager->secureChannelCreated(1);
    const OpcUa_Int32 liveBefore = Session::instanceCount();
    constexpr int kSessions = 60;
    std::vector<UaNodeId> tokens;
    std::vector<OpcUa_UInt32> ids;
    for (int i = 0; i < kSessions; ++i)
    {
        // The even ones are closed by CloseSession, the odd ones expire.
        UaSession* session = open(1, i % 2 == 0 ? 600000 : 5000);
        tokens.push_back(session->authenticationToken());
        ids.push_back(session->sessionId());
    }

    std::atomic<bool> done{false};
    std::atomic<int> served{0};
    std::atomic<int> running{4};
    std::vector<std::thread> clients;
    for (int c = 0; c < 4; ++c)
        clients.emplace_back(
            [&, c]
            {
                for (int round = 0; round < 200000 && !done; ++round)
                {
                    const UaNodeId& token = tokens[(round * 7 + c) % kSessions];
                    Session* found = manager->findSession(token, round % 2 == 0);
                    if (found == nullptr)
                        continue;
                    auto* session = static_cast<UaSession*>(found);
                    session->startingServiceProcessing();
                    found->releaseReference(); // the service's own count holds it from here
                    if (session->checkSessionValid(1).isGood())
                    {
                        OpcUa_ByteString point;
                        OpcUa_ByteString_Initialize(&point);
                        session->queueBrowseContext(new BrowseContext, point);
                        delete session->getBrowseContext(point);
                        OpcUa_ByteString_Clear(&point);
                        ++served;
                    }
                    session->finishedServiceProcessing();
                }
                --running;
            });
    // Closing and purging start once the lookups are in full swing.
    auto clientsBusy = [&]
    {
        while (served < 2000 && running > 0)
            std::this_thread::yield();
    };
    std::thread closer(
        [&]
        {
            clientsBusy();
            for (int i = 0; i < kSessions; i += 2)
            {
                manager->closeSession(tokens[i], i % 4 == 0);
                manager->detachSessionFromSecureChannel(ids[i], 1);
            }
        });
    std::thread purger(
        [&]
        {
            clientsBusy();
            clock.advance(6000);
            // One check purges every expired session: a lookup racing it cannot revive one.
            manager->checkSessionTimeouts();
        });
    closer.join();
    purger.join();
    done = true;
    for (std::thread& t : clients)
        t.join();

    EXPECT_EQ(0u, manager->sessionCount());
    EXPECT_EQ(0u, manager->counter(SessionManager::CurrentSessionCount));
    EXPECT_EQ(static_cast<OpcUa_UInt32>(kSessions), manager->counter(SessionManager::CumulatedSessionCount));
    EXPECT_EQ(static_cast<OpcUa_UInt32>(kSessions / 2),
              manager->counter(SessionManager::SessionTimeoutCount));
    // Neither the map nor the channel holds them: the lookups' references were the last.
    EXPECT_EQ(liveBefore, Session::instanceCount());
}

TEST_F(SessionConcurrencyTest, ASessionMovedToANewChannelKeepsAnsweringWhenTheOldOneCloses)
{
    FakeEndpoint endpoint;
    for (OpcUa_UInt32 round = 0; round < 25; ++round)
    {
        const OpcUa_UInt32 oldChannel = 2 * round + 1;
        const OpcUa_UInt32 newChannel = 2 * round + 2;
        manager->secureChannelCreated(oldChannel);
        manager->secureChannelCreated(newChannel);
        UaSession* session = open(oldChannel, 60000);
        auto* subscription = new RecordingSubscription(session, round);
        ASSERT_TRUE(session->subscriptionCreated(subscription).isGood());
        UaStringArray locales;
        ASSERT_TRUE(
            manager->activateSession(session->authenticationToken(), newChannel, nullptr, locales).isGood());

        std::vector<OpcUa_Handle> contexts(4);
        std::thread closing([&] { manager->secureChannelDeleted(oldChannel); });
        std::thread publishing(
            [&]
            {
                for (OpcUa_Handle& context : contexts)
                {
                    UaSubscription* late = nullptr;
                    PublishRequestContext* request =
                        newPublishRequest(endpoint, FakeChannel(newChannel), session, round, 0, &context);
                    ASSERT_TRUE(session->queuePublishRequest(request, late).isGood());
                    session->queueSubscriptionForPublish(subscription);
                }
            });
        closing.join();
        publishing.join();
        for (OpcUa_Handle context : contexts)
        {
            const FakeAnswer& answer = endpoint.waitForAnswer(context);
            EXPECT_EQ(FakeAnswerKind::Response, answer.kind) << "round " << round;
        }
        EXPECT_TRUE(session->isSecureChannelValid());
        EXPECT_TRUE(session->checkSessionValid(newChannel).isGood());
        EXPECT_EQ(0u, session->activeServiceCount());
        ASSERT_TRUE(manager->closeSession(session->authenticationToken(), true).isGood());
        manager->secureChannelDeleted(newChannel);
        subscription->releaseReference();
    }
}
} // namespace
