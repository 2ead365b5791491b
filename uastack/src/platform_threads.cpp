// Threads, recursive mutexes and counting semaphores.
#include "test_clock.h"

#include <opcua.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

#include <sys/syscall.h>
#include <unistd.h>

namespace
{
struct Thread
{
    OpcUa_PfnThreadMain* main = nullptr;
    void* argument = nullptr;
    std::thread thread;
    std::mutex mutex;
    std::condition_variable ended;
    bool started = false;
    bool running = false;
    bool deleteOnExit = false; // deleted from its own main: the thread frees the record
};

struct Semaphore
{
    std::mutex mutex;
    std::condition_variable available;
    OpcUa_UInt32 count = 0;
    OpcUa_UInt32 maximum = 0;
};
} // namespace

extern "C"
{

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_Thread_Create(OpcUa_Thread* thread, OpcUa_PfnThreadMain* main,
                                                      OpcUa_Void* argument)
    {
        if (thread == nullptr || main == nullptr)
            return OpcUa_BadInvalidArgument;
        auto* t = new (std::nothrow) Thread;
        if (t == nullptr)
            return OpcUa_BadOutOfMemory;
        t->main = main;
        t->argument = argument;
        *thread = t;
        return OpcUa_Good;
    }

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_Thread_Start(OpcUa_Thread thread)
    {
        auto* t = static_cast<Thread*>(thread);
        if (t == nullptr)
            return OpcUa_BadInvalidArgument;
        std::lock_guard<std::mutex> lock(t->mutex);
        if (t->started)
            return OpcUa_BadInvalidState;
        t->started = true;
        t->running = true;
        try
        {
            t->thread = std::thread(
                [t]
                {
                    t->main(t->argument);
                    bool deleteNow = false;
                    {
                        std::lock_guard<std::mutex> l(t->mutex);
                        t->running = false;
                        t->ended.notify_all();
                        deleteNow = t->deleteOnExit;
                    }
                    if (deleteNow)
                        delete t;
                });
        }
        catch (...)
        {
            t->started = false;
            t->running = false;
            return OpcUa_BadResourceUnavailable;
        }
        return OpcUa_Good;
    }

    OPCUA_EXPORT OpcUa_Boolean OpcUa_Thread_IsRunning(OpcUa_Thread thread)
    {
        auto* t = static_cast<Thread*>(thread);
        if (t == nullptr)
            return OpcUa_False;
        std::lock_guard<std::mutex> lock(t->mutex);
        return t->running ? OpcUa_True : OpcUa_False;
    }

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_Thread_WaitForShutdown(OpcUa_Thread thread, OpcUa_UInt32 timeout)
    {
        auto* t = static_cast<Thread*>(thread);
        if (t == nullptr)
            return OpcUa_BadInvalidArgument;
        std::unique_lock<std::mutex> lock(t->mutex);
        if (timeout == OpcUa_Infinite)
        {
            t->ended.wait(lock, [t] { return !t->running; });
            return OpcUa_Good;
        }
        // A thread that has not ended in the time given is a fault of the caller's shut-down
        // order, which the base library's wait traces as an error.
        return t->ended.wait_for(lock, std::chrono::milliseconds(timeout), [t] { return !t->running; })
                   ? OpcUa_Good
                   : OpcUa_BadTimeout;
    }

    OPCUA_EXPORT OpcUa_Void OpcUa_Thread_Delete(OpcUa_Thread* thread)
    {
        if (thread == nullptr || *thread == nullptr)
            return;
        auto* t = static_cast<Thread*>(*thread);
        *thread = nullptr;
        {
            // Under the lock: Start may still be storing the thread object while
            // the new thread already runs main.
            std::lock_guard<std::mutex> lock(t->mutex);
            if (t->thread.joinable() && t->thread.get_id() == std::this_thread::get_id())
            {
                // Deleted from its own main: the record is still in use until main
                // has returned, so the thread frees it on its way out.
                t->deleteOnExit = true;
                t->thread.detach();
                return;
            }
        }
        if (t->thread.joinable())
            t->thread.join();
        delete t;
    }

    OPCUA_EXPORT OpcUa_Void OpcUa_Thread_Sleep(OpcUa_UInt32 milliseconds)
    {
        if (OpcUa::testclock::active() && OpcUa::testclock::sleep(milliseconds))
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }

    OPCUA_EXPORT OpcUa_UInt32 OpcUa_Thread_GetCurrentThreadId(void)
    {
        return static_cast<OpcUa_UInt32>(::syscall(SYS_gettid));
    }

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_Mutex_Create(OpcUa_Mutex* mutex)
    {
        if (mutex == nullptr)
            return OpcUa_BadInvalidArgument;
        *mutex = new (std::nothrow) std::recursive_mutex;
        return *mutex == nullptr ? OpcUa_BadOutOfMemory : OpcUa_Good;
    }

    OPCUA_EXPORT OpcUa_Void OpcUa_Mutex_Delete(OpcUa_Mutex* mutex)
    {
        if (mutex == nullptr || *mutex == nullptr)
            return;
        delete static_cast<std::recursive_mutex*>(*mutex);
        *mutex = nullptr;
    }

    OPCUA_EXPORT OpcUa_Void OpcUa_Mutex_Lock(OpcUa_Mutex mutex)
    {
        if (mutex != nullptr)
            static_cast<std::recursive_mutex*>(mutex)->lock();
    }

    OPCUA_EXPORT OpcUa_Void OpcUa_Mutex_Unlock(OpcUa_Mutex mutex)
    {
        if (mutex != nullptr)
            static_cast<std::recursive_mutex*>(mutex)->unlock();
    }

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_Semaphore_Create(OpcUa_Semaphore* semaphore, OpcUa_UInt32 initial,
                                                         OpcUa_UInt32 maximum)
    {
        if (semaphore == nullptr || maximum == 0 || initial > maximum)
            return OpcUa_BadInvalidArgument;
        auto* s = new (std::nothrow) Semaphore;
        if (s == nullptr)
            return OpcUa_BadOutOfMemory;
        s->count = initial;
        s->maximum = maximum;
        *semaphore = s;
        return OpcUa_Good;
    }

    OPCUA_EXPORT OpcUa_Void OpcUa_Semaphore_Delete(OpcUa_Semaphore* semaphore)
    {
        if (semaphore == nullptr || *semaphore == nullptr)
            return;
        delete static_cast<Semaphore*>(*semaphore);
        *semaphore = nullptr;
    }

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_Semaphore_Wait(OpcUa_Semaphore semaphore)
    {
        auto* s = static_cast<Semaphore*>(semaphore);
        if (s == nullptr)
            return OpcUa_BadInvalidArgument;
        std::unique_lock<std::mutex> lock(s->mutex);
        s->available.wait(lock, [s] { return s->count > 0; });
        --s->count;
        return OpcUa_Good;
    }

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_Semaphore_TimedWait(OpcUa_Semaphore semaphore,
                                                            OpcUa_UInt32 milliseconds)
    {
        auto* s = static_cast<Semaphore*>(semaphore);
        if (s == nullptr)
            return OpcUa_BadInvalidArgument;
        if (milliseconds == OpcUa_Infinite)
            return OpcUa_Semaphore_Wait(semaphore);
        std::unique_lock<std::mutex> lock(s->mutex);
        if (!s->available.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                   [s] { return s->count > 0; }))
            return OpcUa_GoodNonCriticalTimeout;
        --s->count;
        return OpcUa_Good;
    }

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_Semaphore_Post(OpcUa_Semaphore semaphore, OpcUa_UInt32 count)
    {
        auto* s = static_cast<Semaphore*>(semaphore);
        if (s == nullptr || count == 0)
            return OpcUa_BadInvalidArgument;
        std::lock_guard<std::mutex> lock(s->mutex);
        if (count > s->maximum - s->count)
            return OpcUa_BadTooManyPosts;
        s->count += count;
        if (count == 1)
            s->available.notify_one();
        else
            s->available.notify_all();
        return OpcUa_Good;
    }

} // extern "C"
