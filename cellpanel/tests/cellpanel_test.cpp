// The battery dialog on the scripted host, with the device's registry and power-supply
// folder in a temporary device root.
#include "cellpanel_dialog.h"
#include "power_text.h"

#include <test_support.h>
#include <ui/testing/scripted_host.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>

using namespace std::chrono_literals;
using namespace cellpanel;
using ui::testing::MessageRecord;
using ui::testing::ScriptedHost;

namespace
{
constexpr const char16_t* kBattery = u"Drivers\\BuiltIn\\Battery";
constexpr const char16_t* kConfig = u"Drivers\\BuiltIn\\Battery\\Config";

void setString(const char16_t* path, const char16_t* name, const std::string& text)
{
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    const std::u16string value = os::toUtf16(text);
    ASSERT_EQ(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(char16_t))),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void setDword(const char16_t* path, const char16_t* name, DWORD value)
{
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

std::optional<DWORD> dword(const char16_t* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kConfig, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    const LONG result = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_DWORD)
        return std::nullopt;
    return value;
}

// A new device root comes with the battery values that the build ships; the tests
// start without them.
struct BareDeviceRoot
{
    BareDeviceRoot() { RegDeleteKeyW(HKEY_LOCAL_MACHINE, kBattery); }
    const std::string& path() const { return root.path(); }
    operator const ostest::TempDeviceRoot&() const { return root; }

    ostest::TempDeviceRoot root;
};

bool keyExists(const char16_t* path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// The controls that a failed query or a missing battery description disables.
const int kStatusAndSettings[] = {IDC_VENDOR,     IDC_MODEL,      IDC_POWER_SOURCE, IDC_CHARGE_STATUS,
                                  IDC_LOAD_LEVEL, IDC_RUNTIME,    IDC_TEMPERATURE,  IDC_VOLTAGE,
                                  IDC_CURRENT,    IDC_WAIT_GROUP, IDC_WAIT,         IDC_WAIT_SPIN,
                                  IDC_WAIT_UNIT,  IDC_PORT,       IDC_PORT_LABEL};

class CellpanelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_supplies.set("AC", "type", "Mains");
        m_supplies.set("AC", "online", "1");
        m_supplies.set("BAT0", "type", "Battery");
        m_supplies.set("BAT0", "capacity", "80");
        m_supplies.set("BAT0", "status", "Discharging");
        m_supplies.set("BAT0", "time_to_empty_now", "3725");
        m_supplies.set("BAT0", "voltage_now", "12345000");
        m_supplies.set("BAT0", "current_now", "-1500000");
        m_supplies.set("BAT0", "temp", "253");
    }

    void describeBattery(const std::string& vendor = "Corvanta", const std::string& model = "Pack 12")
    {
        setString(kConfig, u"Vendor", vendor);
        setString(kConfig, u"Model", model);
    }

    void start()
    {
        m_host.start(m_dialog);
        ASSERT_TRUE(m_dialog.isOpen());
    }

    std::vector<int> enabledOf(std::initializer_list<int> ids) const
    {
        std::vector<int> enabled;
        for (int id : ids)
        {
            if (m_dialog.control(id).enabled())
                enabled.push_back(id);
        }
        return enabled;
    }

    bool allDisabled() const
    {
        for (int id : kStatusAndSettings)
        {
            if (m_dialog.control(id).enabled())
                return false;
        }
        return true;
    }

    BareDeviceRoot m_root;
    ostest::PowerSupplyFolder m_supplies{m_root};
    ScriptedHost m_host;
    CCellpanelDlg m_dialog;
};

struct TextCase
{
    const char* name;
    std::string (*format)(SYSTEM_POWER_STATUS_EX2 const&);
    SYSTEM_POWER_STATUS_EX2 status;
    const char* text;
};

SYSTEM_POWER_STATUS_EX2 status(BYTE ac, BYTE flag, BYTE percent, DWORD life, LONG temperature)
{
    SYSTEM_POWER_STATUS_EX2 s{};
    s.ACLineStatus = ac;
    s.BatteryFlag = flag;
    s.BatteryLifePercent = percent;
    s.BatteryLifeTime = life;
    s.BatteryTemperature = temperature;
    return s;
}

