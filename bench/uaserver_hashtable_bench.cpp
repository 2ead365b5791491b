// Lookups per second in a node hash table of 10007 buckets holding 20,000 nodes, against
// std::unordered_map keyed by NodeId over the same nodes, for numeric and for string NodeIds. The
// program ends with the ratio of the two rates of each kind, timed in alternating rounds.
#include "hashtable.h"
#include "uaplainnodes.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace
{
constexpr int g_nodeCount = 20000;
constexpr OpcUa_UInt32 g_bucketCount = 10007;

// A NodeId's hash for the standard map: namespace and identifier bytes.
struct NodeIdHash
{
    std::size_t operator()(const UaNodeId& nodeId) const
    {
        const NodeIdKey key(*nodeId.toOpcUaNodeId());
        const std::string_view bytes(reinterpret_cast<const char*>(key.bytes), key.length);
        return std::hash<std::string_view>()(bytes) ^ nodeId.namespaceIndex();
    }
};

UaNodeId makeId(bool strings, int i)
{
    if (!strings)
        return UaNodeId(static_cast<OpcUa_UInt32>(100000 + i), 2);
    const std::string name = "Modules/Module" + std::to_string(i / 100) + "/Entry" + std::to_string(i % 100);
    return UaNodeId(UaString(name.c_str()), 2);
}

// The same 20,000 nodes in both containers, and the keys to look up in random order (built apart
// from the nodes' own NodeIds, as a request's are).
struct Fixture
{
    explicit Fixture(bool strings) : table(g_bucketCount)
    {
        for (int i = 0; i < g_nodeCount; ++i)
        {
            const UaNodeId id = makeId(strings, i);
            auto* node = new UaObjectPlain(id, UaQualifiedName("n", 2), UaLocalizedText(), UaLocalizedText(),
                                           UaNodeId(58, 0), 0);
            table.add(id, node);
            map.emplace(id, node);
            keys.push_back(makeId(strings, i));
        }
        std::shuffle(keys.begin(), keys.end(), std::mt19937(42));
    }
    ~Fixture() { table.clear(true); }

    HashTable table;
    std::unordered_map<UaNodeId, UaNode*, NodeIdHash> map;
    std::vector<UaNodeId> keys;
};

Fixture& fixture(bool strings)
{
    static Fixture numeric(false);
    static Fixture text(true);
    return strings ? text : numeric;
}

void hashTableLookup(benchmark::State& state)
{
    Fixture& f = fixture(state.range(0) != 0);
    for (auto _ : state)
        for (const UaNodeId& key : f.keys)
            benchmark::DoNotOptimize(f.table.lookup(key));
    state.SetItemsProcessed(state.iterations() * g_nodeCount);
}

void unorderedMapLookup(benchmark::State& state)
{
    Fixture& f = fixture(state.range(0) != 0);
    for (auto _ : state)
        for (const UaNodeId& key : f.keys)
            benchmark::DoNotOptimize(f.map.find(key));
    state.SetItemsProcessed(state.iterations() * g_nodeCount);
}

BENCHMARK(hashTableLookup)->Arg(0)->Arg(1)->ArgName("strings");
BENCHMARK(unorderedMapLookup)->Arg(0)->Arg(1)->ArgName("strings");

// The ratio of the two lookup rates, from rounds that time both containers back to back, so that
// a machine shared with other work slows both alike; the median of the rounds.
double pairedRatio(bool strings)
{
    using Clock = std::chrono::steady_clock;
    Fixture& f = fixture(strings);
    std::vector<double> ratios;
    for (int round = 0; round < 101; ++round)
    {
        const Clock::time_point start = Clock::now();
        for (const UaNodeId& key : f.keys)
            benchmark::DoNotOptimize(f.table.lookup(key));
        const Clock::time_point middle = Clock::now();
        for (const UaNodeId& key : f.keys)
            benchmark::DoNotOptimize(f.map.find(key));
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
    for (bool strings : {false, true})
        std::printf("lookups per second, HashTable / std::unordered_map, %s NodeIds: %.2f\n",
                    strings ? "string" : "numeric", pairedRatio(strings));
    benchmark::Shutdown();
    return 0;
}
