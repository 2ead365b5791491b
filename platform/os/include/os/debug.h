// Debug output: one line per call on standard error.
#pragma once

#include <os/types.h>

#include <unistd.h> // gethostname

extern "C"
{
    void OutputDebugStringW(LPCWSTR text);
    void OutputDebugStringA(LPCSTR text);
}

inline void OutputDebugString(LPCWSTR text)
{
    OutputDebugStringW(text);
}
inline void OutputDebugString(LPCSTR text)
{
    OutputDebugStringA(text);
}
