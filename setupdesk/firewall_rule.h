// The firewall's allow rule: the 344-byte record ZrConfigCore reads and writes, the text
// the page shows for it, and the rule that allows incoming echo requests.
#pragma once

#include <os/text.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

namespace setupdesk
{
constexpr uint32_t kRulePortRange = 0x01;
constexpr uint32_t kRuleSubnet = 0x10;
constexpr uint32_t kRuleSingleAddress = 0x20;
constexpr uint32_t kRuleProtocol = 0x40;

constexpr uint32_t kProtocolIcmp = 1;
constexpr uint32_t kProtocolTcp = 6;
constexpr uint32_t kProtocolUdp = 17;

// Little-endian; texts are UTF-16 and zero-terminated.
#pragma pack(push, 1)
struct FirewallRule
{
    uint32_t flags = 0;
    uint32_t portLow = 0;  // for ICMP: the type
    uint32_t portHigh = 0; // for ICMP: the code
    uint32_t protocol = 0;
    char16_t address[17] = {};
    char16_t mask[17] = {};
    uint32_t active = 0;
    char16_t description[64] = {};
    char16_t display[64] = {};
};
#pragma pack(pop)
static_assert(sizeof(FirewallRule) == 344, "ZrConfigCore exchanges 344-byte rules");
static_assert(offsetof(FirewallRule, mask) == 50 && offsetof(FirewallRule, active) == 84 &&
                  offsetof(FirewallRule, description) == 88 && offsetof(FirewallRule, display) == 216,
              "the record's layout");

// A text field's contents (up to its terminator or its end) as UTF-8.
template <size_t N> std::string fieldText(const char16_t (&field)[N]);
// Copies at most `limit` characters (and at most N - 1) and clears the rest.
template <size_t N> void setField(char16_t (&field)[N], const std::u16string& text, size_t limit = N - 1);

// "Allow" with the protocol, the ports and where from, each addition cut to what still fits
// in 63 characters.
std::u16string displayText(const FirewallRule& rule);

// The rule of the "ICMP" dialog: echo requests (type 8, code 0) from anywhere.
FirewallRule echoRule();
// A rule for ICMP type 8, code 0 (the ports compared as 16-bit values).
bool isEchoRule(const FirewallRule& rule);

template <size_t N> std::string fieldText(const char16_t (&field)[N])
{
    std::u16string text;
    for (size_t i = 0; i < N && field[i] != u'\0'; ++i)
        text.push_back(field[i]);
    return os::toUtf8(text);
}

template <size_t N> void setField(char16_t (&field)[N], const std::u16string& text, size_t limit)
{
    const size_t length = std::min({text.size(), limit, N - 1});
    for (size_t i = 0; i < N; ++i)
        field[i] = i < length ? text[i] : u'\0';
}
} // namespace setupdesk
