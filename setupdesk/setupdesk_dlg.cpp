#include "setupdesk_dlg.h"

#include "resource.h"

#include <windows.h>

namespace setupdesk
{
CSetupdeskDlg::CSetupdeskDlg(const Environment& environment)
    : ui::Dialog(IDD_SETUPDESK, {}), m_general(environment.vosTimeoutMs), m_display(*environment.loader),
      m_firewall(*environment.loader), m_misc(*environment.loader)
{
    addTab(IDC_TAB);
    addButton(IDC_OK, "OK");
    addButton(IDC_CANCEL, "Cancel").setNewLine(false);
    addButton(IDC_APPLY, "Apply").setNewLine(false);
    setOkCancelIds(IDC_OK, IDC_CANCEL);
}

void CSetupdeskDlg::onInit()
{
    enableItem(IDC_APPLY, false);

    struct Tab
    {
        CSetupPage* page;
        const char* caption;
    };
    std::vector<Tab> tabs{{&m_general, "General"},
                          {&m_ras, "RAS Control"},
                          {&m_display, "Display Settings"},
                          {&m_ftp, "FTP"},
                          {&m_quberon, "Quberon Settings"}};
    if (m_firewall.usable())
        tabs.push_back({&m_firewall, "Firewall"});
    tabs.push_back({&m_misc, "Miscellaneous"});

    ui::TabControl& tab = this->tab(IDC_TAB);
    for (const Tab& entry : tabs)
        createChild(*entry.page, IDC_TAB);
    for (const Tab& entry : tabs)
    {
        tab.insertItem(tab.itemCount(), entry.caption, reinterpret_cast<intptr_t>(entry.page));
        m_pages.push_back(entry.page);
    }

    // Every page lies below the first tab item and fills the rest of the tab control.
    const ui::Rect item = tab.itemRect(0);
    const ui::Rect client = tab.clientRect();
    const ui::Rect place{item.left, item.bottom + 1, client.width() - 1, client.height() - 1};
    for (size_t i = 0; i < m_pages.size(); ++i)
    {
        CSetupPage& page = *m_pages[i];
        page.setPosition(place);
        page.attach(*this);
        page.initPage();
        page.show(i == 0);
    }
    tab.setCurFocus(0);
    m_shown = 0;

    setTitle(strings().load(IDS_CAPTION));
}

void CSetupdeskDlg::showPage(int index)
{
    if (index == m_shown || index < 0 || static_cast<size_t>(index) >= m_pages.size())
        return;
    m_pages[static_cast<size_t>(m_shown)]->show(false);
    m_shown = index;
    m_pages[static_cast<size_t>(m_shown)]->show(true);
}

void CSetupdeskDlg::onNotify(int id, ui::Notify& notify)
{
    if (id != IDC_TAB)
        return;
    ui::TabControl& tab = this->tab(IDC_TAB);
    if (notify.code == ui::NotifyCode::Click)
    {
        showPage(tab.curFocus());
    }
    else if (notify.code == ui::NotifyCode::KeyDown)
    {
        const bool next = notify.key == VK_TAB || notify.key == VK_RIGHT;
        if (!next && notify.key != VK_LEFT)
            return;
        notify.handled = true;
        const int target = m_shown + (next ? 1 : -1);
        if (target < 0 || static_cast<size_t>(target) >= m_pages.size())
            return;
        tab.setCurFocus(target);
        showPage(target);
    }
}

void CSetupdeskDlg::onCommand(int id, ui::Command code)
{
    if (id == IDC_APPLY && code == ui::Command::Clicked)
        applyPages();
}

intptr_t CSetupdeskDlg::onUser(unsigned message, intptr_t param)
{
    if (message == kPageChangedMessage)
        enableItem(IDC_APPLY, param != 0);
    return 0;
}

void CSetupdeskDlg::applyPages()
{
    for (CSetupPage* page : m_pages)
        page->apply();

    bool reset = false;
    for (CSetupPage* page : m_pages)
    {
        reset = reset || page->needsReset();
        page->setNeedsReset(false);
    }
    if (reset)
    {
        // Restart notices stay pending: they show at a later Apply.
        if (messageBox(kResetPrompt, "Reset Device?", kResetPromptFlags) == IDYES)
            SetSystemPowerState(nullptr, kResetStateFlag, 0);
    }
    else
    {
        bool restart = false;
        for (CSetupPage* page : m_pages)
        {
            restart = restart || page->needsServiceRestart();
            page->setNeedsServiceRestart(false);
        }
        if (restart)
            messageBox(kServiceRestartNotice, {}, MB_ICONINFORMATION);
    }
    enableItem(IDC_APPLY, false);
}

void CSetupdeskDlg::onOk()
{
    applyPages();
    endDialog(IDOK);
}

void CSetupdeskDlg::onCancel()
{
    for (CSetupPage* page : m_pages)
        page->cancel();
    endDialog(IDCANCEL);
}
} // namespace setupdesk
