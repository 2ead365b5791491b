// ncksim: the NC kernel simulator on port 500 (see README.md).
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "ncksim.h"

#include <os/deviceroot.h>

namespace
{
volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int)
{
    g_stop = 1;
}

int Usage(const char* problem)
{
    std::fprintf(
        stderr,
        "ncksim: %s\n"
        "usage: ncksim [--config FILE] [--channels N] [--dialect D] [--size S] [--log FILE | --no-log]\n"
        "              [--extra-port PORT]... [--kernel-port PORT] [--service-port PORT]\n",
        problem);
    return 2;
}
} // namespace

int main(int argc, char** argv)
{
    ncksim::SimConfig config = ncksim::SimConfig::Default();
    ncksim::CNcKernelSim::Options options;
    std::string logPath;
    int channels = 0;
    std::uint32_t dialect = 1;
    std::uint32_t size = 100000;
    bool fromFile = false;
    bool noLog = false;
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        if (arg == "--no-log")
        {
            noLog = true;
            continue;
        }
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!value)
            return Usage(("a value is missing after " + arg).c_str());
        ++i;
        if (arg == "--config")
        {
            std::ifstream file(value);
            if (!file)
                return Usage("the configuration file cannot be read");
            std::ostringstream text;
            text << file.rdbuf();
            std::string error;
            if (!ncksim::ParseConfig(text.str(), config, error))
                return Usage(error.c_str());
            fromFile = true;
        }
        else if (arg == "--channels")
            channels = std::atoi(value);
        else if (arg == "--dialect")
            dialect = static_cast<std::uint32_t>(std::strtoul(value, nullptr, 0));
        else if (arg == "--size")
            size = static_cast<std::uint32_t>(std::strtoul(value, nullptr, 0));
        else if (arg == "--log")
            logPath = value;
        else if (arg == "--extra-port")
            options.extraPorts.push_back(static_cast<USHORT>(std::strtoul(value, nullptr, 0)));
        else if (arg == "--kernel-port")
            options.kernelPort = static_cast<USHORT>(std::strtoul(value, nullptr, 0));
        else if (arg == "--service-port")
            options.servicePort = static_cast<USHORT>(std::strtoul(value, nullptr, 0));
        else
            return Usage(("unknown option " + arg).c_str());
    }
    if (!fromFile)
    {
        const int n = channels > 0 ? channels : 1;
        config.channels.clear();
        for (int c = 1; c <= n; ++c)
            config.channels.push_back(ncksim::SimChannel{static_cast<std::uint32_t>(c), dialect, size,
                                                         "Channel " + std::to_string(c)});
    }
    std::FILE* log = noLog ? nullptr : stdout;
    // Never through a link out of the device root, as every file the device writes.
    if (!noLog && !logPath.empty() && !(log = os::openDeviceLog(logPath)))
        return Usage(("the log file cannot be opened: " + std::string(std::strerror(errno))).c_str());

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    ncksim::CNcKernelSim sim(config, options, log);
    if (!sim.Start())
    {
        std::fprintf(stderr, "ncksim: the kernel's ports cannot be opened\n");
        return 1;
    }
    while (!g_stop)
        pause();
    sim.Stop();
    if (log && log != stdout)
        std::fclose(log);
    return 0;
}
