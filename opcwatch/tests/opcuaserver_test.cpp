// The server object over the recording runtime and the real configuration in a temporary
// program folder: each failing start step unwinds with its text, the stop runs in its fixed
// order, a Vos restart starts the server once the file is there, the message loop ends on
// WM_QUIT, and restarts run while other threads ask for settings.
#include "opcwatch_test_root.h"
#include "recording_runtime.h"

#include "opcuaserver.h"
#include "opcwatchtrace.h"
#include "sharedmutexpool.h"

#include <uatracecapture.h>

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

namespace
{
using Journal = std::vector<std::string>;
const std::u16string kProgram = u"\\Program";
const std::string kStartBad = "<-- COpcUaServer::StartUaServer [ret=OpcUa_Bad]";

class OpcUaServerTest : public OpcwatchTestRoot
{
protected:
    void SetUp() override
    {
        OpcwatchTestRoot::SetUp();
        makeProgramFolder();
        writeConfiguration("<SharedMutexCount>3</SharedMutexCount>");
        setTraceLevel(6);
    }
    void TearDown() override
    {
        // The object does not stop a running server as it goes.
        m_server->StopUaServer();
        delete m_server;
        SharedMutexPool::clear();
        OpcwatchTestRoot::TearDown();
    }

    static void setTraceLevel(DWORD level)
    {
        readTraceLevel(); // makes the key
        writeTraceLevel(level, kProgram);
        // Also closes the root's own trace file, so that each start opens the server's.
        closeServerTrace();
    }

    // Device state through the Vos interface: 5 running, 6 stopped.
    ULONG deviceState()
    {
        ULONG state = 0;
        m_server->ReadState(nullptr, &state, nullptr, nullptr);
        return state;
    }

    HRESULT restart() { return m_server->ReadWrite(1, 0, 0, nullptr, 0, nullptr, nullptr); }

    // The server's own trace file, as level and text.
    std::vector<std::pair<int, std::string>> serverTrace() const
    {
        return traceMessagesOf(hostPath("Program/_Opcwatch.log"));
    }

    UaTraceCapture m_trace{7};
    RecordingRuntime m_runtime;
    COpcUaServer* m_server = new COpcUaServer(m_runtime, m_runtime, kProgram);
};

TEST_F(OpcUaServerTest, AFailingStartStepUnwindsWithItsText)
{
    const struct
    {
        const char* failing;
        std::string message;
        Journal journal;
    } rows[] = {
        {"core.initialize", "Failed to initialize core module", {"core.initialize", "core.deleted"}},
        {"core.startUp", "Failed to start core module", {"core.initialize", "core.startUp", "core.deleted"}},
        {"module.startUp",
         "Failed to start UaModule",
         {"core.initialize", "core.startUp", "GKT.create", "DI.startUp", "PLCopen.startUp", "GKT.startUp",
          "module.startUp", "module.shutDown", "GKT.shutDown", "GKT.deleted", "DI.shutDown",
          "PLCopen.shutDown", "core.shutDown", "DI.shutDown", "PLCopen.shutDown", "DI.deleted",
          "PLCopen.deleted", "core.deleted", "module.deleted"}},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.failing);
        m_runtime.m_failing = row.failing;
        m_trace.clear();
        EXPECT_EQ(m_server->StartUaServer(), 0x80000000u);
        EXPECT_EQ(m_runtime.m_journal.take(), row.journal);
        EXPECT_EQ(deviceState(), 6u);
        const std::vector<std::string> lines = m_trace.texts();
        const auto message = std::find(lines.begin(), lines.end(), row.message);
        ASSERT_NE(message, lines.end());
        ASSERT_NE(message + 1, lines.end());
        EXPECT_EQ(*(message + 1), kStartBad);
        // The lines reached the file before the configuration closed it.
        const auto file = serverTrace();
        ASSERT_GE(file.size(), 2u);
        EXPECT_EQ(file[file.size() - 2], std::make_pair(1, row.message));
        EXPECT_EQ(file.back(), std::make_pair(6, kStartBad));
    }
    // Nothing is left over: the next start is a whole one.
    m_runtime.m_failing.clear();
    EXPECT_EQ(m_server->StartUaServer(), OpcUa_Good);
    EXPECT_EQ(deviceState(), 5u);
}

