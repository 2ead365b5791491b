// Libraries loaded by name: "Name.dll" is the project's libName.so, looked up in the
// program's own folder first, then along the usual library search path. An absolute host
// path, with "/" or "\" separators (as GetModuleFileName gives it), loads that file. A name
// with a folder ("\Windows\Name.dll", "\Hard Disk\System\Name.dll") that is no host file
// is looked up in that device folder alone (os/deviceroot.h), ignoring case.
#pragma once

#include <os/types.h>

#include <string>
#include <string_view>

namespace os
{
// The host path of the program-folder file that LoadLibrary takes for a name ("X.dll"
// gives "libX.so", found ignoring case); empty when the program's folder has none.
std::string libraryPathInProgramFolder(std::string_view name);
} // namespace os

// Generic entry pointer; callers cast it to the entry's real type.
typedef void(WINAPI* FARPROC)();

extern "C"
{
    // Fails with ERROR_MOD_NOT_FOUND (126).
    HMODULE LoadLibraryW(LPCWSTR name);
    HMODULE LoadLibraryA(LPCSTR name);
    // Fails with ERROR_PROC_NOT_FOUND (127).
    FARPROC GetProcAddress(HMODULE module, LPCSTR name);
    FARPROC GetProcAddressW(HMODULE module, LPCWSTR name);
    BOOL FreeLibrary(HMODULE module);
    // Null is the program itself. The name is the file's host path written with "\"
    // separators, as device code expects ("\opt\app\bin\Opcwatch"); the file calls
    // take it, and paths built from it, as they stand (os/deviceroot.h).
    DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);
    DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
    HMODULE GetModuleHandleW(LPCWSTR name);
}

inline HMODULE LoadLibrary(LPCWSTR name)
{
    return LoadLibraryW(name);
}
inline HMODULE LoadLibrary(LPCSTR name)
{
    return LoadLibraryA(name);
}
inline FARPROC GetProcAddress(HMODULE module, LPCWSTR name)
{
    return GetProcAddressW(module, name);
}
inline DWORD GetModuleFileName(HMODULE module, LPWSTR buffer, DWORD size)
{
    return GetModuleFileNameW(module, buffer, size);
}
inline DWORD GetModuleFileName(HMODULE module, LPSTR buffer, DWORD size)
{
    return GetModuleFileNameA(module, buffer, size);
}
inline HMODULE GetModuleHandle(LPCWSTR name)
{
    return GetModuleHandleW(name);
}
