// Small Reads through the whole server (uaserver_testserver) against the stack-only test server of
// the transport benchmark, each in a process of its own over loopback: a Read of one Double with
// 1 and 16 connections (a session each), over None and over Basic256 SignAndEncrypt, with every
// request run on the thread that received it (pool off, the application's way) and on the stack's
// worker pool (pool on). For each it prints round trips per second and what a Read cost the
// server: its CPU time, system calls and voluntary context switches (a thread went to sleep), with
// the ratios whole server / stack-only; the figures are medians of rounds that alternate between
// the two servers. Then Reads of 1000 values, a browse of all of namespace 0 over the wire against
// the same walk in process, and the Read latency of one client while others pipeline Reads of 900
// values and never read their answers.
//
//   uaserver_read_bench [--rounds N] [--requests N] [--syscalls perf|strace|none] [--pools off,on]
//                       [--policies None,Basic256] [--connections 1,16]
//                       (--rounds 0: the rows after the table alone)
//   uaserver_read_bench --browse                       (the Browse row alone)
//   uaserver_read_bench --serve-stack FOLDER on|off   (the stack-only server; used by the benchmark)
#include "stackclient.h"
#include "uaserver_wire.h"

#include "uatcp_process_counters.h"
#include "uatcp_roundtrips.h"
#include "uatcp_session_client.h"
#include "uatcp_test_server.h"

#include <opcua_crypto.h>
#include <opcua_proxystub.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace uaserver::wire;
using uaservertest::StackClient;
using uatcp::bench::ChildProcess;
using uatcp::bench::RoundTripCost;
using uatcp::bench::SyscallCounter;
using Clock = std::chrono::steady_clock;

namespace
{
struct Policy
{
    const char* name;
    const char* uri;
    OpcUa_MessageSecurityMode mode;
};
const Policy kPolicies[] = {
    {"None", uatcp::test::kPolicyNoneUri, OpcUa_MessageSecurityMode_None},
    {"Basic256", OpcUa_SecurityPolicy_Basic256, OpcUa_MessageSecurityMode_SignAndEncrypt},
};
const char* const kPools[] = {"off", "on"};
// The stack's worker pool of the whole server when it is on, as many threads as the stack-only
// server's pool may have.
constexpr int kPoolThreads = 16;

// The two servers of one pool setting, each in a process of its own.
struct Servers
{
    ChildProcess stackOnly;
    std::string stackUrl;
    TestServerProcess whole;

