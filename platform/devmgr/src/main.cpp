// The device manager: loads the stream drivers listed in the registry and
// serves their device files to every process of the device until SIGTERM or
// SIGINT, then closes the open files and calls each driver's Deinit in
// reverse load order.
#include "device_server.h"
#include "driver_table.h"
#include "in_process_files.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <pthread.h>

int main(int argc, char** argv)
{
    if (argc > 1)
    {
        std::fprintf(stderr,
                     "usage: %s\n  serves the device files of the device root (DEVICE_ROOT) until SIGTERM\n",
                     argv[0]);
        return 2;
    }
    // Every thread leaves the stop signals to the main thread's sigwait.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // A second manager must not touch the drivers or active keys of the running one.
    if (devmgr::DeviceServer::managerRunning())
    {
        std::fprintf(stderr, "devmgr: another device manager serves %s\n",
                     os::devio::managerSocketPath().c_str());
        return 1;
    }
    devmgr::DriverTable drivers;
    // Drivers that open other drivers' device files reach them inside this process.
    devmgr::installInProcessRoute(drivers);
    drivers.loadAll();
    devmgr::DeviceServer server(drivers);
    std::string error;
    if (!server.start(error))
    {
        std::fprintf(stderr, "devmgr: %s\n", error.c_str());
        return 1;
    }
    std::printf("devmgr: ready, %zu driver(s), socket %s\n", drivers.size(),
                os::devio::managerSocketPath().c_str());
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    std::printf("devmgr: stopping (%s)\n", signal == SIGTERM ? "SIGTERM" : "SIGINT");
    std::fflush(stdout);
    server.stop();
    drivers.unloadAll();
    devmgr::removeInProcessRoute();
    std::printf("devmgr: stopped\n");
    return 0;
}
