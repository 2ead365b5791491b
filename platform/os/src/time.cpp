#include <os/sync.h>

#include <cerrno>
#include <ctime>

extern "C" void Sleep(DWORD milliseconds)
{
    timespec remaining{static_cast<time_t>(milliseconds / 1000),
                       static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR)
    {
    }
}

extern "C" DWORD GetTickCount()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t milliseconds =
        static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<DWORD>(milliseconds); // wraps like the device's counter
}

extern "C" BOOL QueryPerformanceCounter(PLARGE_INTEGER count)
{
    if (!count)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    count->QuadPart = static_cast<LONGLONG>(now.tv_sec) * 1000000000LL + now.tv_nsec;
    return TRUE;
}

extern "C" BOOL QueryPerformanceFrequency(PLARGE_INTEGER frequency)
{
    if (!frequency)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    frequency->QuadPart = 1000000000LL;
    return TRUE;
}
