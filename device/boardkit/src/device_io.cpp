#include "device_io.h"

#include <cstring>
#include <memory>
#include <new>

namespace boardkit
{

namespace
{

std::unique_ptr<BYTE[]> zeroedBytes(DWORD size)
{
    return std::unique_ptr<BYTE[]>(new (std::nothrow) BYTE[size]());
}

constexpr WM_CALL_OPTIONS kDriverOptions{0, 0, 1, 0};

// The options of a level: none for the firmware.
const WM_CALL_OPTIONS* optionsOf(Level level)
{
    return level == Level::driver ? &kDriverOptions : nullptr;
}

DWORD littleEndian(const BYTE* bytes, DWORD size)
{
    DWORD value = 0;
    for (DWORD i = 0; i < size; ++i)
        value |= static_cast<DWORD>(bytes[i]) << (8 * i);
    return value;
}

} // namespace

BOOL finish(DWORD error)
{
    SetLastError(error);
    return error == 0 ? TRUE : FALSE;
}

DWORD DeviceIoCallChecked(DWORD group, DWORD offset, LPCVOID input, DWORD inputSize, LPVOID output,
                          DWORD outputSize, const WM_CALL_OPTIONS* options, DWORD minimum, DWORD* delivered)
{
    DWORD count = 0;
    if (delivered)
        *delivered = 0;
    if (const DWORD error =
            WmDeviceIoControl(group, offset, input, inputSize, output, outputSize, &count, options))
        return error;
    if (count > outputSize || (minimum > 0 && count < minimum))
        return ERROR_BAD_LENGTH;
    if (delivered)
        *delivered = count;
    return 0;
}

DWORD DeviceIoCall(DWORD group, DWORD offset, LPCVOID input, DWORD inputSize, LPVOID output, DWORD outputSize,
                   DWORD minimum, Level level, DWORD* delivered)
{
    return DeviceIoCallChecked(group, offset, input, inputSize, output, outputSize, optionsOf(level), minimum,
                               delivered);
}

DWORD DeviceIoCommand(DWORD group, DWORD offset, Level level)
{
    return DeviceIoCall(group, offset, nullptr, 0, nullptr, 0, 0, level);
}

DWORD DeviceIoReadBuffer(DWORD group, DWORD offset, LPVOID buffer, DWORD size, DWORD minimum, Level level,
                         const WM_CALL_OPTIONS* options, DWORD* delivered)
{
    return DeviceIoWriteReadBuffer(group, offset, nullptr, 0, buffer, size, minimum, level, options,
                                   delivered);
}

DWORD DeviceIoWriteReadBuffer(DWORD group, DWORD offset, LPCVOID input, DWORD inputSize, LPVOID buffer,
                              DWORD size, DWORD minimum, Level level, const WM_CALL_OPTIONS* options,
                              DWORD* delivered)
{
    if (delivered)
        *delivered = 0;
    if (!buffer || size == 0 || size < minimum || (inputSize > 0 && !input))
        return ERROR_INVALID_PARAMETER;
    std::memset(buffer, 0, size);
    // The caller's buffer sees only a complete answer.
    const auto temporary = zeroedBytes(size);
    if (!temporary)
        return ERROR_NOT_ENOUGH_MEMORY;
    if (!options)
        options = optionsOf(level);
    DWORD count = 0;
    if (const DWORD error = DeviceIoCallChecked(group, offset, input, inputSize, temporary.get(), size,
                                                options, minimum, &count))
        return error;
    std::memcpy(buffer, temporary.get(), size);
    if (delivered)
        *delivered = count;
    return 0;
}

DWORD DeviceIoReadRecord(DWORD group, DWORD offset, BYTE* record, DWORD size, Level level)
{
    if (!record || size == 0 || size > kRecordSize)
        return ERROR_INVALID_PARAMETER;
    std::memset(record, 0, kRecordSize);
    return DeviceIoReadBuffer(group, offset, record, size, 0, level);
}

DWORD DeviceIoReadValue(DWORD group, DWORD offset, DWORD* value, DWORD size, Level level)
{
    if (!value || size == 0 || size > sizeof(DWORD))
        return ERROR_INVALID_PARAMETER;
    *value = 0;
    BYTE bytes[sizeof(DWORD)] = {};
    if (const DWORD error = DeviceIoReadBuffer(group, offset, bytes, size, size, level))
        return error;
    *value = littleEndian(bytes, size);
    return 0;
}

DWORD DeviceIoWriteBuffer(DWORD group, DWORD offset, LPCVOID data, DWORD size, DWORD maximum, Level level)
{
    if (!data || size == 0)
        return ERROR_INVALID_PARAMETER;
    if (maximum > 0 && size > maximum)
        return ERROR_BAD_LENGTH;
    return DeviceIoCall(group, offset, data, size, nullptr, 0, 0, level);
}

DWORD DeviceIoRead8(DWORD group, DWORD offset, DWORD* value, Level level)
{
    return DeviceIoReadValue(group, offset, value, 1, level);
}

DWORD DeviceIoRead8Signed(DWORD group, DWORD offset, LONG* value, Level level)
{
    if (!value)
        return ERROR_INVALID_PARAMETER;
    *value = 0;
    DWORD byte = 0;
    if (const DWORD error = DeviceIoRead8(group, offset, &byte, level))
        return error;
    *value = static_cast<int8_t>(static_cast<BYTE>(byte));
    return 0;
}

DWORD DeviceIoRead16(DWORD group, DWORD offset, DWORD* value, Level level)
{
    return DeviceIoReadValue(group, offset, value, 2, level);
}

DWORD DeviceIoRead32(DWORD group, DWORD offset, DWORD* value, Level level)
{
    return DeviceIoReadValue(group, offset, value, 4, level);
}

DWORD DeviceIoWrite8(DWORD group, DWORD offset, BYTE value, Level level)
{
    return DeviceIoWriteBuffer(group, offset, &value, 1, 0, level);
}

DWORD DeviceIoWrite32(DWORD group, DWORD offset, DWORD value, Level level)
{
    const BYTE bytes[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                           static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)};
    return DeviceIoWriteBuffer(group, offset, bytes, sizeof bytes, 0, level);
}

DWORD DeviceIoWriteRead(DWORD group, DWORD offset, LPCVOID input, DWORD inputSize, LPVOID output,
                        DWORD outputSize, Level level)
{
    if (!output || outputSize == 0 || outputSize > 8)
        return ERROR_INVALID_PARAMETER;
    return DeviceIoWriteReadBuffer(group, offset, input, inputSize, output, outputSize, outputSize, level);
}

} // namespace boardkit
