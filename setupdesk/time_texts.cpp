#include "time_texts.h"

#include <algorithm>
#include <cstdint>

namespace setupdesk
{
namespace
{
std::string count(uint64_t number, const char* unit)
{
    return std::to_string(number) + " " + unit + (number > 1 ? "s" : "");
}
} // namespace

std::string waitTimeText(DWORD seconds)
{
    return seconds > 60 ? count(seconds / 60, "Minute") : count(seconds, "Second");
}

DWORD stepWaitTime(DWORD seconds, int delta)
{
    const bool minutes = (delta > 0 && seconds > 59) || (delta < 0 && seconds > 60);
    const int64_t next = int64_t{seconds} + int64_t{delta} * (minutes ? 60 : 1);
    return static_cast<DWORD>(std::clamp<int64_t>(next, 1, 86400));
}

std::string refreshText(DWORD milliseconds)
{
    if (milliseconds <= 1000)
        return std::to_string(milliseconds) + " ms";
    const uint64_t seconds = milliseconds / 1000;
    if (seconds <= 60)
        return count(seconds, "Second");
    if (seconds / 60 <= 60)
        return count(seconds / 60, "Minute");
    if (seconds / 3600 <= 24)
        return count(seconds / 3600, "Hour");
    return count(seconds / 86400, "Day");
}

DWORD stepRefresh(DWORD milliseconds, int delta)
{
    const int64_t unit = milliseconds <= 1000       ? 1
                         : milliseconds <= 60000    ? 1000
                         : milliseconds <= 3600000  ? 60000
                         : milliseconds <= 86400000 ? 3600000
                                                    : 86400000;
    // In 64 bits: a step up from near the top must not wrap round to a short interval.
    const int64_t next = int64_t{milliseconds} + int64_t{delta} * unit;
    return static_cast<DWORD>(std::clamp<int64_t>(next, 300000, 4294967295ll));
}

std::vector<ui::UpDown::Acceleration> timeAcceleration()
{
    std::vector<ui::UpDown::Acceleration> steps;
    for (unsigned i = 0; i < 10; ++i)
        steps.push_back({i + 1, 1 << i});
    return steps;
}
} // namespace setupdesk
