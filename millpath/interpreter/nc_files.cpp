#include "nc_files.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <os/deviceroot.h>

std::optional<std::string> NcDeviceFilePath(const std::string& path)
{
    auto host = os::toHostPath(path);
    std::error_code error;
    // Only a file is read: a folder (an empty name leads to the root) would open as an empty text.
    if (!host || !std::filesystem::is_regular_file(*host, error))
        return std::nullopt;
    return host;
}

bool NcReadDeviceFile(const std::string& path, std::string& text)
{
    const auto host = NcDeviceFilePath(path);
    if (!host)
        return false;
    std::ifstream file(*host);
    if (!file)
        return false;
    std::ostringstream content;
    content << file.rdbuf();
    text = content.str();
    return true;
}

std::FILE* NcOpenDeviceFile(const std::string& path, const char* mode)
{
    const auto host = os::toHostPath(path);
    return host ? std::fopen(host->c_str(), mode) : nullptr;
}
