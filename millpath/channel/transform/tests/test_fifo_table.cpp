#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "entry.h"
#include "fifo_table.h"

TEST(FifoTable, RingOfFiveWrapsAndRefusesWhenFull)
{
    CFiFoTable table(5);
    CEntryStop entries[7];
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(table.Push(&entries[i]), 1) << i;
    EXPECT_TRUE(table.IsFull());
    EXPECT_EQ(table.Push(&entries[5]), 0);
    CEntry* out = nullptr;
    ASSERT_EQ(table.Pop(out), 1);
    EXPECT_EQ(out, &entries[0]);
    EXPECT_EQ(table.Push(&entries[5]), 1); // the write position wraps to place 0
    EXPECT_EQ(table.Free(), 0);
    for (int i = 1; i <= 5; ++i)
    {
        ASSERT_EQ(table.Peek(out, i - 1), 1);
        EXPECT_EQ(out, &entries[i]);
    }
    EXPECT_EQ(table.Peek(out, 5), 0);
    EXPECT_EQ(out, nullptr);
}

TEST(FifoTable, EmptyTableAndTypes)
{
    CCookedTable table;
    CEntryStop stop;
    CEntry* out = &stop;
    EXPECT_EQ(table.Pop(out), 0);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(table.FirstType(), -1);
    EXPECT_EQ(table.PeekFirst(out), 0);
    CEntryToolNr tool;
    CEntryHValue h;
    table.Push(&tool);
    table.Push(&h);
    EXPECT_EQ(table.FirstType(), ENTRY_TOOLNR);
    EXPECT_EQ(table.TypeAt(1), ENTRY_HVALUE);
    EXPECT_EQ(table.TypeAt(2), -1);
    EXPECT_EQ(table.Count(), 2);
    EXPECT_EQ(table.Free(), 48);
}

// One producer and one consumer, as the group's stages use a table.
TEST(FifoTable, ProducerAndConsumerKeepTheOrder)
{
    CCookedTable table;
    constexpr int Count = 20000;
    std::vector<CEntryHValue> entries(Count);
    for (int i = 0; i < Count; ++i)
        entries[static_cast<std::size_t>(i)].m_value = i;
    std::thread producer(
        [&]
        {
            for (int i = 0; i < Count;)
                if (table.Push(&entries[static_cast<std::size_t>(i)]))
                    ++i;
                else
                    std::this_thread::yield();
        });
    int expected = 0;
    while (expected < Count)
    {
        CEntry* out = nullptr;
        if (!table.Pop(out))
        {
            std::this_thread::yield();
            continue;
        }
        ASSERT_EQ(static_cast<CEntryHValue*>(out)->m_value, expected);
        ++expected;
    }
    producer.join();
    EXPECT_TRUE(table.IsEmpty());
}
