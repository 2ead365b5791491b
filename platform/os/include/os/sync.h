// Threads, critical sections, events, mutexes, waits and time.
#pragma once

#include <os/types.h>

#include <pthread.h>

#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_ABANDONED_0 0x00000080L
#define WAIT_FAILED 0xFFFFFFFFu
#define MAXIMUM_WAIT_OBJECTS 64
#define STILL_ACTIVE 259L

#define CREATE_SUSPENDED 0x00000004
#define STACK_SIZE_PARAM_IS_A_RESERVATION 0x00010000

#define THREAD_PRIORITY_TIME_CRITICAL 15
#define THREAD_PRIORITY_HIGHEST 2
#define THREAD_PRIORITY_ABOVE_NORMAL 1
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_BELOW_NORMAL (-1)
#define THREAD_PRIORITY_LOWEST (-2)
#define THREAD_PRIORITY_IDLE (-15)
#define THREAD_PRIORITY_ERROR_RETURN 0x7FFFFFFF

#define EVENT_ALL_ACCESS 0x1F0003
#define EVENT_MODIFY_STATE 0x0002
#define MUTEX_ALL_ACCESS 0x1F0001
#define SYNCHRONIZE 0x00100000L

struct SECURITY_ATTRIBUTES
{
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

// Recursive: the owning thread may enter again; each enter needs its leave.
struct CRITICAL_SECTION
{
    pthread_mutex_t mutex;
};
typedef CRITICAL_SECTION* LPCRITICAL_SECTION;

typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID parameter);

union LARGE_INTEGER
{
    struct
    {
        DWORD LowPart;
        LONG HighPart;
    };
    LONGLONG QuadPart;
};
typedef LARGE_INTEGER* PLARGE_INTEGER;

extern "C"
{
    void InitializeCriticalSection(LPCRITICAL_SECTION section);
    void DeleteCriticalSection(LPCRITICAL_SECTION section);
    void EnterCriticalSection(LPCRITICAL_SECTION section);
    void LeaveCriticalSection(LPCRITICAL_SECTION section);
    BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section);

    // A named event or mutex is one object for every process of the device (and every
    // handle of the same name); creating an existing one sets ERROR_ALREADY_EXISTS.
    HANDLE CreateEventW(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState, LPCWSTR name);
    HANDLE OpenEventW(DWORD access, BOOL inherit, LPCWSTR name);
    BOOL SetEvent(HANDLE event);
    BOOL ResetEvent(HANDLE event);

    // A named mutex held by a process that ends is released; the next owner's wait
    // returns WAIT_ABANDONED.
    HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCWSTR name);
    HANDLE OpenMutexW(DWORD access, BOOL inherit, LPCWSTR name);
    BOOL ReleaseMutex(HANDLE mutex);

    DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
    DWORD WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL waitAll, DWORD milliseconds);

    HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                        LPVOID parameter, DWORD flags, LPDWORD threadId);
    DWORD ResumeThread(HANDLE thread);
    BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
    // Priorities are recorded only; the host schedules every thread alike.
    BOOL SetThreadPriority(HANDLE thread, int priority);
    int GetThreadPriority(HANDLE thread);
    BOOL CeSetThreadPriority(HANDLE thread, int priority);
    int CeGetThreadPriority(HANDLE thread);
    HANDLE GetCurrentThread();
    DWORD GetCurrentThreadId();
    HANDLE GetCurrentProcess();
    DWORD GetCurrentProcessId();

    void Sleep(DWORD milliseconds);
    // Milliseconds since an arbitrary start; wraps after 49.7 days.
    DWORD GetTickCount();
    // A monotonic counter of nanoseconds: the frequency is 1000000000.
    BOOL QueryPerformanceCounter(PLARGE_INTEGER count);
    BOOL QueryPerformanceFrequency(PLARGE_INTEGER frequency);
}

inline HANDLE CreateEvent(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState, LPCWSTR name)
{
    return CreateEventW(attributes, manualReset, initialState, name);
}
inline HANDLE OpenEvent(DWORD access, BOOL inherit, LPCWSTR name)
{
    return OpenEventW(access, inherit, name);
}
inline HANDLE CreateMutex(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCWSTR name)
{
    return CreateMutexW(attributes, initialOwner, name);
}
inline HANDLE OpenMutex(DWORD access, BOOL inherit, LPCWSTR name)
{
    return OpenMutexW(access, inherit, name);
}

inline LONG InterlockedIncrement(LONG volatile* value)
{
    return __atomic_add_fetch(value, 1, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedDecrement(LONG volatile* value)
{
    return __atomic_sub_fetch(value, 1, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedExchange(LONG volatile* target, LONG value)
{
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedExchangeAdd(LONG volatile* target, LONG value)
{
    return __atomic_fetch_add(target, value, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedCompareExchange(LONG volatile* target, LONG exchange, LONG comparand)
{
    __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return comparand;
}
