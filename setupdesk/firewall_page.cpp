#include "firewall_page.h"

#include "icmp_dlg.h"
#include "resource.h"
#include "rule_dlg.h"
#include "warning_dlg.h"

#include <zrconfigcore/zrconfig.h>

#include <ui/host.h>

namespace setupdesk
{
namespace
{
constexpr int IDC_ACTIVE_RULES_LABEL = 1500;
constexpr const char* kSaveFailed = "Failed to save settings!";
constexpr int kPageControls[] = {IDC_CREATE_RULE,   IDC_RULES,           IDC_DELETE_RULE,
                                 IDC_TOGGLE_ACTIVE, IDC_ENABLE_FIREWALL, IDC_PERSISTENT};
} // namespace

CFirewallPage::CFirewallPage(LibraryLoader& loader)
    : CSetupPage(IDD_FIREWALL, "Firewall"), m_library(loader, u"ZrConfigCore.dll")
{
    addCheckBox(IDC_ENABLE_FIREWALL, "Enable Firewall");
    addCheckBox(IDC_PERSISTENT, "Persistant settings");
    addLabel(IDC_ACTIVE_RULES_LABEL, "Active Rules");
    addListView(IDC_RULES);
    addButton(IDC_CREATE_RULE, "Create Rule");
    addButton(IDC_TOGGLE_ACTIVE, "Toggle Active").setNewLine(false);
    addButton(IDC_DELETE_RULE, "Delete Rule").setNewLine(false);
    addButton(IDC_ICMP_SETTINGS, "ICMP Settings").setNewLine(false);

    m_zrConfigIO = m_library.entry<PFN_ZrConfigIO>("ZrConfigIO");
    DWORD enabled = 0;
    // Only a negative answer means the core is unusable; a positive one leaves the box clear.
    if (!m_zrConfigIO || call(ZRCONFIG_GET_FIREWALL, 0, &enabled, sizeof enabled) < 0)
    {
        m_zrConfigIO = nullptr;
        m_library.release();
        for (int id : kPageControls)
            enableItem(id, false);
    }
}

LONG CFirewallPage::call(DWORD code, DWORD index, void* buffer, DWORD size)
{
    return m_zrConfigIO(code, index, buffer, &size);
}

bool CFirewallPage::readSwitch(DWORD code)
{
    DWORD value = 0;
    return call(code, 0, &value, sizeof value) == 0 && value != 0;
}

void CFirewallPage::initPage()
{
    listView(IDC_RULES).insertColumn(0, "Rule", listView(IDC_RULES).clientWidth() - 200);
    listView(IDC_RULES).insertColumn(1, "Description", 150);
    listView(IDC_RULES).insertColumn(2, "Act", 50);
    if (usable())
        load();
}

void CFirewallPage::load()
{
    listView(IDC_RULES).deleteAllItems();
    m_rules.clear();
    setChecked(IDC_ENABLE_FIREWALL, readSwitch(ZRCONFIG_GET_FIREWALL));
    setChecked(IDC_PERSISTENT, readSwitch(ZRCONFIG_GET_PERSISTENT));
    for (DWORD n = 0; n < kMaxRules; ++n)
    {
        FirewallRule rule;
        if (call(ZRCONFIG_READ_RULE, n, &rule, sizeof rule) != 0)
            break;
        m_rules.push_back(rule);
    }
    fillList();
}

void CFirewallPage::fillList()
{
    ui::ListView& list = listView(IDC_RULES);
    list.deleteAllItems();
    for (const FirewallRule& rule : m_rules)
    {
        const int row = list.insertItem(-1, fieldText(rule.display));
        list.setItemText(row, 1, fieldText(rule.description));
        list.setItemText(row, 2, rule.active ? "X" : "");
    }
}

void CFirewallPage::edited()
{
    setChanged(true);
    fillList();
}

void CFirewallPage::toggle(int index)
{
    if (index < 0 || static_cast<size_t>(index) >= m_rules.size())
        return;
    FirewallRule& rule = m_rules[static_cast<size_t>(index)];
    rule.active = rule.active ? 0 : 1;
    edited();
}

void CFirewallPage::onCommand(int id, ui::Command code)
{
    if (code != ui::Command::Clicked)
        return;
    switch (id)
    {
    case IDC_CREATE_RULE:
    {
        CRuleDlg dialog;
        if (host().runModal(dialog) == IDOK)
        {
            m_rules.push_back(dialog.rule());
            edited();
        }
        break;
    }
    case IDC_DELETE_RULE:
    {
        const int mark = listView(IDC_RULES).selectionMark();
        if (mark >= 0 && static_cast<size_t>(mark) < m_rules.size())
        {
            m_rules.erase(m_rules.begin() + mark);
            edited();
        }
        break;
    }
    case IDC_TOGGLE_ACTIVE:
        toggle(listView(IDC_RULES).selectionMark());
        break;
    case IDC_ENABLE_FIREWALL:
        if (isChecked(IDC_ENABLE_FIREWALL))
            showWarning(*this, IDS_WARN_FIREWALL);
        setChanged(true);
        break;
    case IDC_PERSISTENT:
        if (isChecked(IDC_PERSISTENT))
            showWarning(*this, IDS_WARN_PERSISTENT);
        setChanged(true);
        break;
    case IDC_ICMP_SETTINGS:
    {
        CIcmpDlg dialog(m_rules);
        if (host().runModal(dialog) == IDOK)
            edited();
        break;
    }
    default:
        break;
    }
}

void CFirewallPage::onNotify(int id, ui::Notify& notify)
{
    if (id == IDC_RULES && notify.code == ui::NotifyCode::DoubleClick)
        toggle(listView(IDC_RULES).hitTest(notify.point));
}

void CFirewallPage::apply()
{
    if (!m_zrConfigIO)
    {
        messageBox(kSaveFailed);
        return;
    }
    BYTE unused = 0;
    // The switches fail the save as a rule does: the page must not claim what was not stored.
    bool failed = call(ZRCONFIG_SET_PERSISTENT, isChecked(IDC_PERSISTENT) ? 1 : 0, &unused, 1) != 0;
    failed = call(ZRCONFIG_SET_FIREWALL, isChecked(IDC_ENABLE_FIREWALL) ? 1 : 0, &unused, 1) != 0 || failed;
    // One call more than the rules a list can hold ends a core that never says "none left".
    for (size_t calls = 0; calls <= kMaxRules; ++calls)
    {
        if (call(ZRCONFIG_DELETE_FIRST, 0, &unused, 1) != 0)
            break;
    }
    for (FirewallRule& rule : m_rules)
        failed = call(ZRCONFIG_APPEND_RULE, 0, &rule, sizeof rule) != 0 || failed;
    if (failed)
    {
        messageBox(kSaveFailed);
        return;
    }
    setChanged(false);
}
} // namespace setupdesk
