#include "device_files.h"

#include <os/deviceroot.h>

#include <filesystem>

namespace netherald
{
std::optional<std::string> makeFolder(std::u16string_view devicePath)
{
    auto host = os::toHostPath(devicePath);
    if (!host)
        return std::nullopt;
    while (host->size() > 1 && host->back() == '/')
        host->pop_back();
    std::error_code error;
    std::filesystem::create_directories(*host, error);
    if (!std::filesystem::is_directory(*host, error))
        return std::nullopt;
    return host;
}
} // namespace netherald
