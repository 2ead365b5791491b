// Requests to the board driver: a 24-byte header in front of the data both
// ways. Request header: index group (bytes 0-3), index offset (4-7), the
// processor mask (8-15, which the driver does not read), flags (16-19, bit 0 =
// driver level). Response header: result code (0-3), delivered bytes (4-7).
#include <QbWmDevApi.h>

#include <cstring>
#include <mutex>
#include <vector>

#define WM_EXPORT extern "C" __attribute__((visibility("default")))

namespace
{

constexpr DWORD kIoctlDriverVersion = 0x9C402400;
constexpr DWORD kIoctlApiCall = 0x9C402404;
constexpr DWORD kHeaderSize = 24;
constexpr DWORD kFlagDriverLevel = 1;
constexpr DWORD kLibraryVersion = 0x0102;

std::mutex g_lock;
HANDLE g_device = INVALID_HANDLE_VALUE;

DWORD lastErrorOr(DWORD fallback)
{
    const DWORD error = GetLastError();
    return error != 0 ? error : fallback;
}

// The process's handle on the driver, opened on first use; a failed open is
// tried again by the next call.
DWORD openDevice(HANDLE& device)
{
    std::lock_guard guard(g_lock);
    if (g_device == INVALID_HANDLE_VALUE)
    {
        g_device = CreateFileW(u"WMD1:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (g_device == INVALID_HANDLE_VALUE)
            return lastErrorOr(ERROR_DEV_NOT_EXIST);
    }
    device = g_device;
    return 0;
}

// Drops the process's handle when it is still `stale` (another thread may have
// opened the driver again already).
void forgetDevice(HANDLE stale)
{
    std::lock_guard guard(g_lock);
    if (g_device != stale)
        return;
    CloseHandle(stale);
    g_device = INVALID_HANDLE_VALUE;
}

// One I/O control call on the driver: 0, or the error. A handle the device manager
// no longer knows (it was started again since the handle was opened) is opened
// again, once, and the call repeated: it never reached the driver.
DWORD controlDevice(DWORD code, void* input, DWORD inputSize, void* output, DWORD outputSize,
                    DWORD& transferred)
{
    for (int attempt = 0;; ++attempt)
    {
        HANDLE device = INVALID_HANDLE_VALUE;
        if (const DWORD error = openDevice(device))
            return error;
        transferred = 0;
        if (DeviceIoControl(device, code, input, inputSize, output, outputSize, &transferred, nullptr))
            return 0;
        const DWORD error = lastErrorOr(ERROR_GEN_FAILURE);
        if (error != ERROR_INVALID_HANDLE || attempt > 0)
            return error;
        forgetDevice(device);
    }
}

void putWord(std::vector<BYTE>& block, size_t at, DWORD value)
{
    std::memcpy(block.data() + at, &value, sizeof value);
}

DWORD wordAt(const std::vector<BYTE>& block, size_t at)
{
    DWORD value = 0;
    std::memcpy(&value, block.data() + at, sizeof value);
    return value;
}

// Sets the last error to `error` and gives 0, the failure value of the version calls.
DWORD versionFailure(DWORD error)
{
    SetLastError(error);
    return 0;
}

} // namespace

WM_EXPORT DWORD WmDeviceIoControl(DWORD indexGroup, DWORD indexOffset, LPCVOID input, DWORD inputSize,
                                  LPVOID output, DWORD outputSize, LPDWORD returned,
                                  const WM_CALL_OPTIONS* options)
{
    if (!returned || (inputSize > 0 && !input) || (outputSize > 0 && !output))
        return ERROR_INVALID_PARAMETER;
    *returned = 0;
    if (inputSize > 0xFFFFFFFFu - kHeaderSize || outputSize > 0xFFFFFFFFu - kHeaderSize)
        return ERROR_INVALID_PARAMETER;
    std::vector<BYTE> request(kHeaderSize + inputSize, 0);
    std::vector<BYTE> response(kHeaderSize + outputSize, 0);
    putWord(request, 0, indexGroup);
    putWord(request, 4, indexOffset);
    if (options)
    {
        putWord(request, 8, options->processorMaskLow);
        putWord(request, 12, options->processorMaskHigh);
        putWord(request, 16, options->driverLevel != 0 ? kFlagDriverLevel : 0);
    }
    if (inputSize > 0)
        std::memcpy(request.data() + kHeaderSize, input, inputSize);

    DWORD transferred = 0;
    if (const DWORD error = controlDevice(kIoctlApiCall, request.data(), static_cast<DWORD>(request.size()),
                                          response.data(), static_cast<DWORD>(response.size()), transferred))
        return error;
    if (transferred < kHeaderSize)
        return ERROR_INVALID_DATA;
    if (const DWORD result = wordAt(response, 0))
        return result;
    const DWORD delivered = wordAt(response, 4);
    if (outputSize > 0)
        std::memcpy(output, response.data() + kHeaderSize, delivered < outputSize ? delivered : outputSize);
    *returned = delivered;
    return 0;
}

WM_EXPORT DWORD WmGetApiVersion()
{
    BYTE answer[4] = {};
    DWORD delivered = 0;
    if (const DWORD error = WmDeviceIoControl(0, 0, nullptr, 0, answer, sizeof answer, &delivered, nullptr))
        return versionFailure(error);
    if (delivered != sizeof answer)
        return versionFailure(ERROR_BAD_LENGTH);
    // The firmware answers major, minor, then the build as 16 bits.
    const DWORD build = static_cast<DWORD>(answer[2]) | static_cast<DWORD>(answer[3]) << 8;
    SetLastError(0);
    return static_cast<DWORD>(answer[0]) << 24 | static_cast<DWORD>(answer[1]) << 16 | build;
}

WM_EXPORT DWORD WmGetDrvVersion()
{
    DWORD version = 0;
    DWORD transferred = 0;
    if (const DWORD error =
            controlDevice(kIoctlDriverVersion, nullptr, 0, &version, sizeof version, transferred))
        return versionFailure(error);
    if (transferred != sizeof version)
        return versionFailure(ERROR_BAD_LENGTH);
    SetLastError(0);
    return version;
}

WM_EXPORT DWORD WmGetDllVersion()
{
    SetLastError(0);
    return kLibraryVersion;
}
