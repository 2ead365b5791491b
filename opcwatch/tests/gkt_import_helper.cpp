// Starts the device-profile node manager on a server manager and prints the trace lines it
// wrote ("<level>|<text>"): the import as a process whose program folder the test chose.
#include <fake_serverconfig.h>
#include <servermanager.h>
#include <uagktnodemanager.h>
#include <uatracecapture.h>

#include <cstdio>

int main()
{
    UaTraceCapture capture(7);
    {
        uaserver::testing::FakeServerConfig config;
        ServerManager serverManager;
        if (serverManager.startUp(&config).isBad())
            return 2;
        CUaGktNodeManager nodeManager("GKT");
        if (nodeManager.startUp(&serverManager).isBad())
            return 3;
        nodeManager.shutDown();
    }
    for (const UaTraceLine& line : capture.lines())
        std::printf("%d|%s\n", line.level, line.text.c_str());
    return 0;
}
