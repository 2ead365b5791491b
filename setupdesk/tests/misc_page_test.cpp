// The Miscellaneous page on a temporary device root: the time texts and steps, the audio
// driver keys, the time service, Num Lock and TCP/IP values, and the serial Vos connection
// in the boot project files of run-time versions 2 and 3.
#include "setupdesk_fixture.h"

#include <boot_config.h>
#include <misc_page.h>
#include <quberon_system.h>
#include <registry_values.h>
#include <resource.h>
#include <time_texts.h>
#include <warning_dlg.h>

#include <os/deviceroot.h>
#include <os/registry.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace
{
using namespace setupdesk;
using namespace setupdesk::test;

constexpr const char16_t* kTemplate = u"Drivers\\BuiltIn\\PCI\\Template\\gxuamaud";
constexpr const char16_t* kInstance = u"Drivers\\BuiltIn\\PCI\\Instance\\gxuamaud1";
constexpr const char16_t* kTime = u"Services\\Timesvc";
constexpr const char16_t* kTcpIp = u"Comm\\Tcpip\\Parms";
constexpr const char* kDefaultConfig = "\\Hard Disk\\Quberon\\DefaultConfig.xml";
constexpr const char* kCurrentConfig = "\\Hard Disk\\Quberon\\Boot\\CurrentConfig.xml";
constexpr const char* kAddInits = "\\Hard Disk\\Quberon\\Boot\\AddInits\\AddInits.xml";
constexpr const char* kConfig =
    "<?xml version=\"1.0\"?>\r\n<QbBootProject>\r\n  <Drivers>\r\n"
    "    <Driver><Type>1</Type><ServiceName>QbIOMANAGER</ServiceName></Driver>\r\n"
    "  </Drivers>\r\n  <Services><Drivers></Drivers></Services>\r\n</QbBootProject>\r\n";
constexpr const char* kDriver =
    "<Driver><Type>1</Type><ServiceName>QbCOMPORTCONNECTION</ServiceName></Driver>";
using Page = StartedPage<CMiscPage>;

std::string withDriver(std::string config)
{
    config.insert(config.find("</Drivers>"), kDriver);
    return config;
}

void setUserDword(const char16_t* path, const char16_t* name, DWORD value)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              0);
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
}

std::optional<DWORD> userDword(const char16_t* path, const char16_t* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != 0)
        return std::nullopt;
    DWORD value = 0;
    DWORD size = sizeof value;
    const LONG result = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return result == 0 ? std::optional<DWORD>(value) : std::nullopt;
}

// Places the serial connection library in a device folder.
void placeSerialLibrary(const std::string& deviceFolder)
{
    const std::string folder = *os::toHostPath(deviceFolder);
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(os::programDirectory() + "/libQbComPortConnectionW32.so",
                               folder + "/libQbComPortConnectionW32.so");
}

TEST(TimeTexts, RefreshAndWaitTimesAreShownAndSteppedInTheirUnits)
{
    struct Text
    {
        DWORD value;
        const char* text;
    };
    for (const Text& t : {Text{0, "0 ms"},
                          {1000, "1000 ms"},
                          {1001, "1 Second"},
                          {60000, "60 Seconds"},
                          {61000, "1 Minute"},
                          {3600000, "60 Minutes"},
                          {3660000, "1 Hour"},
                          {86400000, "24 Hours"},
                          {90000000, "1 Day"},
                          {4294967295u, "49 Days"}})
        EXPECT_EQ(refreshText(t.value), t.text) << t.value;
    for (const Text& t : {Text{300, "5 Minutes"},
                          {45, "45 Seconds"},
                          {1, "1 Second"},
                          {90, "1 Minute"},
                          {60, "60 Seconds"},
                          {61, "1 Minute"},
                          {86400, "1440 Minutes"}})
        EXPECT_EQ(waitTimeText(t.value), t.text) << t.value;

    struct Step
    {
        DWORD from;
        int delta;
        DWORD to;
    };
    for (const Step& s : {Step{300000, -1, 300000},
                          {300000, 1, 360000},
                          {600000, -1, 540000},
                          {3600000, 1, 3660000},
                          {3660000, -1, 300000},
                          {86400000, 1, 90000000},
                          {4294967295u, 1, 4294967295u},
                          {4294000000u, 2, 4294967295u},
                          {1000, 1, 300000},
                          {90000000, -1, 3600000}})
        EXPECT_EQ(stepRefresh(s.from, s.delta), s.to) << s.from << " " << s.delta;
    for (const Step& s : {Step{59, 1, 60},
                          {60, 1, 120},
                          {60, -1, 59},
                          {61, -1, 1},
                          {120, -1, 60},
                          {1, -1, 1},
                          {86399, 1, 86400},
                          {86400, 1, 86400},
                          {300, 2, 420}})
        EXPECT_EQ(stepWaitTime(s.from, s.delta), s.to) << s.from << " " << s.delta;
    // Ten steps: seconds from 1 up, increments doubling.
    const auto steps = timeAcceleration();
    ASSERT_EQ(steps.size(), 10u);
    EXPECT_EQ(steps[0].seconds, 1u);
    EXPECT_EQ(steps[0].increment, 1);
    EXPECT_EQ(steps[9].seconds, 10u);
    EXPECT_EQ(steps[9].increment, 512);
}

