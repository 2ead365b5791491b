#include <os/debug.h>
#include <os/text.h>

#include <cstdio>
#include <string>

extern "C" void OutputDebugStringA(LPCSTR text)
{
    if (!text)
        return;
    std::fputs(text, stderr);
    std::fflush(stderr);
}

extern "C" void OutputDebugStringW(LPCWSTR text)
{
    if (!text)
        return;
    OutputDebugStringA(os::toUtf8(text).c_str());
}
