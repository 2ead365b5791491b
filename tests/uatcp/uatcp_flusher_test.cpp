// The flusher stopping while senders hand it their output: the wake-ups of the hand-overs never
// reach its descriptor once stop has closed it, whichever file has taken that number since. A
// wake-up that is late shows in a descriptor opened after stop, or, more often, as a race on the
// descriptor under the thread sanitizer.
#include "output_flusher.h"
#include "server_connection.h"
#include "uatcp_echo_server.h"

#include <gtest/gtest.h>

#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace uatcp;
using namespace uatcp::test;

TEST(UatcpOutputFlusher, HandOversRacingStopWriteToNoClosedDescriptor)
{
    EchoHandler handler;
    TcpServer server(echoSettings(), handler);
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    Socket peer(pair[1]);
    auto connection = std::make_shared<ServerConnection>(server, Socket(pair[0]));
    constexpr int kSenders = 2;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    int rounds = 0;
    int strayWakeUps = 0;
    for (; rounds < 200 && std::chrono::steady_clock::now() < deadline; ++rounds)
    {
        OutputFlusher flusher;
        ASSERT_TRUE(flusher.start());
        // Relaxed: the flusher alone orders the senders' hand-overs and its stop, as in the server.
        std::atomic<int> handedOver{0};
        std::atomic<bool> done{false};
        std::vector<std::thread> senders;
        for (int s = 0; s < kSenders; ++s)
            senders.emplace_back(
                [&]
                {
                    while (!done.load(std::memory_order_relaxed))
                    {
                        flusher.watch(connection);
                        handedOver.fetch_add(1, std::memory_order_relaxed);
                    }
                });
        while (handedOver.load(std::memory_order_relaxed) < kSenders)
            std::this_thread::yield();
        flusher.stop();
        // The lowest free numbers: those of the flusher's two descriptors, unless another file took
        // them first.
        const int reused[2] = {::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC),
                               ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)};
        done.store(true, std::memory_order_relaxed);
        for (std::thread& sender : senders)
            sender.join();
        for (int fd : reused)
        {
            uint64_t count = 0;
            if (::read(fd, &count, sizeof count) == static_cast<ssize_t>(sizeof count))
                ++strayWakeUps;
            ::close(fd);
        }
    }
    EXPECT_EQ(strayWakeUps, 0) << "in " << rounds << " rounds";
}