    Servers(const std::string& self, const SecuredClientFiles& files, bool pool)
        : stackOnly({self, "--serve-stack", files.folder(), pool ? "on" : "off"}),
          whole(serverArguments(files, pool), files.serverEnvironment())
    {
        stackUrl = stackOnly.readLine();
    }
    static std::vector<std::string> serverArguments(const SecuredClientFiles& files, bool pool)
    {
        std::vector<std::string> arguments = files.serverOptions();
        for (const char* option : {"--variables", "1000", "--stack-pool", pool ? "16" : "0"})
            arguments.push_back(option);
        return arguments;
    }
    bool up() const { return !stackUrl.empty() && !whole.url().empty(); }
};

// Activated sessions on connections of our stack's client over the policy; none when one failed.
std::vector<std::unique_ptr<StackClient>> sessions(const std::string& url, const Policy& policy,
                                                   int connections,
                                                   const uatcp::test::ClientCredentials& credentials)
{
    std::vector<std::unique_ptr<StackClient>> clients;
    for (int i = 0; i < connections; ++i)
    {
        clients.push_back(std::make_unique<StackClient>());
        if (OpcUa_IsBad(clients.back()->connect(url, policy.uri, policy.mode, credentials.certificate,
                                                credentials.privateKey, credentials.serverCertificate)) ||
            OpcUa_IsBad(clients.back()->createSession()) || OpcUa_IsBad(clients.back()->activateSession()))
            return {};
    }
    return clients;
}

// Reads of the one Double: the stack-only server's, or the first of the whole server's variables.
RoundTripCost measureSmallReads(const std::string& url, pid_t server, bool whole, const Policy& policy,
                                int connections, long requests, SyscallCounter::Tool tool,
                                const uatcp::test::ClientCredentials& credentials)
{
    auto clients = sessions(url, policy, connections, credentials);
    if (clients.empty())
        return {};
    for (auto& client : clients)
    {
        if (whole)
            client->session().readDoubleOf(2, benchmarkVariables(1)[0].id, 0.0);
    }
    return uatcp::bench::measureRoundTrips(clients, std::max(1L, requests / connections), server, tool,
                                           [](StackClient& client) { return client.session().readDouble(); });
}

// Reads of 1000 values: 1000 times the stack-only server's Double, the whole server's first 1000
// variables.
RoundTripCost measureLargeReads(const std::string& url, pid_t server, bool whole, int connections,
                                long requests)
{
    const std::vector<NodeNumber> nodes =
        whole ? benchmarkVariables(1000) : std::vector<NodeNumber>(1000, {1, uatcp::test::kDoubleNode});
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < connections; ++i)
    {
        clients.push_back(std::make_unique<Client>());
        if (!clients.back()->open(url))
            return {};
    }
    return uatcp::bench::measureRoundTrips(
        clients, std::max(1L, requests / connections), server, SyscallCounter::Tool::None,
        [&](Client& client) { return client.readValues(nodes, 13) == 1000; });
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The medians of the rounds of one row, each figure on its own.
struct Medians
{
    std::vector<RoundTripCost> rounds;
    bool ok() const
    {
        return !rounds.empty() &&
               std::all_of(rounds.begin(), rounds.end(), [](const RoundTripCost& r) { return r.ok; });
    }
    double of(double RoundTripCost::*figure) const
    {
        std::vector<double> values;
        for (const RoundTripCost& r : rounds)
            values.push_back(r.*figure);
        return median(values);
    }
};

double ratio(double whole, double stack)
{
    return stack > 0 ? whole / stack : 0.0;
}

// A Browse of 3,000 descriptions of Objects, both directions, all references, every field: the
// server's CPU per node description, and the references of one answer (0 when a Browse failed).
double browseCpuUsPerNode(const std::string& url, pid_t server, int& references)
{
    constexpr OpcUa_Int32 kNodes = 3000;
    constexpr int kBrowses = 5;
    Client client;
    references = 0;
    if (!client.open(url))
        return 0;
    // One first so that whatever the server makes once is made.
    if (client.browseEverything({0, 85}, kNodes) <= 0)
        return 0;
    const auto before = uatcp::bench::ProcessCounters::of(server);
    for (int i = 0; i < kBrowses; ++i)
        references = client.browseEverything({0, 85}, kNodes);
    const auto after = uatcp::bench::ProcessCounters::of(server);
    if (references <= 0)
        return 0;
    return static_cast<double>(after.cpuNs - before.cpuNs) / 1000.0 / (kNodes * kBrowses);
}

bool browseRow(const TestServerProcess& server)
{
    int references = 0;
    const double browseUs =
        server.url().empty() ? 0 : browseCpuUsPerNode(server.url(), server.pid(), references);
    std::printf(
        "browse of 3000 descriptions of Objects, both directions, all references: %.1f us CPU per node "
        "(goal under 20), %d references per answer\n",
        browseUs, references);
    return browseUs > 0;
}

// Milliseconds per walk of namespace 0, the median of rounds (a walk is some fifty round trips, each
// of which a loaded machine may hold up); the node count through reached.
template <typename Walk> double msPerWalk(int rounds, size_t& reached, Walk walk)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i)
    {
        int continuations = 0;
        const auto start = Clock::now();
        reached = walk(continuations).size();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return median(times);
}

void namespaceZeroWalk(const TestServerProcess& server)
{
    Client client;
    if (!client.open(server.url()))
        return;
    InProcessServer inProcess;
    size_t wireNodes = 0, localNodes = 0;
    constexpr int kWalks = 21;
    const auto before = uatcp::bench::ProcessCounters::of(server.pid());
    const double wire = msPerWalk(
        kWalks, wireNodes, [&](int& continuations) { return client.walkNamespaceZero(3, continuations); });
    const auto after = uatcp::bench::ProcessCounters::of(server.pid());
    const double local =
        msPerWalk(kWalks, localNodes,
                  [&](int& continuations) { return inProcess.walkNamespaceZero(3, continuations); });
    std::printf(
        "namespace 0 walk, 3 references per answer (median of %d): wire %.2f ms (%zu nodes, server CPU "
        "%.2f ms), in process %.2f ms (%zu nodes), ratio %.1f\n",
        kWalks, wire, wireNodes, static_cast<double>(after.cpuNs - before.cpuNs) / 1e6 / kWalks, local,
        localNodes, local > 0 ? wire / local : 0.0);
}

