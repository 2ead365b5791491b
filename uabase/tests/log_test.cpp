// The trace log: line and header forms, level gating, rotation and reconfiguration.
#include "uatestdeviceroot.h"

#include "ualog.h"
#include "uathread.h"
#include "uatrace.h"
#include "uatracecapture.h"

#include <opcua.h>

#include <algorithm>
#include <atomic>
#include <regex>
#include <thread>

namespace
{
class LogTest : public TempDeviceRoot
{
protected:
    void TearDown() override
    {
        UaLog::close();
        UaLog::setActive(false);
        TempDeviceRoot::TearDown();
    }

    int openLog(int level, unsigned maxLines, unsigned backups, const std::string& file)
    {
        UaLog::setActive(true);
        return UaLog::open(level, maxLines, backups, UaString(file.c_str()), UaString("TestApp"));
    }

    // The message texts of the trace lines of a file (header skipped), with their levels.
    static std::vector<std::pair<int, std::string>> messages(const std::string& file)
    {
        std::vector<std::pair<int, std::string>> result;
        const std::regex line(R"(^[^|]*\|(\d)\|[0-9A-F]{4,}\* (.*)$)");
        for (const std::string& text : readLines(file))
        {
            std::smatch match;
            if (std::regex_match(text, match, line))
                result.emplace_back(std::stoi(match[1]), match[2]);
        }
        return result;
    }

    static std::vector<std::string> texts(const std::string& file)
    {
        std::vector<std::string> result;
        for (const auto& [level, text] : messages(file))
            result.push_back(text);
        return result;
    }
};

TEST_F(LogTest, HeaderAndLineHaveTheirExactForms)
{
    const std::string file = path("trace.log");
    ASSERT_EQ(openLog(6, 100000, 5, file), 0);
    UaLog::entryExit(2, "--> Session::open [ID=%d]", 3);

    const std::vector<std::string> lines = readLines(file);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "** TestApp: start trace");
    EXPECT_TRUE(std::regex_match(lines[1], std::regex("\\*\\* Date:\t\\d{4}-\\d{2}-\\d{2}"))) << lines[1];
    EXPECT_EQ(lines[2], "**");
    char thread[16];
    std::snprintf(thread, sizeof thread, "%04X", static_cast<unsigned>(OpcUa_Thread_GetCurrentThreadId()));
    const std::regex form(std::string(R"(^\d{2}:\d{2}:\d{2}\.\d{3}Z\|6\|)") + thread +
                          R"(\* --> Session::open \[ID=3\]$)");
    EXPECT_TRUE(std::regex_match(lines[3], form)) << lines[3];
}

TEST_F(LogTest, OnlyLevelsUpToTheConfiguredOneAreWritten)
{
    const std::string file = path("levels.log");
    ASSERT_EQ(openLog(3, 100000, 5, file), 0);
    EXPECT_EQ(UaLog::level(), 3);
    EXPECT_TRUE(UaLog::isLevel(3));
    EXPECT_FALSE(UaLog::isLevel(4));
    UaLog::error(2, "e");
    UaLog::warning(2, "w");
    UaLog::info(2, "i");
    UaLog::progress(2, "p");
    UaLog::lifetime(2, "l");
    UaLog::entryExit(2, "x");
    UaLog::detail(2, "d");
    const auto written = messages(file);
    const std::vector<std::pair<int, std::string>> expected{{1, "e"}, {2, "w"}, {3, "i"}};
    EXPECT_EQ(written, expected);
}

TEST_F(LogTest, InactiveTracingWritesNothing)
{
    const std::string file = path("inactive.log");
    ASSERT_EQ(openLog(7, 100000, 5, file), 0);
    UaLog::setActive(false);
    UaLog::error(2, "not written");
    UaLog::detail(2, "not written");
    EXPECT_EQ(readLines(file).size(), 3u);
    UaLog::setActive(true);
    UaLog::error(2, "written");
    EXPECT_EQ(texts(file), std::vector<std::string>{"written"});
}

TEST_F(LogTest, PercentSignsOfTheTextAreWrittenLiterally)
{
    const std::string file = path("percent.log");
    ASSERT_EQ(openLog(1, 100000, 5, file), 0);
    UaLog::error(2, "%s", "100%s %d done");
    UaLog::error(2, "rate 50%%");
    EXPECT_EQ(texts(file), (std::vector<std::string>{"100%s %d done", "rate 50%"}));
}

