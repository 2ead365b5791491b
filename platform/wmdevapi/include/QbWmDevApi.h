// QbWmDevApi: the device API library of the product line. Every call is one
// request to the board driver behind "WMD1:", which the library opens once per
// process: an index group and an index offset name the function, the driver
// serves index group 0x10000000 itself and passes the others to the firmware.
#pragma once

#include <windows.h>

// Options of one call (the last argument of WmDeviceIoControl, or null).
struct WM_CALL_OPTIONS
{
    DWORD processorMaskLow; // the processors a per-processor reading is taken on; 0 = not chosen
    DWORD processorMaskHigh;
    DWORD driverLevel; // 1: the request is for the driver itself (index group 0x10000000)
    DWORD reserved;    // 0
};
static_assert(sizeof(WM_CALL_OPTIONS) == 16, "four 32-bit words");

// The index group the board driver serves itself.
#define WM_DRIVER_LEVEL_GROUP 0x10000000u

extern "C"
{
    // 0, or the error of the call: the driver's result code when it is not 0, or
    // the platform error of a request that did not reach the function. `returned`
    // receives the number of bytes the function delivered; it may exceed
    // `outputSize`, of which no more than `outputSize` bytes are written.
    DWORD WmDeviceIoControl(DWORD indexGroup, DWORD indexOffset, LPCVOID input, DWORD inputSize,
                            LPVOID output, DWORD outputSize, LPDWORD returned,
                            const WM_CALL_OPTIONS* options);
    // A 32-bit version, or 0 with the platform's last error set.
    // The firmware API version as major << 24 | minor << 16 | build.
    DWORD WmGetApiVersion();
    // The board driver's version.
    DWORD WmGetDrvVersion();
    // This library's own version.
    DWORD WmGetDllVersion();
}
