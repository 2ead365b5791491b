// Connection messages, chunk splitting and reassembly, sequence numbers and
// endpoint URLs, checked on the encoded bytes.
#include "chunk_layer.h"
#include "secure_messages.h"
#include "socket_io.h"
#include "tcp_messages.h"
#include "tcp_status.h"

#include <gtest/gtest.h>

using namespace uatcp;

TEST(UatcpProtocol, HelloEncodesAsTheWireFormatAndDecodesBack)
{
    HelloMessage hello{{0, 65536, 32768, 1000000, 10}, "opc.tcp://h:4840"};
    Bytes bytes = encodeHello(hello);
    ASSERT_EQ(bytes.size(), 8u + 20 + 4 + 16);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "HELF");
    EXPECT_EQ(bytes[4], bytes.size());
    EXPECT_EQ(bytes[12 + 1], 0x00); // receive buffer 65536 little-endian: 00 00 01 00
    EXPECT_EQ(bytes[12 + 2], 0x01);
    HelloMessage decoded;
    ASSERT_EQ(decodeHello(bytes.data() + 8, bytes.size() - 8, decoded), status::Good);
    EXPECT_EQ(decoded.sendBufferSize, 32768u);
    EXPECT_EQ(decoded.maxChunkCount, 10u);
    EXPECT_EQ(decoded.endpointUrl, "opc.tcp://h:4840");
    // Every truncation fails cleanly.
    for (size_t cut = 0; cut + 1 < bytes.size() - 8; ++cut)
        EXPECT_NE(decodeHello(bytes.data() + 8, cut, decoded), status::Good) << cut;
}

TEST(UatcpProtocol, NegotiationTakesTheSmallerBuffersAndRefusesTinyOnes)
{
    ConnectionLimits own{65536, 65536, 1 << 20, 100};
    HelloMessage hello{{0, 16384, 131072, 0, 0}, ""};
    AcknowledgeMessage ack;
    NegotiatedLimits limits;
    ASSERT_EQ(negotiateServer(own, hello, ack, limits), status::Good);
    EXPECT_EQ(ack.receiveBufferSize, 65536u);
    EXPECT_EQ(ack.sendBufferSize, 16384u);
    EXPECT_EQ(limits.sendChunkSize, 16384u);
    EXPECT_EQ(limits.sendMaxMessageSize, 0u);
    EXPECT_EQ(limits.receiveMaxChunkCount, 100u);
    NegotiatedLimits client;
    ASSERT_EQ(negotiateClient(hello, ack, client), status::Good);
    EXPECT_EQ(client.sendChunkSize, 65536u);
    EXPECT_EQ(client.receiveChunkSize, 16384u);
    hello.receiveBufferSize = 1024;
    EXPECT_EQ(negotiateServer(own, hello, ack, limits), status::BadTcpNotEnoughResources);
}

TEST(UatcpProtocol, ErrorMessageRoundTrip)
{
    Bytes bytes = encodeError(ErrorMessage{status::BadTcpServerTooBusy, "busy"});
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "ERRF");
    ErrorMessage decoded;
    ASSERT_EQ(decodeError(bytes.data() + 8, bytes.size() - 8, decoded), status::Good);
    EXPECT_EQ(decoded.error, status::BadTcpServerTooBusy);
    EXPECT_EQ(decoded.reason, "busy");
}

namespace
{
Bytes pattern(size_t size)
{
    Bytes b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = static_cast<uint8_t>(i * 7 + 3);
    return b;
}
} // namespace

TEST(UatcpProtocol, MessagesSplitIntoChunksAndReassembleUnchanged)
{
    NoSecurity none;
    for (size_t size : {0u, 1u, 8168u, 8169u, 100000u})
    {
        Bytes body = pattern(size);
        ChunkWriteParams params;
        params.channelId = 7;
        params.tokenId = 3;
        params.requestId = 42;
        params.chunkSize = 8192;
        SequenceCounter sequence(5);
        std::vector<Bytes> chunks;
        ASSERT_EQ(buildChunks(params, none, sequence, body.data(), body.size(), chunks), status::Good);
        EXPECT_EQ(chunks.size(), size == 0 ? 1 : (size + 8167) / 8168) << size;
        ChunkAssembler assembler(0, 0);
        SequenceChecker checker;
        for (size_t i = 0; i < chunks.size(); ++i)
        {
            EXPECT_LE(chunks[i].size(), 8192u);
            ChunkInfo info;
            ASSERT_EQ(parseChunkHeaders(chunks[i], info), status::Good);
            EXPECT_EQ(info.channelId, 7u);
            EXPECT_EQ(info.tokenId, 3u);
            EXPECT_EQ(info.chunkType, i + 1 == chunks.size() ? 'F' : 'C');
            ASSERT_EQ(parseSequenceHeader(chunks[i], chunks[i].size(), info), status::Good);
            EXPECT_TRUE(checker.accept(info.sequenceNumber));
            EXPECT_EQ(info.requestId, 42u);
            uint32_t error;
            auto result = assembler.add(info.chunkType, info.requestId, chunks[i].data() + info.bodyOffset,
                                        info.bodyEnd - info.bodyOffset, error);
            EXPECT_EQ(result, i + 1 == chunks.size() ? ChunkAssembler::Result::Complete
                                                     : ChunkAssembler::Result::Incomplete);
        }
        EXPECT_EQ(assembler.takeMessage(), body);
    }
}

