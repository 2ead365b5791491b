// One firmware call as Boarddrv makes it: busy retry, the named mutex that
// other processes share, the switched-off API and a processor exception.
#include <board_test_support.h>

#include <test_support.h>

#include <csignal>
#include <future>

namespace
{

using namespace boardtest;
using boardsim::FaultKind;
using boardsim::kAny;

constexpr uint32_t kBusyResult = 1800u | wmd::kFirmwareBit;

class FirmwareCalls : public RunningBoard
{
protected:
    Answer version() { return firmwareCall(m_device.driver(), 0, 0, {}, 4); }
};

TEST_F(FirmwareCalls, BusyAnswersAreRetriedForTheTimeOut)
{
    m_device.setDriverValue(u"ApiTimeout", 0); // 0 means 1000 ms
    start();
    EXPECT_EQ(driverCall(m_device.driver(), wmd::kApiTimeout, {}, 4).word(0), 1000u);
    struct Case
    {
        const char* what;
        uint32_t busy;
        uint32_t result;
        uint32_t count;
    };
    // 1000 ms allow 10 retries after the first attempt, 100 ms apart.
    const Case cases[] = {
        {"10 busy answers, then success", 10, 0, 4},
        {"11 busy answers", 11, kBusyResult, 0},
        {"one busy answer", 1, 0, 4},
    };
    for (const Case& c : cases)
    {
        const uint32_t before = m_device.state().firmwareCalls;
        m_device.setFault(FaultKind::busy, 0, 0, c.busy);
        const Answer answer = version();
        EXPECT_TRUE(answer.ok) << c.what;
        EXPECT_EQ(answer.result, c.result) << c.what;
        EXPECT_EQ(answer.count, c.count) << c.what;
        EXPECT_EQ(m_device.state().firmwareCalls - before, std::min(c.busy + 1, 11u)) << c.what;
        m_device.setFault(FaultKind::clearAll, kAny, kAny, 0);
    }

    // A shorter time-out gives up sooner: 300 ms, 3 retries.
    reload(u"ApiTimeout", 300, wmd::kReloadApiTimeout);
    const uint32_t before = m_device.state().firmwareCalls;
    m_device.setFault(FaultKind::busy, 0, 0, 5);
    EXPECT_EQ(version().result, kBusyResult);
    EXPECT_EQ(m_device.state().firmwareCalls - before, 4u);
}

TEST_F(FirmwareCalls, AnotherProcessHoldingTheMutex)
{
    start();
    reload(u"LogLevel", 0x4, wmd::kReloadLogLevel);
    const std::string peer = os::programDirectory() + "/boarddrv_peer";

    {
        // Held while the call retries; released once the retries show.
        ostest::ChildProcess holder({"hold-mutex"}, peer);
        ASSERT_EQ(holder.readLine(), "held");
        const uint32_t before = m_device.state().firmwareCalls;
        auto call = std::async(std::launch::async, [&] { return version(); });
        ASSERT_TRUE(m_device.waitForLog("BIOSAPI_ERROR_BUSY, nTry:2")) << m_device.log();
        EXPECT_EQ(m_device.state().firmwareCalls, before)
            << "no attempt reaches the firmware without the mutex";
        holder.signal(SIGUSR1);
        EXPECT_EQ(holder.readLine(), "released");
        const Answer answer = call.get();
        EXPECT_EQ(answer.result, 0u);
        EXPECT_EQ(answer.data, versionBytes(2, 4, 0));
        EXPECT_EQ(m_device.state().firmwareCalls, before + 1);
        EXPECT_EQ(holder.wait(), 0);
    }
    {
        // Held past the time-out: 300 ms, so 4 attempts, each waiting up to 100 ms.
        reload(u"ApiTimeout", 300, wmd::kReloadApiTimeout);
        ostest::ChildProcess holder({"hold-mutex"}, peer);
        ASSERT_EQ(holder.readLine(), "held");
        const size_t retriesBefore = occurrences(m_device.log(), "BIOSAPI_ERROR_BUSY, nTry:4");
        const Answer answer = version();
        EXPECT_EQ(answer.result, kBusyResult);
        EXPECT_EQ(answer.count, 0u);
        EXPECT_EQ(occurrences(m_device.log(), "BIOSAPI_ERROR_BUSY, nTry:4"), retriesBefore + 1);
        EXPECT_EQ(occurrences(m_device.log(), "BIOSAPI_ERROR_BUSY, nTry:5"), 0u);
        holder.signal(SIGUSR1);
        EXPECT_EQ(holder.readLine(), "released");
        EXPECT_EQ(holder.wait(), 0);
    }
    {
        // A holder that ends without releasing leaves the mutex abandoned, and usable.
        ostest::ChildProcess holder({"hold-mutex"}, peer);
        ASSERT_EQ(holder.readLine(), "held");
        holder.signal(SIGKILL);
        holder.wait();
        EXPECT_EQ(version().result, 0u);
    }
}

TEST_F(FirmwareCalls, SwitchedOffApiAnswersZerosWithoutTheFirmware)
{
    start();
    reload(u"DisableApi", 1, wmd::kReloadDisableApi);
    EXPECT_EQ(driverCall(m_device.driver(), wmd::kDisableApi, {}, 4).word(0), 1u);
    const uint32_t before = m_device.state().firmwareCalls;
    for (const uint32_t size : {0u, 1u, 16u, 100u})
    {
        const Answer answer = firmwareCall(m_device.driver(), 0x9000, 54, {1, 2}, size);
        EXPECT_EQ(answer.result, 0u) << size;
        EXPECT_EQ(answer.count, size);
        EXPECT_EQ(answer.returned, 24 + size);
        EXPECT_EQ(answer.data, std::vector<uint8_t>(size, 0)) << size;
    }
    EXPECT_EQ(m_device.state().firmwareCalls, before);

    reload(u"DisableApi", 0, wmd::kReloadDisableApi);
    EXPECT_EQ(version().data, versionBytes(2, 4, 0));
    EXPECT_EQ(m_device.state().firmwareCalls, before + 1);
}

TEST_F(FirmwareCalls, AnExceptionInTheFirmwareIsTrapped)
{
    start();
    m_device.setFault(FaultKind::exception, 0, 0, 1);
    const Answer trapped = firmwareCall(m_device.driver(), 0, 0, {}, 8);
    EXPECT_TRUE(trapped.ok);
    EXPECT_EQ(trapped.result, 0x2000071Fu);
    EXPECT_EQ(trapped.count, 0u);
    EXPECT_EQ(trapped.returned, 24u);
    EXPECT_EQ(trapped.data, std::vector<uint8_t>(8, 0));
    const std::string log = m_device.log();
    for (const char* line : {
             "*** BOARDDRV DEBUGGING:                               ***\r\n",
             "*** An exception has occurred in your BOARDDRV driver.***\r\n",
             "*** You should execute the following windbg commands:**\r\n",
             "*** BOARDDRV DEBUGGING: Continued past breakpoint. The***\r\n",
             "*** will halt.                                       ***\r\n",
         })
        EXPECT_EQ(occurrences(log, line), 1u) << line;
    const size_t commands = log.find("\r\n\r\n    !exr ");
    ASSERT_NE(commands, std::string::npos) << log;
    unsigned long long record = 0, context = 0;
    EXPECT_EQ(std::sscanf(log.c_str() + commands, "\r\n\r\n    !exr %llx; !cxr %llx; !kb", &record, &context),
              2);
    EXPECT_NE(record, 0u);
    EXPECT_NE(context, 0u);
    // Nothing halts: the next call works.
    EXPECT_EQ(version().result, 0u);
}

} // namespace
