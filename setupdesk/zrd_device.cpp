#include "zrd_device.h"

namespace setupdesk
{
DWORD zrdCall(DWORD code, const void* input, DWORD inputSize, void* output, DWORD outputSize)
{
    const HANDLE device =
        CreateFileW(u"ZRD1:", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0x40000080, nullptr);
    if (device == nullptr || device == INVALID_HANDLE_VALUE)
        return kZrdFailed;
    DWORD returned = 0;
    const BOOL done = DeviceIoControl(device, code, const_cast<void*>(input), inputSize, output, outputSize,
                                      &returned, nullptr);
    CloseHandle(device);
    return done && returned >= outputSize ? 0 : kZrdFailed;
}

DWORD zrdCpuFrequency(DWORD& mhz)
{
    return zrdCall(kZrdCpuFrequency, nullptr, 0, &mhz, sizeof mhz);
}
} // namespace setupdesk
