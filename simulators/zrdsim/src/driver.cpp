// The simulated display and processor driver: a stream driver with the prefix ZRD whose
// state (modes, current mode, rotation, processor frequency) lives in a text file in the
// device root. Its own registry key may name the file in "Description" (a device path,
// default "ZrdSim.txt"); a missing file is first copied from the default beside the
// driver. The file is read at every call, so it may be edited while the driver runs.
#include "state.h"

#include <description_text.h>
#include <os/replace_file.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

namespace
{
using namespace zrdsim;

constexpr char kDefaultState[] = "ZrdSim.txt";

struct Device
{
    std::mutex lock; // one call at a time: a set is a read, a change and a write
    std::string statePath;
    uint32_t hostMhz = 0;
    std::vector<FaultRequest> faults;
    DriverStats stats{};
};

struct OpenContext
{
    Device* device;
};

uint32_t hostMhz()
{
    std::ifstream file("/proc/cpuinfo");
    std::stringstream contents;
    contents << file.rdbuf();
    return cpuinfoMhz(contents.str());
}

bool readState(const std::string& path, State& state)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream contents;
    contents << file.rdbuf();
    std::string error;
    if (!file || !parseState(contents.str(), state, error))
    {
        std::fprintf(stderr, "ZrdSim: %s: %s\n", path.c_str(), file ? error.c_str() : "cannot be read");
        return false;
    }
    return true;
}

// Takes one use of a fault of `kind` that applies to `code`.
const FaultRequest* takeFault(Device& device, FaultKind kind, uint32_t code, FaultRequest& taken)
{
    for (auto it = device.faults.begin(); it != device.faults.end(); ++it)
    {
        if (static_cast<FaultKind>(it->kind) != kind || (it->code != 0 && it->code != code))
            continue;
        taken = *it;
        if (--it->count == 0)
            device.faults.erase(it);
        return &taken;
    }
    return nullptr;
}

BOOL testControl(Device& device, DWORD code, PBYTE input, DWORD inputSize, PBYTE output, DWORD outputSize,
                 PDWORD returned)
{
    if (code == kIoctlSetFault)
    {
        if (!input || inputSize < sizeof(FaultRequest))
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        FaultRequest request;
        std::memcpy(&request, input, sizeof request);
        if (static_cast<FaultKind>(request.kind) == FaultKind::clearAll)
            device.faults.clear();
        else if (request.count > 0)
            device.faults.push_back(request);
        return TRUE;
    }
    if (!output || outputSize < sizeof(DriverStats))
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(output, &device.stats, sizeof device.stats);
    *returned = sizeof device.stats;
    return TRUE;
}

BOOL regularCall(Device& device, DWORD code, PBYTE input, DWORD inputSize, PBYTE output, DWORD outputSize,
                 PDWORD returned)
{
    ++device.stats.ioCalls;
    device.stats.lastCode = code;
    device.stats.lastInSize = inputSize;
    std::memset(device.stats.lastIn, 0, sizeof device.stats.lastIn);
    if (input)
        std::memcpy(device.stats.lastIn, input, std::min<size_t>(inputSize, sizeof device.stats.lastIn));

    FaultRequest fault{};
    if (takeFault(device, FaultKind::failIo, code, fault))
    {
        SetLastError(fault.value);
        return FALSE;
    }
    State state;
    if (!readState(device.statePath, state))
    {
        SetLastError(ERROR_BAD_FORMAT);
        return FALSE;
    }
    const Answer answer = handleRequest(state, {code, input, inputSize, output, outputSize}, device.hostMhz);
    if (answer.error != 0)
    {
        SetLastError(answer.error);
        return FALSE;
    }
    if (answer.changed && os::replaceFileContents(device.statePath, formatState(state)) != ERROR_SUCCESS)
    {
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    *returned = answer.returned;
    if (takeFault(device, FaultKind::shortAnswer, code, fault))
        *returned = std::min(fault.value, answer.returned);
    if (takeFault(device, FaultKind::overwrite, code, fault) && output && fault.offset <= outputSize &&
        outputSize - fault.offset >= 4)
        std::memcpy(output + fault.offset, &fault.value, 4);
    return TRUE;
}
} // namespace

extern "C"
{
    __attribute__((visibility("default"))) DWORD_PTR ZRD_Init(LPCWSTR activeKey, LPCVOID)
    {
        auto device = std::make_unique<Device>();
        std::string message;
        State state;
        if (!simdesc::locateDescriptionFile(activeKey ? std::u16string(activeKey) : std::u16string(),
                                            kDefaultState, device->statePath, message))
        {
            std::fprintf(stderr, "ZrdSim: %s\n", message.c_str());
            return 0;
        }
        if (!readState(device->statePath, state))
        {
            SetLastError(ERROR_BAD_FORMAT);
            return 0;
        }
        device->hostMhz = hostMhz();
        return reinterpret_cast<DWORD_PTR>(device.release());
    }

    __attribute__((visibility("default"))) BOOL ZRD_Deinit(DWORD_PTR deviceContext)
    {
        delete reinterpret_cast<Device*>(deviceContext);
        return TRUE;
    }

    __attribute__((visibility("default"))) DWORD_PTR ZRD_Open(DWORD_PTR deviceContext, DWORD, DWORD)
    {
        auto* device = reinterpret_cast<Device*>(deviceContext);
        std::lock_guard guard(device->lock);
        FaultRequest fault{};
        if (takeFault(*device, FaultKind::refuseOpen, 0, fault))
        {
            SetLastError(fault.value);
            return 0;
        }
        ++device->stats.opens;
        ++device->stats.openContexts;
        return reinterpret_cast<DWORD_PTR>(new OpenContext{device});
    }

    __attribute__((visibility("default"))) BOOL ZRD_Close(DWORD_PTR openContext)
    {
        auto* context = reinterpret_cast<OpenContext*>(openContext);
        {
            std::lock_guard guard(context->device->lock);
            --context->device->stats.openContexts;
        }
        delete context;
        return TRUE;
    }

    // The device has no byte stream: without Read, Write and Seek entries the device
    // manager answers those calls with ERROR_INVALID_FUNCTION.

    __attribute__((visibility("default"))) BOOL ZRD_IOControl(DWORD_PTR openContext, DWORD code, PBYTE input,
                                                              DWORD inputSize, PBYTE output, DWORD outputSize,
                                                              PDWORD returned)
    {
        if (!returned)
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        *returned = 0;
        Device& device = *reinterpret_cast<OpenContext*>(openContext)->device;
        std::lock_guard guard(device.lock);
        if (code == kIoctlSetFault || code == kIoctlGetStats)
            return testControl(device, code, input, inputSize, output, outputSize, returned);
        return regularCall(device, code, input, inputSize, output, outputSize, returned);
    }

} // extern "C"