TEST_F(LogTest, LongTextIsCutTo1899Characters)
{
    const std::string file = path("long.log");
    ASSERT_EQ(openLog(1, 100000, 5, file), 0);
    const std::string text(3000, 'x');
    UaLog::error(2, "%s", text.c_str());
    EXPECT_EQ(texts(file), std::vector<std::string>{std::string(1899, 'x')});
}

TEST_F(LogTest, OpenWhileOpenFailsAndKeepsTheOldFile)
{
    const std::string file = path("first.log");
    ASSERT_EQ(openLog(2, 100000, 5, file), 0);
    EXPECT_EQ(openLog(7, 100000, 5, path("second.log")), -1);
    EXPECT_EQ(UaLog::level(), 2);
    EXPECT_FALSE(std::filesystem::exists(path("second.log")));
    UaLog::error(2, "still here");
    EXPECT_EQ(texts(file), std::vector<std::string>{"still here"});
}

TEST_F(LogTest, FailedOpenKeepsTheLevel)
{
    EXPECT_EQ(openLog(5, 100000, 5, path("missing-folder/trace.log")), -1);
    EXPECT_EQ(UaLog::level(), 0);
}

TEST_F(LogTest, RotationShiftsTheBackups)
{
    const std::string file = path("x.log");
    writeText(file, "old0");
    writeText(path("x_1.log"), "old1");
    writeText(path("x_2.log"), "old2");
    // Two lines of the limit go to the header, so five lines hold three messages.
    ASSERT_EQ(openLog(1, 5, 2, file), 0);
    EXPECT_EQ(readText(path("x_1.log")), "old0");
    EXPECT_EQ(readText(path("x_2.log")), "old1");

    for (int i = 1; i <= 7; ++i)
        UaLog::error(2, "line %d", i);

    EXPECT_EQ(texts(path("x_2.log")), (std::vector<std::string>{"line 1", "line 2", "line 3"}));
    EXPECT_EQ(texts(path("x_1.log")), (std::vector<std::string>{"line 4", "line 5", "line 6"}));
    EXPECT_EQ(texts(file), std::vector<std::string>{"line 7"});
    EXPECT_EQ(readLines(file).front(), "** TestApp: start trace");
    EXPECT_FALSE(std::filesystem::exists(path("x_3.log")));
}

