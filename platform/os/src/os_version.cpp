#include <os/version.h>

#include "registry_read.h"

#include <algorithm>

namespace
{
constexpr const char16_t* kPlatformKey = u"Platform";
// What the device reports when its registry names no version.
constexpr DWORD kDefaultMajor = 7;
constexpr DWORD kDefaultMinor = 0;
} // namespace

extern "C" BOOL GetVersionExW(LPOSVERSIONINFOW info)
{
    if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->dwMajorVersion = os::detail::machineDword(kPlatformKey, u"OsMajorVersion").value_or(kDefaultMajor);
    info->dwMinorVersion = os::detail::machineDword(kPlatformKey, u"OsMinorVersion").value_or(kDefaultMinor);
    info->dwBuildNumber = 0;
    info->dwPlatformId = VER_PLATFORM_WIN32_CE;
    std::fill(std::begin(info->szCSDVersion), std::end(info->szCSDVersion), u'\0');
    return TRUE;
}
