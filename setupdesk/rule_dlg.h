// The "Create Rule" dialog of the firewall page: what the rule allows and from where.
#pragma once

#include "firewall_rule.h"

#include <ui/dialog.h>

namespace setupdesk
{
enum : int
{
    IDC_RULE_PORT_MIN = 1072,
    IDC_RULE_PORT_MAX = 1073,
    IDC_RULE_ADDRESS = 1074,
    IDC_RULE_MASK = 1075,
    IDC_RULE_DESCRIPTION = 1076,
    IDC_RULE_PORT = 1077,
    IDC_RULE_IP = 1078,
    IDC_RULE_SUBNET = 1079,
    IDC_RULE_PROTOCOL = 1080,
    IDC_RULE_PROTOCOLS = 1081,
};

class CRuleDlg final : public ui::Dialog
{
public:
    CRuleDlg();
    void onInit() override;
    void onCommand(int id, ui::Command code) override;
    void onOk() override;
    void doDataExchange(ui::DataExchange& exchange) override;

    // The rule built by OK.
    const FirewallRule& rule() const { return m_rule; }

private:
    bool refuse(const char* message);
    bool readProtocol(uint32_t& protocol);

    DWORD m_osMajor = 0;
    int m_portLow = 0;
    int m_portHigh = 0;
    FirewallRule m_rule;
};

// "a.b.c.d" with four numbers of 0 to 255.
bool isDottedIpv4(const std::string& text);
} // namespace setupdesk
