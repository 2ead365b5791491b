// The Quberon settings page on a temporary device root: what is offered for which image
// and run-time versions, and what Apply writes to the registry and to SystemConfig.xml.
#include "setupdesk_fixture.h"

#include <quberon_page.h>
#include <quberon_system.h>

namespace
{
using namespace setupdesk;
using namespace setupdesk::test;

constexpr const char16_t* kImage = u"Drivers\\BuiltIn\\ZrDisplay";
constexpr const char16_t* kSystem = u"Software\\Corvanta\\Quberon\\System";
constexpr const char16_t* kSystem3 = u"Software\\Corvanta\\Quberon3\\System";
constexpr const char16_t* kPlc = u"Software\\Corvanta\\Quberon\\Plc";
constexpr const char16_t* kSysDll = u"Drivers\\BuiltIn\\QbSYSDLL";
constexpr const char16_t* kRouter = u"Drivers\\BuiltIn\\QbROUTER";
constexpr const char16_t* kTimer = u"Drivers\\BuiltIn\\QbTIMER";
constexpr DWORD kUntouched = 7; // a Flags value the page never writes
constexpr const char* kConfig = "\\Hard Disk\\Quberon\\Boot\\SystemConfig.xml";
constexpr const char* kLoggerProgram = "\\Hard Disk\\System\\QbEventLoggerCE.exe";
constexpr const char* kWithoutLogger = "<QbBootProject><Processes><Process><Filename>QbSysExe.exe</Filename>"
                                       "</Process></Processes></QbBootProject>";
constexpr const char* kWithLogger =
    "<QbBootProject><Processes><Process><Filename>QbEventLoggerCE.exe</Filename></Process></Processes>"
    "</QbBootProject>";

using Page = StartedPage<CQuberonPage>;

class QuberonPageTest : public SetupdeskTest
{
protected:
    QuberonPageTest()
    {
        setString(kImage, u"Line1", "V2.00");
        setDword(kSystem, u"RunAsDevice", 0);
        setDword(kSystem, u"SysLogFileSize", 0);
        setDword(kPlc, u"EnableVisualisation", 0);
        for (const char16_t* driver : {kSysDll, kRouter, kTimer})
            setDword(driver, u"Flags", kUntouched);
    }
};

TEST_F(QuberonPageTest, TheImageVersionDecidesWhatIsOffered)
{
    struct Case
    {
        const char* line1; // null: no value
        bool runAsDevice;
        bool visualisation;
    } cases[] = {
        {"1.80", false, true},   {"1.81", true, true},       {"1.70", false, false},
        {"1.71", false, true},   {"V2.00 (ZR)", true, true}, {"Image 12.345", true, true},
        {"0.99", true, true},    {"V1.8", false, false},     {".81", false, false},
        {"x.81", false, false},  {"181", false, false},      {"1.8x", false, false},
        {nullptr, false, false},
    };
    for (const Case& c : cases)
    {
        deleteValue(kImage, u"Line1");
        if (c.line1)
            setString(kImage, u"Line1", c.line1);
        Page started;
        const CQuberonPage& page = started.page;
        const char* name = c.line1 ? c.line1 : "no Line1";
        EXPECT_EQ(page.control(IDC_RUN_AS_DEVICE).visible(), c.runAsDevice) << name;
        EXPECT_EQ(page.control(IDC_RUN_AS_DEVICE_GROUP).visible(), c.runAsDevice) << name;
        EXPECT_EQ(page.control(IDC_VISUALISATION).visible(), c.visualisation) << name;
        EXPECT_EQ(page.control(IDC_VISUALISATION_GROUP).visible(), c.visualisation) << name;
        EXPECT_FALSE(page.changed()) << name;
    }
}

TEST_F(QuberonPageTest, RunAsDeviceShowsTheStoredSwitch)
{
    struct Case
    {
        const char* name;
        std::optional<DWORD> stored;
        std::optional<DWORD> readOnly;
        bool visible;
        bool checked;
        bool enabled;
    } cases[] = {
        {"missing", std::nullopt, std::nullopt, false, false, true},
        {"off", 0, std::nullopt, true, false, true},
        {"on", 1, std::nullopt, true, true, true},
        {"read-only", 1, 1, true, true, false},
        {"read-only 2 is not read-only", 0, 2, true, false, true},
    };
    for (const Case& c : cases)
    {
        deleteValue(kSystem, u"RunAsDevice");
        deleteValue(u"SOFTWARE\\Corvanta\\Setupdesk", u"RunAsDeviceRO");
        if (c.stored)
            setDword(kSystem, u"RunAsDevice", *c.stored);
        if (c.readOnly)
            setDword(u"SOFTWARE\\Corvanta\\Setupdesk", u"RunAsDeviceRO", *c.readOnly);
        Page started;
        EXPECT_EQ(started.page.control(IDC_RUN_AS_DEVICE).visible(), c.visible) << c.name;
        EXPECT_EQ(started.page.isChecked(IDC_RUN_AS_DEVICE), c.checked) << c.name;
        EXPECT_EQ(started.page.control(IDC_RUN_AS_DEVICE).enabled(), c.enabled) << c.name;
    }
}

TEST_F(QuberonPageTest, WithoutTheFirstSystemKeyTheSecondIsUsed)
{
    deleteKey(kSystem);
    setDword(kSystem3, u"RunAsDevice", 1);
    setDword(kSystem3, u"SysLogFileSize", 512);
    Page started;
    EXPECT_TRUE(started.page.isChecked(IDC_RUN_AS_DEVICE));
    EXPECT_EQ(started.page.itemText(IDC_LOG_SIZE), "512");
    started.host.click(started.page, IDC_RUN_AS_DEVICE);
    started.page.apply();
    EXPECT_EQ(dword(kSystem3, u"RunAsDevice"), 0u);
    EXPECT_FALSE(value(kSystem, u"RunAsDevice"));
}

TEST_F(QuberonPageTest, AnUnchangedRunAsDeviceWritesNoDriverFlags)
{
    setOsMajorVersion(5);
    Page started;
    started.host.click(started.page, IDC_LOG_FILE);
    ASSERT_TRUE(started.page.changed());
    started.page.apply();
    for (const char16_t* driver : {kSysDll, kRouter, kTimer})
        EXPECT_EQ(dword(driver, u"Flags"), kUntouched);
    EXPECT_EQ(dword(kSystem, u"RunAsDevice"), 0u);
    EXPECT_FALSE(value(u"Software\\Corvanta\\Quberon\\RTime", u"QbTimerInDevice"));
}

TEST_F(QuberonPageTest, ARunAsDeviceChangeSetsTheDriversAndTheTimerBelowSystem6)
{
    struct Case
    {
        DWORD os;
        BYTE quberon;
        const char16_t* rtime; // null: not written
    } cases[] = {
        {5, 0, u"Software\\Corvanta\\Quberon\\RTime"},
        {5, 3, u"Software\\Corvanta\\Quberon3\\RTime"},
        {6, 0, nullptr},
        {7, 3, nullptr},
    };
    for (const Case& c : cases)
    {
        const std::string name = "OS " + std::to_string(c.os) + ", Quberon " + std::to_string(c.quberon);
        setOsMajorVersion(c.os);
        setQuberonMajorVersion(c.quberon);
        deleteKey(u"Software\\Corvanta\\Quberon\\RTime");
        deleteKey(u"Software\\Corvanta\\Quberon3\\RTime");
        setDword(kSystem, u"RunAsDevice", 0);
        for (const char16_t* driver : {kSysDll, kRouter, kTimer})
            setDword(driver, u"Flags", kUntouched);

        Page started;
        started.host.click(started.page, IDC_RUN_AS_DEVICE);
        EXPECT_TRUE(started.page.needsReset()) << name;
        EXPECT_FALSE(started.page.needsServiceRestart()) << name;
        started.page.apply();
        EXPECT_FALSE(started.page.changed()) << name;
        EXPECT_EQ(dword(kSystem, u"RunAsDevice"), 1u) << name;
        EXPECT_EQ(dword(kSysDll, u"Flags"), 0u) << name;
        EXPECT_EQ(dword(kRouter, u"Flags"), 0u) << name;
        EXPECT_EQ(dword(kTimer, u"Flags"), c.rtime ? 0u : kUntouched) << name;
        // The timer setting goes to the key of the version only, and only below system 6.
        for (const char16_t* rtime :
             {u"Software\\Corvanta\\Quberon\\RTime", u"Software\\Corvanta\\Quberon3\\RTime"})
        {
            const bool expected = c.rtime && std::u16string(c.rtime) == rtime;
            EXPECT_EQ(dword(rtime, u"QbTimerInDevice"), expected ? std::optional<DWORD>(1) : std::nullopt)
                << name;
        }

        // Back off in the same session: compared with what was written, not with what was read.
        started.host.click(started.page, IDC_RUN_AS_DEVICE);
        started.page.apply();
        EXPECT_EQ(dword(kSystem, u"RunAsDevice"), 0u) << name;
        EXPECT_EQ(dword(kSysDll, u"Flags"), 4u) << name;
        EXPECT_EQ(dword(kRouter, u"Flags"), 4u) << name;
        EXPECT_EQ(dword(kTimer, u"Flags"), c.rtime ? 4u : kUntouched) << name;
        if (c.rtime)
        {
            EXPECT_EQ(dword(c.rtime, u"QbTimerInDevice"), 0u) << name;
        }
    }
}

TEST_F(QuberonPageTest, TheLogFileProposes4096BytesAndWritesWhatDiffers)
{
    Page started;
    CQuberonPage& page = started.page;
    EXPECT_FALSE(page.isChecked(IDC_LOG_FILE));
    EXPECT_FALSE(page.control(IDC_LOG_SIZE).enabled());
    EXPECT_FALSE(page.control(IDC_LOG_PATH).enabled());

    started.host.click(page, IDC_LOG_FILE);
    EXPECT_EQ(page.itemText(IDC_LOG_SIZE), "4096");
    EXPECT_TRUE(page.control(IDC_LOG_SIZE).enabled());
    EXPECT_TRUE(page.control(IDC_LOG_PATH).enabled());
    EXPECT_TRUE(page.needsServiceRestart());
    EXPECT_FALSE(page.needsReset());
    started.host.type(page, IDC_LOG_PATH, "\\Hard Disk\\qb.log");
    page.apply();
    EXPECT_EQ(dword(kSystem, u"SysLogFileSize"), 4096u);
    EXPECT_EQ(string(kSystem, u"SysLogFilePath"), "\\Hard Disk\\qb.log");

    // Only what differs from the stored values is written.
    setString(kSystem, u"SysLogFilePath", "\\elsewhere.log");
    started.host.type(page, IDC_LOG_SIZE, "8192");
    page.apply();
    EXPECT_EQ(dword(kSystem, u"SysLogFileSize"), 8192u);
    EXPECT_EQ(string(kSystem, u"SysLogFilePath"), "\\elsewhere.log");

    started.host.click(page, IDC_LOG_FILE);
    EXPECT_EQ(page.itemText(IDC_LOG_SIZE), "0");
    EXPECT_FALSE(page.control(IDC_LOG_SIZE).enabled());
    page.apply();
    EXPECT_EQ(dword(kSystem, u"SysLogFileSize"), 0u);
}

TEST_F(QuberonPageTest, AStoredLogFileIsShown)
{
    setDword(kSystem, u"SysLogFileSize", 2048);
    setString(kSystem, u"SysLogFilePath", "\\Temp\\sys.log");
    Page started;
    EXPECT_TRUE(started.page.isChecked(IDC_LOG_FILE));
    EXPECT_EQ(started.page.itemText(IDC_LOG_SIZE), "2048");
    EXPECT_EQ(started.page.itemText(IDC_LOG_PATH), "\\Temp\\sys.log");
    EXPECT_TRUE(started.page.control(IDC_LOG_PATH).enabled());
}

TEST_F(QuberonPageTest, ALongLogFilePathIsShownWholeWhileTypingIsLimited)
{
    const std::string path = "\\" + std::string(299, 'p');
    setDword(kSystem, u"SysLogFileSize", 2048);
    setString(kSystem, u"SysLogFilePath", path);
    Page started;
    EXPECT_EQ(started.page.itemText(IDC_LOG_PATH), path);
    EXPECT_EQ(started.host.type(started.page, IDC_LOG_PATH, std::string(261, 'p')).error,
              "The field takes at most 260 characters.");
    started.page.apply();
    EXPECT_EQ(string(kSystem, u"SysLogFilePath"), path);
}

TEST_F(QuberonPageTest, TheVisualisationKeepsItsSpellingTypeAndSize)
{
    struct Case
    {
        const char* name;
        const char16_t* spelling;
        Value stored;
        Value written;
    } cases[] = {
        {"DWORD", u"EnableVisualisation", dwordValue(0), dwordValue(1)},
        {"one byte, the other spelling", u"EnableVisualization", Value{REG_BINARY, {0}},
         Value{REG_BINARY, {1}}},
        {"four bytes on", u"EnableVisualization", Value{REG_BINARY, {1, 0, 0, 0}},
         Value{REG_BINARY, {0, 0, 0, 0}}},
        {"text", u"EnableVisualisation", stringValue("1"), stringValue("0")},
    };
    for (const Case& c : cases)
    {
        deleteKey(kPlc);
        setValue(kPlc, c.spelling, c.stored.type, c.stored.bytes);
        Page started;
        ASSERT_TRUE(started.page.control(IDC_VISUALISATION).visible()) << c.name;
        started.host.click(started.page, IDC_VISUALISATION);
        EXPECT_TRUE(started.page.needsServiceRestart()) << c.name;
        started.page.apply();
        EXPECT_EQ(value(kPlc, c.spelling), c.written) << c.name;
        EXPECT_FALSE(value(kPlc, c.spelling == std::u16string(u"EnableVisualisation")
                                     ? u"EnableVisualization"
                                     : u"EnableVisualisation"))
            << c.name;
    }
}

TEST_F(QuberonPageTest, VisualisationAndRunAsDeviceExcludeEachOther)
{
    // A visualisation that is on locks "Run as Device"; turning it off frees it.
    setDword(kPlc, u"EnableVisualisation", 1);
    {
        Page started;
        EXPECT_TRUE(started.page.isChecked(IDC_VISUALISATION));
        EXPECT_FALSE(started.page.control(IDC_RUN_AS_DEVICE).enabled());
        started.host.click(started.page, IDC_VISUALISATION);
        EXPECT_TRUE(started.page.control(IDC_RUN_AS_DEVICE).enabled());
        started.host.click(started.page, IDC_RUN_AS_DEVICE);
        EXPECT_FALSE(started.page.control(IDC_VISUALISATION).enabled());
    }
    // A device shows the visualisation cleared and disabled, and Apply keeps the stored one.
    setDword(kSystem, u"RunAsDevice", 1);
    {
        Page started;
        EXPECT_FALSE(started.page.isChecked(IDC_VISUALISATION));
        EXPECT_FALSE(started.page.control(IDC_VISUALISATION).enabled());
        EXPECT_TRUE(started.page.control(IDC_VISUALISATION).visible());
        started.host.click(started.page, IDC_LOG_FILE);
        started.page.apply();
        EXPECT_EQ(dword(kPlc, u"EnableVisualisation"), 1u);
    }
    // Neither spelling: nothing to show.
    deleteKey(kPlc);
    Page started;
    EXPECT_FALSE(started.page.control(IDC_VISUALISATION).visible());
    EXPECT_FALSE(started.page.control(IDC_VISUALISATION_GROUP).visible());
}

TEST_F(QuberonPageTest, TheVisualisationKeyFollowsTheQuberonVersion)
{
    setQuberonMajorVersion(3);
    setDword(u"Software\\Corvanta\\Quberon3\\Plc", u"EnableVisualization", 0);
    Page started;
    ASSERT_TRUE(started.page.control(IDC_VISUALISATION).visible());
    started.host.click(started.page, IDC_VISUALISATION);
    started.page.apply();
    EXPECT_EQ(dword(u"Software\\Corvanta\\Quberon3\\Plc", u"EnableVisualization"), 1u);
    EXPECT_EQ(dword(kPlc, u"EnableVisualisation"), 0u);
}

TEST_F(QuberonPageTest, TheLoggerBoxEditsSystemConfig)
{
    writeDeviceFile(kLoggerProgram, "program");
    writeDeviceFile(kConfig, kWithoutLogger);
    Page started;
    CQuberonPage& page = started.page;
    ASSERT_TRUE(page.control(IDC_LOGGER).visible());
    EXPECT_FALSE(page.isChecked(IDC_LOGGER));
    started.host.click(page, IDC_LOGGER);
    EXPECT_TRUE(page.needsReset());
    EXPECT_FALSE(page.needsServiceRestart());
    page.apply();
    EXPECT_EQ(readDeviceFile(kConfig),
              std::string("<QbBootProject><Processes><Process><Filename>QbSysExe.exe</Filename></Process>"
                          "<Process><Filename>QbEventLoggerCE.exe</Filename><Type>0</Type><Index>10</Index>"
                          "</Process></Processes></QbBootProject>\n"));
    started.host.click(page, IDC_LOGGER);
    page.apply();
    EXPECT_EQ(readDeviceFile(kConfig), std::string("<QbBootProject><Processes><Process><Filename>QbSysExe.exe"
                                                   "</Filename></Process></Processes></QbBootProject>\n"));

    writeDeviceFile(kConfig, kWithLogger);
    Page again;
    EXPECT_TRUE(again.page.isChecked(IDC_LOGGER));
}

TEST_F(QuberonPageTest, AHiddenOrUnreadableLoggerLeavesTheFileAlone)
{
    // Without the logger program the box is hidden, and Apply does not clear the file's logger.
    writeDeviceFile(kConfig, kWithLogger);
    {
        Page started;
        EXPECT_FALSE(started.page.control(IDC_LOGGER).visible());
        EXPECT_FALSE(started.page.control(IDC_LOGGER_GROUP).visible());
        started.host.click(started.page, IDC_LOG_FILE);
        started.page.apply();
        EXPECT_EQ(readDeviceFile(kConfig), std::string(kWithLogger));
    }
    // A malformed file reads as off and stays as it is.
    writeDeviceFile(kLoggerProgram, "program");
    writeDeviceFile(kConfig, "<QbBootProject><Processes>");
    Page started;
    EXPECT_FALSE(started.page.isChecked(IDC_LOGGER));
    started.host.click(started.page, IDC_LOGGER);
    started.page.apply();
    EXPECT_EQ(readDeviceFile(kConfig), std::string("<QbBootProject><Processes>"));
}
} // namespace
