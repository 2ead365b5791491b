#include "icmp_dlg.h"

#include "resource.h"

#include <algorithm>

namespace setupdesk
{
CIcmpDlg::CIcmpDlg(std::vector<FirewallRule>& rules) : ui::Dialog(IDD_ICMP, "ICMP"), m_rules(rules)
{
    addCheckBox(IDC_ALLOW_ECHO, "Allow incomming echo request");
    addButton(IDOK, "OK");
    addButton(IDCANCEL, "Cancel").setNewLine(false);
}

void CIcmpDlg::onInit()
{
    setChecked(IDC_ALLOW_ECHO, std::any_of(m_rules.begin(), m_rules.end(), isEchoRule));
}

void CIcmpDlg::onOk()
{
    const auto echo = std::find_if(m_rules.begin(), m_rules.end(), isEchoRule);
    if (echo != m_rules.end())
        m_rules.erase(echo);
    if (isChecked(IDC_ALLOW_ECHO))
        m_rules.push_back(echoRule());
    endDialog(IDOK);
}
} // namespace setupdesk
