// File times as calendar times, and the performance counter.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace
{
FILETIME fileTime(uint64_t ticks)
{
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

uint64_t ticks(const FILETIME& time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Ticks of a UTC calendar time, counted independently of the code under test.
uint64_t ticksOf(int year, int month, int day, int hour, int minute, int second, int milliseconds)
{
    tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    const int64_t seconds = static_cast<int64_t>(timegm(&parts)) + 11644473600ll;
    return static_cast<uint64_t>(seconds) * 10000000ull + static_cast<uint64_t>(milliseconds) * 10000u;
}

TEST(FileTimes, CalendarFieldsOfUtcTimes)
{
    struct Case
    {
        const char* name;
        uint64_t ticks;
        SYSTEMTIME expected;
    } cases[] = {
        {"the first tick", 0, {1601, 1, 1, 1, 0, 0, 0, 0}},
        {"the Unix epoch", ticksOf(1970, 1, 1, 0, 0, 0, 0), {1970, 1, 4, 1, 0, 0, 0, 0}},
        {"a leap day with milliseconds",
         ticksOf(2024, 2, 29, 13, 5, 9, 789),
         {2024, 2, 4, 29, 13, 5, 9, 789}},
        {"the last millisecond of a year",
         ticksOf(1999, 12, 31, 23, 59, 59, 999),
         {1999, 12, 5, 31, 23, 59, 59, 999}},
        {"the last time there is", 0x7FFF35F4F06C7FFFull, {30827, 12, 5, 31, 23, 59, 59, 999}},
    };
    for (const Case& c : cases)
    {
        const FILETIME time = fileTime(c.ticks);
        SYSTEMTIME got{};
        ASSERT_TRUE(FileTimeToSystemTime(&time, &got)) << c.name;
        EXPECT_EQ(got.wYear, c.expected.wYear) << c.name;
        EXPECT_EQ(got.wMonth, c.expected.wMonth) << c.name;
        EXPECT_EQ(got.wDayOfWeek, c.expected.wDayOfWeek) << c.name;
        EXPECT_EQ(got.wDay, c.expected.wDay) << c.name;
        EXPECT_EQ(got.wHour, c.expected.wHour) << c.name;
        EXPECT_EQ(got.wMinute, c.expected.wMinute) << c.name;
        EXPECT_EQ(got.wSecond, c.expected.wSecond) << c.name;
        EXPECT_EQ(got.wMilliseconds, c.expected.wMilliseconds) << c.name;
    }
}

TEST(FileTimes, TimesBeyondTheCalendarAndNullArgumentsFail)
{
    const FILETIME beyond = fileTime(0x7FFF35F4F06C8000ull);
    SYSTEMTIME got{};
    SetLastError(0);
    EXPECT_FALSE(FileTimeToSystemTime(&beyond, &got));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(FileTimeToSystemTime(nullptr, &got));
    EXPECT_FALSE(FileTimeToSystemTime(&beyond, nullptr));
    FILETIME local{};
    EXPECT_FALSE(FileTimeToLocalFileTime(nullptr, &local));
}

TEST(FileTimes, LocalTimeFollowsTheTimeZone)
{
    const char* saved = std::getenv("TZ");
    const std::string before = saved ? saved : "";
    const FILETIME noon = fileTime(ticksOf(2023, 1, 15, 12, 0, 0, 0));
    struct Case
    {
        const char* zone;
        int hour;
    } cases[] = {{"UTC0", 12}, {"XYZ-2", 14}, {"XYZ+5", 7}};
    for (const Case& c : cases)
    {
        setenv("TZ", c.zone, 1);
        tzset();
        FILETIME local{};
        ASSERT_TRUE(FileTimeToLocalFileTime(&noon, &local)) << c.zone;
        SYSTEMTIME parts{};
        ASSERT_TRUE(FileTimeToSystemTime(&local, &parts)) << c.zone;
        EXPECT_EQ(parts.wHour, c.hour) << c.zone;
        EXPECT_EQ(ticks(local) - ticks(noon), static_cast<uint64_t>(int64_t(c.hour - 12) * 3600 * 10000000ll))
            << c.zone;
    }
    if (saved)
        setenv("TZ", before.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST(PerformanceCounter, CountsNanosecondsForward)
{
    LARGE_INTEGER frequency{};
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    EXPECT_EQ(frequency.QuadPart, 1000000000LL);
    LARGE_INTEGER first{}, second{};
    ASSERT_TRUE(QueryPerformanceCounter(&first));
    Sleep(2);
    ASSERT_TRUE(QueryPerformanceCounter(&second));
    // At least the 2 ms slept; the upper side is not bounded on a loaded machine.
    EXPECT_GE(second.QuadPart - first.QuadPart, 2000000LL);
    EXPECT_FALSE(QueryPerformanceCounter(nullptr));
    EXPECT_FALSE(QueryPerformanceFrequency(nullptr));
}
} // namespace