class MiscPageTest : public SetupdeskTest
{
protected:
    MiscPageTest()
    {
        setString(kTime, u"Server", "pool.example");
        setDword(kTime, u"Refresh", 86400000);
        setDword(kTcpIp, u"IPEnableRouter", 1);
        setDword(kTcpIp, u"EnableDHCP", 0);
        setUserDword(u"ControlPanel\\keybd", u"InitialKeyboardIndicators", 2);
    }
};

TEST_F(MiscPageTest, ShowsTheStoredSettingsAndWritesThemBack)
{
    Page started;
    CMiscPage& page = started.page;
    EXPECT_EQ(page.combo(IDC_MISC_NUMLOCK).itemText(page.combo(IDC_MISC_NUMLOCK).curSel()), "On");
    EXPECT_EQ(page.itemText(IDC_MISC_SNTP_SERVER), "pool.example");
    EXPECT_EQ(page.itemText(IDC_MISC_REFRESH), "24 Hours");
    EXPECT_TRUE(page.isChecked(IDC_MISC_IP_ROUTING));
    EXPECT_FALSE(page.control(IDC_MISC_DHCP).visible());
    EXPECT_FALSE(page.changed());

    started.host.select(page, IDC_MISC_NUMLOCK, 0);
    EXPECT_TRUE(page.changed());
    EXPECT_FALSE(page.needsReset());
    for (int i = 0; i < 3; ++i)
        started.host.arrow(page, IDC_MISC_REFRESH_UPDOWN, false);
    EXPECT_TRUE(page.needsReset());
    EXPECT_EQ(page.itemText(IDC_MISC_REFRESH), "21 Hours");
    started.host.type(page, IDC_MISC_SNTP_SERVER, "");
    started.host.click(page, IDC_MISC_IP_ROUTING);
    page.apply();
    EXPECT_EQ(userDword(u"ControlPanel\\keybd", u"InitialKeyboardIndicators"), 0u);
    EXPECT_EQ(string(kTime, u"Server"), "");
    EXPECT_EQ(dword(kTime, u"trustlocalclock"), 1u);
    EXPECT_EQ(dword(kTime, u"Refresh"), 75600000u);
    EXPECT_EQ(dword(kTime, u"RecoveryRefresh"), 75600000u);
    EXPECT_EQ(dword(kTcpIp, u"IPEnableRouter"), 0u);
    EXPECT_EQ(dword(kTcpIp, u"EnableDHCP"), 0u);
    EXPECT_FALSE(page.changed());
}

TEST_F(MiscPageTest, ALongServerIsShownWholeAndKeptWhileTypingIsLimited)
{
    const std::string server = std::string(300, 's') + ".example";
    setString(kTime, u"Server", server);
    Page started;
    EXPECT_EQ(started.page.itemText(IDC_MISC_SNTP_SERVER), server);
    started.host.click(started.page, IDC_MISC_IP_ROUTING);
    started.page.apply();
    EXPECT_EQ(string(kTime, u"Server"), server);
    EXPECT_EQ(started.host.type(started.page, IDC_MISC_SNTP_SERVER, std::string(261, 's')).error,
              "The field takes at most 260 characters.");
}

TEST_F(MiscPageTest, WithoutTheTimeServiceItsFieldsAreOffAndNothingIsWritten)
{
    deleteKey(kTime);
    deleteKey(kTcpIp);
    Page started;
    EXPECT_EQ(started.page.itemText(IDC_MISC_SNTP_SERVER), "SNTP not available");
    EXPECT_FALSE(started.page.control(IDC_MISC_REFRESH).enabled());
    EXPECT_FALSE(started.page.control(IDC_MISC_REFRESH_UPDOWN).enabled());
    EXPECT_FALSE(started.page.isChecked(IDC_MISC_IP_ROUTING));
    started.host.click(started.page, IDC_MISC_IP_ROUTING);
    started.page.apply();
    EXPECT_FALSE(keyExists(kTime));
    EXPECT_FALSE(keyExists(kTcpIp));
}

