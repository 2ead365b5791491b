// The Firewall page on ZrConfigCore: the rule texts, the rule and ICMP dialogs, the list
// actions, and what Apply sends, in order, with failures injected into the core.
#include "setupdesk_fixture.h"

#include <firewall_page.h>
#include <icmp_dlg.h>
#include <resource.h>
#include <rule_dlg.h>
#include <setupdesk/testing/filtering_loader.h>
#include <warning_dlg.h>

#include <cstring>
#include <functional>
#include <map>

namespace
{
using namespace setupdesk;
using namespace setupdesk::test;
using setupdesk::testing::FilteringLoader;
using ui::testing::MessageRecord;
using ui::testing::ScriptedHost;

constexpr const char* kSaveFailed = "Failed to save settings!";

FirewallRule rule(uint32_t flags, uint32_t protocol, uint32_t low, uint32_t high,
                  const char16_t* address = u"", const char16_t* description = u"")
{
    FirewallRule made;
    made.flags = flags;
    made.protocol = protocol;
    made.portLow = low;
    made.portHigh = high;
    made.active = 1;
    setField(made.address, address);
    setField(made.description, description);
    setField(made.display, displayText(made));
    return made;
}

bool sameRecord(const FirewallRule& a, const FirewallRule& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(FirewallRuleText, AdditionsAreAppendedAndCutAt63Characters)
{
    struct Case
    {
        FirewallRule rule;
        const char* text;
    } cases[] = {
        {rule(0x41, 6, 80, 80), "Allow TCP port 80 from anywhere on the public network"},
        {rule(0x41, 17, 0, 65535), "Allow UDP all Ports from anywhere on the public network"},
        {rule(0x41, 6, 0, 0), "Allow TCP port 0 from anywhere on the public network"},
        {rule(0x41, 6, 1, 65535), "Allow TCP ports 1 to 65535 from anywhere on the public network"},
        {rule(0x40, 47, 0, 0), "Allow protocol 47 any Port from anywhere on the public network"},
        {rule(0x01, 0, 1000, 2000, u"10.0.0.1"),
         "Allow ports 1000 to 2000 from anywhere on the public network"},
        {rule(0x21, 0, 1000, 2000, u"10.0.0.1"), "Allow ports 1000 to 2000 only for IP 10.0.0.1"},
        {rule(0x20, 0, 0, 0, u"10.0.0.1"), "Allow any Port only for IP 10.0.0.1"},
        {rule(0x51, 255, 10000, 20000, u"192.168.100.100"),
         "Allow protocol 255 ports 10000 to 20000 only for subnet 192.168"},
        {rule(0x41, 200, 60000, 65534), "Allow protocol 200 ports 60000 to 65534 from anywhere on the pu"},
        {echoRule(), "Allow ICMP type 8, code 0"},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(fieldText(c.rule.display), c.text);
        EXPECT_LE(std::strlen(c.text), 63u);
    }
    // The echo rule as the ICMP dialog appends it.
    const FirewallRule echo = echoRule();
    EXPECT_EQ(echo.flags, 0x40u);
    EXPECT_EQ(echo.protocol, 1u);
    EXPECT_EQ(echo.portLow, 8u);
    EXPECT_EQ(echo.portHigh, 0u);
    EXPECT_EQ(echo.active, 1u);
    EXPECT_EQ(fieldText(echo.description), "Allow ICMP echo request");
    EXPECT_EQ(fieldText(echo.address), "");
    EXPECT_TRUE(isEchoRule(rule(0x40, 1, 0x10008, 0x20000)));
    EXPECT_FALSE(isEchoRule(rule(0x40, 1, 8, 1)));
    EXPECT_FALSE(isEchoRule(rule(0x40, 6, 8, 0)));
}

TEST(FirewallRuleText, DottedAddresses)
{
    for (const char* good : {"0.0.0.0", "192.168.1.254", "255.255.255.0", "10.0.0.1"})
        EXPECT_TRUE(isDottedIpv4(good)) << good;
    for (const char* bad : {"", "192.168.1", "1.2.3.4.5", "256.1.1.1", "1..2.3", "1.2.3.4 ", "a.b.c.d",
                            "1.2.3.0004", ".1.2.3", "1.2.3.4."})
        EXPECT_FALSE(isDottedIpv4(bad)) << bad;
}

class FirewallPageTest : public SetupdeskTest
{
protected:
    using Page = StartedPage<CFirewallPage>;

    void store(const std::vector<FirewallRule>& rules)
    {
        BYTE unused = 0;
        while (m_core.io(ZRCONFIG_DELETE_FIRST, 0, &unused, 1) == 0)
        {
        }
        for (FirewallRule made : rules)
            ASSERT_EQ(m_core.io(ZRCONFIG_APPEND_RULE, 0, &made, sizeof made), 0);
    }
    std::vector<FirewallRule> stored() const
    {
        std::vector<FirewallRule> rules;
        for (DWORD n = 0;; ++n)
        {
            FirewallRule read;
            if (m_core.io(ZRCONFIG_READ_RULE, n, &read, sizeof read) != 0)
                return rules;
            rules.push_back(read);
        }
    }
    long storedSwitch(DWORD code) const
    {
        DWORD value = 0;
        return m_core.io(code, 0, &value, 4) == 0 ? static_cast<long>(value) : -1;
    }
    static std::vector<std::string> row(const CFirewallPage& page, int index)
    {
        const ui::ListView& list = page.listView(IDC_RULES);
        return {list.itemText(index, 0), list.itemText(index, 1), list.itemText(index, 2)};
    }
    // Opens the rule dialog on the page and runs the script in it.
    void createRule(Page& started, std::function<void(ui::Dialog&)> script)
    {
        started.host.onModal(IDD_RULE, std::move(script));
        ASSERT_TRUE(started.host.click(started.page, IDC_CREATE_RULE).accepted());
    }

    ZrConfigCore m_core;
    FilteringLoader m_loader;
};

TEST_F(FirewallPageTest, TheStoredStateIsShown)
{
    BYTE unused = 0;
    ASSERT_EQ(m_core.io(ZRCONFIG_SET_FIREWALL, 1, &unused, 1), 0);
    FirewallRule inactive = rule(0x41, 6, 22, 22, u"", u"Shell");
    inactive.active = 0;
    store({rule(0x41, 6, 80, 80, u"", u"Web"), inactive});
    Page started(m_loader);
    const CFirewallPage& page = started.page;
    EXPECT_TRUE(page.isChecked(IDC_ENABLE_FIREWALL));
    EXPECT_FALSE(page.isChecked(IDC_PERSISTENT));
    ASSERT_EQ(page.listView(IDC_RULES).itemCount(), 2);
    EXPECT_EQ(row(page, 0), (std::vector<std::string>{"Allow TCP port 80 from anywhere on the public network",
                                                      "Web", "X"}));
    EXPECT_EQ(row(page, 1), (std::vector<std::string>{"Allow TCP port 22 from anywhere on the public network",
                                                      "Shell", ""}));
    EXPECT_EQ(page.listView(IDC_RULES).columnWidth(0), page.listView(IDC_RULES).clientWidth() - 200);
    EXPECT_EQ(page.listView(IDC_RULES).columnWidth(1), 150);
    EXPECT_EQ(page.listView(IDC_RULES).columnWidth(2), 50);
    EXPECT_FALSE(page.changed());

    // A failing read leaves its box clear.
    m_core.failCall(ZRCONFIG_GET_FIREWALL, 2, -1);
    m_core.failCall(ZRCONFIG_GET_PERSISTENT, 1, 1);
    ASSERT_EQ(m_core.io(ZRCONFIG_SET_PERSISTENT, 1, &unused, 1), 0);
    Page failing(m_loader);
    EXPECT_FALSE(failing.page.isChecked(IDC_ENABLE_FIREWALL));
    EXPECT_FALSE(failing.page.isChecked(IDC_PERSISTENT));
    EXPECT_EQ(failing.page.listView(IDC_RULES).itemCount(), 2);
}

TEST_F(FirewallPageTest, CreateRuleBuildsTheRecord)
{
    Page started(m_loader);
    createRule(started,
               [&](ui::Dialog& dialog)
               {
                   EXPECT_EQ(dialog.title(), "Create Rule");
                   EXPECT_EQ(dialog.combo(IDC_RULE_PROTOCOLS).text(), "TCP");
                   EXPECT_FALSE(dialog.control(IDC_RULE_PROTOCOLS).enabled());
                   started.host.click(dialog, IDC_RULE_PROTOCOL);
                   started.host.click(dialog, IDC_RULE_PORT);
                   started.host.type(dialog, IDC_RULE_PORT_MIN, "80");
                   started.host.type(dialog, IDC_RULE_PORT_MAX, "80");
                   started.host.type(dialog, IDC_RULE_DESCRIPTION, std::string(70, 'd'));
                   started.host.click(dialog, IDOK);
               });
    ASSERT_EQ(started.page.rules().size(), 1u);
    const FirewallRule& made = started.page.rules()[0];
    EXPECT_EQ(made.flags, 0x41u);
    EXPECT_EQ(made.protocol, 6u);
    EXPECT_EQ(made.portLow, 80u);
    EXPECT_EQ(made.portHigh, 80u);
    EXPECT_EQ(made.active, 1u);
    EXPECT_EQ(fieldText(made.description), std::string(63, 'd'));
    EXPECT_EQ(fieldText(made.display), "Allow TCP port 80 from anywhere on the public network");
    EXPECT_EQ(row(started.page, 0)[0], "Allow TCP port 80 from anywhere on the public network");
    EXPECT_TRUE(started.page.changed());
    EXPECT_FALSE(started.page.needsReset());
    EXPECT_FALSE(started.page.needsServiceRestart());

    // A typed protocol, UDP chosen from the list, and a subnet.
    createRule(started,
               [&](ui::Dialog& dialog)
               {
                   started.host.click(dialog, IDC_RULE_PROTOCOL);
                   started.host.type(dialog, IDC_RULE_PROTOCOLS, "47");
                   started.host.click(dialog, IDC_RULE_SUBNET);
                   started.host.type(dialog, IDC_RULE_ADDRESS, "192.168.4.0");
                   started.host.type(dialog, IDC_RULE_MASK, "255.255.255.0");
                   started.host.click(dialog, IDOK);
               });
    createRule(started,
               [&](ui::Dialog& dialog)
               {
                   started.host.click(dialog, IDC_RULE_PROTOCOL);
                   started.host.select(dialog, IDC_RULE_PROTOCOLS, 1);
                   started.host.click(dialog, IDOK);
               });
    ASSERT_EQ(started.page.rules().size(), 3u);
    const FirewallRule& typed = started.page.rules()[1];
    EXPECT_EQ(typed.flags, 0x50u);
    EXPECT_EQ(typed.protocol, 47u);
    EXPECT_EQ(fieldText(typed.address), "192.168.4.0");
    EXPECT_EQ(fieldText(typed.mask), "255.255.255.0");
    EXPECT_EQ(fieldText(typed.display), "Allow protocol 47 any Port only for subnet 192.168.4.0");
    EXPECT_EQ(started.page.rules()[2].protocol, 17u);
    EXPECT_EQ(started.host.unusedScript(), 0u);
    EXPECT_TRUE(started.host.messages().empty());
}

TEST_F(FirewallPageTest, IpAndSubnetExcludeEachOther)
{
    Page started(m_loader);
    started.host.answer(IDOK, "Subnet rules cannot be mixed with IP rules");
    started.host.answer(IDOK, "Subnet rules cannot be mixed with IP rules");
    createRule(started,
               [&](ui::Dialog& dialog)
               {
                   started.host.click(dialog, IDC_RULE_SUBNET);
                   started.host.click(dialog, IDC_RULE_IP);
                   EXPECT_FALSE(dialog.isChecked(IDC_RULE_IP));
                   EXPECT_TRUE(dialog.isChecked(IDC_RULE_SUBNET));
                   started.host.click(dialog, IDC_RULE_SUBNET);
                   started.host.click(dialog, IDC_RULE_IP);
                   started.host.click(dialog, IDC_RULE_SUBNET);
                   EXPECT_FALSE(dialog.isChecked(IDC_RULE_SUBNET));
                   started.host.click(dialog, IDC_RULE_IP);
                   started.host.click(dialog, IDC_RULE_SUBNET);
                   started.host.type(dialog, IDC_RULE_ADDRESS, "10.1.0.0");
                   started.host.type(dialog, IDC_RULE_MASK, "255.255.0.0");
                   started.host.click(dialog, IDOK);
               });
    ASSERT_EQ(started.page.rules().size(), 1u);
    EXPECT_EQ(started.page.rules()[0].flags, kRuleSubnet);
    EXPECT_EQ(started.host.messages().size(), 2u);
    EXPECT_EQ(started.host.messages()[0],
              (MessageRecord{"Subnet rules cannot be mixed with IP rules", "", 0}));
}

TEST_F(FirewallPageTest, TheMaskFieldFollowsTheSystemVersion)
{
    struct Case
    {
        DWORD os;
        bool maskWithIp;
    } cases[] = {{6, true}, {7, false}};
    for (const Case& c : cases)
    {
        setOsMajorVersion(c.os);
        Page started(m_loader);
        createRule(started,
                   [&](ui::Dialog& dialog)
                   {
                       EXPECT_FALSE(dialog.control(IDC_RULE_ADDRESS).enabled());
                       EXPECT_FALSE(dialog.control(IDC_RULE_MASK).enabled());
                       started.host.click(dialog, IDC_RULE_IP);
                       EXPECT_TRUE(dialog.control(IDC_RULE_ADDRESS).enabled()) << c.os;
                       EXPECT_EQ(dialog.control(IDC_RULE_MASK).enabled(), c.maskWithIp) << c.os;
                       started.host.click(dialog, IDC_RULE_IP);
                       started.host.click(dialog, IDC_RULE_SUBNET);
                       EXPECT_TRUE(dialog.control(IDC_RULE_ADDRESS).enabled()) << c.os;
                       EXPECT_TRUE(dialog.control(IDC_RULE_MASK).enabled()) << c.os;
                       started.host.click(dialog, IDC_RULE_SUBNET);
                       // A single-address rule without a mask where none is offered.
                       started.host.click(dialog, IDC_RULE_IP);
                       started.host.type(dialog, IDC_RULE_ADDRESS, "10.0.0.9");
                       if (c.maskWithIp)
                           started.host.type(dialog, IDC_RULE_MASK, "255.255.255.255");
                       started.host.click(dialog, IDOK);
                   });
        ASSERT_EQ(started.page.rules().size(), 1u) << c.os;
        EXPECT_EQ(started.page.rules()[0].flags, kRuleSingleAddress) << c.os;
        EXPECT_EQ(fieldText(started.page.rules()[0].mask), c.maskWithIp ? "255.255.255.255" : "") << c.os;
        EXPECT_TRUE(started.host.messages().empty()) << c.os;
    }
}

TEST_F(FirewallPageTest, TheRuleDialogRefusesWhatNoRuleCanHold)
{
    using Fill = std::function<void(ScriptedHost&, ui::Dialog&)>;
    const auto ports = [](const char* low, const char* high)
    {
        return [=](ScriptedHost& host, ui::Dialog& dialog)
        {
            host.click(dialog, IDC_RULE_PORT);
            host.type(dialog, IDC_RULE_PORT_MIN, low);
            host.type(dialog, IDC_RULE_PORT_MAX, high);
        };
    };
    const auto protocol = [](const char* typed)
    {
        return [=](ScriptedHost& host, ui::Dialog& dialog)
        {
            host.click(dialog, IDC_RULE_PROTOCOL);
            host.type(dialog, IDC_RULE_PROTOCOLS, typed);
        };
    };
    const auto address = [](int box, const char* ip, const char* mask)
    {
        return [=](ScriptedHost& host, ui::Dialog& dialog)
        {
            host.click(dialog, box);
            host.type(dialog, IDC_RULE_ADDRESS, ip);
            host.type(dialog, IDC_RULE_MASK, mask);
        };
    };
    const char* const kAddress = "Enter the IP address as four numbers from 0 to 255, separated by dots.";
    const char* const kMask = "Enter the IP mask as four numbers from 0 to 255, separated by dots.";
    struct Case
    {
        const char* name;
        Fill fill;
        const char* message;
    } cases[] = {
        {"a port above 65535", ports("80", "65536"), "Enter a whole number from 0 to 65535."},
        {"an empty port", ports("", "80"), "Enter a whole number."},
        {"the lowest above the highest", ports("90", "80"),
         "The lowest port must not lie above the highest."},
        {"a typed protocol of 256", protocol("256"), "Enter a protocol number from 0 to 255."},
        {"a typed protocol of -1", protocol("-1"), "Enter a protocol number from 0 to 255."},
        {"a typed protocol name", protocol("GRE"), "Enter a protocol number from 0 to 255."},
        {"three parts", address(IDC_RULE_SUBNET, "192.168.1", "255.255.255.0"), kAddress},
        {"a part of 256", address(IDC_RULE_IP, "192.168.1.256", ""), kAddress},
        {"five parts", address(IDC_RULE_SUBNET, "1.2.3.4.5", "255.0.0.0"), kAddress},
        {"a subnet without a mask", address(IDC_RULE_SUBNET, "10.0.0.0", ""), kMask},
        {"a mask of three parts", address(IDC_RULE_SUBNET, "10.0.0.0", "255.255.0"), kMask},
    };
    for (const Case& c : cases)
    {
        Page started(m_loader);
        started.host.answer(IDOK, std::string(c.message));
        createRule(started,
                   [&](ui::Dialog& dialog)
                   {
                       c.fill(started.host, dialog);
                       started.host.click(dialog, IDOK);
                       EXPECT_TRUE(dialog.isOpen()) << c.name;
                       started.host.click(dialog, IDCANCEL);
                   });
        EXPECT_TRUE(started.page.rules().empty()) << c.name;
        EXPECT_FALSE(started.page.changed()) << c.name;
        ASSERT_EQ(started.host.messages().size(), 1u) << c.name;
        EXPECT_EQ(started.host.messages()[0].text, c.message) << c.name;
        EXPECT_EQ(started.host.unusedScript(), 0u) << c.name;
    }
}

TEST_F(FirewallPageTest, DeleteToggleAndDoubleClickActOnTheRules)
{
    store({rule(0x41, 6, 80, 80, u"", u"a"), rule(0x41, 6, 81, 81, u"", u"b"),
           rule(0x41, 6, 82, 82, u"", u"c")});
    Page started(m_loader);
    CFirewallPage& page = started.page;
    // Nothing marked: Delete and Toggle do nothing.
    started.host.click(page, IDC_DELETE_RULE);
    started.host.click(page, IDC_TOGGLE_ACTIVE);
    EXPECT_EQ(page.rules().size(), 3u);
    EXPECT_FALSE(page.changed());

    started.host.selectRows(page, IDC_RULES, {1}, 1);
    started.host.click(page, IDC_TOGGLE_ACTIVE);
    EXPECT_EQ(row(page, 1)[2], "");
    EXPECT_TRUE(page.changed());
    started.host.doubleClick(page, IDC_RULES, 1);
    EXPECT_EQ(row(page, 1)[2], "X");
    started.host.doubleClick(page, IDC_RULES, 2);
    EXPECT_EQ(page.rules()[2].active, 0u);
    // A double click below the rows hits none.
    started.host.doubleClick(page, IDC_RULES, -1);
    EXPECT_EQ(page.rules()[0].active, 1u);
    EXPECT_EQ(page.rules()[2].active, 0u);

    started.host.selectRows(page, IDC_RULES, {0}, 0);
    started.host.click(page, IDC_DELETE_RULE);
    ASSERT_EQ(page.rules().size(), 2u);
    EXPECT_EQ(row(page, 0)[1], "b");
    EXPECT_EQ(row(page, 1)[1], "c");
    // Nothing was stored yet.
    EXPECT_EQ(stored().size(), 3u);
}

TEST_F(FirewallPageTest, SwitchingOnWarnsFirst)
{
    Page started(m_loader);
    CFirewallPage& page = started.page;
    std::vector<std::string> warnings;
    const auto record = [&](ui::Dialog& warning)
    {
        warnings.push_back(warning.itemText(IDC_WARNING_TEXT));
        started.host.click(warning, IDOK);
    };
    started.host.onModal(IDD_WARNING, record);
    started.host.click(page, IDC_ENABLE_FIREWALL);
    EXPECT_TRUE(page.changed());
    started.host.click(page, IDC_ENABLE_FIREWALL);
    started.host.onModal(IDD_WARNING, record);
    started.host.click(page, IDC_PERSISTENT);
    started.host.click(page, IDC_PERSISTENT);
    EXPECT_EQ(warnings, (std::vector<std::string>{strings().load(IDS_WARN_FIREWALL),
                                                  strings().load(IDS_WARN_PERSISTENT)}));
    EXPECT_EQ(started.host.unusedScript(), 0u);
}

TEST_F(FirewallPageTest, IcmpOnTwiceLeavesOneEchoRuleAtTheEnd)
{
    store({echoRule(), rule(0x41, 6, 80, 80)});
    Page started(m_loader);
    CFirewallPage& page = started.page;
    for (int round = 0; round < 2; ++round)
    {
        started.host.onModal(IDD_ICMP,
                             [&](ui::Dialog& dialog)
                             {
                                 EXPECT_EQ(dialog.title(), "ICMP");
                                 EXPECT_TRUE(dialog.isChecked(IDC_ALLOW_ECHO)) << round;
                                 started.host.click(dialog, IDOK);
                             });
        started.host.click(page, IDC_ICMP_SETTINGS);
        ASSERT_EQ(page.rules().size(), 2u);
        EXPECT_EQ(page.rules()[0].protocol, 6u);
        EXPECT_TRUE(sameRecord(page.rules()[1], echoRule()));
        EXPECT_EQ(row(page, 1),
                  (std::vector<std::string>{"Allow ICMP type 8, code 0", "Allow ICMP echo request", "X"}));
    }
    EXPECT_TRUE(page.changed());
    started.host.onModal(IDD_ICMP,
                         [&](ui::Dialog& dialog)
                         {
                             started.host.click(dialog, IDC_ALLOW_ECHO);
                             started.host.click(dialog, IDOK);
                         });
    started.host.click(page, IDC_ICMP_SETTINGS);
    ASSERT_EQ(page.rules().size(), 1u);
    EXPECT_EQ(page.rules()[0].protocol, 6u);
    // Cancel changes nothing.
    started.host.onModal(IDD_ICMP,
                         [&](ui::Dialog& dialog)
                         {
                             started.host.click(dialog, IDC_ALLOW_ECHO);
                             started.host.click(dialog, IDCANCEL);
                         });
    started.host.click(page, IDC_ICMP_SETTINGS);
    EXPECT_EQ(page.rules().size(), 1u);
}

TEST_F(FirewallPageTest, ApplySetsTheSwitchesDeletesEveryRuleThenAppends)
{
    store({rule(0x41, 6, 1, 1), rule(0x41, 6, 2, 2), rule(0x41, 6, 3, 3)});
    Page started(m_loader);
    CFirewallPage& page = started.page;
    started.host.selectRows(page, IDC_RULES, {0}, 0);
    started.host.click(page, IDC_DELETE_RULE);
    started.host.onModal(IDD_WARNING, [&](ui::Dialog& warning) { started.host.click(warning, IDOK); });
    started.host.click(page, IDC_PERSISTENT);
    m_core.resetLog();
    page.apply();

    std::vector<std::pair<DWORD, DWORD>> sent;
    for (const ZrConfigCall& call : m_core.calls())
        sent.emplace_back(call.code, call.index);
    const std::vector<std::pair<DWORD, DWORD>> expected{
        {ZRCONFIG_SET_PERSISTENT, 1}, {ZRCONFIG_SET_FIREWALL, 0}, {ZRCONFIG_DELETE_FIRST, 0},
        {ZRCONFIG_DELETE_FIRST, 0},   {ZRCONFIG_DELETE_FIRST, 0}, {ZRCONFIG_DELETE_FIRST, 0},
        {ZRCONFIG_APPEND_RULE, 0},    {ZRCONFIG_APPEND_RULE, 0},
    };
    EXPECT_EQ(sent, expected);
    const auto rules = stored();
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_TRUE(sameRecord(rules[0], page.rules()[0]));
    EXPECT_TRUE(sameRecord(rules[1], page.rules()[1]));
    EXPECT_EQ(storedSwitch(ZRCONFIG_GET_PERSISTENT), 1);
    EXPECT_FALSE(page.changed());
    EXPECT_TRUE(started.host.messages().empty());

    // With no rules left, Apply deletes every stored one and appends none.
    for (int i = 0; i < 2; ++i)
    {
        started.host.selectRows(page, IDC_RULES, {0}, 0);
        started.host.click(page, IDC_DELETE_RULE);
    }
    m_core.resetLog();
    page.apply();
    EXPECT_TRUE(stored().empty());
    std::map<DWORD, int> counts;
    for (const ZrConfigCall& call : m_core.calls())
        ++counts[call.code];
    EXPECT_EQ(counts[ZRCONFIG_APPEND_RULE], 0);
    EXPECT_EQ(counts[ZRCONFIG_DELETE_FIRST], 3);
}

TEST_F(FirewallPageTest, AFailedAppendStillSendsTheRestAndKeepsThePageChanged)
{
    Page started(m_loader);
    CFirewallPage& page = started.page;
    for (uint32_t port = 1; port <= 5; ++port)
    {
        createRule(started,
                   [&](ui::Dialog& dialog)
                   {
                       started.host.click(dialog, IDC_RULE_PORT);
                       started.host.type(dialog, IDC_RULE_PORT_MIN, std::to_string(port));
                       started.host.type(dialog, IDC_RULE_PORT_MAX, std::to_string(port));
                       started.host.click(dialog, IDOK);
                   });
    }
    ASSERT_EQ(page.rules().size(), 5u);
    m_core.failCall(ZRCONFIG_APPEND_RULE, 3, ZRCONFIG_E_STORAGE);
    started.host.answer(IDOK, std::string(kSaveFailed));
    page.apply();
    EXPECT_EQ(started.host.messages().back(), (MessageRecord{kSaveFailed, "", 0}));
    const auto rules = stored();
    ASSERT_EQ(rules.size(), 4u);
    for (size_t i = 0; i < rules.size(); ++i)
        EXPECT_EQ(rules[i].portLow, i < 2 ? i + 1 : i + 2) << i;
    EXPECT_TRUE(page.changed());

    // A switch that cannot be set fails the save the same way.
    m_core.failCall(ZRCONFIG_SET_FIREWALL, 1, ZRCONFIG_E_STORAGE);
    started.host.answer(IDOK, std::string(kSaveFailed));
    page.apply();
    EXPECT_EQ(stored().size(), 5u);
    EXPECT_TRUE(page.changed());
    EXPECT_EQ(started.host.messages().size(), 2u);

    page.apply();
    EXPECT_FALSE(page.changed());
    EXPECT_EQ(started.host.messages().size(), 2u);
    EXPECT_EQ(started.host.unusedScript(), 0u);
}

TEST_F(FirewallPageTest, PersistentSettingsSurviveARestartAndVolatileOnesDoNot)
{
    {
        Page started(m_loader);
        started.host.onModal(IDD_WARNING, [&](ui::Dialog& warning) { started.host.click(warning, IDOK); });
        started.host.onModal(IDD_WARNING, [&](ui::Dialog& warning) { started.host.click(warning, IDOK); });
        started.host.click(started.page, IDC_PERSISTENT);
        started.host.click(started.page, IDC_ENABLE_FIREWALL);
        started.host.onModal(IDD_ICMP,
                             [&](ui::Dialog& dialog)
                             {
                                 started.host.click(dialog, IDC_ALLOW_ECHO);
                                 started.host.click(dialog, IDOK);
                             });
        started.host.click(started.page, IDC_ICMP_SETTINGS);
        started.page.apply();
    }
    m_core.restart();
    {
        Page started(m_loader);
        EXPECT_TRUE(started.page.isChecked(IDC_PERSISTENT));
        EXPECT_TRUE(started.page.isChecked(IDC_ENABLE_FIREWALL));
        ASSERT_EQ(started.page.rules().size(), 1u);
        // Trying out without persistence: off and no rules, until the next restart.
        started.host.click(started.page, IDC_PERSISTENT);
        started.host.click(started.page, IDC_ENABLE_FIREWALL);
        started.host.selectRows(started.page, IDC_RULES, {0}, 0);
        started.host.click(started.page, IDC_DELETE_RULE);
        started.page.apply();
        EXPECT_EQ(started.host.unusedScript(), 0u);
    }
    {
        Page started(m_loader);
        EXPECT_FALSE(started.page.isChecked(IDC_PERSISTENT));
        EXPECT_FALSE(started.page.isChecked(IDC_ENABLE_FIREWALL));
        EXPECT_TRUE(started.page.rules().empty());
    }
    m_core.restart();
    Page started(m_loader);
    EXPECT_TRUE(started.page.isChecked(IDC_PERSISTENT));
    EXPECT_TRUE(started.page.isChecked(IDC_ENABLE_FIREWALL));
    ASSERT_EQ(started.page.rules().size(), 1u);
    EXPECT_TRUE(isEchoRule(started.page.rules()[0]));
}

// A core that always has another rule and never runs out of rules to delete.
class EndlessCore final : public LibraryLoader
{
public:
    static LONG io(DWORD code, DWORD, LPVOID buffer, LPDWORD size)
    {
        ++s_calls[code];
        if (code == ZRCONFIG_READ_RULE && buffer && size && *size == sizeof(FirewallRule))
            *static_cast<FirewallRule*>(buffer) = echoRule();
        return 0;
    }
    HMODULE load(const char16_t*) override { return reinterpret_cast<HMODULE>(this); }
    FARPROC entry(HMODULE, const char* name) override
    {
        return std::string(name) == "ZrConfigIO" ? reinterpret_cast<FARPROC>(&io) : nullptr;
    }
    void free(HMODULE) override {}

    static inline std::map<DWORD, int> s_calls;
};

TEST_F(FirewallPageTest, LoadingAndDeletingAreBounded)
{
    EndlessCore core;
    EndlessCore::s_calls.clear();
    Page started(core);
    EXPECT_EQ(started.page.rules().size(), 4096u);
    EXPECT_EQ(EndlessCore::s_calls[ZRCONFIG_READ_RULE], 4096);
    started.page.apply();
    EXPECT_EQ(EndlessCore::s_calls[ZRCONFIG_DELETE_FIRST], 4097);
    EXPECT_EQ(EndlessCore::s_calls[ZRCONFIG_APPEND_RULE], 4096);
}

TEST_F(FirewallPageTest, AnUnusablePageCannotSave)
{
    m_loader.removeEntry("ZrConfigIO");
    Page started(m_loader);
    EXPECT_FALSE(started.page.usable());
    EXPECT_TRUE(started.page.rules().empty());
    started.host.answer(IDOK, std::string(kSaveFailed));
    started.page.apply();
    EXPECT_EQ(started.host.messages().size(), 1u);
}
} // namespace
