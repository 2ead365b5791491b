// The version functions: this library's own version and those QbWmDevApi reports.
#include "families.h"

#include <boardkit.h>

using namespace boardkit;

namespace
{

constexpr DWORD kFunctionLibraryVersion = 0x1701;

// The value of one version call of QbWmDevApi; 0 there is a failure whose last error it set.
BOOL fetchVersion(DWORD* version, DWORD (*query)())
{
    if (!version)
        return finish(ERROR_INVALID_PARAMETER);
    *version = 0;
    *version = query();
    return *version != 0 ? finish(0) : FALSE;
}

} // namespace

BOARDKIT_EXPORT BOOL WmGenGetVersion(WM_VERSION_INFO* info)
{
    if (!info)
        return finish(ERROR_INVALID_PARAMETER);
    *info = {};
    info->funVersion = kFunctionLibraryVersion;
    return fetchVersion(&info->dllVersion, WmGetDllVersion) &&
           fetchVersion(&info->drvVersion, WmGetDrvVersion) &&
           fetchVersion(&info->apiVersion, WmGetApiVersion);
}

BOARDKIT_EXPORT BOOL WmGetApiVersionEx(DWORD* version)
{
    return fetchVersion(version, WmGetApiVersion);
}

BOARDKIT_EXPORT BOOL WmGetDrvVersionEx(DWORD* version)
{
    return fetchVersion(version, WmGetDrvVersion);
}

BOARDKIT_EXPORT BOOL WmGetDllVersionEx(DWORD* version)
{
    return fetchVersion(version, WmGetDllVersion);
}

BOARDKIT_EXPORT BOOL WmGetFunVersionEx(DWORD* version)
{
    if (!version)
        return finish(ERROR_INVALID_PARAMETER);
    *version = kFunctionLibraryVersion;
    return finish(0);
}
