#pragma once

#include <os/types.h>

#include <optional>
#include <string>

namespace os::detail
{
// A value under HKEY_LOCAL_MACHINE; nothing when the key or value is missing or of another type.
std::optional<DWORD> machineDword(const char16_t* keyPath, const char16_t* name);
std::optional<std::u16string> machineString(const char16_t* keyPath, const char16_t* name);
} // namespace os::detail
