// The simulated touch screen controller: a stream driver with the prefix TCH that can be
// opened and closed, so that programs can tell the touch device file is there.
#include <windows.h>

#define TCH_EXPORT extern "C" __attribute__((visibility("default")))

namespace
{
int g_device; // the one device; its address is the context
}

TCH_EXPORT DWORD_PTR TCH_Init(LPCWSTR, LPCVOID)
{
    return reinterpret_cast<DWORD_PTR>(&g_device);
}

TCH_EXPORT BOOL TCH_Deinit(DWORD_PTR)
{
    return TRUE;
}

TCH_EXPORT DWORD_PTR TCH_Open(DWORD_PTR context, DWORD, DWORD)
{
    return context;
}

TCH_EXPORT BOOL TCH_Close(DWORD_PTR)
{
    return TRUE;
}
