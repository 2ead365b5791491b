#include "rule_dlg.h"

#include "resource.h"

#include <ui/text.h>

#include <windows.h>

namespace setupdesk
{
namespace
{
enum : int
{
    IDC_RULE_TYPE_LABEL = 1400,
    IDC_RULE_PROTOCOL_LABEL,
    IDC_RULE_PORT_MIN_LABEL,
    IDC_RULE_PORT_MAX_LABEL,
    IDC_RULE_ADDRESS_LABEL,
    IDC_RULE_MASK_LABEL,
    IDC_RULE_DESCRIPTION_LABEL,
};

constexpr const char* kMixed = "Subnet rules cannot be mixed with IP rules";

void addField(ui::Dialog& dialog, int labelId, const char* label, int editId, bool number)
{
    dialog.addLabel(labelId, label);
    dialog.addEdit(editId, ui::EditStyle{false, number}).setNewLine(false);
}
} // namespace

bool isDottedIpv4(const std::string& text)
{
    int parts = 0;
    size_t position = 0;
    while (parts < 4)
    {
        size_t digits = 0;
        int value = 0;
        while (position < text.size() && text[position] >= '0' && text[position] <= '9' && digits < 4)
        {
            value = value * 10 + (text[position++] - '0');
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255)
            return false;
        if (++parts < 4)
        {
            if (position >= text.size() || text[position] != '.')
                return false;
            ++position;
        }
    }
    return position == text.size();
}

CRuleDlg::CRuleDlg() : ui::Dialog(IDD_RULE, "Create Rule")
{
    addLabel(IDC_RULE_TYPE_LABEL, "Type");
    addCheckBox(IDC_RULE_PROTOCOL, "Protocol").setNewLine(false);
    addCheckBox(IDC_RULE_PORT, "Port").setNewLine(false);
    addCheckBox(IDC_RULE_IP, "IP").setNewLine(false);
    addCheckBox(IDC_RULE_SUBNET, "Subnet").setNewLine(false);
    addLabel(IDC_RULE_PROTOCOL_LABEL, "Protocol");
    addCombo(IDC_RULE_PROTOCOLS, true).setNewLine(false);
    addField(*this, IDC_RULE_PORT_MIN_LABEL, "PortMin (dec)", IDC_RULE_PORT_MIN, true);
    addField(*this, IDC_RULE_PORT_MAX_LABEL, "PortMax (dec)", IDC_RULE_PORT_MAX, true);
    addField(*this, IDC_RULE_ADDRESS_LABEL, "Ip", IDC_RULE_ADDRESS, false);
    addField(*this, IDC_RULE_MASK_LABEL, "Ip Mask", IDC_RULE_MASK, false);
    addField(*this, IDC_RULE_DESCRIPTION_LABEL, "Description", IDC_RULE_DESCRIPTION, false);
    addButton(IDOK, "OK");
    addButton(IDCANCEL, "Cancel").setNewLine(false);
}

void CRuleDlg::onInit()
{
    OSVERSIONINFOW os{};
    os.dwOSVersionInfoSize = sizeof os;
    if (GetVersionExW(&os))
        m_osMajor = os.dwMajorVersion;
    ui::ComboBox& protocols = combo(IDC_RULE_PROTOCOLS);
    protocols.setItemData(protocols.addString("TCP"), kProtocolTcp);
    protocols.setItemData(protocols.addString("UDP"), kProtocolUdp);
    protocols.setCurSel(0);
    updateData(false);
    for (int id : {IDC_RULE_PROTOCOLS, IDC_RULE_PORT_MIN, IDC_RULE_PORT_MAX, IDC_RULE_ADDRESS, IDC_RULE_MASK})
        enableItem(id, false);
}

void CRuleDlg::onCommand(int id, ui::Command code)
{
    if (code != ui::Command::Clicked)
        return;
    switch (id)
    {
    case IDC_RULE_PROTOCOL:
        enableItem(IDC_RULE_PROTOCOLS, isChecked(IDC_RULE_PROTOCOL));
        break;
    case IDC_RULE_PORT:
        enableItem(IDC_RULE_PORT_MIN, isChecked(IDC_RULE_PORT));
        enableItem(IDC_RULE_PORT_MAX, isChecked(IDC_RULE_PORT));
        break;
    case IDC_RULE_IP:
        if (isChecked(IDC_RULE_SUBNET))
        {
            messageBox(kMixed);
            setChecked(IDC_RULE_IP, false);
            break;
        }
        enableItem(IDC_RULE_ADDRESS, isChecked(IDC_RULE_IP));
        // Newer systems take a mask with subnet rules only.
        enableItem(IDC_RULE_MASK, m_osMajor > 6 ? isChecked(IDC_RULE_SUBNET) : isChecked(IDC_RULE_IP));
        break;
    case IDC_RULE_SUBNET:
        if (isChecked(IDC_RULE_IP))
        {
            messageBox(kMixed);
            setChecked(IDC_RULE_SUBNET, false);
            break;
        }
        enableItem(IDC_RULE_MASK, isChecked(IDC_RULE_SUBNET));
        enableItem(IDC_RULE_ADDRESS, isChecked(IDC_RULE_SUBNET));
        break;
    default:
        break;
    }
}

void CRuleDlg::doDataExchange(ui::DataExchange& exchange)
{
    // Fields that do not count for the rule are not checked.
    if (!exchange.saving() || isChecked(IDC_RULE_PORT))
    {
        exchange.integer(IDC_RULE_PORT_MIN, m_portLow, 0, 65535);
        exchange.integer(IDC_RULE_PORT_MAX, m_portHigh, 0, 65535);
    }
}

bool CRuleDlg::refuse(const char* message)
{
    messageBox(message, {}, MB_OK | MB_ICONEXCLAMATION);
    return false;
}

bool CRuleDlg::readProtocol(uint32_t& protocol)
{
    const ui::ComboBox& protocols = combo(IDC_RULE_PROTOCOLS);
    if (protocols.curSel() != ui::ComboBox::kNone)
    {
        protocol = static_cast<uint32_t>(protocols.itemData(protocols.curSel()));
        return true;
    }
    const auto typed = ui::wholeNumber(protocols.text());
    if (!typed || *typed < 0 || *typed > 255)
        return refuse("Enter a protocol number from 0 to 255.");
    protocol = static_cast<uint32_t>(*typed);
    return true;
}

void CRuleDlg::onOk()
{
    if (!updateData(true))
        return;
    FirewallRule rule;
    rule.active = 1;
    const bool ip = isChecked(IDC_RULE_IP);
    const bool subnet = isChecked(IDC_RULE_SUBNET);
    if (ip || subnet)
    {
        rule.flags |= ip ? kRuleSingleAddress : kRuleSubnet;
        const std::string address = itemText(IDC_RULE_ADDRESS);
        const std::string mask = itemText(IDC_RULE_MASK);
        if (!isDottedIpv4(address))
        {
            refuse("Enter the IP address as four numbers from 0 to 255, separated by dots.");
            return;
        }
        // A mask field that is not offered may stay empty.
        if ((control(IDC_RULE_MASK).enabled() || !mask.empty()) && !isDottedIpv4(mask))
        {
            refuse("Enter the IP mask as four numbers from 0 to 255, separated by dots.");
            return;
        }
        setField(rule.address, os::toUtf16(address), 16);
        setField(rule.mask, os::toUtf16(mask), 16);
    }
    if (isChecked(IDC_RULE_PORT))
    {
        if (m_portLow > m_portHigh)
        {
            refuse("The lowest port must not lie above the highest.");
            return;
        }
        rule.flags |= kRulePortRange;
        rule.portLow = static_cast<uint32_t>(m_portLow);
        rule.portHigh = static_cast<uint32_t>(m_portHigh);
    }
    if (isChecked(IDC_RULE_PROTOCOL))
    {
        if (!readProtocol(rule.protocol))
            return;
        rule.flags |= kRuleProtocol;
    }
    setField(rule.description, os::toUtf16(itemText(IDC_RULE_DESCRIPTION)), 63);
    setField(rule.display, displayText(rule));
    m_rule = rule;
    endDialog(IDOK);
}
} // namespace setupdesk
