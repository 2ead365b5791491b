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
#include <vector>

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

// Power states a program may ask for.
#define POWER_STATE_ON 0x00010000u
#define POWER_STATE_OFF 0x00020000u
#define POWER_STATE_CRITICAL 0x00040000u
#define POWER_STATE_BOOT 0x00080000u
#define POWER_STATE_IDLE 0x00100000u
#define POWER_STATE_SUSPEND 0x00200000u
#define POWER_STATE_RESET 0x00800000u

namespace os
{
// The host folder the status is read from (it may not exist).
std::string powerSupplyFolder();

// A request of SetSystemPowerState as the device root records it.
struct PowerRequest
{
    std::u16string state; // empty for none
    DWORD flags = 0;
    DWORD options = 0;
    bool operator==(const PowerRequest&) const = default;
};
// The file that records the requests: "PowerRequests.log" in the device root, one line
// per request: "state=<name>\tflags=0x%08X\toptions=0x%08X".
std::string powerRequestLogPath();
// Every request recorded so far, oldest first; lines that cannot be read are skipped.
std::vector<PowerRequest> recordedPowerRequests();
} // namespace os

extern "C"
{
    // Fills the status from the supplies' current values and returns the size written.
    // 0 with ERROR_INVALID_PARAMETER for a null status or a size other than 56, with
    // ERROR_PATH_NOT_FOUND when the folder does not exist. The update flag is accepted
    // for the platform's sake: every call reads fresh values.
    DWORD GetSystemPowerStatusEx2(PSYSTEM_POWER_STATUS_EX2 status, DWORD size, BOOL update);

    // Records the request in the device root (os::powerRequestLogPath) and changes nothing:
    // the host is never suspended, reset or switched off. ERROR_SUCCESS, or the error of
    // the record that could not be written.
    DWORD SetSystemPowerState(LPCWSTR systemState, DWORD stateFlags, DWORD options);
}
