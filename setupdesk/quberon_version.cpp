#include "quberon_version.h"

#include <vos/vosapi.h>

#include <ui/text.h>

namespace setupdesk
{
namespace
{
constexpr USHORT kSystemPort = 100;
constexpr USHORT kRuntimePort = 10000;

bool runtimeRunning()
{
    const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, u"QbSYSEXE_SUSPEND_COMPLETE");
    const bool existed = event && GetLastError() == ERROR_ALREADY_EXISTS;
    // The event is the run-time system's: asking must not keep one alive for it.
    if (event)
        CloseHandle(event);
    return existed;
}

// From 2.9 build 143 on, port 10000 knows the build.
bool buildOnRuntimePort(const VosVersion& version)
{
    return version.version > 2 || (version.version == 2 && version.revision > 9) ||
           (version.version == 2 && version.revision == 9 && version.build >= 143);
}
} // namespace

QuberonVersion readQuberonVersion(DWORD timeoutMs)
{
    QuberonVersion result;
    if (!runtimeRunning())
        return result;
    VosPortOpen();
    VosSyncSetTimeout(static_cast<LONG>(timeoutMs));
    OrxAddr address{};
    VosGetLocalAddress(&address);
    address.port = kSystemPort;
    char name[VOS_DEVICE_NAME_LEN + 1] = {};
    VosVersion version{};
    if (VosSyncReadDeviceInfoReq(&address, name, &version) == 0)
    {
        result.version = ui::format("%d.%d", version.version, version.revision);
        result.build = ui::format("%d", version.build);
        if (buildOnRuntimePort(version))
        {
            address.port = kRuntimePort;
            VosVersion runtime{};
            if (VosSyncReadDeviceInfoReq(&address, name, &runtime) == 0)
                result.build = ui::format("%d", runtime.build);
        }
        result.major = version.version;
    }
    VosPortClose();
    return result;
}
} // namespace setupdesk
