// The polling watch against GktSim: its states, what it reads per pass, and what monitored items
// receive when polls fail and recover.
#include "gkt_server_fixture.h"

#include <functional>
#include <future>
#include <thread>

namespace
{
using gkttest::dataStore;
using gkttest::GktServerTest;
using gkttest::RecordingVariableCallback;

class GktWatchTest : public gkttest::GktShippedDeviceTest
{
protected:
    // Waits until a device call newer than `after` calls sits in a hold; its read size.
    uint32_t heldReadSize(uint32_t after)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (std::chrono::steady_clock::now() < deadline)
        {
            const gktsim::DriverStats now = stats();
            if (now.heldCalls == 1 && now.ioCalls > after)
                return now.lastOutSize;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ADD_FAILURE() << "no held call";
        return 0;
    }

    UaTraceCapture m_trace{7};
    // Monitored items outlive the node manager, which drops their registrations when it goes.
    RecordingVariableCallback m_twiceA, m_twiceB, m_once;
};

TEST_F(GktWatchTest, StatesAnswerWithTheirCodesAndTexts)
{
    CUaGktWatch watch;
    CUaGktItem* flag = item(dataStore(1));
    RecordingVariableCallback callback;
    OpcUa_UInt32 handle = 0;
    OpcUa_Int32 interval = 100;
    struct Step
    {
        const char* name;
        std::function<UaStatus()> call;
        OpcUa_StatusCode status;
        const char* text;
        int level;
    };
    const Step steps[] = {
        {"start before init", [&] { return watch.Start(); }, OpcUa_BadInvalidState,
         "<-- CUaGktWatch::Start [ret=OpcUa_BadInvalidState]", 6},
        {"stop before init", [&] { return watch.Stop(); }, OpcUa_BadInvalidState,
         "<-- CUaGktWatch::Stop [ret=OpcUa_BadInvalidState]", 6},
        {"shutdown before init", [&] { return watch.Shutdown(); }, OpcUa_BadInvalidState,
         "Watch is already shutdown", 1},
        {"add before init",
         [&] { return watch.AddItem(flag, interval, &callback, nullptr, nullptr, handle); },
         OpcUa_BadInvalidState, "Invalid state - watch is not running", 1},
        {"remove before init", [&] { return watch.RemoveItem(1); }, OpcUa_BadInvalidState,
         "<-- CUaGktWatch::RemoveItem [ret=OpcUa_BadInvalidState]", 6},
        {"init without owner", [&] { return watch.Init(nullptr); }, OpcUa_BadInvalidArgument,
         "Invalid argument", 1},
        {"init", [&] { return watch.Init(&io()); }, OpcUa_Good, "<-- CUaGktWatch::Init [ret=OpcUa_Good]", 6},
        {"init twice", [&] { return watch.Init(&io()); }, OpcUa_BadInvalidState,
         "Watch is already initialized", 1},
        {"stop while initialised", [&] { return watch.Stop(); }, OpcUa_BadInvalidState,
         "<-- CUaGktWatch::Stop [ret=OpcUa_BadInvalidState]", 6},
        {"add without callback",
         [&] { return watch.AddItem(flag, interval, nullptr, nullptr, nullptr, handle); },
         OpcUa_BadInvalidArgument, "<-- CUaGktWatch::AddItem [ret=OpcUa_BadInvalidArgument]", 6},
        {"add while initialised",
         [&] { return watch.AddItem(flag, interval, &callback, nullptr, nullptr, handle); }, OpcUa_Good,
         "<-- CUaGktWatch::AddItem [ret=OpcUa_Good]", 6},
        {"start", [&] { return watch.Start(); }, OpcUa_Good, "<-- CUaGktWatch::Start [ret=OpcUa_Good]", 6},
        {"start twice", [&] { return watch.Start(); }, OpcUa_BadInvalidState,
         "<-- CUaGktWatch::Start [ret=OpcUa_BadInvalidState]", 6},
        {"stop", [&] { return watch.Stop(); }, OpcUa_Good, "DONE terminate watch thread", 4},
        {"start again", [&] { return watch.Start(); }, OpcUa_Good, "<-- CUaGktWatch::Start [ret=OpcUa_Good]",
         6},
        {"remove", [&] { return watch.RemoveItem(handle); }, OpcUa_Good,
         "<-- CUaGktWatch::RemoveItem [ret=OpcUa_Good]", 6},
        {"remove twice", [&] { return watch.RemoveItem(handle); }, OpcUa_BadNotFound,
         "<-- CUaGktWatch::RemoveItem [ret=-2143420416]", 6},
        {"shutdown while running", [&] { return watch.Shutdown(); }, OpcUa_Good,
         "<-- CUaGktWatch::Shutdown [ret=OpcUa_Good]", 6},
        {"shutdown twice", [&] { return watch.Shutdown(); }, OpcUa_BadInvalidState,
         "Watch is already shutdown", 1},
    };
    for (const Step& step : steps)
    {
        SCOPED_TRACE(step.name);
        m_trace.clear();
        EXPECT_EQ(step.call().statusCode(), step.status);
        EXPECT_TRUE(m_trace.contains(step.level, step.text));
    }
    EXPECT_EQ(interval, 500);
}

TEST_F(GktWatchTest, EveryIntervalIsRevisedTo500AndAVariableMonitoredTwiceIsReadTwicePerPass)
{
    RecordingVariableCallback &twiceA = m_twiceA, &twiceB = m_twiceB, &once = m_once;
    // Int16 (a 16-byte read block) twice, UInt32 (18 bytes) once between them.
    const testbed::Answer first = monitor(dataStore(3), twiceA, 100);
    const testbed::Answer other = monitor(dataStore(7), once, 10000);
    const testbed::Answer second = monitor(dataStore(3), twiceB, 0);
    for (const testbed::Answer& answer : {first, other, second})
    {
        EXPECT_EQ(answer.status, OpcUa_Good);
        EXPECT_EQ(answer.revisedInterval, 500.0);
        EXPECT_FALSE(answer.initialValueAvailable);
    }
    EXPECT_NE(first.itemHandle, second.itemHandle);

    // Step through the device reads one at a time: the next hold is set before the held call goes.
    setFault(gktsim::FaultKind::hold, 0, gktsim::kIoctlReadWrite);
    std::vector<uint32_t> sizes;
    uint32_t calls = 0;
    for (int i = 0; i < 6; ++i)
    {
        sizes.push_back(heldReadSize(calls));
        calls = stats().ioCalls;
        if (i < 5)
            setFault(gktsim::FaultKind::hold, 0, gktsim::kIoctlReadWrite);
        releaseHeld();
    }
    // Six reads in a row: a pass is the registrations in their order (16, 18, 16), wherever the
    // first hold caught it, so the UInt32 comes every third read with the Int16 twice between.
    const std::string seen = ::testing::PrintToString(sizes);
    const auto first18 = static_cast<std::size_t>(std::find(sizes.begin(), sizes.end(), 18u) - sizes.begin());
    ASSERT_LT(first18, 3u) << seen;
    for (std::size_t i = 0; i < sizes.size(); ++i)
        EXPECT_EQ(sizes[i], (i % 3 == first18) ? 18u : 16u) << seen;

    EXPECT_TRUE(twiceA.waitForStatus(OpcUa_Good));
    EXPECT_TRUE(twiceB.waitForStatus(OpcUa_Good));
    EXPECT_EQ(stopMonitoring(first.itemHandle), OpcUa_Good);
    EXPECT_EQ(stopMonitoring(first.itemHandle), OpcUa_BadNotFound);
}

TEST_F(GktWatchTest, StopDuringAHeldPassReturnsAfterTheRelease)
{
    RecordingVariableCallback& callback = m_once;
    monitor(dataStore(4), callback);
    setFault(gktsim::FaultKind::hold, 0, gktsim::kIoctlReadWrite);
    ASSERT_TRUE(waitForHeld(1));
    auto stopped = std::async(std::launch::async, [this] { return io().watch().Stop(); });
    // Still in the pass: the stop waits for it.
    EXPECT_EQ(stopped.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    releaseHeld();
    ASSERT_EQ(stopped.wait_for(std::chrono::minutes(1)), std::future_status::ready);
    EXPECT_EQ(stopped.get().statusCode(), OpcUa_Good);
    EXPECT_EQ(io().watch().state(), 1);
    EXPECT_TRUE(m_trace.contains(6, "<-- CQbUaPlcWatchPolling leaving thread proc"));
}

TEST_F(GktWatchTest, AFailedPollReachesTheMonitoredItemsAsBadUntilAPollSucceeds)
{
    RecordingVariableCallback& callback = m_once;
    monitor(dataStore(3), callback);
    ASSERT_TRUE(callback.waitForStatus(OpcUa_Good));
    // The next two reads wait; the first fails once released, and while the second waits the
    // failure stays in the variable. A read takes its hold before its failure, so whichever read
    // comes first after the hold is set is the one that fails.
    setFault(gktsim::FaultKind::hold, 0, gktsim::kIoctlReadWrite, 2);
    setFault(gktsim::FaultKind::failIo, 31, gktsim::kIoctlReadWrite);
    ASSERT_TRUE(waitForHeld(1));
    const std::size_t before = callback.count();
    releaseHeld();
    EXPECT_TRUE(callback.waitForStatus(OpcUa_BadInternalError, before));
    const std::size_t failed = callback.count();
    EXPECT_EQ(item(dataStore(3))->value(nullptr).statusCode(), OpcUa_BadInternalError);
    ASSERT_TRUE(waitForHeld(1));
    releaseHeld();
    EXPECT_TRUE(callback.waitFor(
        [](const UaDataValue& value)
        { return value.statusCode() == OpcUa_Good && value.value() == UaVariant(OpcUa_Int16(-1234)); },
        failed));
}

// Monitoring starts and stops while the watch polls, with reads and writes of several sessions.
TEST_F(GktWatchTest, ConcurrentMonitoringReadsAndWrites)
{
    std::atomic<bool> done{false};
    auto monitoring = std::async(std::launch::async,
                                 [&]
                                 {
                                     for (int i = 0; i < 40; ++i)
                                     {
                                         RecordingVariableCallback callback;
                                         const testbed::Answer answer =
                                             monitor(dataStore(1 + i % 8), callback);
                                         EXPECT_EQ(answer.status, OpcUa_Good);
                                         if (i % 4 == 0)
                                             callback.waitForStatus(OpcUa_Good);
                                         EXPECT_EQ(stopMonitoring(answer.itemHandle), OpcUa_Good);
                                     }
                                     done = true;
                                 });
    std::vector<std::future<void>> sessions;
    for (int session = 0; session < 3; ++session)
        sessions.push_back(
            std::async(std::launch::async,
                       [&, session]
                       {
                           for (int i = 0; !done || i < 20; ++i)
                           {
                               EXPECT_EQ(read(dataStore(6)).statusCode(), OpcUa_Good);
                               EXPECT_EQ(write(dataStore(3), UaVariant(OpcUa_Int16(session * 100 + i % 100))),
                                         OpcUa_Good);
                           }
                       }));
    monitoring.get();
    for (auto& session : sessions)
        session.get();
}
} // namespace
