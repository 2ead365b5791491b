// Large messages arriving on many connections at once cannot take more memory
// than the server's receive budget: the connections beyond it are refused with
// BadTcpNotEnoughResources, the others and small requests go on.
#include "tcp_client.h"
#include "uatcp_echo_server.h"
#include "uatcp_raw_client.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

// Present when a sanitizer's allocator serves the process: it keeps its own count.
extern "C" size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));

using namespace uatcp;
using namespace uatcp::test;

namespace
{
// Bytes the process holds in heap blocks now.
size_t heapInUse()
{
    if (__sanitizer_get_current_allocated_bytes != nullptr)
        return __sanitizer_get_current_allocated_bytes();
    struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// The most the heap grew above where it stood at construction, sampled until stop().
class HeapPeak
{
public:
    HeapPeak() : m_base(heapInUse())
    {
        m_thread = std::thread(
            [this]
            {
                while (!m_stop)
                {
                    size_t now = heapInUse();
                    if (now > m_base)
                        m_growth = std::max<size_t>(m_growth, now - m_base);
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
            });
    }
    ~HeapPeak() { stop(); }
    size_t stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_growth;
    }

private:
    const size_t m_base;
    std::atomic<bool> m_stop{false};
    std::atomic<size_t> m_growth{0};
    std::thread m_thread;
};

// Counts down once per sender; the main thread waits for all.
class Gate
{
public:
    explicit Gate(size_t count) : m_count(count) {}
    void arrive()
    {
        std::lock_guard lock(m_mutex);
        --m_count;
        m_changed.notify_all();
    }
    void waitAll()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_count == 0; });
    }
    void open()
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }
    void waitOpen()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    size_t m_count;
    bool m_open = false;
};
} // namespace

TEST(UatcpReceiveBudget, LargeMessagesBeyondTheBudgetAreRefusedAndSmallRequestsGoOn)
{
    EchoHandler handler;
    const ServerSettings settings = echoSettings();
    TcpServer server(settings, handler);
    ASSERT_EQ(server.open("opc.tcp://127.0.0.1:0"), status::Good);
    const uint16_t port = server.port();
    constexpr size_t kSenders = 10;
    constexpr uint32_t kChunkSize = 65536;
    // Most of a message of the largest size, in chunks the size the server accepts.
    const size_t part = settings.limits.maxMessageSize / 16 * 15;
    const Bytes chunkBody(kChunkSize - 24, 0x5A);

    HeapPeak peak;
    Gate sent(kSenders);
    Gate finish(0);
    std::vector<uint32_t> refusals(kSenders, 0);
    std::vector<uint8_t> served(kSenders, 0);
    std::vector<std::thread> senders;
    for (size_t i = 0; i < kSenders; ++i)
    {
        senders.emplace_back(
            [&, i]
            {
                RawClient raw;
                bool ok = raw.connect(port) && raw.hello(kChunkSize) && raw.open();
                for (size_t done = 0; ok && done < part; done += chunkBody.size())
                    ok = raw.sendMessage('C', chunkBody, 10);
                sent.arrive();
                finish.waitOpen();
                // A channel that is still there drops its message and answers a small one.
                if (ok)
                    ok = raw.sendMessage('A', Bytes(8, 0), 10) && raw.sendMessage('F', Bytes(16, 1), 11);
                auto m = raw.read();
                if (m && m->header.type == MessageType::Message)
                    served[i] = 1;
                else if (m && m->header.type == MessageType::Error)
                {
                    ErrorMessage error;
                    decodeError(m->bytes.data() + 8, m->bytes.size() - 8, error);
                    refusals[i] = error.error;
                }
            });
    }
    sent.waitAll();
    // While the large messages hold the budget, a small request of another client is served.
    ClientConnection small;
    ASSERT_EQ(small.connect("opc.tcp://127.0.0.1:" + std::to_string(port), ClientSettings{}, nullptr),
              status::Good);
    Bytes request(100, 3);
    Bytes response;
    EXPECT_EQ(small.invoke(request, response, 30000), status::Good);
    EXPECT_EQ(response, request);
    finish.open();
    for (auto& t : senders)
        t.join();
    const size_t growth = peak.stop();

    size_t refused = 0;
    size_t kept = 0;
    for (size_t i = 0; i < kSenders; ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_TRUE(served[i] || refusals[i] == status::BadTcpNotEnoughResources) << std::hex << refusals[i];
        refused += refusals[i] != 0;
        kept += served[i];
    }
    // The budget holds as many whole parts as fit; everyone else was refused.
    EXPECT_GE(refused, kSenders - settings.receiveBudget / part);
    EXPECT_GE(kept, 1u);
    // Budget plus what the connections and this test hold for themselves.
    constexpr size_t kOverhead = 16u << 20;
    EXPECT_LE(growth, settings.receiveBudget + kOverhead);

    // Everything taken from the budget is given back once the connections are gone. A worker gives a
    // request's share back after the handler returns, which may be after its reader has ended and the
    // connection has left the count: the budget is waited for in its own right.
    small.disconnect();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while ((server.connectionCount() > 0 || server.budget().used() > 0) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(server.connectionCount(), 0u);
    EXPECT_EQ(server.budget().used(), 0u);
    server.close();
}
