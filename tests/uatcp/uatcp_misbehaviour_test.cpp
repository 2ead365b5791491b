// Clients that break the protocol or the limits get an Error message and are
// disconnected, and the server keeps serving a well-behaved client.
#include "tcp_client.h"
#include "uatcp_echo_server.h"
#include "uatcp_raw_client.h"

#include <gtest/gtest.h>

#include <functional>

using namespace uatcp;
using namespace uatcp::test;

namespace
{
struct UatcpMisbehaviour : ::testing::Test
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
    // A normal client still gets its answer.
    void expectServing()
    {
        ClientConnection client;
        ASSERT_EQ(client.connect("opc.tcp://127.0.0.1:" + std::to_string(server->port()), ClientSettings{},
                                 nullptr),
                  status::Good);
        Bytes request(100, 7);
        Bytes response;
        ASSERT_EQ(client.invoke(request, response, 30000), status::Good);
        EXPECT_EQ(response, request);
    }
};

struct Case
{
    const char* name;
    std::function<void(ServerSettings&)> configure;
    // Plays the misbehaving client after connecting; returns the expected Error code.
    std::function<uint32_t(RawClient&)> play;
};

Bytes bytesOf(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

const Case kCases[] = {
    {"GarbageBeforeHello", [](ServerSettings&) {},
     [](RawClient& c)
     {
         c.send(bytesOf("GET / HTTP/1.1\r\nHost: x\r\n\r\n"));
         return status::BadTcpMessageTypeInvalid;
     }},
    {"HelloThatNeverComes", [](ServerSettings& s) { s.helloTimeoutMs = 300; },
     [](RawClient&) { return status::BadTimeout; }},
    {"SecondHello", [](ServerSettings&) {},
     [](RawClient& c)
     {
         c.hello();
         c.send(encodeHello(HelloMessage{{0, 65536, 65536, 0, 0}, "opc.tcp://x:1"}));
         return status::BadTcpMessageTypeInvalid;
     }},
    {"TinyBuffersInHello", [](ServerSettings&) {},
     [](RawClient& c)
     {
         c.send(encodeHello(HelloMessage{{0, 1024, 1024, 0, 0}, "opc.tcp://x:1"}));
         return status::BadTcpNotEnoughResources;
     }},
    {"ChunkLargerThanNegotiated", [](ServerSettings&) {},
     [](RawClient& c)
     {
         c.hello(8192);
         c.open();
         c.sendMessage('F', Bytes(9000, 1));
         return status::BadTcpMessageTooLarge;
     }},
    {"MessageLargerThanAllowed", [](ServerSettings& s) { s.limits.maxMessageSize = 20000; },
     [](RawClient& c)
     {
         c.hello();
         c.open();
         for (int i = 0; i < 3; ++i)
             c.sendMessage('C', Bytes(8000, 1));
         return status::BadTcpMessageTooLarge;
     }},
    {"TooManyChunks", [](ServerSettings& s) { s.limits.maxChunkCount = 4; },
     [](RawClient& c)
     {
         c.hello();
         c.open();
         for (int i = 0; i < 5; ++i)
             c.sendMessage('C', Bytes(10, 1));
         return status::BadTcpMessageTooLarge;
     }},
    {"MessageOnUnknownChannel", [](ServerSettings&) {},
     [](RawClient& c)
     {
         c.hello();
         c.send(c.chunk(MessageType::Message, 'F', 12345, 1, 1, 1, Bytes(10, 0)));
         return status::BadTcpSecureChannelUnknown;
     }},
    {"MessageWithForeignChannelId", [](ServerSettings&) {},
     [](RawClient& c)
     {
         c.hello();
         c.open();
         c.send(c.chunk(MessageType::Message, 'F', c.channelId + 1, c.tokenId, c.nextSequence(), 2,
                        Bytes(10, 0)));
         return status::BadTcpSecureChannelUnknown;
     }},
    {"UnknownToken", [](ServerSettings&) {},
     [](RawClient& c)
     {
         c.hello();
         c.open();
         c.send(c.chunk(MessageType::Message, 'F', c.channelId, c.tokenId + 5, c.nextSequence(), 2,
                        Bytes(10, 0)));
         return status::BadSecureChannelTokenUnknown;
     }},
    {"SequenceNumberSkipped", [](ServerSettings&) {},
     [](RawClient& c)
     {
         c.hello();
         c.open();
         c.nextSequence();
         c.sendMessage('F', Bytes(10, 1));
         return status::BadSequenceNumberInvalid;
     }},
    {"PolicyNotOffered", [](ServerSettings&) {},
     [](RawClient& c)
     {
         c.hello();
         c.sendOpen(60000, "http://opcfoundation.org/UA/SecurityPolicy#Basic256");
         return status::BadSecurityPolicyRejected;
     }},
    {"ModeNotOffered", [](ServerSettings&) {},
     [](RawClient& c)
     {
         c.hello();
         c.sendOpen(60000, kSecurityPolicyNone, 3);
         return status::BadSecurityModeRejected;
     }},
    {"RenewWithoutChannel", [](ServerSettings&) {},
     [](RawClient& c)
     {
         c.hello();
         OpenRequest request;
         request.requestType = 1;
         request.securityMode = 1;
         c.send(c.chunk(MessageType::Open, 'F', 0, 0, c.nextSequence(), 1, encodeOpenRequest(request)));
         return status::BadRequestTypeInvalid;
     }},
    {"UndecodableOpen", [](ServerSettings&) {},
     [](RawClient& c)
     {
         c.hello();
         c.send(c.chunk(MessageType::Open, 'F', 0, 0, c.nextSequence(), 1, Bytes(7, 0xFF)));
         return status::BadDecodingError;
     }},
    {"RequestIdAlreadyPending", [](ServerSettings&) {},
     [](RawClient& c)
     {
         c.hello();
         c.open();
         c.sendMessage('F', Bytes(10, 1), 21);
         c.sendMessage('F', Bytes(10, 1), 21);
         return status::BadTcpMessageTypeInvalid;
     }},
    {"TooManyPendingRequests", [](ServerSettings& s) { s.maxPendingRequestsPerChannel = 3; },
     [](RawClient& c)
     {
         c.hello();
         c.open();
         for (uint32_t i = 0; i < 4; ++i)
             c.sendMessage('F', Bytes(10, 1), 10 + i);
         return status::BadTcpNotEnoughResources;
     }},
};
} // namespace

