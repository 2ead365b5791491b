#include "test_support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

namespace
{
using Supplies = std::map<std::string, std::map<std::string, std::string>>;

struct Expected
{
    BYTE acLine;
    BYTE flag;
    BYTE percent;
    DWORD lifeTime;
    DWORD voltage;
    LONG current;
    LONG temperature;
};

struct PowerCase
{
    const char* name;
    Supplies supplies;
    Expected expected;
};

const std::map<std::string, std::string> kMainsOnline{{"type", "Mains"}, {"online", "1"}};
const std::map<std::string, std::string> kMainsOffline{{"type", "Mains"}, {"online", "0"}};

std::map<std::string, std::string> battery(const char* capacity, const char* status)
{
    return {{"type", "Battery"}, {"present", "1"}, {"capacity", capacity}, {"status", status}};
}

DWORD query(SYSTEM_POWER_STATUS_EX2& status)
{
    return GetSystemPowerStatusEx2(&status, sizeof status, TRUE);
}

TEST(PowerStatus, FixtureFoldersGiveTheStatusFields)
{
    const DWORD unknown = BATTERY_LIFE_UNKNOWN;
    const PowerCase cases[] = {
        {"mains online",
         {{"AC", kMainsOnline}, {"BAT0", battery("80", "Discharging")}},
         {1, 1, 80, unknown, 0, 0, 0}},
        {"mains offline",
         {{"AC", kMainsOffline}, {"BAT0", battery("80", "Discharging")}},
         {0, 1, 80, unknown, 0, 0, 0}},
        {"no mains supply", {{"BAT0", battery("80", "Discharging")}}, {255, 1, 80, unknown, 0, 0, 0}},
        {"mains without online value", {{"AC", {{"type", "Mains"}}}}, {255, 128, 255, unknown, 0, 0, 0}},
        {"80 charging",
         {{"AC", kMainsOnline}, {"BAT0", battery("80", "Charging")}},
         {1, 9, 80, unknown, 0, 0, 0}},
        {"50 charging",
         {{"AC", kMainsOnline}, {"BAT0", battery("50", "Charging")}},
         {1, 8, 50, unknown, 0, 0, 0}},
        {"67 is high", {{"BAT0", battery("67", "Discharging")}}, {255, 1, 67, unknown, 0, 0, 0}},
        {"66 has no level", {{"BAT0", battery("66", "Discharging")}}, {255, 0, 66, unknown, 0, 0, 0}},
        {"33 has no level", {{"BAT0", battery("33", "Discharging")}}, {255, 0, 33, unknown, 0, 0, 0}},
        {"32 is low", {{"BAT0", battery("32", "Discharging")}}, {255, 2, 32, unknown, 0, 0, 0}},
        {"5 is low", {{"BAT0", battery("5", "Discharging")}}, {255, 2, 5, unknown, 0, 0, 0}},
        {"3 is critical", {{"BAT0", battery("3", "Discharging")}}, {255, 4, 3, unknown, 0, 0, 0}},
        {"no battery supply", {{"AC", kMainsOnline}}, {1, 128, 255, unknown, 0, 0, 0}},
        {"battery not present",
         {{"AC", kMainsOnline}, {"BAT0", {{"type", "Battery"}, {"present", "0"}, {"capacity", "90"}}}},
         {1, 128, 255, unknown, 0, 0, 0}},
        {"missing capacity",
         {{"BAT0", {{"type", "Battery"}, {"status", "Charging"}}}},
         {255, 255, 255, unknown, 0, 0, 0}},
        {"unreadable capacity",
         {{"BAT0", {{"type", "Battery"}, {"capacity", "full"}}}},
         {255, 255, 255, unknown, 0, 0, 0}},
        {"time, voltage, current and temperature",
         {{"BAT0",
           {{"type", "Battery"},
            {"capacity", "100"},
            {"time_to_empty_now", "3725"},
            {"voltage_now", "12345678"},
            {"current_now", "-1500999"},
            {"temp", "-25"}}}},
         {255, 1, 100, 3725, 12345, -1500, -25}},
        {"the first battery by name counts",
         {{"BAT1", battery("10", "Discharging")}, {"BAT0", battery("90", "Discharging")}},
         {255, 1, 90, unknown, 0, 0, 0}},
        {"other supply kinds are ignored",
         {{"usb", {{"type", "USB"}, {"online", "1"}}}, {"BAT0", battery("90", "Discharging")}},
         {255, 1, 90, unknown, 0, 0, 0}},
    };
    for (const PowerCase& row : cases)
    {
        SCOPED_TRACE(row.name);
        ostest::TempDeviceRoot root;
        ostest::PowerSupplyFolder folder(root);
        for (const auto& [supply, values] : row.supplies)
        {
            for (const auto& [name, value] : values)
                folder.set(supply, name, value);
        }
        SYSTEM_POWER_STATUS_EX2 status;
        std::memset(&status, 0xAB, sizeof status);
        ASSERT_EQ(query(status), 56u);
        EXPECT_EQ(status.ACLineStatus, row.expected.acLine);
        EXPECT_EQ(status.BatteryFlag, row.expected.flag);
        EXPECT_EQ(status.BatteryLifePercent, row.expected.percent);
        EXPECT_EQ(status.BatteryLifeTime, row.expected.lifeTime);
        EXPECT_EQ(status.BatteryVoltage, row.expected.voltage);
        EXPECT_EQ(status.BatteryCurrent, row.expected.current);
        EXPECT_EQ(status.BatteryTemperature, row.expected.temperature);
        EXPECT_EQ(status.BatteryFullLifeTime, unknown);
        EXPECT_EQ(status.BackupBatteryFlag, BATTERY_FLAG_UNKNOWN);
        EXPECT_EQ(status.Reserved1, 0);
    }
}

TEST(PowerStatus, ValuesAreReadAfreshOnEveryCall)
{
    ostest::TempDeviceRoot root;
    ostest::PowerSupplyFolder folder(root);
    folder.set("AC", "type", "Mains");
    folder.set("AC", "online", "1");
    SYSTEM_POWER_STATUS_EX2 status{};
    ASSERT_EQ(query(status), 56u);
    EXPECT_EQ(status.ACLineStatus, AC_LINE_ONLINE);
    folder.set("AC", "online", "0");
    ASSERT_EQ(query(status), 56u);
    EXPECT_EQ(status.ACLineStatus, AC_LINE_OFFLINE);
}

TEST(PowerStatus, WrongSizeAndMissingFolderFail)
{
    ostest::TempDeviceRoot root;
    ostest::PowerSupplyFolder folder(root);
    folder.set("AC", "type", "Mains");
    SYSTEM_POWER_STATUS_EX2 status{};
    for (DWORD size : {0u, 55u, 57u, 64u})
    {
        SetLastError(0);
        EXPECT_EQ(GetSystemPowerStatusEx2(&status, size, TRUE), 0u) << size;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << size;
    }
    EXPECT_EQ(GetSystemPowerStatusEx2(nullptr, sizeof status, TRUE), 0u);

    folder.hide();
    SetLastError(0);
    EXPECT_EQ(query(status), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    folder.restore();
    EXPECT_EQ(query(status), 56u);
}

TEST(PowerStatus, NewDeviceRootHasMainsAndAFullBattery)
{
    ostest::TempDeviceRoot root;
    SYSTEM_POWER_STATUS_EX2 status{};
    ASSERT_EQ(query(status), 56u);
    EXPECT_EQ(os::powerSupplyFolder(), root.path() + "/power_supply");
    EXPECT_EQ(status.ACLineStatus, AC_LINE_ONLINE);
    EXPECT_EQ(status.BatteryLifePercent, 100);
    EXPECT_EQ(status.BatteryFlag, BATTERY_FLAG_HIGH);

    // Once removed, the default folder stays away: the query then fails.
    std::filesystem::remove_all(root.path() + "/power_supply");
    EXPECT_EQ(query(status), 0u);
}

TEST(PowerStatus, DevicePathsLieBelowTheDeviceRoot)
{
    ostest::TempDeviceRoot root;
    std::filesystem::create_directories(root.path() + "/Windows/Power/AC");
    std::ofstream(root.path() + "/Windows/Power/AC/type") << "Mains\n";
    std::ofstream(root.path() + "/Windows/Power/AC/online") << "0\n";
    const std::u16string value = u"\\Windows\\Power";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Platform", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, u"PowerSupplyPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * 2)),
              ERROR_SUCCESS);
    RegCloseKey(key);
    SYSTEM_POWER_STATUS_EX2 status{};
    ASSERT_EQ(query(status), 56u);
    EXPECT_EQ(status.ACLineStatus, AC_LINE_OFFLINE);
    EXPECT_EQ(status.BatteryFlag, BATTERY_FLAG_NO_BATTERY);
}
} // namespace

