#include "uabytearray.h"
#include "uabytestring.h"
#include "uastring.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{
std::vector<std::uint16_t> units(const UaByteArray& a)
{
    std::vector<std::uint16_t> out(static_cast<std::size_t>(a.size()) / 2);
    std::memcpy(out.data(), a.data(), out.size() * 2);
    return out;
}
} // namespace

TEST(UaString, EqualityAndOrderFollowSizeFirst)
{
    struct Row
    {
        const char* a;
        const char* b;
        bool equal;
        bool less;
    };
    const Row rows[] = {
        {"", "", true, false},        {"abc", "abd", false, true},   {"abd", "abc", false, false},
        {"zz", "aaa", false, true},   {"b", "aa", false, true},      {"", "a", false, true},
        {"a", "", false, false},      {"Abc", "abc", false, true},   {"a\xC3", "aA", false, false},
        {"aA", "a\xC3", false, true}, {"same", "same", true, false},
    };
    for (const Row& r : rows)
    {
        SCOPED_TRACE(std::string(r.a) + " vs " + r.b);
        UaString a(r.a), b(r.b);
        EXPECT_EQ(a == b, r.equal);
        EXPECT_EQ(a != b, !r.equal);
        EXPECT_EQ(a < b, r.less);
    }
}

TEST(UaString, CopiesShareOneRecordAndDefaultsShareTheEmptyOne)
{
    UaString a, b;
    EXPECT_TRUE(a.sharesRecordWith(b));
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a < b);
    UaString text("hello");
    UaString copy(text);
    EXPECT_TRUE(copy.sharesRecordWith(text));
    EXPECT_EQ(copy.size(), 5);
    EXPECT_STREQ(copy.toUtf8(), "hello");
    UaString nullText(static_cast<const char*>(nullptr));
    EXPECT_TRUE(nullText.isEmpty());
}

TEST(UaString, ConcatenationSharesWhereNothingChanges)
{
    UaString empty;
    UaString abc("abc");
    UaString kept(abc);
    kept += empty;
    EXPECT_TRUE(kept.sharesRecordWith(abc));
    empty += abc;
    EXPECT_TRUE(empty.sharesRecordWith(abc));
    UaString joined = abc + UaString("de");
    EXPECT_STREQ(joined.toUtf8(), "abcde");
    EXPECT_STREQ(abc.toUtf8(), "abc");
}

TEST(UaString, WideTextConvertsUnitByUnit)
{
    EXPECT_EQ(UaString(u"\u00e9").size(), 2);
    EXPECT_STREQ(UaString(u"\u00e9").toUtf8(), "\xC3\xA9");
    // A surrogate pair stays two three-byte sequences.
    UaString pair(u"\U0001F600");
    EXPECT_EQ(pair.size(), 6);
    EXPECT_STREQ(pair.toUtf8(), "\xED\xA0\xBD\xED\xB8\x80");
    EXPECT_STREQ(UaString(u"a\u20ac").toUtf8(), "a\xE2\x82\xAC");
    EXPECT_TRUE(UaString(static_cast<const char16_t*>(nullptr)).isEmpty());
}

TEST(UaString, ToUtf16DecodesAndStopsAtTheEnd)
{
    struct Row
    {
        std::string utf8;
        std::vector<std::uint16_t> expected;
    };
    const std::vector<Row> rows = {
        {"abc", {'a', 'b', 'c', 0}},
        {"\xC3\xA9", {0xE9, 0}},
        {"\xE2\x82\xAC", {0x20AC, 0}},
        {"x\xF0\x9F\x98\x80y", {'x', '?', 'y', 0}},
        {"a\x80"
         "b",
         {'a', 'b', 0}}, // a stray continuation byte gives nothing
        {"a\xFF", {'a', 0}},
        {"a\xE2\x82", {'a', '?', 0}}, // cut-off three-byte sequence
        {"\xF0\x9F\x98", {'?', 0}},   // cut-off four-byte sequence
        {"ab\xC3", {'a', 'b', '?', 0}},
        {"", {0}},
    };
    for (const Row& r : rows)
    {
        SCOPED_TRACE(r.utf8);
        // An exactly sized copy, so that the sanitizers see any read past the end.
        std::vector<char> exact(r.utf8.begin(), r.utf8.end());
        UaString s = UaString::fromBytes(exact.data(), static_cast<int>(exact.size()));
        UaByteArray wide = s.toUtf16();
        EXPECT_EQ(wide.size(), static_cast<int>(r.expected.size() * 2));
        EXPECT_EQ(units(wide), r.expected);
    }
}

