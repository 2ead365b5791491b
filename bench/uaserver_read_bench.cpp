// Reads through the whole server against reads of the stack-only test server, over loopback and
// None, each server in a process of its own: a Read of 1000 nodes and a Read of one value, with 1
// and 16 connections (a session each); then a browse of all of namespace 0 over the wire against
// the same walk in process. Prints reads and values per second and the server/stack-only ratios,
// and what a read cost the whole server: its CPU time and how often its threads went to sleep (lock
// waits among them), which a loaded machine changes far less than the rates.
//
//   uaserver_read_bench [--seconds S]
//   uaserver_read_bench --serve-stack      (the stack-only server; used by the benchmark itself)
#include "uaserver_wire.h"

#include "uatcp_process_counters.h"
#include "uatcp_test_server.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace uaserver::wire;
using Clock = std::chrono::steady_clock;

namespace
{
// The stack-only server until it is terminated; its first line is its URL.
int serveStackOnly()
{
    uatcp::test::TestServer server;
    if (!server.start())
        return 1;
    std::printf("%s\n", server.url().c_str());
    std::fflush(stdout);
    for (;;)
        pause();
}

struct Rate
{
    double reads = 0;
    double values = 0;
    double cpuUsPerRead = 0;
    double waitsPerRead = 0;
};

// Reads of nodes on every connection for the given time; reads and values per second and the costs
// of a read in the server process, 0 when a read failed.
Rate measureReads(const std::string& url, pid_t server, int connections, const std::vector<NodeNumber>& nodes,
                  double seconds)
{
    using uatcp::bench::ProcessCounters;
    std::vector<std::unique_ptr<Client>> clients;
    for (int c = 0; c < connections; ++c)
    {
        clients.push_back(std::make_unique<Client>());
        if (!clients.back()->open(url))
            return {};
    }
    std::atomic<long> reads{0};
    std::atomic<bool> failed{false};
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    const auto start = Clock::now();
    const ProcessCounters before = ProcessCounters::of(server);
    std::vector<std::thread> threads;
    for (auto& client : clients)
        threads.emplace_back(
            [&, c = client.get()]
            {
                while (Clock::now() < end)
                {
                    if (c->readValues(nodes, 13) != static_cast<int>(nodes.size()))
                        failed = true;
                    ++reads;
                }
            });
    for (std::thread& thread : threads)
        thread.join();
    const ProcessCounters after = ProcessCounters::of(server);
    if (failed || reads == 0)
        return {};
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const double count = static_cast<double>(reads);
    return {count / elapsed, count * static_cast<double>(nodes.size()) / elapsed,
            static_cast<double>(after.cpuNs - before.cpuNs) / 1000.0 / count,
            static_cast<double>(after.waits - before.waits) / count};
}

std::vector<NodeNumber> repeated(NodeNumber node, size_t count)
{
    return std::vector<NodeNumber>(count, node);
}

// Milliseconds per walk of namespace 0, averaged over rounds; the node count through reached.
template <typename Walk> double msPerWalk(int rounds, size_t& reached, Walk walk)
{
    const auto start = Clock::now();
    for (int i = 0; i < rounds; ++i)
    {
        int continuations = 0;
        reached = walk(continuations).size();
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / rounds;
}
} // namespace

int main(int argc, char** argv)
{
    double seconds = 3.0;
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--serve-stack") == 0)
            return serveStackOnly();
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
            seconds = std::atof(argv[++i]);
    }

    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof(self) - 1) <= 0)
        return 1;
    // The stack-only server picks its own port; the first URL it prints is where it listens.
    TestServerProcess stackOnly({"--serve-stack"}, {}, self);
    TestServerProcess server({"--variables", "1000"});
    if (stackOnly.url().empty() || server.url().empty())
    {
        std::fprintf(stderr, "a server did not start\n");
        return 1;
    }

    std::printf("%-12s %5s %13s %14s %13s %13s %6s %15s %15s\n", "read", "conns", "stack reads/s",
                "stack values/s", "server reads/s", "server vals/s", "ratio", "CPU us/read s|S",
                "waits/read s|S");
    struct Case
    {
        const char* name;
        std::vector<NodeNumber> stackNodes;
        std::vector<NodeNumber> serverNodes;
    };
    const Case cases[] = {
        {"1000 nodes", repeated({1, uatcp::test::kDoubleNode}, 1000), benchmarkVariables(1000)},
        {"one value", {{1, uatcp::test::kDoubleNode}}, benchmarkVariables(1)},
    };
    for (const Case& c : cases)
        for (int connections : {1, 16})
        {
            const Rate stack =
                measureReads(stackOnly.url(), stackOnly.pid(), connections, c.stackNodes, seconds);
            const Rate ours = measureReads(server.url(), server.pid(), connections, c.serverNodes, seconds);
            std::printf("%-12s %5d %13.0f %14.0f %13.0f %13.0f %6.2f %7.1f|%7.1f %7.2f|%7.2f\n", c.name,
                        connections, stack.reads, stack.values, ours.reads, ours.values,
                        stack.reads > 0 ? ours.reads / stack.reads : 0.0, stack.cpuUsPerRead,
                        ours.cpuUsPerRead, stack.waitsPerRead, ours.waitsPerRead);
        }

    Client client;
    if (!client.open(server.url()))
        return 1;
    InProcessServer inProcess;
    size_t wireNodes = 0, localNodes = 0;
    const double wire = msPerWalk(
        5, wireNodes, [&](int& continuations) { return client.walkNamespaceZero(3, continuations); });
    const double local = msPerWalk(
        20, localNodes, [&](int& continuations) { return inProcess.walkNamespaceZero(3, continuations); });
    std::printf("namespace 0 walk, 3 references per answer: wire %.2f ms (%zu nodes), in process %.2f ms "
                "(%zu nodes), ratio %.1f\n",
                wire, wireNodes, local, localNodes, local > 0 ? wire / local : 0.0);
    return 0;
}
