#include "uastring.h"

#include <gtest/gtest.h>

#include <string>

TEST(UaStringLike, MatchTable)
{
    struct Row
    {
        const char* text;
        const char* pattern;
        bool matches;
    };
    const Row rows[] = {
        {"abc", "a%c", true},
        {"abc", "a_c", true},
        {"abc", "[a-c]bc", true},
        {"abc", "[^x]bc", true},
        {"abc", "%", true},
        {"abc", "a_", false},
        {"abc", "[b-c]bc", false},
        {"abc", "ab", false},
        {"abxc", "a%c", true},
        {"ac", "a%c", true},
        {"100%", "100[%]", true},
        {"%", "\\%", true},
        {"a", "\\%", false},
        {"", "", true},
        {"a", "", false},
        {"", "%", true},
        {"", "_", false},
        {"", "%%", true},
        {"abcbc", "%bc", true},
        {"abcbd", "%bc", false},
        {"aXbXc", "a%b%c", true},
        {"\xC3\xA9t\xC3\xA9", "_t_", true},
        {"\xC3\xA9", "[\xC3\xA9]", true},
        {"b", "[^\xC3\xA9]", true},
        {"a-b", "a[-]b", true},
        {"a_b", "a\\_b", true},
        {"axb", "a\\_b", false},
        {"a[b", "a\\[b", true},
        {"a\\b", "a\\\\b", true},
        {"5", "[0-9]", true},
        {"x", "[0-9]", false},
        {"Q", "[A-Z]", true},
        {"abc", "%c%", true},
        {"abc", "a%d", false},
        {"aaa", "%a%a%a%", true},
        {"aa", "%a%a%a%", false},
    };
    for (const Row& r : rows)
    {
        SCOPED_TRACE(std::string(r.text) + " LIKE " + r.pattern);
        EXPECT_EQ(UaString(r.text).like(UaString(r.pattern)), r.matches);
    }
}

TEST(UaStringLike, InvalidPatternsMatchNothing)
{
    const char* invalid[] = {"[a-Z]", "[z-a]", "[abc", "abc\\",        "\\a",          "[]",   "a]",
                             "[a[b]", "[^",    "[a-",  "[a-\xC3\xA9]", "[\xC3\xA9-z]", "[0-a]"};
    for (const char* pattern : invalid)
    {
        SCOPED_TRACE(pattern);
        EXPECT_FALSE(UaString::isValidLikePattern(UaString(pattern)));
        EXPECT_FALSE(UaString(pattern).like(UaString(pattern)));
        EXPECT_FALSE(UaString("abc").like(UaString(pattern)));
    }
    const char* valid[] = {"", "%", "a_c", "[-a]", "[a-c]", "\\\\", "\\[", "[^a]", "-", "a-b"};
    for (const char* pattern : valid)
    {
        SCOPED_TRACE(pattern);
        EXPECT_TRUE(UaString::isValidLikePattern(UaString(pattern)));
    }
}

TEST(UaStringLike, TruncatedSequencesStayInsideTheText)
{
    // Cut-off sequences at the end of text and pattern, in exactly sized buffers for the sanitizers.
    const char text[] = {'a', '\xE2', '\x82'};
    const char pattern[] = {'a', '_', '_'};
    UaString s = UaString::fromBytes(text, 3);
    EXPECT_TRUE(s.like(UaString::fromBytes(pattern, 3)));
    EXPECT_TRUE(s.like(UaString("a%")));
    EXPECT_FALSE(s.like(UaString("a_")));
    const char cutPattern[] = {'[', '\xE2'};
    EXPECT_FALSE(UaString::isValidLikePattern(UaString::fromBytes(cutPattern, 2)));
}
