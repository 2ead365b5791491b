#include <os/deviceroot.h>
#include <os/power.h>
#include <os/text.h>

#include "power_seed.h"
#include "registry_read.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <fstream>
#include <optional>
#include <vector>

namespace
{
constexpr const char16_t* kPlatformKey = u"Platform";
constexpr const char* kDefaultFolder = "power_supply";

// The first line of a value file without surrounding blanks; nothing when it is unreadable.
std::optional<std::string> readText(const std::string& supply, const char* name)
{
    std::ifstream file(supply + "/" + name);
    std::string line;
    if (!file || !std::getline(file, line))
        return std::nullopt;
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!line.empty() && blank(line.back()))
        line.pop_back();
    const auto first = std::find_if_not(line.begin(), line.end(), blank);
    return std::string(first, line.end());
}

std::optional<long long> readNumber(const std::string& supply, const char* name)
{
    const auto text = readText(supply, name);
    if (!text || text->empty())
        return std::nullopt;
    long long value = 0;
    const char* end = text->data() + text->size();
    const auto [stop, error] = std::from_chars(text->data(), end, value);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

// The supplies' folders in name order, so that "the first battery" is the same on every call.
std::vector<std::string> supplyFolders(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* directory = opendir(folder.c_str()))
    {
        while (const dirent* entry = readdir(directory))
        {
            if (entry->d_name[0] != '.')
                names.emplace_back(entry->d_name);
        }
        closedir(directory);
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> folders;
    for (const std::string& name : names)
    {
        struct stat info
        {
        };
        const std::string path = folder + "/" + name;
        if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
            folders.push_back(path);
    }
    return folders;
}

BYTE acLineStatus(const std::vector<std::string>& mains)
{
    BYTE status = AC_LINE_UNKNOWN;
    for (const std::string& supply : mains)
    {
        const auto online = readNumber(supply, "online");
        if (online && *online != 0)
            return AC_LINE_ONLINE;
        if (online)
            status = AC_LINE_OFFLINE;
    }
    return status;
}

DWORD clampToDword(long long value)
{
    return static_cast<DWORD>(std::clamp<long long>(value, 0, 0xFFFFFFFFll));
}

LONG clampToLong(long long value)
{
    return static_cast<LONG>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

void readBattery(const std::string& battery, SYSTEM_POWER_STATUS_EX2& status)
{
    if (readNumber(battery, "present").value_or(1) == 0)
        return; // the flag says "no battery" already
    status.BatteryFlag = BATTERY_FLAG_UNKNOWN;
    if (const auto capacity = readNumber(battery, "capacity"))
    {
        const long long percent = std::clamp<long long>(*capacity, 0, 100);
        status.BatteryLifePercent = static_cast<BYTE>(percent);
        BYTE flag = 0; // 33 to 66 percent has no level of its own
        if (percent > 66)
            flag = BATTERY_FLAG_HIGH;
        else if (percent >= 5 && percent <= 32)
            flag = BATTERY_FLAG_LOW;
        else if (percent < 5)
            flag = BATTERY_FLAG_CRITICAL;
        if (readText(battery, "status").value_or("") == "Charging")
            flag |= BATTERY_FLAG_CHARGING;
        status.BatteryFlag = flag;
    }
    if (const auto seconds = readNumber(battery, "time_to_empty_now"))
        status.BatteryLifeTime = clampToDword(*seconds);
    status.BatteryVoltage = clampToDword(readNumber(battery, "voltage_now").value_or(0) / 1000);
    status.BatteryCurrent = clampToLong(readNumber(battery, "current_now").value_or(0) / 1000);
    status.BatteryTemperature = clampToLong(readNumber(battery, "temp").value_or(0));
}
} // namespace

namespace os
{
std::string powerSupplyFolder()
{
    const auto configured = detail::machineString(kPlatformKey, u"PowerSupplyPath");
    if (!configured || configured->empty())
        return deviceRoot() + "/" + kDefaultFolder;
    if ((*configured)[0] == u'/')
        return toUtf8(*configured);
    return toHostPath(*configured).value_or(std::string());
}
} // namespace os

extern "C" DWORD GetSystemPowerStatusEx2(PSYSTEM_POWER_STATUS_EX2 status, DWORD size, BOOL)
{
    if (!status || size != sizeof(SYSTEM_POWER_STATUS_EX2))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string folder = os::powerSupplyFolder();
    struct stat info
    {
    };
    if (folder.empty() || stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
    {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return 0;
    }

    SYSTEM_POWER_STATUS_EX2 result;
    std::memset(&result, 0, sizeof result);
    result.BatteryFlag = BATTERY_FLAG_NO_BATTERY;
    result.BatteryLifePercent = BATTERY_PERCENTAGE_UNKNOWN;
    result.BatteryLifeTime = BATTERY_LIFE_UNKNOWN;
    result.BatteryFullLifeTime = BATTERY_LIFE_UNKNOWN;
    result.BackupBatteryFlag = BATTERY_FLAG_UNKNOWN;
    result.BackupBatteryLifePercent = BATTERY_PERCENTAGE_UNKNOWN;
    result.BackupBatteryLifeTime = BATTERY_LIFE_UNKNOWN;
    result.BackupBatteryFullLifeTime = BATTERY_LIFE_UNKNOWN;
    result.BatteryChemistry = BATTERY_CHEMISTRY_UNKNOWN;

    std::vector<std::string> mains;
    std::optional<std::string> battery;
    for (const std::string& supply : supplyFolders(folder))
    {
        const std::string type = readText(supply, "type").value_or("");
        if (type == "Mains")
            mains.push_back(supply);
        else if (type == "Battery" && !battery)
            battery = supply;
    }
    result.ACLineStatus = acLineStatus(mains);
    if (battery)
        readBattery(*battery, result);
    std::memcpy(status, &result, sizeof result);
    return sizeof result;
}

namespace os::detail
{
void seedPowerSupplies(const std::string& root)
{
    const std::string folder = root + "/" + kDefaultFolder;
    struct stat info
    {
    };
    if (stat(folder.c_str(), &info) == 0)
        return;
    const struct
    {
        const char* supply;
        const char* name;
        const char* value;
    } values[] = {
        {"AC", "type", "Mains"},
        {"AC", "online", "1"},
        {"BAT0", "type", "Battery"},
        {"BAT0", "present", "1"},
        {"BAT0", "status", "Full"},
        {"BAT0", "capacity", "100"},
        {"BAT0", "voltage_now", "12600000"},
        {"BAT0", "current_now", "0"},
        {"BAT0", "temp", "250"},
    };
    mkdir(folder.c_str(), 0777);
    for (const auto& value : values)
    {
        const std::string supply = folder + "/" + value.supply;
        mkdir(supply.c_str(), 0777);
        std::ofstream(supply + "/" + value.name) << value.value << "\n";
    }
}
} // namespace os::detail
