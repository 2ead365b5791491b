// Our client and server transport against each other over loopback: chunked
// messages, concurrent clients with out-of-order responses, token renewal and
// expiry, orderly close and late responses.
#include "chunk_io.h"
#include "tcp_client.h"
#include "uatcp_echo_server.h"
#include "uatcp_raw_client.h"
#include "uatcp_thread_guard.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace uatcp;
using namespace uatcp::test;

namespace
{
std::string urlFor(uint16_t port, const std::string& host = "127.0.0.1")
{
    return "opc.tcp://" + host + ":" + std::to_string(port);
}

Bytes makeBody(char tag, uint32_t id, size_t size)
{
    Bytes b(std::max<size_t>(size, 5), 0);
    b[0] = static_cast<uint8_t>(tag);
    for (int i = 0; i < 4; ++i)
        b[1 + i] = static_cast<uint8_t>(id >> (8 * i));
    for (size_t i = 5; i < b.size(); ++i)
        b[i] = static_cast<uint8_t>(id + i);
    return b;
}

struct Fixture : ::testing::Test
{
    EchoHandler handler;
    std::unique_ptr<TcpServer> server;
    void start(ServerSettings settings = echoSettings(), const std::string& host = "127.0.0.1")
    {
        server = std::make_unique<TcpServer>(settings, handler);
        ASSERT_EQ(server->open(urlFor(0, host)), status::Good);
    }
    void TearDown() override
    {
        if (server)
            server->close();
    }
};
} // namespace

struct UatcpChannel : Fixture
{
};

TEST_F(UatcpChannel, SmallAndMultiChunkMessagesRoundTripAndChannelEventsFire)
{
    start();
    ClientConnection client;
    std::vector<ClientEvent> clientEvents;
    ASSERT_EQ(client.connect(urlFor(server->port()), ClientSettings{},
                             [&](ClientEvent e, uint32_t) { clientEvents.push_back(e); }),
              status::Good);
    ASSERT_TRUE(handler.waitFor(ChannelEvent::Opened, 1));
    EXPECT_EQ(handler.events().front().channelId, client.channelId());
    for (size_t size : {10u, 65000u, 300000u})
    {
        Bytes request = makeBody('x', static_cast<uint32_t>(size), size);
        Bytes response;
        ASSERT_EQ(client.invoke(request, response, 30000), status::Good) << size;
        EXPECT_EQ(response, request);
    }
    client.disconnect();
    ASSERT_TRUE(handler.waitFor(ChannelEvent::Closed, 1));
    EXPECT_EQ(clientEvents.front(), ClientEvent::Connected);
    EXPECT_EQ(clientEvents.back(), ClientEvent::Disconnected);
    Bytes response;
    EXPECT_EQ(client.invoke(makeBody('x', 1, 10), response, 1000), status::BadNotConnected);
}

TEST_F(UatcpChannel, IPv6LoopbackAndHostNameListenersAcceptClients)
{
    start(echoSettings(), "localhost");
    for (const char* host : {"127.0.0.1", "[::1]", "localhost"})
    {
        ClientConnection client;
        ASSERT_EQ(client.connect(urlFor(server->port(), host), ClientSettings{}, nullptr), status::Good)
            << host;
        Bytes response;
        EXPECT_EQ(client.invoke(makeBody('x', 5, 100), response, 30000), status::Good);
    }
}

