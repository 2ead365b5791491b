#include "firewall_rule.h"

#include <ui/text.h>

namespace setupdesk
{
namespace
{
constexpr size_t kDisplayLimit = 63;

void appendCut(std::u16string& text, const std::string& addition)
{
    const std::u16string wide = os::toUtf16(addition);
    text += wide.substr(0, kDisplayLimit - std::min(text.size(), kDisplayLimit));
}
} // namespace

std::u16string displayText(const FirewallRule& rule)
{
    std::u16string text;
    appendCut(text, "Allow");
    if (rule.flags & kRuleProtocol)
    {
        if (rule.protocol == kProtocolTcp)
            appendCut(text, " TCP");
        else if (rule.protocol == kProtocolUdp)
            appendCut(text, " UDP");
        else
            appendCut(text, ui::format(" protocol %i", static_cast<int>(rule.protocol)));
    }
    if (rule.flags & kRulePortRange)
    {
        if (rule.portLow == rule.portHigh)
            appendCut(text, ui::format(" port %i", static_cast<int>(rule.portLow)));
        else if (rule.portLow == 0 && rule.portHigh == 65535)
            appendCut(text, " all Ports");
        else
            appendCut(text, ui::format(" ports %i to %i", static_cast<int>(rule.portLow),
                                       static_cast<int>(rule.portHigh)));
    }
    else
        appendCut(text, " any Port");
    if (rule.flags & kRuleSubnet)
        appendCut(text, " only for subnet " + fieldText(rule.address));
    else if (rule.flags & kRuleSingleAddress)
        appendCut(text, " only for IP " + fieldText(rule.address));
    else
        appendCut(text, " from anywhere on the public network");
    return text;
}

FirewallRule echoRule()
{
    FirewallRule rule;
    rule.flags = kRuleProtocol;
    rule.portLow = 8;
    rule.portHigh = 0;
    rule.protocol = kProtocolIcmp;
    rule.active = 1;
    setField(rule.description, u"Allow ICMP echo request");
    setField(rule.display, u"Allow ICMP type 8, code 0");
    return rule;
}

bool isEchoRule(const FirewallRule& rule)
{
    return rule.protocol == kProtocolIcmp && static_cast<uint16_t>(rule.portLow) == 8 &&
           static_cast<uint16_t>(rule.portHigh) == 0;
}
} // namespace setupdesk