namespace
{
TEST(PowerState, RequestsAreRecordedAndNothingElseHappens)
{
    ostest::TempDeviceRoot root;
    EXPECT_TRUE(os::recordedPowerRequests().empty());
    EXPECT_EQ(SetSystemPowerState(nullptr, POWER_STATE_SUSPEND, 0), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(SetSystemPowerState(u"resuming", POWER_STATE_RESET, 0x1000), static_cast<DWORD>(ERROR_SUCCESS));
    // A name with a tab and a line end stays one record.
    EXPECT_EQ(SetSystemPowerState(u"a\tb\nc", POWER_STATE_OFF, 0), static_cast<DWORD>(ERROR_SUCCESS));

    const std::vector<os::PowerRequest> expected{
        {u"", 0x00200000u, 0},
        {u"resuming", 0x00800000u, 0x1000},
        {u"a?b?c", 0x00020000u, 0},
    };
    EXPECT_EQ(os::recordedPowerRequests(), expected);
    EXPECT_EQ(os::powerRequestLogPath(), root.path() + "/PowerRequests.log");
}

TEST(PowerState, DamagedRecordLinesAreSkipped)
{
    ostest::TempDeviceRoot root;
    std::ofstream(os::powerRequestLogPath()) << "state=x\tflags=0x10\toptions=0x0\n"
                                             << "garbage\n"
                                             << "state=y\tflags=10\toptions=0x0\n"
                                             << "state=z\tflags=0x1FFFFFFFF\toptions=0x0\n"
                                             << "state=w\tflags=0x20\toptions=0x1\n";
    const std::vector<os::PowerRequest> expected{{u"x", 0x10, 0}, {u"w", 0x20, 1}};
    EXPECT_EQ(os::recordedPowerRequests(), expected);
}
} // namespace
