// Watchdog trigger with a time span, and the user EEPROM.
#include "families.h"

#include <boardkit.h>

using namespace boardkit;

BOARDKIT_EXPORT BOOL WDTriggerWTimeSpan(BYTE first, BYTE second)
{
    const fn::Function& f = fn::WDTriggerWTimeSpan;
    // The firmware takes the second argument first.
    const BYTE request[2] = {second, first};
    return finish(DeviceIoWriteBuffer(f.group, f.offset, request, sizeof request, 0, f.level));
}

BOARDKIT_EXPORT BOOL UEEPROMRead(BYTE* buffer, DWORD length)
{
    const fn::Function& f = fn::UEEPROMRead;
    return finish(DeviceIoReadBuffer(f.group, f.offset, buffer, length, f.minimum, f.level));
}

BOARDKIT_EXPORT BOOL UEEPROMWrite(const BYTE* data, DWORD length)
{
    const fn::Function& f = fn::UEEPROMWrite;
    return finish(DeviceIoWriteBuffer(f.group, f.offset, data, length, f.size, f.level));
}

BOARDKIT_EXPORT BOOL UEEPROMReadByte(BYTE address, BYTE* value)
{
    const fn::Function& f = fn::UEEPROMReadByte;
    if (!value)
        return finish(ERROR_INVALID_PARAMETER);
    *value = 0;
    if (address >= WM_UEEPROM_SIZE)
        return finish(ERROR_INVALID_PARAMETER);
    return finish(DeviceIoWriteRead(f.group, f.offset, &address, 1, value, f.size, f.level));
}

BOARDKIT_EXPORT BOOL UEEPROMWriteByte(BYTE address, BYTE value)
{
    const fn::Function& f = fn::UEEPROMWriteByte;
    if (address >= WM_UEEPROM_SIZE)
        return finish(ERROR_INVALID_PARAMETER);
    const BYTE request[2] = {address, value};
    return finish(DeviceIoWriteBuffer(f.group, f.offset, request, sizeof request, 0, f.level));
}
