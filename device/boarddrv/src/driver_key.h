// The driver's own registry key: the key that the "Key" value of the active
// key names. Its 32-bit values count only as REG_DWORD of exactly 4 bytes.
#pragma once

#include <os/types.h>

#include <optional>
#include <string>

namespace boarddrv
{

// The driver key's path below HKEY_LOCAL_MACHINE; empty when the active key names none.
std::u16string driverKeyPath(const std::u16string& activeKey);

std::optional<DWORD> readDriverNumber(const std::u16string& activeKey, const char16_t* name);

// The processor's maximum junction temperature from "Parameters\Tjmax" of the
// driver key, under the processor's name; 0 when it is not configured. An
// absent value is created as 0, so that the key shows which value to set.
DWORD readTjmax(const std::u16string& activeKey);

} // namespace boarddrv
