#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

TEST(Text, Utf8AndUtf16RoundTrip)
{
    const struct
    {
        std::string utf8;
        std::u16string utf16;
    } cases[] = {
        {"", u""},
        {"Hard Disk", u"Hard Disk"},
        {"Gr\xC3\xBC\xC3\x9F"
         "e",
         u"Gr\u00FC\u00DFe"},
        {"\xE2\x82\xAC", u"\u20AC"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"}, // surrogate pair
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(os::toUtf16(c.utf8), c.utf16) << c.utf8;
        EXPECT_EQ(os::toUtf8(c.utf16), c.utf8) << c.utf8;
    }
}

TEST(Text, IllFormedInputBecomesReplacementCharacter)
{
    EXPECT_EQ(os::toUtf16("a\xFF"
                          "b"),
              u"a\uFFFDb");
    EXPECT_EQ(os::toUtf16("a\xC3"), u"a\uFFFD");                                        // cut sequence
    EXPECT_EQ(os::toUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx"); // lone surrogate
}

TEST(Text, WideTextToIntegerTakesLeadingDigitsAndClamps)
{
    const struct
    {
        const char16_t* text;
        int value;
    } cases[] = {
        {u"7000", 7000},
        {u" \t\r\n\v\f7000", 7000},
        {u"7000 and more", 7000},
        {u"+12", 12},
        {u"-5", -5},
        {u"-0", 0},
        {u"", 0},
        {u"abc", 0},
        {u"- 5", 0},
        {u"+-5", 0},
        {u"\u00A05", 0}, // only the ASCII blanks are skipped
        {u"0x10", 0},
        {u"000000000000000000042", 42},
        {u"2147483647", 2147483647},
        {u"2147483648", 2147483647},
        {u"99999999999999999999999", 2147483647},
        {u"-2147483648", -2147483647 - 1},
        {u"-2147483649", -2147483647 - 1},
        {u"-99999999999999999999999", -2147483647 - 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(_wtoi(c.text), c.value) << os::toUtf8(c.text);
    EXPECT_EQ(_wtoi(nullptr), 0);
}

TEST(Text, CodePageConversionsReportNeededSize)
{
    const char* text = "Temp \xE2\x82\xAC";
    const int needed = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    ASSERT_EQ(needed, 7); // six characters and the terminator
    WCHAR wide[7];
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, 3), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, 7), 7);
    EXPECT_EQ(std::u16string(wide), u"Temp \u20AC");

    // The device's single-byte code page holds the euro sign at 0x80.
    char narrow[8];
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof narrow, nullptr, nullptr), 7);
    EXPECT_STREQ(narrow, "Temp \x80");
    BOOL usedDefault = FALSE;
    const WCHAR unmappable[] = u"\u4E2D";
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, unmappable, 1, narrow, 1, nullptr, &usedDefault), 1);
    EXPECT_EQ(narrow[0], '?');
    EXPECT_TRUE(usedDefault);
}

TEST(Text, LastErrorIsPerThread)
{
    SetLastError(42);
    // Shared with the thread, which may outlive a failed wait here.
    auto seenByOther = std::make_shared<DWORD>(1);
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID parameter) -> DWORD
        {
            const std::unique_ptr<std::shared_ptr<DWORD>> seen(
                static_cast<std::shared_ptr<DWORD>*>(parameter));
            **seen = GetLastError();
            SetLastError(7);
            return 0;
        },
        new std::shared_ptr<DWORD>(seenByOther), 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 30000), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(thread);
    EXPECT_EQ(*seenByOther, 0u);
    EXPECT_EQ(GetLastError(), 42u);
}

TEST(Text, GuidTextForms)
{
    const GUID guid = {0x12345678, 0x9ABC, 0xDEF0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
    EXPECT_EQ(os::guidToString(guid), "{12345678-9ABC-DEF0-0123-456789ABCDEF}");
    GUID parsed{};
    ASSERT_TRUE(os::guidFromString("{12345678-9abc-def0-0123-456789abcdef}", parsed));
    EXPECT_EQ(parsed, guid);
    EXPECT_FALSE(os::guidFromString("{12345678-9abc-def0-0123-456789abcde}", parsed));
    EXPECT_FALSE(os::guidFromString("12345678x9abc-def0-0123-456789abcdef", parsed));
}
