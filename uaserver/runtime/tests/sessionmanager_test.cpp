// The session manager: limits and time-outs at creation, tokens, activation per channel, closing,
// the periodic check and the six counters.
#include "runtime_fakes.h"
#include "uauseridentitytoken.h"

#include <opcua_testclock.hpp>
#include <uatracecapture.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace runtimetest;

namespace
{
const OpcUa_UInt32 kCounterIds[] = {2277, 2278, 2279, 3705, 2281, 2282};

class SessionManagerTest : public ::testing::Test
{
protected:
    SessionManagerTest()
    {
        server.config.sessionFactory = [](OpcUa_Int32 id, const UaNodeId& token) -> Session*
        { return new UaSession(static_cast<OpcUa_UInt32>(id), token); };
        server.config.maxSessionTimeout = 3600000;
    }
    ~SessionManagerTest() override
    {
        manager.reset();
        for (Session* session : m_held)
            session->releaseReference();
    }

    // Starts the manager; with counters the six diagnostics variables exist.
    void start(bool withCounters = true)
    {
        if (withCounters)
        {
            for (OpcUa_UInt32 id : kCounterIds)
            {
                auto* variable = new CounterVariable(id);
                server.root.addLookUpNode(variable);
                m_variables[id] = variable;
                variable->releaseReference();
            }
        }
        ASSERT_TRUE(manager->startUp(&server.config, &server.root).isGood());
    }

    // A new open session; the test keeps the creation reference until its end.
    UaSession* create(OpcUa_Double timeout = 60000, OpcUa_Double* revised = nullptr, OpcUa_UInt32 channel = 0)
    {
        Session* session = nullptr;
        OpcUa_Double revisedTimeout = -1;
        const UaStatus result = manager->createSession(UaString("test session"), UaByteString(), timeout,
                                                       revisedTimeout, session, channel);
        if (revised != nullptr)
            *revised = revisedTimeout;
        if (result.isNotGood())
            return nullptr;
        m_held.push_back(session);
        return static_cast<UaSession*>(session);
    }

    UaStatus activate(Session* session, OpcUa_UInt32 channel, UaUserIdentityToken* token = nullptr)
    {
        UaStringArray locales;
        return manager->activateSession(session->authenticationToken(), channel, token, locales);
    }

    // The value last written to a counter variable; -1 before any write.
    OpcUa_Int64 written(OpcUa_UInt32 id) { return m_variables.at(id)->written(); }

