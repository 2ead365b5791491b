// Responses leave the server whole and in sequence-number order whether the
// worker pool answers requests side by side or the reader runs them one after
// another; and a peer that does not read its responses holds up nobody else
// and is closed once its unread output passes the bound.
#include "tcp_client.h"
#include "uatcp_echo_server.h"
#include "uatcp_raw_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <thread>

using namespace uatcp;
using namespace uatcp::test;

namespace
{
struct PoolMode
{
    const char* name;
    bool useWorkerPool;
};
const PoolMode kPoolModes[] = {{"PoolOn", true}, {"PoolOff", false}};

ServerSettings settingsFor(const PoolMode& mode)
{
    ServerSettings settings = echoSettings();
    settings.useWorkerPool = mode.useWorkerPool;
    settings.pool.minThreads = 4;
    settings.pool.maxThreads = 8;
    return settings;
}

// Request i: a tag the echo handler reacts to ('S' answers late), its number, and a
// size that makes every seventh one span several chunks each way.
Bytes requestBody(uint32_t i)
{
    size_t size = i % 7 == 0 ? 20000 : 40 + i % 50;
    Bytes body(size, static_cast<uint8_t>(i));
    body[0] = i % 10 == 0 ? 'S' : 'f';
    for (int b = 0; b < 4; ++b)
        body[1 + b] = static_cast<uint8_t>(i >> (8 * b));
    return body;
}

// Reads count responses; the first thing wrong with the order or the
// completeness of their chunks, or nothing.
std::string readResponses(RawClient& raw, uint32_t count, std::map<uint32_t, Bytes>& answers)
{
    uint32_t lastSequence = 0;
    uint32_t inProgress = 0; // request id of a response whose chunks are still coming
    Bytes assembled;
    while (answers.size() < count)
    {
        auto m = raw.read();
        if (!m || m->header.type != MessageType::Message)
            return "no response chunk after " + std::to_string(answers.size()) + " responses";
        ChunkInfo info;
        if (parseChunkHeaders(m->bytes, info) != status::Good ||
            parseSequenceHeader(m->bytes, m->bytes.size(), info) != status::Good)
            return "a chunk that does not parse";
        if (lastSequence != 0 && info.sequenceNumber != lastSequence + 1)
            return "sequence number " + std::to_string(info.sequenceNumber) + " after " +
                   std::to_string(lastSequence);
        lastSequence = info.sequenceNumber;
        // The chunks of one response follow each other with nothing between them.
        if (inProgress != 0 && inProgress != info.requestId)
            return "response " + std::to_string(info.requestId) + " inside response " +
                   std::to_string(inProgress);
        assembled.insert(assembled.end(), m->bytes.begin() + static_cast<long>(info.bodyOffset),
                         m->bytes.end());
        inProgress = info.chunkType == 'C' ? info.requestId : 0;
        if (info.chunkType == 'F')
        {
            if (!answers.emplace(info.requestId, std::move(assembled)).second)
                return "response " + std::to_string(info.requestId) + " twice";
            assembled.clear();
        }
    }
    return "";
}
} // namespace

TEST(UatcpOrdering, PipelinedResponsesArriveWholeAndInSequence)
{
    constexpr uint32_t kRequests = 400;
    constexpr uint32_t kChunkSize = 8192;
    for (const auto& mode : kPoolModes)
    {
        SCOPED_TRACE(mode.name);
        EchoHandler handler;
        TcpServer server(settingsFor(mode), handler);
        ASSERT_EQ(server.open("opc.tcp://127.0.0.1:0"), status::Good);
        RawClient raw;
        ASSERT_TRUE(raw.connect(server.port()));
        ASSERT_TRUE(raw.hello(kChunkSize));
        ASSERT_TRUE(raw.open());
        // All requests go out before the first answer is read, from a thread of their own
        // so that neither side waits for the other to read.
        std::thread sender(
            [&]
            {
                const size_t maxBody = kChunkSize - 24;
                for (uint32_t i = 0; i < kRequests; ++i)
                {
                    Bytes body = requestBody(i);
                    for (size_t offset = 0; offset < body.size(); offset += maxBody)
                    {
                        size_t part = std::min(maxBody, body.size() - offset);
                        char type = offset + part == body.size() ? 'F' : 'C';
                        if (!raw.sendMessage(type, Bytes(body.begin() + offset, body.begin() + offset + part),
                                             100 + i))
                            return;
                    }
                }
            });
        std::map<uint32_t, Bytes> answers;
        std::string fault = readResponses(raw, kRequests, answers);
        sender.join();
        ASSERT_EQ(fault, "");
        for (uint32_t i = 0; i < kRequests; ++i)
            EXPECT_EQ(answers[100 + i], requestBody(i)) << i;
        server.close();
    }
}

namespace
{
// Sends large requests without ever reading the answers, until the server
// stops taking them because it cannot write, or until their answers are far
// more than the sockets hold (yet fewer than may be pending on a channel, so
// that the connection is not closed for that).
void fillUntilStalled(RawClient& slow, uint32_t maxPending)
{
    Bytes body(60000, 'x');
    for (uint32_t i = 0; i < maxPending * 4 / 5; ++i)
    {
        if (!slow.sendMessage('F', body, 1000 + i))
            return;
    }
}
} // namespace

TEST(UatcpOrdering, APeerThatDoesNotReadHoldsUpNobodyElse)
{
    for (const auto& mode : kPoolModes)
    {
        SCOPED_TRACE(mode.name);
        EchoHandler handler;
        ServerSettings settings = settingsFor(mode);
        // The stalled connection is not given up while the others are served.
        settings.ioTimeoutMs = 120000;
        TcpServer server(settings, handler);
        ASSERT_EQ(server.open("opc.tcp://127.0.0.1:0"), status::Good);
        auto slow = std::make_unique<RawClient>();
        ASSERT_TRUE(slow->connect(server.port()));
        ASSERT_TRUE(slow->hello());
        ASSERT_TRUE(slow->open());
        fillUntilStalled(*slow, settings.maxPendingRequestsPerChannel);

        // Answered long before the stalled writes could time out.
        std::vector<std::thread> others;
        std::atomic<int> failed{0};
        for (int c = 0; c < 4; ++c)
        {
            others.emplace_back(
                [&]
                {
                    ClientConnection client;
                    if (client.connect("opc.tcp://127.0.0.1:" + std::to_string(server.port()),
                                       ClientSettings{}, nullptr) != status::Good)
                    {
                        ++failed;
                        return;
                    }
                    for (int i = 0; i < 20; ++i)
                    {
                        Bytes request(200, static_cast<uint8_t>(i));
                        Bytes response;
                        if (client.invoke(request, response, 30000) != status::Good || response != request)
                            ++failed;
                    }
                });
        }
        for (auto& t : others)
            t.join();
        EXPECT_EQ(failed.load(), 0);
        // Its unread answers passed the bound long before the send time-out.
        ASSERT_TRUE(handler.waitFor(ChannelEvent::Closed, 1, false));
        const auto events = handler.events();
        EXPECT_TRUE(std::any_of(events.begin(), events.end(),
                                [](const RecordedEvent& e)
                                {
                                    return e.event == ChannelEvent::Closed &&
                                           e.status == status::BadTcpNotEnoughResources;
                                }));
        slow.reset();
        server.close();
    }
}
