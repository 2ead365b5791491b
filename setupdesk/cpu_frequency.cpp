#include "cpu_frequency.h"

#include "zrd_device.h"

#include <ui/text.h>

#include <algorithm>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <x86intrin.h>
#define SETUPDESK_HAS_TSC 1
#endif

namespace setupdesk
{
namespace
{
#ifdef SETUPDESK_HAS_TSC
// The counter read after a serialising CPUID, so that earlier instructions have ended.
uint64_t serialisedTimeStamp()
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    __cpuid(0, a, b, c, d);
    return __rdtsc();
}

// Cycles per second over one 5 ms sleep; 0 when the performance counter fails.
uint64_t sampleRate(LONGLONG frequency)
{
    LARGE_INTEGER before{}, after{};
    const uint64_t cyclesBefore = serialisedTimeStamp();
    if (!QueryPerformanceCounter(&before))
        return 0;
    Sleep(5);
    const uint64_t cyclesAfter = serialisedTimeStamp();
    if (!QueryPerformanceCounter(&after))
        return 0;
    const auto ticks = static_cast<unsigned __int128>(after.QuadPart - before.QuadPart);
    const auto nanoseconds = static_cast<uint64_t>(ticks * 1000000000u / static_cast<uint64_t>(frequency));
    if (nanoseconds == 0)
        return 0;
    return static_cast<uint64_t>(static_cast<unsigned __int128>(cyclesAfter - cyclesBefore) * 1000000000u /
                                 nanoseconds);
}
#endif
} // namespace

DWORD measureCpuMhz()
{
#ifdef SETUPDESK_HAS_TSC
    LARGE_INTEGER frequency{};
    if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0)
        return 0;
    uint64_t samples[3];
    for (uint64_t& sample : samples)
        sample = sampleRate(frequency.QuadPart);
    // The median: the sum less the smallest and the largest.
    const uint64_t median = samples[0] + samples[1] + samples[2] - *std::min_element(samples, samples + 3) -
                            *std::max_element(samples, samples + 3);
    return static_cast<DWORD>(std::min<uint64_t>(median / 1000000u, 0xFFFFFFFFu));
#else
    return 0;
#endif
}

std::string cpuFrequencyText()
{
    DWORD mhz = 0;
    if (zrdCpuFrequency(mhz) != 0)
        mhz = measureCpuMhz();
    return mhz == 0 ? std::string("-- MHz") : ui::format("%i MHz", static_cast<int>(mhz));
}
} // namespace setupdesk