    TestServerManager server;
    std::unique_ptr<SessionManager> manager = std::make_unique<SessionManager>();

private:
    std::vector<Session*> m_held;
    std::map<OpcUa_UInt32, CounterVariable*> m_variables;
};

TEST_F(SessionManagerTest, TimeOutsAreRevisedWithinTheConfiguredRange)
{
    start();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct
    {
        OpcUa_UInt32 minimum;
        OpcUa_UInt32 maximum;
        OpcUa_Double requested;
        OpcUa_Double revised;
    } rows[] = {
        {1000, 0, 2000, 5000},     // a minimum below 5000 acts as 5000
        {1000, 0, 7000.9, 7000},   // truncated
        {0, 60000, 120000, 60000}, // twice the maximum
        {0, 60000, 0, 60000},      // 0 is no longer beyond the maximum
        {0, 60000, nan, 60000},    // NaN counts as 0
        {0, 60000, -1, 60000},     // so does a negative request
        {0, 60000, 1e12, 60000},   // far too large
        {0, 0, 0, 3600000},        // a maximum of 0 is the built-in hour, not for ever
        {0, 0, 1e12, 3600000},     {0, 0, 4294967295.0, 3600000},
        {0, 0, 7200000, 3600000},  {20000, 8000, 1, 20000}, // the minimum has the last word
    };
    for (const auto& row : rows)
    {
        server.config.minSessionTimeout = row.minimum;
        server.config.maxSessionTimeout = row.maximum;
        OpcUa_Double revised = -1;
        UaSession* session = create(row.requested, &revised);
        ASSERT_NE(nullptr, session) << row.requested;
        EXPECT_EQ(row.revised, revised) << row.requested << " within " << row.minimum << ".." << row.maximum;
        EXPECT_EQ(row.revised, static_cast<OpcUa_Double>(session->sessionTimeout())) << row.requested;
    }
}

TEST_F(SessionManagerTest, AThirdSessionOverAMaximumOfTwoIsRefusedAndCounted)
{
    start();
    server.config.maxSessionCount = 2;
    manager->secureChannelCreated(1);
    UaSession* first = create();
    ASSERT_NE(nullptr, first);
    UaSession* second = create();
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(2, server.root.opened);
    // Both in use: none can be given up for a newcomer.
    ASSERT_TRUE(activate(first, 1).isGood());
    ASSERT_TRUE(activate(second, 1).isGood());

    Session* third = reinterpret_cast<Session*>(1);
    OpcUa_Double revised = 0;
    EXPECT_EQ(OpcUa_BadTooManySessions,
              manager->createSession(UaString("third"), UaByteString(), 1000, revised, third).statusCode());
    EXPECT_EQ(nullptr, third);
    EXPECT_EQ(2u, manager->counter(SessionManager::CurrentSessionCount));
    EXPECT_EQ(2u, manager->counter(SessionManager::CumulatedSessionCount));
    EXPECT_EQ(1u, manager->counter(SessionManager::RejectedSessionCount));
    EXPECT_EQ(2, written(2277));
    EXPECT_EQ(2, written(2278));
    EXPECT_EQ(1, written(3705));
    EXPECT_EQ(-1, written(2279)); // never changed here
    EXPECT_EQ(-1, written(2282));

    ASSERT_TRUE(manager->closeSession(second->authenticationToken(), true).isGood());
    EXPECT_NE(nullptr, create());
    EXPECT_EQ(2, written(2277));
    EXPECT_EQ(3, written(2278));
}

// A channel that creates sessions and never activates them makes room among its own: past its
// share it gives up its oldest, and a full table gives up the oldest of the channel holding the
// most, never the session a client with one is about to activate.
TEST_F(SessionManagerTest, SessionsNeverActivatedMakeRoomOnTheChannelHoldingTheMost)
{
    OpcUa::TestClock clock;
    manager = std::make_unique<SessionManager>();
    start();
    server.config.maxSessionCount = SessionManager::kMaxUnactivatedPerChannel + 2;
    auto createOn = [&](OpcUa_UInt32 channel)
    {
        clock.advance(10);
        return create(60000, nullptr, channel);
    };
    UaSession* client = createOn(7);
    std::vector<UaSession*> flood;
    for (OpcUa_UInt32 i = 0; i < SessionManager::kMaxUnactivatedPerChannel; ++i)
        flood.push_back(createOn(9));
    ASSERT_EQ(SessionManager::kMaxUnactivatedPerChannel + 1, manager->sessionCount());

    // Past its share, with room in the table: the channel's own oldest goes.
    ASSERT_NE(nullptr, createOn(9));
    EXPECT_TRUE(flood[0]->isClosed());
    EXPECT_EQ(SessionManager::kMaxUnactivatedPerChannel + 1, manager->sessionCount());
    // The table full: another channel's newcomer takes the place of the flood's oldest.
    ASSERT_NE(nullptr, createOn(8));
    ASSERT_NE(nullptr, createOn(8));
    EXPECT_TRUE(flood[1]->isClosed());
    EXPECT_FALSE(client->isClosed());
    EXPECT_EQ(2u, manager->counter(SessionManager::SessionAbortCount));
    manager->secureChannelCreated(7);
    EXPECT_TRUE(activate(client, 7).isGood());
}

// A configured maximum of 0 is no licence for an unbounded table: 100 sessions at most.
TEST_F(SessionManagerTest, AMaximumOfZeroSessionsMeansTheBuiltInCeiling)
{
    start();
    server.config.maxSessionCount = 0;
    manager->secureChannelCreated(1);
    for (OpcUa_UInt32 i = 0; i < SessionManager::kMaxSessionCountCeiling; ++i)
    {
        UaSession* session = create();
        ASSERT_NE(nullptr, session) << i;
        ASSERT_TRUE(activate(session, 1).isGood());
    }
    EXPECT_EQ(nullptr, create());
    EXPECT_EQ(1u, manager->counter(SessionManager::RejectedSessionCount));
    EXPECT_EQ(SessionManager::kMaxSessionCountCeiling, manager->sessionCount());
}

// Sessions nobody activates cannot keep others out: a full table gives up the one that waits
// longest for its activation, and refuses only when every session is in use.
TEST_F(SessionManagerTest, AFullTableGivesUpItsOldestNeverActivatedSession)
{
    OpcUa::TestClock clock;
    manager = std::make_unique<SessionManager>();
    start();
    server.config.maxSessionCount = 3;
    manager->secureChannelCreated(1);
    UaSession* inUse = create();
    ASSERT_TRUE(activate(inUse, 1).isGood());
    UaSession* older = create();
    clock.advance(1000);
    UaSession* newer = create();

    UaSession* fresh = create();
    ASSERT_NE(nullptr, fresh);
    EXPECT_TRUE(older->isClosed());
    EXPECT_EQ(nullptr, manager->findSession(older->authenticationToken(), false));
    EXPECT_FALSE(newer->isClosed());
    EXPECT_FALSE(inUse->isClosed());
    EXPECT_EQ(1, server.root.closed);
    EXPECT_EQ(3u, manager->counter(SessionManager::CurrentSessionCount));
    EXPECT_EQ(1u, manager->counter(SessionManager::SessionAbortCount));
    EXPECT_EQ(1, written(2282));
    EXPECT_EQ(0u, manager->counter(SessionManager::RejectedSessionCount));

    ASSERT_TRUE(activate(newer, 1).isGood());
    ASSERT_TRUE(activate(fresh, 1).isGood());
    EXPECT_EQ(nullptr, create());
    EXPECT_EQ(1u, manager->counter(SessionManager::RejectedSessionCount));
    EXPECT_EQ(3u, manager->sessionCount());
}

// Ten seconds to activate, whatever the time-out: later the activation is refused before any
// logon, and the periodic check closes the session as timed out.
TEST_F(SessionManagerTest, ASessionNotActivatedWithinTenSecondsIsClosed)
{
    OpcUa::TestClock clock;
    manager = std::make_unique<SessionManager>();
    start();
    manager->secureChannelCreated(1);
    int logons = 0;
    server.config.logon = [&](Session*, UaUserIdentityToken*) -> UaStatus
    {
        ++logons;
        return OpcUa_Good;
    };
    UaSession* late = create(3600000);
    UaSession* waiting = create(3600000);
    UaSession* used = create(3600000);
    ASSERT_TRUE(activate(used, 1).isGood());
    clock.advance(Session::kActivationTimeLimit - 1);
    manager->checkSessionTimeouts();
    EXPECT_EQ(3u, manager->sessionCount());
    ASSERT_TRUE(activate(waiting, 1).isGood()); // just in time

    clock.advance(1);
    EXPECT_EQ(OpcUa_BadSessionIdInvalid, activate(late, 1).statusCode());
    EXPECT_EQ(2, logons);
    EXPECT_FALSE(late->isActivated());
    manager->checkSessionTimeouts();
    EXPECT_TRUE(late->isClosed());
    EXPECT_FALSE(waiting->isClosed());
    EXPECT_FALSE(used->isClosed());
    EXPECT_EQ(1u, manager->counter(SessionManager::SessionTimeoutCount));
    EXPECT_EQ(2u, manager->sessionCount());
}

// The stack keeps a channel that carries an activated session when it must make room; the mark
// goes when the channel's last session closes, expires or moves to another channel.
TEST_F(SessionManagerTest, TheChannelMarkFollowsItsActivatedSessions)
{
    OpcUa::TestClock clock;
    manager = std::make_unique<SessionManager>();
    start();
    std::vector<std::pair<OpcUa_UInt32, bool>> marks;
    manager->setChannelMarker([&](OpcUa_UInt32 channel, bool carries)
                              { marks.emplace_back(channel, carries); });
    using Marks = std::vector<std::pair<OpcUa_UInt32, bool>>;
    manager->secureChannelCreated(1);
    manager->secureChannelCreated(2);
    UaSession* first = create();
    UaSession* second = create();
    ASSERT_TRUE(activate(first, 1).isGood());
    ASSERT_TRUE(activate(second, 1).isGood());
    EXPECT_EQ((Marks{{1, true}, {1, true}}), marks);

    marks.clear();
    ASSERT_TRUE(manager->closeSession(first->authenticationToken(), true).isGood());
    manager->detachSessionFromSecureChannel(first->sessionId(), 1);
    EXPECT_EQ((Marks{{1, true}, {1, true}}), marks); // the second one still carries it
    marks.clear();
    ASSERT_TRUE(manager->closeSession(second->authenticationToken(), true).isGood());
    EXPECT_EQ((Marks{{1, false}}), marks);

    marks.clear();
    UaSession* moving = create(5000);
    ASSERT_TRUE(activate(moving, 1).isGood());
    ASSERT_TRUE(activate(moving, 2).isGood());
    EXPECT_EQ((Marks{{1, true}, {1, false}, {2, true}}), marks);

    marks.clear();
    clock.advance(6000);
    manager->checkSessionTimeouts();
    EXPECT_TRUE(moving->isClosed());
    EXPECT_EQ((Marks{{2, false}}), marks);

    // A channel that is gone is not marked.
    marks.clear();
    manager->secureChannelCreated(3);
    UaSession* last = create();
    ASSERT_TRUE(activate(last, 3).isGood());
    manager->secureChannelDeleted(3);
    ASSERT_TRUE(manager->closeSession(last->authenticationToken(), true).isGood());
    EXPECT_EQ((Marks{{3, true}}), marks);
}

// A session that cannot be opened.
class UnopenableSession : public UaSession
{
public:
    using UaSession::UaSession;
    UaStatus open(const UaString&, const UaByteString&, OpcUa_UInt32) override
    {
        return OpcUa_BadResourceUnavailable;
    }
};

TEST_F(SessionManagerTest, EveryFailedCreationIsCountedAsRejected)
{
    Session* session = nullptr;
    OpcUa_Double revised = 0;
    // Not started.
    EXPECT_EQ(OpcUa_BadInternalError,
              manager->createSession(UaString("s"), UaByteString(), 1000, revised, session).statusCode());
    start();
    EXPECT_EQ(1u, manager->counter(SessionManager::RejectedSessionCount));
    server.config.sessionSettingsResult = OpcUa_BadConfigurationError;
    EXPECT_EQ(OpcUa_BadConfigurationError,
              manager->createSession(UaString("s"), UaByteString(), 1000, revised, session).statusCode());
    server.config.sessionSettingsResult = OpcUa_Good;
    auto factory = server.config.sessionFactory;
    server.config.sessionFactory = nullptr;
    EXPECT_EQ(OpcUa_BadOutOfMemory,
              manager->createSession(UaString("s"), UaByteString(), 1000, revised, session).statusCode());
    const OpcUa_Int32 live = Session::instanceCount();
    server.config.sessionFactory = [](OpcUa_Int32 id, const UaNodeId& token) -> Session*
    { return new UnopenableSession(static_cast<OpcUa_UInt32>(id), token); };
    EXPECT_EQ(OpcUa_BadResourceUnavailable,
              manager->createSession(UaString("s"), UaByteString(), 1000, revised, session).statusCode());
    EXPECT_EQ(live, Session::instanceCount()); // released, never entered
    EXPECT_EQ(nullptr, session);
    EXPECT_EQ(0u, manager->sessionCount());
    EXPECT_EQ(4, written(3705));
    EXPECT_EQ(0u, manager->counter(SessionManager::CumulatedSessionCount));
}

// The token is the session's secret: 32 random bytes in namespace 0, and nothing but those bytes
// finds the session (not its public id, not a token off by one bit).
TEST_F(SessionManagerTest, OnlyTheSessionsOwnRandomTokenFindsIt)
{
    start();
    UaSession* session = create();
    const UaNodeId token = session->authenticationToken();
    ASSERT_EQ(OpcUa_IdentifierType_Opaque, token.identifierType());
    ASSERT_EQ(0, token.namespaceIndex());
    const OpcUa_ByteString& bytes = token.toOpcUaNodeId()->Identifier.ByteString;
    ASSERT_EQ(SessionManager::kAuthenticationTokenLength, bytes.Length);
    const std::vector<OpcUa_Byte> secret(bytes.Data, bytes.Data + bytes.Length);
    auto opaque = [](std::vector<OpcUa_Byte> data, OpcUa_UInt16 ns)
    {
        UaNodeId id;
        id.setNodeId(UaByteString(static_cast<OpcUa_Int32>(data.size()), data.data()), ns);
        return id;
    };
    std::vector<OpcUa_Byte> flipped = secret;
    flipped[17] ^= 0x01;
    const std::vector<OpcUa_Byte> shorter(secret.begin(), secret.end() - 1);
    const OpcUa_UInt32 id = session->sessionId();
    const UaNodeId tokens[] = {UaNodeId(id, 0),    UaNodeId(UaString(std::to_string(id).c_str()), 0),
                               opaque(secret, 2),  opaque(flipped, 0),
                               opaque(shorter, 0), session->sessionNodeId(),
                               UaNodeId()};
    for (const UaNodeId& other : tokens)
    {
        EXPECT_EQ(nullptr, manager->findSession(other, false)) << other.toFullString().toUtf8();
        UaStringArray locales;
        EXPECT_EQ(OpcUa_BadSessionIdInvalid,
                  manager->activateSession(other, 1, nullptr, locales).statusCode());
        EXPECT_EQ(OpcUa_BadSessionIdInvalid, manager->closeSession(other, true).statusCode());
    }
    EXPECT_EQ(1u, manager->sessionCount());
    EXPECT_EQ(1u, manager->counter(SessionManager::CurrentSessionCount));

    const OpcUa_Int32 references = session->referenceCount();
    Session* found = manager->findSession(opaque(secret, 0), false);
    EXPECT_EQ(session, found);
    EXPECT_EQ(references + 1, session->referenceCount()); // the caller's own
    found->releaseReference();
}

TEST_F(SessionManagerTest, FindingWithRefreshCountsAsContact)
{
    OpcUa::TestClock clock;
    manager = std::make_unique<SessionManager>();
    start();
    UaSession* session = create(5000);
    clock.advance(4000);
    manager->findSession(session->authenticationToken(), true)->releaseReference();
    clock.advance(4000);
    EXPECT_FALSE(session->hasExpired());
    manager->findSession(session->authenticationToken(), false)->releaseReference();
    clock.advance(2000);
    EXPECT_TRUE(session->hasExpired());
}

TEST_F(SessionManagerTest, ActivationNeedsAKnownChannelAndAGoodLogon)
{
    start();
    UaSession* session = create();
    EXPECT_EQ(OpcUa_BadSecureChannelIdInvalid, activate(session, 9).statusCode());
    manager->secureChannelCreated(9);

    std::vector<OpcUa_UInt32> logonKinds;
    OpcUa_StatusCode logonResult = OpcUa_BadUserAccessDenied;
    server.config.logon = [&](Session* s, UaUserIdentityToken* token) -> UaStatus
    {
        EXPECT_EQ(session, s);
        logonKinds.push_back(token != nullptr ? token->getType() : 99);
        return logonResult;
    };
    UaUserIdentityTokenUserName user;
    user.userName = UaString("mallory");
    const OpcUa_Int32 unlisted = session->referenceCount();
    EXPECT_EQ(OpcUa_BadUserAccessDenied, activate(session, 9, &user).statusCode());
    EXPECT_FALSE(session->isActivated());
    EXPECT_EQ(0, server.root.activated);
    EXPECT_EQ(unlisted, session->referenceCount()); // a refused logon leaves it on no channel
    EXPECT_EQ(OpcUa_BadSessionNotActivated, session->checkSessionValid(9).statusCode());

    logonResult = OpcUa_Good;
    user.userName = UaString("operator");
    ASSERT_TRUE(activate(session, 9, &user).isGood());
    EXPECT_EQ(unlisted + 1, session->referenceCount()); // listed on channel 9
    EXPECT_TRUE(session->isActivated());
    EXPECT_EQ(UaString("operator"), session->userName());
    EXPECT_EQ(1, server.root.activated);
    EXPECT_TRUE(session->checkSessionValid(9).isGood());

    UaUserIdentityTokenCertificate x509;
    x509.userCertificate = certificateOf("Cell Controller");
    ASSERT_TRUE(activate(session, 9, &x509).isGood());
    EXPECT_EQ(2u, session->identityType());
    EXPECT_EQ(UaString("Cell Controller"), session->userName());
    EXPECT_EQ(unlisted + 1, session->referenceCount()); // listed once

    // Moved to another channel: off the old list, on the new one.
    manager->secureChannelCreated(10);
    ASSERT_TRUE(activate(session, 10).isGood());
    EXPECT_EQ(unlisted + 1, session->referenceCount());
    manager->detachSessionFromSecureChannel(session->sessionId(), 10);
    EXPECT_EQ(unlisted, session->referenceCount());
    EXPECT_EQ((std::vector<OpcUa_UInt32>{1, 1, 2, 99}), logonKinds);
}

TEST_F(SessionManagerTest, ClosingHandsBackTheSessionsCloseAndCounts)
{
    start();
    UaSession* session = create();
    manager->secureChannelCreated(1);
    ASSERT_TRUE(activate(session, 1).isGood());
    auto* subscription = new RecordingSubscription(session, 5);
    ASSERT_TRUE(session->subscriptionCreated(subscription).isGood());

    ASSERT_TRUE(manager->closeSession(session->authenticationToken(), true).isGood());
    EXPECT_TRUE(session->isClosed());
    EXPECT_EQ((std::vector<bool>{true}), subscription->closeCalls); // closing with its session
    EXPECT_EQ(1, server.root.closed);
    EXPECT_EQ(0u, manager->counter(SessionManager::CurrentSessionCount));
    EXPECT_EQ(0, written(2277));
    EXPECT_EQ(nullptr, manager->findSession(session->authenticationToken(), false));
    EXPECT_EQ(OpcUa_BadSessionIdInvalid,
              manager->closeSession(session->authenticationToken(), true).statusCode());
    subscription->releaseReference();

    // The channel's list keeps it until the service detaches it; the channel lives on, and
    // requests of the session still in progress are answered on it.
    EXPECT_TRUE(session->isSecureChannelValid());
    manager->detachSessionFromSecureChannel(session->sessionId(), 1);
    EXPECT_TRUE(session->isSecureChannelValid());
}

TEST_F(SessionManagerTest, ADeletedChannelInvalidatesOnlyTheSessionsStillOnIt)
{
    start();
    UaSession* stays = create();
    UaSession* moves = create();
    manager->secureChannelCreated(1);
    manager->secureChannelCreated(2);
    ASSERT_TRUE(activate(stays, 1).isGood());
    ASSERT_TRUE(activate(moves, 1).isGood());
    ASSERT_TRUE(activate(moves, 2).isGood());
    manager->secureChannelDeleted(1);
    EXPECT_FALSE(stays->isSecureChannelValid());
    EXPECT_TRUE(moves->isSecureChannelValid());
    EXPECT_TRUE(moves->checkSessionValid(2).isGood());
    manager->secureChannelDeleted(2);
    EXPECT_FALSE(moves->isSecureChannelValid());

    UaTraceCapture trace(6);
    manager->secureChannelDeleted(2);
    manager->detachSessionFromSecureChannel(moves->sessionId(), 2);
    manager->secureChannelCreated(3);
    manager->detachSessionFromSecureChannel(moves->sessionId(), 3);
    EXPECT_TRUE(
        trace.contains(6, "<-- SessionManager::secureChannelDeleted - did not find the SecureChannelId"));
    EXPECT_TRUE(trace.contains(
        6, "<-- SessionManager::detachSessionFromSecureChannel - did not find the SecureChannelId"));
    EXPECT_TRUE(trace.contains(6, "--> SessionManager::secureChannelCreated SecureChannelId = 3"));
    EXPECT_TRUE(trace.contains(6, "<-- SessionManager::detachSessionFromSecureChannel - Session is not set"));
}

TEST_F(SessionManagerTest, ThePeriodicCheckClosesExpiredAndMarkedSessionsOnce)
{
    OpcUa::TestClock clock;
    manager = std::make_unique<SessionManager>();
    start();
    manager->secureChannelCreated(1);
    UaSession* expiring = create(5000);
    UaSession* lasting = create(60000);
    UaSession* neverActivated = create(60000);
    ASSERT_TRUE(activate(expiring, 1).isGood());
    ASSERT_TRUE(activate(lasting, 1).isGood());
    auto* subscription = new RecordingSubscription(expiring, 8);
    ASSERT_TRUE(expiring->subscriptionCreated(subscription).isGood());
    EXPECT_EQ(OpcUa_BadSessionNotActivated, neverActivated->checkSessionValid(1).statusCode());

    clock.advance(6000);
    manager->checkSessionTimeouts();
    EXPECT_EQ(1u, manager->sessionCount());
    EXPECT_NE(nullptr, manager->findSession(lasting->authenticationToken(), false));
    lasting->releaseReference();
    EXPECT_TRUE(expiring->isClosed());
    EXPECT_TRUE(neverActivated->isClosed());
    EXPECT_TRUE(subscription->closeCalls.empty()); // kept for a transfer
    EXPECT_TRUE(expiring->isSecureChannelValid()); // its channel lives on
    EXPECT_EQ(2, server.root.closed);
    EXPECT_EQ(2u, manager->counter(SessionManager::SessionTimeoutCount));
    EXPECT_EQ(1u, manager->counter(SessionManager::CurrentSessionCount));
    EXPECT_EQ(2, written(2281));
    EXPECT_EQ(1, written(2277));

    manager->checkSessionTimeouts();
    EXPECT_EQ(2u, manager->counter(SessionManager::SessionTimeoutCount));
    EXPECT_EQ(1u, manager->sessionCount());
    subscription->releaseReference();
}

TEST_F(SessionManagerTest, TheObjectCountsAreTracedOnTheFirstAndEverySixtiethCheck)
{
    start();
    UaTraceCapture trace(6);
    const std::string sessionLine = "Object Counts:        Session        = ";
    auto countLines = [&]
    {
        int n = 0;
        for (const std::string& text : trace.texts())
            n += text.rfind(sessionLine, 0) == 0;
        return n;
    };
    create();
    manager->checkSessionTimeouts();
    EXPECT_EQ(1, countLines());
    bool found = false;
    char expected[64];
    std::snprintf(expected, sizeof expected, "Object Counts:        Session        = %5d",
                  static_cast<int>(Session::instanceCount()));
    found = trace.contains(6, expected);
    EXPECT_TRUE(found) << expected;
    for (int call = 2; call <= 60; ++call)
        manager->checkSessionTimeouts();
    EXPECT_EQ(1, countLines());
    manager->checkSessionTimeouts(); // the 61st
    EXPECT_EQ(2, countLines());
    int nodeLines = 0;
    for (const std::string& text : trace.texts())
        nodeLines += text.rfind("UaNode       = ", 0) == 0 || text.rfind("UaMethod     = ", 0) == 0 ||
                     text.rfind("UaObjectType = ", 0) == 0;
    EXPECT_EQ(6, nodeLines);
}

TEST_F(SessionManagerTest, WithoutTheCounterVariablesTheCountsGoOn)
{
    UaTraceCapture trace(2);
    start(false);
    for (OpcUa_UInt32 id : kCounterIds)
        EXPECT_TRUE(trace.contains(2, "SessionManager::startUp - diagnostic node i=" + std::to_string(id) +
                                          " not found"))
            << id;
    UaSession* session = create();
    ASSERT_NE(nullptr, session);
    EXPECT_EQ(1u, manager->counter(SessionManager::CurrentSessionCount));
    EXPECT_EQ(1u, manager->counter(SessionManager::CumulatedSessionCount));
}

TEST_F(SessionManagerTest, StartUpTakesAConfigurationOnce)
{
    EXPECT_EQ(OpcUa_BadInvalidArgument, manager->startUp(nullptr, &server.root).statusCode());
    EXPECT_FALSE(manager->isStarted());
    start();
    const UaStatus again = manager->startUp(&server.config, &server.root);
    EXPECT_EQ(OpcUa_BadInternalError, again.statusCode());
    EXPECT_TRUE(manager->isStarted());
}

TEST_F(SessionManagerTest, ClosingAllKeepsTheManagerAndShutDownStopsIt)
{
    start();
    manager->secureChannelCreated(4);
    UaSession* first = create();
    UaSession* second = create();
    ASSERT_TRUE(activate(first, 4).isGood());
    auto* subscription = new RecordingSubscription(first, 1);
    first->subscriptionCreated(subscription);

    ASSERT_TRUE(manager->closeAllUaSessions().isGood());
    EXPECT_TRUE(first->isClosed());
    EXPECT_TRUE(second->isClosed());
    EXPECT_EQ((std::vector<bool>{true}), subscription->closeCalls);
    EXPECT_TRUE(first->isSecureChannelValid()); // its channel lives on
    EXPECT_EQ(0u, manager->counter(SessionManager::CurrentSessionCount));
    EXPECT_EQ(0, server.root.closed); // the root node manager is not told
    subscription->releaseReference();

    UaSession* third = create();
    ASSERT_NE(nullptr, third);
    ASSERT_TRUE(manager->shutDown().isGood());
    EXPECT_TRUE(third->isClosed());
    EXPECT_EQ(1u, manager->counter(SessionManager::CurrentSessionCount)); // shut-down counts nothing
    EXPECT_FALSE(manager->isStarted());
    EXPECT_EQ(OpcUa_BadInternalError, manager->shutDown().statusCode());
    EXPECT_EQ(OpcUa_BadInternalError, manager->closeAllUaSessions().statusCode());
    EXPECT_EQ(nullptr, create());
}

TEST_F(SessionManagerTest, AThousandSessionsGetDistinctRandomIdsAndTokens)
{
    start();
    server.config.maxSessionCount = 1000;
    std::set<OpcUa_UInt32> ids;
    std::set<std::string> tokens;
    std::vector<OpcUa_UInt32> order;
    for (int i = 0; i < 1000; ++i)
    {
        UaSession* session = create();
        ASSERT_NE(nullptr, session);
        const OpcUa_UInt32 id = session->sessionId();
        EXPECT_GE(id, 1u);
        EXPECT_LE(id, 0x7FFFFFFFu);
        ids.insert(id);
        order.push_back(id);
        const OpcUa_ByteString& token = session->authenticationToken().toOpcUaNodeId()->Identifier.ByteString;
        tokens.insert(
            std::string(reinterpret_cast<const char*>(token.Data), static_cast<size_t>(token.Length)));
    }
    EXPECT_EQ(1000u, ids.size());
    EXPECT_EQ(1000u, tokens.size());
    int successors = 0;
    for (size_t i = 1; i < order.size(); ++i)
        successors += order[i] == order[i - 1] + 1;
    EXPECT_LT(successors, 5); // a counter would give 999
}
} // namespace