TEST_F(MiscPageTest, AudioOfTheGeodeDriverFollowsItsKeys)
{
    struct Case
    {
        bool templateKey;
        std::optional<DWORD> flags; // nothing: no instance key
        bool enabled;
    } cases[] = {
        {true, 0u, true},
        {true, 4u, false},
        {false, 0u, false},
        {true, std::nullopt, false},
    };
    for (const Case& c : cases)
    {
        deleteKey(kTemplate);
        deleteKey(kInstance);
        if (c.templateKey)
            setString(kTemplate, u"Dll", "gxuamaud.dll");
        if (c.flags)
            setDword(kInstance, u"Flags", *c.flags);
        Page started;
        EXPECT_EQ(started.page.audioKind(), kAudioGeode);
        EXPECT_TRUE(started.page.control(IDC_MISC_AUDIO_ENABLE).enabled());
        EXPECT_EQ(started.page.isChecked(IDC_MISC_AUDIO_ENABLE), c.enabled);
        EXPECT_EQ(started.page.control(IDC_MISC_AUDIO_SETTINGS).enabled(), c.enabled);
    }
    // The other kinds leave the switch to the system.
    setString(u"Drivers\\BuiltIn\\PCI\\Template\\ichac97", u"Dll", "ichac97.dll");
    EXPECT_EQ(Page().page.audioKind(), kAudioAc97);
    setString(u"Drivers\\BuiltIn\\STGL5000", u"Dll", "stgl5000.dll");
    Page stgl;
    EXPECT_EQ(stgl.page.audioKind(), kAudioStgl5000);
    EXPECT_FALSE(stgl.page.control(IDC_MISC_AUDIO_ENABLE).enabled());
    EXPECT_FALSE(stgl.page.control(IDC_MISC_AUDIO_SETTINGS).enabled()); // no "WAV1:" here
}

TEST_F(MiscPageTest, AudioOffDeletesTheKeysOrMarksAProtectedInstance)
{
    for (bool isProtected : {false, true})
    {
        setString(kTemplate, u"Dll", "gxuamaud.dll");
        setDword(kInstance, u"Flags", 0);
        HKEY root = HKEY_LOCAL_MACHINE;
        ASSERT_EQ(os::protectRegistryKey(root, kInstance, isProtected), 0);
        Page started;
        ASSERT_TRUE(started.page.isChecked(IDC_MISC_AUDIO_ENABLE));
        started.host.click(started.page, IDC_MISC_AUDIO_ENABLE);
        EXPECT_TRUE(started.page.needsReset());
        started.page.apply();
        EXPECT_FALSE(keyExists(kTemplate));
        EXPECT_EQ(keyExists(kInstance), isProtected);
        if (isProtected)
            EXPECT_EQ(dword(kInstance, u"Flags"), 4u);
        EXPECT_EQ(Page().page.isChecked(IDC_MISC_AUDIO_ENABLE), false);
    }
}

TEST_F(MiscPageTest, AudioOnWarnsAndCreatesTheTemplate)
{
    deleteKey(kTemplate);
    setDword(kInstance, u"Flags", 4);
    Page started;
    bool warned = false;
    started.host.onModal(IDD_WARNING,
                         [&](ui::Dialog& warning)
                         {
                             warned = warning.itemText(IDC_WARNING_TEXT) == strings().load(IDS_WARN_AUDIO);
                             started.host.click(warning, IDOK);
                         });
    started.host.click(started.page, IDC_MISC_AUDIO_ENABLE);
    EXPECT_TRUE(warned);
    started.page.apply();
    EXPECT_EQ(string(kTemplate, u"Prefix"), "WAV");
    EXPECT_EQ(string(kTemplate, u"Dll"), "gxuamaud.dll");
    for (auto [name, number] : {std::pair{u"Order", 0u}, {u"Class", 4u}, {u"SubClass", 1u}, {u"ProgIF", 0u}})
        EXPECT_EQ(dword(kTemplate, name), number);
    const auto multi = [](const char16_t* text)
    {
        std::u16string list(text);
        list.append(2, u'\0');
        Value v{REG_MULTI_SZ, {}};
        v.bytes.resize(list.size() * 2);
        std::memcpy(v.bytes.data(), list.data(), v.bytes.size());
        return v;
    };
    EXPECT_EQ(value(kTemplate, u"VendorID"), multi(u"100B"));
    EXPECT_EQ(value(kTemplate, u"DeviceID"), multi(u"0503"));
    EXPECT_EQ(value(kTemplate, u"IClass"), multi(u"{E92BC203-8354-4043-A06F-2A170BF6F227}"));
    EXPECT_EQ(dword(kInstance, u"Flags"), 0u);

    // An existing template is left as it is.
    setString(kTemplate, u"Dll", "own.dll");
    Page again;
    again.host.click(again.page, IDC_MISC_IP_ROUTING);
    again.page.apply();
    EXPECT_EQ(string(kTemplate, u"Dll"), "own.dll");
}

