// The "ICMP" dialog of the firewall page: whether incoming echo requests are allowed.
#pragma once

#include "firewall_rule.h"

#include <ui/dialog.h>

#include <vector>

namespace setupdesk
{
enum : int
{
    IDC_ALLOW_ECHO = 1092,
};

class CIcmpDlg final : public ui::Dialog
{
public:
    // OK edits the rules: the first echo rule goes, and with the box checked one is appended.
    explicit CIcmpDlg(std::vector<FirewallRule>& rules);
    void onInit() override;
    void onOk() override;

private:
    std::vector<FirewallRule>& m_rules;
};
} // namespace setupdesk