TEST_F(OpcUaServerTest, StopRunsInItsFixedOrderAndClosesTheTraceLast)
{
    ASSERT_EQ(m_server->StartUaServer(), OpcUa_Good);
    EXPECT_EQ(SharedMutexPool::size(), 3u);
    m_runtime.m_journal.take();
    m_trace.clear();
    EXPECT_EQ(m_server->StartUaServer(), OpcUa_Good);
    EXPECT_TRUE(m_trace.contains(2, "Server is already running"));
    EXPECT_EQ(m_runtime.m_journal.take(), Journal{}) << "no second configuration";

    EXPECT_EQ(m_server->StopUaServer(), OpcUa_Good);
    EXPECT_EQ(SharedMutexPool::size(), 0u);
    EXPECT_EQ(m_runtime.m_journal.take(),
              (Journal{"module.shutDown", "module.deleted", "core.shutDown", "GKT.shutDown", "GKT.deleted",
                       "DI.shutDown", "PLCopen.shutDown", "core.deleted", "DI.deleted", "PLCopen.deleted"}));
    const auto file = serverTrace();
    ASSERT_GE(file.size(), 2u);
    EXPECT_EQ(file[file.size() - 2].second, "Server stopped.");
    EXPECT_EQ(file.back().second, "Close trace.");

    m_trace.clear();
    EXPECT_EQ(m_server->StopUaServer(), OpcUa_Good);
    EXPECT_TRUE(m_trace.contains(2, "Server is already shut down"));
    EXPECT_EQ(serverTrace(), file) << "a stopped server's trace stays closed";
}

TEST_F(OpcUaServerTest, AVosRestartStartsTheServerOnceTheFileIsThereAndReadsTheTraceLevelAfresh)
{
    std::filesystem::remove(hostPath("Program/Opcwatch.xml"));
    EXPECT_EQ(m_server->StartUaServer(), 0x80000000u);
    EXPECT_TRUE(m_trace.contains(1, "Failed to start core module"));
    EXPECT_EQ(deviceState(), 6u);
    // Restarting a stopped server still answers 0, as its start failed.
    EXPECT_EQ(restart(), S_OK);
    EXPECT_EQ(deviceState(), 6u);

    writeConfiguration("<DefaultSubscriptionMode>1</DefaultSubscriptionMode>");
    for (DWORD level : {2u, 6u})
    {
        SCOPED_TRACE(level);
        setTraceLevel(level);
        std::filesystem::remove(hostPath("Program/_Opcwatch.log"));
        EXPECT_EQ(restart(), S_OK);
        EXPECT_EQ(deviceState(), 5u);
        bool entryLines = false;
        for (const auto& [lineLevel, text] : serverTrace())
            entryLines = entryLines || text == "--> COpcServerConfig::loadConfiguration";
        EXPECT_EQ(entryLines, level >= 6);
    }
    ULONG mode = 0;
    ULONG returned = 0;
    EXPECT_EQ(m_server->ReadEx(5000, 110, sizeof mode, &mode, &returned), S_OK);
    EXPECT_EQ(mode, 1u);
}

TEST_F(OpcUaServerTest, RunKeepsTheLoopUntilWmQuitAndThenStops)
{
    std::promise<DWORD> loopThread;
    auto run = std::async(std::launch::async,
                          [&]
                          {
                              loopThread.set_value(GetCurrentThreadId());
                              return m_server->Run();
                          });
    const DWORD thread = loopThread.get_future().get();
    // The queue exists from before the start, which runs under the lock; the loop runs after it.
    const auto patience = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!(PostThreadMessage(thread, WM_USER, 0, 0) && deviceState() == 5u) &&
           std::chrono::steady_clock::now() < patience)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(deviceState(), 5u);
    // A restart from another thread while the loop runs.
    EXPECT_EQ(restart(), S_OK);
    EXPECT_EQ(deviceState(), 5u);
    m_runtime.m_journal.take();

    ASSERT_TRUE(PostThreadMessage(thread, WM_QUIT, 0, 0));
    ASSERT_EQ(run.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_EQ(run.get(), S_OK);
    EXPECT_EQ(deviceState(), 6u);
    const Journal stop = m_runtime.m_journal.take();
    ASSERT_FALSE(stop.empty());
    EXPECT_EQ(stop.front(), "module.shutDown");

    // Run refuses a server that is running already.
    ASSERT_EQ(m_server->StartUaServer(), OpcUa_Good);
    EXPECT_EQ(m_server->Run(), E_FAIL);
    EXPECT_EQ(deviceState(), 5u);
    m_server->StopUaServer();
}

TEST_F(OpcUaServerTest, RestartsRunWhileOtherThreadsAskForSettings)
{
    ASSERT_EQ(m_server->StartUaServer(), OpcUa_Good);
    std::atomic<bool> done{false};
    std::atomic<int> unexpected{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 2; ++i)
        readers.emplace_back(
            [&]
            {
                while (!done)
                {
                    ULONG mode = 0;
                    ULONG returned = 0;
                    const HRESULT result = m_server->ReadEx(5000, 110, sizeof mode, &mode, &returned);
                    if (!(result == S_OK && mode == 2) && result != static_cast<HRESULT>(0x98110701))
                        ++unexpected;
                    const ULONG state = deviceState();
                    if (state != 5 && state != 6)
                        ++unexpected;
                }
            });
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(restart(), S_OK);
    done = true;
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_EQ(unexpected, 0);
    EXPECT_EQ(deviceState(), 5u);
}
} // namespace
