// The simulated audio driver: a stream driver with the prefix WAV holding AC97 mixer
// registers and the STGL5000 codec's state in memory, from the driver's start to its end.
// While "recording" is on (a test control), the input cannot be switched.
#include <wavsim/control.h>

#include <windows.h>

#include <cstring>
#include <map>
#include <mutex>

namespace
{
using namespace wavsim;

struct Codec
{
    // AC97 reset values: the outputs and inputs muted at full attenuation.
    std::map<uint32_t, uint32_t> ac97{
        {kAc97Master, 0x8000}, {kAc97Microphone, 0x8008}, {kAc97LineIn, 0x8808}};
    uint32_t outVolume = 0xC000C000;
    uint32_t inVolume = 0x80008000;
    uint32_t outMute = 0;
    uint32_t inMute = 0;
    uint32_t input = 0;
    std::map<uint32_t, uint32_t> registers{{kStglMicGainRegister, 0}};
};

struct Device
{
    std::mutex lock;
    Codec codec;
    bool recording = false;
    Stats stats{};
};

template <class T> bool take(const PBYTE input, DWORD size, T& record)
{
    if (!input || size < sizeof record)
        return false;
    std::memcpy(&record, input, sizeof record);
    return true;
}

template <class T> BOOL answer(const T& record, PBYTE output, DWORD size, PDWORD returned)
{
    if (!output || size < sizeof record)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(output, &record, sizeof record);
    *returned = sizeof record;
    return TRUE;
}

// The STGL5000 command on the codec: 0 or an error status.
uint32_t stgl(Device& device, const CodecRequest& request, uint32_t& value)
{
    Codec& codec = device.codec;
    uint32_t* field = nullptr;
    switch (request.command & ~1u)
    {
    case kStglReadOutVolume:
        field = &codec.outVolume;
        break;
    case kStglReadInVolume:
        field = &codec.inVolume;
        break;
    case kStglReadOutMute:
        field = &codec.outMute;
        break;
    case kStglReadInMute:
        field = &codec.inMute;
        break;
    case kStglReadInput:
        field = &codec.input;
        break;
    case kStglReadRegister:
        field = &codec.registers[request.reg];
        break;
    default:
        return ERROR_NOT_SUPPORTED;
    }
    const bool write = request.command % 2 == 1; // every write command is its read's number + 1
    if (!write)
    {
        ++device.stats.reads;
        value = *field;
        return 0;
    }
    if (request.command == kStglWriteInput && device.recording)
        return ERROR_BUSY;
    ++device.stats.writes;
    *field = request.value;
    return 0;
}

BOOL testControl(Device& device, DWORD code, PBYTE input, DWORD inputSize, PBYTE output, DWORD outputSize,
                 PDWORD returned)
{
    if (code == kIoctlGetStats)
        return answer(device.stats, output, outputSize, returned);
    if (code == kIoctlReset)
    {
        device.codec = Codec{};
        device.recording = false;
        device.stats = Stats{};
        return TRUE;
    }
    uint32_t on = 0;
    if (!take(input, inputSize, on))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    device.recording = on != 0;
    return TRUE;
}
} // namespace

#define WAV_EXPORT extern "C" __attribute__((visibility("default")))

WAV_EXPORT DWORD_PTR WAV_Init(LPCWSTR, LPCVOID)
{
    return reinterpret_cast<DWORD_PTR>(new Device);
}

WAV_EXPORT BOOL WAV_Deinit(DWORD_PTR context)
{
    delete reinterpret_cast<Device*>(context);
    return TRUE;
}

WAV_EXPORT DWORD_PTR WAV_Open(DWORD_PTR context, DWORD, DWORD)
{
    return context;
}

WAV_EXPORT BOOL WAV_Close(DWORD_PTR)
{
    return TRUE;
}

WAV_EXPORT BOOL WAV_IOControl(DWORD_PTR context, DWORD code, PBYTE input, DWORD inputSize, PBYTE output,
                              DWORD outputSize, PDWORD returned)
{
    if (!returned)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *returned = 0;
    Device& device = *reinterpret_cast<Device*>(context);
    std::lock_guard guard(device.lock);
    if (code == kIoctlSetRecording || code == kIoctlGetStats || code == kIoctlReset)
        return testControl(device, code, input, inputSize, output, outputSize, returned);

    if (code == kIoctlGeodeCodec)
    {
        GeodeRequest request{};
        if (!take(input, inputSize, request) ||
            (request.command != kGeodeRead && request.command != kGeodeWrite))
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        uint32_t& reg = device.codec.ac97[request.reg];
        if (request.command == kGeodeWrite)
        {
            ++device.stats.writes;
            reg = request.value & 0xFFFF;
            return TRUE;
        }
        ++device.stats.reads;
        return answer(reg, output, outputSize, returned);
    }
    CodecRequest request{};
    if (!take(input, inputSize, request))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Reply reply{};
    switch (code)
    {
    case kIoctlAc97Read:
        ++device.stats.reads;
        reply.value = device.codec.ac97[request.reg];
        break;
    case kIoctlAc97Write:
        ++device.stats.writes;
        device.codec.ac97[request.reg] = request.value & 0xFFFF;
        break;
    case kIoctlStgl5000:
        reply.status = stgl(device, request, reply.value);
        break;
    default:
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    return answer(reply, output, outputSize, returned);
}
