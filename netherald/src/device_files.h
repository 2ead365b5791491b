// Folders and small files of the device file system, by device path.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace netherald
{
// The host path of a device folder, created with its parents when missing; nothing when
// it cannot be made.
std::optional<std::string> makeFolder(std::u16string_view devicePath);
} // namespace netherald
