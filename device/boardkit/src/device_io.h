// The call wrappers every function is built on. Each returns 0 or the error
// that the export sets as the platform's last error (finish()).
#pragma once

#include <QbWmDevApi.h>

namespace boardkit
{

// Whether a request is for the board driver itself (index group 0x10000000).
enum class Level : bool
{
    firmware = false,
    driver = true,
};

// Sets the platform's last error to `error`; the success flag of an export.
BOOL finish(DWORD error);

// One call of WmDeviceIoControl. On success the delivered count must not
// exceed the output size and must reach `minimum` (0: any), else 24.
DWORD DeviceIoCallChecked(DWORD group, DWORD offset, LPCVOID input, DWORD inputSize, LPVOID output,
                          DWORD outputSize, const WM_CALL_OPTIONS* options, DWORD minimum,
                          DWORD* delivered = nullptr);
// As DeviceIoCallChecked, with the options of the level (no options for the firmware).
DWORD DeviceIoCall(DWORD group, DWORD offset, LPCVOID input, DWORD inputSize, LPVOID output, DWORD outputSize,
                   DWORD minimum, Level level, DWORD* delivered = nullptr);
// No data either way; anything delivered is 24.
DWORD DeviceIoCommand(DWORD group, DWORD offset, Level level);
// Into the caller's buffer, which is zeroed first and filled only on success;
// 87 for no buffer or a size of 0 or below `minimum`.
DWORD DeviceIoReadBuffer(DWORD group, DWORD offset, LPVOID buffer, DWORD size, DWORD minimum, Level level,
                         const WM_CALL_OPTIONS* options = nullptr, DWORD* delivered = nullptr);
// As DeviceIoReadBuffer, with request data.
DWORD DeviceIoWriteReadBuffer(DWORD group, DWORD offset, LPCVOID input, DWORD inputSize, LPVOID buffer,
                              DWORD size, DWORD minimum, Level level,
                              const WM_CALL_OPTIONS* options = nullptr, DWORD* delivered = nullptr);
// Up to 24 bytes into a zeroed 24-byte record; 87 for a size outside 1 to 24.
constexpr DWORD kRecordSize = 24;
DWORD DeviceIoReadRecord(DWORD group, DWORD offset, BYTE* record, DWORD size, Level level);
// Exactly `size` (1 to 4) little-endian bytes into a value zeroed first.
DWORD DeviceIoReadValue(DWORD group, DWORD offset, DWORD* value, DWORD size, Level level);
// 87 for no data or a size of 0, 24 above `maximum` (0: any); nothing comes back.
DWORD DeviceIoWriteBuffer(DWORD group, DWORD offset, LPCVOID data, DWORD size, DWORD maximum, Level level);

// The typed readers and writers.
DWORD DeviceIoRead8(DWORD group, DWORD offset, DWORD* value, Level level);
DWORD DeviceIoRead8Signed(DWORD group, DWORD offset, LONG* value, Level level);
DWORD DeviceIoRead16(DWORD group, DWORD offset, DWORD* value, Level level);
DWORD DeviceIoRead32(DWORD group, DWORD offset, DWORD* value, Level level);
DWORD DeviceIoWrite8(DWORD group, DWORD offset, BYTE value, Level level);
DWORD DeviceIoWrite32(DWORD group, DWORD offset, DWORD value, Level level);
// Input of `inputSize`, then exactly `outputSize` (1 to 8) bytes back into
// the output, zeroed first.
DWORD DeviceIoWriteRead(DWORD group, DWORD offset, LPCVOID input, DWORD inputSize, LPVOID output,
                        DWORD outputSize, Level level);

} // namespace boardkit
