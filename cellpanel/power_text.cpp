#include "power_text.h"

#include <ui/text.h>

#include <cstdlib>

namespace cellpanel
{
std::string powerSourceText(BYTE acLineStatus)
{
    switch (acLineStatus)
    {
    case AC_LINE_OFFLINE:
        return "Current power source: OFFLINE";
    case AC_LINE_ONLINE:
        return "Current power source: ONLINE";
    case AC_LINE_BACKUP_POWER:
        return "Current power source: BACKUP POWER";
    default:
        return "Current power source: UNKNOWN";
    }
}

// Combined flags (9 is HIGH and CHARGING) show as UNKNOWN: the status names one state.
std::string chargeStatusText(BYTE batteryFlag)
{
    switch (batteryFlag)
    {
    case BATTERY_FLAG_HIGH:
        return "Battery charge status: HIGH";
    case BATTERY_FLAG_LOW:
        return "Battery charge status: LOW";
    case BATTERY_FLAG_CRITICAL:
        return "Battery charge status: CRITICAL";
    case BATTERY_FLAG_CHARGING:
        return "Battery charge status: CHARGING";
    case BATTERY_FLAG_NO_BATTERY:
        return "Battery charge status: NO BATTERY";
    default:
        return "Battery charge status: UNKNOWN";
    }
}

// 255 is the status's marker for a value it does not know, not a percentage.
std::string loadLevelText(BYTE percent)
{
    if (percent == BATTERY_PERCENTAGE_UNKNOWN)
        return "Battery load level: unknown";
    return ui::format("Battery load level: %d%%", percent);
}

// 0xFFFFFFFF is the marker for an unknown life time, not 1446 hours.
std::string runtimeText(DWORD seconds)
{
    if (seconds == BATTERY_LIFE_UNKNOWN)
        return "Estimated UPS runtime: unknown";
    return ui::format("Estimated UPS runtime: %dh:%dm:%ds", static_cast<int>((seconds / 3600) % 3600),
                      static_cast<int>((seconds / 60) % 60), static_cast<int>(seconds % 60));
}

// One sign for the whole value: -25 is "-2.5", never "-2.-5".
std::string temperatureText(LONG tenthsOfDegree)
{
    const long long magnitude = std::llabs(static_cast<long long>(tenthsOfDegree));
    return ui::format("Temperature: %s%lld.%lld\u00B0C", tenthsOfDegree < 0 ? "-" : "", magnitude / 10,
                      magnitude % 10);
}

std::string voltageText(DWORD millivolts)
{
    return ui::format("Voltage: %dmV", static_cast<int>(millivolts));
}

std::string currentText(LONG milliamperes)
{
    return ui::format("Current: %dmA", static_cast<int>(milliamperes));
}
} // namespace cellpanel
