// ZrConfigCore loaded by name, as its callers load it, on a temporary device root.
#include <test_support.h>
#include <zrconfigcore/zrconfig.h>

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace
{
using Rule = std::array<uint8_t, ZRCONFIG_RULE_SIZE>;

class ZrConfigCoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_module = LoadLibraryW(u"ZrConfigCore.dll");
        ASSERT_NE(m_module, nullptr);
        m_io = reinterpret_cast<decltype(m_io)>(GetProcAddress(m_module, "ZrConfigIO"));
        m_fail = reinterpret_cast<decltype(m_fail)>(GetProcAddress(m_module, "ZrConfigTestFailCall"));
        m_log = reinterpret_cast<decltype(m_log)>(GetProcAddress(m_module, "ZrConfigTestCallLog"));
        m_reset = reinterpret_cast<decltype(m_reset)>(GetProcAddress(m_module, "ZrConfigTestReset"));
        m_restart = reinterpret_cast<decltype(m_restart)>(GetProcAddress(m_module, "ZrConfigTestRestart"));
        ASSERT_TRUE(m_io && m_fail && m_log && m_reset && m_restart);
        m_reset();
    }
    void TearDown() override
    {
        if (m_reset)
            m_reset();
        if (m_module)
            FreeLibrary(m_module);
    }

    LONG call(DWORD code, DWORD index, void* buffer, DWORD size) { return m_io(code, index, buffer, &size); }
    LONG setSwitch(DWORD code, DWORD value)
    {
        uint8_t unused = 0;
        return call(code, value, &unused, 1);
    }
    // The switch's value, or -1 when the call fails.
    long getSwitch(DWORD code)
    {
        DWORD value = 7;
        return call(code, 0, &value, 4) == 0 ? static_cast<long>(value) : -1;
    }
    LONG append(uint8_t tag)
    {
        Rule rule{};
        rule.fill(tag);
        return call(ZRCONFIG_APPEND_RULE, 0, rule.data(), ZRCONFIG_RULE_SIZE);
    }
    // The first byte of every stored rule, in order.
    std::vector<uint8_t> tags()
    {
        std::vector<uint8_t> found;
        for (DWORD n = 0;; ++n)
        {
            Rule rule{};
            if (call(ZRCONFIG_READ_RULE, n, rule.data(), ZRCONFIG_RULE_SIZE) != 0)
                break;
            found.push_back(rule[0]);
        }
        return found;
    }
    std::string file(const std::string& name) const
    {
        std::ifstream in(m_root.path() + "/" + name, std::ios::binary);
        std::stringstream contents;
        contents << in.rdbuf();
        return contents.str();
    }
    bool exists(const std::string& name) const { return std::filesystem::exists(m_root.path() + "/" + name); }

    ostest::TempDeviceRoot m_root;
    HMODULE m_module = nullptr;
    LONG (*m_io)(DWORD, DWORD, LPVOID, LPDWORD) = nullptr;
    void (*m_fail)(DWORD, DWORD, LONG) = nullptr;
    DWORD (*m_log)(ZrConfigCall*, DWORD) = nullptr;
    void (*m_reset)() = nullptr;
    void (*m_restart)() = nullptr;
};

TEST_F(ZrConfigCoreTest, ANewDeviceHasTheFirewallOffAndNoRules)
{
    EXPECT_EQ(getSwitch(ZRCONFIG_GET_FIREWALL), 0);
    EXPECT_EQ(getSwitch(ZRCONFIG_GET_PERSISTENT), 0);
    EXPECT_TRUE(tags().empty());
    uint8_t unused = 0;
    EXPECT_EQ(call(ZRCONFIG_DELETE_FIRST, 0, &unused, 1), ZRCONFIG_E_NO_RULE);
    EXPECT_FALSE(exists("Windows/ZrFirewall.txt"));
}

