// The node table's lock: readers of many threads at once, a writer alone.
#include "readmostlylock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <shared_mutex>
#include <thread>
#include <vector>

namespace
{
TEST(ReadMostlyLockTest, ReadersOfManyThreadsShareItAndAWriterExcludesThemAll)
{
    ReadMostlyLock lock;

    // Two readers hold it at once: each waits, holding it, for the other to be inside too.
    std::atomic<int> inside{0};
    auto meet = [&]
    {
        std::shared_lock reader(lock);
        ++inside;
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (inside.load() < 2 && std::chrono::steady_clock::now() < give_up)
            std::this_thread::yield();
    };
    std::thread first(meet);
    std::thread second(meet);
    first.join();
    second.join();
    EXPECT_EQ(inside.load(), 2);

    // More threads than slots read a pair the writer keeps equal; none sees it half written.
    int left = 0;
    int right = 0;
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::atomic<long> reads{0};
    std::vector<std::thread> readers;
    for (std::size_t t = 0; t < ReadMostlyLock::kSlots + 4; ++t)
        readers.emplace_back(
            [&]
            {
                while (!stop.load())
                {
                    {
                        std::shared_lock reader(lock);
                        if (left != right)
                            ++torn;
                        ++reads;
                    }
                    std::this_thread::yield();
                }
            });
    for (int i = 0; i < 2000; ++i)
    {
        std::unique_lock writer(lock);
        ++left;
        std::this_thread::yield();
        ++right;
    }
    stop = true;
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(left, 2000);
}
} // namespace
