#include "test_support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <atomic>
#include <thread>

namespace
{
// Generous: the machine may be loaded; only lower bounds of waits are timing facts.
constexpr DWORD kLong = 30000;

DWORD elapsedSince(DWORD start)
{
    return GetTickCount() - start;
}
} // namespace

TEST(Events, AutoResetWakesOneWaitThenResets)
{
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    ASSERT_TRUE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    std::thread setter(
        [event]
        {
            Sleep(50);
            SetEvent(event);
        });
    EXPECT_EQ(WaitForSingleObject(event, kLong), static_cast<DWORD>(WAIT_OBJECT_0));
    setter.join();
    CloseHandle(event);
}

TEST(Events, ManualResetStaysSignalledUntilReset)
{
    HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    ResetEvent(event);
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    CloseHandle(event);
}

TEST(Events, WaitTimesOutNoEarlierThanAsked)
{
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const DWORD start = GetTickCount();
    EXPECT_EQ(WaitForSingleObject(event, 200), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_GE(elapsedSince(start), 200u);
    CloseHandle(event);
}

TEST(Events, WaitForSeveralReportsTheSignalledIndex)
{
    HANDLE events[3] = {CreateEventW(nullptr, FALSE, FALSE, nullptr),
                        CreateEventW(nullptr, FALSE, FALSE, nullptr),
                        CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    SetEvent(events[2]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), static_cast<DWORD>(WAIT_OBJECT_0 + 2));
    EXPECT_EQ(WaitForMultipleObjects(3, events, TRUE, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    SetEvent(events[0]);
    SetEvent(events[1]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, TRUE, kLong), static_cast<DWORD>(WAIT_OBJECT_0));
    // All three were taken together: the auto-reset ones are reset again.
    EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    for (HANDLE event : events)
        CloseHandle(event);

    HANDLE closed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    CloseHandle(closed);
    EXPECT_EQ(WaitForSingleObject(closed, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Events, NamedEventIsSharedWithAnotherProcess)
{
    ostest::TempDeviceRoot root;
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, u"Test WorkerEvent");
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE again = CreateEventW(nullptr, FALSE, FALSE, u"Test WorkerEvent");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

    ostest::ChildProcess child({"set-event", "Test WorkerEvent"});
    EXPECT_EQ(child.readLine(), "set");
    EXPECT_EQ(WaitForSingleObject(again, kLong), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT)); // auto-reset: one wake only
    EXPECT_EQ(WEXITSTATUS(child.wait()), 0);
    CloseHandle(event);
    CloseHandle(again);
}

TEST(Threads, ThreadHandleSignalsEndAndKeepsExitCode)
{
    std::atomic<bool> release{false};
    DWORD id = 0;
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID flag) -> DWORD
        {
            while (!static_cast<std::atomic<bool>*>(flag)->load())
                Sleep(1);
            return 17;
        },
        &release, 0, &id);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_NE(id, GetCurrentThreadId());
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_EQ(WaitForSingleObject(thread, 10), static_cast<DWORD>(WAIT_TIMEOUT));
    release = true;
    EXPECT_EQ(WaitForSingleObject(thread, kLong), static_cast<DWORD>(WAIT_OBJECT_0));
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 17u);
    CloseHandle(thread);
}

TEST(CriticalSections, AreRecursiveAndExclusive)
{
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);
    bool otherGotIt = true;
    std::thread other([&] { otherGotIt = TryEnterCriticalSection(&section); });
    other.join();
    EXPECT_FALSE(otherGotIt);
    LeaveCriticalSection(&section);
    LeaveCriticalSection(&section);
    std::thread again(
        [&]
        {
            otherGotIt = TryEnterCriticalSection(&section);
            if (otherGotIt)
                LeaveCriticalSection(&section);
        });
    again.join();
    EXPECT_TRUE(otherGotIt);
    DeleteCriticalSection(&section);
}

TEST(Mutexes, OwnedRecursivelyAndReleasedOnlyByOwner)
{
    HANDLE mutex = CreateMutexW(nullptr, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_OBJECT_0)); // owner may take it again
    DWORD otherResult = 0;
    BOOL otherReleased = TRUE;
    std::thread other(
        [&]
        {
            otherResult = WaitForSingleObject(mutex, 50);
            otherReleased = ReleaseMutex(mutex);
        });
    other.join();
    EXPECT_EQ(otherResult, static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_FALSE(otherReleased);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
    CloseHandle(mutex);
}

TEST(NamedMutexes, WaitTimesOutWhileAnotherProcessHoldsIt)
{
    ostest::TempDeviceRoot root;
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, u"Release Holder");
    ostest::ChildProcess holder({"hold-mutex", "Api_File_Mutex", "Release Holder"});
    ASSERT_EQ(holder.readLine(), "held 0");

    HANDLE mutex = CreateMutexW(nullptr, FALSE, u"Api_File_Mutex");
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    const DWORD start = GetTickCount();
    EXPECT_EQ(WaitForSingleObject(mutex, 100), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_GE(elapsedSince(start), 100u);

    // Released by its holder: the waiting wait succeeds.
    std::thread releaser(
        [release]
        {
            Sleep(50);
            SetEvent(release);
        });
    EXPECT_EQ(WaitForSingleObject(mutex, kLong), static_cast<DWORD>(WAIT_OBJECT_0));
    releaser.join();
    EXPECT_EQ(holder.readLine(), "released");
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WEXITSTATUS(holder.wait()), 0);
    CloseHandle(mutex);
    CloseHandle(release);
}

TEST(NamedMutexes, KilledHolderDoesNotBlockOthers)
{
    ostest::TempDeviceRoot root;
    HANDLE mutex = CreateMutexW(nullptr, FALSE, u"Shared Mutex");
    ASSERT_NE(mutex, nullptr);
    ostest::ChildProcess holder({"hold-mutex", "Shared Mutex"});
    ASSERT_EQ(holder.readLine(), "held 0");
    EXPECT_EQ(WaitForSingleObject(mutex, 50), static_cast<DWORD>(WAIT_TIMEOUT));

    holder.signal(SIGKILL);
    holder.wait();
    EXPECT_EQ(WaitForSingleObject(mutex, kLong), static_cast<DWORD>(WAIT_ABANDONED));
    EXPECT_TRUE(ReleaseMutex(mutex));
    // The next owner finds a cleanly released mutex.
    HANDLE release = CreateEventW(nullptr, TRUE, TRUE, u"Release Next");
    ostest::ChildProcess next({"hold-mutex", "Shared Mutex", "Release Next"});
    EXPECT_EQ(next.readLine(), "held 0");
    EXPECT_EQ(next.readLine(), "released");
    EXPECT_EQ(WEXITSTATUS(next.wait()), 0);
    CloseHandle(release);
    CloseHandle(mutex);
}
