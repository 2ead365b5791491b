#include "uabytearray.h"
#include "uastring.h"
#include "uaunistring.h"
#include "uaunistringlist.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace
{
std::u16string text(const UaUniString& s)
{
    return std::u16string(s.data(), static_cast<std::size_t>(s.length()));
}

std::vector<std::u16string> items(const UaUniStringList& list)
{
    std::vector<std::u16string> out;
    for (int i = 0; i < list.count(); ++i)
        out.push_back(text(list.at(i)));
    return out;
}
} // namespace

TEST(UaUniString, DecodesUtf8AndStopsAtTheEnd)
{
    struct Row
    {
        const char* utf8;
        std::u16string expected;
    };
    const Row rows[] = {
        {"abc", u"abc"},
        {"\xC3\xA9t\xC3\xA9", u"\u00e9t\u00e9"},
        {"\xE2\x82\xAC", u"\u20ac"},
        {"\xF0\x9F\x98\x80", u"?"},
        {"\xF8\x88\x80\x80\x80z", u"?z"},
        {"a\x80\xFE\xFF"
         "b",
         u"ab"},
        {"a\xE2\x82", u"a?"},
        {"a\xF0", u"a?"},
        {"", u""},
    };
    for (const Row& r : rows)
    {
        SCOPED_TRACE(r.utf8);
        // Copy into an exactly sized heap block, so that a read past the terminator is caught.
        std::size_t n = std::strlen(r.utf8) + 1;
        std::unique_ptr<char[]> exact(new char[n]);
        std::memcpy(exact.get(), r.utf8, n);
        EXPECT_EQ(text(UaUniString(exact.get())), r.expected);
    }
    EXPECT_TRUE(UaUniString(static_cast<const char*>(nullptr)).isEmpty());
}

TEST(UaUniString, FromTheWideFormOfUaString)
{
    UaUniString s(UaString("p\xC3\xA4th").toUtf16());
    EXPECT_EQ(text(s), u"p\u00e4th");
    EXPECT_TRUE(UaUniString(UaByteArray()).isEmpty());
}

TEST(UaUniString, SubstringsAndSharing)
{
    UaUniString abc(u"abcdef");
    EXPECT_EQ(text(abc.mid(3, -1)), u"def");
    EXPECT_TRUE(abc.mid(6, 1).isEmpty());
    EXPECT_EQ(text(abc.mid(2, 2)), u"cd");
    EXPECT_EQ(text(abc.mid(4, 99)), u"ef");
    EXPECT_TRUE(abc.mid(0, -1).sharesRecordWith(abc));
    EXPECT_TRUE(abc.mid(0, 10).sharesRecordWith(abc));

    UaUniString chopped(u"abc");
    chopped.chop(10);
    EXPECT_TRUE(chopped.sharesRecordWith(UaUniString()));
    UaUniString other(u"abc");
    UaUniString holder(other);
    other.chop(1);
    EXPECT_EQ(text(other), u"ab");
    EXPECT_EQ(text(holder), u"abc");

    EXPECT_EQ(text(UaUniString(u" \t\r\n x y \v\f").trimmed()), u"x y");
    EXPECT_TRUE(UaUniString(u"   ").trimmed().isEmpty());

    UaUniString empty;
    UaUniString tail(u"xyz");
    empty.append(tail);
    EXPECT_TRUE(empty.sharesRecordWith(tail));
    tail += UaUniString(u"!");
    EXPECT_EQ(text(tail), u"xyz!");
    EXPECT_EQ(text(empty), u"xyz");
}

TEST(UaUniString, Searching)
{
    UaUniString s(u"abcabc");
    EXPECT_EQ(s.indexOf(UaUniString(u"c"), -2), 5);
    EXPECT_EQ(s.indexOf(UaUniString(u"bc"), 0), 1);
    EXPECT_EQ(s.indexOf(UaUniString(u"bc"), 2), 4);
    EXPECT_EQ(s.indexOf(UaUniString(u"bc"), 6), -1);
    EXPECT_EQ(s.indexOf(UaUniString(u"bc"), -7), -1);
    EXPECT_EQ(s.indexOf(UaUniString(), 0), -1);
    EXPECT_EQ(s.indexOf(UaUniString(u"abcabcx"), 0), -1);
    EXPECT_EQ(s.indexOf(u'c', 3), 5);
    EXPECT_EQ(s.lastIndexOf(u'a'), 3);
    EXPECT_EQ(s.lastIndexOf(u'a', 2), 0);
    EXPECT_EQ(s.lastIndexOf(u'a', 6), -1);
    EXPECT_TRUE(s.startsWith(UaUniString(u"abc")));
    EXPECT_FALSE(s.startsWith(UaUniString()));
    EXPECT_FALSE(UaUniString(u"ab").startsWith(UaUniString(u"abc")));
}

