// A program the build leaves without a version record: prints what its device info and its
// trace say, for the version tests.
#include "opcwatchpaths.h"
#include "opcwatchversion.h"
#include "vosserverimp.h"

#include <uatracecapture.h>

#include <os/text.h>

#include <cstdio>

namespace
{
class NamedServer : public CVosServerImp
{
public:
    NamedServer() { m_deviceName = u"Unversioned"; }
};
} // namespace

int main()
{
    OpcFileVersion fileVersion;
    std::printf("record: %s\n", readFileVersion(opcwatchProgramFile(), fileVersion) ? "yes" : "no");

    NamedServer* server = new NamedServer;
    server->AddRef();
    UaTraceCapture trace(7);
    BSTR name = nullptr;
    VosVersion version{9, 9, 99};
    const HRESULT result = server->ReadDeviceInfo(&name, &version);
    const std::vector<UaTraceLine> lines = trace.lines();
    server->Release();

    std::printf("result: 0x%08x\n", static_cast<unsigned>(result));
    std::printf("version: %u.%u.%u\n", version.version, version.revision, version.build);
    std::printf("name: %s\n", os::toUtf8(name).c_str());
    SysFreeString(name);
    for (const UaTraceLine& line : lines)
        std::printf("trace %d: %s\n", line.level, line.text.c_str());
    return 0;
}
