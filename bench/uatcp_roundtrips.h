// Round trips of clients against a server process, each client on a thread of its own and all at
// once, with what they cost the server counted from outside: its CPU time, system calls and
// context switches per round trip; and the stack-only server they are measured against. Shared by
// the transport's and the server's benchmarks.
#pragma once
#include "uatcp_process_counters.h"
#include "uatcp_test_server.h"

#include <opcua.h>
#include <opcua_crypto.h>

#include <atomic>
#include <barrier>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace uatcp::bench
{
// The stack set up for a benchmark's clients with its default configuration, for its lifetime.
class ClientStack
{
public:
    ClientStack()
    {
        OpcUa_P_Initialize(&m_platform);
        OpcUa_ProxyStubConfiguration configuration;
        OpcUa_ProxyStub_GetConfiguration(&configuration);
        OpcUa_ProxyStub_Initialize(m_platform, &configuration);
    }
    ~ClientStack()
    {
        OpcUa_ProxyStub_Clear();
        OpcUa_P_Clean(&m_platform);
    }
    ClientStack(const ClientStack&) = delete;
    ClientStack& operator=(const ClientStack&) = delete;

private:
    OpcUa_Handle m_platform = nullptr;
};

// The stack-only test server as the process of a benchmark: a None and a Basic256 endpoint with
// the certificate, its DER key and the folder of trusted client certificates, the stack's worker
// pool as asked, until its input ends. Its first output line is its URL.
inline int serveStackOnly(const std::string& deviceRoot, const std::string& certificate,
                          const std::string& privateKey, const std::string& trustedFolder, bool pool)
{
    const auto readBytes = [](const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    setenv("DEVICE_ROOT", deviceRoot.c_str(), 1);
    test::TestServer server;
    OpcUa_ProxyStubConfiguration configuration;
    OpcUa_ProxyStub_GetConfiguration(&configuration);
    configuration.bSecureListener_ThreadPool_Enabled = pool ? OpcUa_True : OpcUa_False;
    if (OpcUa_IsBad(OpcUa_ProxyStub_ReInitialize(&configuration)))
        return 1;
    test::TestSecurity security;
    security.certificate = readBytes(certificate);
    security.privateKey = readBytes(privateKey);
    security.trustedFolder = trustedFolder;
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

struct RoundTripCost
{
    double roundTripsPerSecond = 0;
    double cpuUs = 0;
    double syscalls = -1; // -1 when they could not be counted
    double waits = 0;     // voluntary context switches: a thread went to sleep
    double preemptions = 0;
    bool ok = false;
};

// Calls on every client at once: a warm-up, then `count` calls each between the two points where
// the counters are taken.
template <typename Client, typename Call> class RoundTripRun
{
public:
    RoundTripRun(std::vector<std::unique_ptr<Client>>& clients, long warmUp, long count, Call call)
        : m_sync(static_cast<std::ptrdiff_t>(clients.size() + 1))
    {
        for (auto& client : clients)
            m_threads.emplace_back(
                [this, &client, warmUp, count, call]
                {
                    for (long i = 0; i < warmUp; ++i)
                        m_failed += !call(*client);
                    m_sync.arrive_and_wait(); // warm
                    m_sync.arrive_and_wait(); // counters taken
                    for (long i = 0; i < count; ++i)
                        m_failed += !call(*client);
                    m_sync.arrive_and_wait(); // done
                });
    }
    ~RoundTripRun()
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

// `each` calls on every client of the server process; not ok when a call failed. perf counts the
// system calls in the timed run; strace slows every call, so it counts a shorter run of its own.
template <typename Client, typename Call>
RoundTripCost measureRoundTrips(std::vector<std::unique_ptr<Client>>& clients, long each, pid_t server,
                                SyscallCounter::Tool tool, Call call)
{
    RoundTripCost r;
    const long total = each * static_cast<long>(clients.size());
    SyscallCounter counter(tool, server);
    const bool perf = tool == SyscallCounter::Tool::Perf && counter.attach();
    ProcessCounters before, after;
    std::chrono::steady_clock::time_point start, end;
    {
        RoundTripRun<Client, Call> run(clients, std::max(50L, each / 10), each, call);
        run.waitWarm();
        const bool counting = perf && counter.start();
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
        const long traced = std::max(1L, each / 10);
        SyscallCounter strace(tool, server);
        if (strace.start())
        {
            RoundTripRun<Client, Call> run(clients, 0, traced, call);
            run.waitWarm();
            run.go();
            run.waitDone();
            r.syscalls = static_cast<double>(strace.stop()) / static_cast<double>(traced * clients.size());
        }
    }
    const double seconds = std::chrono::duration<double>(end - start).count();
    r.roundTripsPerSecond = static_cast<double>(total) / seconds;
    r.cpuUs = static_cast<double>(after.cpuNs - before.cpuNs) / 1000.0 / static_cast<double>(total);
    r.waits = static_cast<double>(after.waits - before.waits) / static_cast<double>(total);
    r.preemptions = static_cast<double>(after.preemptions - before.preemptions) / static_cast<double>(total);
    r.ok = true;
    return r;
}
} // namespace uatcp::bench
