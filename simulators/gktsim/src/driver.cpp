// The simulated device-profile driver: a stream driver with the prefix GKT
// whose object dictionary is read from a description file in the device root.
// Its own registry key may name the file in "Description" (a device path,
// default "GktSim.txt"); a missing file is first copied from the default
// description installed beside the driver.
#include "description.h"
#include "faults.h"
#include "requests.h"

#include <description_text.h>

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace
{

using namespace gktsim;

constexpr char kDefaultDescription[] = "GktSim.txt";

struct Device
{
    Dictionary dictionary;
    FaultTable faults;
};

struct OpenContext
{
    Device* device;
};

bool loadDescription(const std::u16string& activeKey, Dictionary& dictionary)
{
    std::string text, message;
    if (!simdesc::readDescriptionFile(activeKey, kDefaultDescription, text, message))
    {
        std::fprintf(stderr, "GktSim: %s\n", message.c_str());
        return false;
    }
    if (!parseDescription(text, dictionary, message))
    {
        std::fprintf(stderr, "GktSim: %s: %s\n", kDefaultDescription, message.c_str());
        SetLastError(ERROR_BAD_FORMAT);
        return false;
    }
    return true;
}

bool isControlCode(DWORD code)
{
    return code == kIoctlSetFault || code == kIoctlGetStats || code == kIoctlReleaseHeld;
}

BOOL control(Device& device, DWORD code, PBYTE input, DWORD inputSize, PBYTE output, DWORD outputSize,
             PDWORD returned)
{
    *returned = 0;
    if (code == kIoctlSetFault)
    {
        if (!input || inputSize < sizeof(FaultRequest))
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        FaultRequest request;
        std::memcpy(&request, input, sizeof request);
        device.faults.set(request);
    }
    else if (code == kIoctlGetStats)
    {
        if (!output || outputSize < sizeof(DriverStats))
        {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        const DriverStats stats = device.faults.stats();
        std::memcpy(output, &stats, sizeof stats);
        *returned = sizeof stats;
    }
    else
        device.faults.releaseHeld();
    return TRUE;
}

} // namespace

extern "C"
{

    __attribute__((visibility("default"))) DWORD_PTR GKT_Init(LPCWSTR activeKey, LPCVOID)
    {
        auto device = std::make_unique<Device>();
        if (!loadDescription(activeKey ? std::u16string(activeKey) : std::u16string(), device->dictionary))
            return 0;
        return reinterpret_cast<DWORD_PTR>(device.release());
    }

    __attribute__((visibility("default"))) BOOL GKT_Deinit(DWORD_PTR deviceContext)
    {
        delete reinterpret_cast<Device*>(deviceContext);
        return TRUE;
    }

    __attribute__((visibility("default"))) DWORD_PTR GKT_Open(DWORD_PTR deviceContext, DWORD, DWORD)
    {
        auto* device = reinterpret_cast<Device*>(deviceContext);
        if (const auto error = device->faults.take(FaultKind::refuseOpen, 0))
        {
            SetLastError(*error);
            return 0;
        }
        device->faults.noteOpen(+1);
        return reinterpret_cast<DWORD_PTR>(new OpenContext{device});
    }

    __attribute__((visibility("default"))) BOOL GKT_Close(DWORD_PTR openContext)
    {
        auto* context = reinterpret_cast<OpenContext*>(openContext);
        context->device->faults.noteOpen(-1);
        delete context;
        return TRUE;
    }

    // The device profile has no byte stream.
    __attribute__((visibility("default"))) DWORD GKT_Read(DWORD_PTR, LPVOID, DWORD)
    {
        SetLastError(ERROR_INVALID_FUNCTION);
        return 0xFFFFFFFFu;
    }

    __attribute__((visibility("default"))) DWORD GKT_Write(DWORD_PTR, LPCVOID, DWORD)
    {
        SetLastError(ERROR_INVALID_FUNCTION);
        return 0xFFFFFFFFu;
    }

    __attribute__((visibility("default"))) DWORD GKT_Seek(DWORD_PTR, LONG, WORD)
    {
        SetLastError(ERROR_INVALID_FUNCTION);
        return 0xFFFFFFFFu;
    }

    __attribute__((visibility("default"))) BOOL GKT_IOControl(DWORD_PTR openContext, DWORD code, PBYTE input,
                                                              DWORD inputSize, PBYTE output, DWORD outputSize,
                                                              PDWORD returned)
    {
        if (!returned)
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        Device& device = *reinterpret_cast<OpenContext*>(openContext)->device;
        if (isControlCode(code))
            return control(device, code, input, inputSize, output, outputSize, returned);

        *returned = 0;
        device.faults.noteCall(code, input, inputSize, outputSize);
        if (device.faults.take(FaultKind::hold, code))
            device.faults.hold();
        if (const auto error = device.faults.take(FaultKind::failIo, code))
        {
            SetLastError(*error);
            return FALSE;
        }
        const IoResult result =
            handleRequest(device.dictionary, {code, input, inputSize, output, outputSize});
        if (result.error != 0)
        {
            SetLastError(result.error);
            return FALSE;
        }
        *returned = result.bytesReturned;
        if (const auto count = device.faults.take(FaultKind::shortAnswer, code))
            *returned = *count;
        if (const auto offset = device.faults.take(FaultKind::nameOffset, code);
            offset && code == kIoctlEntryDescription && output && outputSize >= 32)
            std::memcpy(output + 28, &*offset, 4);
        if (const auto extra = device.faults.take(FaultKind::oversizeLength, code);
            extra && output && outputSize >= 8)
        {
            uint32_t length = 0;
            std::memcpy(&length, output + 4, 4);
            length += *extra;
            std::memcpy(output + 4, &length, 4);
        }
        return TRUE;
    }

    __attribute__((visibility("default"))) void GKT_PowerUp(DWORD_PTR) {}
    __attribute__((visibility("default"))) void GKT_PowerDown(DWORD_PTR) {}

} // extern "C"
