// Sensors: count, one record, and all records through a callback. A sensor of
// the processor is read on every active processor and combined, unless the
// caller chose processors or the sensor asks for one reading.
#include "families.h"
#include "words.h"

#include <boardkit.h>

#include <algorithm>
#include <cstring>

using namespace boardkit;

namespace
{

DWORD readSensor(DWORD sensor, ULONGLONG mask, WM_SENSOR_INFO& info)
{
    const fn::Function& f = fn::WmSysGetSensorInfo;
    const WM_CALL_OPTIONS options{static_cast<DWORD>(mask), static_cast<DWORD>(mask >> 32), 0, 0};
    return DeviceIoReadBuffer(f.group, sensor, &info, sizeof info, sizeof info, f.level, &options);
}

bool combinesPerProcessor(const WM_SENSOR_INFO& info)
{
    return info.kind == WM_SENSOR_KIND_PROCESSOR && info.place == WM_SENSOR_PLACE_PROCESSOR &&
           (info.flags & WM_SENSOR_FLAG_SINGLE) == 0;
}

// The active processors; 0 when they cannot be read, which leaves the reading as it is.
ULONGLONG activeProcessors()
{
    const fn::Function& count = fn::GetActiveProcCount;
    const fn::Function& mask = fn::GetActiveProcMask;
    DWORD processors = 0;
    BYTE bytes[8] = {};
    if (DeviceIoRead32(count.group, count.offset, &processors, count.level) != 0 || processors == 0 ||
        DeviceIoReadBuffer(mask.group, mask.offset, bytes, mask.size, mask.minimum, mask.level) != 0)
        return 0;
    return quadAt(bytes);
}

// Reads the sensor on each processor of the mask, lowest first, and combines
// the values: by minimum when the sensor's flags ask for it, else by maximum.
DWORD combine(DWORD sensor, ULONGLONG processors, WM_SENSOR_INFO& info)
{
    const bool minimum = (info.flags & WM_SENSOR_FLAG_MINIMUM) != 0;
    bool first = true;
    WORD combined = 0;
    for (int bit = 0; bit < 64; ++bit)
    {
        const ULONGLONG single = 1ull << bit;
        if ((processors & single) == 0)
            continue;
        WM_SENSOR_INFO reading{};
        if (const DWORD error = readSensor(sensor, single, reading))
            return error;
        combined = first     ? reading.value
                   : minimum ? std::min(combined, reading.value)
                             : std::max(combined, reading.value);
        first = false;
    }
    info.value = combined;
    return 0;
}

DWORD sensorInfo(DWORD sensor, WM_SENSOR_INFO* info, ULONGLONG mask)
{
    if (!info || sensor == 0)
        return ERROR_INVALID_PARAMETER;
    std::memset(info, 0, sizeof *info);
    WM_SENSOR_INFO reading{};
    if (const DWORD error = readSensor(sensor, mask, reading))
        return error;
    if (mask == 0 && combinesPerProcessor(reading))
    {
        if (const ULONGLONG processors = activeProcessors())
            if (const DWORD error = combine(sensor, processors, reading))
                return error;
    }
    *info = reading;
    return 0;
}

ULONGLONG maskOf(DWORD low, DWORD high)
{
    return static_cast<ULONGLONG>(high) << 32 | low;
}

} // namespace

BOARDKIT_EXPORT BOOL WmSysGetSensorInfo(DWORD sensor, WM_SENSOR_INFO* info, DWORD maskLow, DWORD maskHigh)
{
    return finish(sensorInfo(sensor, info, maskOf(maskLow, maskHigh)));
}

BOARDKIT_EXPORT BOOL WmSysEnumSensors(WM_SENSOR_CALLBACK callback, PVOID context, DWORD maskLow,
                                      DWORD maskHigh)
{
    if (!callback)
        return finish(ERROR_INVALID_PARAMETER);
    const fn::Function& f = fn::WmSysCountSensors;
    DWORD count = 0;
    if (const DWORD error = DeviceIoRead32(f.group, f.offset, &count, f.level))
        return finish(error);
    for (DWORD sensor = 1; sensor <= count; ++sensor)
    {
        WM_SENSOR_INFO info{};
        if (const DWORD error = sensorInfo(sensor, &info, maskOf(maskLow, maskHigh)))
            return finish(error);
        if (!callback(&info, context))
            return finish(ERROR_CANCELLED);
    }
    return finish(0);
}
