// The main dialog: its tabs, the page flags and message 1025, Apply with its prompts,
// OK and Cancel.
#include "setupdesk_fixture.h"

#include <setupdesk/testing/filtering_loader.h>
#include <setupdesk_dlg.h>

#include <ui/testing/scripted_host.h>

#include <os/power.h>

namespace
{
using namespace setupdesk;
using namespace setupdesk::test;
using setupdesk::testing::FilteringLoader;
using ui::testing::MessageRecord;
using ui::testing::ScriptedHost;

const std::vector<std::string> kAllTabs{"General",          "RAS Control", "Display Settings", "FTP",
                                        "Quberon Settings", "Firewall",    "Miscellaneous"};
const std::vector<std::string> kWithoutFirewall{"General", "RAS Control",      "Display Settings",
                                                "FTP",     "Quberon Settings", "Miscellaneous"};

std::vector<std::string> tabCaptions(const CSetupdeskDlg& dialog)
{
    std::vector<std::string> captions;
    const ui::TabControl& tab = dialog.tab(IDC_TAB);
    for (int i = 0; i < tab.itemCount(); ++i)
        captions.push_back(tab.itemText(i));
    return captions;
}

class ShellTest : public SetupdeskTest
{
protected:
    // The index of the page that is shown; -1 when not exactly one is.
    int visiblePage(const CSetupdeskDlg& dialog) const
    {
        int shown = -1;
        for (size_t i = 0; i < dialog.pages().size(); ++i)
        {
            if (dialog.pages()[i]->visible())
                shown = shown == -1 ? static_cast<int>(i) : -2;
        }
        return shown < 0 ? -1 : shown;
    }

