// Deterministic mutation fuzzing of the message and chunk layer: mutated
// connection messages and chunks go through every parser, then mutated byte
// streams go to a live server, which must keep serving. Bounded by counts.
#include "tcp_client.h"
#include "uatcp_echo_server.h"
#include "uatcp_fuzz_one.h"
#include "uatcp_raw_client.h"

#include <gtest/gtest.h>

#include <random>

using namespace uatcp;
using namespace uatcp::test;

namespace
{
Bytes mutate(const Bytes& input, std::mt19937& rng)
{
    Bytes out = input;
    int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits; ++e)
    {
        switch (rng() % 5)
        {
        case 0: // flip a bit
            if (!out.empty())
                out[rng() % out.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
            break;
        case 1: // truncate
            out.resize(out.empty() ? 0 : rng() % out.size());
            break;
        case 2: // extreme 32-bit value somewhere
            if (out.size() >= 4)
            {
                size_t at = rng() % (out.size() - 3);
                uint32_t v = (rng() % 2) ? 0xFFFFFFFFu : 0x7FFFFFF0u;
                for (int i = 0; i < 4; ++i)
                    out[at + i] = static_cast<uint8_t>(v >> (8 * i));
            }
            break;
        case 3: // insert random bytes
        {
            size_t at = out.empty() ? 0 : rng() % out.size();
            Bytes extra(1 + rng() % 16);
            for (auto& b : extra)
                b = static_cast<uint8_t>(rng());
            out.insert(out.begin() + static_cast<long>(at), extra.begin(), extra.end());
            break;
        }
        default: // random byte
            if (!out.empty())
                out[rng() % out.size()] = static_cast<uint8_t>(rng());
        }
    }
    return out;
}

std::vector<Bytes> seedMessages()
{
    std::vector<Bytes> seeds;
    seeds.push_back(encodeHello(HelloMessage{{0, 65536, 65536, 0, 0}, "opc.tcp://localhost:4840/x"}));
    seeds.push_back(encodeAcknowledge(AcknowledgeMessage{0, 65536, 65536, 100000, 10}));
    seeds.push_back(encodeError(ErrorMessage{status::BadTcpServerTooBusy, "busy"}));
    RawClient builder;
    OpenRequest open;
    open.securityMode = 1;
    open.requestedLifetime = 60000;
    seeds.push_back(builder.chunk(MessageType::Open, 'F', 0, 0, 1, 1, encodeOpenRequest(open)));
    OpenResponse response;
    response.channelId = 5;
    response.tokenId = 1;
    response.revisedLifetime = 60000;
    seeds.push_back(builder.chunk(MessageType::Open, 'F', 5, 0, 1, 1, encodeOpenResponse(response)));
    seeds.push_back(builder.chunk(MessageType::Message, 'C', 5, 1, 2, 2, Bytes(40, 3)));
    seeds.push_back(builder.chunk(MessageType::Message, 'F', 5, 1, 3, 2, encodeServiceFault(9, status::Bad)));
    seeds.push_back(builder.chunk(MessageType::Close, 'F', 5, 1, 4, 3, encodeCloseRequest(0)));
    return seeds;
}

} // namespace

TEST(UatcpFuzz, MutatedMessagesAndChunksParseCleanly)
{
    std::mt19937 rng(20261209);
    auto seeds = seedMessages();
    for (const auto& seed : seeds)
        ASSERT_TRUE(parseChunkLayerInput(seed.data(), seed.size()));
    for (int i = 0; i < 30000; ++i)
    {
        Bytes input = mutate(seeds[rng() % seeds.size()], rng);
        ASSERT_TRUE(parseChunkLayerInput(input.data(), input.size())) << "iteration " << i;
    }
}

TEST(UatcpFuzz, MutatedStreamsLeaveTheServerServing)
{
    EchoHandler handler;
    ServerSettings settings = echoSettings();
    settings.helloTimeoutMs = 200;
    settings.ioTimeoutMs = 200;
    TcpServer server(settings, handler);
    ASSERT_EQ(server.open("opc.tcp://127.0.0.1:0"), status::Good);

    std::mt19937 rng(7);
    RawClient builder;
    OpenRequest open;
    open.securityMode = 1;
    open.requestedLifetime = 60000;
    const std::vector<Bytes> script = {
        encodeHello(HelloMessage{{0, 65536, 65536, 0, 0}, "opc.tcp://127.0.0.1"}),
        builder.chunk(MessageType::Open, 'F', 0, 0, 1, 1, encodeOpenRequest(open)),
        builder.chunk(MessageType::Message, 'C', 0, 1, 2, 2, Bytes(50, 1)),
        builder.chunk(MessageType::Message, 'F', 0, 1, 3, 2, Bytes(50, 2)),
        builder.chunk(MessageType::Close, 'F', 0, 1, 4, 3, encodeCloseRequest(0)),
    };
    for (int round = 0; round < 150; ++round)
    {
        RawClient raw;
        ASSERT_TRUE(raw.connect(server.port()));
        size_t victim = rng() % script.size();
        for (size_t i = 0; i < script.size(); ++i)
        {
            if (!raw.send(i == victim ? mutate(script[i], rng) : script[i]))
                break;
        }
        // Whatever came back, the connection must end: by the server, or the mutated close.
        EXPECT_TRUE(raw.closedByPeer()) << "round " << round;
    }
    ClientConnection client;
    ASSERT_EQ(
        client.connect("opc.tcp://127.0.0.1:" + std::to_string(server.port()), ClientSettings{}, nullptr),
        status::Good);
    Bytes request(64, 5);
    Bytes response;
    ASSERT_EQ(client.invoke(request, response, 30000), status::Good);
    EXPECT_EQ(response, request);
    server.close();
}
