// Boarddrv's diagnostic lines on the platform's debug output.
#pragma once

#include <os/types.h>

#include <cstdint>

namespace boarddrv
{

// "LogLevel" bits.
constexpr DWORD kLogCalls = 0x1;
constexpr DWORD kLogPostCode = 0x2;
constexpr DWORD kLogRetries = 0x4;
constexpr DWORD kLogArguments = 0x8;
constexpr DWORD kLogEvents = 0x10;

// One line, formatted into at most 256 characters.
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Headed "<title>[1..<count>]", then 16 bytes a line as two hex digits and a
// blank each; stops before the dump passes 1000 characters.
void traceDump(const char* title, const void* data, DWORD size);

// The part of an output buffer that a call filled: the delivered count, held to the buffer.
inline DWORD deliveredPart(const void* output, DWORD outputSize, DWORD delivered)
{
    return !output ? 0 : delivered < outputSize ? delivered : outputSize;
}

// Pointers in trace lines: full width, upper-case hex.
inline unsigned long long address(const void* pointer)
{
    return static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(pointer));
}

} // namespace boarddrv
