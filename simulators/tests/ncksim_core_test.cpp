// The NC kernel simulator in this process, stopped while its ports are busy: every batch it answers
// and every event its control port is asked for goes out through the kernel port, so a stop must
// not take a port away while another port's thread still dispatches (run under ThreadSanitizer
// too).
#include "ncksim.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace
{
std::size_t countLines(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST(NcKernelSim, StopsWhileBatchesAndControlRequestsSendEvents)
{
    vostest::DeviceRoot root;
    const std::string logPath = root.Path() + "/ncksim.log";
    std::FILE* log = std::fopen(logPath.c_str(), "a");
    ASSERT_NE(log, nullptr);
    for (int round = 0; round < 5; ++round)
    {
        SCOPED_TRACE(round);
        // Ports of their own each round: the router may not have let the last ones go yet.
        ncksim::CNcKernelSim::Options options;
        options.kernelPort = static_cast<USHORT>(600 + round);
        options.controlName = "NcKernelSimStop" + std::to_string(round);
        ncksim::CNcKernelSim sim(ncksim::SimConfig::Default(), options, log);
        ASSERT_TRUE(sim.Start());

        std::atomic<bool> stop{false};
        std::atomic<int> answered{0};
        std::thread client(
            [&]
            {
                CVosSync sync(0, FALSE, nullptr);
                sync.VosSyncSetTimeout(3000);
                OrxAddr kernel{};
                kernel.port = options.kernelPort;
                OrxAddr control{};
                OrxGetPortByName(options.controlName.c_str(), &control);
                const std::vector<std::uint8_t> record(156, 0);
                // Event 9 on channel 1, asked for through the control port.
                const std::uint8_t event[8] = {9, 0, 0, 0, 1, 0, 0, 0};
                while (!stop)
                {
                    std::uint8_t answer[8] = {};
                    if (sync.VosSyncReadWriteReq(&kernel, 0x3201, 0x60, sizeof(answer), answer,
                                                 static_cast<ULONG>(record.size()), record.data()) == 0)
                        ++answered;
                    sync.VosSyncWriteReq(&control, ncksim::CtlSendEvent, 0, sizeof(event), event);
                }
            });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (answered < 3 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_GE(answered.load(), 3);
        sim.Stop();
        stop = true;
        client.join();
    }
    std::fclose(log);
    // Both ways of sending an event were taken.
    const std::string text = vostest::ReadFile(logPath);
    EXPECT_GT(countLines(text, "\"command\":\"event\",\"code\":0,"), 0u);
    EXPECT_GT(countLines(text, "\"command\":\"event\",\"code\":9,"), 0u);
}
} // namespace
