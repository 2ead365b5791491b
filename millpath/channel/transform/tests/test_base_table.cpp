// Look-back access of the entry rings: places, the newest entries and the
// search for geometry entries in both directions.
#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "base_table.h"
#include "entry.h"

namespace
{
// Moves the ring's read and write positions to a place by pushing and
// popping as many entries.
void MoveTo(CBaseTable& table, int place)
{
    CEntryStop filler;
    CEntry* out = nullptr;
    for (int i = 0; i < place; ++i)
    {
        table.Push(&filler);
        table.Pop(out);
    }
}
} // namespace

TEST(BaseTable, NewestEntriesAndPlaces)
{
    CEntryGeo_3D g1, g2;
    CEntryStop s1, s2;
    struct Case
    {
        const char* name;
        int start; // read position before the pushes
        std::vector<CEntry*> entries;
        CEntry* last;
        CEntry* lastGeo;
        int lastPlace;
        int lastGeoPlace;
        int firstGeoPlace;
    } cases[] = {
        {"geometry first", 0, {&g1, &s1, &s2}, &s2, &g1, 2, 0, 0},
        {"geometry last", 0, {&s1, &g1, &s2, &g2}, &g2, &g2, 3, 3, 1},
        {"no geometry", 0, {&s1, &s2}, &s2, nullptr, 1, -1, -1},
        {"empty", 0, {}, nullptr, nullptr, 0, -1, -1},
        {"wrapped", 48, {&g1, &s1, &s2}, &s2, &g1, 0, 48, 48},
        {"wrapped geometry", 49, {&s1, &g2, &s2}, &s2, &g2, 1, 0, 0},
    };
    for (const Case& c : cases)
    {
        CBaseTable table;
        MoveTo(table, c.start);
        for (CEntry* e : c.entries)
            ASSERT_EQ(table.PushAgain(e), 1) << c.name;
        EXPECT_EQ(table.FirstPlace(), c.start) << c.name;
        EXPECT_EQ(table.Last(), c.last) << c.name;
        EXPECT_EQ(table.LastGeo(), c.lastGeo) << c.name;
        if (!table.IsEmpty())
        {
            EXPECT_EQ(table.LastPlace(), c.lastPlace) << c.name;
        }
        EXPECT_EQ(table.LastGeoPlace(), c.lastGeoPlace) << c.name;
        EXPECT_EQ(table.FirstGeoPlace(), c.firstGeoPlace) << c.name;
    }
}

TEST(BaseTable, StepsBackAndForthOverTheRing)
{
    CEntryGeo_3D g1, g2;
    CEntryStop s1, s2;
    CBaseTable table;
    MoveTo(table, 48);
    for (CEntry* e : {static_cast<CEntry*>(&g1), static_cast<CEntry*>(&s1), static_cast<CEntry*>(&s2),
                      static_cast<CEntry*>(&g2)})
        table.Push(e);
    // Places 48 g1, 49 s1, 0 s2, 1 g2.
    EXPECT_EQ(table.GetAt(48), &g1);
    EXPECT_EQ(table.GetAt(1), &g2);
    EXPECT_EQ(table.GetAt(2), nullptr);
    EXPECT_EQ(table.GetAt(50), nullptr);
    EXPECT_EQ(table.GetAt(-1), nullptr);

    int place = 0; // back from place 0 goes on at the last place of the ring
    EXPECT_EQ(table.PrevGeo(place), &g1);
    EXPECT_EQ(place, 48);
    place = 48; // back from the oldest meets the empty place before it
    EXPECT_EQ(table.PrevGeo(place), nullptr);
    place = 50;
    EXPECT_EQ(table.PrevGeo(place), nullptr);

    place = 48;
    EXPECT_EQ(table.NextGeo(place), &g2);
    EXPECT_EQ(place, 1);
    place = 1; // forward from the newest meets the empty place after it
    EXPECT_EQ(table.NextGeo(place), nullptr);
    place = 50;
    EXPECT_EQ(table.NextGeo(place), nullptr);

    CBaseTable empty;
    place = 0;
    EXPECT_EQ(empty.NextGeo(place), nullptr);
    EXPECT_EQ(empty.PrevGeo(place), nullptr);
}

TEST(BaseTable, SearchesStopAfterCountSteps)
{
    // A full ring of non-geometry entries: every search ends after count
    // steps instead of circling.
    std::vector<CEntryStop> stops(CFiFoTable::MaxCapacity);
    CBaseTable table;
    for (CEntryStop& s : stops)
        ASSERT_EQ(table.Push(&s), 1);
    EXPECT_TRUE(table.IsFull());
    EXPECT_EQ(table.LastGeo(), nullptr);
    EXPECT_EQ(table.LastGeoPlace(), -1);
    EXPECT_EQ(table.FirstGeoPlace(), -1);
    int place = 10;
    EXPECT_EQ(table.PrevGeo(place), nullptr);
    place = 10;
    EXPECT_EQ(table.NextGeo(place), nullptr);
}

// A producer and a consumer change the ring while a third thread reads the
// look-back hints; the reads never see a torn count or place.
TEST(BaseTable, HintsWhileTwoThreadsWork)
{
    constexpr int Count = 20000;
    std::vector<CEntryGeo_3D> geos(Count / 2);
    std::vector<CEntryStop> stops(Count / 2);
    CCollisionDetectionTable table;
    std::atomic<bool> done{false};
    std::thread producer(
        [&]
        {
            for (int i = 0; i < Count;)
            {
                CEntry* e = (i % 2) ? static_cast<CEntry*>(&stops[static_cast<std::size_t>(i / 2)])
                                    : static_cast<CEntry*>(&geos[static_cast<std::size_t>(i / 2)]);
                if (table.Push(e))
                    ++i;
                else
                    std::this_thread::yield();
            }
        });
    std::thread reader(
        [&]
        {
            while (!done)
            {
                const int count = table.Count();
                EXPECT_GE(count, 0);
                EXPECT_LE(count, CFiFoTable::MaxCapacity);
                const int place = table.LastGeoPlace();
                EXPECT_LT(place, CFiFoTable::MaxCapacity);
                if (CEntry* last = table.LastGeo())
                {
                    EXPECT_EQ(last->m_type, ENTRY_GEO_3D);
                }
            }
        });
    int taken = 0;
    while (taken < Count)
    {
        CEntry* out = nullptr;
        if (!table.Pop(out))
        {
            std::this_thread::yield();
            continue;
        }
        ASSERT_EQ(out->m_type, (taken % 2) ? ENTRY_STOP : ENTRY_GEO_3D);
        ++taken;
    }
    producer.join();
    done = true;
    reader.join();
    EXPECT_TRUE(table.IsEmpty());
}
