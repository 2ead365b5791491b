// UPS: the battery change date, the SMBus address, and the restart mode that
// the firmware does not offer.
#include "families.h"

#include <boardkit.h>

using namespace boardkit;

namespace
{

// The stored date: bits 0-7 a byte kept with it, 8-10 kept as they are,
// 11-15 day, 16-19 month, 20-31 year.
constexpr DWORD kKeptByteMask = 0xFF;
constexpr DWORD kKeptBitsMask = 0x700;
constexpr int kDayShift = 11;
constexpr int kMonthShift = 16;
constexpr int kYearShift = 20;
constexpr DWORD kMaxDay = 0x1F;
constexpr DWORD kMaxMonth = 0xF;
constexpr DWORD kMaxYear = 0xFFF;

DWORD readStoredDate(DWORD& stored)
{
    const fn::Function& f = fn::ZrUpsGetLastBattChangeDate;
    return DeviceIoRead32(f.group, f.offset, &stored, f.level);
}

} // namespace

BOARDKIT_EXPORT BOOL ZrUpsGetLastBattChangeDate(DWORD* day, DWORD* month, DWORD* year, DWORD* raw)
{
    if (raw)
        *raw = 0;
    if (!day || !month || !year)
        return finish(ERROR_INVALID_PARAMETER);
    *day = *month = *year = 0;
    DWORD stored = 0;
    if (const DWORD error = readStoredDate(stored))
        return finish(error);
    *day = (stored >> kDayShift) & kMaxDay;
    *month = (stored >> kMonthShift) & kMaxMonth;
    *year = (stored >> kYearShift) & kMaxYear;
    if (raw)
        *raw = stored;
    return finish(0);
}

BOARDKIT_EXPORT BOOL ZrUpsSetLastBattChangeDate(DWORD day, DWORD month, DWORD year, const BYTE* kept)
{
    // A value that does not fit its field would spill into the next one.
    if (day > kMaxDay || month > kMaxMonth || year > kMaxYear)
        return finish(ERROR_INVALID_PARAMETER);
    DWORD stored = 0;
    if (const DWORD error = readStoredDate(stored))
        return finish(error);
    const DWORD keptByte = kept ? *kept : stored & kKeptByteMask;
    const DWORD date =
        keptByte | (stored & kKeptBitsMask) | day << kDayShift | month << kMonthShift | year << kYearShift;
    if (date == stored)
        return finish(0);
    const fn::Function& f = fn::ZrUpsSetLastBattChangeDate;
    return finish(DeviceIoWrite32(f.group, f.offset, date, f.level));
}

BOARDKIT_EXPORT BOOL ZrUpsGetSMBusAddr(BYTE* segment, BYTE* address)
{
    const fn::Function& f = fn::ZrUpsGetSMBusAddr;
    if (!segment || !address)
        return finish(ERROR_INVALID_PARAMETER);
    *segment = *address = 0;
    BYTE answer[2] = {};
    if (const DWORD error = DeviceIoReadBuffer(f.group, f.offset, answer, f.size, f.minimum, f.level))
        return finish(error);
    *segment = answer[0];
    *address = answer[1];
    return finish(0);
}

BOARDKIT_EXPORT BOOL ZrUpsGetRestartMode(DWORD* mode)
{
    if (mode)
        *mode = 0;
    return finish(ERROR_NOT_SUPPORTED);
}

BOARDKIT_EXPORT BOOL ZrUpsSetRestartMode(DWORD)
{
    return finish(ERROR_NOT_SUPPORTED);
}
