// Power controller: the functions with more than one out value, the
// production date, and the text forms of its serial and test numbers.
#include "text_forms.h"

#include <boardkit.h>

#include <cstring>

using namespace boardkit;

namespace
{

// Two signed bytes: minimum first, then maximum.
BOOL minMax(const fn::Function& f, LONG* minimum, LONG* maximum)
{
    if (!minimum || !maximum)
        return finish(ERROR_INVALID_PARAMETER);
    *minimum = 0;
    *maximum = 0;
    BYTE answer[2] = {};
    if (const DWORD error = DeviceIoReadBuffer(f.group, f.offset, answer, f.size, f.minimum, f.level))
        return finish(error);
    *minimum = static_cast<int8_t>(answer[0]);
    *maximum = static_cast<int8_t>(answer[1]);
    return finish(0);
}

} // namespace

BOARDKIT_EXPORT BOOL PwrCtrlGetMinMaxTemp(LONG* minimum, LONG* maximum)
{
    return minMax(fn::PwrCtrlGetMinMaxTemp, minimum, maximum);
}

BOARDKIT_EXPORT BOOL PwrCtrlGetMinMaxVolt(LONG* minimum, LONG* maximum)
{
    return minMax(fn::PwrCtrlGetMinMaxVolt, minimum, maximum);
}

BOARDKIT_EXPORT BOOL PwrCtrlGetProductionDate(BYTE* record)
{
    const fn::Function& f = fn::PwrCtrlGetProductionDate;
    if (!record)
        return finish(ERROR_INVALID_PARAMETER);
    std::memset(record, 0, WM_PWRCTRL_PRODUCTION_DATE_SIZE);
    BYTE answer[2] = {};
    if (const DWORD error = DeviceIoReadBuffer(f.group, f.offset, answer, f.size, f.minimum, f.level))
        return finish(error);
    record[6] = answer[0];
    record[4] = answer[1];
    return finish(0);
}

BOARDKIT_EXPORT BOOL PwrCtrlGetSerialNumberExA(LPSTR buffer, DWORD size)
{
    return finish(readTextForm(fn::PwrCtrlGetSerialNumber, buffer, size));
}

BOARDKIT_EXPORT BOOL PwrCtrlGetSerialNumberExW(LPWSTR buffer, DWORD size)
{
    return finish(readTextForm(fn::PwrCtrlGetSerialNumber, buffer, size));
}

BOARDKIT_EXPORT BOOL PwrCtrlGetTestNumberExA(LPSTR buffer, DWORD size)
{
    return finish(readTextForm(fn::PwrCtrlGetTestNumber, buffer, size));
}

BOARDKIT_EXPORT BOOL PwrCtrlGetTestNumberExW(LPWSTR buffer, DWORD size)
{
    return finish(readTextForm(fn::PwrCtrlGetTestNumber, buffer, size));
}
