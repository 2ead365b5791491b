// Wide report-log formats.
#include "../src/wideformat.h"

#include <gtest/gtest.h>

namespace
{

std::string Format(const char16_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string s = vos::FormatWide(format, args);
    va_end(args);
    return s;
}

TEST(WideFormat, ConversionsFollowTheDevicesWideConventions)
{
    EXPECT_EQ(Format(u"plain text"), "plain text");
    EXPECT_EQ(Format(u"%d%s", 3, u"G01 X10"), "3G01 X10");
    EXPECT_EQ(Format(u"%hs|%S|%ls|%ws", "narrow", "also", u"wide", u"wide too"), "narrow|also|wide|wide too");
    EXPECT_EQ(Format(u"%5d|%-4d|%05.1f|%x|%X|%#o", 42, 7, 3.14159, 255u, 255u, 8u),
              "   42|7   |003.1|ff|FF|010");
    EXPECT_EQ(Format(u"%ld %lld %I64d %hd %hhd", -5L, -6LL, -7LL, 70000, 300), "-5 -6 -7 4464 44");
    EXPECT_EQ(Format(u"%lu %llu %hu %zu", 5UL, 6ULL, 70000u, static_cast<size_t>(9)), "5 6 4464 9");
    EXPECT_EQ(Format(u"%*d|%.*f", 4, 1, 2, 2.5), "   1|2.50");
    EXPECT_EQ(Format(u"%c%hc%C", u'\u00e4', 'b', 'c'), "\xc3\xa4"
                                                       "bc");
    EXPECT_EQ(Format(u"%e", 1500.0), "1.500000e+03");
    EXPECT_EQ(Format(u"100%% %s", u"\u00fc"), "100% \xc3\xbc");
    EXPECT_EQ(Format(u"%s|%hs", static_cast<const char16_t*>(nullptr), static_cast<const char*>(nullptr)),
              "(null)|(null)");
    EXPECT_EQ(Format(u"%q %d", 5), "%q 5"); // unknown conversion: shown, takes no argument
    EXPECT_EQ(Format(u"end %"), "end ");
}

} // namespace