TEST(UaString, CharacterAccessWalksUtf8AndStopsAtTheEnd)
{
    UaString s("a\xC3\xA9"
               "b\xE2\x82\xAC");
    EXPECT_EQ(s.at(0), UaChar('a'));
    EXPECT_EQ(s.at(1), UaChar("\xC3\xA9"));
    EXPECT_EQ(s.at(1).unicode(), 0xE9);
    EXPECT_EQ(s.at(2), UaChar('b'));
    EXPECT_EQ(s.at(3).unicode(), 0x20AC);
    EXPECT_EQ(s.at(4), UaChar());
    EXPECT_EQ(s.indexOf(UaChar("\xE2\x82\xAC")), 3);
    EXPECT_EQ(s.indexOf(UaChar('z')), -1);
    EXPECT_EQ(UaString().indexOf(UaChar('a')), -1);

    // A lead byte whose sequence the end cuts off is one stray byte.
    std::vector<char> cut = {'x', '\xE2', '\x82'};
    UaString truncated = UaString::fromBytes(cut.data(), 3);
    EXPECT_EQ(truncated.at(1).byteCount(), 0);
    EXPECT_EQ(truncated.at(2).byteCount(), 0);
    EXPECT_EQ(truncated.indexOf(UaChar('y')), -1);
}

TEST(UaChar, LeadByteDecidesTheLength)
{
    EXPECT_EQ(UaChar().byteCount(), 1);
    EXPECT_EQ(UaChar('q').unicode(), 'q');
    EXPECT_EQ(UaChar("\xC3\xA9").byteCount(), 2);
    EXPECT_EQ(UaChar("\xE2\x82\xAC").byteCount(), 3);
    EXPECT_EQ(UaChar("\xF0\x9F\x98\x80").byteCount(), 4);
    EXPECT_EQ(UaChar("\xF0\x9F\x98\x80").unicode(), 0);
    EXPECT_EQ(UaChar("\x80").byteCount(), 0);
    EXPECT_EQ(UaChar("\xE2\x82").byteCount(), 0); // the terminator ends the sequence
    const char partial[] = {'\xC3'};
    EXPECT_EQ(UaChar(partial, 1).byteCount(), 0);
    EXPECT_NE(UaChar("\xC3\xA9"), UaChar("\xC3\xA8"));
}

TEST(UaString, ArgFillsTheLowestPlaceholder)
{
    UaChar blank(' ');
    EXPECT_STREQ(UaString("%1 of %2").arg(UaString("3"), 0, blank).arg(5, 0, 10, blank).toUtf8(), "3 of 5");
    EXPECT_STREQ(UaString("%1").arg(255, 4, 16, UaChar('0')).toUtf8(), "00FF");
    EXPECT_STREQ(UaString("[%1]").arg(-7, -4, 10, UaChar('*')).toUtf8(), "[-7**]");
    EXPECT_STREQ(UaString("no placeholder").arg(1).toUtf8(), "no placeholder");
    EXPECT_STREQ(UaString("%%1").arg(UaString("x")).toUtf8(), "%x");
    EXPECT_STREQ(UaString("%2-%1-%1").arg(UaString("a")).toUtf8(), "%2-a-a");
    EXPECT_STREQ(UaString("%1\\%2\\%3").arg(UaString("A")).arg(UaString("B")).arg(UaString("C")).toUtf8(),
                 "A\\B\\C");
    EXPECT_STREQ(UaString("%10 %9").arg(UaString("n")).toUtf8(), "%10 n");
    EXPECT_STREQ(UaString("%1%").arg(UaString("x")).toUtf8(), "x%");
    EXPECT_STREQ(UaString("%1").arg(-2147483647 - 1).toUtf8(), "-2147483648");
    EXPECT_STREQ(UaString("%1").arg(0u).toUtf8(), "0");
    EXPECT_STREQ(UaString("%1").arg(4294967295u, 0, 16).toUtf8(), "FFFFFFFF");
    EXPECT_STREQ(UaString("%1").arg(35, 0, 36).toUtf8(), "Z");
    EXPECT_STREQ(UaString("%1").arg(UaString("abc"), 2).toUtf8(), "abc");
    // A multi-byte fill pads with whole characters only.
    EXPECT_STREQ(UaString("%1").arg(UaString("a"), 5, UaChar("\xC3\xA9")).toUtf8(), "\xC3\xA9\xC3\xA9"
                                                                                    "a");
}

TEST(UaString, FromByteStringStopsAtLengthOrFirstZero)
{
    const OpcUa_Byte withZero[] = {'a', 'b', 0, 'c'};
    EXPECT_STREQ(UaString(UaByteString(4, withZero)).toUtf8(), "ab");
    const OpcUa_Byte plain[] = {'x', 'y', 'z'};
    UaString s(UaByteString(3, plain));
    EXPECT_EQ(s.size(), 3);
    EXPECT_STREQ(s.toUtf8(), "xyz");
    EXPECT_TRUE(UaString(UaByteString()).isEmpty());
}

TEST(UaString, CopyToStackString)
{
    OpcUa_String target;
    OpcUa_String_Initialize(&target);
    UaString("copied").copyTo(&target);
    EXPECT_STREQ(OpcUa_String_GetRawString(&target), "copied");
    UaString back(&target);
    EXPECT_EQ(back, UaString("copied"));
    OpcUa_String_Clear(&target);
}