TEST_F(LogTest, BackupNamesPutTheNumberBeforeTheFileNamesExtension)
{
    const struct
    {
        const char* file;
        unsigned index;
        const char* backup;
    } cases[] = {
        {"trace.log", 1, "trace_1.log"},
        {"trace", 1, "trace_1.log"},
        {"logs.d/trace", 2, "logs.d/trace_2.log"},
        {"a.b\\c.txt", 3, "a.b\\c_3.txt"},
        {"/var/a.b/trace.x.log", 5, "/var/a.b/trace.x_5.log"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(std::string(UaLog::backupFileName(UaString(c.file), c.index).toUtf8()), c.backup) << c.file;
}

TEST_F(LogTest, RotationInAFolderWithADotKeepsTheLog)
{
    std::filesystem::create_directory(path("logs.d"));
    const std::string file = path("logs.d/trace");
    ASSERT_EQ(openLog(1, 4, 3, file), 0);
    for (int i = 1; i <= 5; ++i)
        UaLog::error(2, "line %d", i);
    EXPECT_EQ(texts(path("logs.d/trace_2.log")), (std::vector<std::string>{"line 1", "line 2"}));
    EXPECT_EQ(texts(path("logs.d/trace_1.log")), (std::vector<std::string>{"line 3", "line 4"}));
    EXPECT_EQ(texts(file), std::vector<std::string>{"line 5"});
}

TEST_F(LogTest, ReconfigureWithTheSameNameChangesOnlyLevelAndLimits)
{
    const std::string file = path("same.log");
    ASSERT_EQ(openLog(1, 100000, 5, file), 0);
    UaLog::error(2, "before");
    ASSERT_EQ(UaLog::reconfigure(4, 100000, 5, UaString(file.c_str())), 0);
    EXPECT_EQ(UaLog::level(), 4);
    UaLog::progress(2, "after");
    EXPECT_EQ(texts(file), (std::vector<std::string>{"before", "after"}));
}

TEST_F(LogTest, ReconfigureToANewNameStartsThatFileWithAHeader)
{
    const std::string first = path("first.log");
    const std::string second = path("second.log");
    writeText(second, "stale content\n");
    ASSERT_EQ(openLog(1, 100000, 5, first), 0);
    UaLog::error(2, "in first");
    ASSERT_EQ(UaLog::reconfigure(2, 100000, 5, UaString(second.c_str())), 0);
    UaLog::warning(2, "in second");
    EXPECT_EQ(texts(first), std::vector<std::string>{"in first"});
    const std::vector<std::string> lines = readLines(second);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "** TestApp: start trace");
    EXPECT_EQ(texts(second), std::vector<std::string>{"in second"});
    // No rotation on a new name.
    EXPECT_FALSE(std::filesystem::exists(path("second_1.log")));
}

TEST_F(LogTest, ReconfigureKeepsCountingLinesTowardsTheLimit)
{
    const std::string first = path("count.log");
    const std::string second = path("count2.log");
    ASSERT_EQ(openLog(1, 5, 1, first), 0);
    UaLog::error(2, "one");
    UaLog::error(2, "two");
    ASSERT_EQ(UaLog::reconfigure(1, 5, 1, UaString(second.c_str())), 0);
    UaLog::error(2, "three");
    // The fifth counted line filled the limit: the new file went to its backup.
    EXPECT_EQ(texts(path("count2_1.log")), std::vector<std::string>{"three"});
}

TEST_F(LogTest, ReconfigureWithoutAnOpenFileFails)
{
    EXPECT_EQ(UaLog::reconfigure(3, 10, 1, UaString(path("none.log").c_str())), -1);
}

TEST_F(LogTest, CloseResetsTheLevelAndALaterOpenStartsAfresh)
{
    const std::string file = path("again.log");
    ASSERT_EQ(openLog(3, 100000, 5, file), 0);
    UaLog::close();
    EXPECT_EQ(UaLog::level(), 0);
    UaLog::error(2, "while closed");
    ASSERT_EQ(openLog(3, 100000, 5, file), 0);
    UaLog::error(2, "reopened");
    EXPECT_EQ(texts(file), std::vector<std::string>{"reopened"});
    EXPECT_TRUE(texts(path("again_1.log")).empty());
}

TEST_F(LogTest, LinesOfSeveralThreadsNeverInterleave)
{
    const std::string file = path("threads.log");
    ASSERT_EQ(openLog(7, 1000000, 1, file), 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back(
            [t]
            {
                for (int i = 0; i < 200; ++i)
                    UaLog::detail(2, "thread %d line %d", t, i);
            });
    for (std::thread& thread : threads)
        thread.join();
    const auto written = texts(file);
    ASSERT_EQ(written.size(), 800u);
    for (const std::string& text : written)
        EXPECT_TRUE(std::regex_match(text, std::regex(R"(thread \d line \d+)"))) << text;
}

TEST_F(LogTest, ClosingAndOpeningWhileOtherThreadsWriteKeepsTheLog)
{
    // A server restart closes and reopens the trace while request threads go on writing.
    const std::string file = path("churn.log");
    std::atomic<bool> done{false};
    std::vector<std::thread> writers;
    for (int t = 0; t < 3; ++t)
        writers.emplace_back(
            [&done, t]
            {
                while (!done)
                    UaLog::error(1, "writer %d", t);
            });
    for (int round = 0; round < 200; ++round)
    {
        openLog(7, 100000, 1, file);
        UaLog::close();
    }
    done = true;
    for (std::thread& writer : writers)
        writer.join();
    ASSERT_EQ(openLog(3, 100000, 1, path("after.log")), 0);
    UaLog::error(2, "after");
    EXPECT_EQ(texts(path("after.log")), std::vector<std::string>{"after"});
}

TEST_F(LogTest, TraceNamesReachTheSameLog)
{
    const std::string file = path("names.log");
    ASSERT_EQ(openLog(4, 100000, 5, file), 0);
    EXPECT_EQ(UaTrace::getTraceLevel(), 4);
    EXPECT_TRUE(UaTrace::isTraceLevelOn(4));
    EXPECT_FALSE(UaTrace::isTraceLevelOn(5));
    UaTrace::traceLevel1("error %d", 1);
    UaTrace::traceLevel4("==> UaServer::Read [Request=%d]", 9);
    UaTrace::traceLevel5("not written");
    const std::vector<std::pair<int, std::string>> expected{{1, "error 1"},
                                                            {4, "==> UaServer::Read [Request=9]"}};
    EXPECT_EQ(messages(file), expected);
}
// Runs until released.
class GatedThread : public UaThread
{
public:
    GatedThread() { OpcUa_Semaphore_Create(&m_gate, 0, 1); }
    ~GatedThread() override
    {
        wait(OpcUa_Infinite);
        OpcUa_Semaphore_Delete(&m_gate);
    }
    void release() { OpcUa_Semaphore_Post(m_gate, 1); }

protected:
    void run() override { OpcUa_Semaphore_Wait(m_gate); }

private:
    OpcUa_Semaphore m_gate = nullptr;
};

TEST_F(LogTest, AThreadWaitThatTimesOutIsTracedAsAnError)
{
    const std::string file = path("wait.log");
    ASSERT_EQ(openLog(1, 100000, 5, file), 0);
    GatedThread thread;
    ASSERT_EQ(thread.start(), OpcUa_Good);
    EXPECT_TRUE(thread.wait(1));
    thread.release();
    EXPECT_FALSE(thread.wait(OpcUa_Infinite));
    char expected[128];
    std::snprintf(expected, sizeof expected, "Error: OpcUa_Thread_WaitForShutdown returned error [ret=0x%lx]",
                  static_cast<unsigned long>(OpcUa_BadTimeout));
    EXPECT_EQ(texts(file), std::vector<std::string>{expected});
}
} // namespace

TEST_F(LogTest, CaptureReceivesEveryLineUpToItsLevelWithoutFileOrActiveFlag)
{
    ASSERT_FALSE(UaLog::isActive());
    {
        UaTraceCapture capture(5);
        EXPECT_EQ(UaLog::level(), 5);
        EXPECT_TRUE(UaTrace::isTraceLevelOn(5));
        EXPECT_FALSE(UaTrace::isTraceLevelOn(6));
        UaLog::error(2, "Error: %s [ret=0x%08x]", "step", 0x80340000u);
        UaTrace::traceLevel4("==> UaServer::Read [Request=%d]", 7);
        UaTrace::traceLevel5("Ctor %s", "UaSubscriptionManager");
        UaTrace::traceLevel6("--> not captured");
        UaLog::detail(2, "not captured either");
        const std::vector<UaTraceLine> lines = capture.lines();
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0].level, 1);
        EXPECT_EQ(lines[0].text, "Error: step [ret=0x80340000]");
        EXPECT_EQ(lines[1].level, 4);
        EXPECT_EQ(lines[1].text, "==> UaServer::Read [Request=7]");
        EXPECT_EQ(lines[2].level, 5);
        EXPECT_TRUE(capture.contains(5, "Ctor UaSubscriptionManager"));
        EXPECT_FALSE(capture.contains(4, "Ctor UaSubscriptionManager"));
        capture.clear();
        EXPECT_TRUE(capture.lines().empty());
    }
    EXPECT_EQ(UaLog::level(), 0);
}

