// The server manager's start-up and shut-down with namespace 0 built in code, the resident memory
// that start-up adds (in all and per node), and a browse of every node of namespace 0 from Root.
// The reference figure for a server with the full standard namespace 0 is 43 ms and 17 MB.
// The whole test server program as a process: exec to listening and to the first GetEndpoints
// answer, its memory idle and with ten sessions, and SIGTERM to exit; reference figures 43 ms and
// 17 MB (full namespace 0) and 1.25 s and 165 MB (namespace 0 and a companion model).
#include "fake_serverconfig.h"
#include "stackclient.h"
#include "testserver_process.h"

#include <browsecontext.h>
#include <nodemanagerroot.h>
#include <servermanager.h>
#include <servicecontext.h>

#include <benchmark/benchmark.h>

#include <uaplatformlayer.h>

#include <chrono>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <sstream>
#include <string>
#include <set>
#include <unistd.h>
#include <vector>

namespace
{
using uaserver::testing::FakeServerConfig;

// Heap bytes in use: resident pages stay with the process after a shut-down, so they would hide a
// second start-up.
double heapBytes()
{
    return static_cast<double>(mallinfo2().uordblks);
}

double residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

// Every node reached from Root over forward hierarchical references; the number of browses made.
size_t browseAll(NodeManagerRoot& root, size_t& nodes)
{
    std::vector<OpcUa_UInt32> queue{84};
    std::set<OpcUa_UInt32> seen{84};
    for (size_t next = 0; next < queue.size(); ++next)
    {
        OpcUa_BrowseDescription description;
        OpcUa_BrowseDescription_Initialize(&description);
        UaNodeId(queue[next], 0).copyTo(&description.NodeId);
        UaNodeId(33, 0).copyTo(&description.ReferenceTypeId);
        description.IncludeSubtypes = OpcUa_True;
        description.ResultMask = OpcUa_BrowseResultMask_All;
        UaReferenceDescriptionArray references;
        {
            BrowseContext context(nullptr, description, 0);
            root.browse(ServiceContext(), context, references);
        }
        OpcUa_BrowseDescription_Clear(&description);
        for (OpcUa_UInt32 i = 0; i < references.length(); ++i)
        {
            const UaNodeId target(references[i].NodeId.NodeId);
            if (target.namespaceIndex() == 0 && seen.insert(target.identifierNumeric()).second)
                queue.push_back(target.identifierNumeric());
        }
    }
    nodes = seen.size();
    return queue.size();
}

void BM_StartUpAndShutDown(benchmark::State& state)
{
    for (auto _ : state)
    {
        FakeServerConfig config;
        ServerManager serverManager;
        if (serverManager.startUp(&config).isBad())
            state.SkipWithError("start-up failed");
        serverManager.shutDown();
    }
}
void BM_ResidentMemoryOfStartUp(benchmark::State& state)
{
    double added = 0;
    double resident = 0;
    size_t nodes = 0;
    for (auto _ : state)
    {
        FakeServerConfig config;
        ServerManager serverManager;
        const double heapBefore = heapBytes();
        const double residentBefore = residentBytes();
        serverManager.startUp(&config);
        added = heapBytes() - heapBefore;
        resident = residentBytes() - residentBefore;
        browseAll(*NodeManagerRoot::instance(), nodes);
        serverManager.shutDown();
    }
    state.counters["heap_MB"] = added / (1024.0 * 1024.0);
    state.counters["resident_MB"] = resident / (1024.0 * 1024.0);
    state.counters["nodes"] = static_cast<double>(nodes);
    state.counters["bytes_per_node"] = nodes ? added / static_cast<double>(nodes) : 0.0;
}
BENCHMARK(BM_ResidentMemoryOfStartUp)->Iterations(1)->Unit(benchmark::kMillisecond);
// After the memory figure, which wants a process that has not started a server yet.
BENCHMARK(BM_StartUpAndShutDown)->Unit(benchmark::kMillisecond);

void BM_BrowseAllOfNamespaceZero(benchmark::State& state)
{
    FakeServerConfig config;
    ServerManager serverManager;
    serverManager.startUp(&config);
    size_t nodes = 0;
    size_t browses = 0;
    for (auto _ : state)
        browses = browseAll(*NodeManagerRoot::instance(), nodes);
    state.counters["nodes"] = static_cast<double>(nodes);
    state.counters["browses"] = static_cast<double>(browses);
}
BENCHMARK(BM_BrowseAllOfNamespaceZero)->Unit(benchmark::kMicrosecond);

// Resident bytes of another process.
double residentBytesOf(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) * 1024.0;
    return 0;
}

double millisecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void BM_TestServerProcess(benchmark::State& state)
{
    UaPlatformLayer::init();
    double listening = 0, firstAnswer = 0, idle = 0, tenSessions = 0, exit = 0;
    for (auto _ : state)
    {
        const auto start = std::chrono::steady_clock::now();
        uaservertest::TestServerProcess server({});
        if (server.url().empty())
        {
            state.SkipWithError("the test server did not start");
            break;
        }
        listening = millisecondsSince(start);
        {
            uaservertest::StackClient client;
            client.connect(server.url());
            if (client.getEndpoints(server.url()) != 1)
                state.SkipWithError("GetEndpoints failed");
            firstAnswer = millisecondsSince(start);
        }
        idle = residentBytesOf(server.pid());
        std::vector<std::unique_ptr<uaservertest::StackClient>> sessions;
        for (int i = 0; i < 10; ++i)
        {
            sessions.push_back(std::make_unique<uaservertest::StackClient>());
            sessions.back()->connect(server.url());
            sessions.back()->createSession();
            sessions.back()->activateSession();
        }
        tenSessions = residentBytesOf(server.pid());
        for (auto& session : sessions)
        {
            session->closeSession();
            session->disconnect();
        }
        const auto stopping = std::chrono::steady_clock::now();
        if (server.stop() != 0)
            state.SkipWithError("the test server did not exit with 0");
        exit = millisecondsSince(stopping);
    }
    const double mb = 1024.0 * 1024.0;
    state.counters["listening_ms"] = listening;
    state.counters["first_answer_ms"] = firstAnswer;
    state.counters["idle_MB"] = idle / mb;
    state.counters["ten_sessions_MB"] = tenSessions / mb;
    state.counters["sigterm_exit_ms"] = exit;
    state.counters["answer_ratio_43ms"] = firstAnswer / 43.0;
    state.counters["answer_ratio_1250ms"] = firstAnswer / 1250.0;
    state.counters["memory_ratio_17MB"] = idle / mb / 17.0;
    state.counters["memory_ratio_165MB"] = idle / mb / 165.0;
    UaPlatformLayer::cleanup();
}
BENCHMARK(BM_TestServerProcess)->Iterations(1)->Unit(benchmark::kMillisecond);
} // namespace

BENCHMARK_MAIN();