TEST(CellpanelText, StatusFieldsGiveTheDialogTexts)
{
    const auto source = [](const SYSTEM_POWER_STATUS_EX2& s) { return powerSourceText(s.ACLineStatus); };
    const auto charge = [](const SYSTEM_POWER_STATUS_EX2& s) { return chargeStatusText(s.BatteryFlag); };
    const auto level = [](const SYSTEM_POWER_STATUS_EX2& s) { return loadLevelText(s.BatteryLifePercent); };
    const auto runtime = [](const SYSTEM_POWER_STATUS_EX2& s) { return runtimeText(s.BatteryLifeTime); };
    const auto temperature = [](const SYSTEM_POWER_STATUS_EX2& s)
    { return temperatureText(s.BatteryTemperature); };
    const TextCase cases[] = {
        {"AC 0", source, status(0, 1, 0, 0, 0), "Current power source: OFFLINE"},
        {"AC 1", source, status(1, 1, 0, 0, 0), "Current power source: ONLINE"},
        {"AC 2", source, status(2, 1, 0, 0, 0), "Current power source: BACKUP POWER"},
        {"AC 255", source, status(255, 1, 0, 0, 0), "Current power source: UNKNOWN"},
        {"AC 3", source, status(3, 1, 0, 0, 0), "Current power source: UNKNOWN"},
        {"flag 1", charge, status(0, 1, 0, 0, 0), "Battery charge status: HIGH"},
        {"flag 2", charge, status(0, 2, 0, 0, 0), "Battery charge status: LOW"},
        {"flag 4", charge, status(0, 4, 0, 0, 0), "Battery charge status: CRITICAL"},
        {"flag 8", charge, status(0, 8, 0, 0, 0), "Battery charge status: CHARGING"},
        {"flag 128", charge, status(0, 128, 0, 0, 0), "Battery charge status: NO BATTERY"},
        {"flag 9 is no single state", charge, status(0, 9, 0, 0, 0), "Battery charge status: UNKNOWN"},
        {"flag 0", charge, status(0, 0, 0, 0, 0), "Battery charge status: UNKNOWN"},
        {"flag 255", charge, status(0, 255, 0, 0, 0), "Battery charge status: UNKNOWN"},
        {"80 percent", level, status(0, 0, 80, 0, 0), "Battery load level: 80%"},
        {"0 percent", level, status(0, 0, 0, 0, 0), "Battery load level: 0%"},
        {"unknown percent", level, status(0, 0, 255, 0, 0), "Battery load level: unknown"},
        {"3725 s", runtime, status(0, 0, 0, 3725, 0), "Estimated UPS runtime: 1h:2m:5s"},
        {"0 s", runtime, status(0, 0, 0, 0, 0), "Estimated UPS runtime: 0h:0m:0s"},
        {"59 s", runtime, status(0, 0, 0, 59, 0), "Estimated UPS runtime: 0h:0m:59s"},
        {"unknown life time", runtime, status(0, 0, 0, 0xFFFFFFFF, 0), "Estimated UPS runtime: unknown"},
        {"253", temperature, status(0, 0, 0, 0, 253), "Temperature: 25.3\u00B0C"},
        {"0", temperature, status(0, 0, 0, 0, 0), "Temperature: 0.0\u00B0C"},
        {"-25", temperature, status(0, 0, 0, 0, -25), "Temperature: -2.5\u00B0C"},
        {"-5", temperature, status(0, 0, 0, 0, -5), "Temperature: -0.5\u00B0C"},
        {"-250", temperature, status(0, 0, 0, 0, -250), "Temperature: -25.0\u00B0C"},
    };
    for (const TextCase& row : cases)
    {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.format(row.status), row.text);
    }
    EXPECT_EQ(voltageText(12345), "Voltage: 12345mV");
    EXPECT_EQ(currentText(-1500), "Current: -1500mA");
}

