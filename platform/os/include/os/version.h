// Versions: the operating system's (GetVersionEx) and the version record that the
// build puts into every program and shared library of ours (the file-version calls).
//
// A version record holds the file and product versions and the strings CompanyName,
// FileVersion, ProductVersion, ProductName, FileDescription and LegalCopyright under
// one translation (language 0x0409, code page 0x04B0). VerQueryValue answers:
// - "\": a VS_FIXEDFILEINFO with the two version words of each version;
// - "\VarFileInfo\Translation": the translation as two WORDs (language, code page);
// - "\StringFileInfo\040904b0\<name>": the string, its length in characters with
//   the terminator.
#pragma once

#include <os/types.h>

#define ERROR_RESOURCE_DATA_NOT_FOUND 1812L
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L

typedef UINT* PUINT;

struct OSVERSIONINFOW
{
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
};
typedef OSVERSIONINFOW OSVERSIONINFO;
typedef OSVERSIONINFOW* LPOSVERSIONINFOW;
typedef OSVERSIONINFOW* LPOSVERSIONINFO;

#define VER_PLATFORM_WIN32_CE 3

// The fixed part of a version record: each version as two words, the first holding
// the first two parts (high and low 16 bits), the second the last two.
struct VS_FIXEDFILEINFO
{
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
};

extern "C"
{
    // Major and minor version from HKLM "Platform" "OsMajorVersion" and "OsMinorVersion"
    // (7 and 0 when absent). dwOSVersionInfoSize must be sizeof(OSVERSIONINFOW), else
    // ERROR_INVALID_PARAMETER.
    BOOL GetVersionExW(LPOSVERSIONINFOW info);

    // The file is a device or host path (os/deviceroot.h); a "X.dll" that is no file is
    // found as LoadLibrary finds it. Fails with 0 and the last error: ERROR_FILE_NOT_FOUND,
    // ERROR_BAD_EXE_FORMAT (no program or library), ERROR_RESOURCE_TYPE_NOT_FOUND (no
    // version record), ERROR_INVALID_DATA (a damaged record).
    DWORD GetFileVersionInfoSizeW(LPCWSTR fileName, LPDWORD handle);
    // A size below the one GetFileVersionInfoSizeW reports fails with ERROR_INSUFFICIENT_BUFFER.
    BOOL GetFileVersionInfoW(LPCWSTR fileName, DWORD handle, DWORD size, LPVOID data);
    // Points into the block; an unknown name fails with ERROR_RESOURCE_TYPE_NOT_FOUND.
    BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, PUINT length);
}

inline BOOL GetVersionEx(LPOSVERSIONINFOW info)
{
    return GetVersionExW(info);
}
inline DWORD GetFileVersionInfoSize(LPCWSTR fileName, LPDWORD handle)
{
    return GetFileVersionInfoSizeW(fileName, handle);
}
inline BOOL GetFileVersionInfo(LPCWSTR fileName, DWORD handle, DWORD size, LPVOID data)
{
    return GetFileVersionInfoW(fileName, handle, size, data);
}
inline BOOL VerQueryValue(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, PUINT length)
{
    return VerQueryValueW(block, subBlock, buffer, length);
}
