// Round trips of a small Read (one Double value) over loopback against the
// test server, which runs in a process of its own: with 1 and 16 concurrent
// connections (each with its session), over None and over Basic256
// SignAndEncrypt, with the stack's thread pool on and off. Per request it
// reports the server's CPU time, system calls and context switches, counted
// over a fixed number of requests, and the round trips per second.
//
//   uatcp_roundtrip_bench [--requests N] [--connections 1,16] [--policies none,basic256]
//                         [--pool off,on] [--syscalls perf|strace|none] [--server PROGRAM]
//
// --server runs the server from another build of this program (another
// transport) under the same clients. bench/uatcp_compare.sh reads the table.
#include "test_certificates.h"
#include "uatcp_process_counters.h"
#include "uatcp_roundtrips.h"
#include "uatcp_session_client.h"
#include "uatcp_test_server.h"

#include <opcua.h>
#include <opcua_crypto.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace uatcp::test;
using namespace uatcp::bench;

namespace
{
struct Policy
{
    const char* name;
    const char* uri;
    OpcUa_MessageSecurityMode mode;
};
const Policy kPolicies[] = {
    {"none", kPolicyNoneUri, OpcUa_MessageSecurityMode_None},
    {"basic256", OpcUa_SecurityPolicy_Basic256, OpcUa_MessageSecurityMode_SignAndEncrypt},
};

std::vector<std::string> split(const std::string& list)
{
    std::vector<std::string> items;
    std::stringstream in(list);
    for (std::string item; std::getline(in, item, ',');)
        items.push_back(item);
    return items;
}

// ---------------------------------------------------------------- clients

// The certificates of both sides, the server's trust list (the client's certificate in it).
struct Credentials
{
    sectest::TempFolder folder;
    sectest::Identity server = sectest::makeIdentity("bench server", 2048);
    sectest::Identity client = sectest::makeIdentity("bench client", 2048);
    ClientCredentials own;
    Credentials()
    {
        std::filesystem::create_directories(folder.path() + "/trusted");
        sectest::writeFile(folder.path() + "/trusted/client.der", client.certificate);
        sectest::writeFile(folder.path() + "/server.der", server.certificate);
        sectest::writeFile(folder.path() + "/server.key", server.privateKeyDer());
        own = {client.certificate, client.privateKeyDer(), server.certificate};
    }
};

struct Options
{
    long requests = 20000; // per configuration, spread over its connections
    std::vector<int> connections{1, 16};
    std::vector<std::string> policies{"none", "basic256"};
    std::vector<std::string> pools{"off", "on"};
    std::string syscalls;
    std::string server; // the program that serves; this one by default
};

using Result = RoundTripCost;

Result measure(const std::string& url, const Policy& policy, int connections, long requests, pid_t server,
               SyscallCounter::Tool tool, Credentials& credentials)
{
    std::vector<std::unique_ptr<SessionClient>> clients;
    for (int i = 0; i < connections; ++i)
    {
        clients.push_back(std::make_unique<SessionClient>());
        if (OpcUa_IsBad(clients.back()->connect(url, policy.uri, policy.mode, &credentials.own)) ||
            !clients.back()->createSession())
            return {};
    }
    return measureRoundTrips(clients, std::max(1L, requests / connections), server, tool,
                             [](SessionClient& client) { return client.readDouble(); });
}

bool parse(int argc, char** argv, Options& o)
{
    for (int i = 1; i + 1 < argc; i += 2)
    {
        std::string name = argv[i];
        std::string value = argv[i + 1];
        if (name == "--requests")
            o.requests = std::atol(value.c_str());
        else if (name == "--connections")
        {
            o.connections.clear();
            for (const auto& n : split(value))
                o.connections.push_back(std::atoi(n.c_str()));
        }
        else if (name == "--policies")
            o.policies = split(value);
        else if (name == "--pool")
            o.pools = split(value);
        else if (name == "--syscalls")
            o.syscalls = value;
        else if (name == "--server")
            o.server = value;
        else
            return false;
    }
    return argc % 2 == 1 && o.requests > 0;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--serve")
    {
        const std::string folder = argv[2];
        return serveStackOnly(folder, folder + "/server.der", folder + "/server.key", folder + "/trusted",
                              std::string(argv[3]) == "on");
    }
    Options options;
    if (!parse(argc, argv, options))
    {
        std::cerr
            << "usage: uatcp_roundtrip_bench [--requests N] [--connections 1,16] [--policies none,basic256]"
               " [--pool off,on] [--syscalls perf|strace|none] [--server PROGRAM]\n";
        return 2;
    }
    std::string program =
        options.server.empty() ? std::filesystem::read_symlink("/proc/self/exe").string() : options.server;
    SyscallCounter::Tool tool =
        options.syscalls == "none" ? SyscallCounter::Tool::None : SyscallCounter::available(options.syscalls);
    const uatcp::bench::ClientStack clientStack;
    int failures = 0;
    {
        Credentials credentials;
        std::printf("server %s, %ld requests a configuration, system calls counted with %s\n",
                    program.c_str(), options.requests, SyscallCounter::name(tool));
        // Context switches: a thread went to sleep (waits), or the CPU was taken from it (preempted).
        std::printf("%-5s %-9s %6s %14s %12s %13s %10s %14s\n", "pool", "policy", "conns", "round trips/s",
                    "CPU us/req", "syscalls/req", "waits/req", "preempted/req");
        for (const auto& pool : options.pools)
        {
            ChildProcess server({program, "--serve", credentials.folder.path(), pool});
            std::string url = server.readLine();
            if (url.empty())
            {
                std::fprintf(stderr, "the server (pool %s) did not start\n", pool.c_str());
                ++failures;
                continue;
            }
            for (const auto& name : options.policies)
            {
                for (const Policy& policy : kPolicies)
                {
                    if (name != policy.name)
                        continue;
                    for (int connections : options.connections)
                    {
                        Result r = measure(url, policy, connections, options.requests, server.pid(), tool,
                                           credentials);
                        failures += !r.ok;
                        std::printf("%-5s %-9s %6d %14.0f %12.1f %13.2f %10.2f %14.2f%s\n", pool.c_str(),
                                    policy.name, connections, r.roundTripsPerSecond, r.cpuUs, r.syscalls,
                                    r.waits, r.preemptions, r.ok ? "" : "  FAILED");
                        std::fflush(stdout);
                    }
                }
            }
            server.finish();
        }
    }
    return failures == 0 ? 0 : 1;
}