TEST_F(CellpanelTest, RefreshShowsTheFixtureEverySecond)
{
    describeBattery();
    start();
    EXPECT_EQ(m_dialog.itemText(IDC_POWER_SOURCE), "Current power source:");
    m_host.advance(999ms);
    EXPECT_EQ(m_dialog.itemText(IDC_POWER_SOURCE), "Current power source:");
    m_host.advance(1ms);
    EXPECT_EQ(m_dialog.itemText(IDC_POWER_SOURCE), "Current power source: ONLINE");
    EXPECT_EQ(m_dialog.itemText(IDC_CHARGE_STATUS), "Battery charge status: HIGH");
    EXPECT_EQ(m_dialog.itemText(IDC_LOAD_LEVEL), "Battery load level: 80%");
    EXPECT_EQ(m_dialog.itemText(IDC_RUNTIME), "Estimated UPS runtime: 1h:2m:5s");
    EXPECT_EQ(m_dialog.itemText(IDC_TEMPERATURE), "Temperature: 25.3\u00B0C");
    EXPECT_EQ(m_dialog.itemText(IDC_VOLTAGE), "Voltage: 12345mV");
    EXPECT_EQ(m_dialog.itemText(IDC_CURRENT), "Current: -1500mA");
    EXPECT_EQ(m_dialog.itemText(IDC_VENDOR), "Vendor: Corvanta");
    EXPECT_EQ(m_dialog.itemText(IDC_MODEL), "Model: Pack 12");

    const struct
    {
        const char* supply;
        const char* name;
        const char* value; // nullptr removes the file
        int control;
        const char* text;
    } steps[] = {
        {"AC", "online", "0", IDC_POWER_SOURCE, "Current power source: OFFLINE"},
        {"BAT0", "status", "Charging", IDC_CHARGE_STATUS, "Battery charge status: UNKNOWN"},
        {"BAT0", "capacity", "50", IDC_CHARGE_STATUS, "Battery charge status: CHARGING"},
        {"BAT0", "status", "Discharging", IDC_CHARGE_STATUS, "Battery charge status: UNKNOWN"},
        {"BAT0", "capacity", "3", IDC_CHARGE_STATUS, "Battery charge status: CRITICAL"},
        {"BAT0", "capacity", "20", IDC_LOAD_LEVEL, "Battery load level: 20%"},
        {"BAT0", "capacity", nullptr, IDC_LOAD_LEVEL, "Battery load level: unknown"},
        {"BAT0", "time_to_empty_now", nullptr, IDC_RUNTIME, "Estimated UPS runtime: unknown"},
        {"BAT0", "temp", "-25", IDC_TEMPERATURE, "Temperature: -2.5\u00B0C"},
        {"BAT0", "present", "0", IDC_CHARGE_STATUS, "Battery charge status: NO BATTERY"},
    };
    for (const auto& step : steps)
    {
        SCOPED_TRACE(step.text);
        if (step.value)
            m_supplies.set(step.supply, step.name, step.value);
        else
            m_supplies.erase(step.supply, step.name);
        m_host.advance(1000ms);
        EXPECT_EQ(m_dialog.itemText(step.control), step.text);
    }
    EXPECT_FALSE(allDisabled());
}

TEST_F(CellpanelTest, AMissingBatteryDescriptionDisablesAtStart)
{
    const struct
    {
        const char* vendor; // nullptr: not in the registry
        const char* model;
        bool disabled;
    } cases[] = {
        {"Corvanta", "Pack 12", false}, {"(None)", "Pack 12", true},  {"(none)", "Pack 12", true},
        {"", "Pack 12", true},          {nullptr, "Pack 12", true},   {"Corvanta", "", true},
        {"Corvanta", nullptr, true},    {"(NONE)", "Pack 12", false},
    };
    for (const auto& row : cases)
    {
        SCOPED_TRACE(std::string(row.vendor ? row.vendor : "<none>") + " / " +
                     (row.model ? row.model : "<none>"));
        BareDeviceRoot root;
        ostest::PowerSupplyFolder supplies(root);
        supplies.set("AC", "type", "Mains");
        setString(kBattery, u"Port", "COM3");
        if (row.vendor)
            setString(kConfig, u"Vendor", row.vendor);
        if (row.model)
            setString(kConfig, u"Model", row.model);
        ScriptedHost host;
        CCellpanelDlg dialog;
        host.start(dialog);
        for (int id : kStatusAndSettings)
            EXPECT_EQ(dialog.control(id).enabled(), !row.disabled) << id;
        EXPECT_TRUE(dialog.control(IDOK).enabled());
        EXPECT_TRUE(dialog.control(IDC_ABOUT).enabled());
        host.advance(1000ms); // texts still come
        EXPECT_EQ(dialog.itemText(IDC_POWER_SOURCE), "Current power source: UNKNOWN");
    }
}

