// The display settings page: mode names, records and the mode list walk; the page on a
// device root without "ZRD1:" (fixed modes, "Resolution"), and through a real device
// manager with ZrdSim; screen savers, wait time, the touch list and the calibration program.
#include "setupdesk_fixture.h"

#include <display_page.h>
#include <setupdesk/testing/filtering_loader.h>

#include <device_manager_process.h>
#include <zrdsim/control.h>

#include <os/deviceroot.h>

#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

namespace
{
using namespace setupdesk;
using namespace setupdesk::test;
using setupdesk::testing::FilteringLoader;

constexpr const char16_t* kShell = u"SOFTWARE\\Microsoft\\Shell";
constexpr const char16_t* kPower = u"System\\CurrentControlSet\\Control\\Power";
constexpr const char16_t* kGeode = u"Software\\Geode";
constexpr const char16_t* kSetupdesk = u"SOFTWARE\\Corvanta\\Setupdesk";

std::vector<std::string> items(const ui::ComboBox& combo)
{
    std::vector<std::string> result;
    for (int i = 0; i < combo.count(); ++i)
        result.push_back(combo.itemText(i));
    return result;
}

std::string selected(const ui::ComboBox& combo)
{
    return combo.itemText(combo.curSel());
}

// A mode list of entries, each bits per pixel, a length and its text bytes.
struct ListBuilder
{
    std::vector<BYTE> bytes = std::vector<BYTE>(8, 0);
    ListBuilder& entry(DWORD bits, const std::string& text, DWORD length)
    {
        const size_t at = bytes.size();
        bytes.resize(at + 8);
        std::memcpy(bytes.data() + at, &bits, 4);
        std::memcpy(bytes.data() + at + 4, &length, 4);
        bytes.insert(bytes.end(), text.begin(), text.end());
        return *this;
    }
    std::vector<BYTE> done(std::optional<DWORD> total = std::nullopt)
    {
        const DWORD length = total.value_or(static_cast<DWORD>(bytes.size() - 8));
        std::memcpy(bytes.data() + 4, &length, 4);
        std::vector<BYTE> list = bytes;
        list.resize(744, 0);
        return list;
    }
};

TEST(DisplayModes, NamesRecordsAndTheListWalk)
{
    EXPECT_EQ(modeName({16, 1024, 768, 60}), "1024 by 768, High Color (16 bit), 60 Hertz");
    EXPECT_EQ(modeName({32, 800, 600, 75}), "800 by 600, True Color (32 bit), 75 Hertz");
    EXPECT_EQ(modeName({8, 640, 480, 60}), "640 by 480, 60 Hertz");
    EXPECT_EQ(parseModeText("800 600", 16), (DisplayMode{16, 800, 600, 60}));
    EXPECT_EQ(parseModeText("800x600x75", 0), (DisplayMode{0, 800, 600, 75}));
    EXPECT_FALSE(parseModeText("800", 16));
    EXPECT_FALSE(parseModeText("800 600 60 1", 16));

    const std::vector<BYTE> record = modeRecord("1024 by 768, High Color (16 bit), 60 Hertz");
    std::vector<BYTE> expected{16, 0, 0, 0, 12, 0, 0, 0};
    for (char c : std::string("1024 768 60"))
        expected.push_back(static_cast<BYTE>(c));
    expected.push_back(0);
    EXPECT_EQ(record, expected);
    EXPECT_EQ(modeRecord("640 by 480, 72 Hertz").size(), 8u + 11u);
    EXPECT_EQ(modeRecord("640 by 480, 72 Hertz")[0], 0);

    const auto good =
        ListBuilder().entry(16, std::string("640 480 60\0", 11), 11).entry(32, "800 600", 7).done();
    EXPECT_EQ(parseModeList(good.data(), good.size()),
              (std::vector<DisplayMode>{{16, 640, 480, 60}, {32, 800, 600, 60}}));
    const std::string longText(81, '1');
    struct Bad
    {
        const char* name;
        std::vector<BYTE> list;
    } bad[] = {
        {"total past the reply", ListBuilder().entry(16, "640 480 60", 10).done(800)},
        {"entry past the total", ListBuilder().entry(16, "640 480 60", 10).done(12)},
        {"length past the total", ListBuilder().entry(16, "640 480 60", 500).done()},
        {"text over 80 bytes", ListBuilder().entry(16, longText, 81).done()},
        {"text no mode", ListBuilder().entry(16, "wide", 4).done()},
    };
    for (const Bad& b : bad)
        EXPECT_FALSE(parseModeList(b.list.data(), b.list.size())) << b.name;
}

class DisplayPageTest : public SetupdeskTest
{
protected:
    DisplayPageTest()
    {
        setDword(kShell, u"ScreenSaverEnable", 1);
        setString(kShell, u"ScreenSaver", "SSBacklight.dll");
        setDword(kPower, u"ScreenPowerOff", 300);
        setOsMajorVersion(7);
    }
    FilteringLoader m_loader;
};

TEST_F(DisplayPageTest, WithoutTheDisplayDeviceTheFixedModesAndResolution)
{
    setString(kGeode, u"Resolution", "1280 1024 60");
    StartedPage<CDisplayPage> started(m_loader);
    const CDisplayPage& page = started.page;
    auto modes = items(page.combo(IDC_DISPLAY_MODES));
    ASSERT_EQ(modes.size(), 7u);
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(modes[i], modeName(fallbackModes()[i]));
    EXPECT_EQ(selected(page.combo(IDC_DISPLAY_MODES)), "1280 by 1024, High Color (16 bit), 60 Hertz");
    for (int id : {IDC_DISPLAY_ANGLE_0, IDC_DISPLAY_ANGLE_90, IDC_DISPLAY_ANGLE_180, IDC_DISPLAY_ANGLE_270})
        EXPECT_FALSE(page.control(id).enabled());
    EXPECT_EQ(page.itemText(IDC_DISPLAY_WAIT), "5 Minutes");
    EXPECT_TRUE(page.isChecked(IDC_DISPLAY_SAVER_ENABLE));

    // A refused mode goes to "Resolution".
    started.host.select(started.page, IDC_DISPLAY_MODES, 4);
    EXPECT_TRUE(page.needsReset());
    started.page.apply();
    EXPECT_EQ(string(kGeode, u"Resolution"), "1024 768 60");
    EXPECT_TRUE(page.changed());
    // Without the key, the message.
    deleteKey(kGeode);
    started.host.answer(IDOK, std::string("Can't set Screen Resolution!"));
    started.page.apply();
    EXPECT_EQ(started.host.unusedScript(), 0u);
}

TEST_F(DisplayPageTest, WaitTimeStepsAndIsWrittenWithTheSaver)
{
    StartedPage<CDisplayPage> started(m_loader);
    CDisplayPage& page = started.page;
    started.host.arrow(page, IDC_DISPLAY_WAIT_UPDOWN, false);
    EXPECT_EQ(page.waitTime(), 240u);
    EXPECT_EQ(page.itemText(IDC_DISPLAY_WAIT), "4 Minutes");
    for (int i = 0; i < 3; ++i)
        started.host.arrow(page, IDC_DISPLAY_WAIT_UPDOWN, false);
    EXPECT_EQ(page.waitTime(), 60u);
    EXPECT_EQ(page.itemText(IDC_DISPLAY_WAIT), "60 Seconds");
    started.host.arrow(page, IDC_DISPLAY_WAIT_UPDOWN, false);
    EXPECT_EQ(page.waitTime(), 59u);
    EXPECT_EQ(page.itemText(IDC_DISPLAY_WAIT), "59 Seconds");
    started.host.arrow(page, IDC_DISPLAY_WAIT_UPDOWN, true);
    started.host.arrow(page, IDC_DISPLAY_WAIT_UPDOWN, true);
    EXPECT_EQ(page.waitTime(), 120u);
    started.host.click(page, IDC_DISPLAY_SAVER_ENABLE);
    page.apply();
    EXPECT_EQ(dword(kPower, u"ScreenPowerOff"), 120u);
    EXPECT_EQ(dword(kShell, u"ScreenSaverEnable"), 0u);
    EXPECT_EQ(value(kShell, u"ScreenSaver"), stringValue("SSBacklight.dll"));
}

TEST_F(DisplayPageTest, ScreenSaversDependOnTheSystemAndTheLibrary)
{
    struct Case
    {
        DWORD osMajor;
        bool library;
        std::vector<std::string> savers;
        const char* chosen;
        bool boxEnabled;
        bool configure;
    } cases[] = {
        {7, true, {"SSFloat.dll", "SSBacklight.dll"}, "SSBacklight.dll", true, true},
        {7, false, {"SSFloat.dll"}, "SSFloat.dll", false, false},
        {5, true, {"SSFloat.dll"}, "SSFloat.dll", false, false},
    };
    for (const Case& c : cases)
    {
        setOsMajorVersion(c.osMajor);
        FilteringLoader loader;
        if (!c.library)
            loader.removeLibrary(u"SSBacklight.dll");
        StartedPage<CDisplayPage> started(loader);
        const ui::ComboBox& savers = started.page.combo(IDC_DISPLAY_SAVERS);
        EXPECT_EQ(items(savers), c.savers) << c.osMajor << c.library;
        EXPECT_EQ(selected(savers), c.chosen) << c.osMajor << c.library;
        EXPECT_EQ(savers.enabled(), c.boxEnabled) << c.osMajor << c.library;
        EXPECT_EQ(started.page.control(IDC_DISPLAY_CONFIGURE).enabled(), c.configure)
            << c.osMajor << c.library;
        EXPECT_EQ(loader.loads(u"SSBacklight.dll"), loader.frees(u"SSBacklight.dll"));
    }
    setOsMajorVersion(7);
    StartedPage<CDisplayPage> started(m_loader);
    ASSERT_TRUE(started.host.select(started.page, IDC_DISPLAY_SAVERS, 0).accepted());
    EXPECT_FALSE(started.page.control(IDC_DISPLAY_CONFIGURE).enabled());
    started.page.apply();
    EXPECT_EQ(string(kShell, u"ScreenSaver"), "SSFloat.dll");
}

TEST_F(DisplayPageTest, TouchListAndCalibration)
{
    struct Driver
    {
        const char16_t* key;
        const char* name;
        const char* builtIn;
    } drivers[] = {
        {u"Drivers\\Active\\11", "ELO1:", "Drivers\\USB\\ClientDrivers\\ELO"},
        {u"Drivers\\Active\\12", "ELO2:", "Drivers\\BuiltIn\\EloSerial"},
        {u"Drivers\\Active\\13", "TCH0:", "Drivers\\BuiltIn\\Touch"},
        {u"Drivers\\Active\\14", "COM1:", "Drivers\\BuiltIn\\Serial"},
    };
    for (const Driver& d : drivers)
    {
        setString(d.key, u"Name", d.name);
        setString(d.key, u"Key", d.builtIn);
    }
    setString(u"HARDWARE\\DEVICEMAP\\TOUCH\\SER", u"ComPort", "COM2:");
    // The calibration program: a script that leaves a mark in the device root.
    const std::string root = *os::toHostPath("\\");
    writeDeviceFile("\\Hard Disk\\calib", "#!/bin/sh\ntouch \"$DEVICE_ROOT/calibrated\"\n");
    ::chmod((root + "/Hard Disk/calib").c_str(), 0755);
    setString(kSetupdesk, u"CalibTool", "\\Hard Disk\\calib");
    {
        StartedPage<CDisplayPage> started(m_loader);
        EXPECT_EQ(items(started.page.combo(IDC_DISPLAY_TOUCH)),
                  (std::vector<std::string>{"ELO1: USB", "ELO2: COM2:"}));
        EXPECT_EQ(started.page.combo(IDC_DISPLAY_TOUCH).curSel(), 0);
        EXPECT_FALSE(started.page.touchOnUsb());
        EXPECT_TRUE(started.page.control(IDC_DISPLAY_CALIBRATE).enabled());
        started.host.click(started.page, IDC_DISPLAY_CALIBRATE);
        EXPECT_TRUE(started.host.messages().empty());
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!std::filesystem::exists(root + "/calibrated") && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_TRUE(std::filesystem::exists(root + "/calibrated"));
    }
    // A USB touch controller of its own is calibrated by TwCalib, which this device lacks.
    setString(u"Drivers\\Active\\15", u"Name", "TCH1:");
    setString(u"Drivers\\Active\\15", u"Key", "Drivers\\BuiltIn\\TchSim");
    {
        StartedPage<CDisplayPage> started(m_loader);
        EXPECT_EQ(items(started.page.combo(IDC_DISPLAY_TOUCH)),
                  (std::vector<std::string>{"ELO1: USB", "ELO2: COM2:", "TCH1: USB"}));
        EXPECT_TRUE(started.page.touchOnUsb());
        started.host.answer(IDOK, std::string("Error starting touch calibration."));
        started.host.click(started.page, IDC_DISPLAY_CALIBRATE);
        EXPECT_EQ(started.host.unusedScript(), 0u);
    }
    // Nothing listed and no touch device: nothing to calibrate.
    deleteKey(u"Drivers\\Active");
    StartedPage<CDisplayPage> started(m_loader);
    EXPECT_EQ(started.page.combo(IDC_DISPLAY_TOUCH).count(), 0);
    EXPECT_FALSE(started.page.control(IDC_DISPLAY_CALIBRATE).enabled());
}

// Through the device manager: ZrdSim's modes, rotation and the record it was sent.
class DisplayPageDevice : public ::testing::Test
{
protected:
    void start(const std::string& state)
    {
        m_manager.writeFile("ZrdSim.txt", state);
        ASSERT_TRUE(m_manager.start()) << m_manager.log();
    }
    static zrdsim::DriverStats stats()
    {
        const HANDLE device =
            CreateFileW(u"ZRD1:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        zrdsim::DriverStats result{};
        DWORD returned = 0;
        EXPECT_TRUE(DeviceIoControl(device, zrdsim::kIoctlGetStats, nullptr, 0, &result, sizeof result,
                                    &returned, nullptr));
        CloseHandle(device);
        return result;
    }

    devmgr::testing::DeviceManagerProcess m_manager;
    FilteringLoader m_loader;
};

TEST_F(DisplayPageDevice, ModesFromTheDeviceAndTheRecordSent)
{
    start("mode 16 640 480 60\nmode 32 1024 768 60\nmode 16 1024 768 60\ncurrent 16 800 600 75\nrotation "
          "180\n");
    ui::testing::ScriptedHost host;
    CDisplayPage page(m_loader);
    host.start(page);
    page.initPage();
    EXPECT_EQ(items(page.combo(IDC_DISPLAY_MODES)),
              (std::vector<std::string>{"640 by 480, High Color (16 bit), 60 Hertz",
                                        "1024 by 768, True Color (32 bit), 60 Hertz",
                                        "1024 by 768, High Color (16 bit), 60 Hertz",
                                        "800 by 600, High Color (16 bit), 75 Hertz"}));
    EXPECT_EQ(page.combo(IDC_DISPLAY_MODES).curSel(), 3);
    EXPECT_TRUE(page.isChecked(IDC_DISPLAY_ANGLE_180));

    host.select(page, IDC_DISPLAY_MODES, 2);
    host.click(page, IDC_DISPLAY_ANGLE_90);
    page.apply();
    const zrdsim::DriverStats after = stats();
    EXPECT_EQ(after.lastCode, zrdsim::kIoctlSetRotation);
    std::ifstream file(m_manager.root() + "/ZrdSim.txt");
    const std::string state((std::istreambuf_iterator<char>(file)), {});
    EXPECT_NE(state.find("current 16 1024 768 60"), std::string::npos) << state;
    EXPECT_NE(state.find("rotation 90"), std::string::npos) << state;
    EXPECT_FALSE(page.changed());
}

TEST_F(DisplayPageDevice, TheModeRecordAsTheDeviceGetsIt)
{
    start("mode 16 1024 768 60\nmode 16 800 600 60\ncurrent 16 800 600 60\nrotation 0\n");
    // Without a rotation read no angle is checked, so the mode is the last thing sent.
    const HANDLE device =
        CreateFileW(u"ZRD1:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    zrdsim::FaultRequest fault{static_cast<uint32_t>(zrdsim::FaultKind::failIo), zrdsim::kIoctlGetRotation, 1,
                               31, 0};
    DWORD returned = 0;
    ASSERT_TRUE(DeviceIoControl(device, zrdsim::kIoctlSetFault, &fault, sizeof fault, nullptr, 0, &returned,
                                nullptr));
    CloseHandle(device);
    ui::testing::ScriptedHost host;
    CDisplayPage page(m_loader);
    host.start(page);
    page.initPage();
    EXPECT_FALSE(page.control(IDC_DISPLAY_ANGLE_0).enabled());
    host.select(page, IDC_DISPLAY_MODES, 0);
    ASSERT_EQ(selected(page.combo(IDC_DISPLAY_MODES)), "1024 by 768, High Color (16 bit), 60 Hertz");
    page.apply();
    const std::vector<BYTE> record = modeRecord("1024 by 768, High Color (16 bit), 60 Hertz");
    const zrdsim::DriverStats sent = stats();
    EXPECT_EQ(sent.lastCode, zrdsim::kIoctlSetMode);
    ASSERT_EQ(sent.lastInSize, record.size());
    EXPECT_EQ(std::memcmp(sent.lastIn, record.data(), record.size()), 0);
}
} // namespace
