// The trace level in the registry and the server trace it switches.
#include "test_support.h"

#include "opcwatchtrace.h"

#include <uatrace.h>

#include <os/text.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

namespace
{
const WCHAR kKey[] = u"SOFTWARE\\Corvanta\\Opcwatch\\Configuration";
const std::u16string kProgramDirectory = u"\\Program";

class TraceSettingsTest : public ::testing::Test
{
protected:
    void SetUp() override { std::filesystem::create_directories(m_root.path() + "/Program"); }

    void TearDown() override
    {
        closeServerTrace();
        UaTrace::setActive(false);
    }

    // The registry value as type and 32-bit number; nothing when the key or value is missing.
    static std::optional<std::pair<DWORD, DWORD>> storedLevel()
    {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return std::nullopt;
        DWORD value = 0;
        DWORD type = 0;
        DWORD size = sizeof value;
        const LONG result =
            RegQueryValueExW(key, u"TraceLevel", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(key);
        if (result != ERROR_SUCCESS)
            return std::nullopt;
        return std::make_pair(type, value);
    }

    static void store(DWORD type, const void* data, DWORD size)
    {
        HKEY key = nullptr;
        ASSERT_EQ(
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key, u"TraceLevel", 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    std::string traceFile(const std::string& name = "_Opcwatch.log") const
    {
        return m_root.path() + "/Program/" + name;
    }

    std::vector<std::string> traceLines() const
    {
        std::ifstream in(traceFile());
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    bool traceHas(const std::string& text) const
    {
        for (const std::string& line : traceLines())
            if (line.size() >= text.size() && line.compare(line.size() - text.size(), text.size(), text) == 0)
                return true;
        return false;
    }

    ostest::TempDeviceRoot m_root;
};

TEST_F(TraceSettingsTest, AMissingOrForeignLevelIsWrittenAsZero)
{
    EXPECT_EQ(storedLevel(), std::nullopt);
    EXPECT_EQ(readTraceLevel(), 0u);
    EXPECT_EQ(storedLevel(), std::make_pair(DWORD{REG_DWORD}, DWORD{0}));

    const DWORD three = 3;
    store(REG_DWORD, &three, sizeof three);
    EXPECT_EQ(readTraceLevel(), 3u);

    // Four bytes of text are no level.
    store(REG_SZ, u"5", 4);
    EXPECT_EQ(readTraceLevel(), 0u);
    EXPECT_EQ(storedLevel(), std::make_pair(DWORD{REG_DWORD}, DWORD{0}));
}

TEST_F(TraceSettingsTest, TheLevelSwitchesTheTraceBesideTheProgram)
{
    applyTraceSettings(kProgramDirectory);
    EXPECT_FALSE(UaTrace::isActive());
    EXPECT_FALSE(std::filesystem::exists(traceFile()));

    const DWORD three = 3;
    store(REG_DWORD, &three, sizeof three);
    applyTraceSettings(kProgramDirectory);
    EXPECT_TRUE(UaTrace::isActive());
    EXPECT_EQ(UaTrace::getTraceLevel(), 3);
    UaTrace::traceLevel3("level three");
    UaTrace::traceLevel4("level four");
    ASSERT_FALSE(traceLines().empty());
    EXPECT_EQ(traceLines().front(), "** QbOpcUaServer: start trace");
    EXPECT_TRUE(traceHas("level three"));
    EXPECT_FALSE(traceHas("level four"));

    // A new level changes the open trace: same file, no new header.
    writeTraceLevel(5, kProgramDirectory);
    EXPECT_EQ(storedLevel(), std::make_pair(DWORD{REG_DWORD}, DWORD{5}));
    EXPECT_EQ(UaTrace::getTraceLevel(), 5);
    UaTrace::traceLevel5("level five");
    EXPECT_TRUE(traceHas("level three"));
    EXPECT_TRUE(traceHas("level five"));

    writeTraceLevel(0, kProgramDirectory);
    EXPECT_FALSE(UaTrace::isActive());

    // After a close the next start sets the trace up afresh, keeping the old file as a backup.
    closeServerTrace();
    writeTraceLevel(2, kProgramDirectory);
    EXPECT_TRUE(UaTrace::isActive());
    EXPECT_EQ(UaTrace::getTraceLevel(), 2);
    EXPECT_TRUE(std::filesystem::exists(traceFile("_Opcwatch_1.log")));
    EXPECT_FALSE(traceHas("level three"));
}

TEST_F(TraceSettingsTest, WritingWithoutTheKeyDoesNothing)
{
    writeTraceLevel(4, kProgramDirectory);
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_FALSE(UaTrace::isActive());
    EXPECT_FALSE(std::filesystem::exists(traceFile()));
}
} // namespace