TEST_F(UatcpChannel, ConcurrentClientsGetTheirOwnResponsesEvenOutOfOrder)
{
    start();
    constexpr int kClients = 6;
    constexpr int kCalls = 40;
    std::atomic<int> wrong{0};
    std::atomic<int> failed{0};
    std::vector<std::thread> threads;
    for (int c = 0; c < kClients; ++c)
    {
        threads.emplace_back(
            [&, c]
            {
                ClientConnection client;
                if (client.connect(urlFor(server->port()), ClientSettings{}, nullptr) != status::Good)
                {
                    ++failed;
                    return;
                }
                // Two threads per connection so that slow and fast calls overlap on one channel.
                auto worker = [&](int parity)
                {
                    for (int i = parity; i < kCalls; i += 2)
                    {
                        uint32_t id = static_cast<uint32_t>(c * 1000 + i);
                        Bytes request =
                            makeBody(parity == 0 ? 'S' : 'f', id, 64 + static_cast<size_t>(i) * 997);
                        Bytes response;
                        if (client.invoke(request, response, 30000) != status::Good)
                            ++failed;
                        else if (response != request)
                            ++wrong;
                    }
                };
                std::thread slow(worker, 0);
                worker(1);
                slow.join();
            });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(failed.load(), 0);
    EXPECT_EQ(wrong.load(), 0);
}

TEST_F(UatcpChannel, ShortTokenLifetimeIsRenewedWhileCallsGoOn)
{
    ServerSettings settings = echoSettings();
    settings.minTokenLifetimeMs = 1000;
    start(settings);
    ClientSettings clientSettings;
    clientSettings.requestedLifetimeMs = 1000;
    ClientConnection client;
    ASSERT_EQ(client.connect(urlFor(server->port()), clientSettings, nullptr), status::Good);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    uint32_t calls = 0;
    while (client.tokenId() < 4 && std::chrono::steady_clock::now() < deadline)
    {
        Bytes request = makeBody('x', calls++, 3000);
        Bytes response;
        ASSERT_EQ(client.invoke(request, response, 30000), status::Good);
        ASSERT_EQ(response, request);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_GE(client.tokenId(), 4u);
    EXPECT_GE(handler.count(ChannelEvent::Renewed), 3u);
    EXPECT_EQ(handler.count(ChannelEvent::Closed), 0u);
}

TEST_F(UatcpChannel, ChannelWhoseTokenIsNotRenewedIsClosed)
{
    ServerSettings settings = echoSettings();
    settings.minTokenLifetimeMs = 1000;
    start(settings);
    RawClient raw;
    ASSERT_TRUE(raw.connect(server->port()));
    ASSERT_TRUE(raw.hello());
    ASSERT_TRUE(raw.open(1000));
    // Closed once the token's lifetime and its grace (a quarter more) are over; the wait is far longer.
    EXPECT_EQ(raw.readError(30000), status::BadSecureChannelClosed);
    EXPECT_TRUE(raw.closedByPeer(30000));
    ASSERT_TRUE(handler.waitFor(ChannelEvent::Closed, 1, false));
}

TEST_F(UatcpChannel, LateResponseForAGoneChannelIsDroppedAndOthersGoOn)
{
    start();
    handler.holdRequests = true;
    auto client = std::make_unique<ClientConnection>();
    ASSERT_EQ(client->connect(urlFor(server->port()), ClientSettings{}, nullptr), status::Good);
    std::thread caller(
        [&]
        {
            Bytes response;
            client->invoke(makeBody('x', 1, 50), response, 30000);
        });
    JoinOnExit joinCaller(caller, [&] { client->disconnect(); });
    auto held = handler.waitHeld(1);
    ASSERT_EQ(held.size(), 1u);
    client->disconnect();
    caller.join();
    ASSERT_TRUE(handler.waitFor(ChannelEvent::Closed, 1));
    EXPECT_EQ(held[0].connection->sendResponse(held[0].channelId, held[0].requestId, 0, held[0].body),
              status::BadSecureChannelClosed);

    handler.holdRequests = false;
    ClientConnection other;
    ASSERT_EQ(other.connect(urlFor(server->port()), ClientSettings{}, nullptr), status::Good);
    Bytes response;
    EXPECT_EQ(other.invoke(makeBody('x', 2, 50), response, 30000), status::Good);
}

TEST_F(UatcpChannel, ResponseOverTheClientsLimitBecomesAFault)
{
    start();
    RawClient raw;
    ASSERT_TRUE(raw.connect(server->port()));
    ASSERT_TRUE(raw.hello(8192, 0, 2)); // at most two chunks per response
    ASSERT_TRUE(raw.open());
    // Sent in chunks that fit, the echo of it does not fit into two.
    Bytes part = makeBody('x', 1, 6000);
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(raw.sendMessage(i == 4 ? 'F' : 'C', part, 7));
    auto m = raw.read();
    ASSERT_TRUE(m.has_value());
    ASSERT_EQ(m->header.type, MessageType::Message);
    EXPECT_EQ(m->header.chunkType, 'F');
    ChunkInfo info;
    ASSERT_EQ(parseChunkHeaders(m->bytes, info), status::Good);
    ASSERT_EQ(parseSequenceHeader(m->bytes, m->bytes.size(), info), status::Good);
    EXPECT_EQ(info.requestId, 7u);
    uint32_t fault = 0;
    ASSERT_TRUE(
        peekFault(Bytes(m->bytes.begin() + static_cast<long>(info.bodyOffset), m->bytes.end()), fault));
    EXPECT_EQ(fault, status::BadResponseTooLarge);
}

TEST_F(UatcpChannel, OldTokenStaysValidUntilTheClientUsesTheNewOne)
{
    start();
    RawClient raw;
    ASSERT_TRUE(raw.connect(server->port()));
    ASSERT_TRUE(raw.hello());
    ASSERT_TRUE(raw.open());
    ASSERT_TRUE(raw.renew());
    ASSERT_TRUE(handler.waitFor(ChannelEvent::Renewed, 1));
    EXPECT_NE(raw.tokenId, raw.previousTokenId);
    // Until the client moves over, both tokens work and the server keeps answering with the old one.
    EXPECT_EQ(raw.echoWithToken(raw.previousTokenId, 10), raw.previousTokenId);
    EXPECT_EQ(raw.echoWithToken(raw.tokenId, 11), raw.tokenId);
    EXPECT_EQ(raw.echoWithToken(raw.tokenId, 12), raw.tokenId);
    // Once the new token has been used the old one is gone.
    EXPECT_EQ(raw.echoWithToken(raw.previousTokenId, 13), 0u);
    EXPECT_TRUE(raw.closedByPeer());
}

// A server played by hand: intermediate chunks of a response, then an abort.
TEST(UatcpClientAbort, AbortedResponseFailsThatCallOnly)
{
    std::vector<Socket> listeners;
    ASSERT_EQ(openListeners(OpcTcpUrl{"127.0.0.1", 0, ""}, listeners), status::Good);
    std::string url = "opc.tcp://127.0.0.1:" + std::to_string(localPort(listeners.front()));
    ClientConnection client;
    std::thread fakeServer(
        [&]
        {
            ASSERT_EQ(waitReadable(listeners.front().fd(), Clock::now() + std::chrono::seconds(30)),
                      IoResult::Ok);
            Socket s = acceptConnection(listeners.front());
            auto next = [&](Bytes& chunk)
            {
                MessageHeader h;
                readChunk(s.fd(), Clock::now() + std::chrono::seconds(30), 30000, 8, 1 << 20, h, chunk);
                ChunkInfo info;
                if (h.type == MessageType::Hello)
                    return info;
                parseChunkHeaders(chunk, info);
                parseSequenceHeader(chunk, chunk.size(), info);
                return info;
            };
            RawClient writer; // only used to build chunks
            Bytes chunk;
            next(chunk);
            Bytes ack = encodeAcknowledge(AcknowledgeMessage{0, 65536, 65536, 0, 0});
            writeAll(s.fd(), ack.data(), ack.size(), 5000);
            ChunkInfo open = next(chunk);
            OpenResponse response;
            response.channelId = 9;
            response.tokenId = 1;
            response.revisedLifetime = 60000;
            Bytes reply =
                writer.chunk(MessageType::Open, 'F', 9, 0, 1, open.requestId, encodeOpenResponse(response));
            writeAll(s.fd(), reply.data(), reply.size(), 5000);
            uint32_t sequence = 2;
            for (int call = 0; call < 2; ++call)
            {
                ChunkInfo request = next(chunk);
                Bytes body(chunk.begin() + static_cast<long>(request.bodyOffset), chunk.end());
                Bytes parts = writer.chunk(MessageType::Message, 'C', 9, 1, sequence++, request.requestId,
                                           Bytes(100, 1));
                if (call == 0)
                {
                    Bytes abortBody;
                    BinaryWriter w(abortBody);
                    w.uint32(status::BadRequestTooLarge);
                    w.string(std::string("given up"));
                    Bytes abort = writer.chunk(MessageType::Message, 'A', 9, 1, sequence++, request.requestId,
                                               abortBody);
                    parts.insert(parts.end(), abort.begin(), abort.end());
                }
                else
                {
                    Bytes last =
                        writer.chunk(MessageType::Message, 'F', 9, 1, sequence++, request.requestId, body);
                    parts.insert(parts.end(), last.begin(), last.end());
                }
                writeAll(s.fd(), parts.data(), parts.size(), 5000);
            }
            // Wait for the client to go.
            next(chunk);
        });
    JoinOnExit joinServer(fakeServer, [&] { client.disconnect(); });
    ASSERT_EQ(client.connect(url, ClientSettings{}, nullptr), status::Good);
    Bytes response;
    EXPECT_EQ(client.invoke(Bytes(10, 2), response, 30000), status::BadRequestTooLarge);
    Bytes request(10, 3);
    ASSERT_EQ(client.invoke(request, response, 30000), status::Good);
    // The intermediate chunk's 100 bytes, then the echoed request.
    ASSERT_EQ(response.size(), 110u);
    EXPECT_EQ(Bytes(response.begin(), response.begin() + 100), Bytes(100, 1));
    EXPECT_EQ(Bytes(response.begin() + 100, response.end()), request);
    client.disconnect();
    fakeServer.join();
}
