// The "Firewall" page: the firewall's switch, its persistence mode and its allow rules,
// kept by ZrConfigCore. The page edits a copy of the rules and writes the whole copy back
// on Apply. It exists only when ZrConfigCore can be used.
#pragma once

#include "firewall_rule.h"
#include "library_loader.h"
#include "setup_page.h"

#include <vector>

namespace setupdesk
{
enum : int
{
    IDC_CREATE_RULE = 1028,
    IDC_RULES = 1070,
    IDC_DELETE_RULE = 1082,
    IDC_TOGGLE_ACTIVE = 1083,
    IDC_ENABLE_FIREWALL = 1084,
    IDC_PERSISTENT = 1085,
    IDC_ICMP_SETTINGS = 1091,
};

// ZrConfigIO(request code, index or switch, buffer, size of the buffer in bytes).
typedef LONG (*PFN_ZrConfigIO)(DWORD code, DWORD index, LPVOID buffer, LPDWORD size);

// Loading stops after this many rules, deleting after one call more.
constexpr size_t kMaxRules = 4096;

class CFirewallPage final : public CSetupPage
{
public:
    // Binds ZrConfigCore and asks it once whether the firewall is on: a missing library or
    // entry, or a negative answer, leaves the page unusable.
    explicit CFirewallPage(LibraryLoader& loader);

    bool usable() const { return m_zrConfigIO != nullptr; }
    const std::vector<FirewallRule>& rules() const { return m_rules; }

    void initPage() override;
    void onCommand(int id, ui::Command code) override;
    void onNotify(int id, ui::Notify& notify) override;
    void apply() override;

private:
    LONG call(DWORD code, DWORD index, void* buffer, DWORD size);
    bool readSwitch(DWORD code);
    void load();
    void fillList();
    void toggle(int index);
    void edited();

    BoundLibrary m_library;
    PFN_ZrConfigIO m_zrConfigIO = nullptr;
    std::vector<FirewallRule> m_rules;
};
} // namespace setupdesk