TEST_F(ZrConfigCoreTest, WrongSizesUnknownCodesAndValuesAreRefused)
{
    Rule rule{};
    DWORD value = 0;
    struct Case
    {
        const char* name;
        DWORD code;
        DWORD index;
        void* buffer;
        DWORD size;
        LONG result;
    } cases[] = {
        {"get with 2 bytes", ZRCONFIG_GET_FIREWALL, 0, &value, 2, ZRCONFIG_E_BAD_SIZE},
        {"get with 8 bytes", ZRCONFIG_GET_PERSISTENT, 0, &value, 8, ZRCONFIG_E_BAD_SIZE},
        {"get without a buffer", ZRCONFIG_GET_FIREWALL, 0, nullptr, 4, ZRCONFIG_E_BAD_SIZE},
        {"set with 4 bytes", ZRCONFIG_SET_FIREWALL, 1, &value, 4, ZRCONFIG_E_BAD_SIZE},
        {"set to 2", ZRCONFIG_SET_PERSISTENT, 2, &value, 1, ZRCONFIG_E_BAD_VALUE},
        {"append 343 bytes", ZRCONFIG_APPEND_RULE, 0, rule.data(), 343, ZRCONFIG_E_BAD_SIZE},
        {"append without a buffer", ZRCONFIG_APPEND_RULE, 0, nullptr, 344, ZRCONFIG_E_BAD_SIZE},
        {"read 345 bytes", ZRCONFIG_READ_RULE, 0, rule.data(), 345, ZRCONFIG_E_BAD_SIZE},
        {"read past the end", ZRCONFIG_READ_RULE, 0, rule.data(), 344, ZRCONFIG_E_NO_RULE},
        {"delete with size 0", ZRCONFIG_DELETE_FIRST, 0, &value, 0, ZRCONFIG_E_BAD_SIZE},
        {"the unlisted code 0xA0906", 0xA0906, 0, &value, 4, ZRCONFIG_E_UNKNOWN_CODE},
        {"code 0", 0, 0, &value, 4, ZRCONFIG_E_UNKNOWN_CODE},
    };
    for (const Case& c : cases)
        EXPECT_EQ(call(c.code, c.index, c.buffer, c.size), c.result) << c.name;
    EXPECT_EQ(m_io(ZRCONFIG_GET_FIREWALL, 0, &value, nullptr), ZRCONFIG_E_BAD_SIZE);
    // Nothing was stored by any of them.
    EXPECT_FALSE(exists("Windows/ZrFirewall.txt"));
    EXPECT_FALSE(exists("Temp/ZrFirewallVolatile.txt"));
}

TEST_F(ZrConfigCoreTest, RulesAreAppendedReadAndDeletedFromTheFront)
{
    for (uint8_t tag : {1, 2, 3})
        ASSERT_EQ(append(tag), 0);
    EXPECT_EQ(tags(), (std::vector<uint8_t>{1, 2, 3}));
    // A record comes back byte for byte.
    Rule sent{};
    for (size_t i = 0; i < sent.size(); ++i)
        sent[i] = static_cast<uint8_t>(i * 7);
    ASSERT_EQ(call(ZRCONFIG_APPEND_RULE, 0, sent.data(), ZRCONFIG_RULE_SIZE), 0);
    Rule back{};
    ASSERT_EQ(call(ZRCONFIG_READ_RULE, 3, back.data(), ZRCONFIG_RULE_SIZE), 0);
    EXPECT_EQ(back, sent);

    uint8_t unused = 0;
    ASSERT_EQ(call(ZRCONFIG_DELETE_FIRST, 0, &unused, 1), 0);
    EXPECT_EQ(tags(), (std::vector<uint8_t>{2, 3, 0}));
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(call(ZRCONFIG_DELETE_FIRST, 0, &unused, 1), 0);
    EXPECT_EQ(call(ZRCONFIG_DELETE_FIRST, 0, &unused, 1), ZRCONFIG_E_NO_RULE);
}

TEST_F(ZrConfigCoreTest, PersistentSettingsSurviveARestartAndVolatileOnesDoNot)
{
    // Persistent: the switch and the rules are in the persistent file.
    ASSERT_EQ(setSwitch(ZRCONFIG_SET_PERSISTENT, 1), 0);
    ASSERT_EQ(setSwitch(ZRCONFIG_SET_FIREWALL, 1), 0);
    ASSERT_EQ(append(0x11), 0);
    EXPECT_TRUE(exists("Windows/ZrFirewall.txt"));
    EXPECT_FALSE(exists("Temp/ZrFirewallVolatile.txt"));
    m_restart();
    EXPECT_EQ(getSwitch(ZRCONFIG_GET_FIREWALL), 1);
    EXPECT_EQ(getSwitch(ZRCONFIG_GET_PERSISTENT), 1);
    EXPECT_EQ(tags(), std::vector<uint8_t>{0x11});

    // Volatile: changes are seen until a restart brings the persistent settings back.
    const std::string persistent = file("Windows/ZrFirewall.txt");
    ASSERT_EQ(setSwitch(ZRCONFIG_SET_PERSISTENT, 0), 0);
    ASSERT_EQ(setSwitch(ZRCONFIG_SET_FIREWALL, 0), 0);
    ASSERT_EQ(append(0x22), 0);
    EXPECT_EQ(getSwitch(ZRCONFIG_GET_FIREWALL), 0);
    EXPECT_EQ(tags(), (std::vector<uint8_t>{0x11, 0x22}));
    EXPECT_EQ(file("Windows/ZrFirewall.txt"), persistent);
    m_restart();
    EXPECT_FALSE(exists("Temp/ZrFirewallVolatile.txt"));
    EXPECT_EQ(getSwitch(ZRCONFIG_GET_FIREWALL), 1);
    EXPECT_EQ(getSwitch(ZRCONFIG_GET_PERSISTENT), 1);
    EXPECT_EQ(tags(), std::vector<uint8_t>{0x11});
}

