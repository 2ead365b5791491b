// The service in this process with the kernel simulator beside it: stops and
// new configurations while clients read and the kernel sends events (run
// under ThreadSanitizer too), and kernel requests of a disconnected channel.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include <gtest/gtest.h>

#include "channel.h"
#include "millpath_harness.h"
#include "millpath_service.h"
#include "ncksim.h"

using namespace mptest;

namespace
{
OrxAddr ServiceAddr()
{
    OrxAddr addr{};
    addr.port = ServicePort;
    return addr;
}

std::unique_ptr<CMillpathService> NewService()
{
    auto service = std::make_unique<CMillpathService>();
    EXPECT_TRUE(service->Init());
    EXPECT_TRUE(service->OpenPort());
    return service;
}
} // namespace

TEST(MillpathThreads, StopsAndConfigurationsWhileClientsReadAndEventsArrive)
{
    Device device;
    std::FILE* log = std::fopen(device.SimLog().c_str(), "a");
    ASSERT_NE(log, nullptr);
    ncksim::CNcKernelSim sim(ncksim::SimConfig::Default(), {}, log);
    ASSERT_TRUE(sim.Start());
    auto service = NewService();
    std::uint32_t result = 1;
    ASSERT_TRUE(device.WaitConfigured(1, result));

    std::atomic<bool> stop{false};
    std::atomic<int> answered{0};
    std::atomic<int> unexpected{0};
    std::atomic<LONG> lastUnexpected{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back(
            [&, t]
            {
                CVosSync client(0, 0, nullptr);
                client.VosSyncSetTimeout(3000);
                const OrxAddr addr = ServiceAddr();
                while (!stop)
                {
                    std::uint8_t data[16] = {};
                    LONG r = 0;
                    if (t == 0)
                        r = client.VosSyncReadReq(&addr, 0x2001, 4, 4, data);
                    else if (t == 1)
                        r = client.VosSyncReadReq(&addr, 0x2301, 0x10000000 + 10, 16, data);
                    else
                    {
                        const char name[] = "loop.nc";
                        r = client.VosSyncWriteReq(&addr, 0x2201, 4, sizeof(name), name);
                        if (r == 0 || r == static_cast<LONG>(VOSERR_NOT_IN_THIS_STATE))
                            r = client.VosSyncWriteReq(&addr, 0x2201, 2, 0, nullptr);
                        if (r == static_cast<LONG>(VOSERR_NOT_READY) ||
                            r == static_cast<LONG>(VOSERR_NOT_IN_THIS_STATE))
                            r = 0; // the program still runs
                    }
                    if (r == 0)
                        ++answered;
                    // A request that meets a stop is never answered: its port went.
                    else if (r != static_cast<LONG>(VOSERR_NO_SUCH_CHANNEL) &&
                             r != static_cast<LONG>(VOSERR_TARGET_PORT_NOT_FOUND) &&
                             r != static_cast<LONG>(VOSERR_TIMEOUT))
                    {
                        ++unexpected;
                        lastUnexpected = r;
                    }
                }
            });
    threads.emplace_back(
        [&]
        {
            std::uint8_t args[8] = {};
            while (!stop)
            {
                for (std::uint32_t code : {0u, 1u, 2u, 4u, 5u})
                    sim.SendEvent(code, 1, args, sizeof(args));
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });

    for (int round = 0; round < 4; ++round)
    {
        sim.SendConfiguration();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        service->StopService();
        service.reset();
        // A configuration cut off by the stop is never answered, so only
        // the one of the new service is counted on.
        const std::size_t before = device.Log("configured").size();
        service = NewService();
        EXPECT_TRUE(device.WaitLog("configured", before + 1));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    // The clients go on until one of them has been answered: on a busy machine every request of the
    // rounds may have met a stop.
    const auto answeredBy = std::chrono::steady_clock::now() + Patience;
    while (answered.load() == 0 && std::chrono::steady_clock::now() < answeredBy)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stop = true;
    for (auto& thread : threads)
        thread.join();
    // Nothing is left stuck: the last service answers and, after the reset
    // that the kernel's reset events ask for, runs a program.
    const auto deadline = std::chrono::steady_clock::now() + Patience;
    while (device.State() < 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(device.Write(0x2201, 0x10, {}), 0);
    EXPECT_EQ(device.Load("contour.nc"), 0);
    EXPECT_EQ(device.StartProgram(), 0);
    EXPECT_TRUE(device.WaitState(12));
    service.reset();
    sim.Stop();
    std::fclose(log);
    EXPECT_GT(answered.load(), 0);
    EXPECT_EQ(unexpected.load(), 0) << std::hex << lastUnexpected.load();
}

TEST(MillpathThreads, DisconnectedRequestsFailWithZeroedData)
{
    Device device;
    CMillpathService service; // its port stays closed
    ASSERT_TRUE(service.Init());
    OrxAddr kernel{};
    kernel.port = CMillpathService::KernelPort;
    CChannel channel(&service, 1, kernel);
    ASSERT_TRUE(channel.SetSize(100000));
    ASSERT_TRUE(channel.SetDialect(1));

    std::uint32_t value = 0xAAAA;
    EXPECT_NE(channel.ReadChannelParam(value), 0u);
    EXPECT_EQ(value, 0u);
    double positions[3] = {1, 2, 3};
    EXPECT_NE(channel.ReadAxisPositions(positions), 0u);
    EXPECT_EQ(positions[0] + positions[1] + positions[2], 0.0);
    double groupValue = 5.0;
    EXPECT_NE(channel.ReadGroupValue(groupValue), 0u);
    EXPECT_EQ(groupValue, 0.0);
    std::uint8_t state[IInterpreterChannel::ChannelStateSize];
    std::fill(std::begin(state), std::end(state), std::uint8_t{0x55});
    EXPECT_NE(channel.readChannelState(state), 0u);
    EXPECT_EQ(std::count(std::begin(state), std::end(state), 0), static_cast<long>(sizeof(state)));
    const std::uint32_t zero = 0;
    EXPECT_NE(channel.WriteChannelParam(5, &zero, sizeof(zero)), 0u);
    EXPECT_NE(channel.SignalEndOfCommand(), 0u);
    // A failed load of an unknown file leaves the channel usable.
    EXPECT_NE(channel.LoadProgram("missing.nc"), 0u);
}
