#include "uadatetime.h"

#include <opcua_testclock.hpp>

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace
{
constexpr OpcUa_Int64 TicksPerMs = 10000;

UaDateTime parse(const char* text)
{
    UaDateTime value;
    EXPECT_EQ(UaDateTime::fromString(UaString(text), value), OpcUa_Good) << text;
    return value;
}
} // namespace

TEST(UaDateTime, DefaultIsZeroAndHalvesMakeOneNumber)
{
    UaDateTime zero;
    EXPECT_TRUE(zero.isNull());
    EXPECT_EQ(zero.toInt64(), 0);

    OpcUa_DateTime raw{0x89ABCDEFu, 0x01234567u};
    UaDateTime value(raw);
    EXPECT_EQ(value.toInt64(), 0x0123456789ABCDEFll);
    OpcUa_DateTime back = value;
    EXPECT_EQ(back.dwLowDateTime, 0x89ABCDEFu);
    EXPECT_EQ(back.dwHighDateTime, 0x01234567u);
    EXPECT_EQ(UaDateTime::fromInt64(0x0123456789ABCDEFll).toInt64(), 0x0123456789ABCDEFll);
}

TEST(UaDateTime, DifferencesInMillisecondsAndSeconds)
{
    struct Case
    {
        OpcUa_Int64 deltaTicks;
        int msecs;
        int secs;
    };
    const Case cases[] = {
        {15000000, 1500, 1},
        {-15000000, -1500, -1},
        {9999, 0, 0},
        {-9999, 0, 0},
        {0, 0, 0},
        // About 25 days: beyond the 32-bit millisecond range, saturated.
        {25ll * 24 * 3600 * 1000 * TicksPerMs, INT_MAX, 25 * 24 * 3600},
        {-25ll * 24 * 3600 * 1000 * TicksPerMs, INT_MIN, -25 * 24 * 3600},
        // Hundreds of years: the seconds saturate too.
        {LLONG_MAX / 2, INT_MAX, INT_MAX},
        {LLONG_MIN / 2, INT_MIN, INT_MIN},
    };
    const UaDateTime base = UaDateTime::fromInt64(0x01D0000000000000ll);
    for (const Case& c : cases)
    {
        UaDateTime later = UaDateTime::fromInt64(base.toInt64() + c.deltaTicks);
        EXPECT_EQ(base.msecsTo(later), c.msecs) << c.deltaTicks;
        EXPECT_EQ(base.secsTo(later), c.secs) << c.deltaTicks;
    }
    // Extreme values whose difference needs more than 64 bits.
    EXPECT_EQ(UaDateTime::fromInt64(LLONG_MIN).msecsTo(UaDateTime::fromInt64(LLONG_MAX)), INT_MAX);
    EXPECT_EQ(UaDateTime::fromInt64(LLONG_MAX).secsTo(UaDateTime::fromInt64(LLONG_MIN)), INT_MIN);
}

TEST(UaDateTime, OrderComparesHighHalfThenLowHalfUnsigned)
{
    UaDateTime a(OpcUa_DateTime{0xFFFFFFFFu, 1});
    UaDateTime b(OpcUa_DateTime{0, 2});
    UaDateTime c(OpcUa_DateTime{0x80000000u, 2});
    EXPECT_TRUE(a < b);
    EXPECT_TRUE(b < c);
    EXPECT_TRUE(c > a);
    EXPECT_FALSE(b < b);
    EXPECT_FALSE(b > b);
    EXPECT_TRUE(b == UaDateTime(OpcUa_DateTime{0, 2}));
    EXPECT_TRUE(a != b);
}

TEST(UaDateTime, TextRoundTrips)
{
    const char* texts[] = {"2011-12-01T19:17:23.123Z", "1601-01-01T00:00:00.000Z", "1970-01-01T00:00:00.001Z",
                           "2000-02-29T23:59:59.999Z", "9999-12-31T23:59:59.999Z"};
    for (const char* text : texts)
    {
        UaDateTime value = parse(text);
        EXPECT_STREQ(value.toString().toUtf8(), text);
        UaDateTime again = parse(value.toString().toUtf8());
        EXPECT_TRUE(again == value) << text;
    }
}

TEST(UaDateTime, DateAndTimeParts)
{
    UaDateTime value = parse("2011-12-01T19:17:23.123Z");
    EXPECT_STREQ(value.toDateString().toUtf8(), "2011-12-01");
    EXPECT_STREQ(value.toTimeString().toUtf8(), "19:17:23.123Z");
    // 1.5 s later.
    UaDateTime later = UaDateTime::fromInt64(value.toInt64() + 15000000);
    EXPECT_STREQ(later.toTimeString().toUtf8(), "19:17:24.623Z");
}

TEST(UaDateTime, UnshowableValueGivesEmptyTexts)
{
    // Beyond year 9999.
    UaDateTime huge = UaDateTime::fromInt64(LLONG_MAX);
    EXPECT_TRUE(huge.toString().isEmpty());
    EXPECT_TRUE(huge.toDateString().isEmpty());
    EXPECT_TRUE(huge.toTimeString().isEmpty());
}

TEST(UaDateTime, BadTextLeavesValueUnchanged)
{
    UaDateTime value = UaDateTime::fromInt64(42);
    OpcUa_StatusCode status = UaDateTime::fromString(UaString("yesterday"), value);
    EXPECT_TRUE((status & 0x80000000u) != 0);
    EXPECT_EQ(value.toInt64(), 42);
}

TEST(UaDateTime, NowIsCurrentAndAdvances)
{
    UaDateTime first = UaDateTime::now();
    UaDateTime second = UaDateTime::now();
    EXPECT_FALSE(second < first);
    // Some time after 2020 and before 2200.
    EXPECT_TRUE(parse("2020-01-01T00:00:00Z") < first);
    EXPECT_TRUE(first < parse("2200-01-01T00:00:00Z"));
}

TEST(UaDateTime, NowFollowsTheTestClock)
{
    const UaDateTime start = parse("2031-05-06T07:08:09.250Z");
    OpcUa::TestClock clock(start, 0);
    EXPECT_EQ(UaDateTime::now().toInt64(), start.toInt64());
    clock.advance(1750);
    EXPECT_EQ(start.msecsTo(UaDateTime::now()), 1750);
    clock.shiftUtc(-5000);
    EXPECT_EQ(start.secsTo(UaDateTime::now()), -3);
}
