// Boarddrv's stream-driver entry points ("WMD1:"): the driver version and the
// API call, which goes to the firmware or to the driver-level group.
#include "bios_api.h"

#include <boarddrv/wmd.h>
#include <windows.h>

#include <cstring>
#include <memory>
#include <new>

namespace
{

using boarddrv::CBiosApi;
using namespace wmd;

// The one process-wide object, from WMD_Init to WMD_Deinit.
CBiosApi* g_biosApi = nullptr;

DWORD readHeaderWord(const uint8_t* header, size_t offset)
{
    DWORD value = 0;
    std::memcpy(&value, header + offset, sizeof value);
    return value;
}

DWORD apiCall(PBYTE input, DWORD inputSize, PBYTE output, DWORD outputSize, DWORD& count)
{
    if (!input || !output || inputSize < sizeof(WmdCallHeader) || outputSize < sizeof(WmdCallHeader))
        return ERROR_INVALID_PARAMETER;
    const DWORD group = readHeaderWord(input, offsetof(WmdCallHeader, indexGroup));
    const DWORD offset = readHeaderWord(input, offsetof(WmdCallHeader, indexOffset));
    const bool driverLevel = readHeaderWord(input, offsetof(WmdCallHeader, flags)) & kFlagDriverLevel;
    if (!g_biosApi || !g_biosApi->readyForUserCalls())
        return kErrorApiNotReady;

    // The request data in a buffer of the driver's own.
    const DWORD dataSize = inputSize - sizeof(WmdCallHeader);
    std::unique_ptr<uint8_t[]> data;
    if (dataSize > 0)
    {
        data.reset(new (std::nothrow) uint8_t[dataSize]);
        if (!data)
            return ERROR_NOT_ENOUGH_MEMORY;
        std::memcpy(data.get(), input + sizeof(WmdCallHeader), dataSize);
    }
    PBYTE area = output + sizeof(WmdCallHeader);
    const DWORD areaSize = outputSize - sizeof(WmdCallHeader);
    DWORD delivered = 0;
    const DWORD result = driverLevel
                             ? g_biosApi->DriverIoControl(group, offset, data.get(), dataSize,
                                                          areaSize ? area : nullptr, areaSize, &delivered)
                             : g_biosApi->BiosIoControl(group, offset, data.get(), dataSize,
                                                        areaSize ? area : nullptr, areaSize, &delivered);
    // A failure of the called function travels in the response header.
    std::memcpy(output + offsetof(WmdCallHeader, indexGroup), &result, sizeof result);
    std::memcpy(output + offsetof(WmdCallHeader, indexOffset), &delivered, sizeof delivered);
    count = sizeof(WmdCallHeader) + (result == 0 ? delivered : 0);
    return 0;
}

} // namespace

extern "C"
{

    __attribute__((visibility("default"))) DWORD_PTR WMD_Init(LPCWSTR activeKey, LPCVOID)
    {
        if (!g_biosApi)
            g_biosApi = new CBiosApi(activeKey);
        if (!g_biosApi->findApi())
        {
            // The manager unloads the driver without WMD_Deinit: nothing may stay behind.
            delete g_biosApi;
            g_biosApi = nullptr;
            return 0;
        }
        g_biosApi->initialize();
        return 1;
    }

    __attribute__((visibility("default"))) BOOL WMD_Deinit(DWORD_PTR)
    {
        // Destroying the object releases the firmware API, once: a release before it
        // would write "Service stopped." twice.
        delete g_biosApi;
        g_biosApi = nullptr;
        return TRUE;
    }

    __attribute__((visibility("default"))) DWORD_PTR WMD_Open(DWORD_PTR deviceContext, DWORD, DWORD)
    {
        return deviceContext;
    }

    __attribute__((visibility("default"))) BOOL WMD_Close(DWORD_PTR)
    {
        return TRUE;
    }

    // No byte stream. A count of 0 would report success with nothing read: the
    // failure value -1 makes the caller's ReadFile and WriteFile fail with error 1.
    __attribute__((visibility("default"))) DWORD WMD_Read(DWORD_PTR, LPVOID, DWORD)
    {
        SetLastError(ERROR_INVALID_FUNCTION);
        return static_cast<DWORD>(-1);
    }

    __attribute__((visibility("default"))) DWORD WMD_Write(DWORD_PTR, LPCVOID, DWORD)
    {
        SetLastError(ERROR_INVALID_FUNCTION);
        return static_cast<DWORD>(-1);
    }

    __attribute__((visibility("default"))) DWORD WMD_Seek(DWORD_PTR, LONG, WORD)
    {
        return static_cast<DWORD>(-1);
    }

    __attribute__((visibility("default"))) void WMD_PowerUp(DWORD_PTR) {}
    __attribute__((visibility("default"))) void WMD_PowerDown(DWORD_PTR) {}

    __attribute__((visibility("default"))) BOOL WMD_IOControl(DWORD_PTR, DWORD code, PBYTE input,
                                                              DWORD inputSize, PBYTE output, DWORD outputSize,
                                                              PDWORD returned)
    {
        if (!returned)
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        *returned = 0;
        DWORD error = ERROR_NOT_SUPPORTED, count = 0;
        if (code == kIoctlDriverVersion)
        {
            error = ERROR_INVALID_PARAMETER;
            if (output && outputSize >= sizeof(DWORD))
            {
                std::memcpy(output, &kDriverVersion, sizeof kDriverVersion);
                count = sizeof kDriverVersion;
                error = 0;
            }
        }
        else if (code == kIoctlApiCall)
            error = apiCall(input, inputSize, output, outputSize, count);
        SetLastError(error);
        if (error != 0)
            return FALSE;
        *returned = count;
        return TRUE;
    }

} // extern "C"
