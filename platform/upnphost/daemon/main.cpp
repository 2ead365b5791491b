// upnphostd [--http-port <port>]: the device host. Serves the registered devices on the
// device address until SIGINT or SIGTERM.
#include "device_host.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    unsigned long port = upnphost::kDefaultHttpPort;
    for (int i = 1; i < argc; ++i)
    {
        char* end = nullptr;
        if (std::strcmp(argv[i], "--http-port") == 0 && i + 1 < argc && argv[i + 1][0] != '\0' &&
            (port = std::strtoul(argv[i + 1], &end, 10), *end == '\0' && port <= 65535))
        {
            ++i;
            continue;
        }
        std::fprintf(stderr, "usage: upnphostd [--http-port <port>]   (0: any free port)\n");
        return 2;
    }

    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    // The main thread's queue must exist before any signal, so that it ends the loop.
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);

    int status = 0;
    {
        upnphost::DeviceHost host(static_cast<uint16_t>(port));
        std::string error;
        if (host.start(error))
        {
            std::printf("upnphostd: serving http://%s:%u\n", host.address().c_str(), host.httpPort());
            std::fflush(stdout);
            while (GetMessageW(&message, nullptr, 0, 0) > 0)
            {
            }
        }
        else
        {
            std::fprintf(stderr, "upnphostd: %s\n", error.c_str());
            status = 1;
        }
        host.stop();
    }
    CoUninitialize();
    return status;
}