TEST(UaUniString, Replacing)
{
    UaUniString s(u"a.b.c");
    s.replace(UaUniString(u"."), UaUniString(u"::"));
    EXPECT_EQ(text(s), u"a::b::c");
    UaUniString overlap(u"aaaa");
    overlap.replace(UaUniString(u"aa"), UaUniString(u"b"));
    EXPECT_EQ(text(overlap), u"bb");
    // An empty pattern leaves the string as it is (and returns).
    UaUniString unchanged(u"abc");
    unchanged.replace(UaUniString(), UaUniString(u"x"));
    EXPECT_EQ(text(unchanged), u"abc");

    UaUniString positional(u"abcdef");
    positional.replace(1, 2, UaUniString(u"XYZ"));
    EXPECT_EQ(text(positional), u"aXYZdef");
    positional.replace(5, 2, UaUniString(u"!"));
    EXPECT_EQ(text(positional), u"aXYZd!");
    positional.replace(6, 0, UaUniString(u"?"));
    positional.replace(-1, 1, UaUniString(u"?"));
    positional.replace(2, 9, UaUniString(u"?"));
    EXPECT_EQ(text(positional), u"aXYZd!");

    UaUniString shared(u"abc");
    UaUniString copy(shared);
    shared.setAt(1, u'B');
    shared.setAt(3, u'X');
    shared.setAt(-1, u'X');
    EXPECT_EQ(text(shared), u"aBc");
    EXPECT_EQ(text(copy), u"abc");
}

TEST(UaUniString, SplitDropsEmptyPieces)
{
    EXPECT_EQ(items(UaUniString(u"a/b//c/").split(UaUniString(u"/"))),
              (std::vector<std::u16string>{u"a", u"b", u"c"}));
    EXPECT_EQ(items(UaUniString(u"//x").split(UaUniString(u"//"))), (std::vector<std::u16string>{u"x"}));
    EXPECT_EQ(items(UaUniString(u"whole").split(UaUniString(u","))), (std::vector<std::u16string>{u"whole"}));
    EXPECT_EQ(UaUniString(u"///").split(UaUniString(u"/")).count(), 0);
}

TEST(UaUniString, Comparison)
{
    struct Row
    {
        const char16_t* a;
        const char16_t* b;
        bool caseSensitive;
        bool less;
        bool greater;
    };
    const Row rows[] = {
        {u"a", u"b", true, true, false},       {u"B", u"a", true, true, false},
        {u"B", u"a", false, false, true},      {u"ab", u"abc", true, true, false},
        {u"ABC", u"abc", false, false, false}, {u"\u00c9", u"\u00e9", false, true, false},
    };
    for (const Row& r : rows)
    {
        UaUniString a(r.a), b(r.b);
        EXPECT_EQ(a.lessThan(b, r.caseSensitive), r.less);
        EXPECT_EQ(a.greaterThan(b, r.caseSensitive), r.greater);
    }
}

TEST(UaUniStringList, InsertRefusesPositionsOutsideTheList)
{
    UaUniStringList list;
    EXPECT_EQ(list.append(UaUniString(u"b")), OpcUa_Good);
    EXPECT_EQ(list.prepend(UaUniString(u"a")), OpcUa_Good);
    EXPECT_EQ(list.insert(2, UaUniString(u"d")), OpcUa_Good);
    EXPECT_EQ(list.insert(2, UaUniString(u"c")), OpcUa_Good);
    EXPECT_EQ(list.insert(-1, UaUniString(u"x")), OpcUa_BadInvalidArgument);
    EXPECT_EQ(list.insert(5, UaUniString(u"x")), OpcUa_BadInvalidArgument);
    EXPECT_EQ(items(list), (std::vector<std::u16string>{u"a", u"b", u"c", u"d"}));
}

TEST(UaUniStringList, GrowsResizesCopiesAndClears)
{
    UaUniStringList list(3);
    EXPECT_EQ(list.capacity(), 3);
    for (int i = 0; i < 25; ++i)
        ASSERT_EQ(list.append(UaUniString(std::u16string(1, static_cast<char16_t>(u'A' + i)).c_str())),
                  OpcUa_Good);
    EXPECT_EQ(list.count(), 25);
    EXPECT_EQ(list.capacity(), 33);
    EXPECT_EQ(text(list.at(24)), u"Y");

    UaUniStringList copy(list);
    EXPECT_EQ(items(copy), items(list));
    EXPECT_GE(copy.capacity(), list.capacity());

    list.resize(2);
    EXPECT_EQ(items(list), (std::vector<std::u16string>{u"A", u"B"}));
    list.resize(4);
    EXPECT_EQ(items(list), (std::vector<std::u16string>{u"A", u"B", u"", u""}));
    EXPECT_EQ(copy.count(), 25);

    copy = list;
    EXPECT_EQ(copy.count(), 4);
    copy.clear();
    EXPECT_EQ(copy.count(), 0);
    EXPECT_EQ(copy.capacity(), 0);
    copy.clear();
}

TEST(UaUniStringList, CombSort)
{
    UaUniStringList list;
    for (const char16_t* s : {u"b", u"A", u"a"})
        list.append(UaUniString(s));
    list.sort(true, false);
    std::vector<std::u16string> sorted = items(list);
    EXPECT_EQ(sorted[2], u"b");

    UaUniStringList many;
    const char16_t* words[] = {u"pear", u"Apple", u"fig",   u"kiwi",  u"banana", u"cherry", u"date",
                               u"lime", u"grape", u"melon", u"olive", u"plum",   u"quince", u"apple"};
    for (const char16_t* w : words)
        many.append(UaUniString(w));
    many.sort(true, true);
    for (int i = 1; i < many.count(); ++i)
        EXPECT_FALSE(many.at(i - 1).greaterThan(many.at(i), true));
    many.sort(false, true);
    for (int i = 1; i < many.count(); ++i)
        EXPECT_FALSE(many.at(i - 1).lessThan(many.at(i), true));
    EXPECT_EQ(many.count(), 14);
}