TEST_F(MiscPageTest, SerialConnectionIsOfferedWhenItsLibraryLoads)
{
    EXPECT_FALSE(Page().page.control(IDC_MISC_SERIAL).enabled());
    placeSerialLibrary("\\Hard Disk\\System");
    EXPECT_TRUE(Page().page.control(IDC_MISC_SERIAL).enabled());
}

TEST_F(MiscPageTest, SerialConnectionEditsBothConfigurationsAndAddInits)
{
    static_assert(std::char_traits<char>::length(kAddInitsText) == 138);
    struct Version
    {
        BYTE major;
        const char* defaultConfig;
        const char* currentConfig;
        const char* addInits;
    } versions[] = {
        {2, kDefaultConfig, kCurrentConfig, kAddInits},
        {3, "\\Hard Disk\\Qb3\\Target\\DefaultConfig.xml", "\\Hard Disk\\Qb3\\Target\\CurrentConfig.xml",
         "\\Hard Disk\\Qb3\\Boot\\AddInits\\AddInits.xml"},
    };
    placeSerialLibrary("\\Windows");
    setString(u"Software\\Corvanta\\Quberon3", u"CurrentVersion", "3.1");
    setString(u"Software\\Corvanta\\Quberon3\\3.1", u"InstallDir", "\\Hard Disk\\Qb3");
    setString(u"Software\\Corvanta\\Quberon3\\3.1", u"BootDir", "\\Hard Disk\\Qb3\\Boot");
    for (const Version& v : versions)
    {
        setQuberonMajorVersion(v.major);
        writeDeviceFile(v.defaultConfig, kConfig);
        writeDeviceFile(v.currentConfig, kConfig);
        {
            Page started;
            EXPECT_FALSE(started.page.isChecked(IDC_MISC_SERIAL)) << int(v.major);
            started.host.click(started.page, IDC_MISC_SERIAL);
            started.page.apply();
        }
        EXPECT_EQ(readDeviceFile(v.addInits), std::string(kAddInitsText) + "\r\n") << int(v.major);
        EXPECT_EQ(readDeviceFile(v.defaultConfig), withDriver(kConfig)) << int(v.major);
        EXPECT_EQ(readDeviceFile(v.currentConfig), withDriver(kConfig)) << int(v.major);
        {
            Page started;
            EXPECT_TRUE(started.page.isChecked(IDC_MISC_SERIAL)) << int(v.major);
            started.host.click(started.page, IDC_MISC_SERIAL);
            started.page.apply();
        }
        EXPECT_FALSE(readDeviceFile(v.addInits)) << int(v.major);
        EXPECT_EQ(readDeviceFile(v.defaultConfig), kConfig) << int(v.major);
        EXPECT_EQ(readDeviceFile(v.currentConfig), kConfig) << int(v.major);
        // Found in AddInits alone too.
        writeDeviceFile(v.addInits, std::string(kAddInitsText) + "\r\n");
        EXPECT_TRUE(Page().page.isChecked(IDC_MISC_SERIAL)) << int(v.major);
    }
}

TEST_F(MiscPageTest, AFailedWriteLeavesTheConfigurationAsItWas)
{
    writeDeviceFile(kDefaultConfig, kConfig);
    static int lines;
    lines = 0;
    const LineWriter failsThird = [](const std::string& line, std::FILE* file)
    { return ++lines < 3 && putLine(line, file); };
    EXPECT_FALSE(editSerialConnection(kDefaultConfig, true, failsThird));
    EXPECT_EQ(readDeviceFile(kDefaultConfig), kConfig);
    EXPECT_FALSE(readDeviceFile("\\Hard Disk\\Quberon\\ConfigTmp.xml"));
    EXPECT_TRUE(editSerialConnection(kDefaultConfig, true));
    EXPECT_EQ(readDeviceFile(kDefaultConfig), withDriver(kConfig));
    EXPECT_FALSE(editSerialConnection("\\Hard Disk\\Quberon\\Missing.xml", true));
}

TEST_F(MiscPageTest, TheCopyIsNeverWrittenThroughALinkOutOfTheRoot)
{
    writeDeviceFile(kDefaultConfig, kConfig);
    char outsideTemplate[] = "/tmp/setupdesk-outside-XXXXXX";
    ASSERT_NE(mkdtemp(outsideTemplate), nullptr);
    const std::string outside = std::string(outsideTemplate) + "/passwd";
    std::ofstream(outside, std::ios::binary) << "outside\n";
    std::filesystem::create_symlink(outside, m_root.path() + "/Hard Disk/Quberon/ConfigTmp.xml");
    EXPECT_TRUE(editSerialConnection(kDefaultConfig, true));
    EXPECT_EQ(readDeviceFile(kDefaultConfig), withDriver(kConfig));
    std::ifstream kept(outside, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "outside\n");
    std::filesystem::remove_all(outsideTemplate);
}
} // namespace
