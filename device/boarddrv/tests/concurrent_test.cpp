// API calls from threads of two processes while the offsets that rewrite the
// driver's fields run (the ThreadSanitizer build runs this too).
#include <board_test_support.h>

#include <test_support.h>

#include <atomic>

namespace
{

using namespace boardtest;

TEST(BoarddrvConcurrent, CallsWhileFieldsAreRewritten)
{
    BoardDevice device;
    device.describe(boardOfVersion("2.4.0"));
    ASSERT_TRUE(device.start()) << device.log();
    ASSERT_NE(device.driver(), INVALID_HANDLE_VALUE) << device.log();

    ostest::ChildProcess peer({"calls", "60"}, os::programDirectory() + "/boarddrv_peer");
    std::atomic<bool> done{false};
    std::atomic<int> failures{0}, rounds{0};
    std::vector<std::thread> callers;
    for (int t = 0; t < 3; ++t)
        callers.emplace_back(
            [&]
            {
                HANDLE driver = openDevice(u"WMD1:");
                while (!done)
                {
                    const Answer version = firmwareCall(driver, 0, 0, {}, 4);
                    const Answer signature = driverCall(driver, wmd::kProcessorSignature, {}, 4);
                    const Answer timeout = driverCall(driver, wmd::kApiTimeout, {}, 4);
                    failures += version.result != 0 || version.data != versionBytes(2, 4, 0);
                    failures += signature.result != 0 || signature.word(0) != 0x000906EA;
                    failures += timeout.result != 0 || timeout.word(0) != 1000;
                    ++rounds;
                }
                CloseHandle(driver);
            });

    // The rewriting offsets, over and over, until the peer and the callers have done their calls.
    std::atomic<int> rewrites{0};
    std::thread rewriter(
        [&]
        {
            const uint32_t rewriting[] = {wmd::kReinitialize, wmd::kReloadLogLevel, wmd::kWithdrawTable,
                                          wmd::kRegisterTable};
            while (!done)
                for (const uint32_t offset : rewriting)
                {
                    const Answer answer = driverCall(device.driver(), offset, {}, 4);
                    failures += answer.result != 0 && answer.result != wmd::kResultTableState;
                    ++rewrites;
                }
        });
    EXPECT_EQ(peer.readLine(120000), "failures 0");
    EXPECT_EQ(WEXITSTATUS(peer.wait(60000)), 0);
    EXPECT_TRUE(waitFor([&] { return rounds >= 30 && rewrites >= 40; }));
    done = true;
    for (auto& caller : callers)
        caller.join();
    rewriter.join();
    EXPECT_EQ(failures, 0);
    driverCall(device.driver(), wmd::kWithdrawTableIfRegistered, {}, 0);
    EXPECT_EQ(driverCall(device.driver(), wmd::kRegisterTable, {}, 0).result, 0u);
    EXPECT_EQ(device.state().serviceTable, 0xFu);
    EXPECT_EQ(device.stop(), 0) << device.log();
}

} // namespace
