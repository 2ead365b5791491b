#pragma once

#include <string>

namespace os::detail
{
// Lays out the default power-supply folder of a new device root: mains online, a full battery.
void seedPowerSupplies(const std::string& root);
} // namespace os::detail
