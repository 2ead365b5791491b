// The battery driver's registry values that the dialog shows and sets.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace cellpanel
{
struct BatterySettings
{
    std::string port; // empty when missing or longer than 255 characters
    std::string vendor;
    std::string model;
    std::optional<DWORD> wait; // "ShutdownOnBatteryWait"
    std::optional<DWORD> unit; // "ShutdownOnBatteryWaitUnit": 1 minutes, else seconds
};

BatterySettings readBatterySettings();

// Writes the values given into the existing "Config" key; false, with nothing
// written, when the key cannot be opened.
bool writeShutdownWait(std::optional<DWORD> wait, std::optional<DWORD> unit);
} // namespace cellpanel