    ZrConfigCore m_core;
    FilteringLoader m_loader;
    ScriptedHost m_host;
};

TEST_F(ShellTest, TheFirewallTabNeedsAUsableConfigurationCore)
{
    struct Case
    {
        const char* name;
        const char16_t* removedLibrary;
        const char* removedEntry;
        LONG firstAnswer; // 0: as stored
        std::vector<std::string> tabs;
    } cases[] = {
        {"usable", nullptr, nullptr, 0, kAllTabs},
        {"library missing", u"ZrConfigCore.dll", nullptr, 0, kWithoutFirewall},
        {"entry missing", nullptr, "ZrConfigIO", 0, kWithoutFirewall},
        {"first answer negative", nullptr, nullptr, -1, kWithoutFirewall},
        {"first answer positive", nullptr, nullptr, 3, kAllTabs},
    };
    for (const Case& c : cases)
    {
        FilteringLoader loader;
        if (c.removedLibrary)
            loader.removeLibrary(c.removedLibrary);
        if (c.removedEntry)
            loader.removeEntry(c.removedEntry);
        m_core.resetLog();
        if (c.firstAnswer != 0)
            m_core.failCall(ZRCONFIG_GET_FIREWALL, 1, c.firstAnswer);
        ScriptedHost host;
        {
            CSetupdeskDlg dialog(Environment{&loader, 100});
            host.start(dialog);
            EXPECT_EQ(tabCaptions(dialog), c.tabs) << c.name;
            EXPECT_EQ(dialog.firewallPage().usable(), c.tabs.size() == 7) << c.name;
            EXPECT_EQ(dialog.pages().size(), c.tabs.size()) << c.name;
            // An unusable core is let go at once; the page's controls are disabled.
            if (!dialog.firewallPage().usable())
            {
                EXPECT_EQ(loader.loads(u"ZrConfigCore.dll"), loader.frees(u"ZrConfigCore.dll")) << c.name;
                EXPECT_FALSE(dialog.firewallPage().control(IDC_ENABLE_FIREWALL).enabled()) << c.name;
                EXPECT_FALSE(dialog.firewallPage().control(IDC_RULES).enabled()) << c.name;
            }
        }
        EXPECT_EQ(loader.loads(u"ZrConfigCore.dll"), loader.frees(u"ZrConfigCore.dll")) << c.name;
        EXPECT_EQ(host.unusedScript(), 0u) << c.name;
    }
}

TEST_F(ShellTest, APositiveFirstAnswerOnlyLeavesTheBoxClear)
{
    BYTE unused = 0;
    ASSERT_EQ(m_core.io(ZRCONFIG_SET_FIREWALL, 1, &unused, 1), 0);
    m_core.failCall(ZRCONFIG_GET_FIREWALL, 1, 3);
    m_core.failCall(ZRCONFIG_GET_FIREWALL, 2, 3);
    CSetupdeskDlg dialog(Environment{&m_loader, 100});
    m_host.start(dialog);
    ASSERT_TRUE(dialog.firewallPage().usable());
    EXPECT_FALSE(dialog.firewallPage().isChecked(IDC_ENABLE_FIREWALL));
}

TEST_F(ShellTest, StartUpShowsTheFirstPageWithApplyDisabled)
{
    CSetupdeskDlg dialog(Environment{&m_loader, 100});
    m_host.start(dialog);
    EXPECT_EQ(dialog.title(), "Corvanta Zr Configuration Tool");
    EXPECT_FALSE(dialog.control(IDC_APPLY).enabled());
    EXPECT_EQ(visiblePage(dialog), 0);
    EXPECT_EQ(dialog.tab(IDC_TAB).curSel(), 0);
    // Every page lies below the first tab item and fills the rest of the tab control.
    const ui::Rect item = dialog.tab(IDC_TAB).itemRect(0);
    const ui::Rect client = dialog.tab(IDC_TAB).clientRect();
    for (const CSetupPage* page : dialog.pages())
    {
        EXPECT_EQ(page->position().left, item.left);
        EXPECT_EQ(page->position().top, item.bottom + 1);
        EXPECT_EQ(page->position().width(), client.width() - item.left - 1);
        EXPECT_EQ(page->position().height(), client.height() - item.bottom - 2);
        EXPECT_EQ(page->mainDialog(), &dialog);
        EXPECT_FALSE(page->changed());
        EXPECT_FALSE(page->needsReset());
        EXPECT_FALSE(page->needsServiceRestart());
    }
    EXPECT_EQ(m_host.unusedScript(), 0u);
}

TEST_F(ShellTest, TabsSwitchByMouseAndKeys)
{
    CSetupdeskDlg dialog(Environment{&m_loader, 100});
    m_host.start(dialog);
    const int last = static_cast<int>(dialog.pages().size()) - 1;
    struct Step
    {
        const char* name;
        int select; // -1: a key instead
        int key;
        int shown;
    } steps[] = {
        {"click the FTP tab", 3, 0, 3},
        {"Left", -1, VK_LEFT, 2},
        {"Right", -1, VK_RIGHT, 3},
        {"Tab", -1, VK_TAB, 4},
        {"click the first tab", 0, 0, 0},
        {"Left on the first page stays", -1, VK_LEFT, 0},
        {"click the last tab", last, 0, last},
        {"Right on the last page stays", -1, VK_RIGHT, last},
        {"Tab on the last page stays", -1, VK_TAB, last},
        {"other keys change nothing", -1, VK_HOME, last},
        {"click the shown tab again", last, 0, last},
    };
    for (const Step& step : steps)
    {
        const ui::InputResult result = step.select >= 0 ? m_host.select(dialog, IDC_TAB, step.select)
                                                        : m_host.key(dialog, IDC_TAB, step.key);
        ASSERT_TRUE(result.accepted()) << step.name << ": " << result.error;
        EXPECT_EQ(dialog.shownPage(), step.shown) << step.name;
        EXPECT_EQ(visiblePage(dialog), step.shown) << step.name;
        EXPECT_EQ(dialog.tab(IDC_TAB).curFocus(), step.shown) << step.name;
    }
}

TEST_F(ShellTest, PagesTurnApplyOnAndOffWithMessage1025)
{
    CSetupdeskDlg dialog(Environment{&m_loader, 100});
    m_host.start(dialog);
    CSetupPage& ftp = *dialog.pages()[3];
    ftp.setChanged(true);
    EXPECT_TRUE(dialog.control(IDC_APPLY).enabled());
    ftp.setChanged(false);
    EXPECT_FALSE(dialog.control(IDC_APPLY).enabled());
    dialog.send(WM_USER + 1, 1);
    EXPECT_TRUE(dialog.control(IDC_APPLY).enabled());
    dialog.send(WM_USER + 1, 0);
    EXPECT_FALSE(dialog.control(IDC_APPLY).enabled());
    // A page's own input reaches the main dialog the same way.
    ASSERT_TRUE(m_host.select(dialog, IDC_TAB, 4).accepted());
    ASSERT_TRUE(m_host.click(dialog.quberonPage(), IDC_LOG_FILE).accepted());
    EXPECT_TRUE(dialog.quberonPage().changed());
    EXPECT_TRUE(dialog.control(IDC_APPLY).enabled());
}

TEST_F(ShellTest, AResetPromptWinsAndARestartNoticeWaitsForTheNextApply)
{
    for (const int answer : {IDNO, IDYES})
    {
        ScriptedHost host;
        CSetupdeskDlg dialog(Environment{&m_loader, 100});
        host.start(dialog);
        const auto& pages = dialog.pages();
        pages[1]->setNeedsReset(true);
        pages[2]->setNeedsReset(true);
        pages[3]->setNeedsServiceRestart(true);
        pages[3]->setChanged(true);
        const size_t before = os::recordedPowerRequests().size();

        host.answer(answer, std::string(kResetPrompt));
        ASSERT_TRUE(host.click(dialog, IDC_APPLY).accepted());
        ASSERT_EQ(host.messages().size(), 1u);
        EXPECT_EQ(
            host.messages()[0],
            (MessageRecord{"One or more settings will first apply after resetting the Device.\nReset now?",
                           "Reset Device?", 0x50044}));
        for (const CSetupPage* page : pages)
            EXPECT_FALSE(page->needsReset());
        EXPECT_TRUE(pages[3]->needsServiceRestart());
        EXPECT_FALSE(dialog.control(IDC_APPLY).enabled());

        const auto requests = os::recordedPowerRequests();
        if (answer == IDYES)
        {
            ASSERT_EQ(requests.size(), before + 1);
            EXPECT_EQ(requests.back(), (os::PowerRequest{u"", 0x200000, 0}));
        }
        else
            EXPECT_EQ(requests.size(), before);

        // The restart notice comes with the next Apply (after another change), and only once.
        pages[3]->setChanged(true);
        host.answer(IDOK);
        ASSERT_TRUE(host.click(dialog, IDC_APPLY).accepted());
        ASSERT_EQ(host.messages().size(), 2u);
        EXPECT_EQ(
            host.messages()[1],
            (MessageRecord{"One or more settings will first take effect\nafter restarting the Quberon System "
                           "Service.",
                           "", 0x40}));
        EXPECT_FALSE(pages[3]->needsServiceRestart());
        pages[3]->setChanged(true);
        ASSERT_TRUE(host.click(dialog, IDC_APPLY).accepted());
        EXPECT_EQ(host.messages().size(), 2u);
        EXPECT_EQ(host.unusedScript(), 0u);
    }
}

TEST_F(ShellTest, OkAppliesAndClosesCancelWritesNothing)
{
    constexpr const char16_t* kSystem = u"Software\\Corvanta\\Quberon\\System";
    setDword(kSystem, u"SysLogFileSize", 0);
    for (const bool ok : {true, false})
    {
        ScriptedHost host;
        CSetupdeskDlg dialog(Environment{&m_loader, 100});
        host.start(dialog);
        m_core.resetLog();
        ASSERT_TRUE(host.select(dialog, IDC_TAB, 4).accepted());
        ASSERT_TRUE(host.click(dialog.quberonPage(), IDC_LOG_FILE).accepted());
        ASSERT_TRUE(host.type(dialog.quberonPage(), IDC_LOG_PATH, "\\Temp\\qb.log").accepted());
        if (ok)
        {
            host.answer(IDOK);
            ASSERT_TRUE(host.click(dialog, IDC_OK).accepted());
        }
        else
            ASSERT_TRUE(host.click(dialog, IDC_CANCEL).accepted());
        EXPECT_FALSE(dialog.isOpen());
        EXPECT_EQ(dialog.result(), ok ? IDOK : IDCANCEL);
        EXPECT_EQ(dword(kSystem, u"SysLogFileSize"), ok ? 4096u : 0u);
        EXPECT_EQ(string(kSystem, u"SysLogFilePath"),
                  ok ? std::optional<std::string>("\\Temp\\qb.log") : std::nullopt);
        // OK rewrote the firewall's settings; Cancel made no call that changes anything.
        const auto calls = m_core.calls();
        const bool anyWrite = std::any_of(calls.begin(), calls.end(),
                                          [](const ZrConfigCall& call)
                                          {
                                              return call.code != ZRCONFIG_GET_FIREWALL &&
                                                     call.code != ZRCONFIG_READ_RULE &&
                                                     call.code != ZRCONFIG_GET_PERSISTENT;
                                          });
        EXPECT_EQ(anyWrite, ok);
        EXPECT_EQ(host.unusedScript(), 0u);
        deleteValue(kSystem, u"SysLogFilePath");
        setDword(kSystem, u"SysLogFileSize", 0);
    }
}
} // namespace
