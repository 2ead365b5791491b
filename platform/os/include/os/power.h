// The extended power status of the device, read from a folder laid out like Linux's
// power-supply class: one subfolder per supply with one value per file ("type",
// "online", "capacity", "status", "present", "time_to_empty_now", "voltage_now",
// "current_now", "temp").
//
// The folder is HKLM "Platform" "PowerSupplyPath": a value starting with "/" is a host
// folder ("/sys/class/power_supply" reads the host's own supplies), any other a device
// path; without the value it is "power_supply" in the device root, which a new device
// root gets with a mains supply online and a full battery.
#pragma once

#include <os/types.h>

#include <string>

#define AC_LINE_OFFLINE 0x00
#define AC_LINE_ONLINE 0x01
#define AC_LINE_BACKUP_POWER 0x02
#define AC_LINE_UNKNOWN 0xFF

#define BATTERY_FLAG_HIGH 0x01
#define BATTERY_FLAG_LOW 0x02
#define BATTERY_FLAG_CRITICAL 0x04
#define BATTERY_FLAG_CHARGING 0x08
#define BATTERY_FLAG_NO_BATTERY 0x80
#define BATTERY_FLAG_UNKNOWN 0xFF

#define BATTERY_PERCENTAGE_UNKNOWN 0xFF
#define BATTERY_LIFE_UNKNOWN 0xFFFFFFFFu
#define BATTERY_CHEMISTRY_UNKNOWN 0xFF

// The 56-byte form of the status. Voltages in mV, currents in mA, the temperature in
// tenths of a degree Celsius, life times in seconds.
struct SYSTEM_POWER_STATUS_EX2
{
    BYTE ACLineStatus;
    BYTE BatteryFlag;
    BYTE BatteryLifePercent;
    BYTE Reserved1;
    DWORD BatteryLifeTime;
    DWORD BatteryFullLifeTime;
    BYTE Reserved2;
    BYTE BackupBatteryFlag;
    BYTE BackupBatteryLifePercent;
    BYTE Reserved3;
    DWORD BackupBatteryLifeTime;
    DWORD BackupBatteryFullLifeTime;
    DWORD BatteryVoltage;
    LONG BatteryCurrent;
    LONG BatteryAverageCurrent;
    DWORD BatteryAverageInterval;
    DWORD BatterymAHourConsumed;
    LONG BatteryTemperature;
    DWORD BackupBatteryVoltage;
    BYTE BatteryChemistry;
};
typedef SYSTEM_POWER_STATUS_EX2* PSYSTEM_POWER_STATUS_EX2;
static_assert(sizeof(SYSTEM_POWER_STATUS_EX2) == 56, "the status is exchanged as 56 bytes");

namespace os
{
// The host folder the status is read from (it may not exist).
std::string powerSupplyFolder();
} // namespace os

extern "C"
{
    // Fills the status from the supplies' current values and returns the size written.
    // 0 with ERROR_INVALID_PARAMETER for a null status or a size other than 56, with
    // ERROR_PATH_NOT_FOUND when the folder does not exist. The update flag is accepted
    // for the platform's sake: every call reads fresh values.
    DWORD GetSystemPowerStatusEx2(PSYSTEM_POWER_STATUS_EX2 status, DWORD size, BOOL update);
}
