// A full server makes room for a new client: connections that never say
// Hello (or stall in their handshake) go first, then secure channels that
// carry no activated session; only when nothing may go is the new client
// turned away. Silent connections can no longer lock clients out.
#include "tcp_client.h"
#include "uatcp_echo_server.h"
#include "uatcp_raw_client.h"
#include "uatcp_session_client.h"
#include "uatcp_test_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

using namespace uatcp;
using namespace uatcp::test;

namespace
{
bool waitUntil(const std::function<bool()>& condition)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!condition() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return condition();
}

uint16_t portOf(const std::string& url)
{
    return static_cast<uint16_t>(std::stoi(url.substr(url.rfind(':') + 1)));
}

// True when the raw client's channel still answers a message.
bool echoes(RawClient& raw, uint32_t requestId)
{
    if (!raw.sendMessage('F', Bytes(6, 3), requestId))
        return false;
    auto m = raw.read();
    return m && m->header.type == MessageType::Message;
}

// The peer was sent away to make room (or simply closed).
void expectEvicted(RawClient& raw)
{
    uint32_t error = raw.readError();
    EXPECT_TRUE(error == status::BadTcpServerTooBusy || error == 0) << std::hex << error;
    EXPECT_TRUE(raw.closedByPeer());
}

struct UatcpEviction : ::testing::Test
{
    EchoHandler handler;
    std::unique_ptr<TcpServer> server;
    void start(ServerSettings settings)
    {
        server = std::make_unique<TcpServer>(settings, handler);
        ASSERT_EQ(server->open("opc.tcp://127.0.0.1:0"), status::Good);
    }
    void TearDown() override
    {
        if (server)
            server->close();
    }
    std::string url() const { return "opc.tcp://127.0.0.1:" + std::to_string(server->port()); }
};
} // namespace

TEST_F(UatcpEviction, SilentConnectionsCannotLockClientsOut)
{
    ServerSettings settings = echoSettings();
    // Long enough that no silent connection is closed for its missing Hello during the test.
    settings.helloTimeoutMs = 600000;
    start(settings);
    const size_t limit = settings.maxConnections;
    const size_t silentCount = limit + limit / 2;
    std::vector<std::unique_ptr<RawClient>> silent;
    for (size_t i = 0; i < silentCount; ++i)
    {
        silent.push_back(std::make_unique<RawClient>());
        ASSERT_TRUE(silent.back()->connect(server->port())) << i;
    }
    // The oldest silent connections made room for the newer ones. Once the last of them is gone the
    // server has taken every silent connection, so the client's handshake below waits for no
    // backlog of accepts (slow with a sanitizer on a busy machine) within its time-out.
    const size_t evicted = silentCount - limit + 1;
    for (size_t i = 0; i + 1 < evicted; ++i)
    {
        SCOPED_TRACE(i);
        expectEvicted(*silent[i]);
    }
    // The fresh client is served at once; its connection closes one more silent one.
    ClientConnection client;
    ASSERT_EQ(client.connect(url(), ClientSettings{}, nullptr), status::Good);
    Bytes request(100, 9);
    Bytes response;
    ASSERT_EQ(client.invoke(request, response, 30000), status::Good);
    EXPECT_EQ(response, request);
    expectEvicted(*silent[evicted - 1]);
    EXPECT_TRUE(waitUntil([&] { return server->connectionCount() == limit; }));
    for (size_t i : {evicted, silentCount - 1})
    {
        SCOPED_TRACE(i);
        EXPECT_TRUE(silent[i]->hello());
        EXPECT_TRUE(silent[i]->open());
    }
}

namespace
{
// What each connection of a full server is doing when a new client arrives.
enum class Occupant
{
    Silent,     // connected, nothing sent
    Hello,      // Hello, but no secure channel
    Channel,    // an open secure channel
    WithSession // an open secure channel marked as carrying an activated session
};

struct EvictionCase
{
    const char* name;
    std::vector<Occupant> occupants; // oldest first; they fill the server
    int helloTimeoutMs;
    int waitBeforeNewcomerMs; // lets a handshake go stale
    int victim;               // index of the occupant that makes room, -1 when the newcomer is refused
};

const EvictionCase kEvictionCases[] = {
    {"OldestSilentGoes", {Occupant::Silent, Occupant::Silent}, 600000, 0, 0},
    {"SilentBeforeChannel", {Occupant::Channel, Occupant::Silent}, 600000, 0, 1},
    {"FreshHandshakeIsKeptAChannelGoes", {Occupant::Hello, Occupant::Channel}, 600000, 0, 1},
    {"StalledHandshakeGoes", {Occupant::Channel, Occupant::Hello}, 300, 600, 1},
    {"ChannelWithoutSessionGoesEvenIfNewer", {Occupant::WithSession, Occupant::Channel}, 600000, 0, 1},
    {"SessionsAndFreshHandshakesStay", {Occupant::WithSession, Occupant::Hello}, 600000, 0, -1},
    {"OnlySessionsNewcomerRefused", {Occupant::WithSession, Occupant::WithSession}, 600000, 0, -1},
};

// Checks that an occupant that stayed still works.
void expectAlive(RawClient& raw, Occupant occupant)
{
    switch (occupant)
    {
    case Occupant::Silent:
        EXPECT_TRUE(raw.hello());
        break;
    case Occupant::Hello:
        EXPECT_TRUE(raw.open());
        break;
    default:
        EXPECT_TRUE(echoes(raw, 77));
    }
}
} // namespace

