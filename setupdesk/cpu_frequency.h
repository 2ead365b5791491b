// The processor's frequency, as the General page shows it.
#pragma once

#include <windows.h>

#include <string>

namespace setupdesk
{
// Measures the frequency with the time-stamp counter against the performance counter:
// three 5 ms samples, the median, in MHz. 0 where the processor has no such counter.
DWORD measureCpuMhz();

// "ZRD1:" first; a device that cannot tell is measured instead. "%i MHz", or "-- MHz"
// for 0.
std::string cpuFrequencyText();
} // namespace setupdesk
