#include "test_support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include <signal.h>
#include <sys/wait.h>

TEST(MessageLoop, ProgramLeavesItsLoopOnSigterm)
{
    for (int number : {SIGTERM, SIGINT})
    {
        ostest::ChildProcess program({"message-loop"});
        ASSERT_EQ(program.readLine(), "ready");
        EXPECT_EQ(program.readLine(), "message " + std::to_string(WM_USER + 1));
        program.signal(number);
        EXPECT_EQ(program.readLine(), "left loop 0 0");
        const int status = program.wait();
        ASSERT_TRUE(WIFEXITED(status)) << "signal " << number;
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
}

TEST(MessageLoop, ASecondStopRequestEndsTheProgramAtOnce)
{
    ostest::ChildProcess program({"message-loop-stays"});
    ASSERT_EQ(program.readLine(), "ready");
    EXPECT_EQ(program.readLine(), "message " + std::to_string(WM_USER + 1));
    program.signal(SIGTERM);
    EXPECT_EQ(program.readLine(), "left loop 0 0"); // the first asks for an orderly stop
    program.signal(SIGTERM);
    const int status = program.wait();
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
}

TEST(MessageLoop, PostQuitMessageFromAnotherThreadEndsIt)
{
    ostest::ChildProcess program({"message-loop-worker-quits"});
    ASSERT_EQ(program.readLine(), "ready");
    EXPECT_EQ(program.readLine(), "message " + std::to_string(WM_USER + 1));
    EXPECT_EQ(program.readLine(), "left loop 0 5");
    const int status = program.wait();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(MessageQueue, ThreadMessagesArriveInOrderAndHonourFilters)
{
    // Shared with the loop thread, which may outlive a failed wait here.
    struct Shared
    {
        HANDLE ready;
        DWORD received[3];
    };
    auto shared = std::make_shared<Shared>(Shared{CreateEventW(nullptr, TRUE, FALSE, nullptr), {}});
    DWORD loopThread = 0;
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID parameter) -> DWORD
        {
            const std::unique_ptr<std::shared_ptr<Shared>> owned(
                static_cast<std::shared_ptr<Shared>*>(parameter));
            Shared* state = owned->get();
            MSG message{};
            PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
            SetEvent(state->ready);
            int count = 0;
            while (GetMessageW(&message, nullptr, 0, 0) > 0)
                state->received[count++] = static_cast<DWORD>(message.wParam);
            return static_cast<DWORD>(message.wParam) + 100;
        },
        new std::shared_ptr<Shared>(shared), 0, &loopThread);
    ASSERT_EQ(WaitForSingleObject(shared->ready, 30000), static_cast<DWORD>(WAIT_OBJECT_0));
    for (WPARAM value : {1, 2, 3})
        ASSERT_TRUE(PostThreadMessageW(loopThread, WM_APP, value, 0));
    ASSERT_TRUE(PostThreadMessageW(loopThread, WM_QUIT, 7, 0));
    ASSERT_EQ(WaitForSingleObject(thread, 30000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD exitCode = 0;
    GetExitCodeThread(thread, &exitCode);
    EXPECT_EQ(exitCode, 107u);
    EXPECT_EQ(shared->received[0], 1u);
    EXPECT_EQ(shared->received[1], 2u);
    EXPECT_EQ(shared->received[2], 3u);
    CloseHandle(thread);
    CloseHandle(shared->ready);

    // The ended thread's queue is gone.
    EXPECT_FALSE(PostThreadMessageW(loopThread, WM_APP, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_THREAD_ID));

    // Filters and peeking on the own queue; a quit request comes after earlier messages.
    MSG message{};
    ASSERT_TRUE(PostMessageW(nullptr, WM_USER + 5, 50, 0));
    ASSERT_TRUE(PostMessageW(nullptr, WM_APP, 60, 0));
    PostQuitMessage(3);
    ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_APP, WM_APP, PM_NOREMOVE));
    EXPECT_EQ(message.wParam, 60u);
    ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_APP, WM_APP, PM_REMOVE));
    EXPECT_EQ(message.wParam, 60u);
    EXPECT_EQ(GetMessageW(&message, nullptr, 0, 0), TRUE);
    EXPECT_EQ(message.message, static_cast<UINT>(WM_USER + 5));
    EXPECT_EQ(GetMessageW(&message, nullptr, 0, 0), FALSE);
    EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(message.wParam, 3u);
    EXPECT_FALSE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
}