TEST_F(UatcpEviction, WhoMakesRoomForANewClient)
{
    for (const auto& c : kEvictionCases)
    {
        SCOPED_TRACE(c.name);
        ServerSettings settings = echoSettings();
        settings.maxConnections = c.occupants.size();
        settings.helloTimeoutMs = c.helloTimeoutMs;
        start(settings);
        std::vector<std::unique_ptr<RawClient>> occupants;
        for (Occupant kind : c.occupants)
        {
            auto raw = std::make_unique<RawClient>();
            ASSERT_TRUE(raw->connect(server->port()));
            bool hello = kind != Occupant::Silent;
            bool open = kind == Occupant::Channel || kind == Occupant::WithSession;
            ASSERT_TRUE(!hello || raw->hello());
            ASSERT_TRUE(!open || raw->open());
            ASSERT_TRUE(kind != Occupant::WithSession || server->setSessionActive(raw->channelId, true));
            occupants.push_back(std::move(raw));
        }
        ASSERT_TRUE(waitUntil([&] { return server->connectionCount() == c.occupants.size(); }));
        std::this_thread::sleep_for(std::chrono::milliseconds(c.waitBeforeNewcomerMs));

        RawClient newcomer;
        ASSERT_TRUE(newcomer.connect(server->port()));
        if (c.victim < 0)
        {
            EXPECT_EQ(newcomer.readError(), status::BadTcpServerTooBusy);
            EXPECT_TRUE(newcomer.closedByPeer());
        }
        else
        {
            EXPECT_TRUE(newcomer.hello());
            EXPECT_TRUE(newcomer.open());
            expectEvicted(*occupants[static_cast<size_t>(c.victim)]);
        }
        for (size_t i = 0; i < occupants.size(); ++i)
        {
            if (static_cast<int>(i) != c.victim)
            {
                SCOPED_TRACE(i);
                expectAlive(*occupants[i], c.occupants[i]);
            }
        }
        server->close();
        server.reset();
    }
}

TEST_F(UatcpEviction, EvictedChannelIsReportedClosedWithItsReason)
{
    ServerSettings settings = echoSettings();
    settings.maxConnections = 1;
    start(settings);
    RawClient first;
    ASSERT_TRUE(first.connect(server->port()));
    ASSERT_TRUE(first.hello());
    ASSERT_TRUE(first.open());
    RawClient second;
    ASSERT_TRUE(second.connect(server->port()));
    ASSERT_TRUE(second.hello());
    expectEvicted(first);
    ASSERT_TRUE(handler.waitFor(ChannelEvent::Closed, 1, false));
    EXPECT_EQ(handler.events().back().status, status::BadTcpServerTooBusy);
    EXPECT_FALSE(server->setSessionActive(first.channelId, true));
}

// The endpoint marks channels through the stack's API: the test server does so
// when it activates a session.
TEST(UatcpEndpointEviction, ChannelsWithoutSessionMakeRoomForAClientWithOne)
{
    TestServer server;
    ASSERT_TRUE(server.start());
    SessionClient first;
    ASSERT_EQ(first.connect(server.url()), OpcUa_Good);
    ASSERT_TRUE(first.createSession());
    ASSERT_TRUE(first.activateSession());
    // The endpoint's limit is reached with channels that never open a session.
    std::vector<std::unique_ptr<RawClient>> idle;
    for (int i = 0; i < 99; ++i)
    {
        idle.push_back(std::make_unique<RawClient>());
        ASSERT_TRUE(idle.back()->connect(portOf(server.url())));
        ASSERT_TRUE(idle.back()->hello());
        ASSERT_TRUE(idle.back()->open()) << i;
    }
    SessionClient fresh;
    ASSERT_EQ(fresh.connect(server.url()), OpcUa_Good);
    ASSERT_TRUE(fresh.createSession());
    ASSERT_TRUE(fresh.activateSession());
    EXPECT_TRUE(fresh.readDouble());
    // The oldest channel without a session made the room; the older one with a session stays.
    expectEvicted(*idle.front());
    EXPECT_TRUE(first.readDouble());
    // The newest idle channel is still served (an undecodable body is answered with a fault).
    EXPECT_TRUE(echoes(*idle.back(), 5));
}