TEST_F(LogTest, FileKeepsItsOwnLevelWhileCaptured)
{
    const std::string file = path("captured.log");
    ASSERT_EQ(openLog(3, 100000, 5, file), 0);
    UaTraceCapture capture(7);
    EXPECT_EQ(UaLog::level(), 7);
    UaTrace::traceLevel6("--> entry");
    UaTrace::traceLevel1("Error: both");
    EXPECT_EQ(texts(file), std::vector<std::string>{"Error: both"});
    EXPECT_EQ(capture.texts(), (std::vector<std::string>{"--> entry", "Error: both"}));
}

TEST_F(LogTest, InnerCaptureTakesTheLinesUntilItEnds)
{
    UaTraceCapture outer(7);
    {
        UaTraceCapture inner(2);
        UaTrace::traceLevel1("inner");
        UaTrace::traceLevel3("dropped by the inner level");
        EXPECT_EQ(inner.texts(), std::vector<std::string>{"inner"});
    }
    UaTrace::traceLevel3("outer");
    EXPECT_EQ(outer.texts(), std::vector<std::string>{"outer"});
}

TEST_F(LogTest, CaptureKeepsEveryLineOfConcurrentWriters)
{
    UaTraceCapture capture(7);
    const int threads = 4;
    const int perThread = 500;
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t)
        writers.emplace_back(
            [t]
            {
                for (int i = 0; i < perThread; ++i)
                    UaTrace::traceLevel6("line %d.%d", t, i);
            });
    for (std::thread& writer : writers)
        writer.join();
    std::vector<std::string> texts = capture.texts();
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(std::unique(texts.begin(), texts.end()) - texts.begin(), threads * perThread);
}