TEST(UatcpProtocol, PeerLimitsRefuseOversizedMessages)
{
    NoSecurity none;
    Bytes body = pattern(50000);
    ChunkWriteParams params;
    params.chunkSize = 8192;
    SequenceCounter sequence;
    std::vector<Bytes> chunks;
    params.maxChunkCount = 6;
    EXPECT_EQ(buildChunks(params, none, sequence, body.data(), body.size(), chunks),
              status::BadTcpMessageTooLarge);
    params.maxChunkCount = 7;
    EXPECT_EQ(buildChunks(params, none, sequence, body.data(), body.size(), chunks), status::Good);
    params.maxMessageSize = 49999;
    EXPECT_EQ(buildChunks(params, none, sequence, body.data(), body.size(), chunks),
              status::BadTcpMessageTooLarge);
}

TEST(UatcpProtocol, AssemblerEnforcesLimitsAbortsAndNoInterleaving)
{
    Bytes part = pattern(100);
    uint32_t error;
    ChunkAssembler bySize(250, 0);
    EXPECT_EQ(bySize.add('C', 1, part.data(), 100, error), ChunkAssembler::Result::Incomplete);
    EXPECT_EQ(bySize.add('C', 1, part.data(), 100, error), ChunkAssembler::Result::Incomplete);
    EXPECT_EQ(bySize.add('F', 1, part.data(), 100, error), ChunkAssembler::Result::Error);
    EXPECT_EQ(error, status::BadTcpMessageTooLarge);

    ChunkAssembler byCount(0, 2);
    EXPECT_EQ(byCount.add('C', 1, part.data(), 1, error), ChunkAssembler::Result::Incomplete);
    EXPECT_EQ(byCount.add('C', 1, part.data(), 1, error), ChunkAssembler::Result::Incomplete);
    EXPECT_EQ(byCount.add('F', 1, part.data(), 1, error), ChunkAssembler::Result::Error);

    ChunkAssembler aborting(0, 0);
    EXPECT_EQ(aborting.add('C', 4, part.data(), 10, error), ChunkAssembler::Result::Incomplete);
    EXPECT_EQ(aborting.add('A', 4, part.data(), 0, error), ChunkAssembler::Result::Aborted);
    EXPECT_FALSE(aborting.inProgress());
    EXPECT_EQ(aborting.add('F', 5, part.data(), 3, error), ChunkAssembler::Result::Complete);
    EXPECT_EQ(aborting.takeMessage().size(), 3u);

    ChunkAssembler interleaved(0, 0);
    EXPECT_EQ(interleaved.add('C', 1, part.data(), 1, error), ChunkAssembler::Result::Incomplete);
    EXPECT_EQ(interleaved.add('F', 2, part.data(), 1, error), ChunkAssembler::Result::Error);
    EXPECT_EQ(interleaved.add('X', 3, part.data(), 1, error), ChunkAssembler::Result::Error);
}

TEST(UatcpProtocol, SequenceNumbersMustFollowAndMayWrapOnlyAtTheTop)
{
    SequenceChecker checker;
    EXPECT_TRUE(checker.accept(100));
    EXPECT_TRUE(checker.accept(101));
    EXPECT_FALSE(checker.accept(103));
    EXPECT_FALSE(checker.accept(5));
    SequenceChecker top;
    EXPECT_TRUE(top.accept(kSequenceWrapLimit));
    EXPECT_TRUE(top.accept(3));
    SequenceCounter counter(kSequenceWrapLimit);
    EXPECT_EQ(counter.next(), kSequenceWrapLimit);
    EXPECT_EQ(counter.next(), 1u);
}