TEST_F(UatcpMisbehaviour, EachViolationGetsItsErrorAndTheServerGoesOn)
{
    for (const auto& c : kCases)
    {
        SCOPED_TRACE(c.name);
        ServerSettings settings = echoSettings();
        c.configure(settings);
        handler.holdRequests = std::string(c.name) == "TooManyPendingRequests" ||
                               std::string(c.name) == "RequestIdAlreadyPending";
        start(settings);
        RawClient raw;
        ASSERT_TRUE(raw.connect(server->port()));
        uint32_t expected = c.play(raw);
        EXPECT_EQ(raw.readError(), expected);
        EXPECT_TRUE(raw.closedByPeer());
        handler.holdRequests = false;
        expectServing();
        server->close();
        server.reset();
    }
}

TEST_F(UatcpMisbehaviour, RefusedOpenIsReportedWithItsStatus)
{
    start(echoSettings());
    RawClient raw;
    ASSERT_TRUE(raw.connect(server->port()));
    ASSERT_TRUE(raw.hello());
    EXPECT_FALSE(raw.open(60000, "http://opcfoundation.org/UA/SecurityPolicy#Basic256"));
    ASSERT_TRUE(handler.waitFor(ChannelEvent::Opened, 1, false));
    EXPECT_EQ(handler.events().front().status, status::BadSecurityPolicyRejected);
}

TEST_F(UatcpMisbehaviour, ConnectionFloodOverTheMaximumIsTurnedAway)
{
    ServerSettings settings = echoSettings();
    settings.maxConnections = 4;
    start(settings);
    std::vector<std::unique_ptr<RawClient>> held;
    for (int i = 0; i < 4; ++i)
    {
        held.push_back(std::make_unique<RawClient>());
        ASSERT_TRUE(held.back()->connect(server->port()));
        ASSERT_TRUE(held.back()->hello());
    }
    for (int i = 0; i < 3; ++i)
    {
        RawClient extra;
        ASSERT_TRUE(extra.connect(server->port()));
        EXPECT_EQ(extra.readError(), status::BadTcpServerTooBusy);
        EXPECT_TRUE(extra.closedByPeer());
    }
    // Once one of the held connections is gone there is room again.
    held.pop_back();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (server->connectionCount() >= 4 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    expectServing();
}

TEST_F(UatcpMisbehaviour, AbortedMessageIsDroppedAndTheChannelGoesOn)
{
    start(echoSettings());
    RawClient raw;
    ASSERT_TRUE(raw.connect(server->port()));
    ASSERT_TRUE(raw.hello());
    ASSERT_TRUE(raw.open());
    ASSERT_TRUE(raw.sendMessage('C', Bytes(100, 1), 5));
    ASSERT_TRUE(raw.sendMessage('A', Bytes(8, 0), 5));
    ASSERT_TRUE(raw.sendMessage('F', Bytes(3, 9), 6));
    auto m = raw.read();
    ASSERT_TRUE(m.has_value());
    ASSERT_EQ(m->header.type, MessageType::Message);
    ChunkInfo info;
    ASSERT_EQ(parseChunkHeaders(m->bytes, info), status::Good);
    ASSERT_EQ(parseSequenceHeader(m->bytes, m->bytes.size(), info), status::Good);
    EXPECT_EQ(info.requestId, 6u);
    EXPECT_EQ(Bytes(m->bytes.begin() + static_cast<long>(info.bodyOffset), m->bytes.end()), Bytes(3, 9));
}
