// The session's continuation-point tables: slots, eviction, check values and bad points.
#include "continuationpointtable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <vector>

namespace
{
// A parked context that records its deletion.
template <class Check> class RecordingContext
{
public:
    RecordingContext(int name, std::set<int>& live) : m_name(name), m_live(live) { m_live.insert(name); }
    virtual ~RecordingContext() { m_live.erase(m_name); }
    Check checkValue() const { return m_check; }
    void setCheckValue(Check check) { m_check = check; }
    int name() const { return m_name; }

private:
    int m_name;
    std::set<int>& m_live;
    Check m_check = 0;
};

using BrowseTable = ContinuationPointTable<RecordingContext<OpcUa_Byte>, OpcUa_Byte>;
using HistoryTable = ContinuationPointTable<RecordingContext<OpcUa_UInt16>, OpcUa_UInt16>;

// A continuation point owned by the test.
struct Point
{
    Point() { OpcUa_ByteString_Initialize(&bytes); }
    Point(std::vector<OpcUa_Byte> data) : Point()
    {
        bytes.Length = static_cast<OpcUa_Int32>(data.size());
        bytes.Data = static_cast<OpcUa_Byte*>(OpcUa_Memory_Alloc(data.size() + 1));
        std::memcpy(bytes.Data, data.data(), data.size());
    }
    ~Point() { OpcUa_ByteString_Clear(&bytes); }
    Point(const Point&) = delete;
    OpcUa_UInt16 slot() const { return static_cast<OpcUa_UInt16>(bytes.Data[0] | bytes.Data[1] << 8); }
    OpcUa_UInt16 check() const { return static_cast<OpcUa_UInt16>(bytes.Data[2] | bytes.Data[3] << 8); }
    std::vector<OpcUa_Byte> data() const
    {
        return std::vector<OpcUa_Byte>(bytes.Data, bytes.Data + bytes.Length);
    }
    OpcUa_ByteString bytes;
};

template <class Table> int takeName(Table& table, const Point& point)
{
    auto* context = table.take(point.bytes);
    if (context == nullptr)
        return -1;
    const int name = context->name();
    delete context;
    return name;
}

TEST(ContinuationPointTable, SizesFromTheConfiguration)
{
    const struct
    {
        OpcUa_Int64 configured;
        OpcUa_UInt16 fallback;
        OpcUa_UInt16 size;
    } rows[] = {{0, 10, 10},        {0, 100, 100},      {-3, 10, 10},       {1, 10, 1},
                {65534, 10, 65534}, {65535, 10, 65534}, {70000, 100, 65534}};
    for (const auto& row : rows)
    {
        EXPECT_EQ(row.size, BrowseTable::sizeFor(row.configured, row.fallback)) << row.configured;
        EXPECT_EQ(row.size, BrowseTable(BrowseTable::sizeFor(row.configured, row.fallback)).capacity());
    }
}

TEST(ContinuationPointTable, APointIsSlotAndCheckAndServesOnce)
{
    std::set<int> live;
    BrowseTable table(5);
    Point first, second;
    ASSERT_EQ(OpcUa_Good, table.queue(new RecordingContext<OpcUa_Byte>(1, live), first.bytes).statusCode());
    ASSERT_EQ(OpcUa_Good, table.queue(new RecordingContext<OpcUa_Byte>(2, live), second.bytes).statusCode());
    ASSERT_EQ(4, first.bytes.Length);
    EXPECT_EQ((std::vector<OpcUa_Byte>{0, 0, 1, 0}), first.data());
    EXPECT_EQ((std::vector<OpcUa_Byte>{1, 0, 2, 0}), second.data());
    EXPECT_EQ(2u, table.count());

    EXPECT_EQ(2, takeName(table, second));
    EXPECT_EQ(-1, takeName(table, second)); // used up
    EXPECT_EQ(1, takeName(table, first));
    EXPECT_EQ(0u, table.count());
    EXPECT_TRUE(live.empty());
}

TEST(ContinuationPointTable, BadPointsFindNothingAndLeaveTheContextParked)
{
    std::set<int> live;
    BrowseTable table(3);
    Point parked;
    table.queue(new RecordingContext<OpcUa_Byte>(7, live), parked.bytes);
    const std::vector<OpcUa_Byte> good = parked.data(); // slot 0, check 1
    const std::vector<std::vector<OpcUa_Byte>> bad = {
        {0, 0, 1},          // 3 bytes
        {0, 0, 1, 0, 0},    // 5 bytes
        {0, 0, 2, 0},       // check one above
        {0, 0, 0, 0},       // check one below (0 is never handed out)
        {0, 0, 1, 1},       // check 0x101: an 8-bit table never matches above 255
        {1, 0, 1, 0},       // an empty slot
        {3, 0, 1, 0},       // the slot after the last
        {0xFF, 0xFF, 1, 0}, // far out of range
    };
    for (const auto& bytes : bad)
    {
        Point point(bytes);
        EXPECT_EQ(nullptr, table.take(point.bytes)) << bytes.size() << " bytes";
    }
    OpcUa_ByteString noData{4, nullptr};
    EXPECT_EQ(nullptr, table.take(noData));
    OpcUa_ByteString null{-1, nullptr};
    EXPECT_EQ(nullptr, table.take(null));

    EXPECT_EQ(1u, table.count());
    Point same(good);
    EXPECT_EQ(7, takeName(table, same));
}

TEST(ContinuationPointTable, AFullTableGivesUpTheContextParkedLongest)
{
    std::set<int> live;
    BrowseTable table(3);
    Point a, b, c, d, e, f;
    table.queue(new RecordingContext<OpcUa_Byte>('A', live), a.bytes);
    table.queue(new RecordingContext<OpcUa_Byte>('B', live), b.bytes);
    table.queue(new RecordingContext<OpcUa_Byte>('C', live), c.bytes);
    EXPECT_EQ('B', takeName(table, b));
    table.queue(new RecordingContext<OpcUa_Byte>('D', live), d.bytes); // the first free slot: 1
    EXPECT_EQ(1, d.slot());
    table.queue(new RecordingContext<OpcUa_Byte>('E', live), e.bytes); // full: A goes
    EXPECT_EQ(0, e.slot());
    EXPECT_EQ(0u, live.count('A'));
    table.queue(new RecordingContext<OpcUa_Byte>('F', live), f.bytes); // then C, not the newer D
    EXPECT_EQ(2, f.slot());
    EXPECT_EQ((std::set<int>{'D', 'E', 'F'}), live);

    EXPECT_EQ(-1, takeName(table, a)); // its slot holds E under another check value
    EXPECT_EQ(-1, takeName(table, c));
    EXPECT_EQ('E', takeName(table, e));
    EXPECT_EQ('D', takeName(table, d));
}

TEST(ContinuationPointTable, CapacityOneEvictsAtEveryQueue)
{
    std::set<int> live;
    BrowseTable table(1);
    Point first, second;
    table.queue(new RecordingContext<OpcUa_Byte>(1, live), first.bytes);
    table.queue(new RecordingContext<OpcUa_Byte>(2, live), second.bytes);
    EXPECT_EQ((std::set<int>{2}), live);
    EXPECT_EQ(first.slot(), second.slot());
    EXPECT_EQ(-1, takeName(table, first));
    EXPECT_EQ(2, takeName(table, second));
}

TEST(ContinuationPointTable, CheckValuesSkipZeroWhenTheyWrap)
{
    std::set<int> live;
    BrowseTable browse(2);
    HistoryTable history(2);
    std::vector<OpcUa_UInt16> browseChecks;
    for (int i = 1; i <= 257; ++i)
    {
        Point p;
        browse.queue(new RecordingContext<OpcUa_Byte>(i, live), p.bytes);
        browseChecks.push_back(p.check());
        ASSERT_EQ(i, takeName(browse, p));
    }
    EXPECT_EQ(255, browseChecks[254]);
    EXPECT_EQ(1, browseChecks[255]); // after 255 comes 1
    EXPECT_EQ(2, browseChecks[256]);

    OpcUa_UInt16 last = 0;
    for (int i = 1; i <= 65536; ++i)
    {
        Point p;
        history.queue(new RecordingContext<OpcUa_UInt16>(i, live), p.bytes);
        ASSERT_NE(0, p.check());
        if (i == 65535)
        {
            EXPECT_EQ(65535, p.check());
        }
        last = p.check();
        ASSERT_EQ(i, takeName(history, p));
    }
    EXPECT_EQ(1, last); // after 65535 comes 1
}

TEST(ContinuationPointTable, TheTableDeletesWhatIsStillParked)
{
    std::set<int> live;
    {
        HistoryTable table(4);
        for (int i = 0; i < 6; ++i)
        {
            Point p;
            table.queue(new RecordingContext<OpcUa_UInt16>(i, live), p.bytes);
        }
        EXPECT_EQ(4u, live.size());
    }
    EXPECT_TRUE(live.empty());
}
} // namespace
