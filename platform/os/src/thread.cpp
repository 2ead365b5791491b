#include <os/handle.h>
#include <os/sync.h>

#include "thread_end.h"
#include "typed_handle.h"
#include "wait_lock.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace
{
// Signalled once the thread function has returned.
class ThreadObject : public os::HandleObject
{
public:
    ThreadObject(LPTHREAD_START_ROUTINE start, LPVOID parameter, bool suspended)
        : m_start(start), m_parameter(parameter), m_suspended(suspended)
    {
    }

    bool waitable() const override { return true; }
    os::AcquireResult tryAcquire() override
    {
        return m_finished ? os::AcquireResult::Acquired : os::AcquireResult::NotSignalled;
    }

    void run()
    {
        {
            std::unique_lock lock(os::detail::waitMutex());
            m_id = GetCurrentThreadId();
            os::detail::waitCondition().notify_all();
            os::detail::waitCondition().wait(lock, [this] { return !m_suspended; });
        }
        const DWORD exitCode = m_start(m_parameter);
        os::detail::endThreadMessageQueue();
        os::notifyWaiters(
            [&]
            {
                m_exitCode = exitCode;
                m_finished = true;
            });
    }

    DWORD waitForId()
    {
        std::unique_lock lock(os::detail::waitMutex());
        os::detail::waitCondition().wait(lock, [this] { return m_id != 0; });
        return m_id;
    }

    DWORD resume()
    {
        DWORD previous = 0;
        os::notifyWaiters(
            [&]
            {
                previous = m_suspended ? 1 : 0;
                m_suspended = false;
            });
        return previous;
    }

    DWORD exitCode()
    {
        std::lock_guard lock(os::detail::waitMutex());
        return m_finished ? m_exitCode : static_cast<DWORD>(STILL_ACTIVE);
    }

    std::atomic<int> priority{THREAD_PRIORITY_NORMAL};

private:
    LPTHREAD_START_ROUTINE m_start;
    LPVOID m_parameter;
    bool m_suspended;
    bool m_finished = false;
    DWORD m_exitCode = 0;
    DWORD m_id = 0;
};

// Stands for the calling thread (GetCurrentThread).
const HANDLE kCurrentThread = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2));
const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));

thread_local int t_priority = THREAD_PRIORITY_NORMAL;
} // namespace

extern "C" HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                               DWORD flags, LPDWORD threadId)
{
    if (!start)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto thread = std::make_shared<ThreadObject>(start, parameter, (flags & CREATE_SUSPENDED) != 0);
    try
    {
        std::thread([thread] { thread->run(); }).detach();
    }
    catch (const std::system_error&)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const DWORD id = thread->waitForId();
    if (threadId)
        *threadId = id;
    return os::registerHandle(thread);
}

extern "C" DWORD ResumeThread(HANDLE handle)
{
    auto thread = os::detail::typedHandle<ThreadObject>(handle);
    if (!thread)
        return 0xFFFFFFFFu;
    return thread->resume();
}

extern "C" BOOL GetExitCodeThread(HANDLE handle, LPDWORD exitCode)
{
    auto thread = os::handleObjectAs<ThreadObject>(handle);
    if (!thread || !exitCode)
    {
        SetLastError(thread ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *exitCode = thread->exitCode();
    return TRUE;
}

extern "C" BOOL SetThreadPriority(HANDLE handle, int priority)
{
    if (handle == kCurrentThread)
    {
        t_priority = priority;
        return TRUE;
    }
    auto thread = os::detail::typedHandle<ThreadObject>(handle);
    if (!thread)
        return FALSE;
    thread->priority = priority;
    return TRUE;
}

extern "C" int GetThreadPriority(HANDLE handle)
{
    if (handle == kCurrentThread)
        return t_priority;
    auto thread = os::detail::typedHandle<ThreadObject>(handle);
    if (!thread)
        return THREAD_PRIORITY_ERROR_RETURN;
    return thread->priority;
}

extern "C" BOOL CeSetThreadPriority(HANDLE handle, int priority)
{
    return SetThreadPriority(handle, priority);
}

extern "C" int CeGetThreadPriority(HANDLE handle)
{
    return GetThreadPriority(handle);
}

extern "C" HANDLE GetCurrentThread()
{
    return kCurrentThread;
}

extern "C" DWORD GetCurrentThreadId()
{
    return static_cast<DWORD>(syscall(SYS_gettid));
}

extern "C" HANDLE GetCurrentProcess()
{
    return kCurrentProcess;
}

extern "C" DWORD GetCurrentProcessId()
{
    return static_cast<DWORD>(getpid());
}
