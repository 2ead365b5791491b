// File times (100-ns intervals since 1601-01-01 UTC) as calendar times.
#include <os/file.h>

#include <ctime>

namespace
{
constexpr uint64_t kTicksPerSecond = 10000000ull;
// Seconds between 1601-01-01 and 1970-01-01.
constexpr int64_t kEpochSeconds = 11644473600ll;
// 30827-12-31 23:59:59.999, the last time a SYSTEMTIME holds.
constexpr uint64_t kLastTicks = 0x7FFF35F4F06C7FFFull;

uint64_t ticks(const FILETIME& time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

BOOL invalid()
{
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}
} // namespace

extern "C" BOOL FileTimeToSystemTime(LPCFILETIME fileTime, LPSYSTEMTIME systemTime)
{
    if (!fileTime || !systemTime || ticks(*fileTime) > kLastTicks)
        return invalid();
    const uint64_t value = ticks(*fileTime);
    const time_t seconds = static_cast<time_t>(static_cast<int64_t>(value / kTicksPerSecond) - kEpochSeconds);
    tm parts{};
    if (!gmtime_r(&seconds, &parts))
        return invalid();
    systemTime->wYear = static_cast<WORD>(parts.tm_year + 1900);
    systemTime->wMonth = static_cast<WORD>(parts.tm_mon + 1);
    systemTime->wDayOfWeek = static_cast<WORD>(parts.tm_wday);
    systemTime->wDay = static_cast<WORD>(parts.tm_mday);
    systemTime->wHour = static_cast<WORD>(parts.tm_hour);
    systemTime->wMinute = static_cast<WORD>(parts.tm_min);
    systemTime->wSecond = static_cast<WORD>(parts.tm_sec);
    systemTime->wMilliseconds = static_cast<WORD>(value % kTicksPerSecond / 10000u);
    return TRUE;
}

extern "C" BOOL FileTimeToLocalFileTime(LPCFILETIME fileTime, LPFILETIME localFileTime)
{
    if (!fileTime || !localFileTime)
        return invalid();
    const uint64_t value = ticks(*fileTime);
    const time_t seconds = static_cast<time_t>(static_cast<int64_t>(value / kTicksPerSecond) - kEpochSeconds);
    tm parts{};
    if (!localtime_r(&seconds, &parts))
        return invalid();
    const int64_t shifted = static_cast<int64_t>(value) +
                            static_cast<int64_t>(parts.tm_gmtoff) * static_cast<int64_t>(kTicksPerSecond);
    if (shifted < 0)
        return invalid();
    localFileTime->dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(shifted));
    localFileTime->dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(shifted) >> 32);
    return TRUE;
}