// The latencies in milliseconds of one client's Reads over the time, while `stalled` clients
// pipeline Reads of 900 values and never read the answers.
std::vector<double> readLatencies(const TestServerProcess& server, int stalled, double seconds)
{
    const std::vector<NodeNumber> nodes = benchmarkVariables(900);
    std::vector<std::unique_ptr<NonReadingClient>> pipelines;
    for (int c = 0; c < stalled; ++c)
    {
        pipelines.push_back(std::make_unique<NonReadingClient>());
        if (!pipelines.back()->open(static_cast<uint16_t>(server.port())))
            return {};
    }
    Client reader;
    if (!reader.open(server.url()))
        return {};
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (auto& pipeline : pipelines)
        threads.emplace_back(
            [&, p = pipeline.get()]
            {
                while (!stop && p->sendRead(nodes))
                {
                }
            });
    std::vector<double> latencies;
    const auto until = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < until)
    {
        const auto start = Clock::now();
        if (reader.readValues({nodes[0]}, 13) != 1)
            latencies.push_back(1e9);
        else
            latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    stop = true;
    pipelines.clear(); // a pipeline still sending fails once its socket is gone
    for (std::thread& thread : threads)
        thread.join();
    return latencies;
}

void slowConsumers(const TestServerProcess& server, const char* pool, double seconds)
{
    for (int stalled : {0, 4})
    {
        std::vector<double> latencies = readLatencies(server, stalled, seconds);
        if (latencies.empty())
        {
            std::printf("slow consumers (pool %s): the clients did not start\n", pool);
            continue;
        }
        std::printf("slow consumers (pool %s): %d clients pipelining Reads of 900 values, never reading; "
                    "another client's Read: median %.2f ms, max %.2f ms over %zu reads\n",
                    pool, stalled, median(latencies), *std::max_element(latencies.begin(), latencies.end()),
                    latencies.size());
    }
}

// Rows of the whole server alone, after the read table. A further row takes the server's URL and
// joins them here.
void serverRows(const TestServerProcess& server, const char* pool, double seconds)
{
    if (std::strcmp(pool, "off") == 0)
    {
        namespaceZeroWalk(server);
        browseRow(server);
    }
    slowConsumers(server, pool, seconds);
}

struct Options
{
    int rounds = 3;
    long requests = 10000; // small Reads a configuration, spread over its connections
    std::string syscalls;
    std::vector<std::string> pools{"off", "on"};
    std::vector<std::string> policies{"None", "Basic256"};
    std::vector<int> connections{1, 16};
};

std::vector<std::string> split(const std::string& list)
{
    std::vector<std::string> items;
    for (size_t start = 0; start <= list.size();)
    {
        const size_t comma = std::min(list.find(',', start), list.size());
        items.push_back(list.substr(start, comma - start));
        start = comma + 1;
    }
    return items;
}

