// The main dialog: the tab control with one page per configuration area, and OK, Cancel
// and Apply. Apply (and OK before the dialog ends) applies every page, then asks for a
// reset of the device or tells of a restart of the Quberon system service.
#pragma once

#include "display_page.h"
#include "firewall_page.h"
#include "ftp_page.h"
#include "general_page.h"
#include "library_loader.h"
#include "misc_page.h"
#include "quberon_page.h"
#include "ras_page.h"

#include <vector>

namespace setupdesk
{
enum : int
{
    IDC_TAB = 1000,
    IDC_APPLY = 1010,
    IDC_CANCEL = 1011,
    IDC_OK = 1012,
};

// The state flag of the reset request.
constexpr DWORD kResetStateFlag = 0x200000;
// Yes/No, the information icon, foreground and topmost.
constexpr unsigned kResetPromptFlags = 0x50044;
constexpr const char* kResetPrompt =
    "One or more settings will first apply after resetting the Device.\nReset now?";
constexpr const char* kServiceRestartNotice =
    "One or more settings will first take effect\nafter restarting the Quberon System Service.";

// What the dialog binds and how long it waits; tests choose their own.
struct Environment
{
    LibraryLoader* loader = &platformLibraryLoader();
    DWORD vosTimeoutMs = 100;
};

class CSetupdeskDlg final : public ui::Dialog
{
public:
    explicit CSetupdeskDlg(const Environment& environment = {});

    void onInit() override;
    void onCommand(int id, ui::Command code) override;
    void onNotify(int id, ui::Notify& notify) override;
    intptr_t onUser(unsigned message, intptr_t param) override;
    void onOk() override;
    void onCancel() override;

    // The pages on the tab control, in tab order.
    const std::vector<CSetupPage*>& pages() const { return m_pages; }
    int shownPage() const { return m_shown; }

    CGeneralPage& generalPage() { return m_general; }
    CQuberonPage& quberonPage() { return m_quberon; }
    CFirewallPage& firewallPage() { return m_firewall; }

private:
    void applyPages();
    void showPage(int index);

    CGeneralPage m_general;
    CRasPage m_ras;
    CDisplayPage m_display;
    CFtpPage m_ftp;
    CQuberonPage m_quberon;
    CFirewallPage m_firewall;
    CMiscPage m_misc;
    std::vector<CSetupPage*> m_pages;
    int m_shown = 0;
};
} // namespace setupdesk
