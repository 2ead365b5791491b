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
#include "uatcp_session_client.h"
#include "uatcp_test_server.h"

#include <opcua.h>
#include <opcua_crypto.h>

#include <atomic>
#include <barrier>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
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

std::vector<uint8_t> readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ---------------------------------------------------------------- server

// The server process: the test server with a None and a Basic256 endpoint, the
// thread pool as asked, until its input ends. Its first output line is the URL.
int serve(const std::string& folder, bool pool)
{
    setenv("DEVICE_ROOT", folder.c_str(), 1);
    TestServer server;
    OpcUa_ProxyStubConfiguration configuration;
    OpcUa_ProxyStub_GetConfiguration(&configuration);
    configuration.bSecureListener_ThreadPool_Enabled = pool ? OpcUa_True : OpcUa_False;
    if (OpcUa_IsBad(OpcUa_ProxyStub_ReInitialize(&configuration)))
        return 1;
    TestSecurity security;
    security.certificate = readBytes(folder + "/server.der");
    security.privateKey = readBytes(folder + "/server.key");
    security.trustedFolder = folder + "/trusted";
    security.policies = {
        {OpcUa_SecurityPolicy_Basic256,
         OPCUA_ENDPOINT_MESSAGESECURITYMODE_SIGN | OPCUA_ENDPOINT_MESSAGESECURITYMODE_SIGNANDENCRYPT}};
    if (!server.start("127.0.0.1", nullptr, &security))
        return 1;
    std::cout << server.url() << std::endl;
    for (std::string line; std::getline(std::cin, line);)
    {
    }
    server.stop();
    return 0;
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

struct Result
{
    double roundTripsPerSecond = 0;
    double cpuUs = 0;
    double syscalls = -1;
    double waits = 0;
    double preemptions = 0;
    bool ok = false;
};

// Reads on every connection at once: warm-up, then `count` reads each between
// the two points where the counters are taken.
class ReadRun
{
public:
    ReadRun(std::vector<std::unique_ptr<SessionClient>>& clients, long warmUp, long count)
        : m_sync(static_cast<std::ptrdiff_t>(clients.size() + 1))
    {
        for (auto& client : clients)
            m_threads.emplace_back(
                [this, &client, warmUp, count]
                {
                    for (long i = 0; i < warmUp; ++i)
                        m_failed += !client->readDouble();
                    m_sync.arrive_and_wait(); // warm
                    m_sync.arrive_and_wait(); // counters taken
                    for (long i = 0; i < count; ++i)
                        m_failed += !client->readDouble();
                    m_sync.arrive_and_wait(); // done
                });
    }
    ~ReadRun()
    {
        for (auto& t : m_threads)
            t.join();
    }
    void waitWarm() { m_sync.arrive_and_wait(); }
    void go() { m_sync.arrive_and_wait(); }
    void waitDone() { m_sync.arrive_and_wait(); }
    bool failed() const { return m_failed > 0; }

private:
    std::barrier<> m_sync;
    std::atomic<long> m_failed{0};
    std::vector<std::thread> m_threads;
};

Result measure(const std::string& url, const Policy& policy, int connections, long requests, pid_t server,
               SyscallCounter::Tool tool, Credentials& credentials)
{
    Result r;
    std::vector<std::unique_ptr<SessionClient>> clients;
    for (int i = 0; i < connections; ++i)
    {
        clients.push_back(std::make_unique<SessionClient>());
        if (OpcUa_IsBad(clients.back()->connect(url, policy.uri, policy.mode, &credentials.own)) ||
            !clients.back()->createSession())
            return r;
    }
    long each = std::max(1L, requests / connections);
    long total = each * connections;
    // perf counts in the timed run; strace slows every call, so it counts a shorter run of its own.
    SyscallCounter counter(tool, server);
    bool perf = tool == SyscallCounter::Tool::Perf && counter.attach();
    bool counting = false;
    ProcessCounters before, after;
    std::chrono::steady_clock::time_point start, end;
    {
        ReadRun run(clients, std::max(50L, each / 10), each);
        run.waitWarm();
        counting = perf && counter.start();
        before = ProcessCounters::of(server);
        start = std::chrono::steady_clock::now();
        run.go();
        run.waitDone();
        end = std::chrono::steady_clock::now();
        after = ProcessCounters::of(server);
        if (counting)
            r.syscalls = static_cast<double>(counter.stop()) / static_cast<double>(total);
        if (run.failed())
            return r;
    }
    if (tool == SyscallCounter::Tool::Strace)
    {
        long traced = std::max(1L, each / 10);
        SyscallCounter strace(tool, server);
        if (strace.start())
        {
            ReadRun run(clients, 0, traced);
            run.waitWarm();
            run.go();
            run.waitDone();
            r.syscalls = static_cast<double>(strace.stop()) / static_cast<double>(traced * connections);
        }
    }
    double seconds = std::chrono::duration<double>(end - start).count();
    r.roundTripsPerSecond = static_cast<double>(total) / seconds;
    r.cpuUs = static_cast<double>(after.cpuNs - before.cpuNs) / 1000.0 / static_cast<double>(total);
    r.waits = static_cast<double>(after.waits - before.waits) / static_cast<double>(total);
    r.preemptions = static_cast<double>(after.preemptions - before.preemptions) / static_cast<double>(total);
    r.ok = true;
    return r;
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
        return serve(argv[2], std::string(argv[3]) == "on");
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
    OpcUa_Handle platform = nullptr;
    OpcUa_P_Initialize(&platform);
    OpcUa_ProxyStubConfiguration configuration;
    OpcUa_ProxyStub_GetConfiguration(&configuration);
    OpcUa_ProxyStub_Initialize(platform, &configuration);
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
    OpcUa_ProxyStub_Clear();
    OpcUa_P_Clean(&platform);
    return failures == 0 ? 0 : 1;
}