TEST(UatcpProtocol, OpenSecureChannelMessagesRoundTrip)
{
    OpenRequest request;
    request.header.requestHandle = 9;
    request.requestType = 1;
    request.securityMode = 1;
    request.requestedLifetime = 60000;
    Bytes body = encodeOpenRequest(request);
    OpenRequest decoded;
    ASSERT_EQ(decodeOpenRequest(body, decoded), status::Good);
    EXPECT_EQ(decoded.header.requestHandle, 9u);
    EXPECT_EQ(decoded.requestType, 1u);
    EXPECT_EQ(decoded.requestedLifetime, 60000u);
    for (size_t cut = 0; cut < body.size(); ++cut)
    {
        Bytes truncated(body.begin(), body.begin() + cut);
        EXPECT_EQ(decodeOpenRequest(truncated, decoded), status::BadDecodingError);
    }
    OpenResponse response;
    response.header.requestHandle = 9;
    response.channelId = 77;
    response.tokenId = 2;
    response.revisedLifetime = 5000;
    OpenResponse back;
    ASSERT_EQ(decodeOpenResponse(encodeOpenResponse(response), back), status::Good);
    EXPECT_EQ(back.channelId, 77u);
    EXPECT_EQ(back.tokenId, 2u);
    EXPECT_EQ(back.revisedLifetime, 5000u);
    EXPECT_EQ(decodeOpenResponse(encodeServiceFault(9, status::BadSecurityPolicyRejected), back),
              status::BadSecurityPolicyRejected);
    uint32_t fault = 0;
    EXPECT_TRUE(peekFault(encodeServiceFault(3, status::BadServiceUnsupported), fault));
    EXPECT_EQ(fault, status::BadServiceUnsupported);
    EXPECT_EQ(peekRequestHandle(body), 9u);
}

TEST(UatcpProtocol, EndpointUrls)
{
    struct Case
    {
        const char* url;
        bool ok;
        const char* host;
        uint16_t port;
        const char* path;
    };
    const Case cases[] = {
        {"opc.tcp://localhost:4840", true, "localhost", 4840, ""},
        {"OPC.TCP://127.0.0.1:48010/UA/Server", true, "127.0.0.1", 48010, "/UA/Server"},
        {"opc.tcp://[::1]:4841/x", true, "::1", 4841, "/x"},
        {"opc.tcp://host", false, "", 0, ""},
        {"opc.tcp://host:70000", false, "", 0, ""},
        {"opc.tcp://host:12a", false, "", 0, ""},
        {"http://host:80", false, "", 0, ""},
        {"opc.tcp://:4840", false, "", 0, ""},
        {"opc.tcp://[::1]4840", false, "", 0, ""},
    };
    for (const auto& c : cases)
    {
        OpcTcpUrl parsed;
        EXPECT_EQ(parseOpcTcpUrl(c.url, parsed), c.ok) << c.url;
        if (c.ok)
        {
            EXPECT_EQ(parsed.host, c.host);
            EXPECT_EQ(parsed.port, c.port);
            EXPECT_EQ(parsed.path, c.path);
        }
    }
}

#include "worker_pool.h"

#include <atomic>
#include <chrono>
#include <thread>

TEST(UatcpWorkerPool, FullQueueRefusesOrBlocksAndStopRunsWhatIsQueued)
{
    std::atomic<bool> release{false};
    std::atomic<bool> started{false};
    std::atomic<int> done{0};
    auto blocker = [&]
    {
        started = true;
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ++done;
    };
    WorkerPool refusing({1, 1, 2, false});
    EXPECT_TRUE(refusing.post(blocker));
    while (!started)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // The only thread is busy: two jobs fit the queue, the third is refused.
    int accepted = 0;
    while (accepted < 10 && refusing.post([&] { ++done; }))
        ++accepted;
    EXPECT_EQ(accepted, 2);
    release = true;
    refusing.stop();
    EXPECT_EQ(done.load(), accepted + 1);
    EXPECT_FALSE(refusing.post([] {}));

    release = false;
    done = 0;
    WorkerPool blocking({1, 1, 1, true});
    EXPECT_TRUE(blocking.post(blocker));
    std::atomic<int> posted{0};
    std::thread producer(
        [&]
        {
            for (int i = 0; i < 3; ++i)
                posted += blocking.post([&] { ++done; });
        });
    release = true;
    producer.join();
    blocking.stop();
    EXPECT_EQ(posted.load(), 3);
    EXPECT_EQ(done.load(), 4);
}
