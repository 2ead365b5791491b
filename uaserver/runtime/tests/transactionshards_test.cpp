// Transaction ids: tables kept below 32 bits, and the per-thread tables the transaction manager
// spreads its requests over.
#include "transactionshards.h"

#include <gtest/gtest.h>

#include <deque>
#include <set>
#include <thread>
#include <vector>

namespace
{
struct Request
{
    int name = 0;
};

TEST(TransactionTableTest, IdsKeptBelowTheirBitsWrapWithoutZeroAndAFreedIdStaysRefusedForAWhile)
{
    // 4 slots in 6 bits: 16 generations a slot, so ids wrap after 64.
    TransactionTable<Request> table(4, 6);
    Request request;
    std::deque<OpcUa_UInt32> recent;
    for (int i = 0; i < 1000; ++i)
    {
        const OpcUa_UInt32 id = table.add(&request);
        ASSERT_NE(id, 0u);
        ASSERT_LT(id, 64u);
        ASSERT_EQ(table.get(id), &request);
        // Slot 0 skips the id 0: 15 generations, so 56 ids in a row stay distinct.
        for (OpcUa_UInt32 earlier : recent)
            ASSERT_NE(id, earlier) << "after " << i << " ids";
        ASSERT_TRUE(table.remove(id));
        EXPECT_EQ(table.get(id), nullptr);
        EXPECT_FALSE(table.remove(id));
        recent.push_back(id);
        if (recent.size() > 56)
            recent.pop_front();
    }

    // Growing keeps every id in progress and the new ones below the bits.
    TransactionTable<Request> growing(4, 8);
    std::vector<Request> held(40);
    std::vector<OpcUa_UInt32> ids;
    for (Request& each : held)
        ids.push_back(growing.add(&each));
    for (std::size_t i = 0; i < held.size(); ++i)
    {
        EXPECT_LT(ids[i], 256u);
        EXPECT_EQ(growing.get(ids[i]), &held[i]);
    }
    EXPECT_EQ(std::set<OpcUa_UInt32>(ids.begin(), ids.end()).size(), ids.size());
}

TEST(TransactionShardsTest, RequestsOfManyThreadsAreFoundByTheirIdsUntilRemoved)
{
    TransactionShards<Request> shards(2);
    constexpr int kThreads = 20;
    constexpr int kPerThread = 500;
    std::vector<std::vector<Request>> requests(kThreads, std::vector<Request>(kPerThread));
    std::vector<std::vector<OpcUa_UInt32>> ids(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(
            [&, t]
            {
                for (int i = 0; i < kPerThread; ++i)
                {
                    requests[t][i].name = t * kPerThread + i;
                    ids[t].push_back(shards.add(&requests[t][i]));
                    // Every other request finishes at once, as a ready answer does.
                    if (i % 2 == 0)
                        EXPECT_TRUE(shards.remove(ids[t].back()));
                }
            });
    for (std::thread& thread : threads)
        thread.join();

    std::set<OpcUa_UInt32> shardsUsed;
    for (int t = 0; t < kThreads; ++t)
        for (int i = 0; i < kPerThread; ++i)
        {
            const OpcUa_UInt32 id = ids[t][i];
            ASSERT_NE(id, 0u);
            shardsUsed.insert(id % TransactionShards<Request>::kShards);
            const int found = shards.withObject(id, [](Request* r) { return r != nullptr ? r->name : -1; });
            EXPECT_EQ(found, i % 2 == 0 ? -1 : t * kPerThread + i);
        }
    EXPECT_EQ(shards.inUse(), static_cast<OpcUa_UInt32>(kThreads * kPerThread / 2));
    // Threads are dealt over the tables rather than sharing one.
    EXPECT_GT(shardsUsed.size(), 1u);

    for (int t = 0; t < kThreads; ++t)
        for (int i = 1; i < kPerThread; i += 2)
            EXPECT_TRUE(shards.remove(ids[t][i]));
    EXPECT_EQ(shards.inUse(), 0u);
    // An id whose request finished names nothing though its place may be taken again.
    Request newer;
    shards.add(&newer);
    EXPECT_EQ(shards.withObject(ids[0][1], [](Request* r) { return r; }), nullptr);
}
} // namespace
