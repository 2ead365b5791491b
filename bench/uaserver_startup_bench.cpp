// The server manager's start-up and shut-down with namespace 0 built in code, the resident memory
// that start-up adds (in all and per node), and a browse of every node of namespace 0 from Root.
// The reference figure for a server with the full standard namespace 0 is 43 ms and 17 MB.
#include "fake_serverconfig.h"

#include <browsecontext.h>
#include <nodemanagerroot.h>
#include <servermanager.h>
#include <servicecontext.h>

#include <benchmark/benchmark.h>

#include <fstream>
#include <malloc.h>
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
} // namespace

BENCHMARK_MAIN();
