#include "trace.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

namespace boarddrv
{

namespace
{

constexpr size_t kLineSize = 256;
constexpr size_t kDumpLimit = 1000;
constexpr DWORD kBytesPerLine = 16;

} // namespace

void trace(const char* format, ...)
{
    char line[kLineSize];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    OutputDebugStringA(line);
}

void traceDump(const char* title, const void* data, DWORD size)
{
    trace("%s[1..%d]\r\n", title, static_cast<int>(size));
    if (!data)
        return;
    const auto* bytes = static_cast<const uint8_t*>(data);
    // Three characters a byte: the dump ends with the last byte that keeps it within the limit.
    const DWORD shown = size < kDumpLimit / 3 ? size : static_cast<DWORD>(kDumpLimit / 3);
    for (DWORD start = 0; start < shown; start += kBytesPerLine)
    {
        char text[kBytesPerLine * 3 + 1] = {};
        for (DWORD i = start; i < shown && i < start + kBytesPerLine; ++i)
            std::snprintf(text + 3 * (i - start), 4, "%02X ", bytes[i]);
        trace("%s\r\n", text);
    }
}

} // namespace boarddrv
