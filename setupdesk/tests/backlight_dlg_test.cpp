// The backlight dialog on GktSim through a real device manager, with Profilelink bound by
// name: the backlight module found in the module list, what open, the COM port choice, OK
// and Cancel write, the slider worker on the host's fake clock, and the cases where the
// dialog must not touch the device at all.
#include "setupdesk_fixture.h"

#include <backlight_dlg.h>
#include <setupdesk/testing/filtering_loader.h>

#include <device_manager_process.h>
#include <gktsim/control.h>
#include <profilelink.h>

#include <os/deviceroot.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace
{
using namespace setupdesk;
using namespace setupdesk::test;
using setupdesk::testing::FilteringLoader;
using ui::testing::ScriptedHost;

constexpr const char16_t* kBacklight = u"Software\\Corvanta\\Screensaver\\SSBackLight";
constexpr WORD kConfig = 0x8033;

class BacklightDlgTest : public ::testing::Test
{
protected:
    void start(const std::string& from = {}, const std::string& to = {})
    {
        if (!from.empty())
        {
            std::ifstream file(os::programDirectory() + "/GktSim.txt");
            std::stringstream text;
            text << file.rdbuf();
            std::string description = text.str();
            const size_t at = description.find(from);
            ASSERT_NE(at, std::string::npos);
            m_manager.writeFile("GktSim.txt", description.replace(at, from.size(), to));
        }
        ASSERT_TRUE(m_manager.start()) << m_manager.log();
        for (const char* port : {"COM3", "COM5"})
        {
            const std::u16string key = u"Drivers\\Active\\7" + std::u16string(1, char16_t(port[3]));
            setString(key.c_str(), u"Name", port);
            setString(key.c_str(), u"Key", "Drivers\\USB\\ClientDrivers\\FTDI_DEVICE");
        }
        setString(u"Drivers\\Active\\79", u"Name", "COM1");
        setString(u"Drivers\\Active\\79", u"Key", "Drivers\\BuiltIn\\Serial");
    }

    static gktsim::DriverStats stats()
    {
        const HANDLE device =
            CreateFileW(u"GKT1:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        gktsim::DriverStats result{};
        DWORD returned = 0;
        EXPECT_TRUE(DeviceIoControl(device, gktsim::kIoctlGetStats, nullptr, 0, &result, sizeof result,
                                    &returned, nullptr));
        CloseHandle(device);
        return result;
    }
    static uint32_t ioCalls() { return stats().ioCalls; }

    // The device's entry, read with a handle of the test's own (one call more for the driver).
    template <class T> static T entry(BYTE subindex)
    {
        T value{};
        DWORD read = 0;
        EXPECT_EQ(GKTOpen(), 0);
        EXPECT_EQ(GKTSyncRead(kConfig, subindex, 0, sizeof value, &value, &read), 0);
        GKTClose();
        return value;
    }
    static DWORD brightness() { return entry<DWORD>(4); }
    static std::string port()
    {
        const auto text = entry<std::array<char, 30>>(2);
        return std::string(text.data(), strnlen(text.data(), text.size()));
    }

    // Waits (generously) until the driver has taken more regular calls than given.
    static bool callsPass(uint32_t count)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (ioCalls() <= count)
        {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    devmgr::testing::DeviceManagerProcess m_manager;
    FilteringLoader m_loader;
};

TEST_F(BacklightDlgTest, OpenFindsTheModuleAndCancelOnlyRestores)
{
    start();
    setDword(kBacklight, u"Brightness", 60);
    setDword(kBacklight, u"BacklightOff", 1);
    ScriptedHost host;
    {
        CBacklightDlg dialog(m_loader, host.fakeClock());
        host.start(dialog);
        EXPECT_EQ(dialog.configIndex(), kConfig);
        EXPECT_TRUE(dialog.connected());
        EXPECT_EQ(brightness(), 60u); // the stored brightness, written at open
        EXPECT_EQ(dialog.slider(IDC_BACKLIGHT_SLIDER).pos(), 6);
        EXPECT_EQ(dialog.itemText(IDC_BACKLIGHT_PERCENT), "60 %");
        EXPECT_EQ(dialog.itemText(IDC_BACKLIGHT_TIME), "5 Minutes");
        EXPECT_EQ(dword(kBacklight, u"BacklightTime"), 300u);
        EXPECT_TRUE(dialog.isChecked(IDC_BACKLIGHT_OFF));
        EXPECT_TRUE(dialog.control(IDC_BACKLIGHT_TIME_UPDOWN).enabled());
        const ui::ComboBox& ports = dialog.combo(IDC_BACKLIGHT_PORT);
        EXPECT_EQ(ports.count(), 2);
        EXPECT_EQ(ports.itemText(ports.curSel()), "COM3");
        EXPECT_EQ(dialog.picture(IDC_BACKLIGHT_STATE).image(), IDB_CONNECTED);
        EXPECT_TRUE(dialog.control(IDC_BACKLIGHT_SLIDER).enabled());

        host.click(dialog, IDC_BACKLIGHT_OFF);
        host.click(dialog, IDCANCEL);
        EXPECT_FALSE(dialog.isOpen());
    }
    EXPECT_EQ(brightness(), 80u); // as read at open
    EXPECT_EQ(dword(kBacklight, u"Brightness"), 60u);
    EXPECT_EQ(dword(kBacklight, u"BacklightOff"), 1u);
}

TEST_F(BacklightDlgTest, OkRestoresTheDeviceAndStoresTheSettings)
{
    start();
    ScriptedHost host;
    CBacklightDlg dialog(m_loader, host.fakeClock());
    host.start(dialog);
    EXPECT_EQ(dialog.slider(IDC_BACKLIGHT_SLIDER).pos(), 10); // 100 when nothing is stored
    host.select(dialog, IDC_BACKLIGHT_PORT, dialog.combo(IDC_BACKLIGHT_PORT).findStringExact(-1, "COM5"));
    EXPECT_EQ(port(), "COM5");
    host.slide(dialog, IDC_BACKLIGHT_SLIDER, 3);
    EXPECT_EQ(dialog.itemText(IDC_BACKLIGHT_PERCENT), "30 %");
    host.click(dialog, IDC_BACKLIGHT_OFF);
    host.arrow(dialog, IDC_BACKLIGHT_TIME_UPDOWN, true);
    host.click(dialog, IDOK);
    EXPECT_EQ(brightness(), 80u);
    EXPECT_EQ(dword(kBacklight, u"Brightness"), 30u);
    EXPECT_EQ(dword(kBacklight, u"BacklightOff"), 1u);
    EXPECT_EQ(dword(kBacklight, u"BacklightTime"), 360u);
}

TEST_F(BacklightDlgTest, TheWorkerWritesAtMostEvery100Milliseconds)
{
    start();
    ScriptedHost host;
    CBacklightDlg dialog(m_loader, host.fakeClock());
    host.start(dialog);
    uint32_t calls = ioCalls();
    host.slide(dialog, IDC_BACKLIGHT_SLIDER, 5);
    ASSERT_TRUE(callsPass(calls));
    EXPECT_EQ(brightness(), 50u);
    calls = ioCalls();
    host.slide(dialog, IDC_BACKLIGHT_SLIDER, 6);
    host.slide(dialog, IDC_BACKLIGHT_SLIDER, 7);
    host.advance(ui::Milliseconds(99));
    // The worker polls every 10 ms of its own: give it many rounds to do what it must not.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(ioCalls(), calls);
    host.advance(ui::Milliseconds(1));
    ASSERT_TRUE(callsPass(calls));
    EXPECT_EQ(brightness(), 70u);
    EXPECT_EQ(ioCalls(), calls + 2); // the worker's write and the test's read
    host.click(dialog, IDCANCEL);
}

TEST_F(BacklightDlgTest, WithoutTheModuleOrTheLibraryNoDeviceCall)
{
    // The module list names module 3 with another type.
    start("3 UINT32 ro 0x00130003", "3 UINT32 ro 0x00150003");
    const uint32_t before = ioCalls();
    ScriptedHost host;
    {
        CBacklightDlg dialog(m_loader, host.fakeClock());
        host.start(dialog);
        EXPECT_FALSE(dialog.configIndex());
        EXPECT_FALSE(dialog.connected());
        EXPECT_EQ(dialog.picture(IDC_BACKLIGHT_STATE).image(), IDB_DISCONNECTED);
        EXPECT_FALSE(dialog.control(IDC_BACKLIGHT_SLIDER).enabled());
        EXPECT_EQ(ioCalls(), before + 7); // the module count and six entries
        EXPECT_EQ(dialog.writeBrightness(50), static_cast<LONG>(0xECA60201));
        host.click(dialog, IDOK);
    }
    EXPECT_EQ(ioCalls(), before + 7);

    for (const char* missing : {"GKTOpen", "GKTSyncWrite"})
    {
        FilteringLoader loader;
        loader.removeEntry(missing);
        CBacklightDlg dialog(loader, host.fakeClock());
        host.start(dialog);
        EXPECT_FALSE(dialog.connected()) << missing;
        EXPECT_EQ(dialog.picture(IDC_BACKLIGHT_STATE).image(), IDB_DISCONNECTED) << missing;
        host.click(dialog, IDCANCEL);
        EXPECT_EQ(ioCalls(), before + 7) << missing;
        EXPECT_EQ(stats().openContexts, 1u) << missing; // the handle that asks
    }
}

TEST_F(BacklightDlgTest, ABrightnessUnder20IsRefusedWithoutACall)
{
    start();
    ScriptedHost host;
    CBacklightDlg dialog(m_loader, host.fakeClock());
    host.start(dialog);
    const uint32_t before = ioCalls();
    for (DWORD percent : {0u, 10u, 19u})
        EXPECT_EQ(dialog.writeBrightness(percent), kBrightnessRefused) << percent;
    EXPECT_EQ(ioCalls(), before);
    EXPECT_EQ(dialog.writeBrightness(20), 0);
    EXPECT_EQ(ioCalls(), before + 1);
    host.click(dialog, IDCANCEL);
}
} // namespace
