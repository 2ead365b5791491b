// Opcwatch as the device starts it (its own folder in the device root, the device manager with
// GktSim running, its certificate already made): the time from exec to a port that accepts a
// connection and the resident memory then, as ratios to the library's test server in the same
// run, once with its test namespace and once with the DI and PLCopen models, both on Opcwatch's
// certificate with the same three policies. Times are the best of five starts; the reference
// figures of a server with the full namespace 0 are 43 ms and 17 MB.
#include <device_manager_process.h>
#include <freeport.h>

#include <os/deviceroot.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace
{
using Clock = std::chrono::steady_clock;

struct Start
{
    double listeningMs = 0;
    double residentMb = 0;
};

double residentMbOf(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

// Starts the program, waits until its port accepts, measures, and stops it with SIGTERM. A
// listening time of 0 means it did not come up or did not exit with 0.
Start startOnce(const std::vector<std::string>& command, int port)
{
    Start start;
    const Clock::time_point begin = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0)
    {
        // The servers' own output is not measured; the descriptor is swapped below this
        // process's buffered output, which the child must not write again.
        const int nothing = ::open("/dev/null", O_WRONLY);
        if (nothing < 0 || ::dup2(nothing, 1) < 0)
            ::_exit(126);
        std::vector<char*> argv;
        for (const std::string& part : command)
            argv.push_back(const_cast<char*>(part.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    const Clock::time_point deadline = begin + std::chrono::seconds(60);
    bool up = false;
    while (!(up = uaservertest::listens(port)) && Clock::now() < deadline &&
           ::waitpid(pid, nullptr, WNOHANG) == 0)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    if (up)
    {
        start.listeningMs = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
        start.residentMb = residentMbOf(pid);
    }
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        start.listeningMs = 0;
    return start;
}

// The best time of five starts and the memory of the last; nothing when a start failed.
bool measure(const char* what, const std::vector<std::string>& command, int port, Start& best)
{
    best = Start{1e300, 0};
    for (int round = 0; round < 5; ++round)
    {
        const Start start = startOnce(command, port);
        if (start.listeningMs == 0)
        {
            std::fprintf(stderr, "%s did not start and stop\n", what);
            return false;
        }
        best.listeningMs = std::min(best.listeningMs, start.listeningMs);
        best.residentMb = start.residentMb;
    }
    std::printf("%-40s exec to listening %7.1f ms, resident %6.1f MB\n", what, best.listeningMs,
                best.residentMb);
    return true;
}
} // namespace

int main()
{
    devmgr::testing::DeviceManagerProcess manager;
    if (!manager.start())
    {
        std::fprintf(stderr, "the device manager did not start:\n%s", manager.log().c_str());
        return 1;
    }
    const std::string bin = os::programDirectory();
    ::setenv("LD_LIBRARY_PATH", bin.c_str(), 1);

    // Opcwatch from its folder in the device root, as the run command lays it out.
    const std::string folder = manager.root() + "/Opcwatch";
    const std::string pki = folder + "/PKI/CA/";
    for (const char* sub : {"certs", "private", "crl"})
        fs::create_directories(pki + sub);
    fs::copy_file(bin + "/opcwatch", folder + "/opcwatch");
    const int port = uaservertest::freePort();
    std::ifstream defaults(bin + "/Opcwatch.xml");
    const std::string configuration(std::istreambuf_iterator<char>(defaults), {});
    std::ofstream(folder + "/Opcwatch.xml") << std::regex_replace(
        configuration, std::regex("<Url>4840</Url>"), "<Url>" + std::to_string(port) + "</Url>");
    // The first start makes the certificate; it is not measured.
    const std::vector<std::string> opcwatch = {folder + "/opcwatch"};
    if (startOnce(opcwatch, port).listeningMs == 0 || !fs::exists(pki + "certs/Corvanta_Opcwatch.der"))
    {
        std::fprintf(stderr, "Opcwatch did not make its certificate\n");
        return 1;
    }

    // The test server on Opcwatch's certificate and key with the same policies.
    const std::string serverPki = manager.root() + "/testserver-pki";
    fs::create_directories(serverPki + "/trusted");
    fs::create_directories(serverPki + "/crl");
    const int serverPort = uaservertest::freePort();
    std::vector<std::string> testServer = {UASERVER_TESTSERVER,
                                           "--port",
                                           std::to_string(serverPort),
                                           "--policy",
                                           "None",
                                           "--policy",
                                           "Basic128Rsa15:Sign,SignAndEncrypt",
                                           "--policy",
                                           "Basic256:Sign,SignAndEncrypt",
                                           "--certificate",
                                           pki + "certs/Corvanta_Opcwatch.der",
                                           "--key",
                                           pki + "private/Corvanta_Opcwatch.pem",
                                           "--pki",
                                           serverPki};
    std::vector<std::string> companionServer = testServer;
    companionServer.insert(companionServer.end(), {"--models", "companion"});

    Start watch, test, companion;
    if (!measure("opcwatch (DI, PLCopen, GKT)", opcwatch, port, watch) ||
        !measure("test server (test namespace)", testServer, serverPort, test) ||
        !measure("test server (DI, PLCopen)", companionServer, serverPort, companion))
        return 1;
    std::printf("opcwatch / test server:            time %.2f, memory %.2f\n",
                watch.listeningMs / test.listeningMs, watch.residentMb / test.residentMb);
    std::printf("opcwatch / test server (DI, PLCopen): time %.2f, memory %.2f\n",
                watch.listeningMs / companion.listeningMs, watch.residentMb / companion.residentMb);
    std::printf("opcwatch / reference figure:       time %.2f, memory %.2f\n", watch.listeningMs / 43.0,
                watch.residentMb / 17.0);
    return 0;
}