TEST_F(ZrConfigCoreTest, TheFileIsReadableAndDamagedLinesAreSkipped)
{
    ASSERT_EQ(setSwitch(ZRCONFIG_SET_PERSISTENT, 1), 0);
    Rule rule{};
    const std::u16string display = u"Allow TCP port 80";
    std::memcpy(rule.data() + 216, display.data(), display.size() * 2);
    ASSERT_EQ(call(ZRCONFIG_APPEND_RULE, 0, rule.data(), ZRCONFIG_RULE_SIZE), 0);
    const std::string text = file("Windows/ZrFirewall.txt");
    EXPECT_NE(text.find("enabled 0\npersistent 1\n# Allow TCP port 80\nrule 0000"), std::string::npos)
        << text;

    std::ofstream(m_root.path() + "/Windows/ZrFirewall.txt")
        << text << "rule 00\nrule " << std::string(688, 'G') << "\nenabled yes\nenabled 1 2\n"
        << "persistent 1\nrule " << std::string(688, 'a') << "\n";
    EXPECT_EQ(getSwitch(ZRCONFIG_GET_FIREWALL), 0);
    EXPECT_EQ(tags(), (std::vector<uint8_t>{0x00, 0xAA}));
}

TEST_F(ZrConfigCoreTest, TheListHoldsAtMost4096Rules)
{
    ASSERT_EQ(setSwitch(ZRCONFIG_SET_PERSISTENT, 1), 0);
    std::string text = "persistent 1\n";
    for (int i = 0; i < 4096; ++i)
        text += "rule " + std::string(688, '0') + "\n";
    std::ofstream(m_root.path() + "/Windows/ZrFirewall.txt") << text;
    EXPECT_EQ(append(1), ZRCONFIG_E_FULL);
    Rule rule{};
    EXPECT_EQ(call(ZRCONFIG_READ_RULE, 4095, rule.data(), ZRCONFIG_RULE_SIZE), 0);
    EXPECT_EQ(call(ZRCONFIG_READ_RULE, 4096, rule.data(), ZRCONFIG_RULE_SIZE), ZRCONFIG_E_NO_RULE);
}

TEST_F(ZrConfigCoreTest, PlannedFailuresHitTheNthCallOfTheirCodeOnly)
{
    m_fail(ZRCONFIG_APPEND_RULE, 2, -77);
    m_fail(ZRCONFIG_GET_FIREWALL, 1, 5);
    EXPECT_EQ(append(1), 0);
    EXPECT_EQ(getSwitch(ZRCONFIG_GET_FIREWALL), -1);
    EXPECT_EQ(append(2), -77);
    EXPECT_EQ(append(3), 0);
    EXPECT_EQ(getSwitch(ZRCONFIG_GET_FIREWALL), 0);
    EXPECT_EQ(tags(), (std::vector<uint8_t>{1, 3}));

    std::vector<ZrConfigCall> calls(16);
    const DWORD count = m_log(calls.data(), static_cast<DWORD>(calls.size()));
    ASSERT_EQ(count, 8u);
    const std::vector<std::pair<DWORD, LONG>> expected{
        {ZRCONFIG_APPEND_RULE, 0},   {ZRCONFIG_GET_FIREWALL, 5},
        {ZRCONFIG_APPEND_RULE, -77}, {ZRCONFIG_APPEND_RULE, 0},
        {ZRCONFIG_GET_FIREWALL, 0},  {ZRCONFIG_READ_RULE, 0},
        {ZRCONFIG_READ_RULE, 0},     {ZRCONFIG_READ_RULE, ZRCONFIG_E_NO_RULE},
    };
    for (size_t i = 0; i < expected.size(); ++i)
    {
        EXPECT_EQ(calls[i].code, expected[i].first) << i;
        EXPECT_EQ(calls[i].result, expected[i].second) << i;
    }
    EXPECT_EQ(calls[7].index, 2u);
    m_reset();
    EXPECT_EQ(m_log(calls.data(), 0), 0u);
}
} // namespace