TEST_F(CellpanelTest, ThePortIsShownOrHidden)
{
    describeBattery();
    setString(kBattery, u"Port", "COM2");
    start();
    EXPECT_TRUE(m_dialog.control(IDC_PORT).visible());
    EXPECT_TRUE(m_dialog.control(IDC_PORT_LABEL).visible());
    EXPECT_EQ(m_dialog.combo(IDC_PORT).text(), "COM2");
    EXPECT_EQ(m_dialog.port(), "COM2");

    const struct
    {
        const char* name;
        std::optional<std::string> port;
    } hidden[] = {
        {"empty", std::string()}, {"missing", std::nullopt}, {"over 255 characters", std::string(256, 'C')}};
    for (const auto& row : hidden)
    {
        SCOPED_TRACE(row.name);
        BareDeviceRoot root;
        describeBattery();
        if (row.port)
            setString(kBattery, u"Port", *row.port);
        ScriptedHost host;
        CCellpanelDlg dialog;
        host.start(dialog);
        for (int id : {IDC_PORT, IDC_PORT_LABEL})
        {
            EXPECT_FALSE(dialog.control(id).visible());
            EXPECT_FALSE(dialog.control(id).enabled());
        }
        EXPECT_TRUE(dialog.control(IDC_WAIT).enabled());
    }
}

TEST_F(CellpanelTest, AFailedQueryDisablesForGoodWhileTextsStillUpdate)
{
    describeBattery();
    start();
    m_host.advance(1000ms);
    EXPECT_FALSE(allDisabled());
    m_supplies.hide();
    m_host.advance(1000ms);
    EXPECT_TRUE(allDisabled());
    EXPECT_EQ(m_dialog.itemText(IDC_POWER_SOURCE), "Current power source: ONLINE");

    m_supplies.restore(); // the folder is back, with a new value
    m_supplies.set("AC", "online", "0");
    m_host.advance(1000ms);
    EXPECT_EQ(m_dialog.itemText(IDC_POWER_SOURCE), "Current power source: OFFLINE");
    EXPECT_TRUE(allDisabled());
    // About and OK stay usable.
    m_host.answer(IDOK, "Version: 1.0.1");
    EXPECT_TRUE(m_host.click(m_dialog, IDC_ABOUT).accepted());
    EXPECT_TRUE(m_host.click(m_dialog, IDOK).accepted());
}

TEST_F(CellpanelTest, AboutShowsTheVersion)
{
    describeBattery();
    start();
    m_host.answer(IDOK);
    ASSERT_TRUE(m_host.click(m_dialog, IDC_ABOUT).accepted());
    EXPECT_EQ(m_host.messages(), (std::vector<MessageRecord>{{"Version: 1.0.1", "About", MB_OK}}));
    EXPECT_TRUE(m_dialog.isOpen());
}

TEST_F(CellpanelTest, StoredValuesAreShownAndWrittenBackUnchanged)
{
    describeBattery();
    setDword(kConfig, u"ShutdownOnBatteryWait", 15);
    setDword(kConfig, u"ShutdownOnBatteryWaitUnit", 1);
    start();
    EXPECT_EQ(m_dialog.itemText(IDC_WAIT), "15");
    EXPECT_EQ(m_dialog.combo(IDC_WAIT_UNIT).text(), "minutes");
    setDword(kConfig, u"ShutdownOnBatteryWait", 99); // OK writes what the dialog shows
    setDword(kConfig, u"ShutdownOnBatteryWaitUnit", 7);
    ASSERT_TRUE(m_host.click(m_dialog, IDOK).accepted());
    EXPECT_FALSE(m_dialog.isOpen());
    EXPECT_EQ(dword(u"ShutdownOnBatteryWait"), 15u);
    EXPECT_EQ(dword(u"ShutdownOnBatteryWaitUnit"), 1u);
}

