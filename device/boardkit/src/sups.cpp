// S-UPS: the state byte that carries a value, and the power-fail times.
#include "families.h"
#include "words.h"

#include <boardkit.h>

#include <algorithm>

using namespace boardkit;

BOARDKIT_EXPORT BOOL SUpsGetState(DWORD* state, DWORD* value)
{
    const fn::Function& f = fn::SUpsGetState;
    if (value)
        *value = 0;
    if (!state)
        return finish(ERROR_INVALID_PARAMETER);
    *state = 0;
    DWORD byte = 0;
    if (const DWORD error = DeviceIoRead8(f.group, f.offset, &byte, f.level))
        return finish(error);
    // 0xC0 to 0xDF: the high nibble is the state, the low one a value in tens.
    if (byte >= 0xC0 && byte <= 0xDF)
    {
        *state = byte & 0xF0;
        if (value)
            *value = (byte & 0x0F) * 10;
    }
    else
    {
        *state = byte;
    }
    return finish(0);
}

BOARDKIT_EXPORT BOOL SUpsGetPowerFailTimes(DWORD* times)
{
    const fn::Function& f = fn::SUpsGetPowerFailTimes;
    if (!times)
        return finish(ERROR_INVALID_PARAMETER);
    std::fill(times, times + 4, 0);
    BYTE answer[12] = {};
    if (const DWORD error = DeviceIoReadBuffer(f.group, f.offset, answer, f.size, f.minimum, f.level))
        return finish(error);
    DWORD sorted[3] = {wordAt(answer, 0), wordAt(answer, 1), wordAt(answer, 2)};
    std::sort(sorted, sorted + 3);
    std::copy(sorted, sorted + 3, times);
    return finish(0);
}