bool listed(const std::vector<std::string>& list, const char* item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}
} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--serve-stack") == 0)
    {
        const std::string folder = argv[2];
        return uatcp::bench::serveStackOnly(folder, folder + "/server.der", folder + "/server_key.der",
                                            folder + "/pki/trusted", std::strcmp(argv[3], "on") == 0);
    }
    const bool browseOnly = argc == 2 && std::strcmp(argv[1], "--browse") == 0;
    Options options;
    for (int i = browseOnly ? argc : 1; i + 1 < argc; i += 2)
    {
        if (std::strcmp(argv[i], "--rounds") == 0)
            options.rounds = std::max(0, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--requests") == 0)
            options.requests = std::max(1L, std::atol(argv[i + 1]));
        else if (std::strcmp(argv[i], "--syscalls") == 0)
            options.syscalls = argv[i + 1];
        else if (std::strcmp(argv[i], "--pools") == 0)
            options.pools = split(argv[i + 1]);
        else if (std::strcmp(argv[i], "--policies") == 0)
            options.policies = split(argv[i + 1]);
        else if (std::strcmp(argv[i], "--connections") == 0)
        {
            options.connections.clear();
            for (const std::string& n : split(argv[i + 1]))
                options.connections.push_back(std::max(1, std::atoi(n.c_str())));
        }
        else
        {
            std::fprintf(stderr, "usage: uaserver_read_bench [--rounds N] [--requests N] "
                                 "[--syscalls perf|strace|none] [--pools off,on] [--policies None,Basic256] "
                                 "[--connections 1,16]\n");
            return 2;
        }
    }
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof(self) - 1) <= 0)
        return 1;
    const SyscallCounter::Tool tool =
        options.syscalls == "none" ? SyscallCounter::Tool::None : SyscallCounter::available(options.syscalls);
    const uatcp::bench::ClientStack clientStack;
    SecuredClientFiles files;
    if (!files.ready())
        return 1;
    const uatcp::test::ClientCredentials credentials = files.stackClientCredentials();
    if (browseOnly)
    {
        TestServerProcess server(Servers::serverArguments(files, false), files.serverEnvironment());
        return browseRow(server) ? 0 : 1;
    }

    // Row key: pool, policy, connections; small Reads, then Reads of 1000 values.
    std::map<std::string, std::pair<Medians, Medians>> rows;
    std::vector<std::string> order;
    auto row = [&](const std::string& key) -> std::pair<Medians, Medians>&
    {
        if (rows.find(key) == rows.end())
            order.push_back(key);
        return rows[key];
    };
    int failures = 0;
    for (int round = 0; round < options.rounds; ++round)
    {
        std::fprintf(stderr, "round %d of %d\n", round + 1, options.rounds);
        for (const char* pool : kPools)
        {
            if (!listed(options.pools, pool))
                continue;
            Servers servers(self, files, std::strcmp(pool, "on") == 0);
            if (!servers.up())
            {
                std::fprintf(stderr, "a server (pool %s) did not start\n", pool);
                return 1;
            }
            for (const Policy& policy : kPolicies)
                for (int connections : options.connections)
                {
                    if (!listed(options.policies, policy.name))
                        continue;
                    char key[64];
                    std::snprintf(key, sizeof key, "%-4s %-9s %5d", pool, policy.name, connections);
                    auto& [stack, whole] = row(key);
                    stack.rounds.push_back(measureSmallReads(servers.stackUrl, servers.stackOnly.pid(), false,
                                                             policy, connections, options.requests, tool,
                                                             credentials));
                    whole.rounds.push_back(measureSmallReads(servers.whole.url(), servers.whole.pid(), true,
                                                             policy, connections, options.requests, tool,
                                                             credentials));
                }
            if (std::strcmp(pool, "off") == 0 && listed(options.policies, "None"))
                for (int connections : options.connections)
                {
                    char key[64];
                    std::snprintf(key, sizeof key, "%-4s %-9s %5d 1000 values", pool, "None", connections);
                    auto& [stack, whole] = row(key);
                    stack.rounds.push_back(measureLargeReads(servers.stackUrl, servers.stackOnly.pid(), false,
                                                             connections, options.requests / 20));
                    whole.rounds.push_back(measureLargeReads(servers.whole.url(), servers.whole.pid(), true,
                                                             connections, options.requests / 20));
                }
            servers.stackOnly.finish();
        }
    }

    if (options.rounds > 0)
    {
        std::printf("\nReads of one Double (and of 1000 values) through the whole server and the stack-only "
                    "server, medians of %d rounds; system calls counted with %s\n",
                    options.rounds, SyscallCounter::name(tool));
        std::printf("%-20s %17s %6s %17s %6s %15s %15s\n", "pool policy  conns", "round trips/s s|W", "ratio",
                    "CPU us/read s|W", "ratio", "syscalls s|W", "waits s|W");
        for (const std::string& key : order)
        {
            const auto& [stack, whole] = rows[key];
            const bool ok = stack.ok() && whole.ok();
            failures += !ok;
            const double stackRate = stack.of(&RoundTripCost::roundTripsPerSecond);
            const double wholeRate = whole.of(&RoundTripCost::roundTripsPerSecond);
            const double stackCpu = stack.of(&RoundTripCost::cpuUs);
            const double wholeCpu = whole.of(&RoundTripCost::cpuUs);
            std::printf("%-20s %8.0f|%8.0f %6.2f %8.1f|%8.1f %6.2f %7.2f|%7.2f %7.2f|%7.2f%s\n", key.c_str(),
                        stackRate, wholeRate, ratio(wholeRate, stackRate), stackCpu, wholeCpu,
                        ratio(wholeCpu, stackCpu), stack.of(&RoundTripCost::syscalls),
                        whole.of(&RoundTripCost::syscalls), stack.of(&RoundTripCost::waits),
                        whole.of(&RoundTripCost::waits), ok ? "" : "  FAILED");
        }
    }
    std::printf("\n");
    for (const char* pool : kPools)
    {
        if (!listed(options.pools, pool))
            continue;
        TestServerProcess server(Servers::serverArguments(files, std::strcmp(pool, "on") == 0),
                                 files.serverEnvironment());
        if (!server.url().empty())
            serverRows(server, pool, 3.0);
    }
    return failures == 0 ? 0 : 1;
}
