// Text forms: single-byte text of the device in, wide text out, and back.
#include "fake_api_test.h"

#include <boardkit.h>

#include <cstring>
#include <string>

namespace boardkit::testing
{
namespace
{

constexpr DWORD kDriver = 0x10000000;

std::vector<BYTE> record(const std::string& text, size_t size)
{
    std::vector<BYTE> bytes(size, 0);
    std::memcpy(bytes.data(), text.data(), std::min(text.size(), size));
    return bytes;
}

TEST_F(FakeApiTest, TextFitsExactlyOrNotAtAll)
{
    // "Board 5" is 7 characters: 8 with the terminator.
    wmfake::answer(0, 1, bytes(record("Board 5", 16)));
    struct Case
    {
        DWORD size;
        bool fits;
    };
    for (const Case& c : {Case{8, true}, Case{7, false}, Case{1, false}, Case{40, true}})
    {
        SCOPED_TRACE(c.size);
        char narrow[40];
        WCHAR wide[40];
        std::memset(narrow, 'x', sizeof narrow);
        std::fill(std::begin(wide), std::end(wide), u'x');
        EXPECT_EQ(WmGenGetMainboardTypeExA(narrow, c.size) != FALSE, c.fits);
        EXPECT_EQ(GetLastError(), c.fits ? 0u : static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(WmGenGetMainboardTypeExW(wide, c.size) != FALSE, c.fits);
        EXPECT_EQ(std::string(narrow), c.fits ? "Board 5" : "");
        EXPECT_EQ(std::u16string(wide), c.fits ? u"Board 5" : u"");
        // Nothing is written beyond the size the caller gave.
        if (c.size < 40)
        {
            EXPECT_EQ(narrow[c.size], 'x');
            EXPECT_EQ(wide[c.size], u'x');
        }
    }
    char narrow[8];
    EXPECT_FALSE(WmGenGetMainboardTypeExA(narrow, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(WmGenGetMainboardTypeExW(nullptr, 8));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(FakeApiTest, DeviceCodePageBecomesUtf16)
{
    // Windows-1252: 0xFC ü, 0xDF ß, 0x80 €, 0x99 ™.
    wmfake::answer(kDriver, 7, bytes(record("Gr\xFC\xDF \x80 \x99", 48)));
    WCHAR wide[48];
    ASSERT_TRUE(GetProcBrandStringExW(wide, 48));
    EXPECT_EQ(std::u16string(wide), u"Grüß € ™");
    char narrow[48];
    ASSERT_TRUE(GetProcBrandStringExA(narrow, 48));
    EXPECT_EQ(std::string(narrow), "Gr\xFC\xDF \x80 \x99");
}

TEST_F(FakeApiTest, ARecordFullToTheEdgeKeepsItsLength)
{
    // A serial number of all 17 bytes has no terminator of its own.
    wmfake::answer(0x4000, 6, bytes(record("ABCDEFGHIJKLMNOPQ", 17)));
    char text[18];
    ASSERT_TRUE(PwrCtrlGetSerialNumberExA(text, sizeof text));
    EXPECT_EQ(std::string(text), "ABCDEFGHIJKLMNOPQ");
    EXPECT_FALSE(PwrCtrlGetSerialNumberExA(text, 17));
    EXPECT_EQ(text[0], 0);

    wmfake::answer(0x4000, 12, bytes(record("T-0042", 7)));
    WCHAR wide[7];
    ASSERT_TRUE(PwrCtrlGetTestNumberExW(wide, 7));
    EXPECT_EQ(std::u16string(wide), u"T-0042");
}

TEST_F(FakeApiTest, AFailedReadLeavesTheTextEmpty)
{
    wmfake::answer(0, 1, failure(0x20000701));
    WCHAR wide[16];
    std::fill(std::begin(wide), std::end(wide), u'x');
    EXPECT_FALSE(WmGenGetMainboardTypeExW(wide, 16));
    EXPECT_EQ(GetLastError(), 0x20000701u);
    for (WCHAR c : wide)
    {
        EXPECT_EQ(c, 0);
    }
}

TEST_F(FakeApiTest, DisplayLinesAreSixteenCharactersAndAZero)
{
    struct Case
    {
        const char* name;
        std::function<BOOL()> call;
        std::string sent; // the 16 characters
    };
    const Case cases[] = {
        {"short text", [] { return ZrPwrSuppDisplayLine1("Volt 24.1"); }, "Volt 24.1"},
        {"exactly 16", [] { return ZrPwrSuppDisplayLine1ExA("0123456789ABCDEF"); }, "0123456789ABCDEF"},
        {"longer text is cut", [] { return ZrPwrSuppDisplayLine1ExA("0123456789ABCDEFGHIJ"); },
         "0123456789ABCDEF"},
        {"wide text in the code page", [] { return ZrPwrSuppDisplayLine1ExW(u"Temp 20°C €"); },
         "Temp 20\xB0"
         "C \x80"},
        {"wide text the code page lacks", [] { return ZrPwrSuppDisplayLine1ExW(u"Ω1"); }, "?1"},
        {"the C++ form", [] { return ZrPwrSuppDisplayLine1ExT(u"Grüß"); }, "Gr\xFC\xDF"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        wmfake::reset();
        ASSERT_TRUE(c.call());
        const auto calls = wmfake::calls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].offset, 97u);
        EXPECT_EQ(calls[0].input, record(c.sent, 17));
    }
    EXPECT_FALSE(ZrPwrSuppDisplayLine2(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(ZrPwrSuppDisplayLine2ExW(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(FakeApiTest, SmbusNamesOfOneToFifteenCharacters)
{
    struct Case
    {
        std::string name;
        DWORD error;
    };
    const Case cases[] = {
        {"", ERROR_BAD_LENGTH},
        {"P", 0},
        {"PSU-CONTROLLER1", 0},
        {"PSU-CONTROLLER12", ERROR_BAD_LENGTH},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::u16string wide(c.name.begin(), c.name.end());
        const std::function<BOOL(BYTE*, BYTE*)> forms[] = {
            [&](BYTE* s, BYTE* a) { return SMBusGetAddrByName(c.name.c_str(), s, a); },
            [&](BYTE* s, BYTE* a) { return SMBusGetAddrByNameExA(c.name.c_str(), s, a); },
            [&](BYTE* s, BYTE* a) { return SMBusGetAddrByNameExW(wide.c_str(), s, a); },
            [&](BYTE* s, BYTE* a) { return SMBusGetAddrByNameExT(wide.c_str(), s, a); },
        };
        for (const auto& form : forms)
        {
            wmfake::reset();
            wmfake::answer(0xF000, 2, bytes({1, 0x50}));
            BYTE segment = 0xEE, address = 0xEE;
            EXPECT_EQ(form(&segment, &address) != FALSE, c.error == 0);
            EXPECT_EQ(GetLastError(), c.error);
            EXPECT_EQ(segment, c.error == 0 ? 1 : 0);
            EXPECT_EQ(address, c.error == 0 ? 0x50 : 0);
            const auto calls = wmfake::calls();
            if (c.error != 0)
            {
                EXPECT_TRUE(calls.empty());
                continue;
            }
            ASSERT_EQ(calls.size(), 1u);
            std::vector<BYTE> sent(c.name.begin(), c.name.end());
            sent.push_back(0);
            EXPECT_EQ(calls[0].input, sent);
        }
    }
}

TEST_F(FakeApiTest, BootLoaderNameKeepsFifteenCharacters)
{
    struct Case
    {
        std::string answer; // as many bytes as delivered
        std::string name;
    };
    const Case cases[] = {
        {std::string("LOADER\0\0\0\0\0\0\0\0\0\0", 16), "LOADER"},
        {"0123456789ABCDEF", "0123456789ABCDE"},
        {"SHORT", "SHORT"},
        {"", ""},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        wmfake::answer(0xF000, 0, bytes(std::vector<BYTE>(c.answer.begin(), c.answer.end())));
        char narrow[32];
        WCHAR wide[32];
        ASSERT_TRUE(BootLoaderGetName(0, 0x50, narrow, sizeof narrow));
        EXPECT_EQ(std::string(narrow), c.name);
        ASSERT_TRUE(BootLoaderGetNameExT(0, 0x50, wide, 32));
        EXPECT_EQ(std::u16string(wide), std::u16string(c.name.begin(), c.name.end()));
    }
}

} // namespace
} // namespace boardkit::testing