TEST_F(CellpanelTest, WhatIsWrittenOnOk)
{
    using Edit = std::function<void(ScriptedHost&, CCellpanelDlg&)>;
    const Edit nothing = [](ScriptedHost&, CCellpanelDlg&) {};
    const struct
    {
        const char* name;
        std::optional<DWORD> storedWait;
        std::optional<DWORD> storedUnit;
        Edit edit;
        std::optional<DWORD> wait;
        std::optional<DWORD> unit;
    } cases[] = {
        {"absent values stay absent", std::nullopt, std::nullopt, nothing, std::nullopt, std::nullopt},
        {"unit 0 shows seconds, written as 0", 30, 0, nothing, 30, 0},
        {"unit 5 counts as seconds, written as 0", 30, 5, nothing, 30, 0},
        {"up arrow twice", 30, 0,
         [](ScriptedHost& h, CCellpanelDlg& d)
         {
             h.arrow(d, IDC_WAIT_SPIN, true);
             h.arrow(d, IDC_WAIT_SPIN, true);
         },
         32, 0},
        {"an arrow on an absent value writes it, not the unit", std::nullopt, std::nullopt,
         [](ScriptedHost& h, CCellpanelDlg& d) { h.arrow(d, IDC_WAIT_SPIN, true); }, 1, std::nullopt},
        {"a typed number", 30, 0, [](ScriptedHost& h, CCellpanelDlg& d) { h.type(d, IDC_WAIT, "100"); }, 100,
         0},
        {"a typed number above the range", 30, 0,
         [](ScriptedHost& h, CCellpanelDlg& d) { h.type(d, IDC_WAIT, "1000"); }, 720, 0},
        {"typed text keeps the last position", 30, 0,
         [](ScriptedHost& h, CCellpanelDlg& d) { h.type(d, IDC_WAIT, "abc"); }, 30, 0},
        {"a unit chosen for absent values", std::nullopt, std::nullopt,
         [](ScriptedHost& h, CCellpanelDlg& d) { h.select(d, IDC_WAIT_UNIT, 1); }, std::nullopt, 1},
        {"minutes chosen", 30, 0, [](ScriptedHost& h, CCellpanelDlg& d) { h.select(d, IDC_WAIT_UNIT, 1); },
         30, 1},
        {"a stored value above 720 shows and writes 720", 1000, 1, nothing, 720, 1},
    };
    for (const auto& row : cases)
    {
        SCOPED_TRACE(row.name);
        BareDeviceRoot root;
        describeBattery();
        if (row.storedWait)
            setDword(kConfig, u"ShutdownOnBatteryWait", *row.storedWait);
        if (row.storedUnit)
            setDword(kConfig, u"ShutdownOnBatteryWaitUnit", *row.storedUnit);
        ScriptedHost host;
        CCellpanelDlg dialog;
        host.start(dialog);
        row.edit(host, dialog);
        ASSERT_TRUE(host.click(dialog, IDOK).accepted());
        EXPECT_FALSE(dialog.isOpen());
        EXPECT_EQ(dialog.result(), IDOK);
        EXPECT_EQ(dword(u"ShutdownOnBatteryWait"), row.wait);
        EXPECT_EQ(dword(u"ShutdownOnBatteryWaitUnit"), row.unit);
    }
}

TEST_F(CellpanelTest, AMissingConfigKeyWritesNothingAndStillCloses)
{
    setString(kBattery, u"Port", "COM1");
    start();
    EXPECT_TRUE(allDisabled());              // no vendor, no model
    m_dialog.control(IDC_WAIT).enable(true); // even a value typed in is not written
    ASSERT_TRUE(m_host.type(m_dialog, IDC_WAIT, "12").accepted());
    ASSERT_TRUE(m_host.click(m_dialog, IDOK).accepted());
    EXPECT_FALSE(m_dialog.isOpen());
    EXPECT_FALSE(keyExists(kConfig));
    EXPECT_TRUE(keyExists(kBattery));
}

TEST(CellpanelDevice, ANewDeviceHasTheBatteryValuesToShow)
{
    ostest::TempDeviceRoot root;
    ScriptedHost host;
    CCellpanelDlg dialog;
    host.start(dialog);
    EXPECT_EQ(dialog.itemText(IDC_VENDOR), "Vendor: Corvanta");
    EXPECT_EQ(dialog.itemText(IDC_WAIT), "30");
    EXPECT_EQ(dialog.combo(IDC_WAIT_UNIT).text(), "seconds");
    EXPECT_FALSE(dialog.control(IDC_PORT).visible());
    host.advance(1000ms);
    EXPECT_EQ(dialog.itemText(IDC_POWER_SOURCE), "Current power source: ONLINE");
    EXPECT_EQ(dialog.itemText(IDC_LOAD_LEVEL), "Battery load level: 100%");
    EXPECT_TRUE(dialog.control(IDC_WAIT).enabled());
}

TEST_F(CellpanelTest, ClosingWithoutOkWritesNothing)
{
    describeBattery();
    setDword(kConfig, u"ShutdownOnBatteryWait", 30);
    start();
    ASSERT_TRUE(m_host.arrow(m_dialog, IDC_WAIT_SPIN, true).accepted());
    ASSERT_TRUE(m_host.close(m_dialog).accepted());
    EXPECT_FALSE(m_dialog.isOpen());
    EXPECT_EQ(m_dialog.result(), IDCANCEL);
    EXPECT_EQ(dword(u"ShutdownOnBatteryWait"), 30u);
}
} // namespace
