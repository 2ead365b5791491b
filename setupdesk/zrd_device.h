// The display and processor device "ZRD1:". Every call opens the device, makes one
// I/O control call and closes it again.
#pragma once

#include <windows.h>

namespace setupdesk
{
// What a failed open or call returns.
constexpr DWORD kZrdFailed = 0xC0000001u;

constexpr DWORD kZrdGetMode = 0x150800;      // out: 88-byte display mode record
constexpr DWORD kZrdSetMode = 0x150804;      // in: display mode record, 8 + text length bytes
constexpr DWORD kZrdGetModeList = 0x15081C;  // out: 744-byte mode list
constexpr DWORD kZrdCpuFrequency = 0x15082C; // out: 4 bytes, MHz
constexpr DWORD kZrdGetRotation = 0x150830;  // out: 4-byte angle
constexpr DWORD kZrdSetRotation = 0x150834;  // in: 4-byte angle

// 0 on success, kZrdFailed otherwise. An answer shorter than the output buffer counts
// as failed: the caller would read bytes the device never wrote.
DWORD zrdCall(DWORD code, const void* input, DWORD inputSize, void* output, DWORD outputSize);

// The processor's frequency in MHz.
DWORD zrdCpuFrequency(DWORD& mhz);
} // namespace setupdesk
