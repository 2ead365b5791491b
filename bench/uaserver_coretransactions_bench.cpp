// Reads per second of the Values of 1000 cached variables through the core read transactions (one
// read by NodeIds of all 1000: handles from the root, one transaction of the I/O manager, answers
// collected), against direct getAttributeValue calls on the same nodes. The program ends with the
// ratio of the two rates.
#include "coretransactions.h"
#include "iomanageruanode.h"
#include "nodemanagerlist.h"
#include "nodemanageruanode.h"
#include "servermanager.h"
#include "servicecontext.h"
#include "uavariablecache.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace
{
constexpr OpcUa_UInt32 g_variableCount = 1000;

// Namespace 0 with the variables; it is its own register and its own I/O manager.
class BenchRoot : public NodeManagerUaNode, public IOManagerUaNode, public NodeManagerList
{
public:
    BenchRoot() : NodeManagerUaNode("http://opcfoundation.org/UA/", 10007) {}
    UaStatus afterStartUp() override { return OpcUa_Good; }
    UaStatus beforeShutDown() override { return OpcUa_Good; }
    IOManager* getIOManager(UaNode*, OpcUa_Int32) const override { return const_cast<BenchRoot*>(this); }
    NodeManager* getNodeManagerByNamespace(OpcUa_UInt16) const override { return nullptr; }
    UaStatus addNodeManager(NodeManager*, const UaString&, OpcUa_UInt16& namespaceIndex) override
    {
        namespaceIndex = 0;
        return OpcUa_Good;
    }
    UaStatus removeNodeManager(OpcUa_UInt16) override { return OpcUa_Good; }
};

struct Fixture
{
    Fixture()
    {
        serverManager.setNodeManagerRoot(&root, &root);
        root.startUp(&serverManager);
        nodesToRead.create(g_variableCount);
        for (OpcUa_UInt32 i = 0; i < g_variableCount; ++i)
        {
            const UaNodeId id(100000 + i, 0);
            auto* variable = new UaDataVariableCache("Value", id, UaVariant(static_cast<double>(i)), 3, "en");
            root.addUaNode(variable);
            variables.push_back(variable);
            id.copyTo(&nodesToRead[i].NodeId);
            nodesToRead[i].AttributeId = 13;
        }
    }
    ~Fixture() { root.shutDown(); }

    void readThroughCoreTransactions()
    {
        UaDataValueArray results;
        serverManager.getCoreTransactions()->readByNodeIds(context, 0.0, OpcUa_TimestampsToReturn_Both,
                                                           nodesToRead, results);
        benchmark::DoNotOptimize(results.data());
    }
    void readDirectly()
    {
        for (UaVariable* variable : variables)
        {
            UaDataValue value;
            variable->getAttributeValue(nullptr, 13, value);
            benchmark::DoNotOptimize(value);
        }
    }

    BenchRoot root;
    ServerManager serverManager;
    ServiceContext context;
    UaReadValueIdArray nodesToRead;
    std::vector<UaVariable*> variables;
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void coreTransactionsRead(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state)
        f.readThroughCoreTransactions();
    state.SetItemsProcessed(state.iterations() * g_variableCount);
}

void directAttributeRead(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state)
        f.readDirectly();
    state.SetItemsProcessed(state.iterations() * g_variableCount);
}

BENCHMARK(coreTransactionsRead);
BENCHMARK(directAttributeRead);

// The ratio of the two read rates, from rounds that time both back to back, so that a machine
// shared with other work slows both alike; the median of the rounds.
double pairedRatio()
{
    using Clock = std::chrono::steady_clock;
    Fixture& f = fixture();
    std::vector<double> ratios;
    for (int round = 0; round < 101; ++round)
    {
        const Clock::time_point start = Clock::now();
        f.readThroughCoreTransactions();
        const Clock::time_point middle = Clock::now();
        f.readDirectly();
        const Clock::time_point end = Clock::now();
        ratios.push_back(std::chrono::duration<double>(end - middle).count() /
                         std::chrono::duration<double>(middle - start).count());
    }
    std::nth_element(ratios.begin(), ratios.begin() + 50, ratios.end());
    return ratios[50];
}
} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::printf("reads per second of %u cached Values, CoreTransactions / direct getAttributeValue: %.2f\n",
                g_variableCount, pairedRatio());
    benchmark::Shutdown();
    return 0;
}
